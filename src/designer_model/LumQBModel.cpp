#include "LumQBModel.h"

#include "LumQBException.h"

#include <algorithm>

namespace {
const QString kStar = QStringLiteral("*");
const QString kUnsorted = QStringLiteral("Unsorted");
const QString kGroupBy = QStringLiteral("Group By");
} // namespace

QString JoinOperatorText(int joinOperator)
{
    static const char* const texts[] = {"=", "<", ">", "<=", ">=", "<>"};
    if (joinOperator < 0 || joinOperator > 5)
        throw ELumQBException(QStringLiteral("Invalid join operator %1").arg(joinOperator));
    return QString::fromLatin1(texts[joinOperator]);
}

int TLumQBTableData::IndexOfField(const QString& name) const
{
    for (int i = 0; i < Fields.size(); ++i)
        if (Fields[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void TLumQBTableData::SetTicked(int index, bool ticked)
{
    if (index >= 0 && index < Ticked.size())
        Ticked[index] = ticked;
}

TJoinKind JoinKindOf(bool allFrom1, bool allFrom2)
{
    return allFrom1 && allFrom2 ? jkFullOuter : allFrom1 ? jkLeftOuter : allFrom2 ? jkRightOuter : jkInner;
}

TJoinKind ToggledJoinKind(TJoinKind kind, int end)
{
    const bool all1 = kind == jkLeftOuter || kind == jkFullOuter;
    const bool all2 = kind == jkRightOuter || kind == jkFullOuter;
    return JoinKindOf(end == 1 ? !all1 : all1, end == 2 ? !all2 : all2);
}

namespace {

template <typename T> std::unique_ptr<T> Take(std::vector<std::unique_ptr<T>>& owned, const T* item)
{
    const auto it = std::find_if(owned.begin(), owned.end(), [item](const auto& p) { return p.get() == item; });
    if (it == owned.end())
        return nullptr;
    std::unique_ptr<T> taken = std::move(*it);
    owned.erase(it);
    return taken;
}

} // namespace

TLumQBTableData* TLumQBDiagram::FindTable(const QString& name) const
{
    for (auto it = m_tables.rbegin(); it != m_tables.rend(); ++it)
        if ((*it)->TableName == name)
            return it->get();
    return nullptr;
}

TLumQBTableData* TLumQBDiagram::FindAlias(const QString& alias) const
{
    for (auto it = m_tables.rbegin(); it != m_tables.rend(); ++it)
        // SQL engines compare aliases without regard to case, so "C" and "c" clash.
        if ((*it)->TableAlias.compare(alias, Qt::CaseInsensitive) == 0)
            return it->get();
    return nullptr;
}

QString TLumQBDiagram::NewAlias(const QString& tableName) const
{
    // A whole character: a name may start outside the Basic Multilingual Plane.
    const QString first = tableName.left(tableName.size() > 1 && tableName.at(0).isHighSurrogate() ? 2 : 1);
    if (!FindAlias(first))
        return first;
    for (int k = 1; k <= 255; ++k) {
        const QString candidate = first + QString::number(k);
        if (!FindAlias(candidate))
            return candidate;
    }
    return QStringLiteral("#ERROR");
}

TLumQBTableData* TLumQBDiagram::AddTable(const QString& name, const QStringList& fieldNames)
{
    if (TLumQBTableData* existing = FindTable(name))
        return existing;
    QStringList fields{kStar};
    for (const QString& f : fieldNames)
        if (!f.isEmpty())
            fields << f;
    if (fields.size() == 1)
        throw ELumQBException(QStringLiteral("Table \"%1\" doesn't have any fields!").arg(name));
    auto table = std::make_unique<TLumQBTableData>();
    table->TableName = name;
    table->TableAlias = NewAlias(name);
    table->Fields = fields;
    table->Ticked = QList<bool>(fields.size(), false);
    m_tables.push_back(std::move(table));
    return m_tables.back().get();
}

void TLumQBDiagram::RemoveTable(TLumQBTableData* table)
{
    RemoveTableLinks(table);
    std::erase_if(m_tables, [table](const auto& t) { return t.get() == table; });
}

void TLumQBDiagram::SetTableAlias(TLumQBTableData* table, const QString& alias)
{
    if (table->TableAlias == alias)
        return;
    if (TLumQBTableData* other = FindAlias(alias); other && other != table)
        throw ELumQBException(QStringLiteral("The alias you entered already exists!"));
    table->TableAlias = alias;
}

TLumQBLinkData* TLumQBDiagram::AddLink(TLumQBTableData* table1, TLumQBTableData* table2, int index1,
                                       int index2)
{
    if (FindLink(table1, table2, index1, index2) >= 0)
        throw ELumQBException(QStringLiteral("These tables are already linked!"));
    auto checkField = [](const TLumQBTableData* table, int index) {
        const QString name = index >= 0 && index < table->Fields.size() ? table->Fields[index] : QString();
        if (index <= 0 || index >= table->Fields.size())
            throw ELumQBException(QStringLiteral("The field \"%1\" doesn't exists in table \"%2\"!")
                                      .arg(name, table->TableName));
        return name;
    };
    auto link = std::make_unique<TLumQBLinkData>();
    link->Table1 = table1;
    link->Table2 = table2;
    link->Field1 = checkField(table1, index1);
    link->Field2 = checkField(table2, index2);
    link->FieldIndex1 = index1;
    link->FieldIndex2 = index2;
    m_links.push_back(std::move(link));
    return m_links.back().get();
}

int TLumQBDiagram::FindLink(const TLumQBTableData* a, const TLumQBTableData* b, int indexA, int indexB,
                            int start) const
{
    for (int i = std::max(start, 0); i < LinkCount(); ++i) {
        const TLumQBLinkData& l = *m_links[i];
        if ((l.Table1 == a && l.FieldIndex1 == indexA && l.Table2 == b && l.FieldIndex2 == indexB) ||
            (l.Table1 == b && l.FieldIndex1 == indexB && l.Table2 == a && l.FieldIndex2 == indexA))
            return i;
    }
    return -1;
}

void TLumQBDiagram::RemoveLink(TLumQBLinkData* link)
{
    std::erase_if(m_links, [link](const auto& l) { return l.get() == link; });
}

std::unique_ptr<TLumQBLinkData> TLumQBDiagram::TakeLink(const TLumQBLinkData* link)
{
    return Take(m_links, link);
}

std::unique_ptr<TLumQBTableData> TLumQBDiagram::TakeTable(const TLumQBTableData* table)
{
    return Take(m_tables, table);
}

void TLumQBDiagram::RemoveTableLinks(const TLumQBTableData* table)
{
    for (int i = LinkCount() - 1; i >= 0; --i)
        if (m_links[i]->Table1 == table || m_links[i]->Table2 == table)
            m_links.erase(m_links.begin() + i);
}

void TLumQBGridData::SetUseGroupBy(bool value)
{
    m_useGroupBy = value;
    for (TLumQBGridRow& r : m_rows) {
        if (!value) {
            r.GroupBy.clear();
        } else if (r.Column == kStar) {
            r.GroupBy = QStringLiteral("Count");
            r.Caption.clear();
        } else {
            r.GroupBy = kGroupBy;
        }
    }
}

int TLumQBGridData::FindRow(const QString& field, const QString& table) const
{
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].Column == field && m_rows[i].Table == table)
            return i;
    return -1;
}

int TLumQBGridData::AddField(const QString& field, const QString& table)
{
    const int found = FindRow(field, table);
    if (found >= 0)
        return found;
    TLumQBGridRow r;
    r.Table = table;
    r.Column = field;
    if (m_useGroupBy)
        r.GroupBy = field == kStar ? QStringLiteral("Count") : kGroupBy;
    m_rows.append(r);
    return int(m_rows.size()) - 1;
}

void TLumQBGridData::RemoveField(const QString& field, const QString& table)
{
    const int r = FindRow(field, table);
    if (r < 0)
        return;
    if (m_rows[r].SortOrder > 0)
        CloseSortGap(m_rows[r].SortOrder);
    m_rows.removeAt(r);
}

void TLumQBGridData::RemoveTable(const QString& table)
{
    for (int i = int(m_rows.size()) - 1; i >= 0; --i)
        if (m_rows[i].Table == table)
            RemoveField(m_rows[i].Column, table);
}

void TLumQBGridData::MoveRow(int from, int to)
{
    if (from >= 0 && from < m_rows.size() && to >= 0 && to < m_rows.size())
        m_rows.move(from, to);
}

int TLumQBGridData::SortedCount() const
{
    return int(std::count_if(m_rows.begin(), m_rows.end(),
                             [](const TLumQBGridRow& r) { return r.SortType != kUnsorted; }));
}

int TLumQBGridData::FindSortOrder(int order) const
{
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].SortOrder == order)
            return i;
    return -1;
}

