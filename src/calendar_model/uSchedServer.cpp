#include "uSchedServer.h"

#include <algorithm>
#include <deque>

namespace {

bool before(const TSchedItem& a, const TSchedItem& b)
{
    if (a.Start != b.Start)
        return a.Start < b.Start;
    if (a.Finish != b.Finish)
        return a.Finish < b.Finish;
    return a.Id < b.Id;
}

TSchedChange widen(const TSchedChange& a, const TSchedChange& b)
{
    if (a.Everything || b.Everything)
        return {true, 0, -1};
    return {false, std::min(a.FirstDay, b.FirstDay), std::max(a.LastDay, b.LastDay)};
}

} // namespace

// The texts and flags of appointments added from a TSchedItemRec, one entry per
// appointment: the store's own copy, since the record's caller keeps nothing for it.
class TSchedServer::OwnTexts : public TSchedItemSource
{
public:
    struct Entry
    {
        QString caption;
        QString description;
        int kind = 0;
        bool alarm = false;
        bool dateOnly = false;
    };
    std::deque<Entry> entries; // grows without copying what it holds

    QString Caption(quint32 ref) const override { return entries[ref].caption; }
    QString Description(quint32 ref) const override { return entries[ref].description; }
    int Kind(quint32 ref) const override { return entries[ref].kind; }
    bool Alarm(quint32 ref) const override { return entries[ref].alarm; }
    bool DateOnly(quint32 ref) const override { return entries[ref].dateOnly; }
};

TSchedServer::TSchedServer(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<TSchedChange>();
}

TSchedServer::~TSchedServer() = default;

const TSchedItem* TSchedServer::Add(const TSchedItemRec& rec)
{
    if (!m_ownTexts) {
        m_ownTexts = std::make_shared<OwnTexts>();
        m_sources.push_back(m_ownTexts);
    }
    const auto ref = quint32(m_ownTexts->entries.size());
    m_ownTexts->entries.push_back({rec.Caption, rec.Description, rec.Kind, rec.Alarm, rec.DateOnly});
    return file({rec.Start, rec.Finish, m_ownTexts.get(), m_nextId++, ref});
}

const TSchedItem* TSchedServer::Add(const TSchedItemSourcePtr& source, quint32 ref, TSchedTime start,
                                    TSchedTime finish)
{
    // Adds come in long runs from one source: only a new one is looked for and kept.
    if (source && (m_sources.empty() || m_sources.back() != source) &&
        std::find(m_sources.begin(), m_sources.end(), source) == m_sources.end())
        m_sources.push_back(source);
    return file({start, finish, source.get(), m_nextId++, ref});
}

void TSchedServer::Reserve(qsizetype n)
{
    if (n > 0)
        m_items.reserve(m_items.size() + size_t(n));
}

const TSchedItem* TSchedServer::file(const TSchedItem& added)
{
    TSchedItem item = added;
    // A finish before the start would file the appointment nowhere: it ends where it starts.
    item.Finish = std::max(item.Finish, item.Start);
    const int first = item.FirstDay();
    const int last = item.LastDay();
    const TSchedItem* filed = nullptr;
    if (m_updateDepth > 0 || m_unordered || m_items.empty() || !before(item, m_items.back())) {
        // Appended (rows often come in order); a batch out of order is sorted once at the
        // end of its update.
        if (!m_items.empty() && before(item, m_items.back()))
            m_unordered = true;
        m_items.push_back(item);
        filed = &m_items.back();
        if (last > first && !m_unordered && !m_carriedStale) {
            const auto position = quint32(m_items.size() - 1);
            for (int day = first + 1; day <= last; ++day)
                m_carried[day].push_back(position);
        } else if (last > first) {
            m_carriedStale = true;
        }
    } else {
        // Inserted in place: the positions behind it move, so the days' lists are remade.
        const auto at = m_items.insert(std::upper_bound(m_items.begin(), m_items.end(), item, before), item);
        filed = &*at;
        m_carriedStale = true;
    }
    changed({false, first, last});
    return filed;
}

void TSchedServer::RemoveAll()
{
    m_items.clear();
    m_carried.clear();
    m_sources.clear();
    m_ownTexts.reset();
    m_nextId = 1;
    m_unordered = m_carriedStale = false;
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
    return &m_items[size_t(i)];
}

TSchedDayItems TSchedServer::DayItems(int day) const
{
    ensureOrdered();
    const TSchedTime from = SchedTimeOf(day);
    const TSchedTime to = SchedTimeOf(day + 1);
    auto byStart = [](const TSchedItem& item, TSchedTime t) { return item.Start < t; };
    auto begin = std::lower_bound(m_items.begin(), m_items.end(), from, byStart);
    auto end = std::lower_bound(begin, m_items.end(), to, byStart);
    auto carried = m_carried.find(day);
    return TSchedDayItems(m_items.data(), carried == m_carried.end() ? nullptr : &carried->second,
                          begin - m_items.begin(), end - begin);
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
        m_carriedStale = true;
    }
    if (m_carriedStale) {
        // Walked in order, so each day's list comes out in order too.
        m_carried.clear();
        for (size_t i = 0; i < m_items.size(); ++i) {
            const TSchedItem& item = m_items[i];
            const int first = item.FirstDay();
            const int last = item.LastDay();
            for (int day = first + 1; day <= last; ++day)
                m_carried[day].push_back(quint32(i));
        }
        m_carriedStale = false;
    }
}
