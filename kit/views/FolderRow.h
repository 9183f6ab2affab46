#pragma once

#include <QStyledItemDelegate>

namespace ostrel {

// Paints one folder of the sidebar: kind icon, name cut at the end, and the
// unread badge at the trailing edge when there are unread messages.
class FolderRow : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Where the badge goes in a row of this rectangle; empty without unread messages.
    static QRect badgeRect(const QRect &row, qint64 unreadCount);
    static QString badgeText(qint64 unreadCount) { return QString::number(unreadCount); }
};

}  // namespace ostrel
