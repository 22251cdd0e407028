#include "uAccessReaderCore.h"
#include "uAccessReaderProtocol.h"

#include <mdbtools.h>

#include <cstring>
#include <memory>
#include <unordered_set>
#include <vector>

#include <sys/stat.h>

namespace accessreader {

void TFrameWriter::Begin(char kind)
{
    m_frameStart = m_buf.size();
    m_buf.push_back(kind);
    m_buf.append(4, '\0');
}

void TFrameWriter::U32(uint32_t v)
{
    char b[4];
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (8 * i));
    m_buf.append(b, 4);
}

void TFrameWriter::I64(int64_t v)
{
    char b[8];
    const auto u = uint64_t(v);
    for (int i = 0; i < 8; ++i)
        b[i] = char(u >> (8 * i));
    m_buf.append(b, 8);
}

void TFrameWriter::F64(double v)
{
    int64_t bits = 0;
    std::memcpy(&bits, &v, 8);
    I64(bits);
}

void TFrameWriter::Bytes(const void* data, size_t size)
{
    U32(uint32_t(size));
    m_buf.append(static_cast<const char*>(data), size);
}

void TFrameWriter::End()
{
    const auto size = uint32_t(m_buf.size() - m_frameStart - 5);
    for (int i = 0; i < 4; ++i)
        m_buf[m_frameStart + 1 + i] = char(size >> (8 * i));
    // Pieces about the size of a pipe's buffer: the program fills its copy from one
    // while the next is decoded.
    if (m_buf.size() >= (64u << 10)) {
        if (!m_failed && !m_flush(m_buf.data(), m_buf.size()))
            m_failed = true;
        m_buf.clear();
    }
    m_frameStart = m_buf.size();
}

bool TFrameWriter::Finish()
{
    if (!m_failed && !m_buf.empty() && !m_flush(m_buf.data(), m_buf.size()))
        m_failed = true;
    m_buf.clear();
    return !m_failed;
}

