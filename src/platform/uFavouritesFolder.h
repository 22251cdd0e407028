#pragma once

#include <QString>

namespace platform {

// True when a file can be made in folder. Tried rather than read from the mode bits: a
// read-only mount or an ACL refuses what the mode allows.
bool IsWritableFolder(const QString& folder);

// Where the favourites are kept: beside the executable when its folder can be written (a
// portable copy keeps them there) and is no system folder (under /usr, /bin, /sbin, where
// a package installs it), else $XDG_DATA_HOME/Quillory, made private (0700) when
// missing. When that cannot be made either, the executable's folder, so that the store
// reports the failed write instead of losing it somewhere else.
QString FavouritesFolder(const QString& executableFolder);

} // namespace platform
