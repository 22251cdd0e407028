#include "uHelpFile.h"
#include "uHelpViewer.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>

// The help file compiled from help/ at build time, read back through chmlib, and the
// help window that shows it.
class tst_help : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void compiledFileHoldsTheTopicsAndTheirContents();
    void numberedContextsMapToTopics_data();
    void numberedContextsMapToTopics();
    void sitemapNestsEntries();
    void contentsRequestShowsTheWindowOnTheFirstTopic();
    void contextRequestFromAnyPartOfTheProgram();
    void linksBetweenTopicsStayInTheWindow();
    void helpAskedFromAModalWindowCanBeUsed();
    void missingOrBrokenHelpFileShowsNothing();

private:
    QString m_chm;
};

void tst_help::initTestCase()
{
    m_chm = QStringLiteral(QUILLORY_BIN_DIR "/Quillory.chm");
    QVERIFY2(QFileInfo::exists(m_chm), "the build compiles help/ into Quillory.chm");
    QVERIFY(platform::THelpFile::libraryAvailable());
}

void tst_help::compiledFileHoldsTheTopicsAndTheirContents()
{
    const platform::THelpFile file(m_chm);
    QVERIFY(file.isOpen());
    QCOMPARE(file.title(), QStringLiteral("Quillory Help"));
    QCOMPARE(file.defaultTopic(), QStringLiteral("index.html"));
    QVERIFY(file.files().contains(QStringLiteral("CSHelp.txt")));
    QVERIFY(
        QString::fromUtf8(file.read(QStringLiteral("CSHelp.txt"))).contains(QStringLiteral(".topic 100")));
    QVERIFY(
        QString::fromUtf8(file.read(QStringLiteral("/traymenu.html"))).contains(QStringLiteral("Unload Me")));
    QVERIFY(file.read(QStringLiteral("no-such.html")).isEmpty());
    // The designer's grid sends the user to its help for the criteria rules: the designer
    // topic leads to them, and they say how each engine takes dates.
    QVERIFY(QString::fromUtf8(file.read(QStringLiteral("/designer.html"))).contains(QStringLiteral("criteria.html")));
    const QString criteria = QString::fromUtf8(file.read(QStringLiteral("/criteria.html")));
    for (const char* words : {"AND", "OR", "PostgreSQL", "SQL Server", "SQLite", "LIKE"})
        QVERIFY2(criteria.contains(QLatin1String(words)), words);
    QVERIFY(QString::fromUtf8(file.read(QStringLiteral("/connections.html"))).contains(QStringLiteral("SQLite Database")));

    const QList<platform::HelpTopic> contents = file.contents();
    QCOMPARE(contents.size(), 1);
    QCOMPARE(contents[0].local, QStringLiteral("index.html"));
    QStringList names;
    for (const platform::HelpTopic& t : contents[0].children)
        names << t.name;
    QCOMPARE(names, (QStringList{"The tray menu", "The query window"}));
    QCOMPARE(contents[0].children[1].children.size(), 4);
    // Every entry of the contents is a topic of the file.
    std::function<void(const QList<platform::HelpTopic>&)> check =
        [&](const QList<platform::HelpTopic>& list) {
            for (const platform::HelpTopic& t : list) {
                QVERIFY2(file.contains(t.local), qPrintable(t.local));
                check(t.children);
            }
        };
    check(contents);
}

void tst_help::numberedContextsMapToTopics_data()
{
    QTest::addColumn<int>("context");
    QTest::addColumn<QString>("topic");
    QTest::newRow("designer") << 100 << "designer.html";
    QTest::newRow("tray menu") << 10 << "traymenu.html";
    QTest::newRow("diary") << 50 << "diary.html";
    QTest::newRow("query window (Help, F1)") << 20 << "querywindow.html";
    QTest::newRow("data link properties") << 31 << "datalink.html";
    QTest::newRow("connection-string editor") << 27270 << "connectionstring.html";
    QTest::newRow("unmapped") << 4711 << "";
}

void tst_help::numberedContextsMapToTopics()
{
    QFETCH(int, context);
    QFETCH(QString, topic);
    const platform::THelpFile file(m_chm);
    QCOMPARE(file.topicForContext(context), topic);
}

