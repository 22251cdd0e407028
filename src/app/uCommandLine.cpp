#include "uCommandLine.h"

#include "datModQuillory.h"
#include "uBuildMenu.h"
#include "uDbConnection.h"
#include "uDbQuery.h"
#include "uDbRowsBuilder.h"
#include "uError.h"
#include "uExportCSV.h"
#include "uFavouritesFolder.h"
#include "uSystemInfo.h"
#include "uVersionValues.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>
#include <functional>

namespace {

const char kHelp[] =
    "Usage: Quillory [--list | --run \"Folder/Query\" [--output FILE] | --help | --version]\n"
    "\n"
    "Without options the program starts in the system tray.\n"
    "\n"
    "  --list                 print every saved query as Folder/Sub folder/Query, in menu order\n"
    "  --run NAME             run a saved query and write its rows as CSV to standard output\n"
    "  --output FILE          write the CSV to FILE instead (left unchanged on failure)\n"
    "  --help                 show this text\n"
    "  --version              show the version\n"
    "\n"
    "A \"/\" inside a folder or query name is written and matched as \"//\".\n"
    "Exit status: 0 done, 1 connection, query or write error, 2 usage error or unknown name.\n";

void out(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
}

void err(const QString& text)
{
    std::fprintf(stderr, "Quillory: %s\n", text.toUtf8().constData());
}

// Walks the menu tree, handing each query its full name.
void walk(const QList<MenuNode>& nodes, const QString& prefix,
          const std::function<void(const QString&, int queryId)>& onQuery)
{
    for (const MenuNode& node : nodes) {
        const QString name = prefix + EscapeMenuName(node.caption);
        if (node.click == MenuNode::Click::Query)
            onQuery(name, -node.tag);
        else
            walk(node.children, name + QLatin1Char('/'), onQuery);
    }
}

// Writes the rows as the engine hands them over, so that none are kept.
class CsvSink : public TDbRowsSink
{
public:
    explicit CsvSink(TCSVStream& stream) : m_stream(stream) {}

    void Rows(const TDbRows& batch, bool first) override
    {
        // The query window shows a later statement's rows in place of earlier ones; these
        // are written already, so the run says so instead of writing a mix.
        if (first && m_started)
            throw EExportError(QStringLiteral("The query gives more than one set of rows; only one "
                                              "can be written"));
        if (batch.RowCount() == 0)
            return;
        if (!m_started)
            m_stream.WriteHeader(batch);
        m_started = true;
        m_stream.WriteRows(batch);
    }

    bool started() const { return m_started; }

private:
    TCSVStream& m_stream;
    bool m_started = false;
};

void exportQuery(TdmQuillory& store, int queryId, QIODevice& device)
{
    TDbConnection connection;
    connection.SetConnectionString(store.GetConnectString(queryId));
    // No one is there to answer a prompt: missing credentials are an error.
    connection.SetLoginPrompt(false);
    connection.Open();
    TDbQuery query;
    query.SetConnection(&connection);
    query.SetSQLText(store.GetQueryString(queryId));
    TCSVStream stream(&device);
    CsvSink sink(stream);
    {
        const TDbRowsStreaming streaming(sink);
        query.Open();
    }
    if (!sink.started())
        throw EExportError(QStringLiteral("Can not export an empty dataset"));
    stream.Flush();
}

int runQuery(TdmQuillory& store, int queryId, const QString& output)
{
    if (output.isEmpty()) {
        QFile device;
        if (!device.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw EExportError(QStringLiteral("Cannot write to standard output"));
        exportQuery(store, queryId, device);
        return 0;
    }
    // A device or pipe (/dev/null, a fifo) is written as it is: it cannot be replaced.
    const QFileInfo target(output);
    if (target.exists() && !target.isFile()) {
        QFile device(output);
        if (!device.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw EExportError(
                QStringLiteral("Cannot create file \"%1\". %2").arg(output, device.errorString()));
        exportQuery(store, queryId, device);
        return 0;
    }
    // A file is written whole or not at all: a failed run leaves no partial file behind.
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly))
        throw EExportError(QStringLiteral("Cannot create file \"%1\". %2").arg(output, file.errorString()));
    exportQuery(store, queryId, file);
    if (!file.commit())
        throw EExportError(QStringLiteral("Cannot write file \"%1\". %2").arg(output, file.errorString()));
    return 0;
}

} // namespace

QString EscapeMenuName(const QString& name)
{
    QString escaped = name;
    return escaped.replace(QLatin1Char('/'), QLatin1String("//"));
}

bool IsCommandLineRun(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--list" || a == "--run" || a == "--help" || a == "--version" || a == "--output")
            return true;
    }
    return false;
}

int RunCommandLine(const QStringList& arguments)
{
    bool list = false, help = false, version = false;
    std::optional<QString> run, output;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--list"))
            list = true;
        else if (a == QLatin1String("--help"))
            help = true;
        else if (a == QLatin1String("--version"))
            version = true;
        else if ((a == QLatin1String("--run") || a == QLatin1String("--output")) && i + 1 < arguments.size())
            (a == QLatin1String("--run") ? run : output) = arguments[++i];
        else {
            err(QStringLiteral("unknown or incomplete option \"%1\"; see --help").arg(a));
            return 2;
        }
    }
    if (help) {
        out(QLatin1String(kHelp));
        return 0;
    }
    if (version) {
        out(QStringLiteral("%1 %2\n").arg(QLatin1String(QUILLORY_VERSION_PRODUCT_NAME),
                                          QLatin1String(QUILLORY_VERSION_FILE_VERSION)));
        return 0;
    }
    if (list == run.has_value() || (output && !run)) {
        err(QStringLiteral("give either --list or --run NAME; see --help"));
        return 2;
    }

    // Read only: the tray copy may be running and owns the files.
    const QString folder = platform::FavouritesFolder(QFileInfo(platform::ExecutablePath()).absolutePath());
    TdmQuillory store(folder, TdmQuillory::Mode::ReadOnly);
    for (const QString& error : store.startupErrors())
        err(error);
    const QList<MenuNode> tree = MenuEntries(store.folders(), store.queries(), 0, false);

    if (list) {
        walk(tree, QString(), [](const QString& name, int) { out(name + QLatin1Char('\n')); });
        std::fflush(stdout);
        return 0;
    }
    int queryId = 0;
    walk(tree, QString(), [&](const QString& name, int id) {
        if (!queryId && name == *run)
            queryId = id;
    });
    if (!queryId) {
        err(QStringLiteral("no saved query is named \"%1\"; --list shows the names").arg(*run));
        return 2;
    }
    try {
        return runQuery(store, queryId, output.value_or(QString()));
    } catch (const EQuilloryError& e) {
        err(e.message());
    } catch (const std::exception& e) {
        err(QString::fromUtf8(e.what()));
    }
    return 1;
}
