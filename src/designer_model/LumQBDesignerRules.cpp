#include "LumQBDesignerRules.h"

#include "LumQBModel.h"

QPoint TLumQBPlacement::Advance(int windowWidth)
{
    if (m_nextLeft < windowWidth - 150 - 20) {
        m_nextLeft += 150;
    } else {
        m_nextLeft = 20;
        m_nextTop += 150;
    }
    return QPoint(m_nextLeft, m_nextTop);
}

QString WorkAreaHintText(int tableCount, const QString& current)
{
    switch (tableCount) {
    case 0:
        return QStringLiteral("Drag one of the tables on the left onto the query work area to start writing a query.");
    case 1:
        return QStringLiteral("Drag another table from the list if you want to join information from two tables.\r\n"
                              "Note that tables can be resized and repositioned.");
    case 2:
        return QStringLiteral(
            "Join tables by dragging from one field  name in one table to the matching field in another table ");
    default:
        return current;
    }
}

QStringList UnlinkedTables(const TLumQBDiagram& diagram)
{
    QStringList names;
    for (int t = 0; t < diagram.TableCount(); ++t) {
        const TLumQBTableData* table = diagram.Tables(t);
        bool linked = false;
        for (int l = 0; l < diagram.LinkCount() && !linked; ++l)
            linked = diagram.Links(l)->Table1 == table || diagram.Links(l)->Table2 == table;
        if (!linked)
            names << table->TableName;
    }
    return names;
}

QString ApplyRefusal(const TLumQBDiagram& diagram, const TLumQBGridData& grid)
{
    if (diagram.TableCount() == 0)
        return QStringLiteral("You need to select one or more tables");
    if (diagram.TableCount() > 1) {
        const QStringList unlinked = UnlinkedTables(diagram);
        if (!unlinked.isEmpty()) {
            QString text = QStringLiteral("Unlinked tables ");
            for (const QString& name : unlinked)
                text += name + QLatin1Char(' ');
            return text;
        }
    }
    if (grid.IsEmpty())
        return QStringLiteral("You need to select some fields");
    return QString();
}
