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
    m_document = new TLumQBDocument(this);
    m_canvas = new TLumQBCanvas(this);
    // Windows moved past an edge are clipped rather than scrolled to.
    setWidgetResizable(true);
    setWidget(m_canvas);
    Follow();
}

TLumQBWorkArea::~TLumQBWorkArea()
{
    m_destroying = true;
    disconnect(m_document, nullptr, this, nullptr);
    for (TLumQBTable* t : std::as_const(m_tables))
        t->Detach();
    for (TLumQBLink* l : std::as_const(m_links))
        l->Detach();
    m_tables.clear();
    m_links.clear();
    m_selected = nullptr;
}

void TLumQBWorkArea::Follow()
{
    using D = TLumQBDocument;
    connect(m_document, &D::TableAdded, this, &TLumQBWorkArea::ShowTable);
    connect(m_document, &D::TableAboutToBeRemoved, this, [this](const TLumQBTableData* table) {
        if (TLumQBTable* window = WindowOf(table))
            window->SetSelected(true);
        emit OnRemoveTable(table->TableName);
    });
    connect(m_document, &D::TableRemoved, this, &TLumQBWorkArea::DropTable);
    connect(m_document, &D::TableChanged, this, &TLumQBWorkArea::TableChanged);
    connect(m_document, &D::LinkAdded, this, &TLumQBWorkArea::ShowLink);
    connect(m_document, &D::LinkAboutToBeRemoved, this, [this](const TLumQBLinkData* l) {
        emit OnRemoveLink(l->Table1->TableName, l->Table2->TableName, l->Field1, l->Field2);
    });
    connect(m_document, &D::LinkRemoved, this, [this](const TLumQBLinkData* l) {
        if (TLumQBLink* link = ViewOf(l))
            DropLink(link);
        Change();
    });
    connect(m_document, &D::LinkChanged, this, &TLumQBWorkArea::LinkChanged);
    connect(m_document, &D::ClausesChanged, this, &TLumQBWorkArea::Change);
    // The grid makes an added row its current one.
    connect(m_document, &D::RowsInserted, this, [this](int, int last) { emit GridRowsChanged(last); });
    for (auto rowsChanged : {&D::RowsRemoved, &D::RowMoved, &D::RowsChanged})
        connect(m_document, rowsChanged, this, [this] { emit GridRowsChanged(-1); });
    connect(m_document, &D::GroupingChanged, this, [this] { emit GridRowsChanged(-1); });
    connect(m_document, &D::AboutToBeReset, this, &TLumQBWorkArea::DropAll);
    connect(m_document, &D::Reset, this, &TLumQBWorkArea::ShowAll);
}

QWidget* TLumQBWorkArea::Canvas() const
{
    return m_canvas;
}

void TLumQBWorkArea::SetOptionsClause(const QString& text)
{
    m_document->SetClauses(text, ClosingClause());
}

void TLumQBWorkArea::SetClosingClause(const QString& text)
{
    m_document->SetClauses(OptionsClause(), text);
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
        const int fieldCount = 1 + int(fields.size() - fields.count(QString())); // "*" first
        // A window as high as its fields need and as wide as its name, on the canvas's font.
        const QSize size(
            LumQBGeometry::FittedWidth(m_canvas->fontMetrics().horizontalAdvance(name),
                                       LumQBGeometry::kTableWidth),
            LumQBGeometry::FittedHeight(fieldCount, LumQBGeometry::kItemHeight, LumQBGeometry::kTableHeight));
        const TLumQBTableData* table =
            m_document->AddTable(name, fields, QRect(LumQBGeometry::CascadedPosition(drop, n), size));
        if (TLumQBTable* window = WindowOf(table))
            window->SetSelected(true);
    } catch (const ELumQBException& e) {
        ShowException(e);
    }
}

void TLumQBWorkArea::ShowTable(const TLumQBTableData* data)
{
    auto* table = new TLumQBTable(this, data);
    m_tables.insert(m_document->IndexOfTable(data), table);
    table->setGeometry(data->Geometry);
    table->show();
}

void TLumQBWorkArea::DropTable(const TLumQBTableData* data)
{
    TLumQBTable* table = WindowOf(data);
    if (!table)
        return;
    m_tables.removeOne(table);
    if (m_selected == table)
        m_selected = nullptr;
    const bool deleting = table->m_deleting;
    table->Detach();
    if (!deleting) {
        table->hide();
        // The window may be running one of its own commands (Close button, menu).
        table->deleteLater();
    }
    Change();
}

void TLumQBWorkArea::TableChanged(const TLumQBTableData* data, TLumQBDocument::TTablePart part)
{
    TLumQBTable* table = WindowOf(data);
    if (!table)
        return;
    switch (part) {
    case TLumQBDocument::tpGeometry:
        if (table->geometry() != data->Geometry)
            table->setGeometry(data->Geometry); // moving it brings its links along
        else
            UpdateLinkPositions(table);
        return;
    case TLumQBDocument::tpTicks:
        table->RefreshTicks();
        break;
    case TLumQBDocument::tpAlias:
        table->update();
        break;
    }
    Change();
}

