#include "icons/SymbolIcons.h"

#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QSvgRenderer>

namespace ostrel {

namespace {
// 24 × 24 outlines in the spirit of the system symbols: 1.6 stroke, round
// joins, "C" stands for the tint.
const QHash<QString, const char *> &shapes()
{
    static const QHash<QString, const char *> table{
        {"tray", R"svg(<path d="M3 13l2.5-8h13L21 13v6H3z"/><path d="M3 13h5l1.5 2.5h5L16 13h5"/>)svg"},
        {"paperplane", R"svg(<path d="M3 11.5L21 3l-6.5 18-3-7.5z"/><path d="M11.5 13.5L21 3"/>)svg"},
        {"doc", R"svg(<path d="M6 3h8l4 4v14H6z"/><path d="M14 3v4h4"/>)svg"},
        {"trash", R"svg(<path d="M4 6h16M9 6V4h6v2M6.5 6l1 15h9l1-15"/><path d="M10 10v7M14 10v7"/>)svg"},
        {"archivebox", R"svg(<rect x="3" y="4" width="18" height="5" rx="1"/><path d="M5 9v11h14V9M10 13h4"/>)svg"},
        {"exclamationmark.octagon", R"svg(<path d="M8.3 3h7.4L21 8.3v7.4L15.7 21H8.3L3 15.7V8.3z"/><path d="M12 7.5v6"/><circle cx="12" cy="16.6" r=".4" fill="C"/>)svg"},
        {"calendar", R"svg(<rect x="3.5" y="5" width="17" height="15" rx="2"/><path d="M3.5 9.5h17M8 3v4M16 3v4"/>)svg"},
        {"person.crop.circle", R"svg(<circle cx="12" cy="12" r="9"/><circle cx="12" cy="10" r="3"/><path d="M6.5 18.5c1.5-2.3 3.3-3.3 5.5-3.3s4 1 5.5 3.3"/>)svg"},
        {"note.text", R"svg(<rect x="4" y="4" width="16" height="16" rx="2"/><path d="M8 9h8M8 12.5h8M8 16h5"/>)svg"},
        {"checklist", R"svg(<path d="M4 6.5l1.5 1.5L8 5.5M4 12.5l1.5 1.5L8 11.5M4 18.5l1.5 1.5L8 17.5M11 7h9M11 13h9M11 19h9"/>)svg"},
        {"folder", R"svg(<path d="M3 6.5V18a1 1 0 0 0 1 1h16a1 1 0 0 0 1-1V8.5a1 1 0 0 0-1-1h-8.5L9.5 5H4a1 1 0 0 0-1 1.5z"/>)svg"},
        {"folder.badge.plus", R"svg(<path d="M3 6.5V18a1 1 0 0 0 1 1h9M21 12V8.5a1 1 0 0 0-1-1h-8.5L9.5 5H4a1 1 0 0 0-1 1.5"/><path d="M18 14.5v6M15 17.5h6"/>)svg"},
        {"photo", R"svg(<rect x="3" y="5" width="18" height="14" rx="2"/><circle cx="8.5" cy="10" r="1.6"/><path d="M3.5 17l5-4.5 3.5 3 3-2.5 5.5 4.5"/>)svg"},
        {"film", R"svg(<rect x="4" y="3" width="16" height="18" rx="1.5"/><path d="M8 3v18M16 3v18M4 8h4M4 12h4M4 16h4M16 8h4M16 12h4M16 16h4"/>)svg"},
        {"music.note", R"svg(<path d="M9 18V5l10-2v13"/><circle cx="6.5" cy="18" r="2.5"/><circle cx="16.5" cy="16" r="2.5"/>)svg"},
        {"doc.richtext", R"svg(<path d="M6 3h8l4 4v14H6z"/><path d="M14 3v4h4"/><path d="M8.5 17l2.5-3 2 2 1.5-1.5 1.5 2.5"/><circle cx="10" cy="10.5" r="1"/>)svg"},
        {"doc.text", R"svg(<path d="M6 3h8l4 4v14H6z"/><path d="M14 3v4h4M9 11h6M9 14h6M9 17h4"/>)svg"},
        {"tablecells", R"svg(<rect x="3" y="4" width="18" height="16" rx="2"/><path d="M3 9.5h18M3 15h18M9 4v16M15 4v16"/>)svg"},
        {"rectangle.on.rectangle", R"svg(<rect x="7" y="7" width="14" height="11" rx="1.5"/><path d="M17 7V5.5A1.5 1.5 0 0 0 15.5 4h-11A1.5 1.5 0 0 0 3 5.5v8A1.5 1.5 0 0 0 4.5 15H7"/>)svg"},
        {"doc.zipper", R"svg(<path d="M6 3h8l4 4v14H6z"/><path d="M14 3v4h4M11 3v2h2v2h-2v2h2v2h-2v2"/><rect x="10.5" y="14" width="3" height="3" rx=".5"/>)svg"},
        {"doc.plaintext", R"svg(<path d="M6 3h8l4 4v14H6z"/><path d="M14 3v4h4M9 11h6M9 14h6M9 17h6"/>)svg"},
        {"sidebar.left", R"svg(<rect x="3" y="4" width="18" height="16" rx="2"/><path d="M9.5 4v16M5.5 8h2M5.5 11h2M5.5 14h2"/>)svg"},
        {"magnifyingglass", R"svg(<circle cx="10.5" cy="10.5" r="6"/><path d="M15 15l5.5 5.5"/>)svg"},
        {"envelope", R"svg(<rect x="3" y="5.5" width="18" height="13" rx="2"/><path d="M3.5 6.5L12 13l8.5-6.5"/>)svg"},
        {"paperclip", R"svg(<path d="M16.5 7.5l-7.8 7.8a2 2 0 0 0 2.8 2.8l8-8a4 4 0 0 0-5.6-5.6l-8 8a6 6 0 0 0 8.5 8.5l6.3-6.3"/>)svg"},
        {"exclamationmark.circle.fill", R"svg(<circle cx="12" cy="12" r="9.5" fill="C"/><path d="M12 7v6.5" stroke="W" stroke-width="2.2"/><circle cx="12" cy="16.8" r="1.2" fill="W" stroke="none"/>)svg"},
        {"heart", R"svg(<path d="M12 20s-7.5-4.6-8.7-9.3C2.5 7.5 4.6 5 7.5 5c2 0 3.5 1.2 4.5 2.7C13 6.2 14.5 5 16.5 5c2.9 0 5 2.5 4.2 5.7C19.5 15.4 12 20 12 20z"/>)svg"},
    };
    return table;
}

QByteArray svgFor(const QString &name, const QColor &tint)
{
    const char *shape = shapes().value(name, shapes().value(QStringLiteral("doc")));
    QByteArray body(shape);
    // "C" and "W" in colour attributes stand for the tint and for white.
    const QByteArray colour = tint.name(QColor::HexRgb).toLatin1();
    body.replace("\"C\"", "\"" + colour + "\"");
    body.replace("\"W\"", "\"#ffffff\"");
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 24 24\" fill=\"none\" stroke=\"" + colour
           + "\" stroke-opacity=\"" + QByteArray::number(tint.alphaF(), 'f', 3)
           + "\" stroke-width=\"1.6\" stroke-linecap=\"round\" stroke-linejoin=\"round\">" + body + "</svg>";
}

class SvgIconEngine final : public QIconEngine {
public:
    explicit SvgIconEngine(QByteArray svg) : m_svg(std::move(svg)) {}
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        QSvgRenderer renderer(m_svg);
        painter->save();
        if (mode == QIcon::Disabled)
            painter->setOpacity(0.4);
        renderer.render(painter, QRectF(rect));
        painter->restore();
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        QPixmap pixmap(size * scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size * scale), mode, state);
        painter.end();
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }
    QIconEngine *clone() const override { return new SvgIconEngine(m_svg); }

private:
    QByteArray m_svg;
};
}  // namespace

