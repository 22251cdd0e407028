#pragma once

#include <QString>
#include <QStringList>

// The XDG base folders, read from the environment each time (tests change it).
// Relative values are ignored, as the XDG rules ask.
namespace platform {

// The user's home: $HOME, else the password database's entry; empty when neither is known.
QString HomeFolder();
// $XDG_CONFIG_HOME, default ~/.config; empty when there is no home either.
QString XdgConfigHome();
// $XDG_CONFIG_DIRS split at ":", default /etc/xdg.
QStringList XdgConfigDirs();
// $XDG_DATA_HOME, default ~/.local/share; empty when there is no home either.
QString XdgDataHome();

} // namespace platform
