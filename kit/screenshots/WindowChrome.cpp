#include "WindowChrome.h"

#include "ScreenshotStyle.h"
#include "icons/SymbolIcons.h"

#include <QPainter>

namespace ostrel {

namespace {

constexpr qreal horizontalPadding = 14;
constexpr qreal spacing = 8;

TextBox buttonLabel()
{
    return TextBox(WindowChrome::buttonText(), ScreenshotStyle::system(13, QFont::Medium));
}

}  // namespace

WindowChrome::WindowChrome(std::optional<QString> t, std::shared_ptr<const MockView> c)
    : title(std::move(t)), content(std::move(c))
{
}

QString WindowChrome::buttonText()
{
    return QStringLiteral("Open PST File");
}

WindowChrome::Geometry WindowChrome::layout(const QRectF &rect) const
{
    Geometry g;
    g.titleBar = QRectF(rect.left(), rect.top(), rect.width(), titleBarHeight);
    g.divider = QRectF(rect.left(), g.titleBar.bottom(), rect.width(), 1);
    g.content = QRectF(rect.left(), g.divider.bottom(), rect.width(), rect.bottom() - g.divider.bottom());

    const qreal centre = g.titleBar.center().y();
    const TextBox label = buttonLabel();
    const qreal symbol = ScreenshotStyle::symbolSide(label.font);
    const qreal innerHeight = qMax(symbol, label.height());
    g.button = QRectF(rect.left() + horizontalPadding, centre - innerHeight / 2 - 5, 10 + symbol + 6 + label.width + 10,
                      innerHeight + 10);
    g.buttonSymbol = QRectF(g.button.left() + 10, centre - symbol / 2, symbol, symbol);
    g.buttonTextOrigin = QPointF(g.buttonSymbol.right() + 6, centre - label.height() / 2 + label.ascent);

    if (title) {
        // Two equal flexible spaces around the title, 8 points from each neighbour.
        const TextBox text(*title, ScreenshotStyle::headline());
        const qreal inner = rect.width() - 2 * horizontalPadding;
        const qreal flexible = qMax<qreal>(0, (inner - g.button.width() - text.width - 3 * spacing) / 2);
        const qreal x = g.button.right() + spacing + flexible + spacing;
        g.title = QRectF(x, centre - text.height() / 2, text.width, text.height());
    }
    return g;
}

void WindowChrome::paint(QPainter &painter, const QRectF &rect) const
{
    const Geometry g = layout(rect);
    painter.fillRect(rect, Qt::white);
    painter.fillRect(g.titleBar, ScreenshotStyle::titleBarBackground());
    painter.fillRect(g.divider, ScreenshotStyle::separator());

    painter.setPen(Qt::NoPen);
    painter.setBrush(ScreenshotStyle::grey(0.12));
    painter.drawRoundedRect(g.button, 6, 6);
    paintSymbol(painter, g.buttonSymbol, QStringLiteral("folder.badge.plus"), ScreenshotStyle::primary());
    drawText(painter, g.buttonTextOrigin, buttonLabel(), ScreenshotStyle::primary());

    if (title && g.title) {
        const TextBox text(*title, ScreenshotStyle::headline());
        drawText(painter, QPointF(g.title->left(), g.title->top() + text.ascent), text, ScreenshotStyle::primary());
    }

    if (content) {
        painter.save();
        painter.setClipRect(g.content);
        content->paint(painter, g.content);
        painter.restore();
    }
}

}  // namespace ostrel
