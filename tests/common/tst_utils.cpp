#include "utils.h"

#include "testSupport.h"
#include "uDialogScript.h"
#include "uErrorBox.h"

#include <QCursor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

namespace {
// -1 for no override cursor.
int screenShape()
{
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor ? int(cursor->shape()) : -1;
}

void clearOverrideCursors()
{
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

// Answers through the scripted handler but, like a real box, changes the cursor meanwhile.
class CursorChangingDialogs : public dialogs::Handler
{
public:
    explicit CursorChangingDialogs(dialogs::Handler* inner) : m_inner(inner)
    {
        m_previous = dialogs::setHandler(this);
    }
    ~CursorChangingDialogs() override { dialogs::setHandler(m_previous); }
    dialogs::Answer answer(const dialogs::Request& request) override
    {
        QGuiApplication::setOverrideCursor(Qt::IBeamCursor);
        return m_inner->answer(request);
    }

private:
    dialogs::Handler* m_inner;
    dialogs::Handler* m_previous = nullptr;
};

// Records its working folder and arguments, one per line.
const QByteArray kRecorder = "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > \"$0.out.tmp\"\n"
                             "mv \"$0.out.tmp\" \"$0.out\"\n";
} // namespace

class tst_utils : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void askYesNoAnswersAndKeepsCursor_data();
    void askYesNoAnswersAndKeepsCursor();
    void messagesCutTo255();
    void cursorStackHoldsFifty_data();
    void cursorStackHoldsFifty();
    void shellOpenExplainsFailures_data();
    void shellOpenExplainsFailures();
    void shellOpenSplitsFileParametersFolder_data();
    void shellOpenSplitsFileParametersFolder();
    void commandLineValue_data();
    void commandLineValue();
    void replaceAll_data();
    void replaceAll();
    void replaceAllRefusesEndlessFill();
    void errorsGiveTheSameTextAsMessageAndWhat();
    void textHelpers();
    void textLines_data();
    void textLines();
    void decodeUtf8OrWindows1252_data();
    void decodeUtf8OrWindows1252();

private:
    QTemporaryDir m_dir;
};

void tst_utils::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // An empty desktop, so that no document handed to the shell opens a real viewer.
    const QString xdg = m_dir.filePath("xdg");
    QVERIFY(QDir().mkpath(xdg + "/data/applications"));
    QVERIFY(QFile::link("/usr/share/mime", xdg + "/data/mime"));
    for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
        qputenv(name, QFile::encodeName(xdg + "/data"));
    for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                             "GNOME_DESKTOP_SESSION_ID", "DISPLAY", "WAYLAND_DISPLAY", "BROWSER"})
        qunsetenv(name);
}

void tst_utils::cleanup()
{
    while (CursorStackCount() > 0)
        PopCursor();
    clearOverrideCursors();
}

void tst_utils::askYesNoAnswersAndKeepsCursor_data()
{
    QTest::addColumn<bool>("yes");
    QTest::addColumn<int>("cursorBefore");
    QTest::newRow("yes, no cursor set") << true << -1;
    QTest::newRow("no, no cursor set") << false << -1;
    QTest::newRow("no, busy cursor") << false << int(Qt::WaitCursor);
}

void tst_utils::askYesNoAnswersAndKeepsCursor()
{
    QFETCH(bool, yes);
    QFETCH(int, cursorBefore);
    if (cursorBefore >= 0)
        QGuiApplication::setOverrideCursor(Qt::CursorShape(cursorBefore));

    ScriptedDialogs script;
    yes ? script.yes() : script.no();
    CursorChangingDialogs changing(&script);
    QCOMPARE(AskYesNo("Delete the query?", "Confirm"), yes);
    QCOMPARE(script.last().kind, dialogs::Kind::Question);
    QCOMPARE(script.last().text, QString("Delete the query?"));
    QCOMPARE(script.last().caption, QString("Confirm"));
    QCOMPARE(screenShape(), cursorBefore);
}

