// The favourites packet reader over any bytes: it either refuses them with an error or
// gives rows that the writer writes and the reader reads back as the same rows.
#include "datModQuillory.h"
#include "fuzzSupport.h"
#include "uDataPacket.h"
#include "uStoreError.h"

using namespace datapacket;

namespace {

void roundTrip(const QByteArray& data, const QList<Column>& columns)
{
    QList<Row> rows;
    try {
        rows = readPacket(data, columns);
    } catch (const EStoreError&) {
        return;
    }
    const QByteArray written = writePacket(columns, rows);
    QList<Row> again;
    try {
        again = readPacket(written, columns);
    } catch (const EStoreError& e) {
        fuzz::fail("a written packet does not read back", e.message());
    }
    fuzz::check(again.size() == rows.size(), "row count changed");
    for (qsizetype r = 0; r < rows.size(); ++r)
        for (qsizetype c = 0; c < columns.size(); ++c) {
            const QVariant& a = rows[r][c];
            const QVariant& b = again[r][c];
            const bool same = a.isValid() == b.isValid() && (!a.isValid() || a == b);
            fuzz::check(same, "a value changed in the round trip",
                        QStringLiteral("row %1 column %2: %3 / %4").arg(r).arg(c).arg(a.toString(), b.toString()));
        }
    fuzz::check(writePacket(columns, again) == written, "writing the re-read rows gives other bytes");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    fuzz::ensureApplication();
    const QByteArray data(reinterpret_cast<const char*>(bytes), qsizetype(size));
    try {
        const Packet p = parsePacket(data);
        for (const PacketRow& row : p.rows)
            fuzz::check(row.values.size() == p.fields.size(), "a row has the wrong number of values");
    } catch (const EStoreError&) {
    }
    roundTrip(data, TdmQuillory::folderColumns());
    roundTrip(data, TdmQuillory::queryColumns());
    return 0;
}
