#pragma once

#include <QDateTime>
#include <QStyledItemDelegate>
#include <functional>

namespace ostrel {

struct MailMessage;

// Paints one message of the list: unread dot, sender, date label, "!!",
// subject, paperclip and the preview line, with the hover highlight.
class MessageRowView : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit MessageRowView(QObject *parent = nullptr);

    // The moment the date labels are measured against; the clock by default.
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }
    QString dateLabel(const MailMessage &message) const;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Geometry of a row, shared with tests that probe the painting.
    static QRect unreadDotRect(const QRect &row);

private:
    std::function<QDateTime()> m_now;
};

}  // namespace ostrel
