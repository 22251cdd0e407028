// The favourites store over any queries.xml: a file that fails to load stays byte for
// byte as it was and its table refuses changes; one that loads is written back readable
// (the same records) and private to its owner.
#include "datModQuillory.h"
#include "fuzzSupport.h"
#include "uStoreError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString describe(const QList<QueryRecord>& list)
{
    QString out;
    for (const QueryRecord& q : list)
        out += QString::number(q.ID) + '|' + q.Name() + '|' + q.ModifiedDate().toString(Qt::ISODateWithMs) + '|' +
               q.ConnectString() + '|' + q.QueryString() + '|' + q.DiagramDesign() + '|' +
               QString::number(q.DiagramDesignNull()) + '|' + q.LastUsedDate().toString(Qt::ISODateWithMs) + '|' +
               QString::number(q.parentID) + '\n';
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    fuzz::ensureApplication();
    static QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("queries.xml"));
    QFile::remove(dir.filePath(QStringLiteral("folders.xml")));
    const QByteArray data(reinterpret_cast<const char*>(bytes), qsizetype(size));
    {
        QFile f(file);
        fuzz::check(f.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the input file");
        f.write(data);
    }
    QString loaded;
    {
        TdmQuillory store(dir.path());
        if (store.isLocked(TdmQuillory::Table::cdsQuery)) {
            fuzz::check(!store.startupErrors().isEmpty(), "a refused file gives no error");
            bool refused = false;
            try {
                store.AddQuery(0, QStringLiteral("new"), QStringLiteral("SELECT 1"), QStringLiteral("x"));
            } catch (const EStoreError&) {
                refused = true;
            }
            fuzz::check(refused, "a change to an unreadable file was accepted");
            try {
                store.writeAll();
            } catch (const EStoreError&) {
            }
            fuzz::check(readAll(file) == data, "an unreadable file was changed");
            return 0;
        }
        loaded = describe(store.queries());
        // Each record's row, taken over from the file or encoded at the start, is what
        // encoding its values again gives.
        for (const QueryRecord& q : store.queries()) {
            const datapacket::EncodedRow afresh = TdmQuillory::encodeRecord(q);
            fuzz::check(afresh.bytes == q.row.bytes && afresh.textLengths == q.row.textLengths,
                        "a record's row is not what its values encode to", QString::fromUtf8(q.row.bytes));
        }
        // Gone behind the store's back, the file is written again at the store's end.
        QFile::remove(file);
    }
    // The store wrote the file at its end; it reads back as the same records.
    fuzz::check(readAll(file).size() > 0, "the written file is empty");
    struct stat st
    {
    };
    fuzz::check(stat(QFile::encodeName(file).constData(), &st) == 0 && (st.st_mode & 0777) == 0600,
                "queries.xml is not private to its owner");
    TdmQuillory again(dir.path());
    fuzz::check(again.startupErrors().isEmpty(), "the written file does not load",
                again.startupErrors().join('\n'));
    fuzz::check(describe(again.queries()) == loaded, "records changed through a write", loaded);
    return 0;
}
