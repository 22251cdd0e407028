#pragma once

#include "LumQBDrag.h"
#include "LumQBGridModel.h"
#include "LumQBGridRules.h"
#include "LumQBModel.h"

#include <QPixmap>
#include <QPointer>
#include <QTableView>

class TLumQBDocument;
class TLumQBWorkArea;

// The field grid below the work area: one row per ticked field with its caption, output,
// sort, grouping function and criteria, edited in place (free text, or the pick lists of
// TLumQBInplaceEdit). Output is a tick toggled by a click or Space. Fields dragged from
// a table window of its own work area are ticked there and get their row.
//
// Rows are numbered from 0 here (the title row is the header). The rows live in the work
// area's document (see TLumQBDocument), which the grid's model follows and every edit
// goes to; without a work area the grid shows only its blank row and its operations do
// nothing.
class TLumQBGrid : public QTableView, public ILumQBDropTarget
{
    Q_OBJECT
public:
    explicit TLumQBGrid(QWidget* parent = nullptr);
    ~TLumQBGrid() override;

    // Also makes this the work area's field grid. Becomes null when the work area goes.
    TLumQBWorkArea* WorkArea() const { return m_workArea; }
    void SetWorkArea(TLumQBWorkArea* workArea);

    bool UseGroupBy() const;
    // Shows or hides the Group By column and fills or empties it.
    void SetUseGroupBy(bool value);

    const TLumQBGridData& Data() const { return m_model->Data(); }
    TLumQBGridModel* GridModel() const { return m_model; }
    QString Cell(int column, int row) const { return m_model->CellText(column, row); }
    bool IsEmpty() const { return Data().IsEmpty(); }
    int SortedCount() const { return Data().SortedCount(); }
    int FindSortOrder(int order) const { return Data().FindSortOrder(order); }
    int FindRow(const QString& field, const QString& table) const { return Data().FindRow(field, table); }

    // Adds the field's row at the end, or finds it; either way it becomes the current row.
    int AddField(const QString& field, const QString& table);
    void RemoveField(const QString& field, const QString& table);
    void RemoveTable(const QString& table);

    // A cell's text into the document (TLumQBDocument::SetGridCell): what the cell editor
    // commits, and what the setters of a row below do.
    void SetCell(int column, int row, const QString& text);
    void SetSortType(int row, const QString& value) { SetCell(gcSortType, row, value); }
    void SetSortOrder(int row, const QString& value) { SetCell(gcSortOrder, row, value); }
    void SetGroupFunction(int row, const QString& value) { SetCell(gcGroupBy, row, value); }
    void SetCaption(int row, const QString& value) { SetCell(gcCaption, row, value); }
    void SetCriteria(int row, const QString& value) { SetCell(gcCriteria, row, value); }
    void ToggleOutput(int row);

    // Raises OnChange.
    void Changed();

    bool LumQBDragOver(QWidget* source, QPoint pos) override;
    void LumQBDragDrop(QWidget* source, QPoint pos) override;

signals:
    // After every change of the rows.
    void OnChange();
    // The text of a cell was changed in its editor (typed, or chosen from a pick list).
    void OnSetEditText(int column, int row, const QString& text);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    friend class TLumQBGridDelegate;
    // Text typed into a Caption, Group By or Criteria cell, and a choice from a pick list.
    void SetCellText(int column, int row, const QString& text);
    void CommitPick(int column, int row, const QString& value);
    // The table window and field index a drag from source carries, if it is one of ours.
    bool DraggedField(QWidget* source, class TLumQBTable** table, int* index) const;
    void ApplyColumnWidths();
    TLumQBDocument* Document() const;

    TLumQBGridModel* m_model;
    QPointer<TLumQBWorkArea> m_workArea;
    QMetaObject::Connection m_watch;
    QPixmap m_checked;
    QPixmap m_unchecked;
};
