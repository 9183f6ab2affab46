#pragma once

#include <QColor>
#include <QFont>
#include <QLocale>
#include <QPointF>
#include <QRectF>
#include <QString>

class QPainter;

namespace ostrel {

// Colours, fonts and small drawing helpers of the mock views. Sizes are
// points, drawn as logical pixels. The look is fixed (not the desktop's
// palette or font settings) so the pictures come out the same everywhere.
class ScreenshotStyle {
public:
    // Colours.
    static QColor accent();
    static QColor primary();
    static QColor secondary();
    static QColor tertiary();
    static QColor grey(qreal opacity);
    static QColor red();
    static QColor white(qreal opacity = 1.0);
    static QColor separator();
    static QColor sidebarBackground();   // 0.96, 0.96, 0.97
    static QColor titleBarBackground();  // 0.97, 0.97, 0.98

    // Fonts: the system font at a size and weight, and the named text styles.
    static QFont system(int size, QFont::Weight weight = QFont::Normal);
    static QFont headline();
    static QFont caption(QFont::Weight weight = QFont::Normal);
    static QFont caption2();
    static QFont title2(QFont::Weight weight = QFont::Normal);
    static QFont body() { return system(13); }

    // Formatting is US English whatever the user's locale.
    static QLocale locale();
    static QString number(qint64 value);

    // The square a symbol occupies when drawn at a font's size.
    static qreal symbolSide(const QFont &font);
    // A symbol square standing on a text baseline the way a glyph would.
    static QRectF symbolOnBaseline(qreal x, qreal baseline, const QFont &font);
};

// One line of text measured in a font.
struct TextBox {
    QString text;
    QFont font;
    qreal width = 0;
    qreal ascent = 0;
    qreal descent = 0;
    qreal capHeight = 0;

    TextBox() = default;
    TextBox(QString text, QFont font);
    qreal height() const { return ascent + descent; }
    // The same text cut with an ellipsis at the end to fit `maxWidth`.
    TextBox elided(qreal maxWidth) const;
};

void drawText(QPainter &painter, QPointF baselineOrigin, const TextBox &text, const QColor &colour);

}  // namespace ostrel
