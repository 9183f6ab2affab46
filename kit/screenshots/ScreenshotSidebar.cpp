#include "ScreenshotSidebar.h"

#include "ScreenshotStyle.h"
#include "WindowChrome.h"
#include "icons/SymbolIcons.h"

#include <QPainter>

namespace ostrel {

namespace {

constexpr qreal symbolFrame = 18;
constexpr qreal rowSpacing = 8;
constexpr qreal rowVerticalPadding = 5;
constexpr qreal rowTrailingPadding = 12;
constexpr qreal badgeHorizontalPadding = 7;
constexpr qreal badgeVerticalPadding = 2;

TextBox badgeText(const SidebarFolder &folder)
{
    return TextBox(ScreenshotStyle::number(folder.unread), ScreenshotStyle::caption(QFont::DemiBold));
}

qreal rowContentHeight(const SidebarFolder &folder)
{
    const QFont body = ScreenshotStyle::body();
    qreal height = qMax(ScreenshotStyle::symbolSide(body), TextBox(folder.name, body).height());
    if (folder.unread > 0)
        height = qMax(height, badgeText(folder).height() + 2 * badgeVerticalPadding);
    return height;
}

}  // namespace

qreal ScreenshotFolderRow::height() const
{
    return rowContentHeight(folder) + 2 * rowVerticalPadding;
}

ScreenshotFolderRow::Geometry ScreenshotFolderRow::layout(const QRectF &row) const
{
    Geometry g;
    g.row = row;
    const qreal centre = row.top() + rowVerticalPadding + rowContentHeight(folder) / 2;
    const QFont body = ScreenshotStyle::body();
    const qreal leading = row.left() + 16 + indentPerLevel * folder.depth;
    const qreal side = ScreenshotStyle::symbolSide(body);
    g.symbol = QRectF(leading + (symbolFrame - side) / 2, centre - side / 2, side, side);

    qreal trailing = row.right() - rowTrailingPadding;
    if (folder.unread > 0) {
        const TextBox text = badgeText(folder);
        const QSizeF size(text.width + 2 * badgeHorizontalPadding, text.height() + 2 * badgeVerticalPadding);
        g.badge = QRectF(trailing - size.width(), centre - size.height() / 2, size.width(), size.height());
        g.badgeTextOrigin = QPointF(g.badge->left() + badgeHorizontalPadding, centre - text.height() / 2 + text.ascent);
        trailing = g.badge->left() - rowSpacing;
    }

    const TextBox name(folder.name, body);
    const qreal nameLeft = leading + symbolFrame + rowSpacing;
    g.nameOrigin = QPointF(nameLeft, centre - name.height() / 2 + name.ascent);
    g.nameWidth = qMax<qreal>(0, trailing - rowSpacing - nameLeft);
    return g;
}

void ScreenshotFolderRow::paint(QPainter &painter, const QRectF &row) const
{
    const Geometry g = layout(row);
    if (isSelected)
        painter.fillRect(row, ScreenshotStyle::accent());
    const QColor symbolColour = isSelected ? ScreenshotStyle::white() : ScreenshotStyle::secondary();
    paintSymbol(painter, g.symbol, folder.icon, symbolColour);
    drawText(painter, g.nameOrigin, TextBox(folder.name, ScreenshotStyle::body()).elided(g.nameWidth),
             isSelected ? ScreenshotStyle::white() : ScreenshotStyle::primary());
    if (g.badge) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(isSelected ? ScreenshotStyle::white(0.35) : ScreenshotStyle::accent());
        painter.drawRoundedRect(*g.badge, g.badge->height() / 2, g.badge->height() / 2);
        drawText(painter, g.badgeTextOrigin, badgeText(folder), ScreenshotStyle::white());
    }
}

ScreenshotSidebar::ScreenshotSidebar(QList<SidebarFolder> f, QString selected, QString file)
    : folders(std::move(f)), selectedName(std::move(selected)), filename(std::move(file))
{
}

QList<ScreenshotFolderRow> ScreenshotSidebar::rows() const
{
    QList<ScreenshotFolderRow> result;
    for (const SidebarFolder &folder : folders)
        result.append(ScreenshotFolderRow{folder, folder.name == selectedName});
    return result;
}

ScreenshotSidebar::Geometry ScreenshotSidebar::layout(const QRectF &rect) const
{
    Geometry g;
    g.background = rect;
    const TextBox header(filename, ScreenshotStyle::headline());
    g.filenameOrigin = QPointF(rect.left() + 16, rect.top() + 14 + header.ascent);
    qreal y = rect.top() + 14 + header.height() + 8;
    for (const ScreenshotFolderRow &row : rows()) {
        const qreal height = row.height();
        g.rows.append(row.layout(QRectF(rect.left(), y, rect.width(), height)));
        y += height;
    }
    return g;
}

void ScreenshotSidebar::paint(QPainter &painter, const QRectF &rect) const
{
    const Geometry g = layout(rect);
    painter.fillRect(rect, ScreenshotStyle::sidebarBackground());
    drawText(painter, g.filenameOrigin, TextBox(filename, ScreenshotStyle::headline()).elided(rect.width() - 32),
             ScreenshotStyle::primary());
    const QList<ScreenshotFolderRow> folderRows = rows();
    for (qsizetype i = 0; i < folderRows.size(); ++i)
        folderRows[i].paint(painter, g.rows[i].row);
}

QString ScreenshotEmptySidebar::text()
{
    return QStringLiteral("No PST file open");
}

ScreenshotEmptySidebar::Geometry ScreenshotEmptySidebar::layout(const QRectF &rect) const
{
    constexpr qreal spacing = 16;
    const qreal symbol = ScreenshotStyle::symbolSide(ScreenshotStyle::system(42));
    const TextBox label(text(), ScreenshotStyle::headline());
    const TextBox button(WindowChrome::buttonText(), ScreenshotStyle::system(13, QFont::Medium));
    const QSizeF buttonSize(button.width + 28, button.height() + 14);
    const qreal total = symbol + spacing + label.height() + spacing + buttonSize.height();

    Geometry g;
    const qreal centreX = rect.center().x();
    qreal y = rect.center().y() - total / 2;
    g.symbol = QRectF(centreX - symbol / 2, y, symbol, symbol);
    y += symbol + spacing;
    g.textOrigin = QPointF(centreX - label.width / 2, y + label.ascent);
    y += label.height() + spacing;
    g.button = QRectF(centreX - buttonSize.width() / 2, y, buttonSize.width(), buttonSize.height());
    g.buttonTextOrigin = QPointF(g.button.left() + 14, y + 7 + button.ascent);
    return g;
}

void ScreenshotEmptySidebar::paint(QPainter &painter, const QRectF &rect) const
{
    const Geometry g = layout(rect);
    painter.fillRect(rect, ScreenshotStyle::sidebarBackground());
    paintSymbol(painter, g.symbol, QStringLiteral("tray"), ScreenshotStyle::secondary());
    drawText(painter, g.textOrigin, TextBox(text(), ScreenshotStyle::headline()), ScreenshotStyle::secondary());
    painter.setPen(Qt::NoPen);
    painter.setBrush(ScreenshotStyle::accent());
    painter.drawRoundedRect(g.button, g.button.height() / 2, g.button.height() / 2);
    drawText(painter, g.buttonTextOrigin, TextBox(WindowChrome::buttonText(), ScreenshotStyle::system(13, QFont::Medium)),
             ScreenshotStyle::white());
}

}  // namespace ostrel