QIcon symbolIcon(const QString &name, const QColor &tint)
{
    return QIcon(new SvgIconEngine(svgFor(name, tint)));
}

QPixmap symbolPixmap(const QString &name, int size, const QColor &tint, qreal devicePixelRatio)
{
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QSvgRenderer(svgFor(name, tint)).render(&painter);
    painter.end();
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

bool hasSymbol(const QString &name)
{
    return shapes().contains(name);
}

QStringList symbolNames()
{
    QStringList names = shapes().keys();
    names.sort();
    return names;
}

QByteArray applicationIconSvg()
{
    // An envelope over an archive box on a blue rounded square.
    return R"svg(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 128 128">
<defs><linearGradient id="g" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#3d8bfd"/><stop offset="1" stop-color="#1d5fd1"/></linearGradient></defs>
<rect x="6" y="6" width="116" height="116" rx="26" fill="url(#g)"/>
<rect x="24" y="62" width="80" height="42" rx="6" fill="#e8f0fe"/>
<rect x="20" y="52" width="88" height="16" rx="5" fill="#ffffff"/>
<rect x="52" y="76" width="24" height="7" rx="3.5" fill="#1d5fd1"/>
<rect x="34" y="22" width="60" height="38" rx="5" fill="#ffffff" stroke="#1d5fd1" stroke-width="3"/>
<path d="M36 25l28 20 28-20" fill="none" stroke="#1d5fd1" stroke-width="3.5" stroke-linejoin="round"/>
</svg>)svg";
}

QIcon applicationIcon()
{
    QSvgRenderer renderer(applicationIconSvg());
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace ostrel
