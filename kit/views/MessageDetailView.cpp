#include "views/MessageDetailView.h"

#include "icons/SymbolIcons.h"
#include "viewmodel/ostrelViewModel.h"
#include "views/AttachmentView.h"
#include "views/BodyDocument.h"
#include "views/EmptyState.h"
#include "views/Formatting.h"
#include "views/Style.h"
#include "views/WebView.h"

#include <QFrame>
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
      m_chipScroller(new QScrollArea)
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
        name->setFixedWidth(50);
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
    m_banner->setVisible(message.importance == MessageImportance::high);

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
        for (const Attachment &attachment : message.attachments)
            chipsLayout->addWidget(new AttachmentView(attachment, m_viewModel, m_platform));
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
