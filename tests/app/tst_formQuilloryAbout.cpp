#include "formQuilloryAbout.h"

#include "uErrorBox.h"
#include "uVersionInfo.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

// The about box, the version values behind it and the error box's text rule.
class tst_formQuilloryAbout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void labelsShowTheVersionValues();
    void withoutVersionValuesLabelsEndInTheSeparator();
    void compiledLineIsTheExecutablesModificationTime();
    void missingExecutableKeepsAge();
    void favouritesLineSaysWhereTheyAreKept();
    void okClosesTheBox();
    void errorBoxAddsAFullStopAfterCharactersSortingAfterIt_data();
    void errorBoxAddsAFullStopAfterCharactersSortingAfterIt();

private:
    QTemporaryDir m_dir;
};

void tst_formQuilloryAbout::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QVERIFY(m_dir.isValid());
}

void tst_formQuilloryAbout::cleanup()
{
    SetVersionInfoForTests(std::nullopt);
}

void tst_formQuilloryAbout::labelsShowTheVersionValues()
{
    TAboutBox box(nullptr);
    QCOMPARE(box.windowTitle(), QStringLiteral("About"));
    QCOMPARE(box.lblProductName->text(), QStringLiteral("Product Name : Quillory"));
    QCOMPARE(box.lblVersion->text(), QStringLiteral("Version : ") + GetVersionString("FileVersion"));
    QVERIFY(!GetVersionString("FileVersion").isEmpty());
    QVERIFY(box.lblCopyright->text().startsWith(QStringLiteral("Copyright : Copyright")));
    QVERIFY(box.lblComments->text().size() > QStringLiteral("Comments : ").size());
    QVERIFY(box.lblAge->text().startsWith(QStringLiteral("Compiled : ")));
    QVERIFY(box.width() >= 298 && box.height() >= 213);
    QCOMPARE(GetVersionString("NoSuchKey"), QString());
}

void tst_formQuilloryAbout::withoutVersionValuesLabelsEndInTheSeparator()
{
    SetVersionInfoForTests(QMap<QString, QString>{});
    QVERIFY(!VersionInfoLoaded());
    TAboutBox box(nullptr);
    QCOMPARE(box.lblProductName->text(), QStringLiteral("Product Name : "));
    QCOMPARE(box.lblVersion->text(), QStringLiteral("Version : "));
    QCOMPARE(box.lblCopyright->text(), QStringLiteral("Copyright : "));
    QCOMPARE(box.lblComments->text(), QStringLiteral("Comments : "));
}

void tst_formQuilloryAbout::compiledLineIsTheExecutablesModificationTime()
{
    const QString exe = m_dir.filePath(QStringLiteral("Quillory"));
    QFile file(exe);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(
        file.setFileTime(QDateTime(QDate(2004, 4, 7), QTime(14, 5, 33)), QFileDevice::FileModificationTime));
    file.close();
    TAboutBox box(nullptr, exe);
    QCOMPARE(box.lblAge->text(), QStringLiteral("Compiled : 07-Apr-2004 14:05"));
}

void tst_formQuilloryAbout::missingExecutableKeepsAge()
{
    TAboutBox box(nullptr, m_dir.filePath(QStringLiteral("gone")));
    QCOMPARE(box.lblAge->text(), QStringLiteral("Age"));
}

void tst_formQuilloryAbout::favouritesLineSaysWhereTheyAreKept()
{
    TAboutBox box(nullptr, QString(), QStringLiteral("/home/ann/.local/share/Quillory"));
    box.show();
    QCOMPARE(box.lblFavourites->text(), QStringLiteral("Favourites : /home/ann/.local/share/Quillory"));
    QVERIFY(box.lblFavourites->isVisible());
    TAboutBox without(nullptr);
    without.show();
    QVERIFY(!without.lblFavourites->isVisible());
}

void tst_formQuilloryAbout::okClosesTheBox()
{
    TAboutBox box(nullptr);
    box.show();
    QVERIFY(box.OKButton->isDefault());
    QTest::mouseClick(box.OKButton, Qt::LeftButton);
    QCOMPARE(box.result(), int(QDialog::Accepted));
    QVERIFY(!box.isVisible());
}

void tst_formQuilloryAbout::errorBoxAddsAFullStopAfterCharactersSortingAfterIt_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << "Disk full"
                            << "Disk full.";
    QTest::newRow("full stop") << "Done."
                               << "Done.";
    QTest::newRow("exclamation mark sorts before") << "Stop!"
                                                   << "Stop!";
    QTest::newRow("quote sorts before") << "Failed to set data for 'Quillory'"
                                        << "Failed to set data for 'Quillory'";
    QTest::newRow("question mark sorts after") << "Why?"
                                               << "Why?.";
    QTest::newRow("digit") << "Error 5"
                           << "Error 5.";
    QTest::newRow("empty") << ""
                           << "";
}

void tst_formQuilloryAbout::errorBoxAddsAFullStopAfterCharactersSortingAfterIt()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(ErrorBoxText(message), shown);
}

QTEST_MAIN(tst_formQuilloryAbout)
#include "tst_formQuilloryAbout.moc"
