#include "ScreenshotStyle.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>

namespace ostrel {

namespace {

// Inter (Debian's fonts-inter) is the closest free match to the system font
// the window imitates; without it the desktop's own font is used.
const QString preferredFamily = QStringLiteral("Inter");

}  // namespace

QColor ScreenshotStyle::accent()
{
    return QColor(0, 122, 255);
}

QColor ScreenshotStyle::primary()
{
    return QColor(0, 0, 0, 217);
}

QColor ScreenshotStyle::secondary()
{
    return QColor(0, 0, 0, 128);
}

QColor ScreenshotStyle::tertiary()
{
    return QColor(0, 0, 0, 66);
}

QColor ScreenshotStyle::grey(qreal opacity)
{
    QColor colour(142, 142, 147);
    colour.setAlphaF(float(opacity));
    return colour;
}

QColor ScreenshotStyle::red()
{
    return QColor(255, 59, 48);
}

QColor ScreenshotStyle::white(qreal opacity)
{
    QColor colour(255, 255, 255);
    colour.setAlphaF(float(opacity));
    return colour;
}

QColor ScreenshotStyle::separator()
{
    return QColor(0, 0, 0, 26);
}

QColor ScreenshotStyle::sidebarBackground()
{
    return QColor::fromRgbF(0.96f, 0.96f, 0.97f);
}

QColor ScreenshotStyle::titleBarBackground()
{
    return QColor::fromRgbF(0.97f, 0.97f, 0.98f);
}

QFont ScreenshotStyle::system(int size, QFont::Weight weight)
{
    QFont font;
    font.setFamilies({preferredFamily, QFontDatabase::systemFont(QFontDatabase::GeneralFont).family()});
    font.setPixelSize(size);
    font.setWeight(weight);
    font.setStyle(QFont::StyleNormal);
    font.setStyleHint(QFont::SansSerif);
    // Unhinted outlines keep measured and drawn widths equal at scale 2.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QFont ScreenshotStyle::headline()
{
    return system(13, QFont::Bold);
}

QFont ScreenshotStyle::caption(QFont::Weight weight)
{
    return system(10, weight);
}

QFont ScreenshotStyle::caption2()
{
    return system(10, QFont::Medium);
}

QFont ScreenshotStyle::title2(QFont::Weight weight)
{
    return system(17, weight);
}

QLocale ScreenshotStyle::locale()
{
    return QLocale(QLocale::English, QLocale::UnitedStates);
}

QString ScreenshotStyle::number(qint64 value)
{
    QLocale us = locale();
    us.setNumberOptions(QLocale::OmitGroupSeparator);
    return us.toString(value);
}

qreal ScreenshotStyle::symbolSide(const QFont &font)
{
    return qRound(font.pixelSize() * 1.2 * 2) / 2.0;
}

QRectF ScreenshotStyle::symbolOnBaseline(qreal x, qreal baseline, const QFont &font)
{
    const qreal side = symbolSide(font);
    const qreal centre = baseline - QFontMetricsF(font).capHeight() / 2;
    return QRectF(x, centre - side / 2, side, side);
}

TextBox::TextBox(QString t, QFont f) : text(std::move(t)), font(std::move(f))
{
    const QFontMetricsF metrics(font);
    width = metrics.horizontalAdvance(text);
    ascent = metrics.ascent();
    descent = metrics.descent();
    capHeight = metrics.capHeight();
}

TextBox TextBox::elided(qreal maxWidth) const
{
    if (width <= maxWidth)
        return *this;
    return TextBox(QFontMetricsF(font).elidedText(text, Qt::ElideRight, qMax<qreal>(0, maxWidth)), font);
}

void drawText(QPainter &painter, QPointF baselineOrigin, const TextBox &text, const QColor &colour)
{
    painter.setFont(text.font);
    painter.setPen(colour);
    painter.drawText(baselineOrigin, text.text);
}

}  // namespace ostrel
