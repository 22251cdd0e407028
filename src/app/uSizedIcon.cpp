#include "uSizedIcon.h"

#include <QApplication>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QResource>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <memory>

namespace {

// Shared by the copies Qt makes of an icon: each picture is read and each size made once.
struct Pictures
{
    QString pattern;
    QList<int> drawn;  // ascending
    QList<int> listed;
    QHash<quint64, QPixmap> made; // by size and mode
};

class TSizedIconEngine : public QIconEngine
{
public:
    explicit TSizedIconEngine(std::shared_ptr<Pictures> pictures) : m_pictures(std::move(pictures)) {}

    QIconEngine* clone() const override { return new TSizedIconEngine(m_pictures); }
    QString key() const override { return QStringLiteral("TSizedIconEngine"); }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const int side : std::as_const(m_pictures->listed))
            sizes.append(QSize(side, side));
        return sizes;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override
    {
        if (size.isEmpty())
            return QPixmap();
        const quint64 key = quint64(size.width()) << 40 | quint64(size.height()) << 8 | quint64(mode);
        const auto found = m_pictures->made.constFind(key);
        if (found != m_pictures->made.cend())
            return *found;
        QPixmap pixmap = make(size);
        if (mode != QIcon::Normal && qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QStyleOption option;
            option.palette = QApplication::palette();
            pixmap = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
        }
        m_pictures->made.insert(key, pixmap);
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
    // The picture of the size, or the nearest larger one (the largest when none is)
    // scaled down to it.
    QPixmap make(const QSize& size) const
    {
        const QList<int>& drawn = m_pictures->drawn;
        const int side = std::max(size.width(), size.height());
        const auto larger = std::lower_bound(drawn.begin(), drawn.end(), side);
        const int from = larger == drawn.end() ? drawn.last() : *larger;
        const QResource resource(m_pictures->pattern.arg(from));
        const QByteArray pixels = resource.uncompressedData(); // shares the stored bytes
        if (pixels.size() != qsizetype(from) * from * 4)
            return QPixmap();
        const QImage picture(reinterpret_cast<const uchar*>(pixels.constData()), from, from,
                             QImage::Format_ARGB32_Premultiplied);
        return QPixmap::fromImage(picture.size() == size
                                      ? picture
                                      : picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }

    std::shared_ptr<Pictures> m_pictures;
};

} // namespace

QIcon SizedIcon(const QString& pattern, const QList<int>& drawnSizes, const QList<int>& listedSizes)
{
    auto pictures = std::make_shared<Pictures>();
    pictures->pattern = pattern;
    pictures->drawn = drawnSizes;
    std::sort(pictures->drawn.begin(), pictures->drawn.end());
    pictures->listed = listedSizes;
    return QIcon(new TSizedIconEngine(std::move(pictures)));
}
