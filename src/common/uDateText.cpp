#include "uDateText.h"

// A hand-written reader: QDateTime::fromString builds a local date-time per value (a
// time zone look-up each) and takes neither the blank separator with a zone suffix nor
// fractions of any length, which the engines write.
namespace {

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
        const int d = digit(p[i]);
        if (d < 0)
            return false;
        v = v * 10 + d;
    }
    out = v;
    p += count;
    return true;
}

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

} // namespace

qint64 EncodeDayTime(qint64 julianDay, int msecs)
{
    return julianDay * kMsecsPerDay + msecs;
}

qint64 DayOfEncoded(qint64 encoded)
{
    return encoded >= 0 ? encoded / kMsecsPerDay : -((-encoded + kMsecsPerDay - 1) / kMsecsPerDay);
}

int MsecsOfEncoded(qint64 encoded)
{
    return int(encoded - DayOfEncoded(encoded) * kMsecsPerDay);
}

TIsoText ParseIsoDateTime(const char* p, qsizetype length, qint64& julianDay, int& msecs)
{
    const char* end = p + length;
    while (p != end && *p == ' ')
        ++p;
    int y, mo, d;
    if (!readDigits(p, end, 4, y) || p == end || *p != '-')
        return TIsoText::None;
    ++p;
    if (!readDigits(p, end, 2, mo) || p == end || *p != '-')
        return TIsoText::None;
    ++p;
    if (!readDigits(p, end, 2, d) || !QDate::isValid(y, mo, d))
        return TIsoText::None;
    while (p != end && *p == ' ' && (end - p < 2 || digit(p[1]) < 0))
        ++p;
    int ms = 0;
    TIsoText kind = TIsoText::Date;
    if (p != end) {
        if (*p != ' ' && *p != 'T')
            return TIsoText::None;
        ++p;
        if (!readTime(p, end, ms))
            return TIsoText::None;
        kind = TIsoText::DateTime;
    }
    julianDay = QDate(y, mo, d).toJulianDay();
    msecs = ms;
    return kind;
}

bool ParseIsoTime(const char* p, qsizetype length, int& msecs)
{
    const char* end = p + length;
    while (p != end && *p == ' ')
        ++p;
    return readTime(p, end, msecs);
}

QByteArray IsoText(const QTime& t)
{
    return t.toString(t.msec() ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss")).toLatin1();
}

QByteArray IsoText(const QDateTime& dt)
{
    return dt.date().toString(Qt::ISODate).toLatin1() + ' ' + IsoText(dt.time());
}