void tst_help::sitemapNestsEntries()
{
    const QString html = QStringLiteral(
        "<HTML><BODY><UL>"
        "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"A &amp; B\">"
        "<param name=\"Local\" value=\"a.html\"></OBJECT>"
        "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"A1\">"
        "<param name=\"Local\" value=\"a1.html#part\"></OBJECT></UL>"
        "<LI><object type='text/sitemap'><param name=Name value=Heading></object>"
        "<LI><OBJECT type=\"text/site properties\"><param name=\"Name\" value=\"ignored\"></OBJECT>"
        "</UL></BODY></HTML>");
    const QList<platform::HelpTopic> topics = platform::ParseSitemap(html);
    QCOMPARE(topics.size(), 2);
    QCOMPARE(topics[0].name, QStringLiteral("A & B"));
    QCOMPARE(topics[0].children.size(), 1);
    QCOMPARE(topics[0].children[0].local, QStringLiteral("a1.html#part"));
    QCOMPARE(topics[1].name, QStringLiteral("Heading"));
    QCOMPARE(topics[1].local, QString());
    QVERIFY(platform::ParseSitemap(QStringLiteral("<ul></ul></ul>")).isEmpty());
}

void tst_help::contentsRequestShowsTheWindowOnTheFirstTopic()
{
    THelpRouter router;
    router.setHelpFile(m_chm);
    QCOMPARE(router.PopupTopicsFile(), m_chm + QStringLiteral("::/CSHelp.txt"));
    QVERIFY(router.HelpContents());
    THelpViewer* viewer = router.viewer();
    QVERIFY(viewer && viewer->isVisible());
    QCOMPARE(viewer->currentTopic(), QStringLiteral("index.html"));
    QVERIFY(viewer->htmlTopic->toPlainText().contains(QStringLiteral("Welcome to Quillory")));
    QCOMPARE(viewer->tvContents->topLevelItemCount(), 1);
    QCOMPARE(viewer->tvContents->currentItem()->text(0), QStringLiteral("Welcome to Quillory"));

    // Choosing an entry of the contents shows its topic.
    QTreeWidgetItem* trayMenu = viewer->tvContents->topLevelItem(0)->child(0);
    viewer->tvContents->setCurrentItem(trayMenu);
    QCOMPARE(viewer->currentTopic(), QStringLiteral("traymenu.html"));
}

void tst_help::contextRequestFromAnyPartOfTheProgram()
{
    THelpRouter router;
    router.setHelpFile(m_chm);
    QVERIFY(QDesktopServices::openUrl(QUrl(QStringLiteral("quillory-help:context/100"))));
    QVERIFY(router.viewer() && router.viewer()->isVisible());
    QCOMPARE(router.viewer()->currentTopic(), QStringLiteral("designer.html"));
    QCOMPARE(router.viewer()->tvContents->currentItem()->text(0), QStringLiteral("The query designer"));
    QVERIFY(!router.HelpContext(4711));
}

void tst_help::linksBetweenTopicsStayInTheWindow()
{
    THelpRouter router;
    router.setHelpFile(m_chm);
    QVERIFY(router.HelpContents());
    THelpViewer* viewer = router.viewer();
    emit viewer->htmlTopic->anchorClicked(QUrl(QStringLiteral("diary.html")));
    QCOMPARE(viewer->currentTopic(), QStringLiteral("diary.html"));
    QVERIFY(viewer->htmlTopic->toPlainText().contains(QStringLiteral("Get Date From:")));
}

void tst_help::helpAskedFromAModalWindowCanBeUsed()
{
    // The query window runs modally, and Qt blocks every window outside a running modal
    // one: the help it asks for must be a window of the modal one to take clicks.
    THelpRouter router;
    router.setHelpFile(m_chm);
    QVERIFY(router.HelpContents()); // made before, as a window of its own
    auto* modal = new QDialog;
    bool insideModal = false;
    QTimer::singleShot(0, modal, [&] {
        QVERIFY(router.HelpContext(100));
        insideModal = router.viewer()->parentWidget() == modal && router.viewer()->isWindow() &&
                      router.viewer()->isVisible();
        modal->accept();
    });
    modal->exec();
    QVERIFY(insideModal);
    delete modal;
    // It closed with the window that asked for it; the next request makes it afresh.
    QVERIFY(router.HelpContents());
    QVERIFY(router.viewer()->isVisible());
    QVERIFY(!router.viewer()->parentWidget());
}

void tst_help::missingOrBrokenHelpFileShowsNothing()
{
    QTemporaryDir dir;
    const QString broken = dir.filePath(QStringLiteral("Quillory.chm"));
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a help file");
    file.close();
    for (const QString& path : {dir.filePath(QStringLiteral("missing.chm")), broken, QString()}) {
        THelpRouter router;
        router.setHelpFile(path);
        QVERIFY(!router.HelpContents());
        QVERIFY(!router.HelpContext(100));
        QVERIFY(!router.viewer());
    }
    QVERIFY(!platform::THelpFile(broken).isOpen());
}

QTEST_MAIN(tst_help)
#include "tst_help.moc"
