#include "LumQBDocument.h"

#include "LumQBException.h"
#include "LumQBGeometry.h"
#include "LumQBGridRules.h"

#include <QHash>

#include <algorithm>

namespace {

const QString kUnsorted = QStringLiteral("Unsorted");

QRect AtLeastWindowSize(const QRect& geometry)
{
    return QRect(geometry.topLeft(), geometry.size().expandedTo(QSize(LumQBGeometry::kTableMinWidth,
                                                                      LumQBGeometry::kTableMinHeight)));
}

[[noreturn]] void FieldMissing(const QString& field, const QString& table)
{
    throw ELumQBException(
        QStringLiteral("The field \"%1\" doesn't exists in table \"%2\"!").arg(field, table));
}

} // namespace

TLumQBDocument::TLumQBDocument(QObject* parent) : QObject(parent) {}

TLumQBDocument::~TLumQBDocument() = default;

int TLumQBDocument::IndexOfTable(const TLumQBTableData* table) const
{
    for (int i = 0; i < m_diagram.TableCount(); ++i)
        if (m_diagram.Tables(i) == table)
            return i;
    return -1;
}

int TLumQBDocument::IndexOfLink(const TLumQBLinkData* link) const
{
    for (int i = 0; i < m_diagram.LinkCount(); ++i)
        if (m_diagram.Links(i) == link)
            return i;
    return -1;
}

TLumQBTableData* TLumQBDocument::Own(const TLumQBTableData* table) const
{
    const int i = IndexOfTable(table);
    if (i < 0)
        throw ELumQBException(QStringLiteral("The table \"%1\" is not on the work area!")
                                  .arg(table ? table->TableName : QString()));
    return m_diagram.Tables(i);
}

TLumQBLinkData* TLumQBDocument::Own(const TLumQBLinkData* link) const
{
    const int i = IndexOfLink(link);
    if (i < 0)
        throw ELumQBException(QStringLiteral("The link is not on the work area!"));
    return m_diagram.Links(i);
}

QStringList TLumQBDocument::GetSQL(bool withGrid, const TLumQBQuoteName& quote) const
{
    return ::GetSQL(m_diagram, withGrid ? &m_grid : nullptr, quote);
}

void TLumQBDocument::SetClauses(const QString& options, const QString& closing)
{
    if (m_diagram.OptionsClause == options && m_diagram.ClosingClause == closing)
        return;
    emit ClausesAboutToChange();
    m_diagram.OptionsClause = options;
    m_diagram.ClosingClause = closing;
    emit ClausesChanged();
}

const TLumQBTableData* TLumQBDocument::AddTable(const QString& name, const QStringList& fieldNames,
                                                const QRect& geometry)
{
    if (const TLumQBTableData* present = m_diagram.FindTable(name))
        return present;
    // The rules are checked on a scratch diagram, so a refused table sends no signal.
    TLumQBDiagram check;
    check.AddTable(name, fieldNames);
    emit TableAboutToBeAdded(m_diagram.TableCount());
    TLumQBTableData* table = m_diagram.AddTable(name, fieldNames);
    table->Geometry = AtLeastWindowSize(geometry);
    emit TableAdded(table);
    return table;
}

void TLumQBDocument::RemoveTable(const TLumQBTableData* table)
{
    Own(table);
    emit TableAboutToBeRemoved(table);
    RemoveTableLinks(table);
    RemoveGridRows(table->TableName);
    const std::unique_ptr<TLumQBTableData> taken = m_diagram.TakeTable(table);
    emit TableRemoved(taken.get());
}

void TLumQBDocument::SetTableAlias(const TLumQBTableData* table, const QString& alias)
{
    TLumQBTableData* own = Own(table);
    if (own->TableAlias == alias)
        return;
    if (const TLumQBTableData* other = m_diagram.FindAlias(alias); other && other != own)
        throw ELumQBException(QStringLiteral("The alias you entered already exists!"));
    emit TableAboutToChange(own, tpAlias);
    own->TableAlias = alias;
    emit TableChanged(own, tpAlias);
}

void TLumQBDocument::SetTableGeometry(const TLumQBTableData* table, const QRect& geometry)
{
    TLumQBTableData* own = Own(table);
    const QRect g = AtLeastWindowSize(geometry);
    if (own->Geometry == g)
        return;
    emit TableAboutToChange(own, tpGeometry);
    own->Geometry = g;
    emit TableChanged(own, tpGeometry);
}

