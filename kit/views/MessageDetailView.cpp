#include "views/MessageDetailView.h"

#include "icons/SymbolIcons.h"
#include "viewmodel/ostrelViewModel.h"
#include "views/AttachmentView.h"
#include "views/BodyDocument.h"
#include "views/EmptyState.h"
#include "views/Formatting.h"
#include "views/ItemText.h"
#include "views/Style.h"
#include "views/WebView.h"

#include <QDialog>
#include <QFontDatabase>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

namespace ostrel {

namespace {
QFrame *divider()
{
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

QLabel *selectableLabel(const QString &text, const QFont &font)
{
    auto *label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setFont(font);
    label->setWordWrap(true);
    return label;
}
}  // namespace

MessageDetailView::MessageDetailView(ostrelViewModel &viewModel, Platform &platform, QWidget *parent)
    : QWidget(parent),
      m_viewModel(viewModel),
      m_platform(platform),
      m_stack(new QStackedWidget),
      m_placeholder(new EmptyState(QStringLiteral("envelope"), tr("Select a message"), 42)),
      m_waiting(new QLabel),
      m_waitingDelay(new QTimer(this)),
      m_content(new QWidget),
      m_subject(selectableLabel(QString(), style::title2())),
      m_rows(new QWidget),
      m_rowsLayout(new QVBoxLayout(m_rows)),
      m_banner(new QWidget),
      m_body(new QStackedWidget),
      m_plain(new QTextBrowser),
      m_noContent(new QLabel(tr("(no content)"))),
      m_strip(new QWidget),
      m_stripTitle(new QLabel),
      m_chips(new QWidget),
      m_chipScroller(new QScrollArea),
      m_kind(new QLabel),
      m_unreadable(new QLabel),
      m_back(new QPushButton(tr("Back"))),
      m_headersButton(new QPushButton(tr("Show Headers")))
{
    setMinimumWidth(400);
    // The reading column is paper like the list beside it: HTML bodies come
    // through the web view's transparent page and expect a light ground.
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_stack);
    m_stack->addWidget(m_placeholder);
    m_waiting->setAlignment(Qt::AlignCenter);
    m_waiting->setFont(style::caption());
    m_waiting->setWordWrap(true);
    m_waiting->setTextFormat(Qt::PlainText);
    QPalette quiet = m_waiting->palette();
    quiet.setColor(QPalette::WindowText, style::secondary(quiet));
    m_waiting->setPalette(quiet);
    m_stack->addWidget(m_waiting);
    // A read that ends within a moment shows no loading text at all.
    m_waitingDelay->setSingleShot(true);
    m_waitingDelay->setInterval(150);
    connect(m_waitingDelay, &QTimer::timeout, this, [this] {
        if (m_viewModel.isReadingMessage())
            m_waiting->setText(tr("Loading message…"));
    });
    m_stack->addWidget(m_content);

