#include "uAutoStart.h"

#include "uWriteWhole.h"
#include "uXdgPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace platform {
namespace {

EPlatformError setFailed(const QString& valueName)
{
    return EPlatformError(QStringLiteral("Failed to set data for '%1'").arg(valueName));
}

// Characters that make the desktop entry rules ask for a quoted argument.
bool needsQuotes(const QString& program)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    for (const QChar c : program)
        if (reserved.contains(c))
            return true;
    return program.isEmpty();
}

QString escapeStringValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString unescapeStringValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            out += u' ';
            break;
        case 'n':
            out += u'\n';
            break;
        case 't':
            out += u'\t';
            break;
        case 'r':
            out += u'\r';
            break;
        case '\\':
            out += u'\\';
            break;
        default:
            out += c;
            out += next;
        }
    }
    return out;
}

struct Entry
{
    QString exec;
    bool switchedOff = false;
};

Entry parseEntry(const QByteArray& bytes)
{
    Entry entry;
    bool inMainGroup = false;
    for (const QByteArray& raw : bytes.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("Exec"))
            entry.exec = value;
        else if (key == QLatin1String("Hidden") && value == QLatin1String("true"))
            entry.switchedOff = true;
        else if (key == QLatin1String("X-GNOME-Autostart-enabled") && value == QLatin1String("false"))
            entry.switchedOff = true;
    }
    return entry;
}

} // namespace

QString AutoStartFile(bool forMe, const QString& valueName)
{
    const QString base = forMe ? XdgConfigHome() : XdgConfigDirs().value(0);
    if (base.isEmpty())
        return {};
    return base + QStringLiteral("/autostart/") + valueName + QStringLiteral(".desktop");
}

QString ExecLineFor(const QString& program)
{
    QString arg;
    if (needsQuotes(program)) {
        arg = QStringLiteral("\"");
        for (const QChar c : program) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                arg += u'\\';
            arg += c;
        }
        arg += u'"';
    } else {
        arg = program;
    }
    arg.replace(u'%', QLatin1String("%%"));
    return escapeStringValue(arg);
}

QString ProgramOfExecLine(const QString& value)
{
    const QString line = unescapeStringValue(value);
    QString program;
    if (line.startsWith(u'"')) {
        for (qsizetype i = 1; i < line.size(); ++i) {
            QChar c = line.at(i);
            if (c == u'"')
                break;
            if (c == u'\\' && i + 1 < line.size())
                c = line.at(++i);
            program += c;
        }
    } else {
        const qsizetype end = line.indexOf(QRegularExpression(QStringLiteral("[ \t]")));
        program = end < 0 ? line : line.left(end);
    }
    program.replace(QLatin1String("%%"), QLatin1String("%"));
    return program;
}

QString ReadAutoStart(const QString& file)
{
    if (file.isEmpty() || !QFileInfo::exists(file))
        return {};
    QFile f(file);
    if (!QFileInfo(file).isFile() || !f.open(QIODevice::ReadOnly))
        throw EPlatformError(
            QStringLiteral("Cannot read \"%1\": %2")
                .arg(file, QFileInfo(file).isDir() ? QStringLiteral("it is a folder") : f.errorString()));
    const Entry entry = parseEntry(f.readAll());
    if (entry.switchedOff || entry.exec.isEmpty())
        return {};
    const QString program = ProgramOfExecLine(entry.exec);
    // An Exec= line we cannot take apart still starts something: report it as set.
    return program.isEmpty() ? entry.exec : program;
}

void WriteAutoStart(const QString& file, const QString& executablePath, const QString& valueName)
{
    if (file.isEmpty() || !QDir().mkpath(QFileInfo(file).absolutePath()))
        throw setFailed(valueName);
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=%1\n"
                                        "Comment=Favourite database queries in the system tray\n"
                                        "Exec=%2\n"
                                        "Icon=quillory\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(escapeStringValue(valueName), ExecLineFor(executablePath));
    const QByteArray bytes = text.toUtf8();
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || !WriteWhole(f, bytes) || !f.commit())
        throw setFailed(valueName);
}

void DeleteAutoStart(const QString& file, const QString& valueName)
{
    if (file.isEmpty())
        return;
    QFileInfo info(file);
    if (!info.exists() && !info.isSymLink())
        return;
    if (!QFile::remove(file))
        throw setFailed(valueName);
}

} // namespace platform
