#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// Plain data of the query designer: the diagram (tables with aliases and ticked fields,
// links between fields) and the field grid's rows. The widgets hold and draw this; the
// statement generator reads it. Nothing here knows about databases or widgets.

enum TJoinKind
{
    jkInner = 0,
    jkLeftOuter = 1,
    jkRightOuter = 2,
    jkFullOuter = 3
};

// The kind that shows all rows of the first table (allFrom1), the second, both or neither.
TJoinKind JoinKindOf(bool allFrom1, bool allFrom2);
// The kind after "All rows from" end 1 or 2 is ticked or unticked.
TJoinKind ToggledJoinKind(TJoinKind kind, int end);

// "=", "<", ">", "<=", ">=", "<>" for 0..5; raises ELumQBException for anything else.
QString JoinOperatorText(int joinOperator);

// One table of the diagram. Fields holds "*" first, then the field names in the table's
// column order; Ticked runs parallel to it.
struct TLumQBTableData
{
    QString TableName;
    QString TableAlias;
    QStringList Fields;
    QList<bool> Ticked;
    // The table window's place and size in work-area pixels.
    QRect Geometry;

    // Index of a field, compared without regard to case as a link's field lookup does; -1 if absent.
    int IndexOfField(const QString& name) const;
    bool IsTicked(int index) const { return index >= 0 && index < Ticked.size() && Ticked[index]; }
    void SetTicked(int index, bool ticked);
};

// One join condition between a field of Table1 and a field of Table2 (both may be the
// same table). The tables are owned by the diagram that owns the link.
struct TLumQBLinkData
{
    TLumQBTableData* Table1 = nullptr;
    TLumQBTableData* Table2 = nullptr;
    QString Field1;
    QString Field2;
    int FieldIndex1 = -1;
    int FieldIndex2 = -1;
    int JoinOperator = 0;
    TJoinKind JoinKind = jkInner;
};

// The work area's content. Owns its tables and links; pointers to them stay valid until
// they are removed. Edits that break the rules raise ELumQBException and change nothing.
class TLumQBDiagram
{
public:
    // Text placed directly after "SELECT " and the statement's last line when not empty.
    QString OptionsClause;
    QString ClosingClause;

    int TableCount() const { return int(m_tables.size()); }
    TLumQBTableData* Tables(int index) const { return m_tables.at(index).get(); }
    int LinkCount() const { return int(m_links.size()); }
    TLumQBLinkData* Links(int index) const { return m_links.at(index).get(); }

    // Searched from the last table to the first; nullptr if none. Names are compared
    // case-sensitively, aliases without regard to case.
    TLumQBTableData* FindTable(const QString& name) const;
    TLumQBTableData* FindAlias(const QString& alias) const;

    // The alias a new table of that name gets: its first (whole) character, else that character
    // followed by the smallest free number 1..255, else "#ERROR".
    QString NewAlias(const QString& tableName) const;

    // Adds a table with the field names a database reported ("*" is put first, empty
    // names dropped). A table already present is returned unchanged. Raises
    // "Table \"%s\" doesn't have any fields!" when no field name is left.
    TLumQBTableData* AddTable(const QString& name, const QStringList& fieldNames);

    // Removes a table and every link of which it is an end (the grid's rows are the caller's).
    void RemoveTable(TLumQBTableData* table);

    // Renames a table's alias; raises "The alias you entered already exists!" when another
    // table has it. Any text is accepted, the empty text included.
    void SetTableAlias(TLumQBTableData* table, const QString& alias);

    // Links field index1 of table1 to field index2 of table2 as an inner join with "=".
    // Raises "These tables are already linked!" when the same two fields are linked in
    // either direction, and "The field \"%s\" doesn't exists in table \"%s\"!" for "*"
    // or an index outside the field list.
    TLumQBLinkData* AddLink(TLumQBTableData* table1, TLumQBTableData* table2, int index1, int index2);

    // Index of the first link from position start that joins the same two fields in either direction, or -1.
    int FindLink(const TLumQBTableData* a, const TLumQBTableData* b, int indexA, int indexB,
                 int start = 0) const;

    void RemoveLink(TLumQBLinkData* link);
    // Takes a link or a table out of the diagram without destroying it (a table's links
    // must be gone first); null when it is not in the diagram.
    std::unique_ptr<TLumQBLinkData> TakeLink(const TLumQBLinkData* link);
    std::unique_ptr<TLumQBTableData> TakeTable(const TLumQBTableData* table);
    // Removes every link of which the table is an end, the last first.
    void RemoveTableLinks(const TLumQBTableData* table);

private:
    std::vector<std::unique_ptr<TLumQBTableData>> m_tables;
    std::vector<std::unique_ptr<TLumQBLinkData>> m_links;
};

// One field row of the field grid. SortOrder 0 stands for the grid's "Unsorted".
struct TLumQBGridRow
{
    QString Table;
    QString Column;
    QString Caption;
    bool Output = true;
    QString SortType = QStringLiteral("Unsorted");
    int SortOrder = 0;
    QString GroupBy;
    QString Criteria;

    bool operator==(const TLumQBGridRow&) const = default;
};

// The field grid's rows and sort-order bookkeeping. Rows are 0-based here; the grid
// widget shows them below its title row and shows one blank row while this is empty.
// Kept invariants: a (table, field) pair has at most one row; the sorted rows carry the
// orders 1..n; an unsorted row has order 0; the "*" row is never sorted.
class TLumQBGridData
{
public:
    bool UseGroupBy() const { return m_useGroupBy; }
    // Turning it on gives every row "Group By" ("Count" and no caption for "*"); off empties the column.
    void SetUseGroupBy(bool value);

    int RowCount() const { return int(m_rows.size()); }
    const TLumQBGridRow& Row(int row) const { return m_rows.at(row); }
    bool IsEmpty() const { return m_rows.isEmpty(); }

    // Row of that field of that table (case-sensitive), or -1.
    int FindRow(const QString& field, const QString& table) const;
    // Adds the field's row at the end (shown, unsorted) or returns the existing one.
    int AddField(const QString& field, const QString& table);
    void RemoveField(const QString& field, const QString& table);
    void RemoveTable(const QString& table);
    // Moves a row so that it ends at index to; indexes outside the rows change nothing.
    void MoveRow(int from, int to);

    int SortedCount() const;
    int FindSortOrder(int order) const;
    void CloseSortGap(int order);
    void OpenSortGap(int order);

    // "Ascending", "Descending" or "Unsorted"; a newly sorted row becomes the last sort key.
    void SetSortType(int row, const QString& value);
    // A number as text or "Unsorted"; a number held by another row swaps with this row's
    // old number, or opens a gap when this row had none.
    void SetSortOrder(int row, const QString& value);
    // Only while UseGroupBy is on.
    void SetGroupFunction(int row, const QString& value);
    void SetCaption(int row, const QString& value);
    void SetOutput(int row, bool value);
    void SetCriteria(int row, const QString& value);

private:
    QList<TLumQBGridRow> m_rows;
    bool m_useGroupBy = false;
};
