#include "uSchedServer.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <stdexcept>

namespace {

constexpr qint64 kMinute = kSchedMsecsPerMinute;
constexpr qint64 kHour = 60 * kMinute;

TSchedTime at(int y, int m, int d, int h = 0, int min = 0, int s = 0)
{
    return SchedTimeFromDate(QDate(y, m, d), QTime(h, min, s));
}

TSchedItemRec rec(TSchedTime start, TSchedTime finish, const QString& caption = {})
{
    TSchedItemRec r;
    r.Start = start;
    r.Finish = finish;
    r.Caption = caption;
    return r;
}

QStringList captionsOf(const TSchedServer& s)
{
    QStringList out;
    for (qsizetype i = 0; i < s.Count(); ++i)
        out << s.Item(i)->Caption();
    return out;
}

QStringList captionsOf(const TSchedDayItems& items)
{
    QStringList out;
    for (qsizetype i = 0; i < items.size(); ++i)
        out << items.at(i)->Caption();
    return out;
}

QString describe(const TSchedChange& c)
{
    return c.Everything ? QStringLiteral("all") : QStringLiteral("%1..%2").arg(c.FirstDay).arg(c.LastDay);
}

} // namespace

class tst_schedServer : public QObject
{
    Q_OBJECT
private slots:
    void timeHelpersCountFromDecember1899_data();
    void timeHelpersCountFromDecember1899();
    void keepsOrderOfStartThenFinish_data();
    void keepsOrderOfStartThenFinish();
    void filesEveryDayTouched_data();
    void filesEveryDayTouched();
    void announcesChangesOncePerOutermostUpdate_data();
    void announcesChangesOncePerOutermostUpdate();
    void updateGuardEndsTheUpdateWhenAnErrorLeaves();
    void removeAllEmptiesStoreAndIndex();
    void dayIndexMatchesBruteForceOnManyRandomAppointments();
};

void tst_schedServer::timeHelpersCountFromDecember1899_data()
{
    QTest::addColumn<QDateTime>("dateTime");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("msecs");
    QTest::newRow("day zero") << QDateTime(QDate(1899, 12, 30), QTime(0, 0)) << 0 << 0;
    QTest::newRow("a day before zero, noon") << QDateTime(QDate(1899, 12, 29), QTime(12, 0)) << -1 << 43'200'000;
    QTest::newRow("19 April 2004 23:50") << QDateTime(QDate(2004, 4, 19), QTime(23, 50)) << 38096 << 85'800'000;
}

void tst_schedServer::timeHelpersCountFromDecember1899()
{
    QFETCH(QDateTime, dateTime);
    QFETCH(int, day);
    QFETCH(int, msecs);
    const TSchedTime t = SchedTimeFromDateTime(dateTime);
    QCOMPARE(SchedDayOf(t), day);
    QCOMPARE(SchedMsecsOfDay(t), msecs);
    QCOMPARE(SchedToDateTime(t), dateTime);
}

void tst_schedServer::keepsOrderOfStartThenFinish_data()
{
    QTest::addColumn<bool>("batched");
    QTest::addColumn<QList<qint64>>("starts"); // hours from 1 March 2004, in order of adding
    QTest::addColumn<QList<qint64>>("lengths"); // hours
    QTest::addColumn<QStringList>("expected"); // captions = index of adding

    for (bool batched : {false, true}) {
        const char* mode = batched ? "in one update" : "one by one";
        QTest::addRow("reversed starts, %s", mode)
            << batched << QList<qint64>{5, 3, 1} << QList<qint64>{1, 1, 1} << QStringList{"2", "1", "0"};
        QTest::addRow("same start, shorter first, %s", mode)
            << batched << QList<qint64>{2, 2, 2} << QList<qint64>{3, 1, 2} << QStringList{"1", "2", "0"};
        QTest::addRow("equal appointments keep the order of adding, %s", mode)
            << batched << QList<qint64>{4, 1, 4, 4} << QList<qint64>{1, 1, 1, 1} << QStringList{"1", "0", "2", "3"};
    }
}

void tst_schedServer::keepsOrderOfStartThenFinish()
{
    QFETCH(bool, batched);
    QFETCH(QList<qint64>, starts);
    QFETCH(QList<qint64>, lengths);
    QFETCH(QStringList, expected);
    TSchedServer s;
    const TSchedTime base = at(2004, 3, 1);
    if (batched)
        s.BeginUpdate();
    for (int i = 0; i < starts.size(); ++i)
        s.Add(rec(base + starts[i] * kHour, base + (starts[i] + lengths[i]) * kHour, QString::number(i)));
    if (batched)
        s.EndUpdate();
    QCOMPARE(captionsOf(s), expected);
    QCOMPARE(captionsOf(s.DayItems(QDate(2004, 3, 1))), expected);
}

