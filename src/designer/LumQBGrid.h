#pragma once

#include "LumQBDrag.h"
#include "LumQBModel.h"

#include <QAbstractTableModel>
#include <QPixmap>
#include <QPointer>
#include <QTableView>

class TLumQBWorkArea;

// The field grid's rows as a table model: one row per field row of the work area's grid
// data, or one blank row while there is none, and the nine columns with their titles.
// Read-only: the grid changes the rows through the work area, which reports every change.
class TLumQBGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TLumQBGridModel(QObject* parent = nullptr);

    void SetWorkArea(TLumQBWorkArea* workArea);
    const TLumQBGridData& Data() const;

    // The cell's text as the grid holds it: "Show" or empty for Output, "Unsorted" or the
    // order number for Sort Order; empty on the blank row.
    QString CellText(int column, int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // Follows a change of the rows: an appended or a removed row is told as such, so the
    // current cell and an open editor stay where they are; anything else resets.
    void RowsChanged();

    QPointer<TLumQBWorkArea> m_workArea;
    QList<QPair<QString, QString>> m_keys; // (table, field) of the rows shown
    QMetaObject::Connection m_watch;
};

// The field grid below the work area: one row per ticked field with its caption, output,
// sort, grouping function and criteria, edited in place (free text, or the pick lists of
// TLumQBInplaceEdit). Output is a tick toggled by a click or Space. Fields dragged from
// a table window of its own work area are ticked there and get their row.
//
// Rows are numbered from 0 here (the title row is the header). The rows live in the work
// area (see TLumQBWorkArea); without a work area the grid shows only its blank row and
// its operations do nothing.
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

    // The commits of the cell editor and the plain setters of a row.
    void SetSortType(int row, const QString& value);
    void SetSortOrder(int row, const QString& value);
    void SetGroupFunction(int row, const QString& value);
    void SetCaption(int row, const QString& value);
    void SetCriteria(int row, const QString& value);
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
    // One cell's edit of an existing row, through the work area.
    void EditRow(int row, void (TLumQBGridData::*setter)(int, const QString&), const QString& value);

    TLumQBGridModel* m_model;
    QPointer<TLumQBWorkArea> m_workArea;
    QMetaObject::Connection m_watch;
    QPixmap m_checked;
    QPixmap m_unchecked;
};