void tst_utils::messagesCutTo255()
{
    const QString text = QString(300, 't');
    const QString caption = QString(256, 'c');
    ScriptedDialogs script;
    script.yes();
    AskYesNo(text, caption);
    ShowInfo(text, caption);
    QCOMPARE(script.shown().size(), 2);
    for (const auto& shown : script.shown()) {
        QCOMPARE(shown.text, text.left(255));
        QCOMPARE(shown.caption, caption.left(255));
    }
    QCOMPARE(script.last().kind, dialogs::Kind::Information);
}

void tst_utils::cursorStackHoldsFifty_data()
{
    QTest::addColumn<int>("cursorBefore");
    QTest::newRow("no cursor set") << -1;
    QTest::newRow("busy cursor set") << int(Qt::BusyCursor);
}

void tst_utils::cursorStackHoldsFifty()
{
    QFETCH(int, cursorBefore);
    if (cursorBefore >= 0)
        QGuiApplication::setOverrideCursor(Qt::CursorShape(cursorBefore));

    for (int i = 0; i < kCursorStackSize; ++i) {
        PushCursor(i % 2 ? Qt::WaitCursor : Qt::CrossCursor);
        QCOMPARE(screenShape(), int(i % 2 ? Qt::WaitCursor : Qt::CrossCursor));
    }
    QCOMPARE(CursorStackCount(), 50);
    QVERIFY(expectError<EUtilsError>([] { PushCursor(Qt::PointingHandCursor); }, "Overflow on cursor stack"));
    QCOMPARE(screenShape(), int(Qt::WaitCursor));
    QCOMPARE(CursorStackCount(), 50);

    for (int i = kCursorStackSize - 1; i > 0; --i) {
        PopCursor();
        QCOMPARE(screenShape(), int((i - 1) % 2 ? Qt::WaitCursor : Qt::CrossCursor));
    }
    PopCursor();
    QCOMPARE(screenShape(), cursorBefore);
    expectError<EUtilsError>([] { PopCursor(); }, "Underflow on cursor stack");
    QCOMPARE(screenShape(), cursorBefore);
}

void tst_utils::shellOpenExplainsFailures_data()
{
    QTest::addColumn<QString>("command"); // "@" stands for the test folder
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");

    // The lead text and code as they always were, then the cause in plain words; the
    // caption says what was used and where even when the command leaves them out.
    QTest::newRow("missing file, no bars") << "@/missing.csv"
                                           << "File not found : @/missing.csv\nThe file does not exist."
                                           << "Failed to shell using the default application in @";
    QTest::newRow("missing file with parameters and folder") << "@/missing.csv|-v|@"
                                                             << "File not found : @/missing.csv\nThe file does not exist."
                                                             << "Failed to shell using -v in @";
    QTest::newRow("missing folder") << "@/nowhere/x.csv|"
                                    << "Path not found : @/nowhere/x.csv\nThe folder \"@/nowhere\" does not exist."
                                    << "Failed to shell using the default application in @/nowhere";
    QTest::newRow("no application, error 31")
        << "@/data.unknown|-a b|@"
        << "Failed to load <@/data.unknown|-a b|@> with error31 : @/data.unknown\n"
           "No application is set up to open .unknown files."
        << "Failed to shell using -a b in @";
    QTest::newRow("no application, nothing else given")
        << "@/data.unknown"
        << "Failed to load <@/data.unknown> with error31 : @/data.unknown\n"
           "No application is set up to open .unknown files."
        << "Failed to shell using the default application in @";
}

void tst_utils::shellOpenExplainsFailures()
{
    QFETCH(QString, command);
    QFETCH(QString, text);
    QFETCH(QString, caption);
    writeFile(m_dir.filePath("data.unknown"), QByteArray("\x01\x02\xFF", 3));
    const QString root = m_dir.path();
    command.replace("@", root);
    text.replace("@", root);
    caption.replace("@", root);

    ScriptedDialogs script;
    QCOMPARE(ShellOpen(command), 0);
    QCOMPARE(script.shown().size(), 1);
    QCOMPARE(script.last().kind, dialogs::Kind::Information);
    QCOMPARE(script.last().text, text.left(255));
    QCOMPARE(script.last().caption, caption);
}

