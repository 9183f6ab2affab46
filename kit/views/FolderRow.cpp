#include "views/FolderRow.h"

#include "icons/SymbolIcons.h"
#include "views/FolderTreeModel.h"
#include "views/Style.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

namespace ostrel {

namespace {
constexpr int kIconFrame = 18;
constexpr int kSpacing = 8;
constexpr int kBadgeHPad = 7;
constexpr int kBadgeVPad = 2;
}  // namespace

QRect FolderRow::badgeRect(const QRect &row, qint64 unreadCount)
{
    if (unreadCount <= 0)
        return {};
    const QFontMetrics metrics(style::caption(QFont::DemiBold));
    const int width = metrics.horizontalAdvance(badgeText(unreadCount)) + 2 * kBadgeHPad;
    const int height = metrics.height() + 2 * kBadgeVPad;
    return QRect(row.right() - 6 - width, row.center().y() - height / 2, width, height);
}

void FolderRow::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette &palette = option.palette;
    // The group of the store's own folders is a heading, not a folder.
    const bool group = index.data(FolderTreeModel::GroupRole).toBool();
    const QColor text = selected ? palette.color(QPalette::HighlightedText)
                        : group  ? style::secondary(palette)
                                 : style::primary(palette);
    const QColor iconTint = selected ? text : style::secondary(palette);

    const QRect row = option.rect.adjusted(4, 1, -2, -1);
    const QRect iconRect(row.left(), row.center().y() - kIconFrame / 2, kIconFrame, kIconFrame);
    symbolIcon(index.data(FolderTreeModel::IconNameRole).toString(), iconTint)
        .paint(painter, iconRect.adjusted(1, 1, -1, -1));

    const qint64 unread = index.data(FolderTreeModel::UnreadCountRole).toLongLong();
    const QRect badge = badgeRect(option.rect, unread);
    const int nameLeft = iconRect.right() + 1 + kSpacing;
    const int nameRight = badge.isEmpty() ? row.right() : badge.left() - kSpacing;
    const QRect nameRect(nameLeft, row.top(), std::max(0, nameRight - nameLeft), row.height());
    const QFont font = style::systemFont(13);
    painter->setFont(font);
    painter->setPen(text);
    const QString name = QFontMetrics(font).elidedText(index.data().toString(), Qt::ElideRight, nameRect.width());
    painter->drawText(nameRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, name);

    if (!badge.isEmpty()) {
        QPainterPath capsule;
        capsule.addRoundedRect(badge, badge.height() / 2.0, badge.height() / 2.0);
        painter->fillPath(capsule, selected ? QColor(255, 255, 255, 90) : style::accent(palette));
        painter->setFont(style::caption(QFont::DemiBold));
        painter->setPen(Qt::white);
        painter->drawText(badge, Qt::AlignCenter, badgeText(unread));
    }
    painter->restore();
}

QSize FolderRow::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(kIconFrame + 2 + 8, QFontMetrics(style::systemFont(13)).height() + 10));
    return size;
}

}  // namespace ostrel
