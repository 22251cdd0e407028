#include "UEncrypt.h"
#include "uConnectionItems.h"

#include <QRegularExpression>
#include <QTest>

// Scrambled texts written by this program must restore forever, so a few are pinned here.
// "abc": n = 3, isqrt(3 * 167) = 22, key 22 + 93 = 0x73; "cba" XOR 0x73 = 10 11 12.
static const char kAbcScrambled[] = "101112";

class tst_UEncrypt : public QObject
{
    Q_OBJECT
private slots:
    void scrambledTextsStayReadable_data();
    void scrambledTextsStayReadable();
    void byteStringsRoundTrip_data();
    void byteStringsRoundTrip();
    void passwordsRoundTrip_data();
    void passwordsRoundTrip();
    void hexDigitValueAcceptsEveryCharacter_data();
    void hexDigitValueAcceptsEveryCharacter();
    void hexDecodeIgnoresUnpairedAndLowerCase_data();
    void hexDecodeIgnoresUnpairedAndLowerCase();
    void encryptConnectionString_data();
    void encryptConnectionString();
    void decryptConnectionString_data();
    void decryptConnectionString();
    void connectionStringRoundTrip_data();
    void connectionStringRoundTrip();
};

void tst_UEncrypt::scrambledTextsStayReadable_data()
{
    QTest::addColumn<QString>("clear");
    QTest::addColumn<QString>("scrambled");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("one byte") << "a"
                              << "08"; // isqrt(167) = 12, key 0x69
    QTest::newRow("three bytes") << "abc" << kAbcScrambled;
}

void tst_UEncrypt::scrambledTextsStayReadable()
{
    QFETCH(QString, clear);
    QFETCH(QString, scrambled);
    QCOMPARE(EncryptPassword(clear), scrambled);
    QCOMPARE(DecryptPassword(scrambled), clear);
}

void tst_UEncrypt::byteStringsRoundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("byte 0") << QByteArray("\0", 1);
    QTest::newRow("bytes 0 inside") << QByteArray("a\0b\0", 4);
    QTest::newRow("separators") << QByteArray("a;b=c;");
    QTest::newRow("non-ASCII") << QString::fromUtf8("Grüße€").toUtf8();
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QTest::newRow("every byte") << all;
    // Holds the key byte of its length, which XORs to 0 inside the scrambled form.
    QTest::newRow("byte equal to its key") << QByteArray(5, char(ScrambleKey(5)));
    QTest::newRow("long") << QByteArray(5000, 'x');
}

void tst_UEncrypt::byteStringsRoundTrip()
{
    QFETCH(QByteArray, bytes);
    const QByteArray scrambled = XorReverse(bytes);
    QCOMPARE(scrambled.size(), bytes.size());
    QCOMPARE(XorReverse(scrambled), bytes);

    const QString hex = HexEncode(scrambled);
    QCOMPARE(hex.size(), 2 * bytes.size());
    QVERIFY(QRegularExpression("^[0-9A-F]*$").match(hex).hasMatch());
    QCOMPARE(HexDecode(hex), scrambled);
}

void tst_UEncrypt::passwordsRoundTrip_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("one character") << "x";
    QTest::newRow("separators") << "pa;ss=wo;rd";
    QTest::newRow("blanks kept") << " a b ";
    QTest::newRow("non-ASCII") << QString::fromUtf8("Müller€日本");
    QTest::newRow("character 0") << QString("a") + QChar(0) + "b";
    QTest::newRow("outside the BMP") << QString::fromUtf8("key\xF0\x9F\x94\x91");
}

void tst_UEncrypt::passwordsRoundTrip()
{
    QFETCH(QString, password);
    const QString scrambled = EncryptPassword(password);
    QCOMPARE(scrambled.size(), 2 * password.toUtf8().size());
    QVERIFY(!scrambled.contains(';') && !scrambled.contains('='));
    QCOMPARE(DecryptPassword(scrambled), password);
}

void tst_UEncrypt::hexDigitValueAcceptsEveryCharacter_data()
{
    QTest::addColumn<QChar>("c");
    QTest::addColumn<int>("value");
    QTest::newRow("0") << QChar('0') << 0;
    QTest::newRow("9") << QChar('9') << 9;
    QTest::newRow("A") << QChar('A') << 10;
    QTest::newRow("F") << QChar('F') << 15;
    QTest::newRow(":") << QChar(':') << 3;
    QTest::newRow("=") << QChar('=') << 6;
    QTest::newRow("@") << QChar('@') << 9;
    QTest::newRow("G") << QChar('G') << 0;
    QTest::newRow("a") << QChar('a') << 0;
    QTest::newRow("f") << QChar('f') << 0;
    QTest::newRow("/") << QChar('/') << 0;
    QTest::newRow("blank") << QChar(' ') << 0;
    QTest::newRow("non-ASCII") << QChar(0x00C4) << 0;
}

void tst_UEncrypt::hexDigitValueAcceptsEveryCharacter()
{
    QFETCH(QChar, c);
    QFETCH(int, value);
    QCOMPARE(HexDigitValue(c), value);
}

void tst_UEncrypt::hexDecodeIgnoresUnpairedAndLowerCase_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("one character") << "4" << QByteArray();
    QTest::newRow("last unpaired") << "41F" << QByteArray("A");
    QTest::newRow("upper case") << "00FFA5" << QByteArray("\x00\xFF\xA5", 3);
    QTest::newRow("lower case counts 0") << "4a" << QByteArray("@");
    QTest::newRow("junk") << "zz" << QByteArray(1, '\0');
}

