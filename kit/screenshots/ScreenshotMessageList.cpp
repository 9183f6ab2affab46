#include "ScreenshotMessageList.h"

#include "ScreenshotStyle.h"
#include "icons/SymbolIcons.h"

#include <QPainter>

namespace ostrel {

namespace {

constexpr qreal verticalPadding = 6;
constexpr qreal horizontalPadding = 8;
constexpr qreal dotColumn = 10;
constexpr qreal columnSpacing = 8;
constexpr qreal lineSpacing = 2;
constexpr qreal itemSpacing = 6;
constexpr qreal minimumFlexibleSpace = 4;

const QString importanceMark = QStringLiteral("!!");

struct RowTexts {
    TextBox sender;
    TextBox date;
    std::optional<TextBox> importance;
    TextBox subject;
    std::optional<QFont> paperclipFont;
    TextBox preview;

    qreal firstLineAscent() const { return qMax(sender.ascent, date.ascent); }
    qreal firstLineHeight() const { return firstLineAscent() + qMax(sender.descent, date.descent); }
    qreal secondLineAscent() const
    {
        qreal ascent = subject.ascent;
        if (importance)
            ascent = qMax(ascent, importance->ascent);
        return ascent;
    }
    qreal secondLineHeight() const
    {
        qreal descent = subject.descent;
        if (importance)
            descent = qMax(descent, importance->descent);
        return secondLineAscent() + descent;
    }
    qreal textHeight() const
    {
        return firstLineHeight() + lineSpacing + secondLineHeight() + lineSpacing + preview.height();
    }
};

RowTexts rowTexts(const SampleMessage &msg)
{
    const QFont::Weight weight = msg.isRead ? QFont::Normal : QFont::DemiBold;
    RowTexts t;
    t.sender = TextBox(msg.sender, ScreenshotStyle::system(13, weight));
    t.date = TextBox(msg.dateLabel, ScreenshotStyle::caption());
    if (msg.importanceHigh)
        t.importance = TextBox(importanceMark, ScreenshotStyle::system(12, QFont::Bold));
    t.subject = TextBox(msg.subject, ScreenshotStyle::system(12, weight));
    if (msg.hasAttachment)
        t.paperclipFont = ScreenshotStyle::caption();
    t.preview = TextBox(msg.preview, ScreenshotStyle::caption());
    return t;
}

}  // namespace

qreal ScreenshotMessageRow::height() const
{
    const qreal dotColumnHeight = 6 + dotSize;
    return verticalPadding + qMax(dotColumnHeight, rowTexts(msg).textHeight()) + verticalPadding;
}

ScreenshotMessageRow::Geometry ScreenshotMessageRow::layout(const QRectF &row) const
{
    const RowTexts t = rowTexts(msg);
    Geometry g;
    g.row = row;
    const qreal top = row.top() + verticalPadding;
    const qreal left = row.left() + horizontalPadding;
    const qreal right = row.right() - horizontalPadding;
    if (!msg.isRead)
        g.dot = QRectF(left + (dotColumn - dotSize) / 2, top + 6, dotSize, dotSize);

    const qreal textLeft = left + dotColumn + columnSpacing;
    const qreal textWidth = right - textLeft;

    const qreal firstBaseline = top + t.firstLineAscent();
    g.dateOrigin = QPointF(right - t.date.width, firstBaseline);
    g.senderOrigin = QPointF(textLeft, firstBaseline);
    g.senderWidth = qMax<qreal>(0, textWidth - t.date.width - 2 * itemSpacing - minimumFlexibleSpace);

    const qreal secondBaseline = top + t.firstLineHeight() + lineSpacing + t.secondLineAscent();
    qreal x = textLeft;
    if (t.importance) {
        g.importanceOrigin = QPointF(x, secondBaseline);
        x += t.importance->width + itemSpacing;
    }
    g.subjectOrigin = QPointF(x, secondBaseline);
    qreal subjectRight = right;
    if (t.paperclipFont) {
        const qreal side = ScreenshotStyle::symbolSide(*t.paperclipFont);
        g.paperclip = ScreenshotStyle::symbolOnBaseline(right - side, secondBaseline, *t.paperclipFont);
        subjectRight = g.paperclip->left() - 2 * itemSpacing - minimumFlexibleSpace;
    }
    g.subjectWidth = qMax<qreal>(0, subjectRight - x);

    const qreal thirdTop = top + t.firstLineHeight() + lineSpacing + t.secondLineHeight() + lineSpacing;
    g.previewOrigin = QPointF(textLeft, thirdTop + t.preview.ascent);
    g.previewWidth = textWidth;
    return g;
}

void ScreenshotMessageRow::paint(QPainter &painter, const QRectF &row) const
{
    const RowTexts t = rowTexts(msg);
    const Geometry g = layout(row);
    if (isSelected) {
        QColor highlight = ScreenshotStyle::accent();
        highlight.setAlphaF(0.15f);
        painter.fillRect(row, highlight);
    }
    if (g.dot) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(ScreenshotStyle::accent());
        painter.drawEllipse(*g.dot);
    }
    drawText(painter, g.senderOrigin, t.sender.elided(g.senderWidth), ScreenshotStyle::primary());
    drawText(painter, g.dateOrigin, t.date, ScreenshotStyle::secondary());
    if (t.importance && g.importanceOrigin)
        drawText(painter, *g.importanceOrigin, *t.importance, ScreenshotStyle::red());
    drawText(painter, g.subjectOrigin, t.subject.elided(g.subjectWidth), ScreenshotStyle::primary());
    if (g.paperclip)
        paintSymbol(painter, *g.paperclip, QStringLiteral("paperclip"), ScreenshotStyle::secondary());
    drawText(painter, g.previewOrigin, t.preview.elided(g.previewWidth), ScreenshotStyle::secondary());
}

