#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The PostgreSQL server that scripts/test starts for the run, described by the
// QUILLORY_PG_* variables; and a private one for tests that must stop their server.
struct PgServer
{
    QString host, port, user, password, db;

    static PgServer fromEnvironment()
    {
        const auto env = QProcessEnvironment::systemEnvironment();
        return {env.value("QUILLORY_PG_HOST"), env.value("QUILLORY_PG_PORT"), env.value("QUILLORY_PG_USER"),
                env.value("QUILLORY_PG_PASSWORD"), env.value("QUILLORY_PG_DB")};
    }
    bool valid() const { return !host.isEmpty() && !port.isEmpty() && !user.isEmpty(); }

    QString connectionString(const QString& pw) const
    {
        return "Provider=PostgreSQL;Data Source=" + host + ":" + port + ";Initial Catalog=" + db +
               ";User ID=" + user + ";Password=" + pw;
    }
    QString connectionString() const { return connectionString(password); }
};

// A throwaway server of the test's own, through scripts/pgserver.
class PrivatePgServer
{
public:
    bool start(QString* error)
    {
        if (!m_dir.isValid())
            return false;
        QProcess p;
        p.start(script(), {"start", m_dir.path()});
        p.waitForFinished(120000);
        if (p.exitCode() != 0) {
            *error = QString::fromUtf8(p.readAllStandardError());
            return false;
        }
        const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n');
        for (const QString& line : lines) {
            const QString l = line.mid(line.indexOf(' ') + 1);
            const QString key = l.section('=', 0, 0), value = l.section('=', 1);
            if (key == "QUILLORY_PG_HOST")
                server.host = value;
            else if (key == "QUILLORY_PG_PORT")
                server.port = value;
            else if (key == "QUILLORY_PG_USER")
                server.user = value;
            else if (key == "QUILLORY_PG_PASSWORD")
                server.password = value;
            else if (key == "QUILLORY_PG_DB")
                server.db = value;
        }
        m_started = server.valid();
        return m_started;
    }
    // Synchronous; safe to call from another thread.
    QString stopCommand() const { return script() + " stop " + m_dir.path() + " >/dev/null 2>&1"; }
    void stop()
    {
        if (m_started)
            QProcess::execute(script(), {"stop", m_dir.path()});
        m_started = false;
    }
    ~PrivatePgServer() { stop(); }

    PgServer server;

private:
    static QString script() { return QStringLiteral(QUILLORY_SOURCE_DIR "/scripts/pgserver"); }
    QTemporaryDir m_dir;
    bool m_started = false;
};

// A loopback port that was free a moment ago and on which nothing listens: a server
// that is not there, for tests of connection failures. 0 when none could be found.
inline int closedLoopbackPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(s); // bound, never listened: nothing answers there
    return port;
}
