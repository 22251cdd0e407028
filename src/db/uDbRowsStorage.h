#pragma once

#include "uDbRows.h"
#include "uPageMemory.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

// The storage of the row set's columns, shared by the rows and their builder (internal
// to the layer).

namespace dbrows {

// Chunks take their memory straight from the system (uPageMemory.h), so that the rows
// of a closed window go back to it, and are this size whatever the value type.
constexpr qsizetype kChunkBytes = qsizetype(platform::kLargePageBytes);
// The first chunk starts small and doubles on the heap up to this size, so that a one-row
// result does not map whole chunks per column; past it the first chunk is a full one.
constexpr qsizetype kHeapChunkBytes = qsizetype(64) << 10;
// How far ahead the mapped first chunk's pages are written at most (see prepareFirst).
constexpr qsizetype kPrepareBytes = qsizetype(256) << 10;

constexpr int log2Of(qsizetype n)
{
    int shift = 0;
    while ((qsizetype(1) << shift) < n)
        ++shift;
    return shift;
}

// Values in chunks of kChunkBytes, so that growing never copies what is there and the
// peak stays close to the final size. A full chunk's pages are written only as values
// arrive, so its unused end is address space, not memory. Chunks after the first are
// advised for large pages: by then the column has proved long enough that filling them
// is likely, and one fault per 2 MiB instead of per 4 KiB makes a big fetch much cheaper.
template <typename T, qsizetype FirstCapacity> class Chunks
{
public:
    static constexpr int Shift = log2Of(kChunkBytes / qsizetype(sizeof(T)));
    static constexpr qsizetype kChunk = qsizetype(1) << Shift;
    static constexpr qsizetype kHeapCapacity = kHeapChunkBytes / qsizetype(sizeof(T));
    static_assert(kChunk * qsizetype(sizeof(T)) == kChunkBytes && FirstCapacity <= kHeapCapacity);

    Chunks() = default;
    ~Chunks() { clear(); }
    Chunks(const Chunks&) = delete;
    Chunks& operator=(const Chunks&) = delete;

    qsizetype size() const { return m_size; }
    // The memory the values take: the first chunk's capacity while it is on the heap or its
    // written pages once it is mapped, and whole large-page chunks.
    qsizetype bytes() const
    {
        if (m_chunks.empty())
            return 0;
        return m_prepared * qsizetype(sizeof(T)) + qsizetype(m_chunks.size() - 1) * kChunkBytes;
    }
    T at(qsizetype i) const { return m_chunks[size_t(i >> Shift)][i & (kChunk - 1)]; }
    T& ref(qsizetype i) { return m_chunks[size_t(i >> Shift)][i & (kChunk - 1)]; }
    const T* pointer(qsizetype i) const { return m_chunks[size_t(i >> Shift)] + (i & (kChunk - 1)); }

    void push(T value)
    {
        if (m_size == m_end)
            room();
        ref(m_size) = value;
        ++m_size;
    }
    // Appends count values, possibly across chunks.
    void append(const T* data, qsizetype count)
    {
        while (count > 0) {
            if (m_size == m_end)
                room();
            const qsizetype n = std::min(count, m_end - m_size);
            std::memcpy(&ref(m_size), data, size_t(n) * sizeof(T));
            data += n;
            count -= n;
            m_size += n;
        }
    }
    void clear()
    {
        for (size_t i = 0; i < m_chunks.size(); ++i)
            release(m_chunks[i], i == 0 ? m_firstCapacity : kChunk);
        m_chunks.clear();
        m_size = 0;
        m_end = 0;
        m_firstCapacity = 0;
        m_prepared = 0;
    }
    // Empty again, keeping the first chunk for the next values (streamed batches).
    void rewind()
    {
        while (m_chunks.size() > 1) {
            release(m_chunks.back(), kChunk);
            m_chunks.pop_back();
        }
        m_size = 0;
        m_end = m_prepared;
    }

private:
    // Makes room at the end (m_size reached m_end): m_end moves on to the end of the room
    // now ready in the chunk that m_size lies in.
    void room()
    {
        const size_t chunk = size_t(m_size >> Shift);
        if (chunk == 0 && m_size < m_prepared) {
            m_end = m_prepared; // after a rewind
        } else if (chunk == 0 && m_firstCapacity == kChunk) {
            prepareFirst();
        } else if (chunk == 0) {
            // Doubles on the heap, then becomes a full mapped chunk.
            qsizetype capacity = m_firstCapacity ? m_firstCapacity * 2 : FirstCapacity;
            if (capacity > kHeapCapacity)
                capacity = kChunk;
            if (m_chunks.empty())
                m_chunks.reserve(1);
            T* grown = allocate(capacity, false);
            if (capacity == kChunk) {
                // Ready for the values copied and as many again.
                platform::PreparePages(grown, size_t(2 * m_size) * sizeof(T));
                m_prepared = 2 * m_size;
            }
            if (!m_chunks.empty()) {
                std::memcpy(grown, m_chunks[0], size_t(m_size) * sizeof(T));
                release(m_chunks[0], m_firstCapacity);
                m_chunks[0] = grown;
            } else {
                m_chunks.push_back(grown);
            }
            m_firstCapacity = capacity;
            if (capacity < kChunk)
                m_prepared = capacity;
            m_end = m_prepared;
        } else {
            if (chunk == m_chunks.size()) {
                m_chunks.reserve(m_chunks.size() + 1); // so that the push cannot throw
                m_chunks.push_back(allocate(kChunk, true));
            }
            m_end = qsizetype(chunk + 1) << Shift;
        }
    }
    // The mapped first chunk's pages are written ahead in steps as large as what it holds
    // (up to kPrepareBytes): one call for many pages instead of a fault for each, which is
    // most of the cost of a fetch wider than a few columns.
    void prepareFirst()
    {
        const qsizetype step = std::clamp(m_prepared, kHeapCapacity, kPrepareBytes / qsizetype(sizeof(T)));
        const qsizetype end = std::min(kChunk, m_prepared + step);
        platform::PreparePages(m_chunks[0] + m_prepared, size_t(end - m_prepared) * sizeof(T));
        m_end = m_prepared = end;
    }
    static T* allocate(qsizetype capacity, bool large)
    {
        if (capacity < kChunk)
            return new T[size_t(capacity)];
        return static_cast<T*>(platform::AllocatePages(size_t(kChunkBytes), large));
    }
    static void release(T* chunk, qsizetype capacity)
    {
        if (capacity < kChunk)
            delete[] chunk;
        else
            platform::FreePages(chunk, size_t(kChunkBytes));
    }

    std::vector<T*> m_chunks;
    qsizetype m_size = 0;
    qsizetype m_end = 0; // where the chunk that takes the next value ends
    qsizetype m_firstCapacity = 0;
    qsizetype m_prepared = 0; // values of the first chunk ready to be written
};

template <typename T> using Chunked = Chunks<T, 16>;

// Bytes of all text values of a column, back to back; a value may span chunks (read back
// by copying) so no space is wasted at chunk ends.
class Arena : public Chunks<char, 256>
{
public:
    // A pointer to the bytes when they lie in one chunk, else nullptr.
    const char* contiguous(qsizetype start, qsizetype length) const
    {
        if (length == 0)
            return "";
        if (((start + length - 1) >> Shift) != (start >> Shift))
            return nullptr;
        return pointer(start);
    }
    QByteArray copy(qsizetype start, qsizetype length) const
    {
        QByteArray out(length, Qt::Uninitialized);
        char* dst = out.data();
        while (length > 0) {
            const qsizetype n = std::min(length, kChunk - (start & (kChunk - 1)));
            std::memcpy(dst, pointer(start), size_t(n));
            dst += n;
            start += n;
            length -= n;
        }
        return out;
    }
};

// The end offsets of a column's text values in its arena, about 2 bytes each: rows go in
// blocks of 64, each block with the offset where it starts and every row with its end
// relative to that start in 16 bits. A block whose text passes 64 KiB (values averaging
// over 1 KiB, where 8 bytes more per value do not matter) keeps its rows' whole offsets
// in a side table instead; its start then says where they are.
class TextEnds
{
public:
    static constexpr int kBlockShift = 6;
    static constexpr qsizetype kBlock = qsizetype(1) << kBlockShift;

