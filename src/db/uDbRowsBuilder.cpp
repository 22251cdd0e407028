#include "uDbRowsBuilder.h"

#include "uDateText.h"
#include "uDbFetch.h"
#include "uDbRowsStorage.h"

#include <QLocale>

#include <cmath>

using Storage = dbrows::Storage;

namespace {

bool isDateKind(TDbFieldType type)
{
    return type == TDbFieldType::Date || type == TDbFieldType::Time || type == TDbFieldType::DateTime;
}

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
    m_handedRows += m_rows->m_rowCount;
    for (auto& c : m_rows->m_columns)
        c->rewind();
    m_rows->m_rowCount = 0;
}

TDbRowsBuilder::TDbRowsBuilder(const QList<TDbField>& fields) : m_rows(new TDbRows), m_noDates(size_t(fields.size()))
{
    if (!fields.isEmpty())
        m_sink = tStreamSink;
    m_control = dbfetch::current();
    // Streamed rows are handed on in batches: only held rows can outgrow the machine.
    if (!m_sink)
        m_memoryLimit = dbfetch::memoryLimit();
    m_rows->m_fields = fields;
    for (TDbField& f : m_rows->m_fields)
        if (f.displayName.isEmpty())
            f.displayName = f.name;
    for (const TDbField& f : fields) {
        auto c = std::make_unique<TDbRows::Column>();
        c->type = f.type;
        c->storage = dbrows::storageOf(f.type);
        m_rows->m_columns.push_back(std::move(c));
    }
}

TDbRowsBuilder::~TDbRowsBuilder() = default;

TDbRows::Column& TDbRowsBuilder::current()
{
    if (m_sink && m_column == 0 && streamBatchFull(*m_rows))
        handOver();
    return *m_rows->m_columns[size_t(m_column)];
}

void TDbRowsBuilder::stored()
{
    if (++m_column == m_rows->FieldCount()) {
        m_column = 0;
        ++m_rows->m_rowCount;
        rowDone();
    }
}

void TDbRowsBuilder::rowDone()
{
    const qsizetype rows = m_rows->m_rowCount;
    if (m_control) {
        m_control->SetRows(m_handedRows + rows);
        if (m_control->Cancelled())
            throw EDbFetchCancelled();
    }
    // Counting the bytes walks the columns, so only now and then.
    if (m_memoryLimit && (rows & 1023) == 0) {
        const quint64 bytes = quint64(m_rows->MemoryBytes());
        if (bytes > m_memoryLimit)
            throw dbfetch::tooLarge(rows, bytes);
    }
}

// A number column whose values do not fit its kind becomes a text column holding the
// text form of every value so far, so that nothing fetched is lost.
void TDbRowsBuilder::toText()
{
    TDbRows::Column& c = current();
    std::vector<QByteArray> old;
    old.reserve(size_t(c.count));
    for (qsizetype r = 0; r < c.count; ++r) {
        if (c.isNull(r))
            old.emplace_back();
        else if (c.storage == Storage::Real)
            old.push_back(QByteArray::number(c.type == TDbFieldType::Single ? ShortestSingle(c.reals.at(r))
                                                                            : c.reals.at(r),
                                             'g', QLocale::FloatingPointShortest));
        else if (c.type == TDbFieldType::Currency)
            old.push_back(dbrows::formatCurrency(c.ints.at(r)).toLatin1());
        else
            old.push_back(QByteArray::number(c.ints.at(r)));
    }
    c.ints.clear();
    c.reals.clear();
    c.storage = Storage::Text;
    c.type = TDbFieldType::String;
    m_rows->m_fields[m_column].type = TDbFieldType::String;
    quint64 end = 0;
    for (const QByteArray& b : old) {
        c.text.append(b.constData(), b.size());
        end += quint64(b.size());
        c.ends.push(end);
    }
}

// A date column that turns out to hold times of day keeps them: it becomes a date-time
// column and its earlier dates become midnights.
void TDbRowsBuilder::widenToDateTime()
{
    TDbRows::Column& c = current();
    c.type = TDbFieldType::DateTime;
    m_rows->m_fields[m_column].type = TDbFieldType::DateTime;
    for (qsizetype r = 0; r < c.count; ++r)
        c.ints.ref(r) *= kMsecsPerDay;
}

