#include "uParameters.h"

#include "uSystemInfo.h"
#include "uWriteWhole.h"
#include "uXdgPaths.h"
#include "utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtDebug>

#include <algorithm>

namespace {
const QString kVexlorin = QStringLiteral("Vexlorin");

// The file's lines as the Windows program read them (TextLines). False when the file
// cannot be read.
bool readLines(const QString& fileName, QStringList& lines)
{
    lines.clear();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    lines = TextLines(DecodeUtf8OrWindows1252(bytes));
    return true;
}

// A value stays on its own line: one holding a line break is written behind a mark with
// "\\", CR and LF escaped, so the next run reads it back exactly and no part of it can
// pass for a setting of its own. Every other value is written as it is (a value that
// happens to begin with the mark is escaped too, so it reads back unchanged).
const QString kEscapedMark = QStringLiteral("\\~");

QString encodeValue(const QString& value)
{
    if (!value.contains(QLatin1Char('\r')) && !value.contains(QLatin1Char('\n')) &&
        !value.startsWith(kEscapedMark))
        return value;
    QString out = kEscapedMark;
    out.reserve(value.size() + 8);
    for (const QChar c : value) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else
            out += c;
    }
    return out;
}

QString decodeValue(const QString& text)
{
    if (!text.startsWith(kEscapedMark))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = kEscapedMark.size(); i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\\') || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text[++i];
        if (next == QLatin1Char('r'))
            out += QLatin1Char('\r');
        else if (next == QLatin1Char('n'))
            out += QLatin1Char('\n');
        else
            out += next; // "\\" and anything a hand edit left
    }
    return out;
}

