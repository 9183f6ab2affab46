#include "SymbolIcons.h"

#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QtMath>
#include <cmath>

// Resources of a static library are linked only when something refers to them.
static void initialiseSymbolResources()
{
    Q_INIT_RESOURCE(ostrel_icons);
}

namespace ostrel {

namespace {

const QString fallbackName = QStringLiteral("doc");

// The one table: symbol name -> our own drawing. Folder kinds, attachment
// kinds, then the window's own controls and states.
const char *const symbolTable[] = {
    "tray",
    "paperplane",
    "doc",
    "trash",
    "archivebox",
    "exclamationmark.octagon",
    "calendar",
    "person.crop.circle",
    "note.text",
    "checklist",
    "folder",
    "photo",
    "film",
    "music.note",
    "doc.richtext",
    "doc.text",
    "tablecells",
    "rectangle.on.rectangle",
    "doc.zipper",
    "doc.plaintext",
    "folder.badge.plus",
    "sidebar.left",
    "magnifyingglass",
    "envelope",
    "paperclip",
    "exclamationmark.circle.fill",
    "heart",
};

struct SymbolStore {
    QStringList names;
    QHash<QString, QByteArray> documents;
};

const SymbolStore &store()
{
    static const SymbolStore loaded = [] {
        initialiseSymbolResources();
        SymbolStore s;
        for (const char *entry : symbolTable) {
            const QString name = QString::fromLatin1(entry);
            QFile file(QStringLiteral(":/ostrel/symbols/%1.svg").arg(name));
            // A resource that is missing here is a build fault; the fallback
            // still draws something and the icon tests catch it.
            if (file.open(QIODevice::ReadOnly)) {
                s.names.append(name);
                s.documents.insert(name, file.readAll());
            }
        }
        return s;
    }();
    return loaded;
}

QByteArray tinted(const QByteArray &document, const QColor &tint)
{
    QByteArray result = document;
    const QColor opaque = tint.isValid() ? tint : QColor(Qt::black);
    result.replace("currentColor", opaque.name(QColor::HexRgb).toLatin1());
    return result;
}

void renderSvg(QPainter &painter, const QRectF &rect, const QByteArray &document, qreal opacity)
{
    QSvgRenderer renderer(document);
    if (!renderer.isValid() || opacity <= 0 || rect.isEmpty())
        return;
    const qreal side = qMin(rect.width(), rect.height());
    const QRectF square(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (opacity >= 1) {
        renderer.render(&painter, square);
        painter.restore();
        return;
    }

    // Translucent: draw the symbol once at full strength and blend the result,
    // so strokes that overlap do not darken where they meet.
    const QTransform toDevice = painter.deviceTransform();
    if (toDevice.type() <= QTransform::TxScale) {
        const QRectF deviceRect = toDevice.mapRect(square);
        const QRect aligned = deviceRect.toAlignedRect();
        QImage layer(aligned.size(), QImage::Format_ARGB32_Premultiplied);
        if (!layer.isNull()) {
            layer.fill(Qt::transparent);
            QPainter layerPainter(&layer);
            layerPainter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&layerPainter, deviceRect.translated(-aligned.topLeft()));
            layerPainter.end();
            // Back in device pixels, so the layer lands without resampling. Only the
            // world part may be replaced: the rest of the device transform (a widget's
            // offset in its window, a viewport, the pixel ratio) still applies after it.
            painter.setWorldTransform(toDevice.inverted() * painter.worldTransform());
            painter.setOpacity(painter.opacity() * opacity);
            painter.drawImage(aligned.topLeft(), layer);
        }
    } else {
        const qreal scale = std::sqrt(qAbs(toDevice.determinant()));
        const int pixels = qMax(1, qCeil(side * scale));
        QImage layer(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
        if (!layer.isNull()) {
            layer.fill(Qt::transparent);
            QPainter layerPainter(&layer);
            layerPainter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&layerPainter, QRectF(0, 0, pixels, pixels));
            layerPainter.end();
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.setOpacity(painter.opacity() * opacity);
            painter.drawImage(square, layer);
        }
    }
    painter.restore();
}

QImage renderImage(const QByteArray &document, const QSize &devicePixels, qreal opacity)
{
    QImage image(devicePixels, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderSvg(painter, QRectF(QPointF(0, 0), QSizeF(devicePixels)), document, opacity);
    return image;
}

// Renders one SVG document at whatever size and ratio the icon is asked for.
class SvgIconEngine final : public QIconEngine {
public:
    SvgIconEngine(QByteArray document, qreal opacity, QString name)
        : m_document(std::move(document)), m_opacity(opacity), m_name(std::move(name))
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        renderSvg(*painter, rect, m_document, opacityFor(mode));
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        return QPixmap::fromImage(renderImage(m_document, size, opacityFor(mode)));
    }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        // Qt 6.4 passes the size already in device pixels here.
        QPixmap result = pixmap(size, mode, state);
        result.setDevicePixelRatio(scale);
        return result;
    }

    QIconEngine *clone() const override { return new SvgIconEngine(m_document, m_opacity, m_name); }
    QString key() const override { return QStringLiteral("ostrel.svg"); }
    QString iconName() override { return m_name; }
    bool isNull() override { return m_document.isEmpty(); }

private:
    qreal opacityFor(QIcon::Mode mode) const { return mode == QIcon::Disabled ? m_opacity * 0.4 : m_opacity; }

    QByteArray m_document;
    qreal m_opacity;
    QString m_name;
};

qreal opacityOf(const QColor &tint)
{
    return tint.isValid() ? tint.alphaF() : 1.0;
}

}  // namespace

QStringList symbolNames()
{
    return store().names;
}

bool hasSymbol(const QString &name)
{
    return store().documents.contains(name);
}

QString resolvedSymbolName(const QString &name)
{
    return hasSymbol(name) ? name : fallbackName;
}

QByteArray symbolSvg(const QString &name, const QColor &tint)
{
    return tinted(store().documents.value(resolvedSymbolName(name)), tint);
}

void paintSymbol(QPainter &painter, const QRectF &rect, const QString &name, const QColor &tint)
{
    renderSvg(painter, rect, symbolSvg(name, tint), opacityOf(tint));
}

QPixmap symbolPixmap(const QString &name, int sizePx, const QColor &tint, qreal devicePixelRatio)
{
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const int side = qMax(1, qRound(sizePx * ratio));
    QPixmap pixmap = QPixmap::fromImage(
        renderImage(symbolSvg(name, tint), QSize(side, side), opacityOf(tint)));
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QIcon symbolIcon(const QString &name, const QColor &tint)
{
    return QIcon(new SvgIconEngine(symbolSvg(name, tint), opacityOf(tint), resolvedSymbolName(name)));
}

QString applicationIconPath()
{
    store();  // makes sure the resources are registered
    return QStringLiteral(":/ostrel/ostrel.svg");
}

QByteArray applicationIconSvg()
{
    QFile file(applicationIconPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QIcon applicationIcon()
{
    return QIcon(new SvgIconEngine(applicationIconSvg(), 1.0, QStringLiteral("ostrel")));
}

}  // namespace ostrel