void TDbRowsBuilder::noDate()
{
    ++m_noDates[size_t(m_column)];
    AppendNull();
}

void TDbRowsBuilder::AppendNull()
{
    current().pushNull();
    stored();
}

void TDbRowsBuilder::AppendInteger(qint64 value)
{
    TDbRows::Column& c = current();
    if (c.storage == Storage::Real)
        return AppendFloat(double(value));
    if (c.type == TDbFieldType::Currency)
        return AppendCurrency(value * 10000);
    if (isDateKind(c.type))
        return noDate();
    if (c.storage == Storage::Text) {
        const QByteArray b = QByteArray::number(value);
        return AppendText(b.constData(), b.size());
    }
    c.pushInt(c.type == TDbFieldType::Boolean ? (value != 0) : value);
    stored();
}

void TDbRowsBuilder::AppendFloat(double value)
{
    TDbRows::Column& c = current();
    if (c.storage != Storage::Real) {
        if (c.type == TDbFieldType::Integer && std::trunc(value) == value && std::fabs(value) < 9e18)
            return AppendInteger(qint64(value));
        if (c.type == TDbFieldType::Currency && std::fabs(value) < 9e14)
            return AppendCurrency(qint64(std::llround(value * 10000.0)));
        if (c.type == TDbFieldType::Boolean && (value == 0 || value == 1))
            return AppendInteger(qint64(value));
        if (isDateKind(c.type))
            return noDate();
        if (c.storage != Storage::Text)
            toText();
        const QByteArray b = QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
        return AppendText(b.constData(), b.size());
    }
    // A single column holds single values, whatever width the engine handed over.
    if (c.type == TDbFieldType::Single && std::isfinite(value))
        value = double(float(value));
    c.pushReal(value);
    stored();
}

void TDbRowsBuilder::AppendBoolean(bool value)
{
    if (current().storage == Storage::Text && current().type != TDbFieldType::Boolean)
        return AppendText(value ? QStringLiteral("True") : QStringLiteral("False"));
    AppendInteger(value ? 1 : 0);
}

void TDbRowsBuilder::AppendText(const char* utf8, qsizetype length)
{
    TDbRows::Column& c = current();
    if (c.storage != Storage::Text) {
        // A value of another storage class in a typed column (SQLite allows it):
        // converted when it reads as the column's kind.
        const QString s = QString::fromUtf8(utf8, length).trimmed();
        bool ok = false;
        switch (c.type) {
        case TDbFieldType::Integer: {
            const qint64 v = s.toLongLong(&ok);
            if (ok)
                return AppendInteger(v);
            break;
        }
        case TDbFieldType::Float:
        case TDbFieldType::Single: {
            const double v = s.toDouble(&ok);
            if (ok)
                return AppendFloat(v);
            break;
        }
        case TDbFieldType::Boolean: {
            const QString t = s.toLower();
            if (t == QLatin1String("true") || t == QLatin1String("t") || t == QLatin1String("1"))
                return AppendInteger(1);
            if (t == QLatin1String("false") || t == QLatin1String("f") || t == QLatin1String("0"))
                return AppendInteger(0);
            break;
        }
        case TDbFieldType::Currency: {
            const double v = QString(s).remove(QLatin1Char('$')).remove(QLatin1Char(',')).toDouble(&ok);
            if (ok)
                return AppendFloat(v);
            break;
        }
        case TDbFieldType::Date:
        case TDbFieldType::DateTime: {
            qint64 day = 0;
            int msecs = 0;
            const TIsoText kind = ParseIsoDateTime(utf8, length, day, msecs);
            if (kind == TIsoText::None)
                return noDate();
            if (c.type == TDbFieldType::Date && kind == TIsoText::DateTime && msecs != 0)
                widenToDateTime();
            c.pushInt(c.type == TDbFieldType::Date ? day : EncodeDayTime(day, msecs));
            return stored();
        }
        case TDbFieldType::Time: {
            int msecs = 0;
            qint64 day = 0;
            if (!ParseIsoTime(utf8, length, msecs) &&
                ParseIsoDateTime(utf8, length, day, msecs) != TIsoText::DateTime)
                return noDate();
            c.pushInt(msecs);
            return stored();
        }
        default:
            break;
        }
        toText();
    }
    c.pushText(utf8, length);
    stored();
}

