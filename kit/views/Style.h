#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QWidget>

namespace ostrel::style {

// The window's text styles and tints, in logical pixels.
QFont systemFont(qreal pointSize, QFont::Weight weight = QFont::Normal);
QFont headline();
QFont caption(QFont::Weight weight = QFont::Normal);
QFont caption2();
QFont title2();

QColor accent(const QPalette &palette);
QColor primary(const QPalette &palette);
QColor secondary(const QPalette &palette);
QColor tertiary(const QPalette &palette);
QColor grey(qreal opacity);

}  // namespace ostrel::style
