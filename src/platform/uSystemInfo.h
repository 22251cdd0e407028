#pragma once

#include <QString>
#include <QStringList>

// Facts about the running process and the machine that the Windows program took from
// the system: who is logged on, where the executable is, its command line, drive types.
namespace platform {

// The name of the effective user (password database), else $USER; empty when unknown.
QString LoggedOnUserName();
// The running executable's full path (/proc/self/exe).
QString ExecutablePath();
// The command-line arguments of this process, without the program itself.
QStringList CommandLineArguments();
// True when path (a file or folder) lies on a local filesystem. Network filesystems
// (NFS, SMB/CIFS, AFS, Ceph, 9P ...) and paths that cannot be examined are not fixed.
bool IsFixedDrive(const QString& path);
// The machine's physical memory in bytes; 0 when unknown.
quint64 PhysicalMemoryBytes();

} // namespace platform
