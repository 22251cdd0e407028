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

// The answer's bytes, as the reader process would send them.
struct Answer
{
    std::string bytes;
    accessreader::TFrameWriter out{[this](const char* data, size_t size) {
        bytes.append(data, size);
        return true;
    }};

    const std::string& take()
    {
        out.Finish();
        return bytes;
    }
};

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
    // One session for the list and every table, as the reader process serves them.
    accessreader::TReaderSession session;
    const int opened = session.Open(QFile::encodeName(path).toStdString());
    fuzz::check(opened == 0 || opened == accessreader::ExitNotAccess || opened == accessreader::ExitNoCatalog,
                "an open that is no answer", QString::number(opened));
    if (opened != 0)
        return 0;
    Answer listed;
    session.WriteList(listed.out);
    const std::string& answer = listed.take();

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
        Answer read;
        const int code = session.WriteTable(table.toStdString(), true, read.out);
        fuzz::check(code == 0 || code == accessreader::ExitNoSuchTable || code == accessreader::ExitBadTable,
                    "a table read that is no answer", QString::number(code));
        if (code != 0)
            continue;
        const std::string& rowsAnswer = read.take();
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
            split.Feed(rowsAnswer.data(), qsizetype(rowsAnswer.size()));
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
