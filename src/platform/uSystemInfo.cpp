#include "uSystemInfo.h"

#include <QFile>
#include <QFileInfo>

#include <pwd.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace platform {
namespace {
// statfs f_type values of filesystems whose files live on another machine. FUSE is left
// out: it also carries local disks and the mounts that self-contained packages run from.
bool isNetworkFileSystem(unsigned long type)
{
    switch (type) {
    case 0x6969:     // NFS
    case 0x517B:     // SMB
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
    case 0x564C:     // NCP
    case 0x73757245: // Coda
    case 0x5346414F: // AFS (OpenAFS)
    case 0x6B414653: // AFS (kernel)
    case 0x00C36400: // Ceph
    case 0x01021997: // 9P / v9fs
    case 0x0BD00BD0: // Lustre
    case 0x47504653: // GPFS
    case 0x19830326: // FhGFS / BeeGFS
        return true;
    default:
        return false;
    }
}
} // namespace

QString LoggedOnUserName()
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    QByteArray buffer(size > 0 ? size : 16384, Qt::Uninitialized);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), size_t(buffer.size()), &found) == 0 && found &&
        found->pw_name)
        return QString::fromLocal8Bit(found->pw_name);
    return qEnvironmentVariable("USER");
}

QString ExecutablePath()
{
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QStringList CommandLineArguments()
{
    QFile file(QStringLiteral("/proc/self/cmdline"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> parts = file.readAll().split('\0');
    QStringList args;
    // Every argument ends in a NUL, so the split leaves one empty piece at the end.
    for (qsizetype i = 1; i + 1 < parts.size(); ++i)
        args << QString::fromLocal8Bit(parts[i]);
    return args;
}

bool IsFixedDrive(const QString& path)
{
    struct statfs info
    {
    };
    if (path.isEmpty() || statfs(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return !isNetworkFileSystem(static_cast<unsigned long>(info.f_type));
}

quint64 PhysicalMemoryBytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long size = sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? quint64(pages) * quint64(size) : 0;
}

} // namespace platform
