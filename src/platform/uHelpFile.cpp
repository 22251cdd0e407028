#include "uHelpFile.h"

#include <QFile>
#include <QRegularExpression>
#include <QtEndian>

#include <chm_lib.h>
#include <dlfcn.h>

namespace platform {
namespace {

// chmlib, loaded when help is first asked for: help is optional, and a machine without
// the library runs the program as usual and shows no help.
struct ChmLibrary
{
    decltype(&chm_open) open = nullptr;
    decltype(&chm_close) close = nullptr;
    decltype(&chm_resolve_object) resolve = nullptr;
    decltype(&chm_retrieve_object) retrieve = nullptr;
    decltype(&chm_enumerate) enumerate = nullptr;

    bool loaded() const { return open && close && resolve && retrieve && enumerate; }
};

const ChmLibrary& chmLibrary()
{
    static const ChmLibrary library = [] {
        ChmLibrary lib;
        void* handle = nullptr;
        for (const char* name : {"libchm.so.1", "libchm.so"})
            if ((handle = dlopen(name, RTLD_NOW | RTLD_LOCAL)))
                break;
        if (!handle)
            return lib;
        lib.open = reinterpret_cast<decltype(lib.open)>(dlsym(handle, "chm_open"));
        lib.close = reinterpret_cast<decltype(lib.close)>(dlsym(handle, "chm_close"));
        lib.resolve = reinterpret_cast<decltype(lib.resolve)>(dlsym(handle, "chm_resolve_object"));
        lib.retrieve = reinterpret_cast<decltype(lib.retrieve)>(dlsym(handle, "chm_retrieve_object"));
        lib.enumerate = reinterpret_cast<decltype(lib.enumerate)>(dlsym(handle, "chm_enumerate"));
        return lib;
    }();
    return library;
}

QString objectPath(const QString& name)
{
    QString path = name;
    if (path.startsWith(QLatin1String("::/")))
        path = path.mid(2);
    return path.startsWith(u'/') ? path : u'/' + path;
}

QString zeroTerminated(const QByteArray& bytes, qsizetype from = 0)
{
    const qsizetype end = bytes.indexOf('\0', from);
    return QString::fromUtf8(bytes.mid(from, end < 0 ? -1 : end - from));
}

QString decodeEntities(QString text)
{
    static const QRegularExpression entity(QStringLiteral("&(#x?[0-9A-Fa-f]+|amp|lt|gt|quot|apos);"));
    QString out;
    qsizetype last = 0;
    for (auto it = entity.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        out += QStringView(text).mid(last, m.capturedStart() - last);
        const QString e = m.captured(1);
        if (e == QLatin1String("amp"))
            out += u'&';
        else if (e == QLatin1String("lt"))
            out += u'<';
        else if (e == QLatin1String("gt"))
            out += u'>';
        else if (e == QLatin1String("quot"))
            out += u'"';
        else if (e == QLatin1String("apos"))
            out += u'\'';
        else {
            const bool hex = e.startsWith(QLatin1String("#x"), Qt::CaseInsensitive);
            const uint code = e.mid(hex ? 2 : 1).toUInt(nullptr, hex ? 16 : 10);
            out += QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1);
        }
        last = m.capturedEnd();
    }
    out += QStringView(text).mid(last);
    return out;
}

QString attribute(const QString& attributes, const QString& name)
{
    const QRegularExpression re(QStringLiteral("\\b%1\\s*=\\s*(\"([^\"]*)\"|'([^']*)'|([^\\s>]+))").arg(name),
                                QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(attributes);
    if (!m.hasMatch())
        return {};
    for (int i = 2; i <= 4; ++i)
        if (m.capturedStart(i) >= 0)
            return decodeEntities(m.captured(i));
    return {};
}

int collectFile(chmFile*, chmUnitInfo* ui, void* context)
{
    auto* list = static_cast<QStringList*>(context);
    const QString path = QString::fromUtf8(ui->path);
    // Internal objects (#SYSTEM, $OBJINST, ::DataSpace ...) are not topics.
    if (path.startsWith(u'/') && !path.endsWith(u'/') && !path.startsWith(QLatin1String("/#")) &&
        !path.startsWith(QLatin1String("/$")))
        list->append(path.mid(1));
    return CHM_ENUMERATOR_CONTINUE;
}

} // namespace

THelpFile::THelpFile(const QString& path)
{
    open(path);
}

THelpFile::~THelpFile()
{
    close();
}

bool THelpFile::libraryAvailable()
{
    return chmLibrary().loaded();
}

bool THelpFile::open(const QString& path)
{
    close();
    const ChmLibrary& lib = chmLibrary();
    if (!lib.loaded() || path.isEmpty())
        return false;
    m_file = lib.open(QFile::encodeName(path).constData());
    if (!m_file)
        return false;
    m_path = path;
    readSystem();
    return true;
}

void THelpFile::close()
{
    if (m_file)
        chmLibrary().close(m_file);
    m_file = nullptr;
    m_path.clear();
    m_title.clear();
    m_defaultTopic.clear();
    m_contentsFile.clear();
}

QByteArray THelpFile::read(const QString& name) const
{
    if (!m_file)
        return {};
    const ChmLibrary& lib = chmLibrary();
    chmUnitInfo ui;
    const QByteArray path = objectPath(name).toUtf8();
    if (lib.resolve(m_file, path.constData(), &ui) != CHM_RESOLVE_SUCCESS)
        return {};
    QByteArray bytes(qsizetype(ui.length), Qt::Uninitialized);
    if (ui.length == 0)
        return bytes;
    const LONGINT64 got =
        lib.retrieve(m_file, &ui, reinterpret_cast<unsigned char*>(bytes.data()), 0, LONGINT64(ui.length));
    bytes.resize(got < 0 ? 0 : qsizetype(got));
    return bytes;
}

bool THelpFile::contains(const QString& name) const
{
    // Folders (the root "/" among them) are not topics.
    if (!m_file || name.isEmpty() || name.endsWith(u'/'))
        return false;
    chmUnitInfo ui;
    return chmLibrary().resolve(m_file, objectPath(name).toUtf8().constData(), &ui) == CHM_RESOLVE_SUCCESS;
}

QStringList THelpFile::files() const
{
    QStringList list;
    if (m_file)
        chmLibrary().enumerate(m_file, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, collectFile, &list);
    return list;
}

void THelpFile::readSystem()
{
    // #SYSTEM: a 32-bit version, then records of a 16-bit code, a 16-bit length and data.
    const QByteArray system = read(QStringLiteral("#SYSTEM"));
    qsizetype at = 4;
    while (at + 4 <= system.size()) {
        const quint16 code = qFromLittleEndian<quint16>(system.constData() + at);
        const quint16 length = qFromLittleEndian<quint16>(system.constData() + at + 2);
        at += 4;
        if (at + length > system.size())
            break;
        const QByteArray data = system.mid(at, length);
        switch (code) {
        case 0:
            m_contentsFile = zeroTerminated(data);
            break;
        case 2:
            m_defaultTopic = zeroTerminated(data);
            break;
        case 3:
            m_title = zeroTerminated(data);
            break;
        default:
            break;
        }
        at += length;
    }
    if (m_contentsFile.isEmpty()) {
        for (const QString& f : files())
            if (f.endsWith(QLatin1String(".hhc"), Qt::CaseInsensitive)) {
                m_contentsFile = f;
                break;
            }
    }
}

QList<HelpTopic> THelpFile::contents() const
{
    if (m_contentsFile.isEmpty())
        return {};
    return ParseSitemap(QString::fromUtf8(read(m_contentsFile)));
}

QString THelpFile::normalisedTopic(const QString& target) const
{
    if (target.isEmpty())
        return {};
    if (contains(target))
        return objectPath(target).mid(1);
    // Some compilers record the topic by the path it had on the compiling machine: take
    // the file whose path inside the help file ends the recorded one.
    QString best;
    for (const QString& f : files())
        if ((target.endsWith(u'/' + f) || target.endsWith(u'\\' + f)) && f.size() > best.size())
            best = f;
    return best;
}

QString THelpFile::topicForContext(int context) const
{
    // #IVB: a 32-bit byte count, then pairs of a context number and an offset into #STRINGS.
    const QByteArray ivb = read(QStringLiteral("#IVB"));
    if (ivb.size() < 4)
        return {};
    const QByteArray strings = read(QStringLiteral("#STRINGS"));
    const qsizetype end = std::min<qsizetype>(ivb.size(), 4 + qFromLittleEndian<quint32>(ivb.constData()));
    for (qsizetype at = 4; at + 8 <= end; at += 8) {
        if (qFromLittleEndian<qint32>(ivb.constData() + at) != context)
            continue;
        const quint32 offset = qFromLittleEndian<quint32>(ivb.constData() + at + 4);
        if (offset >= quint32(strings.size()))
            return {};
        return normalisedTopic(zeroTerminated(strings, offset));
    }
    return {};
}

QList<HelpTopic> ParseSitemap(const QString& html)
{
    static const QRegularExpression tag(QStringLiteral("<(/?)(ul|object|param)\\b([^>]*)>"),
                                        QRegularExpression::CaseInsensitiveOption);
    QList<HelpTopic> root;
    // Lists are only ever appended to at the top of the stack, so the pointers below it
    // stay valid.
    QList<QList<HelpTopic>*> stack;
    HelpTopic current;
    bool inSitemapObject = false;
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        const bool closing = !m.captured(1).isEmpty();
        const QString name = m.captured(2).toLower();
        const QString attributes = m.captured(3);
        if (name == QLatin1String("ul")) {
            if (closing) {
                if (!stack.isEmpty())
                    stack.removeLast();
            } else if (stack.isEmpty()) {
                stack.append(&root);
            } else if (!stack.last()->isEmpty()) {
                stack.append(&stack.last()->last().children);
            } else {
                stack.append(stack.last());
            }
        } else if (name == QLatin1String("object")) {
            if (!closing) {
                inSitemapObject = attribute(attributes, QStringLiteral("type"))
                                      .compare(QLatin1String("text/sitemap"), Qt::CaseInsensitive) == 0;
                current = HelpTopic();
            } else if (inSitemapObject) {
                inSitemapObject = false;
                (stack.isEmpty() ? &root : stack.last())->append(current);
            }
        } else if (name == QLatin1String("param") && inSitemapObject) {
            const QString key = attribute(attributes, QStringLiteral("name"));
            const QString value = attribute(attributes, QStringLiteral("value"));
            if (key.compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0)
                current.name = value;
            else if (key.compare(QLatin1String("Local"), Qt::CaseInsensitive) == 0)
                current.local = value;
        }
    }
    return root;
}

} // namespace platform
