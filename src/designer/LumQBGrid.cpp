#include "LumQBGrid.h"

#include "LumQBDocument.h"
#include "LumQBGridRules.h"
#include "LumQBInplaceEdit.h"
#include "LumQBTable.h"
#include "LumQBWorkArea.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

static void initDesignerResources()
{
    Q_INIT_RESOURCE(designer);
}

// ---------------------------------------------------------------------------------------
// The cell editor and the drawing of the cells

class TLumQBGridDelegate : public QStyledItemDelegate
{
public:
    explicit TLumQBGridDelegate(TLumQBGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        const int row = index.row();
        const int column = index.column();
        const TLumQBCellEditor kind = GridCellEditor(m_grid->Data(), row, column);
        TLumQBGrid* grid = m_grid;
        switch (kind.Style) {
        case TLumQBEditStyle::None:
            return nullptr;
        case TLumQBEditStyle::Text: {
            auto* edit = new QLineEdit(parent);
            edit->setObjectName(QStringLiteral("InplaceText"));
            edit->setFrame(false);
            // The text goes into the cell as it is typed.
            QObject::connect(edit, &QLineEdit::textEdited, grid,
                             [grid, row, column](const QString& text) { grid->SetCellText(column, row, text); });
            return edit;
        }
        case TLumQBEditStyle::PickList:
        case TLumQBEditStyle::PickListText: {
            auto* combo = new TLumQBInplaceEdit(parent);
            combo->SetPickList(kind.PickList, kind.Style == TLumQBEditStyle::PickListText);
            QObject::connect(combo, &TLumQBInplaceEdit::Committed, grid,
                             [this, grid, combo, row, column](const QString& value) {
                                 grid->CommitPick(column, row, value);
                                 // The editor shows the value the rules made of the choice.
                                 setEditorData(combo, grid->model()->index(row, column));
                             });
            QObject::connect(combo, &TLumQBInplaceEdit::TextTyped, grid,
                             [grid, row, column](const QString& text) { grid->SetCellText(column, row, text); });
            return combo;
        }
        }
        return nullptr;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        const QString text = m_grid->Cell(index.column(), index.row());
        if (auto* combo = qobject_cast<TLumQBInplaceEdit*>(editor)) {
            const int match = combo->findText(text);
            if (match >= 0)
                combo->setCurrentIndex(match);
            if (combo->isEditable() && combo->currentText() != text)
                combo->setEditText(text);
        } else if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
            if (edit->text() != text)
                edit->setText(text);
        }
    }

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        // Typed text and choices are in the cell already; a text set otherwise is taken here.
        if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
            if (edit->text() != m_grid->Cell(index.column(), index.row()))
                m_grid->SetCellText(index.column(), index.row(), edit->text());
        }
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        editor->setGeometry(option.rect);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int column = index.column();
        const bool real = index.row() < m_grid->Data().RowCount();
        if (column == gcIndicator) {
            painter->fillRect(option.rect, option.palette.button());
            if (real && m_grid->currentIndex().row() == index.row()) {
                // The row indicator: a small triangle pointing at the current row.
                const QRect r = option.rect;
                const int cy = r.center().y();
                const QPolygon arrow({QPoint(r.left() + 3, cy - 4), QPoint(r.left() + 7, cy), QPoint(r.left() + 3, cy + 4)});
                painter->save();
                painter->setRenderHint(QPainter::Antialiasing);
                painter->setPen(Qt::NoPen);
                painter->setBrush(option.palette.buttonText());
                painter->drawPolygon(arrow);
                painter->restore();
            }
            return;
        }
        if (column == gcOutput) {
            const bool selected = option.state & QStyle::State_Selected;
            painter->fillRect(option.rect, selected ? option.palette.highlight() : option.palette.base());
            if (real) {
                const QPixmap& tick =
                    m_grid->Cell(gcOutput, index.row()).isEmpty() ? m_grid->m_unchecked : m_grid->m_checked;
                const QSize size = tick.deviceIndependentSize().toSize();
                const QPoint at(option.rect.center().x() - size.width() / 2 + 1,
                                option.rect.center().y() - size.height() / 2 + 1);
                painter->drawPixmap(at, tick);
            }
            return;
        }
        if (column == gcTable || column == gcColumn ||
            (column == gcGroupBy && !m_grid->UseGroupBy() && !(option.state & QStyle::State_Selected))) {
            QStyleOptionViewItem plain(option);
            initStyleOption(&plain, index);
            painter->fillRect(option.rect, option.palette.button());
            plain.state &= ~QStyle::State_Selected;
            plain.backgroundBrush = option.palette.button();
            QStyledItemDelegate::paint(painter, plain, index);
            return;
        }
        QStyledItemDelegate::paint(painter, option, index);
    }

private:
    TLumQBGrid* m_grid;
};

// ---------------------------------------------------------------------------------------
// The grid

