#include "views/Style.h"

#include <QApplication>

namespace ostrel::style {

QFont systemFont(qreal pointSize, QFont::Weight weight)
{
    QFont font = QApplication::font();
    font.setPixelSize(qRound(pointSize));
    font.setWeight(weight);
    return font;
}

QFont headline()
{
    return systemFont(13, QFont::DemiBold);
}

QFont caption(QFont::Weight weight)
{
    return systemFont(10, weight);
}

QFont caption2()
{
    return systemFont(10);
}

QFont title2()
{
    return systemFont(17, QFont::Bold);
}

QColor accent(const QPalette &palette)
{
    return palette.color(QPalette::Active, QPalette::Highlight);
}

QColor primary(const QPalette &palette)
{
    return palette.color(QPalette::WindowText);
}

QColor secondary(const QPalette &palette)
{
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.55f);
    return c;
}

QColor tertiary(const QPalette &palette)
{
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.3f);
    return c;
}

QColor grey(qreal opacity)
{
    QColor c(142, 142, 147);
    c.setAlphaF(float(opacity));
    return c;
}

}  // namespace ostrel::style
