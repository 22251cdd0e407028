// The Access reader's decoding over any bytes, in-process, as the program uses it: the
// table list, then each table read and filled into an SQLite copy by the backend's own
// stream code. Whatever the reader sends must follow the answer's format and fill the
// copy with exactly the rows it sent. Faults inside libmdb itself (crashes and endless
// loops in its catalogue code) show up here too; the program meets those only through
// the reader process, where they become errors.
#include "fuzzSupport.h"
#include "uAccessReaderCore.h"
#include "uAccessReaderProtocol.h"
#include "uDbAccessStream.h"
#include "uDbBackends.h"
#include "uDbHandles.h"

#include <QFile>
#include <QTemporaryDir>

#include <string>

namespace {

// Runs one request; its answer's bytes, or false for one of the request's own errors.
bool request(const accessreader::TRequest& r, std::string& answer)
{
    answer.clear();
    accessreader::TFrameWriter out([&](const char* data, size_t size) {
        answer.append(data, size);
        return true;
    });
    const int code = accessreader::Run(r, out);
    fuzz::check(code == 0 || (code >= accessreader::ExitNotAccess && code <= accessreader::ExitBadTable),
                "an exit code that is no answer", QString::number(code));
    return code == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    fuzz::ensureApplication();
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.mdb"));
    {
        QFile f(path);
        fuzz::check(f.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the input file");
        f.write(reinterpret_cast<const char*>(bytes), qsizetype(size));
    }
    const std::string file = QFile::encodeName(path).toStdString();
    std::string answer;
    if (!request({accessreader::TRequest::List, file, {}}, answer))
        return 0;

    QStringList tables;
    bool ended = false;
    TAccessFrameSplitter list([&](char kind, const char* p, quint32 n) {
        fuzz::check(!ended, "a frame after the end of the list");
        if (kind == accessreader::FrameEnd)
            ended = true;
        else if (kind == accessreader::FrameTable)
            tables << ParseAccessTableName(p, n);
        else
            fuzz::fail("a frame of another kind in the list");
    });
    try {
        list.Feed(answer.data(), qsizetype(answer.size()));
    } catch (const EAccessAnswerMalformed& e) {
        fuzz::fail("the table list is malformed", e.message());
    }
    fuzz::check(ended && list.Idle(), "the table list has no end");

    for (const QString& table : tables.mid(0, 8)) {
        if (!request({accessreader::TRequest::Table, file, table.toStdString()}, answer))
            continue;
        sqlite3* handle = nullptr;
        sqlite3_open(":memory:", &handle);
        SqlitePtr db(handle);
        qint64 rows = 0;
        try {
            TAccessTableFill fill(db.get(), table);
            TAccessFrameSplitter split([&](char kind, const char* p, quint32 n) {
                rows += kind == accessreader::FrameRow;
                fill.Frame(kind, p, n);
            });
            split.Feed(answer.data(), qsizetype(answer.size()));
            fuzz::check(split.Idle(), "half a frame at the end");
            fill.Commit();
        } catch (const EAccessAnswerMalformed& e) {
            fuzz::fail("a table's answer is malformed", e.message());
        } catch (const EDbError&) {
            continue; // SQLite refused the copy (two columns of one name, say): an error, shown as such
        }
        const QByteArray count = ("SELECT count(*) FROM " + dbbackends::sqliteQuoted(table)).toUtf8();
        sqlite3_stmt* raw = nullptr;
        fuzz::check(sqlite3_prepare_v2(db.get(), count.constData(), -1, &raw, nullptr) == SQLITE_OK,
                    "the copied table cannot be read", table);
        SqliteStatementPtr st(raw);
        fuzz::check(sqlite3_step(st.get()) == SQLITE_ROW && sqlite3_column_int64(st.get(), 0) == rows,
                    "the copy does not hold the rows sent", table);
    }
    return 0;
}