void sortIgnoringCase(QStringList& lines)
{
    std::stable_sort(lines.begin(), lines.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
}

// Creates the missing folders of path, each readable by its owner only: the parameter
// file holds a scrambled password.
bool makeFolders(const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    QString sofar;
    for (const QString& part : clean.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        sofar += QLatin1Char('/') + part;
        if (QFileInfo(sofar).isDir())
            continue;
        if (!QDir().mkdir(sofar, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            return false;
    }
    return QFileInfo(clean).isDir();
}
} // namespace

TParameters::TParameters()
    : m_userParameters(QLatin1Char('\n'), {}), m_defaultUserParameters(QLatin1Char('\n'), {})
{
}

TParameters::TParameters(const QString& executablePath, const QStringList& arguments,
                         const QString& configHome, DriveIsFixed driveIsFixed, const QString& logonName)
    : TParameters()
{
    const QFileInfo exe(executablePath);
    const QString path = exe.absoluteFilePath();
    m_base = exe.suffix().isEmpty() ? path : path.chopped(exe.suffix().size() + 1);
    m_configHome = configHome;
    m_driveIsFixed = std::move(driveIsFixed);
    m_defaultUserFileName = m_base + QStringLiteral("_DefaultUser.INI");

    QString user = GetCommandLineValue(QStringLiteral("_user"), arguments);
    if (user.isEmpty())
        user = logonName;
    LoadUserParameters(user);
}

QString TParameters::ReadParameter(const QString& name, const QString& defaultValue) const
{
    if (m_userParameters.IndexOfName(name) >= 0)
        return decodeValue(m_userParameters.Value(name));
    if (m_defaultUserParameters.IndexOfName(name) >= 0)
        return decodeValue(m_defaultUserParameters.Value(name));
    return defaultValue;
}

void TParameters::WriteParameter(const QString& name, const QString& value)
{
    // Further lines of the same name (a hand edit) go: the file is saved sorted, and one
    // of them could come first and hide this value from the next run.
    const qsizetype first = m_userParameters.IndexOfName(name);
    for (qsizetype i = m_userParameters.size() - 1; first >= 0 && i > first; --i) {
        const QString& line = m_userParameters.at(i);
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0 && QStringView(line).left(eq).compare(name, Qt::CaseInsensitive) == 0)
            m_userParameters.removeAt(i);
    }
    m_userParameters.SetValue(name, encodeValue(value));
    m_parametersChanged = true;
}

QString TParameters::ParameterFileName(const QString& userName) const
{
    // A slash would carry the file into another folder; blanks were never part of the name.
    QString user = RemoveSpaces(userName);
    user.remove(QLatin1Char('/'));
    user.remove(QChar(0));
    QString name = m_base + QLatin1Char('_') + user + QStringLiteral(".INI");
    const QFileInfo info(name);
    try {
        if (m_driveIsFixed && m_driveIsFixed(info.absolutePath()) && QDir::isAbsolutePath(m_configHome)) {
            const QString folder = QDir::cleanPath(m_configHome + QLatin1Char('/') + kVexlorin);
            if (!QFileInfo(folder).isDir())
                makeFolders(folder);
            if (QFileInfo(folder).isDir())
                name = folder + QLatin1Char('/') + info.fileName();
        }
    } catch (...) {
        // The file then stays beside the executable.
    }
    return name;
}

void TParameters::LoadUserParameters(const QString& userName)
{
    m_userParameterFileName = ParameterFileName(userName);
    m_userFileUnreadable = false;

    QStringList lines;
    if (QFileInfo::exists(m_userParameterFileName) && !readLines(m_userParameterFileName, lines)) {
        m_userFileUnreadable = true;
        qWarning("Cannot read the parameter file %s; starting with no settings and leaving it as it is",
                 qPrintable(m_userParameterFileName));
    }
    m_userParameters.clear();
    m_userParameters.append(lines);

    if (QFileInfo::exists(m_defaultUserFileName) && !readLines(m_defaultUserFileName, lines))
        qWarning("Cannot read the default-user parameter file %s", qPrintable(m_defaultUserFileName));
    sortIgnoringCase(lines);
    m_defaultUserParameters.clear();
    m_defaultUserParameters.append(lines);
}

bool TParameters::Save()
{
    if (!m_parametersChanged || m_userParameterFileName.isEmpty())
        return true;
    if (m_userFileUnreadable) {
        qWarning("Parameter file %s was unreadable at start; this run's settings are not saved",
                 qPrintable(m_userParameterFileName));
        return false;
    }
    sortIgnoringCase(m_userParameters);
    QByteArray bytes;
    for (const QString& line : std::as_const(m_userParameters))
        bytes += line.toUtf8() + "\r\n";

    QSaveFile file(m_userParameterFileName);
    const bool saved = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                       file.setPermissions(QFile::ReadOwner | QFile::WriteOwner) &&
                       platform::WriteWhole(file, bytes) && file.commit();
    if (!saved) {
        qWarning("Cannot write the parameter file %s: %s", qPrintable(m_userParameterFileName),
                 qPrintable(file.errorString()));
        return false;
    }
    m_parametersChanged = false;
    return true;
}

namespace {
std::unique_ptr<TParameters>& globalParameters()
{
    static std::unique_ptr<TParameters> parameters = std::make_unique<TParameters>();
    return parameters;
}
} // namespace

void InitParameters()
{
    InitParameters(std::make_unique<TParameters>(platform::ExecutablePath(), platform::CommandLineArguments(),
                                                 platform::XdgConfigHome(), platform::IsFixedDrive,
                                                 GetLoggedOnUserName()));
}

void InitParameters(std::unique_ptr<TParameters> parameters)
{
    globalParameters() = parameters ? std::move(parameters) : std::make_unique<TParameters>();
}

bool SaveParameters()
{
    return globalParameters()->Save();
}

TParameters& Parameters()
{
    return *globalParameters();
}

QString ReadParameter(const QString& name, const QString& defaultValue)
{
    return globalParameters()->ReadParameter(name, defaultValue);
}

void WriteParameter(const QString& name, const QString& value)
{
    globalParameters()->WriteParameter(name, value);
}
