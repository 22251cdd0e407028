#include "uTildeText.h"

#include <QRandomGenerator>
#include <QTest>

// The tilde form of SQL lines: the exact text written for tricky lines, how texts (also
// hand-edited ones) are read, and that every list of lines survives a round trip.
class tst_tildeText : public QObject
{
    Q_OBJECT

private slots:
    void writing_data();
    void writing();
    void reading_data();
    void reading();
    void roundTrip_data();
    void roundTrip();
    void roundTripOfRandomLines();
};

void tst_tildeText::writing_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("text");

    QTest::newRow("the initial memo line") << QStringList{"select * from blah"} << "\"select * from blah\"";
    QTest::newRow("no lines") << QStringList{} << "";
    QTest::newRow("one empty line") << QStringList{""} << "\"\"";
    QTest::newRow("plain lines unquoted") << QStringList{"select", "*", "from", "t"} << "select~*~from~t";
    QTest::newRow("empty line between") << QStringList{"a", "", "b"} << "a~~b";
    QTest::newRow("two empty lines") << QStringList{"", ""} << "~";
    QTest::newRow("empty last line") << QStringList{"a", ""} << "a~";
    QTest::newRow("quotes doubled") << QStringList{"where n = \"x\""} << "\"where n = \"\"x\"\"\"";
    QTest::newRow("lone quote, no blank") << QStringList{"a\"b"} << "\"a\"\"b\"";
    QTest::newRow("tilde inside") << QStringList{"a~b"} << "\"a~b\"";
    QTest::newRow("lone tilde") << QStringList{"~"} << "\"~\"";
    QTest::newRow("leading and trailing blanks") << QStringList{"  x  "} << "\"  x  \"";
    QTest::newRow("tab") << QStringList{"a\tb"} << "\"a\tb\"";
    QTest::newRow("control character 1") << QStringList{QString("\x01x")} << QString("\"\x01x\"");
    QTest::newRow("code 0 is no control character")
        << QStringList{QString::fromLatin1("a\0b", 3)} << QString::fromLatin1("a\0b", 3);
    QTest::newRow("DEL and letters above 127 unquoted") << QStringList{"x\x7f", "Grüße"} << "x\x7f~Grüße";
    QTest::newRow("mixed") << QStringList{"select *", "from t", "where a='~'"}
                           << "\"select *\"~\"from t\"~\"where a='~'\"";
}

void tst_tildeText::writing()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, text);
    QCOMPARE(TildeText(lines), text);
}

void tst_tildeText::reading_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("only blanks and controls") << " \t\r\n" << QStringList{};
    QTest::newRow("two quotes") << "\"\"" << QStringList{""};
    QTest::newRow("final tilde adds an empty line") << "a~" << QStringList{"a", ""};
    QTest::newRow("final tilde then blanks adds none") << "a~  " << QStringList{"a"};
    QTest::newRow("lone tilde") << "~" << QStringList{"", ""};
    QTest::newRow("blanks around items dropped") << "  a  ~\t b \r\n" << QStringList{"a", "b"};
    QTest::newRow("unquoted blanks separate lines")
        << "select * from x" << QStringList{"select", "*", "from", "x"};
    QTest::newRow("doubled quote is one") << "\"a\"\"b\"" << QStringList{"a\"b"};
    QTest::newRow("text after closing quote is a new line") << "\"a b\"c~d" << QStringList{"a b", "c", "d"};
    QTest::newRow("quote inside an unquoted item kept") << "a\"b~c" << QStringList{"a\"b", "c"};
    QTest::newRow("missing closing quote takes the rest") << "\"a~b c" << QStringList{"a~b c"};
    QTest::newRow("doubled quote at the end, unclosed") << "\"x\"\"" << QStringList{"x\""};
    QTest::newRow("empty items between tildes") << "a~~b" << QStringList{"a", "", "b"};
    QTest::newRow("leading tilde") << "~a" << QStringList{"", "a"};
    QTest::newRow("blanks after a tilde skipped") << "\"a\"~   \"b\"" << QStringList{"a", "b"};
    QTest::newRow("code 0 inside an item kept")
        << QString::fromLatin1("a\0b~c", 5) << QStringList{QString::fromLatin1("a\0b", 3), "c"};
}

void tst_tildeText::reading()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(ReadTildeText(text), lines);
}

void tst_tildeText::roundTrip_data()
{
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("none") << QStringList{};
    QTest::newRow("one empty") << QStringList{""};
    QTest::newRow("only empty lines") << QStringList{"", "", ""};
    QTest::newRow("empty first and last") << QStringList{"", "select 1", ""};
    QTest::newRow("indented SQL") << QStringList{"select a,", "       b", "  from \"T\"", "-- done ~"};
    QTest::newRow("quotes only") << QStringList{"\"", "\"\"", "\"\"\""};
    QTest::newRow("tildes only") << QStringList{"~", "~~", "a~"};
    QTest::newRow("control characters at both ends")
        << QStringList{QString("\x01\x02lead"), QString("trail\x1f"), "\t", "\r"};
    QTest::newRow("code 0") << QStringList{QString(1, QChar(0)), QString::fromLatin1("x\0", 2)};
    QTest::newRow("non-ASCII blank") << QStringList{QString::fromUtf16(u"a\u00a0b"),
                                                    QString::fromUtf16(u"\u3000")};
}

void tst_tildeText::roundTrip()
{
    QFETCH(QStringList, lines);
    QCOMPARE(ReadTildeText(TildeText(lines)), lines);
}

// Lines drawn from the characters that matter to the form, so every combination of
// quotes, tildes, blanks, controls and empty lines comes up.
void tst_tildeText::roundTripOfRandomLines()
{
    const QString alphabet = QString::fromUtf16(u"ab \"~\t\x01\x1f\x20\x7f\u00e9") + QChar(0);
    QRandomGenerator random(20240607);
    for (int i = 0; i < 20000; ++i) {
        QStringList lines;
        const int lineCount = random.bounded(5);
        for (int l = 0; l < lineCount; ++l) {
            QString line;
            const int length = random.bounded(6);
            for (int c = 0; c < length; ++c)
                line += alphabet[random.bounded(alphabet.size())];
            lines << line;
        }
        const QString text = TildeText(lines);
        if (ReadTildeText(text) != lines)
            QFAIL(qPrintable(QStringLiteral("lost in the round trip: %1").arg(text)));
    }
}

QTEST_APPLESS_MAIN(tst_tildeText)
#include "tst_tildeText.moc"
