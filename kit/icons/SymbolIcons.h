#pragma once

#include <QByteArray>
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPainter;

namespace ostrel {

// The symbol names the views use ("tray", "paperplane", "doc.richtext", ...),
// each an SVG of our own shipped as a resource. Symbols are monochrome line
// drawings on a 24 x 24 grid; the caller chooses the colour (its alpha becomes
// the symbol's opacity). An unknown name draws the "doc" symbol, so a missing
// entry shows up as a plain page rather than as nothing.

// Every name of the table, in table order.
QStringList symbolNames();
bool hasSymbol(const QString &name);
// The name actually drawn for `name`: itself, or "doc" when unknown.
QString resolvedSymbolName(const QString &name);

// The symbol's SVG document with its colour set to `tint` (alpha ignored).
QByteArray symbolSvg(const QString &name, const QColor &tint);

// Draws the symbol scaled into `rect` (keeping it square, centred).
void paintSymbol(QPainter &painter, const QRectF &rect, const QString &name, const QColor &tint);

// A pixmap of sizePx x sizePx logical pixels at the given device pixel ratio.
QPixmap symbolPixmap(const QString &name, int sizePx, const QColor &tint, qreal devicePixelRatio = 1.0);

// An icon that renders the symbol crisply at any size and ratio; the disabled
// mode draws it at 40 % of the tint's opacity.
QIcon symbolIcon(const QString &name, const QColor &tint);

// The application's own icon (window icon; also installed for the desktop entry).
QIcon applicationIcon();
// Resource path of the application icon's SVG, and the document itself
// (e.g. to install it for the desktop entry).
QString applicationIconPath();
QByteArray applicationIconSvg();

}  // namespace ostrel