void tst_schedServer::filesEveryDayTouched_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("finish");
    QTest::addColumn<QList<QDate>>("days");
    const TSchedTime late = at(2004, 4, 19, 23, 50);
    QTest::newRow("23:50 lasting 14 min 24 s is on both days")
        << late << late + 864'000 << QList<QDate>{QDate(2004, 4, 19), QDate(2004, 4, 20)};
    QTest::newRow("a finish at exactly 00:00 does not touch its day")
        << at(2004, 4, 19, 23, 0) << at(2004, 4, 20) << QList<QDate>{QDate(2004, 4, 19)};
    QTest::newRow("no length at 00:00 is on its day")
        << at(2004, 4, 20) << at(2004, 4, 20) << QList<QDate>{QDate(2004, 4, 20)};
    QTest::newRow("three days") << at(2004, 4, 19, 12) << at(2004, 4, 21, 0, 1)
                                << QList<QDate>{QDate(2004, 4, 19), QDate(2004, 4, 20), QDate(2004, 4, 21)};
    QTest::newRow("null date: 30 December 1899, 00:00")
        << qint64(0) << qint64(864'000) << QList<QDate>{QDate(1899, 12, 30)};
    QTest::newRow("before day zero, across midnight")
        << at(1899, 12, 28, 23, 55) << at(1899, 12, 29, 0, 9)
        << QList<QDate>{QDate(1899, 12, 28), QDate(1899, 12, 29)};
    QTest::newRow("a finish before the start ends at the start")
        << at(2004, 4, 19, 10) << at(2004, 4, 17, 10) << QList<QDate>{QDate(2004, 4, 19)};
}

void tst_schedServer::filesEveryDayTouched()
{
    QFETCH(qint64, start);
    QFETCH(qint64, finish);
    QFETCH(QList<QDate>, days);
    for (bool batched : {false, true}) {
        TSchedServer s;
        if (batched)
            s.BeginUpdate();
        s.Add(rec(start, finish, "x"));
        if (batched)
            s.EndUpdate();
        const QDate first = SchedDateOf(start).addDays(-2);
        for (QDate d = first; d <= first.addDays(8); d = d.addDays(1))
            QVERIFY2(s.DayItems(d).size() == (days.contains(d) ? 1 : 0),
                     qPrintable(d.toString(Qt::ISODate) + (batched ? " batched" : " single")));
    }
}

void tst_schedServer::announcesChangesOncePerOutermostUpdate_data()
{
    // Steps: "begin", "end", "clear", "add D" (a one-hour appointment on day D at 10:00),
    // "late D" (23:50 on day D, 14 min 24 s). Expected: the changes announced, in order.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("outside an update each add is announced")
        << QStringList{"add 5", "add 9"} << QStringList{"5..5", "9..9"};
    QTest::newRow("nested updates announce once, the whole range")
        << QStringList{"begin", "add 7", "begin", "add 3", "late 9", "end", "add 5", "end"} << QStringList{"3..10"};
    QTest::newRow("nothing before the outermost end")
        << QStringList{"begin", "begin", "add 3", "end"} << QStringList{};
    QTest::newRow("remove-all inside an update announces everything")
        << QStringList{"begin", "add 3", "clear", "add 4", "end"} << QStringList{"all"};
    QTest::newRow("remove-all alone") << QStringList{"add 3", "clear"} << QStringList{"3..3", "all"};
    QTest::newRow("an update without changes announces nothing") << QStringList{"begin", "end"} << QStringList{};
    QTest::newRow("an unbalanced end is ignored")
        << QStringList{"end", "begin", "add 2", "end", "end", "add 4"} << QStringList{"2..2", "4..4"};
}

