#include "LumQBWorkArea.h"

#include "LumQBDrag.h"
#include "LumQBException.h"
#include "LumQBGeometry.h"
#include "LumQBGrid.h"
#include "LumQBLink.h"
#include "LumQBSQL.h"
#include "LumQBTable.h"
#include "uErrorBox.h"

#include <QApplication>
#include <QHelpEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

// The join and tick images live in this static library; make sure they are linked in.
static void InitDesignerResources()
{
    Q_INIT_RESOURCE(designer);
}

// The scrolled widget: holds the table windows, draws the links beneath them, passes
// presses in a link's band to that link and takes table names dropped from the list.
class TLumQBCanvas : public QWidget, public ILumQBDropTarget
{
public:
    explicit TLumQBCanvas(TLumQBWorkArea* area) : QWidget(nullptr), m_area(area)
    {
        setObjectName(QStringLiteral("WorkAreaCanvas"));
        setAutoFillBackground(true);
        setBackgroundRole(QPalette::Base);
    }

    bool LumQBDragOver(QWidget* source, QPoint) override
    {
        return m_area->TableList() && source == m_area->TableList();
    }
    void LumQBDragDrop(QWidget*, QPoint pos) override { m_area->AddTables(pos.x(), pos.y()); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        for (TLumQBLink* link : std::as_const(m_area->m_links))
            link->Paint(p);
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        const QPoint pos = event->position().toPoint();
        if (TLumQBLink* link = m_area->LinkAt(pos)) {
            link->MousePress(pos, event->globalPosition().toPoint(), event->button());
            return;
        }
        m_area->ClearSelection();
        m_area->setFocus();
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        // As the link menu's Properties does; the press before it has selected the link.
        if (event->button() == Qt::LeftButton)
            if (TLumQBLink* link = m_area->LinkAt(event->position().toPoint()))
                link->EditProperties();
    }
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::ToolTip) {
            auto* help = static_cast<QHelpEvent*>(event);
            TLumQBLink* link = m_area->LinkAt(help->pos());
            if (link && !link->Hint().isEmpty())
                QToolTip::showText(help->globalPos(), link->Hint(), this);
            else
                QToolTip::hideText();
            return true;
        }
        return QWidget::event(event);
    }

private:
    TLumQBWorkArea* m_area;
};

TLumQBWorkArea::TLumQBWorkArea(QWidget* parent) : QScrollArea(parent)
{
    InitDesignerResources();
    setObjectName(QStringLiteral("workarea"));
    setFocusPolicy(Qt::StrongFocus);
    m_canvas = new TLumQBCanvas(this);
    // Windows moved past an edge are clipped rather than scrolled to.
    setWidgetResizable(true);
    setWidget(m_canvas);
}

TLumQBWorkArea::~TLumQBWorkArea()
{
    m_destroying = true;
    for (TLumQBTable* t : std::as_const(m_tables))
        t->Detach();
    for (TLumQBLink* l : std::as_const(m_links))
        l->Detach();
    m_tables.clear();
    m_links.clear();
    m_selected = nullptr;
}

QWidget* TLumQBWorkArea::Canvas() const
{
    return m_canvas;
}

void TLumQBWorkArea::SetOptionsClause(const QString& text)
{
    m_diagram.OptionsClause = text;
    Change();
}

void TLumQBWorkArea::SetClosingClause(const QString& text)
{
    m_diagram.ClosingClause = text;
    Change();
}

void TLumQBWorkArea::SetFieldGrid(QWidget* grid)
{
    m_fieldGrid = grid;
    // The grid shows this work area's rows only once it knows the work area too.
    if (auto* fieldGrid = qobject_cast<TLumQBGrid*>(grid); fieldGrid && fieldGrid->WorkArea() != this)
        fieldGrid->SetWorkArea(this);
}

void TLumQBWorkArea::SetTableList(QListWidget* list, int dragThreshold)
{
    m_tableList = list;
    if (list && !list->findChild<TLumQBDragSource*>(QString(), Qt::FindDirectChildrenOnly))
        new TLumQBDragSource(list, dragThreshold >= 0 ? dragThreshold : QApplication::startDragDistance());
}

void TLumQBWorkArea::AddTables(int x, int y, const QString& name)
{
    if (!name.isEmpty()) {
        AddOneTable(name, QPoint(x, y), 0);
    } else {
        if (!m_tableList)
            throw ELumQBException(QStringLiteral("Property TableList not assigned!"));
        int n = 0;
        for (int i = 0; i < m_tableList->count(); ++i)
            if (m_tableList->item(i)->isSelected())
                AddOneTable(m_tableList->item(i)->text(), QPoint(x, y), n++);
    }
    Change();
}

