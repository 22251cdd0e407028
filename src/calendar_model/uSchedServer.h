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

// One appointment held by the store. Id numbers the appointments in order of addition.
struct TSchedItem
{
    quint64 Id = 0;
    TSchedTime Start = 0;
    TSchedTime Finish = 0;
    QString Caption;
    int Kind = 0;
    QString Description;
    bool Alarm = false;
    bool DateOnly = false;

    int FirstDay() const { return SchedDayOf(Start); }
    int LastDay() const { return SchedLastDay(Start, Finish); }
};

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
    TSchedDayItems(const std::vector<TSchedItem*>* carried, TSchedItem* const* starting, qsizetype count)
        : m_carried(carried), m_starting(starting), m_count(count)
    {
    }
    qsizetype size() const { return carriedCount() + m_count; }
    bool empty() const { return size() == 0; }
    const TSchedItem* at(qsizetype i) const
    {
        const qsizetype c = carriedCount();
        return i < c ? (*m_carried)[size_t(i)] : m_starting[i - c];
    }

private:
    qsizetype carriedCount() const { return m_carried ? qsizetype(m_carried->size()) : 0; }

    const std::vector<TSchedItem*>* m_carried = nullptr;
    TSchedItem* const* m_starting = nullptr;
    qsizetype m_count = 0;
};

// The appointment store. Keeps its appointments in order of start, then finish (then
// order of addition) and files each under every day it touches (a finish at exactly
// 00:00 does not touch its day). Views subscribe to Changed.
//
// Updates nest: between the first BeginUpdate and its matching EndUpdate nothing is
// announced; the changed days only widen, and the outermost EndUpdate announces them
// once (Everything when RemoveAll ran inside). Outside an update each change is announced
// at once. Sorting is deferred to the end of an update, so a batch of n adds costs
// n log n. Pointers to appointments stay valid until RemoveAll.
class TSchedServer : public QObject
{
    Q_OBJECT
public:
    explicit TSchedServer(QObject* parent = nullptr);
    ~TSchedServer() override;

    // Creates an appointment from the record's values and files it.
    const TSchedItem* Add(const TSchedItemRec& rec);
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
    void changed(const TSchedChange& change);
    void ensureOrdered() const;

    std::vector<std::unique_ptr<TSchedItem>> m_owned;
    mutable std::vector<TSchedItem*> m_items; // by start, finish, id
    // Appointments that began on an earlier day, under each later day they touch.
    mutable std::unordered_map<int, std::vector<TSchedItem*>> m_carried;
    mutable bool m_unordered = false;
    mutable bool m_carriedUnordered = false;
    int m_updateDepth = 0;
    TSchedChange m_pending;
    bool m_pendingAny = false;
    quint64 m_nextId = 1;
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