TLumQBLink* TLumQBWorkArea::AddLink(TLumQBTable* table1, TLumQBTable* table2, int index1, int index2)
{
    if (FindLink(table1, table2, index1, index2) >= 0)
        throw ELumQBException(QStringLiteral("These tables are already linked!"));
    emit OnAddLink(table1->TableName(), table2->TableName(), table1->Data()->Fields.value(index1),
                   table2->Data()->Fields.value(index2));
    TLumQBLink* link = ViewOf(m_document->AddLink(table1->Data(), table2->Data(), index1, index2));
    link->SetSelected(true);
    return link;
}

void TLumQBWorkArea::ShowLink(const TLumQBLinkData* data)
{
    auto* link = new TLumQBLink(this, data, WindowOf(data->Table1), WindowOf(data->Table2));
    m_links.insert(m_document->IndexOfLink(data), link);
    link->UpdateHint();
    link->UpdatePosition();
    Change();
}

void TLumQBWorkArea::LinkChanged(const TLumQBLinkData* data)
{
    TLumQBLink* link = ViewOf(data);
    if (!link)
        return;
    link->UpdateHint();
    link->UpdatePosition();
    link->FillMenu();
    m_canvas->update();
    Change();
}

TLumQBTable* TLumQBWorkArea::WindowOf(const TLumQBTableData* table) const
{
    for (TLumQBTable* t : m_tables)
        if (t->Data() == table)
            return t;
    return nullptr;
}

TLumQBLink* TLumQBWorkArea::ViewOf(const TLumQBLinkData* link) const
{
    for (TLumQBLink* l : m_links)
        if (l->Data() == link)
            return l;
    return nullptr;
}

TLumQBTable* TLumQBWorkArea::FindTable(const QString& name) const
{
    return WindowOf(Diagram().FindTable(name));
}

TLumQBTable* TLumQBWorkArea::FindAlias(const QString& alias) const
{
    return WindowOf(Diagram().FindAlias(alias));
}

int TLumQBWorkArea::FindLink(const TLumQBTable* a, const TLumQBTable* b, int indexA, int indexB,
                             int start) const
{
    return a && b ? Diagram().FindLink(a->Data(), b->Data(), indexA, indexB, start) : -1;
}

void TLumQBWorkArea::UpdateLinkPositions(TLumQBTable* table)
{
    for (TLumQBLink* l : std::as_const(m_links))
        if (l->Table1() == table || l->Table2() == table)
            l->UpdatePosition();
}

void TLumQBWorkArea::DropLink(TLumQBLink* link)
{
    if (m_selected == link)
        m_selected = nullptr;
    m_links.removeOne(link);
    link->Detach();
    // The link may be running one of its own menu commands.
    link->deleteLater();
    m_canvas->update();
}

void TLumQBWorkArea::RemoveTableLinks(TLumQBTable* table)
{
    m_document->RemoveTableLinks(table->Data());
}

void TLumQBWorkArea::RemoveLink(TLumQBLink* link)
{
    if (m_links.contains(link))
        m_document->RemoveLink(link->Data());
}

void TLumQBWorkArea::RemoveTableWindow(TLumQBTable* table)
{
    if (!m_destroying && m_tables.contains(table))
        m_document->RemoveTable(table->Data());
}

void TLumQBWorkArea::DropAll()
{
    for (TLumQBLink* l : std::as_const(m_links)) {
        l->Detach();
        l->deleteLater();
    }
    for (TLumQBTable* t : std::as_const(m_tables)) {
        const bool deleting = t->m_deleting;
        t->Detach();
        if (!deleting) {
            t->hide();
            t->deleteLater();
        }
    }
    m_links.clear();
    m_tables.clear();
    m_selected = nullptr;
}

void TLumQBWorkArea::ShowAll()
{
    for (int i = 0; i < m_document->TableCount(); ++i) {
        auto* table = new TLumQBTable(this, m_document->Tables(i));
        m_tables.append(table);
        table->setGeometry(table->Data()->Geometry);
        table->show();
    }
    for (int i = 0; i < m_document->LinkCount(); ++i) {
        const TLumQBLinkData* data = m_document->Links(i);
        auto* link = new TLumQBLink(this, data, WindowOf(data->Table1), WindowOf(data->Table2));
        m_links.append(link);
        link->UpdateHint();
        link->UpdatePosition();
    }
    m_canvas->update();
    emit GridRowsChanged(-1);
    Change();
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
    return m_document->GetSQL(m_fieldGrid != nullptr, quote);
}

void TLumQBWorkArea::Clear()
{
    m_document->Clear();
}

QStringList TLumQBWorkArea::RestoreDesign(const TLumQBDesign& design)
{
    return m_document->Restore(design, [this](const QString& table) {
        QStringList fields;
        emit OnGetTableFields(table, fields);
        return fields;
    });
}
