#pragma once

#include "LumQBDesignText.h"
#include "LumQBModel.h"
#include "LumQBSQL.h"

#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

// The designer's document: the diagram (tables with their aliases, places, sizes and
// ticks; links) and the field grid's rows. It is the only code that changes them; the
// work area, its table windows and links and the grid's item model are views that read
// it and follow its signals.
//
// Every operation checks its rules first: a refused one raises ELumQBException and
// changes nothing; one that would change nothing emits nothing. Otherwise it emits an
// "about to" signal while the old state still holds, changes the data, then the matching
// "done" signal. Operations that imply others (removing a table takes its links and grid
// rows with it) emit the pairs of those first, each complete, then their own.
//
// Pointers to tables and links stay valid until the "done" signal of their removal (or
// of a reset) has returned. Views hold them const; operations take them const and find
// the document's own record, refusing one that is not in this document.
class TLumQBDocument : public QObject
{
    Q_OBJECT
public:
    // What of a table or a link an edit changes.
    enum TTablePart
    {
        tpAlias,
        tpGeometry,
        tpTicks,
    };
    Q_ENUM(TTablePart)
    enum TLinkPart
    {
        lpFields,
        lpJoin,
    };
    Q_ENUM(TLinkPart)

    explicit TLumQBDocument(QObject* parent = nullptr);
    ~TLumQBDocument() override;

    const TLumQBDiagram& Diagram() const { return m_diagram; }
    const TLumQBGridData& Grid() const { return m_grid; }
    int TableCount() const { return m_diagram.TableCount(); }
    const TLumQBTableData* Tables(int index) const { return m_diagram.Tables(index); }
    int LinkCount() const { return m_diagram.LinkCount(); }
    const TLumQBLinkData* Links(int index) const { return m_diagram.Links(index); }
    int IndexOfTable(const TLumQBTableData* table) const;
    int IndexOfLink(const TLumQBLinkData* link) const;

    // The statement of the diagram and, when withGrid, of the grid's rows.
    QStringList GetSQL(bool withGrid, const TLumQBQuoteName& quote = {}) const;

    // --- the diagram

    // Text placed directly after "SELECT " and the statement's last line.
    void SetClauses(const QString& options, const QString& closing);

    // Adds a table with the field names a database reported, placed at geometry (grown
    // to the smallest size a window has). A table already present is returned unchanged.
    // Raises "Table \"%s\" doesn't have any fields!" when no field name is left.
    const TLumQBTableData* AddTable(const QString& name, const QStringList& fieldNames,
                                    const QRect& geometry);
    // Removes its links (the last first), its grid rows, then the table.
    void RemoveTable(const TLumQBTableData* table);
    // Raises "The alias you entered already exists!" when another table has it (in any case).
    void SetTableAlias(const TLumQBTableData* table, const QString& alias);
    // A window's place and size, grown to the smallest size a window has.
    void SetTableGeometry(const TLumQBTableData* table, const QRect& geometry);
    // Ticking gives the field its grid row at the end, unticking removes the row.
    // An index outside the field list changes nothing.
    void SetFieldTicked(const TLumQBTableData* table, int index, bool ticked);
    // Every field of the table ticked (rows added in field order), or none (rows removed).
    void SetAllFieldsTicked(const TLumQBTableData* table, bool ticked);

    // Links field index1 of table1 to field index2 of table2 as an inner join with "=".
    // The rules of TLumQBDiagram::AddLink.
    const TLumQBLinkData* AddLink(const TLumQBTableData* table1, const TLumQBTableData* table2, int index1,
                                  int index2);
    void RemoveLink(const TLumQBLinkData* link);
    // Removes every link of which the table is an end, the last first.
    void RemoveTableLinks(const TLumQBTableData* table);
    // Points end 1 or 2 at another field of its table (found without regard to case).
    // Raises the field error for "*" or a field the table does not have.
    void SetLinkField(const TLumQBLinkData* link, int end, const QString& field);
    // Raises "Invalid join operator %d" for an operator outside 0..5.
    void SetLinkJoin(const TLumQBLinkData* link, int joinOperator, TJoinKind kind);
    // Ticks or unticks "All rows from" end 1 or 2 (ToggledJoinKind); raises for another end.
    void ToggleAllRowsFrom(const TLumQBLinkData* link, int end);

