#pragma once

#include "uDbRows.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

// The storage of the row set's columns, shared by the rows and their builder (internal
// to the layer).

namespace dbrows {

// Values in chunks of 2^Shift, so that growing never copies what is there and the peak
// stays close to the final size. The first chunk starts small and doubles up to the
// full size, so that a one-row result does not take whole chunks per column.
template <typename T, int Shift, qsizetype FirstCapacity> class Chunks
{
public:
    static constexpr qsizetype kChunk = qsizetype(1) << Shift;

    qsizetype size() const { return m_size; }
    qsizetype bytes() const
    {
        if (m_chunks.empty())
            return 0;
        return (m_firstCapacity + qsizetype(m_chunks.size() - 1) * kChunk) * qsizetype(sizeof(T));
    }
    T at(qsizetype i) const { return m_chunks[size_t(i >> Shift)][i & (kChunk - 1)]; }
    T& ref(qsizetype i) { return m_chunks[size_t(i >> Shift)][i & (kChunk - 1)]; }
    const T* pointer(qsizetype i) const { return m_chunks[size_t(i >> Shift)].get() + (i & (kChunk - 1)); }

    void push(T value)
    {
        room();
        ref(m_size) = value;
        ++m_size;
    }
    // Appends count values, possibly across chunks.
    void append(const T* data, qsizetype count)
    {
        while (count > 0) {
            const qsizetype n = std::min(count, room());
            std::copy(data, data + n, &ref(m_size));
            data += n;
            count -= n;
            m_size += n;
        }
    }
    void clear()
    {
        m_chunks.clear();
        m_size = 0;
        m_firstCapacity = 0;
    }
    // Empty again, keeping the first chunk for the next values (streamed batches).
    void rewind()
    {
        if (m_chunks.size() > 1)
            m_chunks.resize(1);
        m_size = 0;
    }

private:
    // Makes room at the end; returns how many values fit before the chunk is full.
    qsizetype room()
    {
        const qsizetype in = m_size & (kChunk - 1);
        const size_t chunk = size_t(m_size >> Shift);
        if (chunk == 0) {
            if (m_size == m_firstCapacity) {
                const qsizetype capacity = std::min(kChunk, std::max(FirstCapacity, m_firstCapacity * 2));
                std::unique_ptr<T[]> grown(new T[size_t(capacity)]);
                if (!m_chunks.empty())
                    std::copy(m_chunks[0].get(), m_chunks[0].get() + m_size, grown.get());
                else
                    m_chunks.emplace_back();
                m_chunks[0] = std::move(grown);
                m_firstCapacity = capacity;
            }
            return m_firstCapacity - in;
        }
        if (chunk == m_chunks.size())
            m_chunks.emplace_back(new T[size_t(kChunk)]);
        return kChunk - in;
    }

    std::vector<std::unique_ptr<T[]>> m_chunks;
    qsizetype m_size = 0;
    qsizetype m_firstCapacity = 0;
};

template <typename T> using Chunked = Chunks<T, 14, 16>;

// Bytes of all text values of a column, back to back, in 1 MiB chunks; a value may
// span chunks (read back by copying) so no space is wasted at chunk ends.
class Arena : public Chunks<char, 20, 256>
{
public:
    // A pointer to the bytes when they lie in one chunk, else nullptr.
    const char* contiguous(qsizetype start, qsizetype length) const
    {
        if (length == 0)
            return "";
        if (((start + length - 1) >> 20) != (start >> 20))
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
    dbrows::Chunked<quint64> ends;  // end offset of each text value in the arena
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
        qsizetype start = row ? qsizetype(ends.at(row - 1)) : 0;
        qsizetype end = qsizetype(ends.at(row));
        return text.copy(start, end - start);
    }
    QString textAt(qsizetype row) const
    {
        qsizetype start = row ? qsizetype(ends.at(row - 1)) : 0;
        qsizetype len = qsizetype(ends.at(row)) - start;
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