    qsizetype size() const { return m_size; }
    qsizetype bytes() const { return m_starts.bytes() + m_relative.bytes() + m_whole.bytes(); }
    quint64 at(qsizetype i) const
    {
        const quint64 start = m_starts.at(i >> kBlockShift);
        if (start & kWide) [[unlikely]]
            return m_whole.at(qsizetype(start & ~kWide) * kBlock + (i & (kBlock - 1)));
        return start + m_relative.at(i);
    }
    // Where value i starts and ends (the end of the one before and its own), reading the
    // block's start once.
    void range(qsizetype i, quint64& start, quint64& end) const
    {
        const quint64 block = m_starts.at(i >> kBlockShift);
        if (block & kWide) [[unlikely]] {
            start = i ? at(i - 1) : 0;
            end = at(i);
            return;
        }
        const qsizetype inBlock = i & (kBlock - 1);
        start = block + (inBlock ? m_relative.at(i - 1) : 0);
        end = block + m_relative.at(i);
    }
    void push(quint64 end)
    {
        const qsizetype inBlock = m_size & (kBlock - 1);
        if (inBlock == 0)
            m_starts.push(m_last);
        quint64& start = m_starts.ref(m_size >> kBlockShift);
        if (!(start & kWide) && end - start > 0xFFFF) [[unlikely]]
            widen(start, inBlock);
        if (start & kWide) [[unlikely]] {
            m_whole.ref(qsizetype(start & ~kWide) * kBlock + inBlock) = end;
            m_relative.push(0);
        } else {
            m_relative.push(quint16(end - start));
        }
        m_last = end;
        ++m_size;
    }
    void rewind()
    {
        m_starts.rewind();
        m_relative.rewind();
        m_whole.rewind();
        m_size = 0;
        m_last = 0;
    }

private:
    static constexpr quint64 kWide = quint64(1) << 63;