void TDbRowsBuilder::AppendText(const QString& text)
{
    const QByteArray b = text.toUtf8();
    AppendText(b.constData(), b.size());
}

void TDbRowsBuilder::AppendBytes(const QByteArray& bytes)
{
    if (current().storage != Storage::Text && !isDateKind(current().type))
        toText();
    AppendText(bytes.constData(), bytes.size());
}

void TDbRowsBuilder::AppendCurrency(qint64 tenThousandths)
{
    TDbRows::Column& c = current();
    if (c.type != TDbFieldType::Currency) {
        if (c.storage == Storage::Real)
            return AppendFloat(double(tenThousandths) / 10000.0);
        if (isDateKind(c.type))
            return noDate();
        if (c.storage == Storage::Int)
            toText();
        return AppendText(dbrows::formatCurrency(tenThousandths));
    }
    c.pushInt(tenThousandths);
    stored();
}

void TDbRowsBuilder::AppendDate(const QDate& date)
{
    TDbRows::Column& c = current();
    if (!date.isValid())
        return AppendNull();
    if (c.type == TDbFieldType::DateTime)
        return AppendDateTime(QDateTime(date, QTime(0, 0)));
    if (c.type == TDbFieldType::Time)
        return noDate();
    if (c.type != TDbFieldType::Date) {
        if (c.storage != Storage::Text)
            toText();
        return AppendText(date.toString(Qt::ISODate));
    }
    c.pushInt(date.toJulianDay());
    stored();
}

void TDbRowsBuilder::AppendTime(const QTime& time)
{
    TDbRows::Column& c = current();
    if (!time.isValid())
        return AppendNull();
    if (c.type != TDbFieldType::Time)
        return AppendBytes(IsoText(time));
    c.pushInt(time.msecsSinceStartOfDay());
    stored();
}

void TDbRowsBuilder::AppendDateTime(const QDateTime& dateTime)
{
    TDbRows::Column& c = current();
    if (!dateTime.isValid())
        return AppendNull();
    const qint64 day = dateTime.date().toJulianDay();
    const int msecs = dateTime.time().msecsSinceStartOfDay();
    switch (c.type) {
    case TDbFieldType::DateTime:
        break;
    case TDbFieldType::Date:
        if (msecs == 0)
            return AppendDate(dateTime.date());
        widenToDateTime();
        break;
    case TDbFieldType::Time:
        c.pushInt(msecs);
        return stored();
    default:
        return AppendBytes(IsoText(dateTime));
    }
    c.pushInt(EncodeDayTime(day, msecs));
    stored();
}

void TDbRowsBuilder::AppendValue(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return AppendNull();
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return AppendBoolean(value.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::Short:
        return AppendInteger(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return AppendFloat(value.toDouble());
    case QMetaType::QDate:
        return AppendDate(value.toDate());
    case QMetaType::QTime:
        return AppendTime(value.toTime());
    case QMetaType::QDateTime:
        return AppendDateTime(value.toDateTime());
    case QMetaType::QByteArray:
        return AppendBytes(value.toByteArray());
    default:
        return AppendText(value.toString());
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
    QStringList noDates;
    for (size_t i = 0; i < m_noDates.size(); ++i)
        if (m_noDates[i] > 0)
            noDates << QStringLiteral("%1 (%2)").arg(m_rows->m_fields[qsizetype(i)].name).arg(m_noDates[i]);
    if (!noDates.isEmpty()) {
        QString& warning = m_rows->m_warning;
        if (!warning.isEmpty())
            warning += u' ';
        warning += QStringLiteral("Some values of date columns are not dates and are shown empty: %1.")
                       .arg(noDates.join(QLatin1String(", ")));
    }
    return TDbRowsPtr(m_rows.release());
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