void TLumQBGridData::CloseSortGap(int order)
{
    for (TLumQBGridRow& r : m_rows)
        if (r.SortOrder > order)
            --r.SortOrder;
}

void TLumQBGridData::OpenSortGap(int order)
{
    for (TLumQBGridRow& r : m_rows)
        if (r.SortOrder > 0 && r.SortOrder >= order)
            ++r.SortOrder;
}

void TLumQBGridData::SetSortType(int row, const QString& value)
{
    if (row < 0 || row >= m_rows.size())
        return;
    TLumQBGridRow& r = m_rows[row];
    if (r.Column == kStar && value != kUnsorted)
        return; // "*" is not a column that can be sorted
    if (value == kUnsorted) {
        if (r.SortOrder > 0)
            CloseSortGap(r.SortOrder);
        r.SortType = value;
        r.SortOrder = 0;
        return;
    }
    r.SortType = value;
    if (r.SortOrder == 0)
        r.SortOrder = std::max(SortedCount(), 1);
}

void TLumQBGridData::SetSortOrder(int row, const QString& value)
{
    if (row < 0 || row >= m_rows.size())
        return;
    TLumQBGridRow& r = m_rows[row];
    const int old = r.SortOrder;
    bool isNumber = false;
    int n = value.toInt(&isNumber);
    if (!isNumber || n <= 0) {
        if (value != kUnsorted)
            return;
        if (old > 0)
            CloseSortGap(old);
        r.SortOrder = 0;
        r.SortType = kUnsorted;
        return;
    }
    if (r.Column == kStar)
        return;
    // Keep the orders at 1..n: a number past the last free one is taken as the last.
    n = std::min(n, SortedCount() + (old == 0 ? 1 : 0));
    const int other = FindSortOrder(n);
    if (other >= 0 && other != row) {
        if (old > 0)
            m_rows[other].SortOrder = old;
        else
            OpenSortGap(n);
    }
    r.SortOrder = n;
    if (r.SortType == kUnsorted)
        r.SortType = QStringLiteral("Ascending");
}

void TLumQBGridData::SetGroupFunction(int row, const QString& value)
{
    if (m_useGroupBy && row >= 0 && row < m_rows.size())
        m_rows[row].GroupBy = value;
}

void TLumQBGridData::SetCaption(int row, const QString& value)
{
    if (row >= 0 && row < m_rows.size())
        m_rows[row].Caption = value;
}

void TLumQBGridData::SetOutput(int row, bool value)
{
    if (row >= 0 && row < m_rows.size())
        m_rows[row].Output = value;
}

void TLumQBGridData::SetCriteria(int row, const QString& value)
{
    if (row >= 0 && row < m_rows.size())
        m_rows[row].Criteria = value;
}
