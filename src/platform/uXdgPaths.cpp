#include "uXdgPaths.h"

#include <QDir>

#include <pwd.h>
#include <unistd.h>

namespace platform {
namespace {
QString absoluteEnv(const char* name)
{
    const QString value = qEnvironmentVariable(name);
    return QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : QString();
}

QString underHome(const char* relative)
{
    const QString home = HomeFolder();
    return home.isEmpty() ? QString() : QDir::cleanPath(home + QLatin1Char('/') + QLatin1String(relative));
}
} // namespace

QString HomeFolder()
{
    const QString home = absoluteEnv("HOME");
    if (!home.isEmpty())
        return home;
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_dir)
        return QDir::cleanPath(QString::fromLocal8Bit(pw->pw_dir));
    return {};
}

QString XdgConfigHome()
{
    const QString value = absoluteEnv("XDG_CONFIG_HOME");
    return value.isEmpty() ? underHome(".config") : value;
}

QStringList XdgConfigDirs()
{
    QStringList dirs;
    for (const QString& dir :
         qEnvironmentVariable("XDG_CONFIG_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(dir))
            dirs << QDir::cleanPath(dir);
    return dirs.isEmpty() ? QStringList{QStringLiteral("/etc/xdg")} : dirs;
}

QString XdgDataHome()
{
    const QString value = absoluteEnv("XDG_DATA_HOME");
    return value.isEmpty() ? underHome(".local/share") : value;
}

} // namespace platform
