#include "uShellOpen.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace platform {
namespace {
// A file the kernel can run: the execute bit and an ELF or "#!" start. A document that
// merely carries the bit (common on FAT and SMB mounts) is opened, not run.
bool isProgram(const QFileInfo& info)
{
    if (!info.isFile() || !info.isExecutable())
        return false;
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(4);
    return head.startsWith("#!") || head == "\x7F"
                                            "ELF";
}

bool looksLikeUrl(const QString& text)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    return scheme.match(text).hasMatch();
}

int startProgram(const QString& program, const QString& parameters, const QString& folder)
{
    return QProcess::startDetached(program, QProcess::splitCommand(parameters), folder) ? kShellSuccess
                                                                                        : kShellBadExecutable;
}

// xdg-open returns at once when a desktop hands the file over, fails at once when no
// program can take it (a type registered for an application that is not installed, no
// desktop and no fallback), and otherwise runs the program itself. A shell waits a short
// while for it: an early end tells success from failure; a program still running then
// was started, and is left running on its own.
constexpr int kOpenWaitTenths = 20;

int openWithDesktop(const QString& target, const QString& folder)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
        return kShellNoAssociation;
    const QString script = QStringLiteral(
                               "xdg-open \"$1\" </dev/null >/dev/null 2>&1 & pid=$!\n"
                               "i=0\n"
                               "while [ $i -lt %1 ]; do\n"
                               "  kill -0 $pid 2>/dev/null || { wait $pid; exit $?; }\n"
                               "  sleep 0.1; i=$((i+1))\n"
                               "done\n"
                               "exit 0\n")
                               .arg(kOpenWaitTenths);
    QProcess shell;
    shell.setWorkingDirectory(folder);
    shell.setStandardInputFile(QProcess::nullDevice());
    shell.setStandardOutputFile(QProcess::nullDevice());
    shell.setStandardErrorFile(QProcess::nullDevice());
    shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, QStringLiteral("sh"), target});
    if (!shell.waitForFinished(kOpenWaitTenths * 100 + 5000)) {
        shell.kill();
        shell.waitForFinished(1000);
        return kShellSuccess; // still busy handing over: the program is on its way
    }
    return shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0 ? kShellSuccess
                                                                                : kShellNoAssociation;
}
} // namespace

int ShellExecute(const QString& file, const QString& parameters, const QString& folder)
{
    if (!folder.isEmpty() && !QFileInfo(folder).isDir())
        return kShellPathNotFound;
    if (file.isEmpty())
        return kShellFileNotFound;

    QFileInfo info(file);
    if (info.isRelative() && !folder.isEmpty() && QFileInfo::exists(QDir(folder).filePath(file)))
        info.setFile(QDir(folder).filePath(file));

    if (!info.exists()) {
        if (!file.contains(QLatin1Char('/'))) {
            const QString program = QStandardPaths::findExecutable(file);
            if (!program.isEmpty())
                return startProgram(program, parameters, folder);
        }
        if (looksLikeUrl(file))
            return openWithDesktop(file, folder);
        return info.absoluteDir().exists() ? kShellFileNotFound : kShellPathNotFound;
    }

    if (isProgram(info))
        return startProgram(info.absoluteFilePath(), parameters, folder);
    if (!info.isDir() && DefaultApplicationFor(info.absoluteFilePath()).isEmpty())
        return kShellNoAssociation;
    return openWithDesktop(info.absoluteFilePath(), folder);
}

QString DefaultApplicationFor(const QString& path)
{
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return {};
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    QStringList candidates{type.name()};
    candidates += type.allAncestors();
    for (const QString& name : candidates) {
        QProcess query;
        query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), name});
        if (!query.waitForFinished(10000)) {
            query.kill();
            query.waitForFinished();
            continue;
        }
        const QString entry = QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
        if (query.exitCode() == 0 && !entry.isEmpty())
            return entry;
    }
    return {};
}

} // namespace platform
