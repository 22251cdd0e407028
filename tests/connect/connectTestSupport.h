#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

// Acts on the next modal dialog of type T once its exec() loop runs: the connection
// dialogs open one another modally, and a test answers them the way a user would. The
// check is re-armed from the event loop until the dialog is up; no clock is involved.
// A dialog that never comes leaves *seen false (give the flag to the test to check). The
// dialog is cancelled after the action if it is still open (a failed check inside the
// action returns early), so that a failure never leaves the test waiting.
template <typename T>
void onModal(std::function<void(T*)> action, std::shared_ptr<bool> seen = std::make_shared<bool>(false),
             int tries = 20000)
{
    QTimer::singleShot(0, qApp, [action = std::move(action), seen, tries]() {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            *seen = true;
            QPointer<QWidget> guard(dialog);
            action(dialog);
            if (guard && guard->isVisible())
                static_cast<QDialog*>(guard.data())->reject();
            return;
        }
        if (tries > 0)
            onModal<T>(action, seen, tries - 1);
    });
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
}

// unixODBC pointed at a folder of our own: the drivers by their Debian file names, an
// empty or given system odbc.ini and a user odbc.ini with the given DSNs. The machine's
// ODBC set-up plays no part.
class OdbcSandbox
{
public:
    bool setUp(const QByteArray& userDsns, const QByteArray& systemOdbcIni = {})
    {
        if (!m_dir.isValid())
            return false;
        writeFile(m_dir.filePath("odbcinst.ini"), "[SQLite3]\nDriver=libsqlite3odbc.so\n\n"
                                                  "[MDBTools]\nDriver=libmdbodbc.so\n\n"
                                                  "[FreeTDS]\nDriver=libtdsodbc.so\n");
        writeFile(m_dir.filePath("odbc.ini"), systemOdbcIni);
        writeFile(m_dir.filePath("user-odbc.ini"), userDsns);
        qputenv("ODBCSYSINI", m_dir.path().toUtf8());
        qputenv("ODBCINI", m_dir.filePath("user-odbc.ini").toUtf8());
        return true;
    }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

inline QString chinookFile()
{
    return QStringLiteral(QUILLORY_TESTDATA "/sqlite/Chinook_Sqlite.sqlite");
}

inline QString nwindFile()
{
    return QStringLiteral(QUILLORY_TESTDATA "/access/nwind.mdb");
}