void tst_schedServer::announcesChangesOncePerOutermostUpdate()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, expected);
    TSchedServer s;
    QStringList announced;
    connect(&s, &TSchedServer::Changed, this, [&](const TSchedChange& c) { announced << describe(c); });
    for (const QString& step : steps) {
        const QStringList parts = step.split(' ');
        if (parts[0] == "begin")
            s.BeginUpdate();
        else if (parts[0] == "end")
            s.EndUpdate();
        else if (parts[0] == "clear")
            s.RemoveAll();
        else if (parts[0] == "add")
            s.Add(rec(SchedTimeOf(parts[1].toInt(), 10 * kHour), SchedTimeOf(parts[1].toInt(), 11 * kHour)));
        else if (parts[0] == "late")
            s.Add(rec(SchedTimeOf(parts[1].toInt(), 23 * kHour + 50 * kMinute),
                      SchedTimeOf(parts[1].toInt(), 23 * kHour + 50 * kMinute + 864'000)));
    }
    QCOMPARE(announced, expected);
}

void tst_schedServer::updateGuardEndsTheUpdateWhenAnErrorLeaves()
{
    TSchedServer s;
    QSignalSpy spy(&s, &TSchedServer::Changed);
    try {
        TSchedUpdateGuard guard(s);
        s.Add(rec(at(2004, 4, 19, 9), at(2004, 4, 19, 10)));
        throw std::runtime_error("row failed");
    } catch (const std::runtime_error&) {
    }
    QCOMPARE(s.UpdateDepth(), 0);
    QCOMPARE(spy.count(), 1);
}

void tst_schedServer::removeAllEmptiesStoreAndIndex()
{
    TSchedServer s;
    s.Add(rec(at(2004, 4, 19, 23, 50), at(2004, 4, 20, 0, 4)));
    s.Add(rec(at(2004, 4, 21, 9), at(2004, 4, 21, 10)));
    s.RemoveAll();
    QCOMPARE(s.Count(), 0);
    for (int d = 18; d <= 22; ++d)
        QCOMPARE(s.DayItems(QDate(2004, 4, d)).size(), 0);
    s.Add(rec(at(2004, 4, 20, 9), at(2004, 4, 20, 10), "again"));
    QCOMPARE(captionsOf(s.DayItems(QDate(2004, 4, 20))), QStringList{"again"});
}

namespace {

// The store's order and day index against a plain scan of its appointments, and each
// appointment's caption against the number it was added under (its text follows it
// wherever sorting moves it).
void checkAgainstScan(const TSchedServer& s, int fromDay, int toDay)
{
    for (qsizetype i = 0; i < s.Count(); ++i) {
        QCOMPARE(s.Item(i)->Caption(), QString::number(s.Item(i)->Id));
        if (i == 0)
            continue;
        const TSchedItem* a = s.Item(i - 1);
        const TSchedItem* b = s.Item(i);
        QVERIFY(a->Start < b->Start || (a->Start == b->Start && a->Finish <= b->Finish));
    }
    for (int day = fromDay; day <= toDay; ++day) {
        QList<quint64> expected;
        for (qsizetype i = 0; i < s.Count(); ++i)
            if (s.Item(i)->FirstDay() <= day && s.Item(i)->LastDay() >= day)
                expected << s.Item(i)->Id;
        QList<quint64> filed;
        const TSchedDayItems items = s.DayItems(day);
        for (qsizetype i = 0; i < items.size(); ++i)
            filed << items.at(i)->Id;
        QCOMPARE(filed, expected);
    }
}

} // namespace

void tst_schedServer::dayIndexMatchesBruteForceOnManyRandomAppointments()
{
    // Unordered adds in a batch, then single adds into the sorted store, then adds in
    // order (outside and inside an update): every path must leave the same order and
    // index a plain scan finds.
    QRandomGenerator random(20040419);
    TSchedServer s;
    const TSchedTime base = at(2004, 4, 1);
    int added = 0;
    auto add = [&](TSchedTime start) {
        const qint64 length = random.bounded(10) == 0 ? qint64(random.bounded(3 * 24 * 60)) * kMinute : 864'000;
        s.Add(rec(start, start + length, QString::number(++added)));
    };
    auto randomStart = [&]() { return base + qint64(random.bounded(30 * 24 * 60)) * kMinute; };
    const int firstDay = SchedDayOf(base) - 1;
    s.BeginUpdate();
    for (int i = 0; i < 5000; ++i)
        add(randomStart());
    s.EndUpdate();
    checkAgainstScan(s, firstDay, firstDay + 36);
    if (QTest::currentTestFailed())
        return;
    for (int i = 0; i < 200; ++i)
        add(randomStart());
    checkAgainstScan(s, firstDay, firstDay + 36);
    if (QTest::currentTestFailed())
        return;
    TSchedTime next = s.Item(s.Count() - 1)->Start;
    for (int i = 0; i < 300; ++i)
        add(next += qint64(random.bounded(6 * 60)) * kMinute);
    checkAgainstScan(s, firstDay, SchedDayOf(next) + 4);
    if (QTest::currentTestFailed())
        return;
    {
        const TSchedUpdateGuard update(s);
        for (int i = 0; i < 300; ++i)
            add(next += qint64(random.bounded(6 * 60)) * kMinute);
    }
    checkAgainstScan(s, firstDay, SchedDayOf(next) + 4);
}

QTEST_GUILESS_MAIN(tst_schedServer)
#include "tst_schedServer.moc"
