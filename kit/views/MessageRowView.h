#pragma once

#include <QDateTime>
#include <QStyledItemDelegate>
#include <QUuid>
#include <functional>
#include <optional>

namespace ostrel {

struct MessageRow;

// Paints one message of the list: unread dot, sender, date label, "!!",
// subject, paperclip and the preview line, with the hover highlight.
class MessageRowView : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit MessageRowView(QObject *parent = nullptr);

    // The moment the date labels are measured against; the clock by default.
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }
    QString dateLabel(const MessageRow &row) const;
    // Where the preview lines come from: a cached line, or none yet (the
    // source is then expected to fetch it and repaint).
    void setPreviewSource(std::function<std::optional<QString>(const QUuid &)> source)
    {
        m_preview = std::move(source);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Geometry of a row, shared with tests that probe the painting.
    static QRect unreadDotRect(const QRect &row);

private:
    std::function<QDateTime()> m_now;
    std::function<std::optional<QString>(const QUuid &)> m_preview;
};

}  // namespace ostrel
