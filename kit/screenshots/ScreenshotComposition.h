#pragma once

#include "MockView.h"

#include <memory>

namespace ostrel {

// The window's three columns side by side, with no spacing: a fixed 240-point
// left column, a divider, a fixed 380-point middle column, a divider and the
// rest on the right.
class ScreenshotComposition final : public MockView {
public:
    std::shared_ptr<const MockView> left;
    std::shared_ptr<const MockView> middle;
    std::shared_ptr<const MockView> right;

    static constexpr qreal leftWidth = 240;
    static constexpr qreal middleWidth = 380;
    static constexpr qreal dividerWidth = 1;

    struct Columns {
        QRectF left;
        QRectF leftDivider;
        QRectF middle;
        QRectF middleDivider;
        QRectF right;
    };

    ScreenshotComposition(std::shared_ptr<const MockView> left, std::shared_ptr<const MockView> middle,
                          std::shared_ptr<const MockView> right);

    static Columns columns(const QRectF &rect);
    void paint(QPainter &painter, const QRectF &rect) const override;
};

}  // namespace ostrel
