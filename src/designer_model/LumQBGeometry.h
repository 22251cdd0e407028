#pragma once

#include "LumQBModel.h"

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

#include <functional>

// Geometry of the designer's work area, free of widgets: where a table window goes and
// how big it starts, where a field's row lies, and how a link between two windows is
// placed, drawn and hit. All rectangles are outer window bounds in work-area pixels.
namespace LumQBGeometry {

// A table window's outer size at creation and its limits.
constexpr int kTableWidth = 127;
constexpr int kTableHeight = 163;
constexpr int kTableMinWidth = 50;
constexpr int kTableMinHeight = 24;
// The sizing frame around the client area and the caption band inside it.
constexpr int kFrame = 3;
constexpr int kCaptionHeight = 18;
constexpr int kItemHeight = 13;

// Tables dropped together are cascaded 20 pixels right and down: the n-th (from 0).
QPoint CascadedPosition(QPoint drop, int n);
// Height that shows every entry (capped at the current height), and a width wide enough for the caption.
int FittedHeight(int entries, int itemHeight, int currentHeight);
int FittedWidth(int captionTextWidth, int currentWidth);
// The caption shortened from its end until width(text) <= maxWidth.
QString ShortenFromEnd(const QString& text, int maxWidth, const std::function<int(const QString&)>& width);

// y of a field's row in the window's own coordinates: the middle of its list entry, but
// never lower than 10 pixels above the window's bottom. The list's scrolling is ignored.
int FieldRowY(int index, int itemHeight, int listTop, int windowHeight);

// Arrangement of two windows: 0 a window linked to itself, 1 Table1 left of Table2,
// 4 Table1 right of Table2, 2 and 3 overlapping horizontally (2: Table2's right edge is
// the greater). Slope 1 when Field1's row lies above Field2's, else 2.
struct TLinkPlacement
{
    int Arrangement = 0;
    int Slope = 1;
    QRect Bounds;
};

// Bounds of a link between window1 (row y1) and window2 (row y2), y in work-area pixels.
TLinkPlacement PlaceLink(const QRect& window1, int y1, const QRect& window2, int y2, bool selfLink);

// The four points of the line inside a link of size w x h.
QList<QPoint> LinkPolyline(int arrangement, int slope, bool selfLink, int w, int h);
// The band around the middle segment (points 1 and 2) that takes presses.
QList<QPoint> LinkHitBand(const QList<QPoint>& polyline);
bool BandContains(const QList<QPoint>& band, QPoint p);
// Top-left corner of the 16 x 16 join image: 8 pixels left of and above the middle segment's midpoint.
QPoint JoinImagePos(const QList<QPoint>& polyline);
// Resource name of the join image ("QBINNERJOIN" ...) by kind and arrangement.
QString JoinImageName(TJoinKind kind, int arrangement);

} // namespace LumQBGeometry
