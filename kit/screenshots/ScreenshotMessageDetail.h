#pragma once

#include "MockView.h"
#include "ScreenshotSamples.h"

#include <QList>
#include <QPointF>
#include <optional>

namespace ostrel {

// The detail column: header block, body, attachments block.
class ScreenshotMessageDetail final : public MockView {
public:
    DetailMessage message;

    struct HeaderRow {
        QString label;
        QString value;
        QPointF labelOrigin;  // baseline origins
        QPointF valueOrigin;
    };
    struct Chip {
        QRectF frame;
        QRectF symbol;
        QPointF nameOrigin;
        QPointF sizeOrigin;
    };
    struct Geometry {
        std::optional<QPointF> kindOrigin;     // the item's kind above the subject
        std::optional<QRectF> headersButton;   // "Show Headers", right of the kind line
        QRectF subject;  // wrapped text box
        QList<HeaderRow> rows;
        std::optional<QRectF> unreadable;      // the quiet line, wrapped
        std::optional<QRectF> badge;
        QRectF badgeSymbol;
        QPointF badgeTextOrigin;
        QRectF headerDivider;
        QRectF body;  // wrapped text box, inside the padding
        QRectF attachmentsDivider;
        QRectF attachments;  // the block with its background
        QPointF attachmentsTitleOrigin;
        QList<Chip> chips;
    };

    explicit ScreenshotMessageDetail(DetailMessage message);

    static QString importanceText();
    static QString headersText();
    QString attachmentsTitle() const;
    Geometry layout(const QRectF &rect) const;
    void paint(QPainter &painter, const QRectF &rect) const override;
};

// A centred symbol over a line of text, for columns with nothing to show.
class ScreenshotEmptyDetailPlaceholder final : public MockView {
public:
    QString icon;
    QString text;

    struct Geometry {
        QRectF symbol;
        QPointF textOrigin;
    };

    ScreenshotEmptyDetailPlaceholder(QString icon, QString text);

    Geometry layout(const QRectF &rect) const;
    void paint(QPainter &painter, const QRectF &rect) const override;
};

}  // namespace ostrel
