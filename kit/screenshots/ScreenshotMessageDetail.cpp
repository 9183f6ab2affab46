#include "ScreenshotMessageDetail.h"

#include "ScreenshotStyle.h"
#include "icons/SymbolIcons.h"

#include <QFontMetricsF>
#include <QPainter>

namespace ostrel {

namespace {

constexpr qreal headerHorizontalPadding = 16;
constexpr qreal headerVerticalPadding = 12;
constexpr qreal headerSpacing = 6;
constexpr qreal labelFrame = 50;
constexpr qreal bodyPadding = 16;
constexpr int wrapFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

QFont subjectFont()
{
    return ScreenshotStyle::title2(QFont::Bold);
}

QFont badgeFont()
{
    return ScreenshotStyle::caption(QFont::DemiBold);
}

QFont kindFont()
{
    return ScreenshotStyle::caption(QFont::DemiBold);
}

QFont headersFont()
{
    return ScreenshotStyle::system(12, QFont::Medium);
}

QRectF wrappedBox(const QFont &font, const QString &text, qreal left, qreal top, qreal width)
{
    const QRectF bounds = QFontMetricsF(font).boundingRect(QRectF(left, top, width, 1e6), wrapFlags, text);
    return QRectF(left, top, width, bounds.height());
}

TextBox chipName(const DetailAttachment &attachment)
{
    return TextBox(attachment.filename, ScreenshotStyle::system(12, QFont::Medium));
}

TextBox chipSize(const DetailAttachment &attachment)
{
    return TextBox(attachment.size, ScreenshotStyle::caption2());
}

}  // namespace

ScreenshotMessageDetail::ScreenshotMessageDetail(DetailMessage m) : message(std::move(m)) {}

QString ScreenshotMessageDetail::importanceText()
{
    return QStringLiteral("High importance");
}

QString ScreenshotMessageDetail::headersText()
{
    return QStringLiteral("Show Headers");
}

QString ScreenshotMessageDetail::attachmentsTitle() const
{
    return QStringLiteral("Attachments (") + ScreenshotStyle::number(message.attachments.size()) + u')';
}

ScreenshotMessageDetail::Geometry ScreenshotMessageDetail::layout(const QRectF &rect) const
{
    Geometry g;
    const qreal left = rect.left() + headerHorizontalPadding;
    const qreal width = rect.width() - 2 * headerHorizontalPadding;
    qreal y = rect.top() + headerVerticalPadding;

    // The line above the subject: the kind of a non-mail item on the left,
    // the headers action on the right; absent when it holds neither.
    if (!message.kind.isEmpty() || message.hasHeaders) {
        const TextBox kind(message.kind, kindFont());
        const TextBox button(headersText(), headersFont());
        const qreal lineHeight = qMax(kind.height(), button.height() + 8);
        if (!message.kind.isEmpty())
            g.kindOrigin = QPointF(left, y + (lineHeight - kind.height()) / 2 + kind.ascent);
        if (message.hasHeaders)
            g.headersButton = QRectF(left + width - button.width - 16, y, button.width + 16, button.height() + 8);
        y += lineHeight + headerSpacing;
    }

    g.subject = wrappedBox(subjectFont(), message.subject, left, y, width);
    y = g.subject.bottom();

    QList<std::pair<QString, QString>> rows = {{QStringLiteral("From"), message.from},
                                               {QStringLiteral("To"), message.to}};
    if (message.cc)
        rows.append({QStringLiteral("Cc"), *message.cc});
    rows.append({QStringLiteral("Date"), message.dateLabel});
    rows.append(message.fields);
    // Labels end at one line: the widest, at least the usual frame.
    qreal frame = labelFrame;
    for (const auto &row : rows)
        frame = qMax(frame, TextBox(row.first, ScreenshotStyle::caption()).width);
    for (const auto &[label, value] : rows) {
        y += headerSpacing;
        const TextBox labelText(label, ScreenshotStyle::caption());
        const TextBox valueText(value, ScreenshotStyle::caption());
        const qreal baseline = y + labelText.ascent;
        g.rows.append(HeaderRow{label, value, QPointF(left + frame - labelText.width, baseline),
                                QPointF(left + frame + 8, baseline)});
        y += qMax(labelText.height(), valueText.height());
    }

    if (message.importanceHigh) {
        y += headerSpacing + 4;
        const TextBox text(importanceText(), badgeFont());
        const qreal side = ScreenshotStyle::symbolSide(badgeFont());
        const qreal inner = qMax(side, text.height());
        g.badge = QRectF(left, y, 10 + side + 6 + text.width + 10, inner + 10);
        const qreal centre = g.badge->center().y();
        g.badgeSymbol = QRectF(left + 10, centre - side / 2, side, side);
        g.badgeTextOrigin = QPointF(g.badgeSymbol.right() + 6, centre - text.height() / 2 + text.ascent);
        y = g.badge->bottom();
    }
    if (!message.unreadable.isEmpty()) {
        y += headerSpacing;
        g.unreadable = wrappedBox(ScreenshotStyle::caption(), message.unreadable, left, y, width);
        y = g.unreadable->bottom();
    }
    y += headerVerticalPadding;

    g.headerDivider = QRectF(rect.left(), y, rect.width(), 1);
    y += 1;

    g.body = wrappedBox(ScreenshotStyle::body(), message.body, rect.left() + bodyPadding, y + bodyPadding,
                        rect.width() - 2 * bodyPadding);
    y = g.body.bottom() + bodyPadding;

    g.attachmentsDivider = QRectF(rect.left(), y, rect.width(), 1);
    y += 1;

    // The attachments block is there whatever the number of attachments.
    const qreal blockTop = y;
    y += 10;
    const TextBox title(attachmentsTitle(), ScreenshotStyle::caption());
    g.attachmentsTitleOrigin = QPointF(left, y + title.ascent);
    y += title.height() + 8;

    const qreal symbolSide = ScreenshotStyle::symbolSide(ScreenshotStyle::system(18));
    qreal chipHeight = 0;
    for (const DetailAttachment &attachment : message.attachments)
        chipHeight = qMax(chipHeight, qMax(symbolSide, chipName(attachment).height() + 1 + chipSize(attachment).height()));
    qreal x = left;
    for (const DetailAttachment &attachment : message.attachments) {
        const TextBox name = chipName(attachment);
        const TextBox size = chipSize(attachment);
        const qreal pairWidth = qMax(name.width, size.width);
        Chip chip;
        chip.frame = QRectF(x, y, 10 + symbolSide + 8 + pairWidth + 10, chipHeight + 16);
        const qreal centre = chip.frame.center().y();
        chip.symbol = QRectF(x + 10, centre - symbolSide / 2, symbolSide, symbolSide);
        const qreal pairTop = centre - (name.height() + 1 + size.height()) / 2;
        chip.nameOrigin = QPointF(chip.symbol.right() + 8, pairTop + name.ascent);
        chip.sizeOrigin = QPointF(chip.symbol.right() + 8, pairTop + name.height() + 1 + size.ascent);
        g.chips.append(chip);
        x = chip.frame.right() + 8;
    }
    y += message.attachments.isEmpty() ? 0 : chipHeight + 16;
    y += 10;
    g.attachments = QRectF(rect.left(), blockTop, rect.width(), y - blockTop);
    return g;
}

void ScreenshotMessageDetail::paint(QPainter &painter, const QRectF &rect) const
{
    const Geometry g = layout(rect);
    painter.fillRect(rect, Qt::white);

    if (g.kindOrigin)
        drawText(painter, *g.kindOrigin, TextBox(message.kind, kindFont()), ScreenshotStyle::secondary());
    if (g.headersButton) {
        const TextBox button(headersText(), headersFont());
        drawText(painter, QPointF(g.headersButton->left() + 8, g.headersButton->top() + 4 + button.ascent), button,
                 ScreenshotStyle::accent());
    }

    painter.setFont(subjectFont());
    painter.setPen(ScreenshotStyle::primary());
    painter.drawText(g.subject, wrapFlags, message.subject);

    for (const HeaderRow &row : g.rows) {
        drawText(painter, row.labelOrigin, TextBox(row.label, ScreenshotStyle::caption()), ScreenshotStyle::secondary());
        const qreal valueWidth = rect.right() - headerHorizontalPadding - row.valueOrigin.x();
        drawText(painter, row.valueOrigin, TextBox(row.value, ScreenshotStyle::caption()).elided(valueWidth),
                 ScreenshotStyle::primary());
    }

    if (g.badge) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(ScreenshotStyle::red());
        painter.drawRoundedRect(*g.badge, 4, 4);
        paintSymbol(painter, g.badgeSymbol, QStringLiteral("exclamationmark.circle.fill"), ScreenshotStyle::white());
        drawText(painter, g.badgeTextOrigin, TextBox(importanceText(), badgeFont()), ScreenshotStyle::white());
    }

