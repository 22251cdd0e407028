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

namespace {

// Folders the package manager owns (/usr/bin, /usr/local/bin): an installed copy keeps
// nothing there, not even when run by root, who can write them.
bool isSystemFolder(const QString& folder)
{
    const QString path = QFileInfo(folder).canonicalFilePath();
    for (const QLatin1String root : {QLatin1String("/usr"), QLatin1String("/bin"), QLatin1String("/sbin")})
        if (path == root || path.startsWith(root + QLatin1Char('/')))
            return true;
    return false;
}

} // namespace

QString FavouritesFolder(const QString& executableFolder)
{
    if (!isSystemFolder(executableFolder) && IsWritableFolder(executableFolder))
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
