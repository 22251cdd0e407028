#include "uSvgIcon.h"

#include <QApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>

#include <memory>

namespace {

// The sizes a window manager is offered; any other size is drawn when asked for. Larger
// ones cost most (the drawing time grows with the pixels: 128 alone took as long as the
// rest together), and a desktop that shows big icons takes the installed scalable one.
constexpr int kListedSizes[] = {16, 24, 32, 48, 64};

// Shared by the copies Qt makes of an icon: the file is read once and each size drawn once.
struct SvgSource
{
    QString fileName;
    std::unique_ptr<QSvgRenderer> renderer; // made on the first drawing
    QHash<quint64, QPixmap> drawn;          // by size and mode
};

class TSvgIconEngine : public QIconEngine
{
public:
    explicit TSvgIconEngine(std::shared_ptr<SvgSource> source) : m_source(std::move(source)) {}

    QIconEngine* clone() const override { return new TSvgIconEngine(m_source); }
    QString key() const override { return QStringLiteral("TSvgIconEngine"); }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const int side : kListedSizes)
            sizes.append(QSize(side, side));
        return sizes;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override
    {
        if (size.isEmpty())
            return QPixmap();
        const quint64 key = quint64(size.width()) << 40 | quint64(size.height()) << 8 | quint64(mode);
        const auto found = m_source->drawn.constFind(key);
        if (found != m_source->drawn.cend())
            return *found;
        QPixmap pixmap = draw(size);
        if (mode != QIcon::Normal && qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QStyleOption option;
            option.palette = QApplication::palette();
            pixmap = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
        }
        m_source->drawn.insert(key, pixmap);
        return pixmap;
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        QPixmap pixmap = this->pixmap(size * scale, mode, state);
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, ratio));
    }

private:
    QPixmap draw(const QSize& size) const
    {
        if (!m_source->renderer)
            m_source->renderer = std::make_unique<QSvgRenderer>(m_source->fileName);
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        m_source->renderer->render(&painter);
        return pixmap;
    }

    std::shared_ptr<SvgSource> m_source;
};

} // namespace

QIcon SvgIcon(const QString& fileName)
{
    auto source = std::make_shared<SvgSource>();
    source->fileName = fileName;
    return QIcon(new TSvgIconEngine(std::move(source)));
}