namespace {

struct MdbClose
{
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableFree
{
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using MdbPtr = std::unique_ptr<MdbHandle, MdbClose>;
using TablePtr = std::unique_ptr<MdbTableDef, TableFree>;

uint32_t le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint64_t le64(const unsigned char* p)
{
    return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32;
}

double leDouble(const unsigned char* p)
{
    const uint64_t bits = le64(p);
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

float leFloat(const unsigned char* p)
{
    const uint32_t bits = le32(p);
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

TAccessColumnKind kindOf(int mdbType)
{
    switch (mdbType) {
    case MDB_BOOL: return KindBool;
    case MDB_BYTE: return KindByte;
    case MDB_INT: return KindInt;
    case MDB_LONGINT: return KindLong;
    case MDB_MONEY: return KindMoney;
    case MDB_FLOAT: return KindFloat;
    case MDB_DOUBLE: return KindDouble;
    case MDB_DATETIME: return KindDateTime;
    case MDB_BINARY: return KindBinary;
    case MDB_TEXT: return KindText;
    case MDB_OLE: return KindOle;
    case MDB_MEMO: return KindMemo;
    case MDB_REPID: return KindGuid;
    case MDB_NUMERIC: return KindNumeric;
    case MDB_COMPLEX: return KindComplex;
    default: return KindOther;
    }
}

MdbColumn* column(MdbTableDef* table, unsigned i)
{
    return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
}

// Writes one table's rows, straight from its pages. A value that cannot be read goes
// out as unreadable; the program shows it as null with a warning.
class RowWriter
{
public:
    RowWriter(MdbHandle* mdb, MdbTableDef* table, TFrameWriter& out) : m_mdb(mdb), m_table(table), m_out(out) {}

    void Write()
    {
        const unsigned columns = m_table->num_cols;
        std::vector<MdbField> fields(columns);
        mdb_rewind_table(m_table);
        while (mdb_read_next_dpg(m_table)) {
            const int rows = mdb_get_int16(m_mdb->pg_buf, m_mdb->fmt->row_count_offset);
            for (int r = 0; r < rows; ++r) {
                int start = 0;
                size_t size = 0;
                if (mdb_find_row(m_mdb, r, &start, &size) == -1 || size == 0)
                    continue;
                if (start & 0x4000) // deleted
                    continue;
                start &= 0x1fff;
                if (mdb_crack_row(m_table, start, size, fields.data()) < 0)
                    continue;
                // The fields come in the row's order; the frame holds them in column order.
                std::vector<const MdbField*> byColumn(columns, nullptr);
                for (unsigned i = 0; i < columns; ++i)
                    if (unsigned(fields[i].colnum) < columns)
                        byColumn[fields[i].colnum] = &fields[i];
                m_out.Begin(FrameRow);
                for (unsigned c = 0; c < columns; ++c) {
                    if (!byColumn[c] || !value(*column(m_table, c), *byColumn[c]))
                        m_out.U8(ValueUnreadable);
                }
                m_out.End();
            }
        }
    }

private:
    // Writes one value; false when it cannot be read (nothing written then).
    bool value(const MdbColumn& col, const MdbField& f)
    {
        if (col.col_type == MDB_BOOL) { // the null bit holds the value
            m_out.U8(ValueInt);
            m_out.I64(f.is_null ? 0 : -1);
            return true;
        }
        if (f.is_null) {
            m_out.U8(ValueNull);
            return true;
        }
        // A damaged row can give a value that starts past the page or has a negative size
        // (its offsets decrease): nothing of it is read.
        if (f.start < 0 || f.siz < 0 || int64_t(f.start) + f.siz > int64_t(m_mdb->fmt->pg_size))
            return false;
        const unsigned char* p = m_mdb->pg_buf + f.start;
        const int n = f.siz;
        auto integer = [&](int bytes, int64_t v) {
            if (n < bytes)
                return false;
            m_out.U8(ValueInt);
            m_out.I64(v);
            return true;
        };
        auto real = [&](int bytes, unsigned char tag, double v) {
            if (n < bytes)
                return false;
            m_out.U8(tag);
            m_out.F64(v);
            return true;
        };
        switch (col.col_type) {
        case MDB_BYTE:
            return integer(1, n >= 1 ? p[0] : 0);
        case MDB_INT:
            return integer(2, n >= 2 ? int16_t(uint16_t(p[0] | p[1] << 8)) : 0);
        case MDB_LONGINT:
        case MDB_COMPLEX:
            return integer(4, n >= 4 ? int32_t(le32(p)) : 0);
        case MDB_MONEY:
            // Ten-thousandths as an exact integer; as a double it reads back exactly for
            // any amount below 900 billion, which the rows turn into exact currency again.
            return real(8, ValueDouble, n >= 8 ? double(int64_t(le64(p))) / 10000.0 : 0);
        case MDB_FLOAT:
            return real(4, ValueDouble, n >= 4 ? double(leFloat(p)) : 0);
        case MDB_DOUBLE:
            return real(8, ValueDouble, n >= 8 ? leDouble(p) : 0);
        case MDB_DATETIME:
            return real(8, ValueDate, n >= 8 ? leDouble(p) : 0);
        case MDB_TEXT:
            m_out.U8(ValueRawText);
            m_out.Bytes(p, size_t(n));
            return true;
        case MDB_MEMO:
        case MDB_OLE: {
            std::string bytes;
            if (!readLong(p, n, bytes))
                return false;
            m_out.U8(col.col_type == MDB_MEMO ? ValueRawText : ValueBlob);
            m_out.Bytes(bytes.data(), bytes.size());
            return true;
        }
        case MDB_BINARY:
            m_out.U8(ValueBlob);
            m_out.Bytes(p, size_t(n));
            return true;
        case MDB_REPID: {
            if (n < 16)
                return false;
            // Braces around the usual 8-4-4-4-12 digits, as Access shows them.
            char* text = mdb_uuid_to_string_fmt(m_mdb->pg_buf, f.start, MDB_NOBRACES_4_2_2_2_6);
            const std::string guid = '{' + std::string(text) + '}';
            g_free(text);
            m_out.U8(ValueUtf8);
            m_out.Bytes(guid.data(), guid.size());
            return true;
        }
        case MDB_NUMERIC: {
            if (n < 17)
                return false;
            char* text = mdb_numeric_to_string(m_mdb, f.start, col.col_scale, col.col_prec);
            if (!text)
                return false;
            m_out.U8(ValueUtf8);
            m_out.Bytes(text, std::strlen(text));
            g_free(text);
            return true;
        }
        default:
            return false;
        }
    }

    // A memo or OLE value: a 12-byte head (length and flags, then where the data is)
    // followed by the data itself, or pointing to one long-value page or a chain of them.
    bool readLong(const unsigned char* p, int size, std::string& out)
    {
        if (size < MDB_MEMO_OVERHEAD)
            return size == 0;
        const uint32_t head = le32(p);
        const uint32_t length = head & 0x3FFFFFFF;
        if (head & 0x80000000) { // in the row
            out.assign(reinterpret_cast<const char*>(p) + MDB_MEMO_OVERHEAD, size_t(size - MDB_MEMO_OVERHEAD));
            return fits(out.size());
        }
        auto pgRow = int32_t(le32(p + 4));
        void* buf = nullptr;
        int start = 0;
        size_t len = 0;
        if (head & 0x40000000) { // one long-value page
            if (!findPiece(pgRow, buf, start, len))
                return false;
            out.assign(static_cast<const char*>(buf) + start, len);
            return fits(out.size());
        }
        if (head & 0xC0000000)
            return false;
        // The length comes from the file: a value cannot be longer than the file holds,
        // nor than a row may carry.
        if (int64_t(length) > fileSize() || !fits(length))
            return false;
        out.reserve(length);
        // A chain: each piece starts with the page and row of the next one. A piece seen
        // before means the chain loops; a damaged file must not keep the reader going.
        std::unordered_set<int32_t> seen;
        while (pgRow != 0) {
            if (!seen.insert(pgRow).second || !findPiece(pgRow, buf, start, len) || len < 4)
                return false;
            const auto* piece = static_cast<const unsigned char*>(buf) + start;
            out.append(reinterpret_cast<const char*>(piece) + 4, len - 4);
            pgRow = int32_t(le32(piece));
            if (out.size() >= length)
                break;
        }
        if (out.size() < length)
            return false;
        out.resize(length);
        return true;
    }

    bool fits(size_t bytes) const { return m_out.FrameSize() + bytes <= kMaxRowBytes; }

    // One piece of a long value, checked to lie inside its page.
    bool findPiece(int32_t pgRow, void*& buf, int& start, size_t& len)
    {
        if (mdb_find_pg_row(m_mdb, pgRow, &buf, &start, &len) != 0)
            return false;
        return start >= 0 && int64_t(start) + int64_t(len) <= int64_t(m_mdb->fmt->pg_size);
    }

    int64_t fileSize()
    {
        if (m_fileSize < 0) {
            struct stat st {};
            m_fileSize = fstat(fileno(m_mdb->f->stream), &st) == 0 ? int64_t(st.st_size) : 0;
        }
        return m_fileSize;
    }

    MdbHandle* m_mdb;
    MdbTableDef* m_table;
    TFrameWriter& m_out;
    int64_t m_fileSize = -1;
};

void writeHead(MdbHandle* mdb, MdbTableDef* table, TFrameWriter& out)
{
    out.Begin(FrameHead);
    out.U8(mdb->f->jet_version == MDB_VER_JET3 ? 1 : 0);
    out.U32(table->num_cols);
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const MdbColumn* col = column(table, i);
        out.U8(kindOf(col->col_type));
        out.U32(uint32_t(col->col_size));
        out.U8(col->col_prec);
        out.U8(col->col_scale);
        out.Bytes(col->name, std::strlen(col->name));
    }
    out.End();
}

} // namespace

struct TReaderSession::Data
{
    MdbPtr mdb;
    std::vector<MdbCatalogEntry*> tables; // user tables, in the file's order
};

TReaderSession::TReaderSession() : m_d(new Data) {}

TReaderSession::~TReaderSession()
{
    delete m_d;
}

int TReaderSession::Open(const std::string& file, const std::function<void()>& afterOpen)
{
    m_d->mdb.reset(mdb_open(file.c_str(), MDB_NOFLAGS));
    if (afterOpen)
        afterOpen();
    if (!m_d->mdb)
        return ExitNotAccess;
    // The catalogue stays with the handle (libmdb frees it on close).
    GPtrArray* catalog = mdb_read_catalog(m_d->mdb.get(), MDB_TABLE);
    if (!catalog)
        return ExitNoCatalog;
    for (guint i = 0; i < catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        // A damaged catalogue can hold an entry without a name: no statement can name
        // it, and listing it would make the whole answer unreadable.
        if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry) && entry->object_name[0] != '\0')
            m_d->tables.push_back(entry);
    }
    return 0;
}

void TReaderSession::WriteList(TFrameWriter& out)
{
    for (MdbCatalogEntry* entry : m_d->tables) {
        out.Begin(FrameTable);
        out.Bytes(entry->object_name, std::strlen(entry->object_name));
        out.End();
    }
    out.Begin(FrameEnd);
    out.End();
}

int TReaderSession::WriteTable(const std::string& name, bool rows, TFrameWriter& out)
{
    MdbCatalogEntry* found = nullptr;
    for (MdbCatalogEntry* entry : m_d->tables)
        if (name == entry->object_name) {
            found = entry;
            break;
        }
    if (!found)
        return ExitNoSuchTable;
    TablePtr table(mdb_read_table(found));
    // A damaged definition can list no columns: no table can be made of it.
    if (!table || !mdb_read_columns(table.get()) || table->num_cols == 0)
        return ExitBadTable;
    writeHead(m_d->mdb.get(), table.get(), out);
    if (rows)
        RowWriter(m_d->mdb.get(), table.get(), out).Write();
    out.Begin(FrameEnd);
    out.End();
    return 0;
}

int Run(const TRequest& request, TFrameWriter& out, const std::function<void()>& afterOpen)
{
    TReaderSession session;
    int code = session.Open(request.file, afterOpen);
    if (code == 0 && request.kind == TRequest::List)
        session.WriteList(out);
    else if (code == 0)
        code = session.WriteTable(request.table, request.kind == TRequest::Table, out);
    if (code != 0)
        return code;
    return out.Finish() ? 0 : ExitOutputGone;
}

} // namespace accessreader
