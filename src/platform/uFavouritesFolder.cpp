#include "uFavouritesFolder.h"

#include "uXdgPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <sys/stat.h>

namespace platform {

bool IsWritableFolder(const QString& folder)
{
    if (!QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".Quillory-probe-XXXXXX")));
    return probe.open(); // removed again when probe goes
}

QString FavouritesFolder(const QString& executableFolder)
{
    if (IsWritableFolder(executableFolder))
        return executableFolder;
    const QString dataHome = XdgDataHome();
    if (dataHome.isEmpty() || !QDir().mkpath(dataHome))
        return executableFolder;
    const QString folder = QDir(dataHome).filePath(QStringLiteral("Quillory"));
    // mkdir with the mode itself, so the folder is never readable by others, not even briefly.
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
        return executableFolder;
    return IsWritableFolder(folder) ? folder : executableFolder;
}

} // namespace platform