void TLumQBDocument::SetFieldTicked(const TLumQBTableData* table, int index, bool ticked)
{
    TLumQBTableData* own = Own(table);
    if (index < 0 || index >= own->Fields.size())
        return;
    if (own->IsTicked(index) == ticked && (m_grid.FindRow(own->Fields[index], own->TableName) >= 0) == ticked)
        return;
    emit TableAboutToChange(own, tpTicks);
    own->SetTicked(index, ticked);
    if (ticked)
        AddGridRow(own->Fields[index], own->TableName);
    else
        RemoveGridRow(own->Fields[index], own->TableName);
    emit TableChanged(own, tpTicks);
}

void TLumQBDocument::SetAllFieldsTicked(const TLumQBTableData* table, bool ticked)
{
    TLumQBTableData* own = Own(table);
    emit TableAboutToChange(own, tpTicks);
    // Field by field, so that every ticked field has its row whenever a row signal goes out.
    for (int i = 0; i < own->Fields.size(); ++i) {
        own->SetTicked(i, ticked);
        if (ticked)
            AddGridRow(own->Fields[i], own->TableName);
        else
            RemoveGridRow(own->Fields[i], own->TableName);
    }
    emit TableChanged(own, tpTicks);
}

const TLumQBLinkData* TLumQBDocument::AddLink(const TLumQBTableData* table1, const TLumQBTableData* table2,
                                              int index1, int index2)
{
    TLumQBTableData* t1 = Own(table1);
    TLumQBTableData* t2 = Own(table2);
    if (m_diagram.FindLink(t1, t2, index1, index2) >= 0)
        throw ELumQBException(QStringLiteral("These tables are already linked!"));
    for (const auto& [t, i] : {std::pair{t1, index1}, std::pair{t2, index2}})
        if (i <= 0 || i >= t->Fields.size())
            FieldMissing(t->Fields.value(i), t->TableName);
    emit LinkAboutToBeAdded(m_diagram.LinkCount());
    TLumQBLinkData* link = m_diagram.AddLink(t1, t2, index1, index2);
    emit LinkAdded(link);
    return link;
}

void TLumQBDocument::RemoveLink(const TLumQBLinkData* link)
{
    Own(link);
    emit LinkAboutToBeRemoved(link);
    const std::unique_ptr<TLumQBLinkData> taken = m_diagram.TakeLink(link);
    emit LinkRemoved(taken.get());
}

void TLumQBDocument::RemoveTableLinks(const TLumQBTableData* table)
{
    Own(table);
    for (int i = m_diagram.LinkCount() - 1; i >= 0; --i)
        if (const TLumQBLinkData* l = m_diagram.Links(i); l->Table1 == table || l->Table2 == table)
            RemoveLink(l);
}

void TLumQBDocument::SetLinkField(const TLumQBLinkData* link, int end, const QString& field)
{
    TLumQBLinkData* own = Own(link);
    if (end != 1 && end != 2)
        throw ELumQBException(QStringLiteral("A link has no end %1").arg(end));
    const TLumQBTableData* table = end == 1 ? own->Table1 : own->Table2;
    const int index = table->IndexOfField(field);
    if (index <= 0)
        FieldMissing(field, table->TableName);
    QString& name = end == 1 ? own->Field1 : own->Field2;
    int& at = end == 1 ? own->FieldIndex1 : own->FieldIndex2;
    if (name == field && at == index)
        return;
    emit LinkAboutToChange(own, lpFields);
    name = field;
    at = index;
    emit LinkChanged(own, lpFields);
}

void TLumQBDocument::SetLinkJoin(const TLumQBLinkData* link, int joinOperator, TJoinKind kind)
{
    TLumQBLinkData* own = Own(link);
    JoinOperatorText(joinOperator); // refuses an operator outside 0..5
    if (kind < jkInner || kind > jkFullOuter)
        throw ELumQBException(QStringLiteral("Invalid join kind %1").arg(int(kind)));
    if (own->JoinOperator == joinOperator && own->JoinKind == kind)
        return;
    emit LinkAboutToChange(own, lpJoin);
    own->JoinOperator = joinOperator;
    own->JoinKind = kind;
    emit LinkChanged(own, lpJoin);
}

void TLumQBDocument::ToggleAllRowsFrom(const TLumQBLinkData* link, int end)
{
    const TLumQBLinkData* own = Own(link);
    if (end != 1 && end != 2)
        throw ELumQBException(QStringLiteral("A link has no end %1").arg(end));
    SetLinkJoin(own, own->JoinOperator, ToggledJoinKind(own->JoinKind, end));
}

