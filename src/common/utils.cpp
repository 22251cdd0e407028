#include "utils.h"

#include "uDialogs.h"
#include "uShellOpen.h"
#include "uSystemInfo.h"

#include <QCursor>
#include <QFileInfo>
#include <QGuiApplication>

#include <optional>
#include <vector>

namespace {
constexpr qsizetype kMessageLimit = 255;
constexpr qsizetype kCommandLineValueLimit = 1000;

// A saved screen cursor; empty means no override cursor was set.
using ScreenCursor = std::optional<QCursor>;
std::vector<ScreenCursor> g_cursorStack;

bool haveGui()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

ScreenCursor screenCursor()
{
    if (!haveGui())
        return {};
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor ? ScreenCursor(*cursor) : ScreenCursor();
}

// Qt keeps override cursors on a stack of its own; only its top is ever changed here, so
// cursors that other code pushed below stay as they were.
void setScreenCursor(const ScreenCursor& cursor)
{
    if (!haveGui())
        return;
    const bool overridden = QGuiApplication::overrideCursor() != nullptr;
    if (!cursor) {
        if (overridden)
            QGuiApplication::restoreOverrideCursor();
    } else if (overridden) {
        QGuiApplication::changeOverrideCursor(*cursor);
    } else {
        QGuiApplication::setOverrideCursor(*cursor);
    }
}

bool startsWithIgnoringAsciiCase(const QString& text, const QString& prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        const char16_t a = text[i].unicode();
        const char16_t b = prefix[i].unicode();
        const auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; };
        if (lower(a) != lower(b))
            return false;
    }
    return true;
}

// Windows-1252 for 0x80..0x9F; the five unassigned bytes keep their Latin-1 value,
// as the Windows conversion does. Every other byte is its Latin-1 character.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t cp1252(unsigned char b)
{
    return b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b);
}