TLumQBGrid::TLumQBGrid(QWidget* parent) : QTableView(parent)
{
    initDesignerResources();
    setObjectName(QStringLiteral("LumQBGrid"));
    m_checked = QPixmap(QStringLiteral(":/QBCHECKED.png"));
    m_unchecked = QPixmap(QStringLiteral(":/QBUNCHECKED.png"));

    m_model = new TLumQBGridModel(this);
    setModel(m_model);
    setItemDelegate(new TLumQBGridDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setTabKeyNavigation(true);
    setWordWrap(false);
    setShowGrid(true);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(8);
    verticalHeader()->setDefaultSectionSize(16);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setMinimumSectionSize(8);
    ApplyColumnWidths();
}

TLumQBGrid::~TLumQBGrid() = default;

void TLumQBGrid::ApplyColumnWidths()
{
    for (int c = 0; c < gcColumnCount; ++c) {
        const int width = GridColumnWidth(c, true);
        if (columnWidth(c) != width)
            setColumnWidth(c, width);
    }
    // Width 0 while grouping is off: the column is there but takes no room.
    setColumnHidden(gcGroupBy, !UseGroupBy());
}

void TLumQBGrid::SetWorkArea(TLumQBWorkArea* workArea)
{
    if (m_workArea == workArea)
        return;
    disconnect(m_watch);
    m_workArea = workArea;
    m_model->SetDocument(workArea ? workArea->Document() : nullptr);
    if (workArea) {
        m_watch = connect(workArea, &TLumQBWorkArea::GridRowsChanged, this, [this](int currentRow) {
            setEnabled(true);
            // A restored diagram may switch grouping without this grid's own command.
            setColumnHidden(gcGroupBy, !UseGroupBy());
            if (currentRow >= 0 && currentRow < m_model->rowCount()) {
                const int column = currentIndex().isValid() ? currentIndex().column() : gcTable;
                setCurrentIndex(m_model->index(currentRow, column));
            }
            viewport()->update();
            Changed();
        });
        if (workArea->FieldGrid() != this)
            workArea->SetFieldGrid(this);
    }
    ApplyColumnWidths();
}

TLumQBDocument* TLumQBGrid::Document() const
{
    return m_workArea ? m_workArea->Document() : nullptr;
}

bool TLumQBGrid::UseGroupBy() const
{
    return Data().UseGroupBy();
}

void TLumQBGrid::SetUseGroupBy(bool value)
{
    if (TLumQBDocument* document = Document())
        document->SetUseGroupBy(value);
    ApplyColumnWidths();
}

int TLumQBGrid::AddField(const QString& field, const QString& table)
{
    TLumQBDocument* document = Document();
    if (!document)
        return -1;
    const int row = document->AddGridRow(field, table);
    const int column = currentIndex().isValid() ? currentIndex().column() : gcTable;
    setCurrentIndex(m_model->index(row, column));
    return row;
}

void TLumQBGrid::RemoveField(const QString& field, const QString& table)
{
    if (TLumQBDocument* document = Document())
        document->RemoveGridRow(field, table);
}

void TLumQBGrid::RemoveTable(const QString& table)
{
    if (TLumQBDocument* document = Document())
        document->RemoveGridRows(table);
}

void TLumQBGrid::SetCell(int column, int row, const QString& text)
{
    if (TLumQBDocument* document = Document())
        document->SetGridCell(row, column, text);
}

void TLumQBGrid::ToggleOutput(int row)
{
    SetCell(gcOutput, row, Cell(gcOutput, row).isEmpty() ? QStringLiteral("Show") : QString());
}

void TLumQBGrid::SetCellText(int column, int row, const QString& text)
{
    if (column != gcCaption && column != gcGroupBy && column != gcCriteria)
        return;
    SetCell(column, row, text);
    emit OnSetEditText(column, row, text);
}

void TLumQBGrid::CommitPick(int column, int row, const QString& value)
{
    if (column != gcSortType && column != gcSortOrder && column != gcGroupBy)
        return;
    SetCell(column, row, value);
    emit OnSetEditText(column, row, Cell(column, row));
}

void TLumQBGrid::Changed()
{
    emit OnChange();
}

void TLumQBGrid::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    QTableView::mousePressEvent(event);
    // Any button on an Output cell of a field row switches it.
    if (index.isValid() && index.column() == gcOutput && index.row() < Data().RowCount())
        ToggleOutput(index.row());
}

void TLumQBGrid::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex current = currentIndex();
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && current.isValid() &&
        current.column() == gcOutput && current.row() < Data().RowCount()) {
        ToggleOutput(current.row());
        return;
    }
    const bool editing = state() == QAbstractItemView::EditingState;
    QTableView::keyPressEvent(event);
    // A key passed on by the cell editor may have changed what is shown.
    if (editing)
        Changed();
}

void TLumQBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    // The row indicator follows the current row.
    if (previous.row() != current.row())
        viewport()->update();
}

bool TLumQBGrid::DraggedField(QWidget* source, TLumQBTable** table, int* index) const
{
    auto* list = qobject_cast<TLumQBFieldList*>(source);
    if (!list || !m_workArea)
        return false;
    TLumQBTable* owner = nullptr;
    for (QObject* p = list->parent(); p && !owner; p = p->parent())
        owner = qobject_cast<TLumQBTable*>(p);
    if (!owner || owner->WorkArea() != m_workArea || !owner->Data())
        return false;
    const int row = list->currentRow();
    if (row < 0 || row >= owner->Data()->Fields.size())
        return false;
    *table = owner;
    *index = row;
    return true;
}

bool TLumQBGrid::LumQBDragOver(QWidget* source, QPoint)
{
    TLumQBTable* table = nullptr;
    int index = -1;
    return DraggedField(source, &table, &index);
}

void TLumQBGrid::LumQBDragDrop(QWidget* source, QPoint)
{
    TLumQBTable* table = nullptr;
    int index = -1;
    if (!DraggedField(source, &table, &index))
        return;
    // Ticking adds the row; a field ticked already only gets its row selected. A drop on
    // the title row is taken the same way, so every ticked field has its row.
    const QString field = table->Data()->Fields[index];
    const QString name = table->Data()->TableName;
    if (!table->Data()->IsTicked(index))
        Document()->SetFieldTicked(table->Data(), index, true);
    AddField(field, name);
    setFocus();
}
