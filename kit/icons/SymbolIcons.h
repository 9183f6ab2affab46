#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

namespace ostrel {

// The icon for a design symbol name ("tray", "paperplane", ...) in one tint.
// An unknown name gives the plain document icon.
QIcon symbolIcon(const QString &name, const QColor &tint);
QPixmap symbolPixmap(const QString &name, int size, const QColor &tint, qreal devicePixelRatio = 1.0);
bool hasSymbol(const QString &name);
QStringList symbolNames();

// The application's own icon, in colour.
QIcon applicationIcon();
QByteArray applicationIconSvg();

}  // namespace ostrel