// The length of the valid UTF-8 sequence starting at p, or 0 when there is none.
int utf8Sequence(const unsigned char* p, const unsigned char* end, char32_t& cp)
{
    const unsigned char c = p[0];
    int n;
    char32_t least;
    if ((c & 0xE0) == 0xC0) {
        n = 2, cp = c & 0x1F, least = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3, cp = c & 0x0F, least = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4, cp = c & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (end - p < n)
        return 0;
    for (int i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

} // namespace

bool AskYesNo(const QString& text, const QString& caption)
{
    const ScreenCursor before = screenCursor();
    struct Restore
    {
        const ScreenCursor& cursor;
        ~Restore() { setScreenCursor(cursor); }
    } restore{before};
    return dialogs::askYesNo(text.left(kMessageLimit), caption.left(kMessageLimit));
}

void ShowInfo(const QString& text, const QString& caption)
{
    dialogs::showInfo(text.left(kMessageLimit), caption.left(kMessageLimit));
}

void PushCursor(Qt::CursorShape cursor)
{
    if (g_cursorStack.size() >= size_t(kCursorStackSize))
        throw EUtilsError(QStringLiteral("Overflow on cursor stack"));
    g_cursorStack.push_back(screenCursor());
    setScreenCursor(QCursor(cursor));
}

void PopCursor()
{
    if (g_cursorStack.empty())
        throw EUtilsError(QStringLiteral("Underflow on cursor stack"));
    setScreenCursor(g_cursorStack.back());
    g_cursorStack.pop_back();
}

int CursorStackCount()
{
    return int(g_cursorStack.size());
}

int ShellOpen(const QString& command)
{
    QString file = command;
    QString parameters;
    QString folder;
    if (const qsizetype bar = command.indexOf(QLatin1Char('|')); bar >= 0) {
        file = command.left(bar);
        parameters = command.mid(bar + 1);
        if (const qsizetype second = parameters.indexOf(QLatin1Char('|')); second >= 0) {
            folder = parameters.mid(second + 1);
            parameters.truncate(second);
        }
    }
    const int result = ShellExecuteFile(file, parameters, folder, kShowNormal);
    if (result < 0 || result >= 32)
        return result;
    // The caption names what was used and where, also when the command left them out.
    const QString how = parameters.isEmpty() ? QStringLiteral("the default application") : parameters;
    const QString where = folder.isEmpty() ? QFileInfo(file).absolutePath() : folder;
    QString text = ShellErrorText(result, command) + QStringLiteral(" : ") + file;
    if (const QString cause = ShellPlainCause(result, file); !cause.isEmpty())
        text += QLatin1Char('\n') + cause;
    ShowInfo(text, QStringLiteral("Failed to shell using ") + how + QStringLiteral(" in ") + where);
    return 0;
}

QString ShellPlainCause(int result, const QString& file)
{
    const QFileInfo info(file);
    switch (result) {
    case platform::kShellFileNotFound:
        return QStringLiteral("The file does not exist.");
    case platform::kShellPathNotFound:
        return QStringLiteral("The folder \"%1\" does not exist.").arg(info.absolutePath());
    case platform::kShellBadExecutable:
        return QStringLiteral("The program could not be started.");
    case platform::kShellNoAssociation:
        return info.suffix().isEmpty()
                   ? QStringLiteral("No application is set up to open files of this kind.")
                   : QStringLiteral("No application is set up to open .%1 files.").arg(info.suffix());
    default:
        return {};
    }
}

int ShellExecuteFile(const QString& file, const QString& parameters, const QString& folder, int showCommand)
{
    Q_UNUSED(showCommand);
    return platform::ShellExecute(file, parameters, folder);
}

QString ShellErrorText(int result, const QString& command)
{
    switch (result) {
    case 0:
        return QStringLiteral("System was Out of Memory");
    case 2:
        return QStringLiteral("File not found");
    case 3:
        return QStringLiteral("Path not found");
    case 5:
        return QStringLiteral("Attempt to dynamically link to a task");
    case 6:
        return QStringLiteral("Library required separate data segments");
    case 8:
        return QStringLiteral("Insufficient memory to start application");
    case 10:
        return QStringLiteral("Windows version is incorrect");
    case 11:
        return QStringLiteral("Executable file was invalid");
    case 12:
        return QStringLiteral("Application was designed for different OS");
    case 13:
        return QStringLiteral("Application was designed for DOS4.0");
    case 14:
        return QStringLiteral("Type of Executable is unknown");
    case 15:
        return QStringLiteral("Attempted to load real-mode application");
    case 16:
        return QStringLiteral("Attempt to load second instance");
    case 19:
        return QStringLiteral("Attempt to load compressed executable");
    case 20:
        return QStringLiteral("DLL library file was invalid");
    case 21:
        return QStringLiteral("Application requires 32-bits");
    default:
        return QStringLiteral("Failed to load <") + command + QStringLiteral("> with error") +
               QString::number(result);
    }
}

QString GetCommandLineValue(const QString& name)
{
    return GetCommandLineValue(name, platform::CommandLineArguments());
}

QString GetCommandLineValue(const QString& name, const QStringList& arguments)
{
    const QString prefix = name + QLatin1Char('=');
    QString value;
    for (const QString& argument : arguments)
        if (startsWithIgnoringAsciiCase(argument, prefix))
            value = argument.mid(prefix.size(), kCommandLineValueLimit);
    return value;
}

QString GetLoggedOnUserName()
{
    return platform::LoggedOnUserName();
}

QString StripAmpersands(const QString& text)
{
    return QString(text).remove(QLatin1Char('&'));
}

void ReplaceAll(QString& text, const QString& find, const QString& replaceBy)
{
    if (find.isEmpty()) {
        text.prepend(replaceBy);
        return;
    }
    if (replaceBy.contains(find))
        throw EUtilsError(QStringLiteral("Avoid infinite fill"));
    // Same result as searching from the very start after every replacement: the text before
    // the replaced occurrence held none, so a new one can only begin where it overlaps.
    qsizetype from = 0;
    for (qsizetype pos = text.indexOf(find); pos >= 0; pos = text.indexOf(find, from)) {
        text.replace(pos, find.size(), replaceBy);
        from = qMax<qsizetype>(0, pos - find.size() + 1);
    }
}

QString RightChars(const QString& text, qsizetype n)
{
    if (n <= 0)
        return {};
    return n < text.size() ? text.right(n) : text;
}

QString RemoveSpaces(const QString& text)
{
    return QString(text).remove(QLatin1Char(' '));
}

QStringList TextLines(QStringView text)
{
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines << text.sliced(start, i - start).toString();
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines << text.sliced(start).toString();
    return lines;
}

QString DecodeWindows1252(const char* data, qsizetype size)
{
    QString out(size, Qt::Uninitialized);
    QChar* dst = out.data();
    for (qsizetype i = 0; i < size; ++i)
        dst[i] = QChar(cp1252(static_cast<unsigned char>(data[i])));
    return out;
}

void AppendUtf8OrWindows1252(QString& out, const char* data, qsizetype size)
{
    auto p = reinterpret_cast<const unsigned char*>(data);
    const auto end = p + size;
    while (p < end) {
        if (*p < 0x80) {
            const auto start = p;
            while (p < end && *p < 0x80)
                ++p;
            out.append(QLatin1String(reinterpret_cast<const char*>(start), p - start));
            continue;
        }
        char32_t cp = 0;
        if (const int n = utf8Sequence(p, end, cp)) {
            out.append(QStringView(QChar::fromUcs4(cp)));
            p += n;
        } else {
            out.append(QChar(cp1252(*p)));
            ++p;
        }
    }
}

bool IsValidUtf8(const char* data, qsizetype size)
{
    auto p = reinterpret_cast<const unsigned char*>(data);
    const auto end = p + size;
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        char32_t cp = 0;
        const int n = utf8Sequence(p, end, cp);
        if (n == 0)
            return false;
        p += n;
    }
    return true;
}

QString DecodeUtf8OrWindows1252(const QByteArray& bytes)
{
    const qsizetype bom = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    QString text;
    text.reserve(bytes.size() - bom);
    AppendUtf8OrWindows1252(text, bytes.constData() + bom, bytes.size() - bom);
    return text;
}
