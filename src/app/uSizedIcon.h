#pragma once

#include <QIcon>
#include <QList>
#include <QString>

// An icon from pictures drawn ahead at fixed sizes: resources of raw premultiplied ARGB32
// pixels named by pattern with %1 for the size (":/icons/quillory-%1.argb"), each taken
// when first asked for; any other size is scaled from the nearest larger picture. The window manager is offered the listed sizes: a
// window's icon is sent to it at every size the icon lists, the tray's own window
// included, at start.
QIcon SizedIcon(const QString& pattern, const QList<int>& drawnSizes, const QList<int>& listedSizes);
