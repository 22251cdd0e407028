#include "uNimTrayIcon.h"

#include "uDialogScript.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

class tst_uNimTrayIcon : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void tipIsTheHintOrTheTitleCutTo63_data();
    void tipIsTheHintOrTheTitleCutTo63();
    void versionStaysOneHundred();
    void releaseOfLeftOrRightPopsTheMenuAtThePointer_data();
    void releaseOfLeftOrRightPopsTheMenuAtThePointer();
    void withoutATrayTheUserIsToldOnceAndTheProgramWaits();
};

void tst_uNimTrayIcon::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Quillory"));
}

void tst_uNimTrayIcon::tipIsTheHintOrTheTitleCutTo63_data()
{
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QString>("tip");
    QTest::newRow("hint") << "Quillory"
                          << "Quillory";
    QTest::newRow("empty hint: the application's title") << ""
                                                         << "Quillory";
    const QString seventy = QString(60, u'a') + QStringLiteral("0123456789");
    QTest::newRow("70 characters") << seventy << seventy.left(63);
    QTest::newRow("exactly 63") << QString(63, u'b') << QString(63, u'b');
}

void tst_uNimTrayIcon::tipIsTheHintOrTheTitleCutTo63()
{
    QFETCH(QString, hint);
    QFETCH(QString, tip);
    ScriptedDialogs dialogs;
    TNimTray tray;
    tray.setHint(hint);
    tray.Loaded();
    QCOMPARE(tray.TipText(), tip);
    QCOMPARE(tray.trayIcon()->toolTip(), tip);
    // Later hints do not reach the tray.
    tray.setHint(QStringLiteral("changed"));
    QCOMPARE(tray.trayIcon()->toolTip(), tip);
}

void tst_uNimTrayIcon::versionStaysOneHundred()
{
    TNimTray tray;
    QCOMPARE(tray.Version(), QStringLiteral("1.00"));
    tray.setVersion(QStringLiteral("2.5"));
    QVERIFY(tray.setProperty("Version", QStringLiteral("3.0")));
    QCOMPARE(tray.property("Version").toString(), QStringLiteral("1.00"));
}

void tst_uNimTrayIcon::releaseOfLeftOrRightPopsTheMenuAtThePointer_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("pops");
    QTest::newRow("left released") << int(QEvent::MouseButtonRelease) << int(Qt::LeftButton) << true;
    QTest::newRow("right released") << int(QEvent::MouseButtonRelease) << int(Qt::RightButton) << true;
    QTest::newRow("left pressed") << int(QEvent::MouseButtonPress) << int(Qt::LeftButton) << false;
    QTest::newRow("right pressed") << int(QEvent::MouseButtonPress) << int(Qt::RightButton) << false;
    QTest::newRow("double click") << int(QEvent::MouseButtonDblClick) << int(Qt::LeftButton) << false;
    QTest::newRow("middle released") << int(QEvent::MouseButtonRelease) << int(Qt::MiddleButton) << false;
}

void tst_uNimTrayIcon::releaseOfLeftOrRightPopsTheMenuAtThePointer()
{
    QFETCH(int, type);
    QFETCH(int, button);
    QFETCH(bool, pops);
    ScriptedDialogs dialogs;
    QMenu menu;
    menu.addAction(QStringLiteral("Quillory"));
    TNimTray tray;
    tray.setPopupMenu(&menu);
    tray.Loaded();
    QSignalSpy popped(&tray, &TNimTray::menuPopped);
    QCursor::setPos(400, 300);
    QCOMPARE(QCursor::pos(), QPoint(400, 300));

    tray.WMTrayIcon(QEvent::Type(type), Qt::MouseButton(button));
    QCOMPARE(menu.isVisible(), pops);
    QCOMPARE(popped.size(), pops ? 1 : 0);
    if (pops)
        QCOMPARE(menu.pos(), QPoint(388, 280));
    menu.hide();
}

void tst_uNimTrayIcon::withoutATrayTheUserIsToldOnceAndTheProgramWaits()
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        QSKIP("this desktop has a system tray");
    ScriptedDialogs dialogs;
    TNimTray tray;
    tray.Loaded();
    QVERIFY(tray.waitingForTray());
    QVERIFY(!QApplication::quitOnLastWindowClosed());
    QTest::qWait(2 * TNimTray::kTrayPollMs + 100);
    QCOMPARE(dialogs.shown().size(), 1);
    QCOMPARE(dialogs.last().kind, dialogs::Kind::Information);
    QCOMPARE(dialogs.last().caption, QStringLiteral("Quillory"));
    QCOMPARE(dialogs.last().text, TNimTray::NoTrayMessage());
    QVERIFY(dialogs.last().text.contains(QStringLiteral("no system tray")));
    QVERIFY(tray.waitingForTray());
}

QTEST_MAIN(tst_uNimTrayIcon)
#include "tst_uNimTrayIcon.moc"
