#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <source_location>
#include <type_traits>
#include <utility>

// What many test programs share: files written in one call, the test data, an ODBC set-up
// of the test's own, and checks that a call raises a given error. A failure in one of
// these helpers is reported at the caller's line; the test function goes on unless the
// caller stops it (the helpers return whether they succeeded).

// Writes bytes to path, replacing it, then sets permissions when given.
bool writeFile(const QString& path, const QByteArray& bytes, QFile::Permissions permissions = {},
               std::source_location where = std::source_location::current());

// A data link file at path as the system writes them (UTF-16LE with its byte-order mark,
// the "[oledb]" and comment lines) holding connectionString.
bool writeDataLinkFile(const QString& path, const QString& connectionString,
                       std::source_location where = std::source_location::current());

// The whole file; empty when it is missing or cannot be read.
QByteArray readFile(const QString& path);

// Runs the statements of sql on the SQLite file, creating it when missing; a failure is
// reported with SQLite's message.
bool execSqlite(const QString& file, const QByteArray& sql,
                std::source_location where = std::source_location::current());

// A copy at path of the Access sample DateTestDatabase.mdb in which the DateCol value of
// year 9999 is a day no calendar holds: reading it fails for that one value.
bool writeAccessFileWithUnreadableDate(const QString& path,
                                       std::source_location where = std::source_location::current());

// A file below ../shared/testdata, by its path there ("sqlite/Chinook_Sqlite.sqlite").
QString testDataFile(const QString& relative);
// The Chinook sample as an SQLite file, and the Northwind sample as an Access file.
QString chinookFile();
QString nwindFile();

// A copy of a sample (the shared test data is read-only) at name in dir, replacing what
// is there, readable and writable by its owner: its path, or an empty string after the
// failure was reported.
QString writableCopy(const QTemporaryDir& dir, const QString& name, const QString& sample = chinookFile(),
                     std::source_location where = std::source_location::current());

namespace testsupport {
void fail(const QString& message, std::source_location where);

template <typename E> QString messageOf(const E& error)
{
    if constexpr (requires { error.message(); })
        return error.message();
    else
        return QString::fromUtf8(error.what());
}
} // namespace testsupport

// Runs call, which must raise E, and gives E's message; without an error the test fails
// and the result is a null string. An error of another type propagates.
template <typename E, typename Call>
QString errorMessage(Call&& call, std::source_location where = std::source_location::current())
{
    try {
        std::forward<Call>(call)();
    } catch (const E& e) {
        return testsupport::messageOf(e);
    }
    testsupport::fail(QStringLiteral("no error raised"), where);
    return QString();
}

// Runs call, which must raise E with exactly text as its message.
template <typename E, typename Call>
bool expectError(Call&& call, const QString& text,
                 std::source_location where = std::source_location::current())
{
    try {
        std::forward<Call>(call)();
    } catch (const E& e) {
        return QTest::qCompare(testsupport::messageOf(e), text, "message", "text", where.file_name(),
                               int(where.line()));
    }
    testsupport::fail(QStringLiteral("no error raised; expected: ") + text, where);
    return false;
}

// unixODBC pointed at a folder of our own: the drivers by their Debian file names, an
// empty or given system odbc.ini and a user odbc.ini with the given DSNs. The machine's
// ODBC set-up plays no part.
class OdbcSandbox
{
public:
    bool setUp(const QByteArray& userDsns, const QByteArray& systemOdbcIni = {});
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};
