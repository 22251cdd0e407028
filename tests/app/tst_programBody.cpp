#include "uProgram.h"

#include <algorithm>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// The program body's own pieces: the one-copy lock, the signals that end the run in
// order, the icon.
class tst_programBody : public QObject
{
    Q_OBJECT

private slots:
    void secondCopyOnTheSameFolderFindsItHeld();
    void lockOfADeadCopyIsTakenOver();
    void folderWithoutRoomForALockIsNotHeld();
    void quitSignalsReachTheEventLoop_data();
    void quitSignalsReachTheEventLoop();
    void iconIsDrawnAtTraySizes();
};

void tst_programBody::secondCopyOnTheSameFolderFindsItHeld()
{
    QTemporaryDir a, b;
    {
        const TRunningLock first(a.path());
        QVERIFY(!first.heldElsewhere());
        QVERIFY(TRunningLock(a.path()).heldElsewhere());
        QVERIFY2(!TRunningLock(b.path()).heldElsewhere(), "another folder is another set of favourites");
    }
    QVERIFY(!TRunningLock(a.path()).heldElsewhere());
}

void tst_programBody::lockOfADeadCopyIsTakenOver()
{
    // A copy that was killed left its lock behind, naming a process that is gone.
    QTemporaryDir dir;
    QFile lock(dir.filePath(QLatin1String(TRunningLock::kLockFileName)));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write("999999\nQuillory\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    lock.close();
    QVERIFY(!TRunningLock(dir.path()).heldElsewhere());
}

void tst_programBody::folderWithoutRoomForALockIsNotHeld()
{
    QTemporaryDir dir;
    QVERIFY(!TRunningLock(dir.filePath(QStringLiteral("no/such/folder"))).heldElsewhere());
}

void tst_programBody::quitSignalsReachTheEventLoop_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void tst_programBody::quitSignalsReachTheEventLoop()
{
    QFETCH(int, signalNumber);
    int calls = 0;
    {
        TQuitSignals signals_([&calls] { ++calls; });
        QCOMPARE(std::raise(signalNumber), 0);
        QTRY_COMPARE(calls, 1);
    }
    // Afterwards the default action is back.
    struct sigaction current = {};
    sigaction(signalNumber, nullptr, &current);
    QVERIFY(current.sa_handler == SIG_DFL);
}

void tst_programBody::iconIsDrawnAtTraySizes()
{
    const QIcon icon = ProgramIcon();
    QVERIFY(!icon.isNull());
    const QImage small = icon.pixmap(QSize(22, 22)).toImage();
    QCOMPARE(small.size(), QSize(22, 22));
    // Drawn, not blank: the middle is opaque.
    QVERIFY(qAlpha(small.pixel(11, 11)) > 200);
    // Any size is drawn at that size, not scaled from a smaller one.
    const QImage large = icon.pixmap(QSize(256, 256)).toImage();
    QCOMPARE(large.size(), QSize(256, 256));
    QVERIFY(qAlpha(large.pixel(128, 128)) > 200);
    // The window manager is offered the usual small sizes only: each one is drawn for
    // every window, the tray's own at start.
    const QList<QSize> listed = icon.availableSizes();
    QVERIFY(listed.contains(QSize(16, 16)) && listed.contains(QSize(64, 64)));
    QVERIFY(std::all_of(listed.begin(), listed.end(), [](QSize s) { return s.width() <= 64; }));
    // A disabled entry shows the icon greyed.
    QVERIFY(icon.pixmap(QSize(22, 22), QIcon::Disabled).toImage() != small);
}

QTEST_MAIN(tst_programBody)
#include "tst_programBody.moc"