int TLumQBDocument::AddGridRow(const QString& field, const QString& table)
{
    if (const int present = m_grid.FindRow(field, table); present >= 0)
        return present;
    const int row = m_grid.RowCount();
    emit RowsAboutToBeInserted(row, row);
    m_grid.AddField(field, table);
    emit RowsInserted(row, row);
    return row;
}

void TLumQBDocument::RemoveGridRow(const QString& fieldName, const QString& tableName)
{
    // Copies: the names may be the grid's own (RemoveGridRows passes them so), and the
    // unsorting below replaces the grid's rows.
    const QString field = fieldName;
    const QString table = tableName;
    const int row = m_grid.FindRow(field, table);
    if (row < 0)
        return;
    // Unsorting it first closes its gap in the sort orders, a change of other rows.
    if (m_grid.Row(row).SortOrder > 0)
        EditRows([row](TLumQBGridData& g) { g.SetSortType(row, kUnsorted); });
    emit RowsAboutToBeRemoved(row, row);
    m_grid.RemoveField(field, table);
    emit RowsRemoved(row, row);
}

void TLumQBDocument::RemoveGridRows(const QString& table)
{
    for (int i = m_grid.RowCount() - 1; i >= 0; --i)
        if (m_grid.Row(i).Table == table)
            RemoveGridRow(m_grid.Row(i).Column, table);
}

void TLumQBDocument::MoveGridRow(int from, int to)
{
    for (const int row : {from, to})
        if (row < 0 || row >= m_grid.RowCount())
            throw ELumQBException(QStringLiteral("Row %1 is not in the grid").arg(row));
    if (from == to)
        return;
    emit RowAboutToBeMoved(from, to);
    m_grid.MoveRow(from, to);
    emit RowMoved(from, to);
}

void TLumQBDocument::EditRows(const std::function<void(TLumQBGridData&)>& edit)
{
    TLumQBGridData after = m_grid;
    edit(after);
    int first = -1;
    int last = -1;
    for (int i = 0; i < m_grid.RowCount(); ++i)
        if (!(m_grid.Row(i) == after.Row(i))) {
            if (first < 0)
                first = i;
            last = i;
        }
    if (first < 0)
        return;
    emit RowsAboutToChange(first, last);
    m_grid = after;
    emit RowsChanged(first, last);
}

void TLumQBDocument::SetGridCell(int row, int column, const QString& text)
{
    using Setter = void (TLumQBGridData::*)(int, const QString&);
    static const QHash<int, Setter> setters{{gcCaption, &TLumQBGridData::SetCaption},
                                            {gcSortType, &TLumQBGridData::SetSortType},
                                            {gcSortOrder, &TLumQBGridData::SetSortOrder},
                                            {gcGroupBy, &TLumQBGridData::SetGroupFunction},
                                            {gcCriteria, &TLumQBGridData::SetCriteria}};
    const Setter setter = setters.value(column);
    if (!setter && column != gcOutput)
        throw ELumQBException(QStringLiteral("Column %1 of the grid cannot be set").arg(column));
    if (row < 0 || row >= m_grid.RowCount())
        return;
    EditRows([&](TLumQBGridData& g) {
        if (setter)
            (g.*setter)(row, text);
        else
            g.SetOutput(row, text == QLatin1String("Show"));
    });
}

void TLumQBDocument::SetUseGroupBy(bool value)
{
    emit GroupingAboutToChange(value);
    m_grid.SetUseGroupBy(value);
    emit GroupingChanged(value);
}

void TLumQBDocument::Clear()
{
    TLumQBDiagram oldDiagram;
    emit AboutToBeReset();
    std::swap(oldDiagram, m_diagram);
    m_grid = TLumQBGridData();
    emit Reset();
}

TLumQBDesign TLumQBDocument::Design() const
{
    TLumQBDesign design;
    for (int t = 0; t < m_diagram.TableCount(); ++t) {
        const TLumQBTableData* data = m_diagram.Tables(t);
        TLumQBDesignTable table{data->TableName, data->TableAlias, data->Geometry, {}};
        for (int i = 0; i < data->Fields.size(); ++i)
            if (data->IsTicked(i))
                table.Ticked << data->Fields[i];
        design.Tables << table;
    }
    for (int l = 0; l < m_diagram.LinkCount(); ++l) {
        const TLumQBLinkData* data = m_diagram.Links(l);
        design.Links << TLumQBDesignLink{data->Table1->TableAlias, data->Field1,
                                         data->Table2->TableAlias, data->Field2,
                                         data->JoinOperator,       data->JoinKind};
    }
    for (int i = 0; i < m_grid.RowCount(); ++i)
        design.Rows << m_grid.Row(i);
    design.UseGroupBy = m_grid.UseGroupBy();
    design.OptionsClause = m_diagram.OptionsClause;
    design.ClosingClause = m_diagram.ClosingClause;
    return design;
}

