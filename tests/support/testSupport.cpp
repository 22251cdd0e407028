#include "testSupport.h"

#include <sqlite3.h>

bool execSqlite(const QString& file, const QByteArray& sql, std::source_location where)
{
    sqlite3* db = nullptr;
    const bool opened = sqlite3_open(QFile::encodeName(file).constData(), &db) == SQLITE_OK;
    char* error = nullptr;
    const bool ran = opened && sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error) == SQLITE_OK;
    if (!ran)
        testsupport::fail(
            QStringLiteral("%1: %2").arg(file, QString::fromUtf8(error ? error : sqlite3_errmsg(db))), where);
    sqlite3_free(error);
    sqlite3_close(db);
    return ran;
}

bool writeAccessFileWithUnreadableDate(const QString& path, std::source_location where)
{
    QFile source(testDataFile(QStringLiteral("access/DateTestDatabase.mdb")));
    if (!source.open(QIODevice::ReadOnly)) {
        testsupport::fail(QStringLiteral("cannot read %1").arg(source.fileName()), where);
        return false;
    }
    QByteArray bytes = source.readAll();
    // Year 9999 (day 2958101) becomes a day far past any calendar Access knows.
    const double year9999 = 2958101.0, farAway = 1e12;
    const QByteArray from(reinterpret_cast<const char*>(&year9999), 8);
    const QByteArray to(reinterpret_cast<const char*>(&farAway), 8);
    if (!bytes.contains(from)) {
        testsupport::fail(QStringLiteral("the sample holds no year 9999"), where);
        return false;
    }
    bytes.replace(from, to);
    return writeFile(path, bytes, QFile::ReadOwner | QFile::WriteOwner, where);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes, QFile::Permissions permissions,
               std::source_location where)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        testsupport::fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()), where);
        return false;
    }
    file.close();
    if (permissions && !file.setPermissions(permissions)) {
        testsupport::fail(QStringLiteral("cannot set the permissions of %1").arg(path), where);
        return false;
    }
    return true;
}

bool writeDataLinkFile(const QString& path, const QString& connectionString, std::source_location where)
{
    const QString text =
        "[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n" + connectionString + "\r\n";
    return writeFile(path, "\xFF\xFE" + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2),
                     {}, where);
}

QString writableCopy(const QTemporaryDir& dir, const QString& name, const QString& sample,
                     std::source_location where)
{
    const QString path = dir.filePath(name);
    QFile::remove(path);
    if (!QFile::copy(sample, path) || !QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner)) {
        testsupport::fail(QStringLiteral("cannot copy %1 to %2").arg(sample, path), where);
        return QString();
    }
    return path;
}

QString testDataFile(const QString& relative)
{
    return QStringLiteral(QUILLORY_TESTDATA "/") + relative;
}

QString chinookFile()
{
    return testDataFile(QStringLiteral("sqlite/Chinook_Sqlite.sqlite"));
}

QString nwindFile()
{
    return testDataFile(QStringLiteral("access/nwind.mdb"));
}

namespace testsupport {
void fail(const QString& message, std::source_location where)
{
    QTest::qFail(qPrintable(message), where.file_name(), int(where.line()));
}
} // namespace testsupport

bool OdbcSandbox::setUp(const QByteArray& userDsns, const QByteArray& systemOdbcIni)
{
    if (!m_dir.isValid())
        return false;
    // DontDLClose keeps a driver loaded until the test ends, so that the leak checker of
    // the sanitizer build can still name the driver library a leak comes from.
    const bool written = writeFile(m_dir.filePath("odbcinst.ini"),
                                   "[SQLite3]\nDriver=libsqlite3odbc.so\nDontDLClose=1\n\n"
                                   "[PostgreSQL Unicode]\nDriver=psqlodbcw.so\nDontDLClose=1\n\n"
                                   "[MDBTools]\nDriver=libmdbodbc.so\nDontDLClose=1\n\n"
                                   "[FreeTDS]\nDriver=libtdsodbc.so\nDontDLClose=1\n") &&
                         writeFile(m_dir.filePath("odbc.ini"), systemOdbcIni) &&
                         writeFile(m_dir.filePath("user-odbc.ini"), userDsns);
    if (!written)
        return false;
    qputenv("ODBCSYSINI", m_dir.path().toUtf8());
    qputenv("ODBCINI", m_dir.filePath("user-odbc.ini").toUtf8());
    return true;
}
