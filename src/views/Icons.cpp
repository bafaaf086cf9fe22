// Icons are black-on-transparent SVGs in the resource ":/icons/<symbol>.svg"; each is rendered at the
// requested pixel size and recoloured, so no size is ever scaled from a blurry bitmap. A symbol is parsed
// only when a pixmap of it is missing from the cache: an icon itself is a name and a colour, so a thousand
// buttons cost what their few distinct pixmaps cost.
#include "views/Icons.h"

#include "services/Log.h"

#include <QFile>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <optional>

namespace {

constexpr qreal kDisabledOpacity = 0.4;

QString resourcePath(const QString& symbolName) {
    return QStringLiteral(":/icons/%1.svg").arg(symbolName);
}

bool knownSymbol(const QString& symbolName) {
    if (!symbolName.isEmpty() && QFile::exists(resourcePath(symbolName)))
        return true;
    // Said once: the pixmap cache that holds the symbols' pixmaps also remembers the names that have none
    // (a name the cache lets go of may be said again, which is harmless).
    const QString key = QStringLiteral("qb-icon-unknown:%1").arg(symbolName);
    QPixmap said;
    if (!QPixmapCache::find(key, &said)) {
        Log::line(QStringLiteral("unknown icon symbol \"%1\"").arg(symbolName));
        QPixmap marker(1, 1);
        marker.fill(Qt::transparent);
        QPixmapCache::insert(key, marker);
    }
    return false;
}

// `pixels` is the size in device pixels; the drawing keeps the SVG's aspect ratio, centred.
QPixmap render(const QString& symbolName, QSize pixels, QColor color, QIcon::Mode mode) {
    if (pixels.isEmpty())
        return {};
    if (mode == QIcon::Disabled)
        color.setAlphaF(color.alphaF() * kDisabledOpacity);

    const QString key = QStringLiteral("qb-icon:%1:%2:%3x%4")
                            .arg(symbolName)
                            .arg(color.rgba(), 8, 16, QLatin1Char('0'))
                            .arg(pixels.width())
                            .arg(pixels.height());
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;

    // Each miss parses anew: a renderer is not safe to share between threads, and misses are few.
    QSvgRenderer renderer(resourcePath(symbolName));
    if (!renderer.isValid())
        return {};
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        const QSizeF drawn = QSizeF(renderer.defaultSize()).scaled(QSizeF(pixels), Qt::KeepAspectRatio);
        const QRectF target(
            QPointF((pixels.width() - drawn.width()) / 2.0, (pixels.height() - drawn.height()) / 2.0), drawn);
        renderer.render(&painter, target);
        // Keep the shape's coverage, replace its colour.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color);
    }
    QPixmap result = QPixmap::fromImage(std::move(image));
    QPixmapCache::insert(key, result);
    return result;
}

class TintedSvgEngine final : public QIconEngine {
public:
    TintedSvgEngine(QString symbolName, QColor color)
        : m_symbolName(std::move(symbolName))
        , m_color(color) {}

    QIconEngine* clone() const override { return new TintedSvgEngine(*this); }
    QString key() const override { return QStringLiteral("QuillbayTintedSvg"); }
    bool isNull() override {
        // Parsed once per icon, at the first question (a button asks at every size hint).
        if (!m_valid)
            m_valid = QSvgRenderer(resourcePath(m_symbolName)).isValid();
        return !*m_valid;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        return render(m_symbolName, size, m_color, mode);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
        // QIcon::pixmap(size, dpr) hands in the size already multiplied by the scale (device pixels);
        // tst_Resources checks this, should a later Qt change it.
        QPixmap result = render(m_symbolName, size, m_color, mode);
        result.setDevicePixelRatio(scale);
        return result;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap pm = render(m_symbolName, rect.size() * dpr, m_color, mode);
        pm.setDevicePixelRatio(dpr);
        painter->drawPixmap(rect.topLeft(), pm);
    }

private:
    QString m_symbolName;
    QColor m_color;
    std::optional<bool> m_valid;
};

} // namespace

namespace Icons {

QIcon icon(const QString& symbolName, QColor color) {
    if (!knownSymbol(symbolName))
        return {};
    return QIcon(new TintedSvgEngine(symbolName, color));
}

QPixmap pixmap(const QString& symbolName, QSize size, QColor color, qreal devicePixelRatio) {
    if (!knownSymbol(symbolName))
        return {};
    QPixmap result = render(symbolName, size * devicePixelRatio, color, QIcon::Normal);
    result.setDevicePixelRatio(devicePixelRatio);
    return result;
}

} // namespace Icons
