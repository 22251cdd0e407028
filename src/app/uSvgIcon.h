#pragma once

#include <QIcon>
#include <QString>

// An icon drawn from an SVG file at whatever size is asked for, when it is asked for.
// A window's icon is sent to the window manager at every size the icon lists, and the
// tray's own window takes the program's icon too: drawing eight sizes up to 256 pixels
// at start cost more than showing the tray icon itself.
QIcon SvgIcon(const QString& fileName);
