#include "LumQBGeometry.h"

#include <algorithm>
#include <cstdlib>

namespace LumQBGeometry {

namespace {
constexpr int kLinkStub = 15; // horizontal run of a line outside a window's edge
constexpr int kRowMargin = 7; // vertical room above and below the rows in a link
} // namespace

QPoint CascadedPosition(QPoint drop, int n)
{
    return drop + QPoint(20 * n, 20 * n);
}

int FittedHeight(int entries, int itemHeight, int currentHeight)
{
    return std::min(entries * itemHeight + 28, currentHeight);
}

int FittedWidth(int captionTextWidth, int currentWidth)
{
    const int needed = captionTextWidth + 34;
    return currentWidth < needed ? needed : currentWidth;
}

QString ShortenFromEnd(const QString& text, int maxWidth, const std::function<int(const QString&)>& width)
{
    QString s = text;
    while (!s.isEmpty() && width(s) > maxWidth)
        s.chop(1);
    return s;
}

int FieldRowY(int index, int itemHeight, int listTop, int windowHeight)
{
    return std::min(windowHeight - 10, index * itemHeight + listTop + itemHeight / 2 + 1);
}

TLinkPlacement PlaceLink(const QRect& window1, int y1, const QRect& window2, int y2, bool selfLink)
{
    // QRect::right() is one short of left + width; the rules use left + width.
    const int l1 = window1.left(), r1 = window1.left() + window1.width();
    const int l2 = window2.left(), r2 = window2.left() + window2.width();
    TLinkPlacement p;
    int x0 = 0, x1 = 0;
    if (selfLink) {
        p.Arrangement = 0;
        x0 = r1;
        x1 = r1 + kLinkStub;
    } else if (l1 < l2 && r1 + kLinkStub < l2) {
        p.Arrangement = 1;
        x0 = r1;
        x1 = l2;
    } else if (l1 >= l2 && l1 >= r2 + kLinkStub) {
        p.Arrangement = 4;
        x0 = r2;
        x1 = l1;
    } else {
        if (r2 != r1)
            p.Arrangement = r2 > r1 ? 2 : 3;
        else
            p.Arrangement = l1 < l2 ? 2 : 3;
        x0 = std::min(r1, r2);
        x1 = std::max(r1, r2) + kLinkStub;
    }
    p.Slope = y1 < y2 ? 1 : 2;
    const int top = std::min(y1, y2) - kRowMargin;
    const int bottom = std::max(y1, y2) + kRowMargin;
    p.Bounds = QRect(x0, top, x1 - x0, bottom - top);
    return p;
}

QList<QPoint> LinkPolyline(int arrangement, int slope, bool selfLink, int w, int h)
{
    const int t = kRowMargin, b = h - kRowMargin;
    if (selfLink)
        return {{0, t}, {10, t}, {10, b}, {0, b}};
    if ((arrangement == 1 && slope == 1) || (arrangement == 4 && slope == 2))
        return {{0, t}, {15, t}, {w - 15, b}, {w, b}};
    if ((arrangement == 4 && slope == 1) || (arrangement == 1 && slope == 2))
        return {{w, t}, {w - 15, t}, {15, b}, {0, b}};
    if (w < 28)
        return {{0, t}, {w - 12, t}, {w - 12, b}, {0, b}};
    if ((arrangement == 2 && slope == 1) || (arrangement == 3 && slope == 2))
        return {{0, t}, {15, t}, {w - 5, b}, {w - 15, b}};
    return {{w - 15, t}, {w - 5, t}, {15, b}, {0, b}};
}

QList<QPoint> LinkHitBand(const QList<QPoint>& polyline)
{
    const QPoint a = polyline.at(1), b = polyline.at(2);
    return {{a.x() + 5, a.y() - 5}, {a.x() - 5, a.y() + 5}, {b.x() - 5, b.y() + 5}, {b.x() + 5, b.y() - 5}};
}

bool BandContains(const QList<QPoint>& band, QPoint p)
{
    // Even-odd crossing test; points on the edges count as inside, as a region's do.
    const int n = int(band.size());
    for (int i = 0, j = n - 1; i < n; j = i++) {
        const QPoint a = band[j], b = band[i];
        const long long cross =
            (long long)(b.x() - a.x()) * (p.y() - a.y()) - (long long)(b.y() - a.y()) * (p.x() - a.x());
        if (cross == 0 && p.x() >= std::min(a.x(), b.x()) && p.x() <= std::max(a.x(), b.x()) &&
            p.y() >= std::min(a.y(), b.y()) && p.y() <= std::max(a.y(), b.y()))
            return true;
    }
    bool inside = false;
    for (int i = 0, j = n - 1; i < n; j = i++) {
        const QPoint a = band[j], b = band[i];
        if ((a.y() > p.y()) != (b.y() > p.y())) {
            const double x = a.x() + double(p.y() - a.y()) * (b.x() - a.x()) / double(b.y() - a.y());
            if (p.x() < x)
                inside = !inside;
        }
    }
    return inside;
}

QPoint JoinImagePos(const QList<QPoint>& polyline)
{
    const QPoint a = polyline.at(1), b = polyline.at(2);
    const int mx = std::min(a.x(), b.x()) + std::abs(a.x() - b.x()) / 2;
    const int my = std::min(a.y(), b.y()) + std::abs(a.y() - b.y()) / 2;
    return {mx - 8, my - 8};
}

QString JoinImageName(TJoinKind kind, int arrangement)
{
    const bool leftToRight = arrangement == 1 || arrangement == 2;
    switch (kind) {
    case jkLeftOuter:
        return leftToRight ? QStringLiteral("QBLEFTOUTER") : QStringLiteral("QBRIGHTOUTER");
    case jkRightOuter:
        return leftToRight ? QStringLiteral("QBRIGHTOUTER") : QStringLiteral("QBLEFTOUTER");
    case jkFullOuter:
        return QStringLiteral("QBFULLOUTER");
    case jkInner:
        break;
    }
    return QStringLiteral("QBINNERJOIN");
}

} // namespace LumQBGeometry