ScreenshotMessageList::ScreenshotMessageList(QList<SampleMessage> m, QString selected, QString title,
                                             std::optional<QString> subtitle, std::optional<QString> search)
    : messages(std::move(m)),
      selectedSubject(std::move(selected)),
      headerTitle(std::move(title)),
      headerSubtitle(std::move(subtitle)),
      searchText(std::move(search))
{
}

std::optional<QString> ScreenshotMessageList::subtitleLine() const
{
    // Same wording for every count, as the window's list has it.
    if (searchText)
        return ScreenshotStyle::number(messages.size()) + QStringLiteral(" results for \u201C") + *searchText +
               QStringLiteral("\u201D");
    return headerSubtitle;
}

QList<ScreenshotMessageRow> ScreenshotMessageList::rows() const
{
    QList<ScreenshotMessageRow> result;
    for (const SampleMessage &m : messages)
        result.append(ScreenshotMessageRow{m, m.subject == selectedSubject});
    return result;
}

ScreenshotMessageList::Geometry ScreenshotMessageList::layout(const QRectF &rect) const
{
    Geometry g;
    const TextBox title(headerTitle, ScreenshotStyle::headline());
    qreal y = rect.top() + 10;
    g.titleOrigin = QPointF(rect.left() + 12, y + title.ascent);
    y += title.height();
    if (const auto line = subtitleLine()) {
        const TextBox subtitle(*line, ScreenshotStyle::caption());
        y += 2;
        g.subtitleOrigin = QPointF(rect.left() + 12, y + subtitle.ascent);
        y += subtitle.height();
    }
    y += 10;
    g.header = QRectF(rect.left(), rect.top(), rect.width(), y - rect.top());
    g.dividers.append(QRectF(rect.left(), y, rect.width(), 1));
    y += 1;
    for (const ScreenshotMessageRow &row : rows()) {
        const qreal height = row.height();
        g.rows.append(row.layout(QRectF(rect.left(), y, rect.width(), height)));
        y += height;
        g.dividers.append(QRectF(rect.left(), y, rect.width(), 1));
        y += 1;
    }
    return g;
}

void ScreenshotMessageList::paint(QPainter &painter, const QRectF &rect) const
{
    const Geometry g = layout(rect);
    painter.fillRect(rect, Qt::white);
    drawText(painter, g.titleOrigin, TextBox(headerTitle, ScreenshotStyle::headline()).elided(rect.width() - 24),
             ScreenshotStyle::primary());
    if (const auto line = subtitleLine(); line && g.subtitleOrigin)
        drawText(painter, *g.subtitleOrigin, TextBox(*line, ScreenshotStyle::caption()).elided(rect.width() - 24),
                 ScreenshotStyle::secondary());
    for (const QRectF &divider : g.dividers)
        painter.fillRect(divider, ScreenshotStyle::separator());
    const QList<ScreenshotMessageRow> messageRows = rows();
    for (qsizetype i = 0; i < messageRows.size(); ++i)
        messageRows[i].paint(painter, g.rows[i].row);
}

}  // namespace ostrel