    // The block's rows so far move to whole offsets in a block of the side table.
    void widen(quint64& start, qsizetype rowsBefore)
    {
        const qsizetype index = m_whole.size() / kBlock;
        const qsizetype first = m_size - rowsBefore;
        for (qsizetype k = 0; k < kBlock; ++k)
            m_whole.push(k < rowsBefore ? start + m_relative.at(first + k) : 0);
        start = kWide | quint64(index);
    }

    Chunked<quint64> m_starts;   // per block: its start, or kWide | its block in m_whole
    Chunked<quint16> m_relative; // per row: its end less its block's start
    Chunked<quint64> m_whole;    // whole ends of the rows of wide blocks
    qsizetype m_size = 0;
    quint64 m_last = 0; // the last end pushed: where the next block starts
};

enum class Storage
{
    Int,
    Real,
    Text
};

inline Storage storageOf(TDbFieldType type)
{
    switch (type) {
    case TDbFieldType::Integer:
    case TDbFieldType::Boolean:
    case TDbFieldType::Currency:
    case TDbFieldType::Date:
    case TDbFieldType::Time:
    case TDbFieldType::DateTime:
        return Storage::Int;
    case TDbFieldType::Float:
    case TDbFieldType::Single:
        return Storage::Real;
    default:
        return Storage::Text;
    }
}

// Money as decimal text, trailing zeros dropped ("12.5", "-3"); "." as the point.
QString formatCurrency(qint64 tenThousandths);

} // namespace dbrows

struct TDbRows::Column
{
    using Storage = dbrows::Storage;

    TDbFieldType type = TDbFieldType::Unknown;
    Storage storage = Storage::Text;
    dbrows::Chunked<qint64> ints;
    dbrows::Chunked<double> reals;
    dbrows::Arena text;
    dbrows::TextEnds ends; // end offset of each text value in the arena
    dbrows::Chunked<quint64> nulls; // one bit per row
    qsizetype count = 0;
    bool anyNull = false;

    void markNull(bool isNull)
    {
        if ((count & 63) == 0)
            nulls.push(0);
        if (isNull) {
            nulls.ref(count >> 6) |= quint64(1) << (count & 63);
            anyNull = true;
        }
    }
    bool isNull(qsizetype row) const { return anyNull && (nulls.at(row >> 6) >> (row & 63)) & 1; }
    QByteArray bytesAt(qsizetype row) const
    {
        quint64 start = 0, end = 0;
        ends.range(row, start, end);
        return text.copy(qsizetype(start), qsizetype(end - start));
    }
    QString textAt(qsizetype row) const
    {
        quint64 from = 0, to = 0;
        ends.range(row, from, to);
        const qsizetype start = qsizetype(from);
        const qsizetype len = qsizetype(to - from);
        if (const char* p = text.contiguous(start, len))
            return QString::fromUtf8(p, len);
        return QString::fromUtf8(text.copy(start, len));
    }
    // One value more: null, or one of the column's storage.
    void pushNull()
    {
        markNull(true);
        switch (storage) {
        case Storage::Int:
            ints.push(0);
            break;
        case Storage::Real:
            reals.push(0);
            break;
        case Storage::Text:
            ends.push(quint64(text.size()));
            break;
        }
        ++count;
    }
    void pushInt(qint64 value)
    {
        markNull(false);
        ints.push(value);
        ++count;
    }
    void pushReal(double value)
    {
        markNull(false);
        reals.push(value);
        ++count;
    }
    void pushText(const char* utf8, qsizetype length)
    {
        markNull(false);
        text.append(utf8, length);
        ends.push(quint64(text.size()));
        ++count;
    }
    qsizetype memory() const
    {
        return ints.bytes() + reals.bytes() + text.bytes() + ends.bytes() + nulls.bytes();
    }
    void rewind()
    {
        ints.rewind();
        reals.rewind();
        text.rewind();
        ends.rewind();
        nulls.rewind();
        count = 0;
        anyNull = false;
    }
};