QStringList TLumQBDocument::Restore(const TLumQBDesign& design,
                                    const std::function<QStringList(const QString&)>& fieldsOf)
{
    // Built aside by the diagram's and the grid's own rules, then taken in one reset.
    TLumQBDiagram diagram;
    TLumQBGridData grid;
    QStringList missing;
    for (const TLumQBDesignTable& saved : design.Tables) {
        QStringList fields = fieldsOf ? fieldsOf(saved.Name) : QStringList();
        fields.removeAll(QString());
        if (fields.isEmpty() || diagram.FindTable(saved.Name)) {
            missing << saved.Name;
            continue;
        }
        TLumQBTableData* table = diagram.AddTable(saved.Name, fields);
        try {
            diagram.SetTableAlias(table, saved.Alias);
        } catch (const ELumQBException&) {
            // A clash can only come from a damaged text; the table keeps its new alias.
        }
        table->Geometry = AtLeastWindowSize(saved.Geometry);
        for (const QString& field : saved.Ticked) {
            const int index = table->IndexOfField(field);
            if (index < 0)
                missing << saved.Name + u'.' + field;
            else
                table->SetTicked(index, true);
        }
    }
    // Rows in their saved order; then the sort keys in their saved order.
    QList<std::tuple<int, int, QString>> sortKeys;
    for (const TLumQBGridRow& saved : design.Rows) {
        const TLumQBTableData* table = diagram.FindTable(saved.Table);
        const int index = table ? table->IndexOfField(saved.Column) : -1;
        if (!table || !table->IsTicked(index))
            continue;
        const int row = grid.AddField(table->Fields[index], saved.Table);
        grid.SetOutput(row, saved.Output);
        grid.SetCaption(row, saved.Caption);
        grid.SetCriteria(row, saved.Criteria);
        if (saved.SortOrder > 0 && saved.SortType != kUnsorted)
            sortKeys << std::tuple{saved.SortOrder, row, saved.SortType};
    }
    // A ticked field whose row the text lacks still gets one: the statement needs it.
    for (int t = 0; t < diagram.TableCount(); ++t)
        for (int i = 0; i < diagram.Tables(t)->Fields.size(); ++i)
            if (diagram.Tables(t)->IsTicked(i))
                grid.AddField(diagram.Tables(t)->Fields[i], diagram.Tables(t)->TableName);
    std::sort(sortKeys.begin(), sortKeys.end());
    for (const auto& [order, row, type] : sortKeys)
        grid.SetSortType(row, type);
    if (design.UseGroupBy) {
        grid.SetUseGroupBy(true);
        for (const TLumQBGridRow& saved : design.Rows)
            if (const int row = grid.FindRow(saved.Column, saved.Table); row >= 0 && !saved.GroupBy.isEmpty())
                grid.SetGroupFunction(row, saved.GroupBy);
    }
    for (const TLumQBDesignLink& saved : design.Links) {
        TLumQBTableData* t1 = diagram.FindAlias(saved.Alias1);
        TLumQBTableData* t2 = diagram.FindAlias(saved.Alias2);
        const int i1 = t1 ? t1->IndexOfField(saved.Field1) : -1;
        const int i2 = t2 ? t2->IndexOfField(saved.Field2) : -1;
        if (i1 <= 0 || i2 <= 0 || diagram.FindLink(t1, t2, i1, i2) >= 0)
            continue; // its table or field is already named as missing
        TLumQBLinkData* link = diagram.AddLink(t1, t2, i1, i2);
        link->JoinOperator = std::clamp(saved.JoinOperator, 0, 5);
        link->JoinKind = saved.JoinKind;
    }
    diagram.OptionsClause = design.OptionsClause;
    diagram.ClosingClause = design.ClosingClause;

    emit AboutToBeReset();
    std::swap(diagram, m_diagram);
    m_grid = grid;
    emit Reset();
    missing.removeDuplicates();
    return missing;
}
