#include "uSchedServer.h"

#include <algorithm>

namespace {

bool before(const TSchedItem* a, const TSchedItem* b)
{
    if (a->Start != b->Start)
        return a->Start < b->Start;
    if (a->Finish != b->Finish)
        return a->Finish < b->Finish;
    return a->Id < b->Id;
}

TSchedChange widen(const TSchedChange& a, const TSchedChange& b)
{
    if (a.Everything || b.Everything)
        return {true, 0, -1};
    return {false, std::min(a.FirstDay, b.FirstDay), std::max(a.LastDay, b.LastDay)};
}

} // namespace

TSchedServer::TSchedServer(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<TSchedChange>();
}

TSchedServer::~TSchedServer() = default;

const TSchedItem* TSchedServer::Add(const TSchedItemRec& rec)
{
    auto owned = std::make_unique<TSchedItem>();
    TSchedItem* item = owned.get();
    item->Id = m_nextId++;
    item->Start = rec.Start;
    // A finish before the start would file the appointment nowhere: it ends where it starts.
    item->Finish = std::max(rec.Finish, rec.Start);
    item->Caption = rec.Caption;
    item->Kind = rec.Kind;
    item->Description = rec.Description;
    item->Alarm = rec.Alarm;
    item->DateOnly = rec.DateOnly;
    m_owned.push_back(std::move(owned));

    if (m_updateDepth > 0 || m_unordered) {
        // Batch: append, sort once at the end of the update (rows often come in order).
        if (!m_items.empty() && before(item, m_items.back()))
            m_unordered = true;
        m_items.push_back(item);
    } else {
        m_items.insert(std::upper_bound(m_items.begin(), m_items.end(), item, before), item);
    }
    const int first = item->FirstDay();
    const int last = item->LastDay();
    for (int day = first + 1; day <= last; ++day) {
        std::vector<TSchedItem*>& list = m_carried[day];
        if (!list.empty() && before(item, list.back()))
            m_carriedUnordered = true;
        list.push_back(item);
    }
    changed({false, first, last});
    return item;
}

void TSchedServer::RemoveAll()
{
    m_items.clear();
    m_carried.clear();
    m_owned.clear();
    m_unordered = m_carriedUnordered = false;
    changed({true, 0, -1});
}

void TSchedServer::BeginUpdate()
{
    ++m_updateDepth;
}

void TSchedServer::EndUpdate()
{
    if (m_updateDepth == 0)
        return;
    if (--m_updateDepth > 0)
        return;
    ensureOrdered();
    if (m_pendingAny) {
        const TSchedChange change = m_pending;
        m_pendingAny = false;
        m_pending = {};
        emit Changed(change);
    }
}

const TSchedItem* TSchedServer::Item(qsizetype i) const
{
    ensureOrdered();
    return m_items[size_t(i)];
}

TSchedDayItems TSchedServer::DayItems(int day) const
{
    ensureOrdered();
    const TSchedTime from = SchedTimeOf(day);
    const TSchedTime to = SchedTimeOf(day + 1);
    auto byStart = [](const TSchedItem* item, TSchedTime t) { return item->Start < t; };
    auto begin = std::lower_bound(m_items.begin(), m_items.end(), from, byStart);
    auto end = std::lower_bound(begin, m_items.end(), to, byStart);
    auto carried = m_carried.find(day);
    return TSchedDayItems(carried == m_carried.end() ? nullptr : &carried->second,
                          m_items.data() + (begin - m_items.begin()), end - begin);
}

void TSchedServer::changed(const TSchedChange& change)
{
    ++m_revision;
    if (m_updateDepth > 0) {
        m_pending = m_pendingAny ? widen(m_pending, change) : change;
        m_pendingAny = true;
        return;
    }
    ensureOrdered();
    emit Changed(change);
}

void TSchedServer::ensureOrdered() const
{
    if (m_unordered) {
        std::sort(m_items.begin(), m_items.end(), before);
        m_unordered = false;
    }
    if (m_carriedUnordered) {
        for (auto& [day, list] : m_carried)
            std::sort(list.begin(), list.end(), before);
        m_carriedUnordered = false;
    }
}
