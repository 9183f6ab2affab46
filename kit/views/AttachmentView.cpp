#include "views/AttachmentView.h"

#include "icons/SymbolIcons.h"
#include "platform/Platform.h"
#include "viewmodel/ostrelViewModel.h"
#include "views/Formatting.h"
#include "views/Style.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPromise>

namespace ostrel {

namespace {
constexpr int kHPad = 10;
constexpr int kVPad = 8;
constexpr int kIconFrame = 24;
constexpr int kGap = 8;
constexpr int kMaxNameWidth = 220;

QFont nameFont()
{
    return style::systemFont(12, QFont::Medium);
}

QFuture<void> done()
{
    QPromise<void> promise;
    promise.start();
    promise.finish();
    return promise.future();
}
}  // namespace

AttachmentView::AttachmentView(const Attachment &attachment, ostrelViewModel &viewModel, Platform &platform,
                               QWidget *parent)
    : QWidget(parent), m_attachment(attachment), m_viewModel(viewModel), m_platform(platform)
{
    setToolTip(m_attachment.filename);
    setAccessibleName(m_attachment.filename);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

QString AttachmentView::sizeText() const
{
    return fileSizeText(m_attachment.size);
}

QSize AttachmentView::sizeHint() const
{
    const QFontMetrics name(nameFont());
    const QFontMetrics size(style::caption2());
    const int textWidth = std::min(kMaxNameWidth, std::max(name.horizontalAdvance(m_attachment.displayName()),
                                                           size.horizontalAdvance(sizeText())));
    return QSize(kHPad * 2 + kIconFrame + kGap + textWidth, kVPad * 2 + name.height() + 1 + size.height());
}

void AttachmentView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF chip = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(chip, 8, 8);
    painter.fillPath(shape, style::grey(0.12));
    painter.setPen(QPen(style::grey(0.18), 0.5));
    painter.drawPath(shape);

    const QRect iconRect(kHPad, (height() - kIconFrame) / 2, kIconFrame, kIconFrame);
    symbolIcon(m_attachment.iconName(), style::accent(palette())).paint(&painter, iconRect.adjusted(3, 3, -3, -3));

    const QFontMetrics name(nameFont());
    const QFontMetrics size(style::caption2());
    const int left = iconRect.right() + 1 + kGap;
    const int width = this->width() - left - kHPad;
    const int top = (height() - name.height() - 1 - size.height()) / 2;
    painter.setFont(nameFont());
    painter.setPen(style::primary(palette()));
    painter.drawText(QRect(left, top, width, name.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     name.elidedText(m_attachment.displayName(), Qt::ElideMiddle, width));
    painter.setFont(style::caption2());
    painter.setPen(style::secondary(palette()));
    painter.drawText(QRect(left, top + name.height() + 1, width, size.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     sizeText());
}

void AttachmentView::mouseDoubleClickEvent(QMouseEvent *)
{
    if (m_attachment.isMessage)
        emit openRequested();
    else
        save();
}

QStringList AttachmentView::actionNames() const
{
    // An attached message opens; only a file is saved (its bytes are a file's).
    return m_attachment.isMessage ? QStringList{tr("Open")} : QStringList{tr("Save as\u2026")};
}

void AttachmentView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    if (m_attachment.isMessage)
        menu.addAction(tr("Open"), this, &AttachmentView::openRequested);
    else
        menu.addAction(tr("Save as\u2026"), this, [this] { save(); });
    menu.exec(event->globalPos());
}

QFuture<void> AttachmentView::save()
{
    if (m_attachment.isMessage)
        return QtFuture::makeReadyFuture();
    SavePanelRequest request;
    request.proposedName = m_attachment.filename;
    request.canCreateDirectories = true;
    const QMimeType type = QMimeDatabase().mimeTypeForName(m_attachment.mimeType);
    if (type.isValid() && !type.isDefault() && !type.globPatterns().isEmpty())
        request.nameFilters = {type.filterString()};
    const std::optional<QString> path = m_platform.runSavePanel(request);
    if (!path || path->isEmpty()) {
        emit saveFinished();
        return done();
    }
    return m_viewModel.saveAttachment(m_attachment, *path)
        .then(this, [this, target = *path](const std::optional<QString> &failure) {
            if (failure)
                showSaveError(*failure);
            else
                m_platform.revealFile(target);
            emit saveFinished();
        });
}

void AttachmentView::showSaveError(const QString &message)
{
    m_saveError = message;
    AlertRequest alert;
    alert.style = AlertStyle::warning;
    alert.title = tr("Could not save attachment");
    alert.message = message;
    alert.buttons = {tr("OK")};
    m_platform.runAlert(alert);
    m_saveError.reset();  // every way of closing the alert clears it
}

}  // namespace ostrel
