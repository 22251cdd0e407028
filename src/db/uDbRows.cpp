#include "uDbRows.h"

#include "uDbError.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

constexpr qint64 kMsecsPerDay = 86400000;

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

Storage storageOf(TDbFieldType type)
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

qint64 encodeDateTime(const QDateTime& dt)
{
    return dt.date().toJulianDay() * kMsecsPerDay + dt.time().msecsSinceStartOfDay();
}

// The Julian day of an encoded date-time, without a QDateTime: building one in local time
// consults the time zone (a stat of /etc/localtime) for every value.
qint64 dayOf(qint64 v)
{
    return v >= 0 ? v / kMsecsPerDay : -((-v + kMsecsPerDay - 1) / kMsecsPerDay);
}

QDateTime decodeDateTime(qint64 v)
{
    qint64 day = dayOf(v);
    qint64 ms = v - day * kMsecsPerDay;
    return QDateTime(QDate::fromJulianDay(day), QTime::fromMSecsSinceStartOfDay(int(ms)));
}

QString longTimeFormat(const QLocale& locale)
{
    // A time-only value has no zone: drop the zone token of the long format.
    QString f = locale.timeFormat(QLocale::LongFormat);
    f.remove(QLatin1Char('t'));
    return f.trimmed();
}

QString withDecimalPoint(QString text, const QLocale& locale)
{
    QString point = locale.decimalPoint();
    if (point != QLatin1String("."))
        text.replace(QLatin1Char('.'), point);
    return text;
}

QString formatFloat(double v, const QLocale& locale)
{
    return withDecimalPoint(QString::number(v, 'g', 15), locale);
}

} // namespace

double ShortestSingle(double value)
{
    if (!std::isfinite(value))
        return value;
    // to_chars gives the shortest digits that read back as the same float; read as a
    // double they carry no digits of the float's binary noise.
    char digits[32];
    const auto written = std::to_chars(digits, digits + sizeof digits, float(value));
    double shortest = value;
    std::from_chars(digits, written.ptr, shortest);
    return shortest;
}

