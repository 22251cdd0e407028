// The parameter files: any file content loads, and every setting written reads back the
// same after a save and a reload (values of any text, line breaks included).
#include "fuzzSupport.h"
#include "uParameters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    fuzz::ensureApplication();
    static QTemporaryDir dir;
    static bool made = QDir().mkpath(dir.filePath(QStringLiteral("app"))) &&
                       QDir().mkpath(dir.filePath(QStringLiteral("config")));
    fuzz::check(made, "no folders");
    const QString exe = dir.filePath(QStringLiteral("app/Quillory"));
    auto make = [&] {
        return TParameters(
            exe, {}, dir.filePath(QStringLiteral("config")), [](const QString&) { return true; }, QStringLiteral("u"));
    };
    // The first part of the input is the user's file as found; the rest, settings to write.
    const QByteArray data(reinterpret_cast<const char*>(bytes), qsizetype(size));
    const qsizetype split = data.indexOf('\0');
    const QByteArray file = split < 0 ? data : data.left(split);
    const QByteArray rest = split < 0 ? QByteArray() : data.mid(split + 1);
    {
        TParameters probe = make();
        QFile f(probe.UserParameterFileName());
        fuzz::check(f.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the input file");
        f.write(file);
    }
    TParameters p = make();
    // Settings: pieces "name\x01value" separated by \x02; names are made of letters.
    QList<QPair<QString, QString>> written;
    for (const QByteArray& piece : rest.split('\x02')) {
        const qsizetype sep = piece.indexOf('\x01');
        if (sep < 0)
            continue;
        QString name;
        for (char c : piece.left(sep))
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
                name += QLatin1Char(c);
        if (name.isEmpty())
            continue;
        const QString value = QString::fromUtf8(piece.mid(sep + 1));
        p.WriteParameter(name, value);
        written.append({name, value});
        fuzz::check(p.ReadParameter(name, QStringLiteral("\x01")) == (value.isEmpty() ? QStringLiteral("\x01") : value) ||
                        value.isEmpty(),
                    "a written value does not read back at once", value);
    }
    if (!p.Save())
        return 0; // an unreadable file is kept; nothing to compare
    TParameters again = make();
    for (const auto& [name, value] : written) {
        // The last write of a name (any case) wins.
        QString expected;
        for (const auto& [n, v] : written)
            if (n.compare(name, Qt::CaseInsensitive) == 0)
                expected = v;
        if (expected.isEmpty())
            continue;
        fuzz::check(again.ReadParameter(name, {}) == expected, "a setting changed through save and reload",
                    name + QLatin1Char('=') + expected + QStringLiteral(" / ") + again.ReadParameter(name, {}));
    }
    return 0;
}
