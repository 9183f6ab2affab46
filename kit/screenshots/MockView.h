#pragma once

#include <QRectF>

class QPainter;

namespace ostrel {

// One of the simplified views the pictures are drawn from. A view paints
// itself into the rectangle it is given; sizes are points (logical pixels).
class MockView {
public:
    virtual ~MockView() = default;
    virtual void paint(QPainter &painter, const QRectF &rect) const = 0;
};

}  // namespace ostrel