    auto *layout = new QVBoxLayout(m_content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *header = new QWidget;
    auto *headerLayout = new QVBoxLayout(header);
    headerLayout->setContentsMargins(16, 12, 16, 12);
    headerLayout->setSpacing(6);
    // Above the subject: the way back out of an attached message, the kind
    // of a non-mail item, and the headers action.
    auto *topLine = new QHBoxLayout;
    topLine->setContentsMargins(0, 0, 0, 0);
    topLine->addWidget(m_back);
    m_kind->setFont(style::caption(QFont::DemiBold));
    topLine->addWidget(m_kind);
    topLine->addStretch();
    topLine->addWidget(m_headersButton);
    m_back->setFlat(true);
    m_headersButton->setFlat(true);
    m_back->setVisible(false);
    m_headersButton->setVisible(false);
    m_kind->setVisible(false);
    connect(m_back, &QPushButton::clicked, this, &MessageDetailView::goBack);
    connect(m_headersButton, &QPushButton::clicked, this, &MessageDetailView::showHeaders);
    headerLayout->addLayout(topLine);
    headerLayout->addWidget(m_subject);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(6);
    headerLayout->addWidget(m_rows);

    // The importance banner: white on red, under the Date row.
    auto *bannerLayout = new QHBoxLayout(m_banner);
    bannerLayout->setContentsMargins(10, 5, 10, 5);
    bannerLayout->setSpacing(6);
    auto *bannerIcon = new QLabel;
    bannerIcon->setPixmap(symbolIcon(QStringLiteral("exclamationmark.circle.fill"), Qt::white).pixmap(12, 12));
    auto *bannerText = new QLabel(tr("High importance"));
    bannerText->setFont(style::caption(QFont::DemiBold));
    bannerText->setStyleSheet(QStringLiteral("color: white;"));
    bannerLayout->addWidget(bannerIcon);
    bannerLayout->addWidget(bannerText);
    bannerLayout->addStretch();
    m_banner->setObjectName(QStringLiteral("importanceBanner"));
    m_banner->setAttribute(Qt::WA_StyledBackground);
    m_banner->setStyleSheet(QStringLiteral("#importanceBanner { background: #ff3b30; border-radius: 4px; }"));
    headerLayout->addSpacing(4);
    headerLayout->addWidget(m_banner);
    m_unreadable->setFont(style::caption());
    m_unreadable->setWordWrap(true);
    m_unreadable->setVisible(false);
    headerLayout->addWidget(m_unreadable);
    layout->addWidget(header);
    layout->addWidget(divider());

    m_webView = new WebView(m_platform);
    m_plain->setReadOnly(true);
    m_plain->setOpenLinks(false);
    m_plain->setFrameShape(QFrame::NoFrame);
    m_plain->setFont(style::systemFont(13));
    m_plain->document()->setDocumentMargin(16);
    m_plain->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette secondary = m_noContent->palette();
    secondary.setColor(QPalette::WindowText, style::secondary(secondary));
    m_noContent->setPalette(secondary);
    m_unreadable->setPalette(secondary);
    m_noContent->setAlignment(Qt::AlignCenter);
    m_body->addWidget(m_noContent);
    m_body->addWidget(m_webView);
    m_body->addWidget(m_plain);
    layout->addWidget(m_body, 1);

    // The attachment strip.
    auto *stripLayout = new QVBoxLayout(m_strip);
    stripLayout->setContentsMargins(0, 0, 0, 0);
    stripLayout->setSpacing(6);
    stripLayout->addWidget(divider());
    m_stripTitle->setFont(style::caption());
    m_stripTitle->setPalette(secondary);
    m_stripTitle->setContentsMargins(16, 8, 16, 0);
    stripLayout->addWidget(m_stripTitle);
    auto *chipsLayout = new QHBoxLayout(m_chips);
    chipsLayout->setContentsMargins(16, 0, 16, 10);
    chipsLayout->setSpacing(8);
    m_chipScroller->setWidget(m_chips);
    m_chipScroller->setWidgetResizable(true);
    m_chipScroller->setFrameShape(QFrame::NoFrame);
    m_chipScroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_chipScroller->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_chipScroller->viewport()->setAutoFillBackground(false);
    stripLayout->addWidget(m_chipScroller);
    m_strip->setObjectName(QStringLiteral("attachmentStrip"));
    m_strip->setAttribute(Qt::WA_StyledBackground);
    m_strip->setStyleSheet(QStringLiteral("#attachmentStrip { background: rgba(142,142,147,13); }"));
    layout->addWidget(m_strip);

    connect(&m_viewModel, &ostrelViewModel::selectedMessageChanged, this, &MessageDetailView::refresh);
    connect(&m_viewModel, &ostrelViewModel::isReadingMessageChanged, this, &MessageDetailView::refresh);
    connect(&m_viewModel, &ostrelViewModel::selectedRowChanged, this, &MessageDetailView::refresh);
    refresh();
}

bool MessageDetailView::showsPlaceholder() const
{
    return m_stack->currentWidget() == m_placeholder;
}

bool MessageDetailView::showsWaiting() const
{
    return m_stack->currentWidget() == m_waiting;
}

void MessageDetailView::refresh()
{
    m_nested.clear();
    const auto &selected = m_viewModel.selectedMessage();
    if (!selected) {
        m_shownId.reset();
        m_bodyShown = BodyShown::none;
        if (!m_viewModel.selectedRowId()) {
            m_stack->setCurrentWidget(m_placeholder);
            return;
        }
        m_stack->setCurrentWidget(m_waiting);
        if (const auto &failure = m_viewModel.messageFailure()) {
            m_waiting->setText(*failure);
        } else {
            m_waiting->clear();
            m_waitingDelay->start();
        }
        return;
    }
    m_waitingDelay->stop();
    showMessage(*selected);
}

void MessageDetailView::showMessage(const MailMessage &message)
{
    m_stack->setCurrentWidget(m_content);
    m_subject->setText(message.subject.isEmpty() ? tr("(no subject)") : message.subject);

    while (QLayoutItem *item = m_rowsLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const auto addRow = [this](const QString &label, const QString &value) {
        auto *row = new QWidget;
        row->setObjectName(label);
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->setSpacing(8);
        auto *name = new QLabel(label);
        name->setFont(style::caption());
        QPalette secondary = name->palette();
        secondary.setColor(QPalette::WindowText, style::secondary(secondary));
        name->setPalette(secondary);
        name->setFixedWidth(std::max(50, name->sizeHint().width()));
        name->setAlignment(Qt::AlignRight | Qt::AlignTop);
        auto *text = selectableLabel(value, style::caption());
        text->setObjectName(QStringLiteral("value"));
        text->setMaximumHeight(QFontMetrics(style::caption()).lineSpacing() * 2 + 2);
        rowLayout->addWidget(name, 0, Qt::AlignTop);
        rowLayout->addWidget(text, 1);
        m_rowsLayout->addWidget(row);
    };
    const QString emDash(QChar(0x2014));
    addRow(tr("From"), senderDisplay(message.sender, message.senderEmail));
    addRow(tr("To"), message.recipients.isEmpty() ? emDash : message.recipients.join(QStringLiteral(", ")));
    if (!message.ccRecipients.isEmpty())
        addRow(tr("Cc"), message.ccRecipients.join(QStringLiteral(", ")));
    if (!message.bccRecipients.isEmpty())
        addRow(tr("Bcc"), message.bccRecipients.join(QStringLiteral(", ")));
    if (message.date != 0)
        addRow(tr("Date"), headerDateText(message.date));
    for (const ItemField &field : message.itemFields)
        addRow(itemFieldLabel(field), itemFieldValue(field));
    m_banner->setVisible(message.importance == MessageImportance::high);
    showItemParts(message);

    const MessageBody body = chooseBody(message);
    switch (body.kind) {
    case MessageBody::Kind::html:
        m_bodyShown = BodyShown::html;
        m_webView->setHtml(body.text);
        m_body->setCurrentWidget(m_webView);
        break;
    case MessageBody::Kind::plainText:
        m_bodyShown = BodyShown::plainText;
        m_plain->setPlainText(body.text);
        m_body->setCurrentWidget(m_plain);
        break;
    case MessageBody::Kind::none:
        m_bodyShown = BodyShown::none;
        m_body->setCurrentWidget(m_noContent);
        break;
    }

    // Chips belong to one message; a new message brings new chips with no pending error.
    if (m_shownId != message.id) {
        auto *chipsLayout = static_cast<QHBoxLayout *>(m_chips->layout());
        while (QLayoutItem *item = chipsLayout->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        for (const Attachment &attachment : message.attachments) {
            auto *chip = new AttachmentView(attachment, m_viewModel, m_platform);
            connect(chip, &AttachmentView::openRequested, this,
                    [this, attachment] { openAttachedMessage(attachment); });
            chipsLayout->addWidget(chip);
        }
        chipsLayout->addStretch();
        int chipHeight = 0;
        for (AttachmentView *chip : attachmentViews())
            chipHeight = std::max(chipHeight, chip->sizeHint().height());
        m_chipScroller->setFixedHeight(chipHeight + 10);
    }
    m_shownId = message.id;
    m_stripTitle->setText(tr("Attachments (%1)").arg(message.attachments.size()));
    m_strip->setVisible(!message.attachments.isEmpty());
}

void MessageDetailView::showItemParts(const MailMessage &message)
{
    m_back->setVisible(!m_nested.isEmpty());
    const QString kind = itemKindTitle(message.kind);
    m_kind->setText(kind);
    m_kind->setVisible(!kind.isEmpty());
    const QString unreadable = unreadableLine(message);
    m_unreadable->setText(unreadable);
    m_unreadable->setVisible(!unreadable.isEmpty());
    m_headers = message.transportHeaders;
    m_headersButton->setVisible(m_headers.has_value());
}

QFuture<void> MessageDetailView::openAttachedMessage(const Attachment &attachment)
{
    if (!attachment.isMessage)
        return QtFuture::makeReadyFuture();
    const auto shown = shownMessage();
    const QUuid from = shown ? shown->id : QUuid();
    return m_viewModel.openAttachedMessage(attachment).then(this, [this, from](const Expected<MailMessage, QString> &opened) {
        // The user may have moved on while the message was read.
        const auto now = shownMessage();
        if (!now || now->id != from)
            return;
        if (!opened) {
            m_unreadable->setText(tr("The attached message could not be opened: %1").arg(opened.error()));
            m_unreadable->setVisible(true);
            return;
        }
        m_nested.append(opened.value());
        showMessage(m_nested.last());
    });
}

void MessageDetailView::goBack()
{
    if (m_nested.isEmpty())
        return;
    m_nested.removeLast();
    if (!m_nested.isEmpty())
        showMessage(m_nested.last());
    else if (const auto &selected = m_viewModel.selectedMessage())
        showMessage(*selected);
}

std::optional<MailMessage> MessageDetailView::shownMessage() const
{
    if (!m_nested.isEmpty())
        return m_nested.last();
    return m_viewModel.selectedMessage();
}

QString MessageDetailView::kindText() const
{
    return m_kind->isHidden() ? QString() : m_kind->text();
}

QString MessageDetailView::unreadableText() const
{
    return m_unreadable->isHidden() ? QString() : m_unreadable->text();
}

bool MessageDetailView::offersHeaders() const
{
    return !m_headersButton->isHidden();
}

QPlainTextEdit *MessageDetailView::showHeaders()
{
    if (!m_headers)
        return nullptr;
    auto *dialog = new QDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(tr("Internet Headers"));
    auto *layout = new QVBoxLayout(dialog);
    auto *text = new QPlainTextEdit(QString(*m_headers).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    text->setReadOnly(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(text);
    dialog->resize(640, 420);
    dialog->show();
    return text;
}

std::optional<QString> MessageDetailView::headerValue(const QString &label) const
{
    const auto *row = m_rows->findChild<QWidget *>(label, Qt::FindDirectChildrenOnly);
    if (!row)
        return std::nullopt;
    const auto *value = row->findChild<QLabel *>(QStringLiteral("value"));
    return value ? std::optional<QString>(value->text()) : std::nullopt;
}

bool MessageDetailView::showsImportanceBanner() const
{
    return !m_banner->isHidden();
}

QString MessageDetailView::plainText() const
{
    return m_plain->toPlainText();
}

QString MessageDetailView::attachmentsTitle() const
{
    return m_strip->isHidden() ? QString() : m_stripTitle->text();
}

QList<AttachmentView *> MessageDetailView::attachmentViews() const
{
    return m_chips->findChildren<AttachmentView *>(Qt::FindDirectChildrenOnly);
}

}  // namespace ostrel
