#include "views/MessageRowView.h"

#include "icons/SymbolIcons.h"
#include "model/MessageRow.h"
#include "views/Formatting.h"
#include "views/MessageListModel.h"
#include "views/Style.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

namespace ostrel {

namespace {
constexpr int kVPad = 6;
constexpr int kHPad = 4;
constexpr int kInset = 8;
constexpr int kDotColumn = 10;
constexpr int kDot = 8;
constexpr int kGap = 8;
constexpr int kLineGap = 2;

QFont senderFont(bool read)
{
    return style::systemFont(13, read ? QFont::Normal : QFont::DemiBold);
}

QFont subjectFont(bool read)
{
    return style::systemFont(12, read ? QFont::Normal : QFont::DemiBold);
}
}  // namespace

MessageRowView::MessageRowView(QObject *parent)
    : QStyledItemDelegate(parent), m_now([] { return QDateTime::currentDateTime(); })
{
}

QString MessageRowView::dateLabel(const MessageRow &row) const
{
    return row.date == 0 ? QString() : rowDateLabel(row.date, m_now());
}

QRect MessageRowView::unreadDotRect(const QRect &row)
{
    const int left = row.left() + kInset + kHPad + (kDotColumn - kDot) / 2;
    return QRect(left, row.top() + kVPad + 6, kDot, kDot);
}

void MessageRowView::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const auto *model = qobject_cast<const MessageListModel *>(index.model());
    const MessageRow *message = model ? model->row(index) : nullptr;
    if (!message)
        return;

    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.state &= ~QStyle::State_MouseOver;  // the row draws its own hover
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QPalette &palette = option.palette;
    const bool selected = option.state & QStyle::State_Selected;
    const QRect content = option.rect.adjusted(kInset, 0, -kInset, 0);

    if ((option.state & QStyle::State_MouseOver) && !selected) {
        QPainterPath hover;
        hover.addRoundedRect(QRectF(content), 4, 4);
        painter->fillPath(hover, style::grey(0.08));
    }
    // Separator under every row.
    painter->setPen(style::grey(0.25));
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());

    const QColor primaryText = selected ? palette.color(QPalette::HighlightedText) : style::primary(palette);
    const QColor secondaryText = selected ? palette.color(QPalette::HighlightedText) : style::secondary(palette);
    const bool read = message->isRead;

    if (!read) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(selected ? palette.color(QPalette::HighlightedText) : style::accent(palette));
        painter->drawEllipse(unreadDotRect(option.rect));
    }

    const int left = content.left() + kHPad + kDotColumn + kGap;
    const int right = content.right() - kHPad;
    int y = content.top() + kVPad;

    // First line: sender, then the date label at its natural width.
    const QFontMetrics senderMetrics(senderFont(read));
    const QFontMetrics captionMetrics(style::caption());
    const QString date = dateLabel(*message);
    const int dateWidth = captionMetrics.horizontalAdvance(date);
    const int lineOne = std::max(senderMetrics.height(), captionMetrics.height());
    const QString sender = message->sender();
    painter->setFont(senderFont(read));
    painter->setPen(primaryText);
    const int senderWidth = std::max(0, right - dateWidth - 4 - left);
    painter->drawText(QRect(left, y, senderWidth, lineOne), Qt::AlignLeft | Qt::AlignBottom,
                      senderMetrics.elidedText(sender, Qt::ElideRight, senderWidth));
    painter->setFont(style::caption());
    painter->setPen(secondaryText);
    painter->drawText(QRect(right - dateWidth, y, dateWidth, lineOne), Qt::AlignRight | Qt::AlignBottom, date);
    y += lineOne + kLineGap;

    // Second line: "!!", subject, paperclip.
    const QFontMetrics subjectMetrics(subjectFont(read));
    const int lineTwo = subjectMetrics.height();
    int x = left;
    if (message->importance == MessageImportance::high) {
        const QFont bang = style::systemFont(12, QFont::Bold);
        painter->setFont(bang);
        painter->setPen(QColor(255, 59, 48));
        const int w = QFontMetrics(bang).horizontalAdvance(QStringLiteral("!!"));
        painter->drawText(QRect(x, y, w, lineTwo), Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("!!"));
        x += w + 6;
    }
    // Items that are not mail carry the symbol of their kind before the subject.
    if (const ItemKind kind = itemKindFromClass(message->messageClass); kind != ItemKind::mail) {
        const int icon = captionMetrics.height();
        symbolIcon(itemKindIconName(kind), secondaryText).paint(painter, QRect(x, y + (lineTwo - icon) / 2, icon, icon));
        x += icon + 4;
    }
    const int clip = message->hasAttachments ? captionMetrics.height() : 0;
    const int subjectWidth = std::max(0, right - (clip ? clip + 4 : 0) - x);
    painter->setFont(subjectFont(read));
    painter->setPen(primaryText);
    const QString subject = message->subject.isEmpty() ? tr("(no subject)") : message->subject;
    painter->drawText(QRect(x, y, subjectWidth, lineTwo), Qt::AlignLeft | Qt::AlignBottom,
                      subjectMetrics.elidedText(subject, Qt::ElideRight, subjectWidth));
    if (clip)
        symbolIcon(QStringLiteral("paperclip"), secondaryText)
            .paint(painter, QRect(right - clip, y + (lineTwo - clip) / 2, clip, clip));
    y += lineTwo + kLineGap;

    // Third line: the preview, once it has been read.
    const std::optional<QString> line = m_preview ? m_preview(message->id) : std::nullopt;
    const QString preview = !line ? QString() : line->isEmpty() ? tr("(no content)") : *line;
    painter->setFont(style::caption());
    painter->setPen(secondaryText);
    painter->drawText(QRect(left, y, right - left, captionMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      captionMetrics.elidedText(preview, Qt::ElideRight, right - left));
    painter->restore();
}

QSize MessageRowView::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    const int lineOne = std::max(QFontMetrics(senderFont(false)).height(), QFontMetrics(style::caption()).height());
    const int lineTwo = QFontMetrics(subjectFont(false)).height();
    const int lineThree = QFontMetrics(style::caption()).height();
    // No width of its own: rows take the column's width and elide, so the
    // list never scrolls sideways.
    Q_UNUSED(option);
    return QSize(0, kVPad * 2 + lineOne + lineTwo + lineThree + 2 * kLineGap + 1);
}

}  // namespace ostrel
