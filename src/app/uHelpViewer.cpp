#include "uHelpViewer.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScreen>
#include <QSplitter>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace {

const QLatin1String kTopicScheme("chm");
const int kTopicRole = Qt::UserRole;

QUrl topicUrl(const QString& topic)
{
    QUrl url;
    url.setScheme(kTopicScheme);
    url.setPath(topic.startsWith(u'/') ? topic : u'/' + topic);
    return url;
}

// Reads topics, style sheets and pictures out of the help file.
class HelpBrowser : public QTextBrowser
{
public:
    HelpBrowser(const platform::THelpFile& file, QWidget* parent) : QTextBrowser(parent), m_file(file) {}

    QVariant loadResource(int type, const QUrl& name) override
    {
        if (name.scheme() != kTopicScheme)
            return QTextBrowser::loadResource(type, name);
        const QByteArray bytes = m_file.read(name.path());
        if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource)
            return QString::fromUtf8(bytes);
        return bytes;
    }

private:
    const platform::THelpFile& m_file;
};

} // namespace

THelpViewer::THelpViewer(std::unique_ptr<platform::THelpFile> file, QWidget* parent)
    : QWidget(parent, Qt::Window), m_file(std::move(file))
{
    setObjectName(QStringLiteral("HelpViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    const QString title = m_file->title();
    setWindowTitle(title.isEmpty() ? QCoreApplication::applicationName() + QStringLiteral(" Help") : title);

    auto* splitter = new QSplitter(this);
    tvContents = new QTreeWidget(splitter);
    tvContents->setObjectName(QStringLiteral("tvContents"));
    tvContents->setHeaderHidden(true);
    htmlTopic = new HelpBrowser(*m_file, splitter);
    htmlTopic->setObjectName(QStringLiteral("htmlTopic"));
    htmlTopic->setOpenLinks(false);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 560});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    fillContents(nullptr, m_file->contents());
    tvContents->expandAll();

    connect(tvContents, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item && !item->data(0, kTopicRole).toString().isEmpty())
            showTopic(item->data(0, kTopicRole).toString());
    });
    connect(htmlTopic, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
        const QUrl target = htmlTopic->source().resolved(link);
        if (target.scheme() == kTopicScheme) {
            if (!target.path().isEmpty() && target.path() != htmlTopic->source().path())
                showTopic(target.path());
            else if (target.hasFragment())
                htmlTopic->scrollToAnchor(target.fragment());
        } else {
            QDesktopServices::openUrl(target);
        }
    });
    resize(800, 560);
}

THelpViewer::~THelpViewer() = default;

void THelpViewer::fillContents(QTreeWidgetItem* parent, const QList<platform::HelpTopic>& topics)
{
    for (const platform::HelpTopic& topic : topics) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tvContents);
        item->setText(0, topic.name);
        item->setData(0, kTopicRole, topic.local);
        fillContents(item, topic.children);
    }
}

bool THelpViewer::showTopic(const QString& topic)
{
    QString path = topic;
    QString fragment;
    if (const qsizetype hash = path.indexOf(u'#'); hash >= 0) {
        fragment = path.mid(hash + 1);
        path.truncate(hash);
    }
    if (!m_file->contains(path))
        return false;
    QUrl url = topicUrl(path);
    if (!fragment.isEmpty())
        url.setFragment(fragment);
    if (htmlTopic->source() != url)
        htmlTopic->setSource(url, QTextDocument::HtmlResource);
    selectInContents(path);
    return true;
}

QString THelpViewer::currentTopic() const
{
    return htmlTopic->source().path().mid(1);
}

void THelpViewer::selectInContents(const QString& topic)
{
    const QString wanted = topic.startsWith(u'/') ? topic.mid(1) : topic;
    for (QTreeWidgetItemIterator it(tvContents); *it; ++it) {
        QString local = (*it)->data(0, kTopicRole).toString();
        if (local.startsWith(u'/'))
            local = local.mid(1);
        if (local == wanted) {
            const QSignalBlocker block(tvContents);
            tvContents->setCurrentItem(*it);
            return;
        }
    }
}

THelpRouter::THelpRouter(QObject* owner) : QObject(owner)
{
    setObjectName(QStringLiteral("HelpRouter1"));
    QDesktopServices::setUrlHandler(QLatin1String(kUrlScheme), this, "openHelpUrl");
}

THelpRouter::~THelpRouter()
{
    QDesktopServices::unsetUrlHandler(QLatin1String(kUrlScheme));
    delete m_viewer;
}

void THelpRouter::setHelpFile(const QString& file)
{
    if (file == m_helpFile)
        return;
    m_helpFile = file;
    delete m_viewer;
}

QString THelpRouter::PopupTopicsFile() const
{
    return m_helpFile + QStringLiteral("::/") + QLatin1String(kPopupFile);
}

THelpViewer* THelpRouter::ensureViewer()
{
    if (m_viewer)
        return m_viewer;
    if (m_helpFile.isEmpty() || !QFileInfo(m_helpFile).isFile())
        return nullptr;
    auto file = std::make_unique<platform::THelpFile>(m_helpFile);
    if (!file->isOpen())
        return nullptr;
    m_viewer = new THelpViewer(std::move(file));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        m_viewer->move(screen->availableGeometry().center() - m_viewer->rect().center());
    return m_viewer;
}

namespace {

// Shows the viewer in front. While a modal window (the query window, say) runs, every
// window outside it is blocked, so the viewer becomes a window of that modal one; it
// closes with it and is made afresh for the next request.
void present(THelpViewer* viewer)
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != viewer && viewer->parentWidget() != modal) {
        const QRect geometry = viewer->geometry();
        viewer->setParent(modal, Qt::Window);
        viewer->setGeometry(geometry);
    }
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

} // namespace

bool THelpRouter::HelpContents()
{
    THelpViewer* viewer = ensureViewer();
    if (!viewer)
        return false;
    const platform::THelpFile& file = viewer->file();
    QString topic = file.defaultTopic();
    if (topic.isEmpty()) {
        const QList<platform::HelpTopic> contents = file.contents();
        if (!contents.isEmpty())
            topic = contents.first().local;
    }
    if (viewer->currentTopic().isEmpty() && !viewer->showTopic(topic))
        return false;
    present(viewer);
    return true;
}

bool THelpRouter::HelpContext(int context)
{
    THelpViewer* viewer = ensureViewer();
    if (!viewer || !viewer->showTopic(viewer->file().topicForContext(context)))
        return false;
    present(viewer);
    return true;
}

void THelpRouter::openHelpUrl(const QUrl& url)
{
    const QString request = url.path();
    if (request == QLatin1String("contents")) {
        HelpContents();
    } else if (request.startsWith(QLatin1String("context/"))) {
        bool ok = false;
        const int context = request.mid(8).toInt(&ok);
        if (ok)
            HelpContext(context);
    }
}