    if (g.unreadable) {
        painter.setFont(ScreenshotStyle::caption());
        painter.setPen(ScreenshotStyle::secondary());
        painter.drawText(*g.unreadable, wrapFlags, message.unreadable);
    }

    painter.fillRect(g.headerDivider, ScreenshotStyle::separator());
    painter.setFont(ScreenshotStyle::body());
    painter.setPen(ScreenshotStyle::primary());
    painter.drawText(g.body, wrapFlags, message.body);
    painter.fillRect(g.attachmentsDivider, ScreenshotStyle::separator());

    painter.fillRect(g.attachments, ScreenshotStyle::sidebarBackground());
    drawText(painter, g.attachmentsTitleOrigin, TextBox(attachmentsTitle(), ScreenshotStyle::caption()),
             ScreenshotStyle::secondary());
    for (qsizetype i = 0; i < g.chips.size(); ++i) {
        const Chip &chip = g.chips[i];
        const DetailAttachment &attachment = message.attachments[i];
        painter.setPen(QPen(ScreenshotStyle::grey(0.18), 0.5));
        painter.setBrush(ScreenshotStyle::grey(0.12));
        painter.drawRoundedRect(chip.frame.adjusted(0.25, 0.25, -0.25, -0.25), 8, 8);
        paintSymbol(painter, chip.symbol, attachment.icon, ScreenshotStyle::accent());
        drawText(painter, chip.nameOrigin, chipName(attachment), ScreenshotStyle::primary());
        drawText(painter, chip.sizeOrigin, chipSize(attachment), ScreenshotStyle::secondary());
    }
}

ScreenshotEmptyDetailPlaceholder::ScreenshotEmptyDetailPlaceholder(QString i, QString t)
    : icon(std::move(i)), text(std::move(t))
{
}

ScreenshotEmptyDetailPlaceholder::Geometry ScreenshotEmptyDetailPlaceholder::layout(const QRectF &rect) const
{
    const qreal side = ScreenshotStyle::symbolSide(ScreenshotStyle::system(32));
    const TextBox label(text, ScreenshotStyle::body());
    const qreal total = side + 12 + label.height();
    const qreal top = rect.center().y() - total / 2;
    return Geometry{QRectF(rect.center().x() - side / 2, top, side, side),
                    QPointF(rect.center().x() - label.width / 2, top + side + 12 + label.ascent)};
}

void ScreenshotEmptyDetailPlaceholder::paint(QPainter &painter, const QRectF &rect) const
{
    const Geometry g = layout(rect);
    painter.fillRect(rect, Qt::white);
    paintSymbol(painter, g.symbol, icon, ScreenshotStyle::tertiary());
    drawText(painter, g.textOrigin, TextBox(text, ScreenshotStyle::body()), ScreenshotStyle::secondary());
}

}  // namespace ostrel
