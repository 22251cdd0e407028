#include "LumQBGridRules.h"

#include "LumQBModel.h"

QString GridColumnTitle(int column)
{
    static const char* const titles[gcColumnCount] = {
        "", "Table", "Column", "Caption/Alias", "Output", "Sort Type", "Sort Order", "Group By", "Criteria"};
    return column >= 0 && column < gcColumnCount ? QString::fromLatin1(titles[column]) : QString();
}

int GridColumnWidth(int column, bool useGroupBy)
{
    static const int widths[gcColumnCount] = {11, 100, 100, 64, 40, 80, 80, 80, 80};
    if (column == gcGroupBy && !useGroupBy)
        return 0;
    return column >= 0 && column < gcColumnCount ? widths[column] : 0;
}

TLumQBCellEditor GridCellEditor(const TLumQBGridData& grid, int row, int column)
{
    TLumQBCellEditor editor;
    if (row < 0 || row >= grid.RowCount())
        return editor;
    const TLumQBGridRow& r = grid.Row(row);
    const bool star = r.Column == QLatin1String("*");
    const QString unsorted = QStringLiteral("Unsorted");
    switch (column) {
    case gcCaption:
    case gcCriteria:
        editor.Style = TLumQBEditStyle::Text;
        break;
    case gcSortType:
        editor.Style = TLumQBEditStyle::PickList;
        editor.PickList = star ? QStringList{unsorted}
                               : QStringList{QStringLiteral("Ascending"), QStringLiteral("Descending"), unsorted};
        break;
    case gcSortOrder: {
        editor.Style = TLumQBEditStyle::PickList;
        if (star) {
            editor.PickList = QStringList{unsorted};
            break;
        }
        // An unsorted row may become the next sort key as well as take any present one.
        const int sorted = grid.SortedCount();
        const int k = sorted + (r.SortOrder == 0 ? 1 : 0);
        for (int n = k; n >= 1; --n)
            editor.PickList << QString::number(n);
        editor.PickList << unsorted;
        break;
    }
    case gcGroupBy:
        if (!grid.UseGroupBy())
            break;
        if (star) {
            editor.Style = TLumQBEditStyle::PickList;
            editor.PickList = QStringList{QStringLiteral("Count")};
        } else {
            editor.Style = TLumQBEditStyle::PickListText;
            editor.PickList = QStringList{QStringLiteral("Group By"), QStringLiteral("Count"), QStringLiteral("Sum"),
                                          QStringLiteral("Avg"),      QStringLiteral("Min"),   QStringLiteral("Max")};
        }
        break;
    default:
        break;
    }
    return editor;
}