void TLumQBWorkArea::AddOneTable(const QString& name, QPoint drop, int n)
{
    if (TLumQBTable* present = FindTable(name)) {
        present->SetSelected(true);
        return;
    }
    emit OnAddTable(name);
    // The fields are asked for before anything is created, so a refused table leaves no trace.
    try {
        QStringList fields;
        emit OnGetTableFields(name, fields);
        TLumQBTableData* data = m_diagram.AddTable(name, fields);
        auto* table = new TLumQBTable(this, data);
        m_tables.append(table);
        table->SetSelected(true);
        table->move(LumQBGeometry::CascadedPosition(drop, n));
        const int height = LumQBGeometry::FittedHeight(int(data->Fields.size()), LumQBGeometry::kItemHeight,
                                                       table->height());
        const int width =
            LumQBGeometry::FittedWidth(table->fontMetrics().horizontalAdvance(name), table->width());
        table->resize(width, height);
        table->show();
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

TLumQBLink* TLumQBWorkArea::AddLink(TLumQBTable* table1, TLumQBTable* table2, int index1, int index2)
{
    if (FindLink(table1, table2, index1, index2) >= 0)
        throw ELumQBException(QStringLiteral("These tables are already linked!"));
    TLumQBTableData* d1 = table1->Data();
    TLumQBTableData* d2 = table2->Data();
    emit OnAddLink(table1->TableName(), table2->TableName(), d1->Fields.value(index1),
                   d2->Fields.value(index2));
    TLumQBLinkData* data = m_diagram.AddLink(d1, d2, index1, index2);
    auto* link = new TLumQBLink(this, data, table1, table2);
    m_links.append(link);
    link->UpdateHint();
    link->UpdatePosition();
    link->SetSelected(true);
    Change();
    return link;
}

TLumQBTable* TLumQBWorkArea::FindTable(const QString& name) const
{
    for (int i = int(m_tables.size()) - 1; i >= 0; --i)
        if (m_tables[i]->TableName() == name)
            return m_tables[i];
    return nullptr;
}

TLumQBTable* TLumQBWorkArea::FindAlias(const QString& alias) const
{
    for (int i = int(m_tables.size()) - 1; i >= 0; --i)
        if (m_tables[i]->TableAlias() == alias)
            return m_tables[i];
    return nullptr;
}

int TLumQBWorkArea::FindLink(const TLumQBTable* a, const TLumQBTable* b, int indexA, int indexB,
                             int start) const
{
    for (int i = std::max(start, 0); i < m_links.size(); ++i) {
        const TLumQBLink* l = m_links[i];
        if ((l->Table1() == a && l->FieldIndex1() == indexA && l->Table2() == b &&
             l->FieldIndex2() == indexB) ||
            (l->Table1() == b && l->FieldIndex1() == indexB && l->Table2() == a &&
             l->FieldIndex2() == indexA))
            return i;
    }
    return -1;
}

void TLumQBWorkArea::UpdateLinkPositions(TLumQBTable* table)
{
    for (TLumQBLink* l : std::as_const(m_links))
        if (l->Table1() == table || l->Table2() == table)
            l->UpdatePosition();
}

void TLumQBWorkArea::TakeLink(TLumQBLink* link)
{
    if (m_selected == link)
        m_selected = nullptr;
    m_links.removeOne(link);
    m_diagram.RemoveLink(link->Data());
    link->Detach();
    // The link may be running one of its own menu commands.
    link->deleteLater();
    m_canvas->update();
}

void TLumQBWorkArea::RemoveTableLinks(TLumQBTable* table)
{
    for (int i = int(m_links.size()) - 1; i >= 0; --i) {
        TLumQBLink* l = m_links[i];
        if (l->Table1() != table && l->Table2() != table)
            continue;
        emit OnRemoveLink(l->Table1()->TableName(), l->Table2()->TableName(), l->Field1(), l->Field2());
        TakeLink(l);
        Change();
    }
}

void TLumQBWorkArea::RemoveLink(TLumQBLink* link)
{
    if (!m_links.contains(link))
        return;
    emit OnRemoveLink(link->Table1()->TableName(), link->Table2()->TableName(), link->Field1(),
                      link->Field2());
    TakeLink(link);
    Change();
}

void TLumQBWorkArea::UnregisterTable(TLumQBTable* table)
{
    if (m_destroying || !m_tables.contains(table))
        return;
    const QString name = table->TableName();
    table->SetSelected(true);
    emit OnRemoveTable(name);
    RemoveTableLinks(table);
    m_tables.removeOne(table);
    if (m_selected == table)
        m_selected = nullptr;
    EditGrid([&](TLumQBGridData& g) { g.RemoveTable(name); });
    m_diagram.RemoveTable(table->Data());
    table->Detach();
    Change();
}

void TLumQBWorkArea::RemoveTableWindow(TLumQBTable* table)
{
    UnregisterTable(table);
    table->hide();
    // The window may be running one of its own commands (Close button, menu).
    table->deleteLater();
}

void TLumQBWorkArea::Select(QObject* object)
{
    ClearSelection();
    m_selected = object;
}

void TLumQBWorkArea::ClearSelection()
{
    for (TLumQBTable* t : std::as_const(m_tables))
        if (t->Selected()) {
            t->m_selected = false;
            t->update();
        }
    for (TLumQBLink* l : std::as_const(m_links))
        l->m_selected = false;
    m_selected = nullptr;
    m_canvas->update();
}

TLumQBLink* TLumQBWorkArea::LinkAt(QPoint canvasPos) const
{
    // The last link is drawn on top, so it is hit first.
    for (int i = int(m_links.size()) - 1; i >= 0; --i)
        if (m_links[i]->HitTest(canvasPos))
            return m_links[i];
    return nullptr;
}

void TLumQBWorkArea::Change()
{
    emit OnChange();
}

QStringList TLumQBWorkArea::GetSQL(const TLumQBQuoteName& quote) const
{
    return ::GetSQL(m_diagram, m_fieldGrid ? &m_grid : nullptr, quote);
}

void TLumQBWorkArea::SetTableAlias(TLumQBTable* table, const QString& alias)
{
    m_diagram.SetTableAlias(table->Data(), alias);
    table->update();
    Change();
}

void TLumQBWorkArea::SetFieldTicked(TLumQBTable* table, int index, bool ticked)
{
    TLumQBTableData* data = table->Data();
    if (!data || index < 0 || index >= data->Fields.size())
        return;
    data->SetTicked(index, ticked);
    if (ticked)
        GridAddField(data->Fields[index], data->TableName);
    else
        EditGrid([&](TLumQBGridData& g) { g.RemoveField(data->Fields[index], data->TableName); });
    table->RefreshTicks();
    Change();
}

void TLumQBWorkArea::SelectAllFields(TLumQBTable* table)
{
    TLumQBTableData* data = table->Data();
    if (!data)
        return;
    int last = -1;
    for (int i = 0; i < data->Fields.size(); ++i) {
        data->SetTicked(i, true);
        last = m_grid.AddField(data->Fields[i], data->TableName);
    }
    table->RefreshTicks();
    emit GridRowsChanged(last);
    Change();
}

void TLumQBWorkArea::SelectNoFields(TLumQBTable* table)
{
    TLumQBTableData* data = table->Data();
    if (!data)
        return;
    for (int i = 0; i < data->Fields.size(); ++i)
        data->SetTicked(i, false);
    table->RefreshTicks();
    EditGrid([&](TLumQBGridData& g) { g.RemoveTable(data->TableName); });
    Change();
}

void TLumQBWorkArea::SetLinkField(TLumQBLink* link, int end, const QString& name)
{
    TLumQBLinkData* data = link->Data();
    TLumQBTableData* table = end == 1 ? data->Table1 : data->Table2;
    const int index = table->IndexOfField(name);
    if (index <= 0)
        throw ELumQBException(
            QStringLiteral("The field \"%1\" doesn't exists in table \"%2\"!").arg(name, table->TableName));
    if (end == 1) {
        data->Field1 = name;
        data->FieldIndex1 = index;
    } else {
        data->Field2 = name;
        data->FieldIndex2 = index;
    }
    link->UpdateHint();
    link->UpdatePosition();
    Change();
}

void TLumQBWorkArea::SetLinkJoin(TLumQBLink* link, int joinOperator, TJoinKind kind)
{
    TLumQBLinkData* data = link->Data();
    JoinOperatorText(joinOperator); // refuses an operator outside 0..5
    data->JoinOperator = joinOperator;
    data->JoinKind = kind;
    link->UpdateHint();
    m_canvas->update();
    Change();
}

int TLumQBWorkArea::GridAddField(const QString& field, const QString& table)
{
    const int row = m_grid.AddField(field, table);
    emit GridRowsChanged(row);
    return row;
}

void TLumQBWorkArea::EditGrid(const std::function<void(TLumQBGridData&)>& edit)
{
    edit(m_grid);
    emit GridRowsChanged(-1);
}

void TLumQBWorkArea::Clear()
{
    while (!m_tables.isEmpty())
        RemoveTableWindow(m_tables.last());
}

TLumQBDesign TLumQBWorkArea::Design() const
{
    TLumQBDesign design;
    for (const TLumQBTable* t : m_tables) {
        const TLumQBTableData* data = t->Data();
        TLumQBDesignTable table{data->TableName, data->TableAlias, t->geometry(), {}};
        for (int i = 0; i < data->Fields.size(); ++i)
            if (data->IsTicked(i))
                table.Ticked << data->Fields[i];
        design.Tables << table;
    }
    for (const TLumQBLink* l : m_links) {
        const TLumQBLinkData* data = l->Data();
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

QStringList TLumQBWorkArea::RestoreDesign(const TLumQBDesign& design)
{
    Clear();
    QStringList missing;
    for (const TLumQBDesignTable& saved : design.Tables) {
        QStringList fields;
        emit OnGetTableFields(saved.Name, fields);
        fields.removeAll(QString());
        if (fields.isEmpty() || FindTable(saved.Name)) {
            missing << saved.Name;
            continue;
        }
        auto* table = new TLumQBTable(this, m_diagram.AddTable(saved.Name, fields));
        m_tables.append(table);
        try {
            m_diagram.SetTableAlias(table->Data(), saved.Alias);
        } catch (const ELumQBException&) {
            // A clash can only come from a damaged text; the table keeps its new alias.
        }
        table->setGeometry(saved.Geometry);
        for (const QString& field : saved.Ticked) {
            const int index = table->Data()->IndexOfField(field);
            if (index < 0)
                missing << saved.Name + u'.' + field;
            else
                table->Data()->SetTicked(index, true);
        }
        table->RefreshTicks();
        table->show();
    }
    // Rows in their saved order; then the sort keys in their saved order.
    QList<std::tuple<int, int, QString>> sortKeys;
    for (const TLumQBGridRow& saved : design.Rows) {
        const TLumQBTable* table = FindTable(saved.Table);
        if (!table || !table->Data()->IsTicked(table->Data()->IndexOfField(saved.Column)))
            continue;
        const int row =
            m_grid.AddField(table->Data()->Fields[table->Data()->IndexOfField(saved.Column)], saved.Table);
        m_grid.SetOutput(row, saved.Output);
        m_grid.SetCaption(row, saved.Caption);
        m_grid.SetCriteria(row, saved.Criteria);
        if (saved.SortOrder > 0 && saved.SortType != QLatin1String("Unsorted"))
            sortKeys << std::tuple{saved.SortOrder, row, saved.SortType};
    }
    std::sort(sortKeys.begin(), sortKeys.end());
    for (const auto& [order, row, type] : sortKeys)
        m_grid.SetSortType(row, type);
    if (design.UseGroupBy) {
        m_grid.SetUseGroupBy(true);
        for (const TLumQBGridRow& saved : design.Rows)
            if (const int row = m_grid.FindRow(saved.Column, saved.Table);
                row >= 0 && !saved.GroupBy.isEmpty())
                m_grid.SetGroupFunction(row, saved.GroupBy);
    }
    for (const TLumQBDesignLink& saved : design.Links) {
        TLumQBTable* t1 = FindAlias(saved.Alias1);
        TLumQBTable* t2 = FindAlias(saved.Alias2);
        const int i1 = t1 ? t1->Data()->IndexOfField(saved.Field1) : -1;
        const int i2 = t2 ? t2->Data()->IndexOfField(saved.Field2) : -1;
        if (i1 <= 0 || i2 <= 0 || FindLink(t1, t2, i1, i2) >= 0)
            continue; // its table or field is already named as missing
        TLumQBLinkData* data = m_diagram.AddLink(t1->Data(), t2->Data(), i1, i2);
        data->JoinOperator = saved.JoinOperator;
        data->JoinKind = saved.JoinKind;
        auto* link = new TLumQBLink(this, data, t1, t2);
        m_links.append(link);
        link->UpdateHint();
        link->UpdatePosition();
    }
    m_diagram.OptionsClause = design.OptionsClause;
    m_diagram.ClosingClause = design.ClosingClause;
    m_canvas->update();
    emit GridRowsChanged(-1);
    Change();
    missing.removeDuplicates();
    return missing;
}
