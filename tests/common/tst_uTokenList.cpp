#include "uTokenList.h"

#include <QTest>

class tst_uTokenList : public QObject
{
    Q_OBJECT
private slots:
    void splitKeepsEmptyPiecesAndJoinRestores_data();
    void splitKeepsEmptyPiecesAndJoinRestores();
    void splitReplacesEarlierItems();
    void valueReadsFirstItemOfNameIgnoringCase_data();
    void valueReadsFirstItemOfNameIgnoringCase();
    void setValueReplacesInPlaceAppendsOrRemoves_data();
    void setValueReplacesInPlaceAppendsOrRemoves();
};

void tst_uTokenList::splitKeepsEmptyPiecesAndJoinRestores_data()
{
    QTest::addColumn<QChar>("delimiter");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("joined");

    QTest::newRow("connection string") << QChar(';') << "Provider=P;Password=abc;Data Source=x"
                                       << QStringList{"Provider=P", "Password=abc", "Data Source=x"}
                                       << "Provider=P;Password=abc;Data Source=x";
    QTest::newRow("empty piece, trailing delimiter lost")
        << QChar(';') << "a;;b;" << QStringList{"a", "", "b"} << "a;;b";
    QTest::newRow("leading delimiter") << QChar(';') << ";a" << QStringList{"", "a"} << ";a";
    QTest::newRow("empty text") << QChar(';') << "" << QStringList{} << "";
    QTest::newRow("lone delimiter") << QChar(';') << ";" << QStringList{""} << "";
    QTest::newRow("two delimiters keep one") << QChar(';') << ";;" << QStringList{"", ""} << ";";
    QTest::newRow("only the last delimiter is lost")
        << QChar(';') << "a;b;;" << QStringList{"a", "b", ""} << "a;b;";
    QTest::newRow("no trimming, no quoting")
        << QChar(';') << " a ; \"x;y\" " << QStringList{" a ", " \"x", "y\" "} << " a ; \"x;y\" ";
    QTest::newRow("other delimiter") << QChar('|') << "f|p;q|d" << QStringList{"f", "p;q", "d"} << "f|p;q|d";
}

void tst_uTokenList::splitKeepsEmptyPiecesAndJoinRestores()
{
    QFETCH(QChar, delimiter);
    QFETCH(QString, text);
    QFETCH(QStringList, items);
    QFETCH(QString, joined);

    const TTokenList list(delimiter, text);
    QCOMPARE(QStringList(list), items);
    QCOMPARE(list.count(), items.count());
    QCOMPARE(list.JoinText(), joined);
}

void tst_uTokenList::splitReplacesEarlierItems()
{
    TTokenList list(QChar(';'), "a;b;c");
    list.SplitText("x");
    QCOMPARE(QStringList(list), QStringList{"x"});
    list.SplitText("");
    QVERIFY(list.isEmpty());
    QCOMPARE(list.JoinText(), QString());
}

void tst_uTokenList::valueReadsFirstItemOfNameIgnoringCase_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");

    QTest::newRow("other case") << "Provider=P;Password=abc;Data Source=x"
                                << "password"
                                << "abc";
    QTest::newRow("name with blank") << "Provider=P;Data Source=x"
                                     << "DATA SOURCE"
                                     << "x";
    QTest::newRow("first = splits") << "Data Source=a=b"
                                    << "Data Source"
                                    << "a=b";
    QTest::newRow("first of two") << "A=1;a=2"
                                  << "a"
                                  << "1";
    QTest::newRow("blank before name is part of it") << "A=1; Password=abc"
                                                     << "Password"
                                                     << "";
    QTest::newRow("item without = has no name") << "Password;Password=x"
                                                << "Password"
                                                << "x";
    QTest::newRow("empty value") << "Password=;Pwd=1"
                                 << "Password"
                                 << "";
    QTest::newRow("missing") << "A=1"
                             << "Pwd"
                             << "";
    QTest::newRow("non-ASCII name") << QString::fromUtf8("Äpfel=3") << QString::fromUtf8("äPFEL") << "3";
    QTest::newRow("value keeps blanks") << "Pwd= s p ;x"
                                        << "Pwd"
                                        << " s p ";
}

void tst_uTokenList::valueReadsFirstItemOfNameIgnoringCase()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QFETCH(QString, value);
    QCOMPARE(TTokenList(QChar(';'), text).Value(name), value);
}

void tst_uTokenList::setValueReplacesInPlaceAppendsOrRemoves_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("joined");

    QTest::newRow("replace in place, name as passed") << "Provider=P;Password=old;X=1"
                                                      << "PASSWORD"
                                                      << "new"
                                                      << "Provider=P;PASSWORD=new;X=1";
    QTest::newRow("only the first is replaced") << "Pwd=1;pwd=2"
                                                << "PWD"
                                                << "x"
                                                << "PWD=x;pwd=2";
    QTest::newRow("append when missing") << "A=1"
                                         << "Pwd"
                                         << "v"
                                         << "A=1;Pwd=v";
    QTest::newRow("append to empty list") << ""
                                          << "A"
                                          << "1"
                                          << "A=1";
    QTest::newRow("empty value removes") << "A=1;Pwd=s;B=2"
                                         << "pwd"
                                         << ""
                                         << "A=1;B=2";
    QTest::newRow("empty value, nothing to remove") << "A=1"
                                                    << "Pwd"
                                                    << ""
                                                    << "A=1";
    QTest::newRow("removes only the first") << "Pwd=1;Pwd=2"
                                            << "Pwd"
                                            << ""
                                            << "Pwd=2";
}

void tst_uTokenList::setValueReplacesInPlaceAppendsOrRemoves()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(QString, joined);

    TTokenList list(QChar(';'), text);
    list.SetValue(name, value);
    QCOMPARE(list.JoinText(), joined);
}

QTEST_APPLESS_MAIN(tst_uTokenList)
#include "tst_uTokenList.moc"
