#include "utils.h"

#include "uDialogs.h"
#include "uShellOpen.h"
#include "uSystemInfo.h"

#include <QCursor>
#include <QGuiApplication>

#include <optional>
#include <vector>

EUtilsError::EUtilsError(const QString& message) : std::runtime_error(message.toStdString()) {}

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

// Windows-1252 for 0x80..0x9F; the five unassigned bytes map to the same code point.
constexpr char16_t kWindows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Length of the valid UTF-8 sequence at bytes[i], 0 when there is none.
int utf8SequenceLength(const QByteArray& bytes, qsizetype i)
{
    const auto at = [&](qsizetype k) { return quint8(bytes[k]); };
    const quint8 lead = at(i);
    int length = 0;
    quint8 low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else
        return 0;
    if (i + length > bytes.size())
        return 0;
    if (at(i + 1) < low || at(i + 1) > high)
        return 0;
    for (int k = 2; k < length; ++k)
        if ((at(i + k) & 0xC0) != 0x80)
            return 0;
    return length;
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
    ShowInfo(ShellErrorText(result, command) + QStringLiteral(" : ") + file,
             QStringLiteral("Failed to shell using ") + parameters + QStringLiteral(" in ") + folder);
    return 0;
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

QString DecodeUtf8OrWindows1252(const QByteArray& bytes)
{
    qsizetype i = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    QString text;
    text.reserve(bytes.size() - i);
    while (i < bytes.size()) {
        const int length = utf8SequenceLength(bytes, i);
        if (length == 0) {
            const quint8 b = quint8(bytes[i]);
            text += QChar(b >= 0x80 && b <= 0x9F ? kWindows1252High[b - 0x80] : char16_t(b));
            ++i;
        } else if (length == 1) {
            text += QLatin1Char(bytes[i]);
            ++i;
        } else {
            text += QString::fromUtf8(bytes.constData() + i, length);
            i += length;
        }
    }
    return text;
}
