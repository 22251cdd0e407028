#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>

class TLumQBDiagram;
class TLumQBGridData;

// Rules of the designer window that need no widget: where a table placed from the list by
// double-click or Enter lands, what the work area's hint says, and why Apply refuses.

// Position of the next table placed from the list. Every placement advances, even when the
// table is on the work area already (it is then only selected).
class TLumQBPlacement
{
public:
    // One step right, or a new row 150 lower once the left edge would pass the designer
    // window's width less 170; returns the new top-left corner.
    QPoint Advance(int windowWidth);
    int NextLeft() const { return m_nextLeft; }
    int NextTop() const { return m_nextTop; }

private:
    int m_nextLeft = 20 - 150;
    int m_nextTop = 20;
};

// The hint's caption for that many tables; from three tables on the caption stays as it was.
QString WorkAreaHintText(int tableCount, const QString& current);

// The text of the units Apply refuses with, or empty when the statement may be applied:
// no table; tables that are no end of any link (a self-link counts), in the order they
// were added; no field in the grid.
QStringList UnlinkedTables(const TLumQBDiagram& diagram);
QString ApplyRefusal(const TLumQBDiagram& diagram, const TLumQBGridData& grid);