    // --- the field grid's rows (0-based)

    // The field's row at the end, shown and unsorted; an existing row is returned as it is.
    int AddGridRow(const QString& field, const QString& table);
    void RemoveGridRow(const QString& field, const QString& table);
    // Every row of the table, the last first.
    void RemoveGridRows(const QString& table);
    // Moves a row so that it ends at index to. Raises "Row %d is not in the grid" for either
    // index outside the rows.
    void MoveGridRow(int from, int to);
    // A cell as the grid shows it: Caption, Group By and Criteria take any text; Output
    // "Show" or anything else for hidden; Sort Type and Sort Order by the grid's sorting
    // rules (TLumQBGridData). A row outside the rows changes nothing; the other columns
    // cannot be set and raise "Column %d of the grid cannot be set".
    void SetGridCell(int row, int column, const QString& text);
    // Turning it on gives every row "Group By" ("Count" for "*"); off empties the column.
    void SetUseGroupBy(bool value);

    // --- the whole

    // Empties the diagram and the grid, turns grouping off and forgets the clauses.
    void Clear();
    // The diagram and grid as kept with a query (without its statement).
    TLumQBDesign Design() const;
    // Replaces everything with a kept design. fieldsOf gives a table's field names as the
    // database has them now; tables it gives none for and fields a table no longer has
    // are left out, with the links and rows that use them, and their names ("Table" or
    // "Table.Field") are returned. One reset pair for the whole.
    QStringList Restore(const TLumQBDesign& design,
                        const std::function<QStringList(const QString&)>& fieldsOf);

signals:
    void TableAboutToBeAdded(int index);
    void TableAdded(const TLumQBTableData* table);
    void TableAboutToBeRemoved(const TLumQBTableData* table);
    void TableRemoved(const TLumQBTableData* table);
    void TableAboutToChange(const TLumQBTableData* table, TLumQBDocument::TTablePart part);
    void TableChanged(const TLumQBTableData* table, TLumQBDocument::TTablePart part);

    void LinkAboutToBeAdded(int index);
    void LinkAdded(const TLumQBLinkData* link);
    void LinkAboutToBeRemoved(const TLumQBLinkData* link);
    void LinkRemoved(const TLumQBLinkData* link);
    void LinkAboutToChange(const TLumQBLinkData* link, TLumQBDocument::TLinkPart part);
    void LinkChanged(const TLumQBLinkData* link, TLumQBDocument::TLinkPart part);

    void ClausesAboutToChange();
    void ClausesChanged();

    // Rows first..last (inclusive) of the grid.
    void RowsAboutToBeInserted(int first, int last);
    void RowsInserted(int first, int last);
    void RowsAboutToBeRemoved(int first, int last);
    void RowsRemoved(int first, int last);
    // to is the row's index after the move.
    void RowAboutToBeMoved(int from, int to);
    void RowMoved(int from, int to);
    // The cells of rows first..last are about to change / have changed (sort orders move
    // on other rows too).
    void RowsAboutToChange(int first, int last);
    void RowsChanged(int first, int last);
    void GroupingAboutToChange(bool useGroupBy);
    void GroupingChanged(bool useGroupBy);

    // Everything is about to be replaced (Clear, Restore) / has been.
    void AboutToBeReset();
    void Reset();

private:
    TLumQBTableData* Own(const TLumQBTableData* table) const;
    TLumQBLinkData* Own(const TLumQBLinkData* link) const;
    // Applies a grid edit to a copy and, only when cells differ, takes the copy between a
    // RowsAboutToChange / RowsChanged pair over the rows that differ.
    void EditRows(const std::function<void(TLumQBGridData&)>& edit);

    TLumQBDiagram m_diagram;
    TLumQBGridData m_grid;
};
