#pragma once

#include <QString>
#include <QStringList>

class TLumQBGridData;

// The field grid's columns and what the cell editor offers in each; the widget asks these
// rules each time it opens an editor, so they are tested without widgets.

enum TLumQBGridColumn
{
    gcIndicator = 0,
    gcTable = 1,
    gcColumn = 2,
    gcCaption = 3,
    gcOutput = 4,
    gcSortType = 5,
    gcSortOrder = 6,
    gcGroupBy = 7,
    gcCriteria = 8,
    gcColumnCount = 9
};

// Title and width at creation of a column; the Group By column is 80 wide only while grouping is on.
QString GridColumnTitle(int column);
int GridColumnWidth(int column, bool useGroupBy);

enum class TLumQBEditStyle
{
    None,         // no editor: the Output tick, the row indicator, the table and field names
    Text,         // free text
    PickList,     // a pick list; only its entries can be chosen
    PickListText, // a pick list; text may also be typed
};

struct TLumQBCellEditor
{
    TLumQBEditStyle Style = TLumQBEditStyle::None;
    QStringList PickList;
};

// The editor of a cell of field row `row` (0-based in the grid data). A row that does not
// exist (the blank row of an empty grid) gets none, and so does Group By while grouping is
// off. The "*" row offers "Unsorted" only, and "Count" only, which cannot be overtyped:
// any other function of "*" is not SQL.
TLumQBCellEditor GridCellEditor(const TLumQBGridData& grid, int row, int column);
