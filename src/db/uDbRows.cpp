#include "uDbRows.h"

#include "uDateText.h"
#include "uDbError.h"
#include "uDbRowsStorage.h"
#include "uPageMemory.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <cstring>

using dbrows::formatCurrency;
using Storage = dbrows::Storage;

namespace {

QDateTime decodeDateTime(qint64 v)
{
    return QDateTime(QDate::fromJulianDay(DayOfEncoded(v)), QTime::fromMSecsSinceStartOfDay(MsecsOfEncoded(v)));
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

} // namespace

QString dbrows::formatCurrency(qint64 v)
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


TDbRows::TDbRows() = default;
TDbRows::~TDbRows()
{
    // The views of many rows held memory per row on the heap as well (row headers,
    // selections), freed with them; the heap would keep it.
    constexpr qsizetype kManyRows = 65536;
    constexpr qsizetype kManyBytes = qsizetype(4) << 20;
    if (m_rowCount >= kManyRows || MemoryBytes() >= kManyBytes)
        platform::ReturnFreedMemorySoon();
}

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
        return DayOfEncoded(c.ints.at(row));
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
        return QDateTime(kDayZero, QTime::fromMSecsSinceStartOfDay(int(c.ints.at(row))));
    case TDbFieldType::DateTime:
        return decodeDateTime(c.ints.at(row));
    default:
        break;
    }
    if (c.storage == Storage::Text) {
        QByteArray b = c.bytesAt(row);
        qint64 day = 0;
        int msecs = 0;
        if (ParseIsoDateTime(b.constData(), b.size(), day, msecs) != TIsoText::None)
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
        julianDay = kJulianDayZero;
        msecs = int(c.ints.at(row));
        return true;
    case TDbFieldType::DateTime: {
        const qint64 v = c.ints.at(row);
        julianDay = DayOfEncoded(v);
        msecs = MsecsOfEncoded(v);
        return true;
    }
    default:
        break;
    }
    if (c.storage == Storage::Text) {
        const QByteArray b = c.bytesAt(row);
        qint64 day = 0;
        int ms = 0;
        if (ParseIsoDateTime(b.constData(), b.size(), day, ms) != TIsoText::None) {
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
        if (ParseIsoTime(b.constData(), b.size(), msecs))
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
