#pragma once

#include "uSchedTime.h"

#include <QMetaType>
#include <QObject>
#include <QString>

#include <memory>
#include <unordered_map>
#include <vector>

// The record from which the store creates a new appointment. Alarm is carried but never
// raised: the store runs no alarm check.
struct TSchedItemRec
{
    TSchedTime Start = 0;
    TSchedTime Finish = 0;
    QString Caption;
    int Kind = 0;
    QString Description;
    bool Alarm = false;
    // The start came from a date without a time of day: shown without a time.
    bool DateOnly = false;
};

// Where appointments' words and flags come from: the store keeps each appointment as a
// small record (its times, a number and its source), and the source makes the texts when
// they are asked for. A store of a million appointments made from fetched rows so holds no
// copy of their text, and only what is drawn, printed or hinted is ever made. ref is the
// number the source gave the appointment when it was added (for rows, the row).
class TSchedItemSource
{
public:
    virtual ~TSchedItemSource() = default;
    virtual QString Caption(quint32 ref) const = 0;
    virtual QString Description(quint32 ref) const = 0;
    virtual int Kind(quint32) const { return 0; }
    virtual bool Alarm(quint32) const { return false; }
    virtual bool DateOnly(quint32) const { return false; }
};
using TSchedItemSourcePtr = std::shared_ptr<const TSchedItemSource>;

// One appointment held by the store. Id numbers the appointments in order of addition
// since the store was last emptied. The texts are made by the source on each call.
struct TSchedItem
{
    TSchedTime Start = 0;
    TSchedTime Finish = 0;
    const TSchedItemSource* Source = nullptr; // kept alive by the store
    quint32 Id = 0;
    quint32 Ref = 0;

    QString Caption() const { return Source ? Source->Caption(Ref) : QString(); }
    QString Description() const { return Source ? Source->Description(Ref) : QString(); }
    int Kind() const { return Source ? Source->Kind(Ref) : 0; }
    bool Alarm() const { return Source && Source->Alarm(Ref); }
    bool DateOnly() const { return Source && Source->DateOnly(Ref); }

    int FirstDay() const { return SchedDayOf(Start); }
    int LastDay() const { return SchedLastDay(Start, Finish); }
};
static_assert(sizeof(TSchedItem) == 32, "the store's size per appointment rests on this");

// What a subscribed view is told: everything (after a remove-all) or the days
// FirstDay..LastDay that gained or lost appointments.
struct TSchedChange
{
    bool Everything = false;
    int FirstDay = 0;
    int LastDay = -1;

    bool Touches(int day) const { return Everything || (day >= FirstDay && day <= LastDay); }
    bool operator==(const TSchedChange&) const = default;
};
Q_DECLARE_METATYPE(TSchedChange)

// The appointments touching one day, in order of start then finish: those that began on
// an earlier day first, then those that start on it. A view of the store, valid until
// the store changes.
class TSchedDayItems
{
public:
    TSchedDayItems() = default;
    // carried: positions in items of those that began earlier; then count from starting on.
    TSchedDayItems(const TSchedItem* items, const std::vector<quint32>* carried, qsizetype starting, qsizetype count)
        : m_items(items), m_carried(carried), m_starting(starting), m_count(count)
    {
    }
    qsizetype size() const { return carriedCount() + m_count; }
    bool empty() const { return size() == 0; }
    const TSchedItem* at(qsizetype i) const
    {
        const qsizetype c = carriedCount();
        return m_items + (i < c ? qsizetype((*m_carried)[size_t(i)]) : m_starting + i - c);
    }

private:
    qsizetype carriedCount() const { return m_carried ? qsizetype(m_carried->size()) : 0; }

    const TSchedItem* m_items = nullptr;
    const std::vector<quint32>* m_carried = nullptr;
    qsizetype m_starting = 0;
    qsizetype m_count = 0;
};

// The appointment store. Keeps its appointments in order of start, then finish (then
// order of addition) and files each under every day it touches (a finish at exactly
// 00:00 does not touch its day). Views subscribe to Changed.
//
// The appointments are 32-byte records held in that order in one array (those spanning
// days are also listed by position under each later day); their texts stay with their
// source. A million appointments so take about 32 MB, whatever their captions.
//
// Updates nest: between the first BeginUpdate and its matching EndUpdate nothing is
// announced; the changed days only widen, and the outermost EndUpdate announces them
// once (Everything when RemoveAll ran inside). Outside an update each change is announced
// at once. Sorting is deferred to the end of an update, so a batch of n adds costs
// n log n. Records move when the store changes: a pointer to an appointment is valid
// until the next change; Id names it for longer.
class TSchedServer : public QObject
{
    Q_OBJECT
public:
    explicit TSchedServer(QObject* parent = nullptr);
    ~TSchedServer() override;

    // Creates an appointment from the record's values and files it; the store keeps a
    // copy of its texts.
    const TSchedItem* Add(const TSchedItemRec& rec);
    // Creates an appointment whose texts the source makes for ref, and files it. The
    // store holds the source until RemoveAll.
    const TSchedItem* Add(const TSchedItemSourcePtr& source, quint32 ref, TSchedTime start, TSchedTime finish);
    // Makes room for n more appointments (a batch of known size grows no array on the way).
    void Reserve(qsizetype n);
    void RemoveAll();

    void BeginUpdate();
    // Unbalanced calls are ignored.
    void EndUpdate();
    int UpdateDepth() const { return m_updateDepth; }

    qsizetype Count() const { return qsizetype(m_items.size()); }
    // The i-th appointment in order of start, then finish.
    const TSchedItem* Item(qsizetype i) const;
    TSchedDayItems DayItems(int day) const;
    TSchedDayItems DayItems(QDate date) const { return DayItems(SchedDayFromDate(date)); }
    // Grows with every change; views compare it to know their layout is stale.
    quint64 Revision() const { return m_revision; }

signals:
    void Changed(const TSchedChange& change);

private:
    class OwnTexts;
    const TSchedItem* file(const TSchedItem& item);
    void changed(const TSchedChange& change);
    void ensureOrdered() const;

    mutable std::vector<TSchedItem> m_items; // by start, finish, id
    // Positions in m_items of the appointments that began on an earlier day, under each
    // later day they touch; rebuilt after records moved.
    mutable std::unordered_map<int, std::vector<quint32>> m_carried;
    // The sources the records point to, and the one holding the texts given to Add(rec).
    std::vector<TSchedItemSourcePtr> m_sources;
    std::shared_ptr<OwnTexts> m_ownTexts;
    mutable bool m_unordered = false;
    mutable bool m_carriedStale = false;
    int m_updateDepth = 0;
    TSchedChange m_pending;
    bool m_pendingAny = false;
    quint32 m_nextId = 1;
    quint64 m_revision = 0;
};

// Begins an update and ends it on leaving the scope, also when an error leaves it.
class TSchedUpdateGuard
{
public:
    explicit TSchedUpdateGuard(TSchedServer& server) : m_server(server) { m_server.BeginUpdate(); }
    ~TSchedUpdateGuard() { m_server.EndUpdate(); }
    TSchedUpdateGuard(const TSchedUpdateGuard&) = delete;
    TSchedUpdateGuard& operator=(const TSchedUpdateGuard&) = delete;

private:
    TSchedServer& m_server;
};
