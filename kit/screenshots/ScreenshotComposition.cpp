#include "ScreenshotComposition.h"

#include "ScreenshotStyle.h"

#include <QPainter>

namespace ostrel {

ScreenshotComposition::ScreenshotComposition(std::shared_ptr<const MockView> l, std::shared_ptr<const MockView> m,
                                             std::shared_ptr<const MockView> r)
    : left(std::move(l)), middle(std::move(m)), right(std::move(r))
{
}

ScreenshotComposition::Columns ScreenshotComposition::columns(const QRectF &rect)
{
    Columns c;
    c.left = QRectF(rect.left(), rect.top(), leftWidth, rect.height());
    c.leftDivider = QRectF(c.left.right(), rect.top(), dividerWidth, rect.height());
    c.middle = QRectF(c.leftDivider.right(), rect.top(), middleWidth, rect.height());
    c.middleDivider = QRectF(c.middle.right(), rect.top(), dividerWidth, rect.height());
    c.right = QRectF(c.middleDivider.right(), rect.top(), qMax<qreal>(0, rect.right() - c.middleDivider.right()),
                     rect.height());
    return c;
}

void ScreenshotComposition::paint(QPainter &painter, const QRectF &rect) const
{
    const Columns c = columns(rect);
    const auto paintColumn = [&painter](const std::shared_ptr<const MockView> &view, const QRectF &column) {
        if (!view)
            return;
        painter.save();
        painter.setClipRect(column, Qt::IntersectClip);
        view->paint(painter, column);
        painter.restore();
    };
    paintColumn(left, c.left);
    paintColumn(middle, c.middle);
    paintColumn(right, c.right);
    painter.fillRect(c.leftDivider, Qt::white);
    painter.fillRect(c.leftDivider, ScreenshotStyle::separator());
    painter.fillRect(c.middleDivider, Qt::white);
    painter.fillRect(c.middleDivider, ScreenshotStyle::separator());
}

}  // namespace ostrel