void tst_utils::shellOpenSplitsFileParametersFolder_data()
{
    QTest::addColumn<QString>("command"); // "@" stands for this row's folder
    QTest::addColumn<QString>("folder");  // expected working folder, relative to the row's folder
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("file only") << "@/recorder"
                               << "-" << QStringList{};
    QTest::newRow("file and parameters") << "@/recorder|-x \"two words\""
                                         << "-" << QStringList{"-x", "two words"};
    QTest::newRow("file, parameters, folder") << "@/recorder|a|@/work"
                                              << "work" << QStringList{"a"};
    QTest::newRow("folder takes the rest after the second bar") << "@/recorder|a|@/c|d"
                                                                << "c|d" << QStringList{"a"};
    QTest::newRow("long parameters are not cut") << "@/recorder|" + QString(150, 'p') + "|@/work"
                                                 << "work" << QStringList{QString(150, 'p')};
}

void tst_utils::shellOpenSplitsFileParametersFolder()
{
    QFETCH(QString, command);
    QFETCH(QString, folder);
    QFETCH(QStringList, arguments);

    const QString row = m_dir.filePath(QString::number(QTest::currentDataTag()[0]) + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(row + "/work"));
    QVERIFY(QDir().mkpath(row + "/c|d"));
    writeFile(row + "/recorder", kRecorder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    command.replace("@", row);

    ScriptedDialogs script;
    QVERIFY(ShellOpen(command) > 32);
    QVERIFY(script.shown().isEmpty());
    QTRY_VERIFY(QFile::exists(row + "/recorder.out"));
    QFile out(row + "/recorder.out");
    QVERIFY(out.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromLocal8Bit(out.readAll()).split('\n', Qt::SkipEmptyParts);
    const QString expectedFolder = folder == "-" ? QDir::currentPath() : QDir(row).filePath(folder);
    QCOMPARE(lines.value(0), QFileInfo(expectedFolder).canonicalFilePath());
    QCOMPARE(lines.mid(1), arguments);
}

void tst_utils::commandLineValue_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");

    QTest::newRow("last match wins, ASCII case ignored")
        << QStringList{"-x", "_USER=Ann", "_user=Bob"} << "_user"
        << "Bob";
    QTest::newRow("longer name does not match") << QStringList{"_username=x"} << "_user"
                                                << "";
    QTest::newRow("empty value") << QStringList{"_user=Ann", "_user="} << "_user"
                                 << "";
    QTest::newRow("= in value") << QStringList{"conn=a=b"} << "conn"
                                << "a=b";
    QTest::newRow("cut to 1000") << QStringList{"_user=" + QString(1200, 'u')} << "_user"
                                 << QString(1000, 'u');
    QTest::newRow("no arguments") << QStringList{} << "_user"
                                  << "";
}

void tst_utils::commandLineValue()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, name);
    QFETCH(QString, value);
    QCOMPARE(GetCommandLineValue(name, arguments), value);
}

void tst_utils::replaceAll_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("find");
    QTest::addColumn<QString>("replaceBy");
    QTest::addColumn<QString>("result");

    QTest::newRow("comma to semicolon") << "a,b,,c"
                                        << ","
                                        << "; "
                                        << "a; b; ; c";
    QTest::newRow("removal searches again from the start") << "aabb"
                                                           << "ab"
                                                           << ""
                                                           << "";
    QTest::newRow("new occurrence before the last one") << "aaabbb"
                                                        << "ab"
                                                        << "ba"
                                                        << "bbbaaa";
    QTest::newRow("line feed to <BR>") << "x\ny\n"
                                       << "\n"
                                       << "<BR>"
                                       << "x<BR>y<BR>";
    QTest::newRow("empty find prefixes once") << "abc"
                                              << ""
                                              << ">"
                                              << ">abc";
    QTest::newRow("not found") << "abc"
                               << "x"
                               << "y"
                               << "abc";
    QTest::newRow("case sensitive") << "ABC"
                                    << "b"
                                    << "x"
                                    << "ABC";
}

