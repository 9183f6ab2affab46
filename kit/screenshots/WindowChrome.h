#pragma once

#include "MockView.h"

#include <QPointF>
#include <QString>
#include <memory>
#include <optional>

namespace ostrel {

// The window around the columns: a title bar with the "Open PST File" button
// look-alike and the optional title, a divider, then the content.
class WindowChrome final : public MockView {
public:
    std::optional<QString> title;
    std::shared_ptr<const MockView> content;

    static constexpr qreal titleBarHeight = 40;

    struct Geometry {
        QRectF titleBar;
        QRectF button;  // the rounded rectangle
        QRectF buttonSymbol;
        QPointF buttonTextOrigin;  // baseline origin
        std::optional<QRectF> title;  // the title text's box
        QRectF divider;
        QRectF content;
    };

    WindowChrome(std::optional<QString> title, std::shared_ptr<const MockView> content);

    Geometry layout(const QRectF &rect) const;
    void paint(QPainter &painter, const QRectF &rect) const override;

    static QString buttonText();
};

}  // namespace ostrel