void tst_UEncrypt::hexDecodeIgnoresUnpairedAndLowerCase()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(HexDecode(text), bytes);
    if (text.size() == 2)
        QCOMPARE(HexPairToByte(text[0], text[1]), quint8(bytes[0]));
}

void tst_UEncrypt::encryptConnectionString_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    const QString abc = kAbcScrambled;

    QTest::newRow("no password") << "Provider=SQLOLEDB.1;Data Source=srv;User ID=sa"
                                 << "Provider=SQLOLEDB.1;Data Source=srv;User ID=sa";
    QTest::newRow("final ; dropped") << "Provider=X;Data Source=y;"
                                     << "Provider=X;Data Source=y";
    QTest::newRow("empty items kept") << "A=1;;B=2"
                                      << "A=1;;B=2";
    QTest::newRow("lower-case name becomes Password") << "Provider=P;password=abc;Data Source=x"
                                                      << "Provider=P;Password=" + abc + ";Data Source=x";
    QTest::newRow("PWD becomes Pwd") << "DSN=d;PWD=abc;UID=u"
                                     << "DSN=d;Pwd=" + abc + ";UID=u";
    QTest::newRow("both names") << "Password=abc;Pwd=abc"
                                << "Password=" + abc + ";Pwd=" + abc;
    QTest::newRow("every repeat, the layer reads the last") << "Password=abc;Password=abc"
                                                            << "Password=" + abc + ";Password=" + abc;
    QTest::newRow("empty value untouched") << "Password=;X=1"
                                           << "Password=;X=1";
    QTest::newRow("blank before the name") << "A=1; Password=abc"
                                           << "A=1; Password=" + abc;
    QTest::newRow("blanks around =") << "A=1;Password = abc ;B=2"
                                     << "A=1;Password = " + abc + " ;B=2";
    QTest::newRow("quoted value scrambled whole inside its quotes") << "Password=\"sec;ret\";B=2"
                                                                    << "Password=\"" + EncryptPassword("sec;ret") +
                                                                           "\";B=2";
    QTest::newRow("single quotes with a doubled quote") << "Pwd='a''b'"
                                                        << "Pwd='" + EncryptPassword("a'b") + "'";
    QTest::newRow("= inside the value") << "Pwd=a=b"
                                        << "Pwd=" + EncryptPassword("a=b");
    QTest::newRow("empty string") << ""
                                  << "";
}

void tst_UEncrypt::encryptConnectionString()
{
    QFETCH(QString, input);
    QFETCH(QString, output);
    QCOMPARE(EncryptConnectionString(input), output);
}

void tst_UEncrypt::decryptConnectionString_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    const QString abc = kAbcScrambled;

    QTest::newRow("restores, name written Password") << "Provider=P;PASSWORD=" + abc + ";Data Source=x"
                                                     << "Provider=P;Password=abc;Data Source=x";
    QTest::newRow("pwd") << "pwd=" + abc << "Pwd=abc";
    QTest::newRow("final ; dropped") << "Password=" + abc + ";"
                                     << "Password=abc";
    QTest::newRow("empty value untouched") << "Password=;X=1"
                                           << "Password=;X=1";
    QTest::newRow("one character decodes to nothing, item removed") << "A=1;Password=4;X=1"
                                                                    << "A=1;X=1";
    QTest::newRow("no password") << "A=1;;B=2"
                                 << "A=1;;B=2";
}

void tst_UEncrypt::decryptConnectionString()
{
    QFETCH(QString, input);
    QFETCH(QString, output);
    QCOMPARE(DecryptConnectionString(input), output);
}

void tst_UEncrypt::connectionStringRoundTrip_data()
{
    QTest::addColumn<QString>("connectionString");
    QTest::newRow("jet") << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\db.mdb;Password=s=e;cret";
    QTest::newRow("sql server")
        << "Provider=SQLOLEDB.1;Password=Grüße€;Persist Security Info=True;User ID=sa";
    QTest::newRow("odbc") << "DSN=x;Pwd= spaced ;Password=other";
    QTest::newRow("blank after ;") << "Provider=P; Password=secret;User ID=u";
    QTest::newRow("blanks around =") << "Provider=P;Password = secret";
    QTest::newRow("repeated, second wins") << "Password=first;Data Source=x;Password=secret";
    QTest::newRow("quoted with ;") << "Provider=P;Password=\"sec;ret\";User ID=u";
    QTest::newRow("quoted with quotes and blanks") << "Pwd=' it''s ; here ';DSN=d";
    QTest::newRow("final ; kept inside an open quote") << "Password=\"abc;";
}

void tst_UEncrypt::connectionStringRoundTrip()
{
    QFETCH(QString, connectionString);
    const QString stored = EncryptConnectionString(connectionString);
    QVERIFY(stored != connectionString);
    // No password the database layer would read is left in clear.
    for (const TConnectionItem& item : ScanConnectionItems(stored))
        if (item.key.compare("Password", Qt::CaseInsensitive) == 0 || item.key.compare("Pwd", Qt::CaseInsensitive) == 0)
            QVERIFY2(item.value == EncryptPassword(DecryptPassword(item.value)) && !item.value.contains("sec"),
                     qPrintable(stored));
    QCOMPARE(DecryptConnectionString(stored), connectionString);
}

QTEST_APPLESS_MAIN(tst_UEncrypt)
#include "tst_UEncrypt.moc"