void tst_utils::replaceAll()
{
    QFETCH(QString, text);
    QFETCH(QString, find);
    QFETCH(QString, replaceBy);
    QFETCH(QString, result);
    ReplaceAll(text, find, replaceBy);
    QCOMPARE(text, result);
}

// Every layer's error is shown through message() and logged through what(): the two must
// be the same text, also outside ASCII; other exceptions show their what().
void tst_utils::errorsGiveTheSameTextAsMessageAndWhat()
{
    const QString text = QStringLiteral("Datei »Übersicht.xml« – 5 € zu groß");
    const EUtilsError error(text);
    QCOMPARE(error.message(), text);
    QCOMPARE(QString::fromUtf8(error.what()), text);
    QCOMPARE(ExceptionMessage(static_cast<const std::exception&>(error)), text);
    QCOMPARE(ExceptionMessage(std::runtime_error("größer")), QStringLiteral("größer"));
    QCOMPARE(ExceptionMessage(EAbort()), QStringLiteral("Operation aborted"));
}

void tst_utils::replaceAllRefusesEndlessFill()
{
    QString text = "a\"b";
    expectError<EUtilsError>([&] { ReplaceAll(text, "\"", "\"\""); }, "Avoid infinite fill");
    QCOMPARE(text, QString("a\"b"));
}

void tst_utils::textHelpers()
{
    QCOMPARE(StripAmpersands("&Sales && More"), QString("Sales  More"));
    QCOMPARE(RemoveSpaces(" John  Smith\t "), QString("JohnSmith\t"));
    QCOMPARE(RightChars("Query", 4), QString("uery"));
    QCOMPARE(RightChars("Query", 5), QString("Query"));
    QCOMPARE(RightChars("Query", 9), QString("Query"));
    QCOMPARE(RightChars("Query", 0), QString());
    QCOMPARE(RightChars("Query", -1), QString());
}

// One line reader behind the parameter file, the query's SQL and the SQL memo.
void tst_utils::textLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty") << "" << QStringList();
    QTest::newRow("no break") << "a" << QStringList{"a"};
    QTest::newRow("break at the end adds no line") << "a\r\n" << QStringList{"a"};
    QTest::newRow("CR LF, LF and CR") << "a\r\nb\nc\rd" << QStringList{"a", "b", "c", "d"};
    QTest::newRow("LF CR is two breaks") << "a\n\rb" << QStringList{"a", "", "b"};
    QTest::newRow("empty lines kept") << "\n\na\n\n" << QStringList{"", "", "a", ""};
    QTest::newRow("only a break") << "\r\n" << QStringList{""};
}

void tst_utils::textLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(TextLines(text), lines);
}

void tst_utils::decodeUtf8OrWindows1252_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ASCII") << QByteArray("Name=x") << "Name=x";
    QTest::newRow("UTF-8") << QByteArray("Gr\xC3\xBC\xC3\x9F\xE2\x82\xAC") << QString::fromUtf8("Grüß€");
    QTest::newRow("Windows-1252") << QByteArray("Gr\xFC\xDF \x80\x85\x9F") << QString::fromUtf8("Grüß €…Ÿ");
    QTest::newRow("mixed") << QByteArray("\xC3\xA9/\xE9") << QString::fromUtf8("é/é");
    QTest::newRow("BOM dropped") << QByteArray("\xEF\xBB\xBFx") << "x";
    QTest::newRow("cut sequence at the end") << QByteArray("a\xC3") << QString::fromUtf8("aÃ");
    QTest::newRow("overlong form") << QByteArray("\xC0\xAF") << QString::fromUtf8("À¯");
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << QString::fromUtf8("í\u00A0€");
    QTest::newRow("outside the BMP") << QByteArray("\xF0\x9F\x94\x91")
                                     << QString::fromUtf8("\xF0\x9F\x94\x91");
    QTest::newRow("byte 0 kept") << QByteArray("a\0b", 3) << QString("a") + QChar(0) + "b";
}

void tst_utils::decodeUtf8OrWindows1252()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(DecodeUtf8OrWindows1252(bytes), text);
}

QTEST_MAIN(tst_utils)
#include "tst_utils.moc"