namespace {

// Decimal digits without trailing zeros after the point ("12.3400" → "12.34", "5.0" → "5").
QString trimDecimal(QString digits)
{
    if (digits.contains(QLatin1Char('.')) && !digits.contains(QLatin1Char('e')) &&
        !digits.contains(QLatin1Char('E'))) {
        while (digits.endsWith(QLatin1Char('0')))
            digits.chop(1);
        if (digits.endsWith(QLatin1Char('.')))
            digits.chop(1);
    }
    return digits;
}

QString formatCurrency(qint64 v)
{
    bool neg = v < 0;
    quint64 a = neg ? quint64(0) - quint64(v) : quint64(v);
    QString s = QString::number(a / 10000);
    quint64 frac = a % 10000;
    if (frac) {
        s += QLatin1Char('.') + QStringLiteral("%1").arg(frac, 4, 10, QLatin1Char('0'));
        s = trimDecimal(s);
    }
    return neg ? QLatin1Char('-') + s : s;
}

// ISO text of a time or date-time, milliseconds only when there are any.
QByteArray isoText(const QTime& t)
{
    return t.toString(t.msec() ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss")).toLatin1();
}

QByteArray isoText(const QDateTime& dt)
{
    return dt.date().toString(Qt::ISODate).toLatin1() + ' ' + isoText(dt.time());
}

inline int digit(char c)
{
    return (c >= '0' && c <= '9') ? c - '0' : -1;
}

// Reads exactly count digits.
bool readDigits(const char*& p, const char* end, int count, int& out)
{
    if (end - p < count)
        return false;
    int v = 0;
    for (int i = 0; i < count; ++i) {
        int d = digit(p[i]);
        if (d < 0)
            return false;
        v = v * 10 + d;
    }
    out = v;
    p += count;
    return true;
}

// "HH:MM[:SS[.fff…]]" followed by an optional zone ("Z", "+02", "-05:30") that is
// dropped: the layer keeps wall-clock time.
bool readTime(const char*& p, const char* end, int& msecs)
{
    int h, m, sec = 0, ms = 0;
    if (!readDigits(p, end, 2, h) || p == end || *p != ':')
        return false;
    ++p;
    if (!readDigits(p, end, 2, m))
        return false;
    if (p != end && *p == ':') {
        ++p;
        if (!readDigits(p, end, 2, sec))
            return false;
        if (p != end && (*p == '.' || *p == ',')) {
            ++p;
            int scale = 100, n = 0;
            while (p != end && digit(*p) >= 0) {
                ms += digit(*p) * scale;
                scale /= 10;
                ++p;
                ++n;
            }
            if (n == 0)
                return false;
        }
    }
    if (p != end && (*p == 'Z' || *p == '+' || *p == '-')) {
        ++p;
        while (p != end && (digit(*p) >= 0 || *p == ':'))
            ++p;
    }
    while (p != end && *p == ' ')
        ++p;
    if (p != end || !QTime::isValid(h, m, sec, ms))
        return false;
    msecs = ((h * 60 + m) * 60 + sec) * 1000 + ms;
    return true;
}

// ISO date or date-time text as SQLite and the engines' text forms write it:
// "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fff]]", "T" in place of the blank, a zone suffix.
// Returns 0 when it is neither, 1 for a date, 2 for a date with a time of day.
int parseIsoBytes(const char* p, qsizetype length, qint64& julianDay, int& msecs)
{
    const char* end = p + length;
    while (p != end && *p == ' ')
        ++p;
    int y, mo, d;
    if (!readDigits(p, end, 4, y) || p == end || *p != '-')
        return 0;
    ++p;
    if (!readDigits(p, end, 2, mo) || p == end || *p != '-')
        return 0;
    ++p;
    if (!readDigits(p, end, 2, d) || !QDate::isValid(y, mo, d))
        return 0;
    julianDay = QDate(y, mo, d).toJulianDay();
    msecs = 0;
    while (p != end && *p == ' ' && (end - p < 2 || digit(p[1]) < 0))
        ++p;
    if (p == end)
        return 1;
    if (*p != ' ' && *p != 'T')
        return 0;
    ++p;
    return readTime(p, end, msecs) ? 2 : 0;
}

bool parseTimeBytes(const char* p, qsizetype length, int& msecs)
{
    const char* end = p + length;
    while (p != end && *p == ' ')
        ++p;
    return readTime(p, end, msecs);
}

} // namespace

struct TDbRows::Column
{
    TDbFieldType type = TDbFieldType::Unknown;
    Storage storage = Storage::Text;
    Chunked<qint64> ints;
    Chunked<double> reals;
    Arena text;
    Chunked<quint64> ends;  // end offset of each text value in the arena
    Chunked<quint64> nulls; // one bit per row
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

TDbRows::TDbRows() = default;
TDbRows::~TDbRows() = default;

int TDbRows::FieldCount() const
{
    return int(m_fields.size());
}

const TDbField& TDbRows::Field(int column) const
{
    Q_ASSERT(column >= 0 && column < m_fields.size());
    return m_fields[column];
}

int TDbRows::FieldIndex(const QString& name) const
{
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool TDbRows::IsNull(qsizetype row, int column) const
{
    Q_ASSERT(row >= 0 && row < m_rowCount);
    return m_columns[column]->isNull(row);
}

QString TDbRows::AsString(qsizetype row, int column) const
{
    const Column& c = *m_columns[column];
    if (c.isNull(row))
        return {};
    QLocale locale;
    switch (c.type) {
    case TDbFieldType::Integer:
        return QString::number(c.ints.at(row));
    case TDbFieldType::Boolean:
        return c.ints.at(row) ? QStringLiteral("True") : QStringLiteral("False");
    case TDbFieldType::Currency:
        return withDecimalPoint(formatCurrency(c.ints.at(row)), locale);
    case TDbFieldType::Float:
        return formatFloat(c.reals.at(row), locale);
    case TDbFieldType::Single:
        return formatFloat(ShortestSingle(c.reals.at(row)), locale);
    case TDbFieldType::BCD:
        return withDecimalPoint(trimDecimal(c.textAt(row)), locale);
    case TDbFieldType::Date:
        return locale.toString(QDate::fromJulianDay(c.ints.at(row)), QLocale::ShortFormat);
    case TDbFieldType::Time:
        return locale.toString(QTime::fromMSecsSinceStartOfDay(int(c.ints.at(row))), longTimeFormat(locale));
    case TDbFieldType::DateTime: {
        QDateTime dt = decodeDateTime(c.ints.at(row));
        QString s = locale.toString(dt.date(), QLocale::ShortFormat);
        if (dt.time() != QTime(0, 0))
            s += QLatin1Char(' ') + locale.toString(dt.time(), longTimeFormat(locale));
        return s;
    }
    case TDbFieldType::Blob:
        return QString::fromLatin1(c.bytesAt(row));
    default:
        return c.textAt(row);
    }
}

qint64 TDbRows::AsInteger(qsizetype row, int column) const
{
    const Column& c = *m_columns[column];
    if (c.isNull(row))
        return 0;
    switch (c.type) {
    case TDbFieldType::Currency:
        return qint64(std::llround(double(c.ints.at(row)) / 10000.0));
    case TDbFieldType::DateTime:
        return dayOf(c.ints.at(row));
    case TDbFieldType::Float:
    case TDbFieldType::Single:
        return qint64(std::llround(c.reals.at(row)));
    default:
        break;
    }
    if (c.storage == Storage::Int)
        return c.ints.at(row);
    QString s = c.textAt(row).trimmed();
    bool ok = false;
    qint64 v = s.toLongLong(&ok);
    if (ok)
        return v;
    double d = s.toDouble(&ok);
    if (ok && c.type == TDbFieldType::BCD)
        return qint64(std::llround(d));
    throw EDbError(QStringLiteral("'%1' is not a valid integer value").arg(c.textAt(row)));
}

double TDbRows::AsFloat(qsizetype row, int column) const
{
    const Column& c = *m_columns[column];
    if (c.isNull(row))
        return 0;
    switch (c.storage) {
    case Storage::Real:
        return c.reals.at(row);
    case Storage::Int:
        if (c.type == TDbFieldType::Currency)
            return double(c.ints.at(row)) / 10000.0;
        return double(AsInteger(row, column));
    case Storage::Text:
        return c.textAt(row).trimmed().toDouble();
    }
    return 0;
}

bool TDbRows::AsBoolean(qsizetype row, int column) const
{
    const Column& c = *m_columns[column];
    if (c.isNull(row))
        return false;
    if (c.storage == Storage::Text) {
        QString s = c.textAt(row).trimmed();
        return s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
               s.compare(QLatin1String("t"), Qt::CaseInsensitive) == 0 ||
               s.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0 || (s.toLongLong() != 0);
    }
    return AsFloat(row, column) != 0;
}

QDateTime TDbRows::AsDateTime(qsizetype row, int column) const
{
    const Column& c = *m_columns[column];
    if (c.isNull(row))
        return {};
    switch (c.type) {
    case TDbFieldType::Date:
        return QDateTime(QDate::fromJulianDay(c.ints.at(row)), QTime(0, 0));
    case TDbFieldType::Time:
        return QDateTime(QDate(1899, 12, 30), QTime::fromMSecsSinceStartOfDay(int(c.ints.at(row))));
    case TDbFieldType::DateTime:
        return decodeDateTime(c.ints.at(row));
    default:
        break;
    }
    if (c.storage == Storage::Text) {
        QByteArray b = c.bytesAt(row);
        qint64 day = 0;
        int msecs = 0;
        if (parseIsoBytes(b.constData(), b.size(), day, msecs))
            return QDateTime(QDate::fromJulianDay(day), QTime::fromMSecsSinceStartOfDay(msecs));
    }
    return {};
}

bool TDbRows::AsJulianDayTime(qsizetype row, int column, qint64& julianDay, int& msecs) const
{
    const Column& c = *m_columns[column];
    if (c.isNull(row))
        return false;
    switch (c.type) {
    case TDbFieldType::Date:
        julianDay = c.ints.at(row);
        msecs = 0;
        return true;
    case TDbFieldType::Time:
        julianDay = QDate(1899, 12, 30).toJulianDay();
        msecs = int(c.ints.at(row));
        return true;
    case TDbFieldType::DateTime: {
        const qint64 v = c.ints.at(row);
        julianDay = dayOf(v);
        msecs = int(v - julianDay * kMsecsPerDay);
        return true;
    }
    default:
        break;
    }
    if (c.storage == Storage::Text) {
        const QByteArray b = c.bytesAt(row);
        qint64 day = 0;
        int ms = 0;
        if (parseIsoBytes(b.constData(), b.size(), day, ms)) {
            julianDay = day;
            msecs = ms;
            return true;
        }
    }
    return false;
}

QDate TDbRows::AsDate(qsizetype row, int column) const
{
    return AsDateTime(row, column).date();
}

QTime TDbRows::AsTime(qsizetype row, int column) const
{
    const Column& c = *m_columns[column];
    if (!c.isNull(row) && c.storage == Storage::Text) {
        QByteArray b = c.bytesAt(row);
        int msecs = 0;
        if (parseTimeBytes(b.constData(), b.size(), msecs))
            return QTime::fromMSecsSinceStartOfDay(msecs);
    }
    return AsDateTime(row, column).time();
}

QByteArray TDbRows::AsBytes(qsizetype row, int column) const
{
    const Column& c = *m_columns[column];
    if (c.isNull(row))
        return {};
    if (c.storage == Storage::Text)
        return c.bytesAt(row);
    return AsString(row, column).toUtf8();
}

QVariant TDbRows::Value(qsizetype row, int column) const
{
    const Column& c = *m_columns[column];
    if (c.isNull(row))
        return {};
    switch (c.type) {
    case TDbFieldType::Integer:
        return QVariant(qlonglong(c.ints.at(row)));
    case TDbFieldType::Boolean:
        return QVariant(c.ints.at(row) != 0);
    case TDbFieldType::Currency:
        return QVariant(double(c.ints.at(row)) / 10000.0);
    case TDbFieldType::Float:
    case TDbFieldType::Single:
        return QVariant(c.reals.at(row));
    case TDbFieldType::Date:
        return QVariant(QDate::fromJulianDay(c.ints.at(row)));
    case TDbFieldType::Time:
        return QVariant(QTime::fromMSecsSinceStartOfDay(int(c.ints.at(row))));
    case TDbFieldType::DateTime:
        return QVariant(decodeDateTime(c.ints.at(row)));
    case TDbFieldType::Blob:
        return QVariant(c.bytesAt(row));
    default:
        return QVariant(c.textAt(row));
    }
}

qsizetype TDbRows::MemoryBytes() const
{
    qsizetype total = 0;
    for (const auto& c : m_columns)
        total += c->memory();
    return total;
}

// ---------------------------------------------------------------- streaming

namespace {

// The sink of the innermost TDbRowsStreaming on this thread.
thread_local TDbRowsSink* tStreamSink = nullptr;

// A batch is handed over at this many rows, or sooner when wide values fill its columns.
constexpr qsizetype kStreamBatchRows = 4096;
constexpr qsizetype kStreamBatchBytes = qsizetype(16) << 20;

bool streamBatchFull(const TDbRows& rows)
{
    const qsizetype n = rows.RowCount();
    return n >= kStreamBatchRows || (n > 0 && (n & 7) == 0 && rows.MemoryBytes() >= kStreamBatchBytes);
}

} // namespace

TDbRowsSink::~TDbRowsSink() = default;

TDbRowsStreaming::TDbRowsStreaming(TDbRowsSink& sink) : m_previous(tStreamSink)
{
    tStreamSink = &sink;
}

TDbRowsStreaming::~TDbRowsStreaming()
{
    tStreamSink = m_previous;
}

// Gives the completed rows to the sink and empties the columns, keeping their kinds (a
// column turned to text stays text) and their first chunks for the next batch.
void TDbRowsBuilder::handOver()
{
    const bool first = !m_handedOver;
    m_handedOver = true;
    m_sink->Rows(*m_rows, first);
    for (auto& c : m_rows->m_columns)
        c->rewind();
    m_rows->m_rowCount = 0;
}

// ---------------------------------------------------------------- streaming end

// ---------------------------------------------------------------- builder

TDbRowsBuilder::TDbRowsBuilder(const QList<TDbField>& fields) : m_rows(new TDbRows)
{
    if (!fields.isEmpty())
        m_sink = tStreamSink;
    m_rows->m_fields = fields;
    for (TDbField& f : m_rows->m_fields)
        if (f.displayName.isEmpty())
            f.displayName = f.name;
    for (const TDbField& f : fields) {
        auto c = std::make_unique<TDbRows::Column>();
        c->type = f.type;
        c->storage = storageOf(f.type);
        m_rows->m_columns.push_back(std::move(c));
    }
}

TDbRowsBuilder::~TDbRowsBuilder() = default;

namespace {

// Turns a column whose values do not fit its kind into a text column holding the text
// form of every value so far, so that nothing fetched is lost.
void promoteToText(TDbRows& rows, TDbRows::Column& c, int column, QList<TDbField>& fields)
{
    // Take the text forms through a one-column view of the old storage.
    std::vector<QByteArray> old;
    old.reserve(size_t(c.count));
    for (qsizetype r = 0; r < c.count; ++r) {
        if (c.isNull(r)) {
            old.emplace_back();
            continue;
        }
        if (c.storage == Storage::Real)
            old.push_back(QByteArray::number(c.type == TDbFieldType::Single ? ShortestSingle(c.reals.at(r))
                                                                            : c.reals.at(r),
                                             'g', QLocale::FloatingPointShortest));
        else if (c.type == TDbFieldType::Integer || c.type == TDbFieldType::Boolean)
            old.push_back(QByteArray::number(c.ints.at(r)));
        else if (c.type == TDbFieldType::Currency)
            old.push_back(formatCurrency(c.ints.at(r)).toLatin1());
        else if (c.type == TDbFieldType::Date)
            old.push_back(QDate::fromJulianDay(c.ints.at(r)).toString(Qt::ISODate).toLatin1());
        else if (c.type == TDbFieldType::Time)
            old.push_back(isoText(QTime::fromMSecsSinceStartOfDay(int(c.ints.at(r)))));
        else
            old.push_back(isoText(decodeDateTime(c.ints.at(r))));
    }
    c.ints.clear();
    c.reals.clear();
    c.storage = Storage::Text;
    c.type = TDbFieldType::String;
    fields[column].type = TDbFieldType::String;
    quint64 end = 0;
    for (const QByteArray& b : old) {
        c.text.append(b.constData(), b.size());
        end += quint64(b.size());
        c.ends.push(end);
    }
    Q_UNUSED(rows);
}

} // namespace

// A date column that turns out to hold times of day keeps them: it becomes a date-time
// column and its earlier dates become midnights.
void TDbRowsBuilder::widenToDateTime(TDbRows::Column& c, int column)
{
    c.type = TDbFieldType::DateTime;
    m_rows->m_fields[column].type = TDbFieldType::DateTime;
    for (qsizetype r = 0; r < c.count; ++r)
        c.ints.ref(r) *= kMsecsPerDay;
}

#define DB_COLUMN                                                                                            \
    if (m_sink && m_column == 0 && streamBatchFull(*m_rows))                                                 \
        handOver();                                                                                          \
    TDbRows::Column& c = *m_rows->m_columns[m_column];                                                       \
    const int column = m_column;                                                                             \
    Q_UNUSED(column);

static void finishValue(TDbRows& rows, int& column, qsizetype& rowCount)
{
    Q_UNUSED(rows);
    ++column;
    if (column == int(rows.Fields().size())) {
        column = 0;
        ++rowCount;
    }
}

void TDbRowsBuilder::AppendNull()
{
    DB_COLUMN
    c.markNull(true);
    switch (c.storage) {
    case Storage::Int:
        c.ints.push(0);
        break;
    case Storage::Real:
        c.reals.push(0);
        break;
    case Storage::Text:
        c.ends.push(quint64(c.text.size()));
        break;
    }
    ++c.count;
    finishValue(*m_rows, m_column, m_rows->m_rowCount);
}

void TDbRowsBuilder::AppendInteger(qint64 value)
{
    DB_COLUMN
    if (c.storage == Storage::Real) {
        AppendFloat(double(value));
        return;
    }
    if (c.storage == Storage::Text || c.type == TDbFieldType::Date || c.type == TDbFieldType::Time ||
        c.type == TDbFieldType::DateTime || c.type == TDbFieldType::Currency) {
        if (c.type == TDbFieldType::Currency) {
            AppendCurrency(value * 10000);
            return;
        }
        if (c.storage != Storage::Text)
            promoteToText(*m_rows, c, column, m_rows->m_fields);
        AppendText(QByteArray::number(value).constData(), QByteArray::number(value).size());
        return;
    }
    c.markNull(false);
    c.ints.push(c.type == TDbFieldType::Boolean ? (value != 0) : value);
    ++c.count;
    finishValue(*m_rows, m_column, m_rows->m_rowCount);
}

void TDbRowsBuilder::AppendFloat(double value)
{
    DB_COLUMN
    if (c.storage != Storage::Real) {
        if (c.type == TDbFieldType::Integer && std::trunc(value) == value && std::fabs(value) < 9e18) {
            AppendInteger(qint64(value));
            return;
        }
        if (c.type == TDbFieldType::Currency && std::fabs(value) < 9e14) {
            AppendCurrency(qint64(std::llround(value * 10000.0)));
            return;
        }
        if (c.type == TDbFieldType::Boolean && (value == 0 || value == 1)) {
            AppendInteger(qint64(value));
            return;
        }
        if (c.storage != Storage::Text)
            promoteToText(*m_rows, c, column, m_rows->m_fields);
        QByteArray b = QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
        AppendText(b.constData(), b.size());
        return;
    }
    // A single column holds single values, whatever width the engine handed over.
    if (c.type == TDbFieldType::Single && std::isfinite(value))
        value = double(float(value));
    c.markNull(false);
    c.reals.push(value);
    ++c.count;
    finishValue(*m_rows, m_column, m_rows->m_rowCount);
}

void TDbRowsBuilder::AppendBoolean(bool value)
{
    DB_COLUMN
    if (c.type == TDbFieldType::Boolean) {
        AppendInteger(value ? 1 : 0);
        return;
    }
    if (c.storage == Storage::Text) {
        AppendText(value ? QStringLiteral("True") : QStringLiteral("False"));
        return;
    }
    AppendInteger(value ? 1 : 0);
}

void TDbRowsBuilder::AppendText(const char* utf8, qsizetype length)
{
    DB_COLUMN
    if (c.storage != Storage::Text) {
        // A value of another storage class in a typed column (SQLite allows it):
        // converted when it reads as the column's kind, else the column becomes text.
        QString s = QString::fromUtf8(utf8, length);
        bool ok = false;
        switch (c.type) {
        case TDbFieldType::Integer: {
            qint64 v = s.trimmed().toLongLong(&ok);
            if (ok) {
                AppendInteger(v);
                return;
            }
            break;
        }
        case TDbFieldType::Float:
        case TDbFieldType::Single: {
            double v = s.trimmed().toDouble(&ok);
            if (ok) {
                AppendFloat(v);
                return;
            }
            break;
        }
        case TDbFieldType::Boolean: {
            QString t = s.trimmed().toLower();
            if (t == QLatin1String("true") || t == QLatin1String("t") || t == QLatin1String("1")) {
                AppendInteger(1);
                return;
            }
            if (t == QLatin1String("false") || t == QLatin1String("f") || t == QLatin1String("0")) {
                AppendInteger(0);
                return;
            }
            break;
        }
        case TDbFieldType::Currency: {
            double v = s.trimmed().remove(QLatin1Char('$')).remove(QLatin1Char(',')).toDouble(&ok);
            if (ok) {
                AppendFloat(v);
                return;
            }
            break;
        }
        case TDbFieldType::Date:
        case TDbFieldType::DateTime: {
            qint64 day = 0;
            int msecs = 0;
            int kind = parseIsoBytes(utf8, length, day, msecs);
            if (kind == 0)
                break;
            if (c.type == TDbFieldType::Date && kind == 2 && msecs != 0)
                widenToDateTime(c, column);
            c.markNull(false);
            c.ints.push(c.type == TDbFieldType::Date ? day : day * kMsecsPerDay + msecs);
            ++c.count;
            finishValue(*m_rows, m_column, m_rows->m_rowCount);
            return;
        }
        case TDbFieldType::Time: {
            int msecs = 0;
            qint64 day = 0;
            if (parseTimeBytes(utf8, length, msecs) || parseIsoBytes(utf8, length, day, msecs) == 2) {
                c.markNull(false);
                c.ints.push(msecs);
                ++c.count;
                finishValue(*m_rows, m_column, m_rows->m_rowCount);
                return;
            }
            break;
        }
        default:
            break;
        }
        promoteToText(*m_rows, c, column, m_rows->m_fields);
    }
    c.markNull(false);
    c.text.append(utf8, length);
    c.ends.push(quint64(c.text.size()));
    ++c.count;
    finishValue(*m_rows, m_column, m_rows->m_rowCount);
}

void TDbRowsBuilder::AppendText(const QString& text)
{
    QByteArray b = text.toUtf8();
    AppendText(b.constData(), b.size());
}

void TDbRowsBuilder::AppendBytes(const QByteArray& bytes)
{
    DB_COLUMN
    if (c.storage != Storage::Text)
        promoteToText(*m_rows, c, column, m_rows->m_fields);
    AppendText(bytes.constData(), bytes.size());
}

void TDbRowsBuilder::AppendCurrency(qint64 tenThousandths)
{
    DB_COLUMN
    if (c.type != TDbFieldType::Currency) {
        if (c.storage == Storage::Real) {
            AppendFloat(double(tenThousandths) / 10000.0);
            return;
        }
        if (c.storage == Storage::Int)
            promoteToText(*m_rows, c, column, m_rows->m_fields);
        AppendText(formatCurrency(tenThousandths));
        return;
    }
    c.markNull(false);
    c.ints.push(tenThousandths);
    ++c.count;
    finishValue(*m_rows, m_column, m_rows->m_rowCount);
}

void TDbRowsBuilder::AppendDate(const QDate& date)
{
    DB_COLUMN
    if (!date.isValid()) {
        AppendNull();
        return;
    }
    if (c.type == TDbFieldType::DateTime) {
        AppendDateTime(QDateTime(date, QTime(0, 0)));
        return;
    }
    if (c.type != TDbFieldType::Date) {
        if (c.storage != Storage::Text)
            promoteToText(*m_rows, c, column, m_rows->m_fields);
        AppendText(date.toString(Qt::ISODate));
        return;
    }
    c.markNull(false);
    c.ints.push(date.toJulianDay());
    ++c.count;
    finishValue(*m_rows, m_column, m_rows->m_rowCount);
}

void TDbRowsBuilder::AppendTime(const QTime& time)
{
    DB_COLUMN
    if (!time.isValid()) {
        AppendNull();
        return;
    }
    if (c.type != TDbFieldType::Time) {
        if (c.storage != Storage::Text)
            promoteToText(*m_rows, c, column, m_rows->m_fields);
        AppendBytes(isoText(time));
        return;
    }
    c.markNull(false);
    c.ints.push(time.msecsSinceStartOfDay());
    ++c.count;
    finishValue(*m_rows, m_column, m_rows->m_rowCount);
}

void TDbRowsBuilder::AppendDateTime(const QDateTime& dateTime)
{
    DB_COLUMN
    if (!dateTime.isValid()) {
        AppendNull();
        return;
    }
    if (c.type != TDbFieldType::DateTime) {
        if (c.type == TDbFieldType::Date && dateTime.time() == QTime(0, 0)) {
            AppendDate(dateTime.date());
            return;
        }
        if (c.type == TDbFieldType::Date) {
            widenToDateTime(c, column);
        } else {
            if (c.storage != Storage::Text)
                promoteToText(*m_rows, c, column, m_rows->m_fields);
            AppendBytes(isoText(dateTime));
            return;
        }
    }
    c.markNull(false);
    c.ints.push(encodeDateTime(dateTime));
    ++c.count;
    finishValue(*m_rows, m_column, m_rows->m_rowCount);
}

void TDbRowsBuilder::AppendValue(const QVariant& value)
{
    if (!value.isValid() || value.isNull()) {
        AppendNull();
        return;
    }
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        AppendBoolean(value.toBool());
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::Short:
        AppendInteger(value.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        AppendFloat(value.toDouble());
        break;
    case QMetaType::QDate:
        AppendDate(value.toDate());
        break;
    case QMetaType::QTime:
        AppendTime(value.toTime());
        break;
    case QMetaType::QDateTime:
        AppendDateTime(value.toDateTime());
        break;
    case QMetaType::QByteArray:
        AppendBytes(value.toByteArray());
        break;
    default:
        AppendText(value.toString());
        break;
    }
}

void TDbRowsBuilder::SetWarning(const QString& text)
{
    m_rows->m_warning = text;
}

qsizetype TDbRowsBuilder::RowCount() const
{
    return m_rows ? m_rows->m_rowCount : 0;
}

TDbRowsPtr TDbRowsBuilder::Finish()
{
    if (!m_rows)
        return {};
    while (m_column != 0)
        AppendNull();
    if (m_sink && (m_rows->m_rowCount > 0 || !m_handedOver))
        handOver();
    TDbRowsPtr out(m_rows.release());
    return out;
}

TDbRowsPtr TDbRowsBuilder::FromStrings(const QStringList& fieldNames, const QList<QStringList>& rows)
{
    QList<TDbField> fields;
    for (const QString& n : fieldNames)
        fields.append(TDbField{n, n, TDbFieldType::String, QStringLiteral("VARCHAR"), 0});
    TDbRowsBuilder b(fields);
    for (const QStringList& row : rows)
        for (int i = 0; i < fieldNames.size(); ++i) {
            if (i < row.size())
                b.AppendText(row[i]);
            else
                b.AppendNull();
        }
    return b.Finish();
}

// ---------------------------------------------------------------- cursor

TDbRowCursor::TDbRowCursor(QObject* parent) : QObject(parent) {}

void TDbRowCursor::SetRows(TDbRowsPtr rows)
{
    m_rows = std::move(rows);
    m_row = -1;
    m_bof = m_eof = true;
    if (m_rows && m_rows->RowCount() > 0) {
        m_row = 0;
        m_eof = false;
    }
    emit StateChanged();
    emit CurrentChanged(m_row);
}

void TDbRowCursor::moveTo(qsizetype row, bool bof, bool eof)
{
    bool changed = row != m_row;
    m_row = row;
    m_bof = bof;
    m_eof = eof;
    if (changed)
        emit CurrentChanged(m_row);
}

qsizetype TDbRowCursor::RecordCount() const
{
    return m_rows ? m_rows->RowCount() : 0;
}

void TDbRowCursor::First()
{
    if (RecordCount() == 0)
        return moveTo(-1, true, true);
    moveTo(0, true, false);
}

void TDbRowCursor::Last()
{
    qsizetype n = RecordCount();
    if (n == 0)
        return moveTo(-1, true, true);
    moveTo(n - 1, false, true);
}

void TDbRowCursor::Next()
{
    qsizetype n = RecordCount();
    if (n == 0)
        return;
    if (m_row + 1 >= n)
        return moveTo(m_row, false, true);
    moveTo(m_row + 1, false, false);
}

void TDbRowCursor::Prior()
{
    if (RecordCount() == 0)
        return;
    if (m_row <= 0)
        return moveTo(m_row, true, false);
    moveTo(m_row - 1, false, false);
}

qsizetype TDbRowCursor::MoveBy(qsizetype n)
{
    qsizetype start = m_row;
    if (n > 0)
        for (qsizetype i = 0; i < n && !m_eof; ++i)
            Next();
    else
        for (qsizetype i = 0; i < -n && !m_bof; ++i)
            Prior();
    return m_row - start;
}

void TDbRowCursor::SetRecNo(qsizetype row)
{
    qsizetype n = RecordCount();
    if (n == 0)
        return;
    row = std::clamp<qsizetype>(row, 0, n - 1);
    moveTo(row, false, false);
}

int TDbRowCursor::FieldCount() const
{
    return m_rows ? m_rows->FieldCount() : 0;
}

const TDbField& TDbRowCursor::Field(int column) const
{
    checkColumn(column);
    return m_rows->Field(column);
}

void TDbRowCursor::checkColumn(int column) const
{
    if (!m_rows)
        throw EDbError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (column < 0 || column >= m_rows->FieldCount())
        throw EDbError(QStringLiteral("Field index out of range: %1").arg(column));
}

int TDbRowCursor::FieldIndex(const QString& name) const
{
    return m_rows ? m_rows->FieldIndex(name) : -1;
}

bool TDbRowCursor::IsNull(int column) const
{
    checkColumn(column);
    if (m_row < 0)
        return true;
    return m_rows->IsNull(m_row, column);
}

QString TDbRowCursor::AsString(int column) const
{
    checkColumn(column);
    if (m_row < 0)
        return QString();
    return m_rows->AsString(m_row, column);
}

qint64 TDbRowCursor::AsInteger(int column) const
{
    checkColumn(column);
    if (m_row < 0)
        return 0;
    return m_rows->AsInteger(m_row, column);
}

double TDbRowCursor::AsFloat(int column) const
{
    checkColumn(column);
    if (m_row < 0)
        return 0;
    return m_rows->AsFloat(m_row, column);
}

bool TDbRowCursor::AsBoolean(int column) const
{
    checkColumn(column);
    if (m_row < 0)
        return false;
    return m_rows->AsBoolean(m_row, column);
}

QDateTime TDbRowCursor::AsDateTime(int column) const
{
    checkColumn(column);
    if (m_row < 0)
        return QDateTime();
    return m_rows->AsDateTime(m_row, column);
}

QVariant TDbRowCursor::Value(int column) const
{
    checkColumn(column);
    if (m_row < 0)
        return QVariant();
    return m_rows->Value(m_row, column);
}
