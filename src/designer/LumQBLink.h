#pragma once

#include "LumQBModel.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QRect>

class QAction;
class QMenu;
class QPainter;
class TLumQBDocument;
class TLumQBTable;
class TLumQBWorkArea;

// The line between two linked fields. It has no window of its own: the work area's
// canvas draws it under the table windows and passes it the presses that fall inside
// its hit band, so presses elsewhere in its bounds reach whatever lies beneath. A view of
// its link in the work area's document: it draws from the link's record and edits it
// through the document. Created by the work area when the document adds the link;
// removed by its menu or with a table's links.
class TLumQBLink : public QObject
{
    Q_OBJECT
public:
    TLumQBLink(TLumQBWorkArea* workArea, const TLumQBLinkData* data, TLumQBTable* table1,
               TLumQBTable* table2);

    // Null once the link has left the work area.
    const TLumQBLinkData* Data() const { return m_data; }
    TLumQBTable* Table1() const { return m_table1; }
    TLumQBTable* Table2() const { return m_table2; }
    QString Field1() const;
    QString Field2() const;
    int FieldIndex1() const;
    int FieldIndex2() const;
    int JoinOperator() const;
    TJoinKind JoinKind() const;
    int Arrangement() const { return m_arrangement; }
    int Slope() const { return m_slope; }
    // Bounds in work-area pixels; the polyline and the hit band in the link's own coordinates.
    QRect Geometry() const { return m_bounds; }
    QList<QPoint> Polyline() const { return m_polyline; }
    QList<QPoint> HitRegion() const { return m_hitRegion; }
    bool Selected() const { return m_selected; }
    QString Hint() const { return m_hint; }
    // Resource name of the join image now drawn ("QBINNERJOIN" ...).
    QString JoinImage() const;

    void SetSelected(bool value);
    // Raise "The field \"%s\" doesn't exists in table \"%s\"!" for "*" or a field not in the table.
    void SetField1(const QString& name);
    void SetField2(const QString& name);
    void UpdateHint();
    void UpdatePosition();
    void EditProperties();
    void RemoveLink();

    // True when a point of the canvas lies in the hit band.
    bool HitTest(QPoint canvasPos) const;
    // Draws the line and its join image on the canvas's painter.
    void Paint(QPainter& painter) const;
    // A press inside the band: select, fill the menu, ask the work area, show the menu.
    void MousePress(QPoint canvasPos, QPoint globalPos, Qt::MouseButton button = Qt::LeftButton);

    QMenu* Menu;
    QAction* miLinkName;
    QAction* miUnlink;
    QAction* miAllFromTable1;
    QAction* miAllFromTable2;
    QAction* miLinkOptions;

public slots:
    void miAllFromTable1Click();
    void miAllFromTable2Click();

protected:
    // The second press of a double-click lands on the menu the first one opened: it
    // closes the menu and opens the properties dialog.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TLumQBWorkArea;
    void Detach();
    void FillMenu();
    // The document the link edits; null once detached.
    TLumQBDocument* Document() const;

    TLumQBWorkArea* m_workArea;
    const TLumQBLinkData* m_data;
    TLumQBTable* m_table1;
    TLumQBTable* m_table2;
    int m_arrangement = 0;
    int m_slope = 1;
    QRect m_bounds{0, 0, 105, 105};
    QList<QPoint> m_polyline;
    QList<QPoint> m_hitRegion{{0, 0}, {15, 0}, {15, 15}, {0, 15}};
    bool m_selected = false;
    QString m_hint;
    QElapsedTimer m_menuShown;
};
