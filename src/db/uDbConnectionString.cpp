#include "uDbConnectionString.h"

#include "uConnectionItems.h"
#include "uDbError.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TDbConnectionStringWatch& watch()
{
    static TDbConnectionStringWatch w;
    return w;
}

} // namespace

TDbConnectionStringWatch WatchConnectionStrings(TDbConnectionStringWatch w)
{
    std::swap(watch(), w);
    return w;
}

TDbConnectionString::TDbConnectionString(const QString& text) : m_text(text)
{
    if (watch().parsed)
        watch().parsed(text);
    for (const TConnectionItem& item : ScanConnectionItems(text))
        m_items.append({item.key, item.value});
}

bool TDbConnectionString::Has(const QString& key) const
{
    for (const auto& item : m_items)
        if (item.first.compare(key, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString TDbConnectionString::Value(const QString& key) const
{
    QString out;
    for (const auto& item : m_items)
        if (item.first.compare(key, Qt::CaseInsensitive) == 0)
            out = item.second;
    return out;
}

QString TDbConnectionString::Value(std::initializer_list<const char*> keys) const
{
    for (const char* k : keys) {
        QString key = QString::fromLatin1(k);
        if (Has(key))
            return Value(key);
    }
    return {};
}

QString TDbConnectionString::ProviderKey(const QString& provider)
{
    static const QRegularExpression suffix(QStringLiteral("(\\.[0-9]+)+$"));
    QString key = provider.trimmed().toLower();
    key.remove(suffix);
    return key;
}

namespace {

// A real data link file is a few hundred bytes; anything much larger is not one.
constexpr qint64 kMaxDataLinkSize = 64 * 1024;

QByteArray readDataLinkBytes(const QString& path)
{
    auto fail = [&](const QString& why) {
        return EDbError(QStringLiteral("Cannot open the data link file \"%1\": %2").arg(path, why));
    };
    // Non-blocking, so that a FIFO cannot hold the caller at open; only a regular file is
    // read at all (no devices, FIFOs or folders).
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        throw fail(QString::fromLocal8Bit(strerror(errno)));
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st
    {
    };
    if (fstat(fd, &st) != 0)
        throw fail(QString::fromLocal8Bit(strerror(errno)));
    if (!S_ISREG(st.st_mode))
        throw fail(QStringLiteral("it is not a regular file."));
    if (st.st_size > kMaxDataLinkSize)
        throw fail(QStringLiteral("it is too large to be a data link file (%1 bytes).").arg(st.st_size));
    QByteArray bytes(kMaxDataLinkSize + 1, Qt::Uninitialized);
    qint64 got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw fail(QString::fromLocal8Bit(strerror(errno)));
        if (n == 0)
            break;
        got += n;
    }
    if (got > kMaxDataLinkSize) // it grew while being read
        throw fail(QStringLiteral("it is too large to be a data link file."));
    bytes.truncate(got);
    return bytes;
}

// The lines of the file's text, each decoded on its own so that a bad code unit (a lone
// surrogate in a comment, say) spoils only its own line; a spoiled line is left out.
QStringList dataLinkLines(const QByteArray& bytes, int& spoiled)
{
    spoiled = 0;
    QStringDecoder::Encoding encoding = QStringDecoder::Utf8;
    qsizetype start = 0;
    int unit = 1;
    if (bytes.startsWith("\xFF\xFE")) {
        encoding = QStringDecoder::Utf16LE;
        start = 2;
        unit = 2;
    } else if (bytes.startsWith("\xFE\xFF")) {
        encoding = QStringDecoder::Utf16BE;
        start = 2;
        unit = 2;
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        start = 3;
    }
    auto codeUnit = [&](qsizetype i) -> char16_t {
        if (unit == 1)
            return uchar(bytes[i]);
        const uchar a = uchar(bytes[i]), b = uchar(bytes[i + 1]);
        return encoding == QStringDecoder::Utf16LE ? char16_t(a | b << 8) : char16_t(a << 8 | b);
    };
    QStringList lines;
    qsizetype lineStart = start;
    const qsizetype end = start + (bytes.size() - start) / unit * unit;
    for (qsizetype i = start; i <= end; i += unit) {
        const bool atEnd = i == end;
        const char16_t c = atEnd ? 0 : codeUnit(i);
        if (!atEnd && c != u'\n' && c != u'\r')
            continue;
        QStringDecoder decoder(encoding);
        const QString line = decoder.decode(QByteArrayView(bytes).sliced(lineStart, i - lineStart));
        if (decoder.hasError() || !line.isValidUtf16())
            ++spoiled;
        else
            lines << line;
        lineStart = i + unit;
    }
    return lines;
}

} // namespace

QString ReadDataLinkFile(const QString& path)
{
    if (watch().dataLinkRead)
        watch().dataLinkRead(path);
    int spoiled = 0;
    const QStringList lines = dataLinkLines(readDataLinkBytes(path), spoiled);
    for (const QString& line : lines) {
        QString t = line.trimmed();
        if (t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('[')))
            continue;
        return line;
    }
    if (spoiled > 0)
        throw EDbError(QStringLiteral("The data link file \"%1\" holds no connection string: %2 of its lines "
                                      "cannot be decoded.")
                           .arg(path)
                           .arg(spoiled));
    throw EDbError(QStringLiteral("The data link file \"%1\" holds no connection string.").arg(path));
}
