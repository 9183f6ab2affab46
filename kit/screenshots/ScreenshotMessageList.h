#pragma once

#include "MockView.h"
#include "ScreenshotSamples.h"

#include <QList>
#include <QPointF>
#include <optional>

namespace ostrel {

// One message of the list: unread dot, sender and date, importance mark,
// subject and clip, preview.
class ScreenshotMessageRow {
public:
    SampleMessage msg;
    bool isSelected = false;

    struct Geometry {
        QRectF row;
        std::optional<QRectF> dot;
        QPointF senderOrigin;
        qreal senderWidth = 0;
        QPointF dateOrigin;
        std::optional<QPointF> importanceOrigin;  // the red "!!"
        QPointF subjectOrigin;
        qreal subjectWidth = 0;
        std::optional<QRectF> paperclip;
        QPointF previewOrigin;
        qreal previewWidth = 0;
    };

    static constexpr qreal dotSize = 8;

    qreal height() const;
    Geometry layout(const QRectF &row) const;
    void paint(QPainter &painter, const QRectF &row) const;
};

class ScreenshotMessageList final : public MockView {
public:
    QList<SampleMessage> messages;
    QString selectedSubject;
    QString headerTitle;
    std::optional<QString> headerSubtitle;
    std::optional<QString> searchText;

    struct Geometry {
        QRectF header;
        QPointF titleOrigin;
        std::optional<QPointF> subtitleOrigin;
        QList<QRectF> dividers;  // under the header and under every row
        QList<ScreenshotMessageRow::Geometry> rows;  // one per message, in order
    };

    ScreenshotMessageList(QList<SampleMessage> messages, QString selectedSubject, QString headerTitle,
                          std::optional<QString> headerSubtitle, std::optional<QString> searchText);

    // The line under the title: the result count with a search, else the subtitle.
    std::optional<QString> subtitleLine() const;
    QList<ScreenshotMessageRow> rows() const;
    Geometry layout(const QRectF &rect) const;
    void paint(QPainter &painter, const QRectF &rect) const override;
};

}  // namespace ostrel
