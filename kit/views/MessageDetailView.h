#pragma once

#include "model/MailMessage.h"

#include <QFuture>
#include <QWidget>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QTimer;
class QTextBrowser;
class QVBoxLayout;

namespace ostrel {

class AttachmentView;
class EmptyState;
class Platform;
class WebView;
class ostrelViewModel;

// The third column: the selected message as loaded, with header, body and
// attachment strip, or a placeholder.
class MessageDetailView : public QWidget {
    Q_OBJECT
public:
    enum class BodyShown { none, html, plainText };

    MessageDetailView(ostrelViewModel &viewModel, Platform &platform, QWidget *parent = nullptr);

    bool showsPlaceholder() const;
    // Whether the column waits for the selected message (or says why it
    // could not be read); the text appears only when the read takes more
    // than a moment.
    bool showsWaiting() const;
    QLabel *waiting() const { return m_waiting; }
    BodyShown bodyShown() const { return m_bodyShown; }
    QLabel *subject() const { return m_subject; }
    // The value of a header row ("From", "To", "Cc", "Date"), or none when absent.
    std::optional<QString> headerValue(const QString &label) const;
    bool showsImportanceBanner() const;
    QString plainText() const;
    WebView *webView() const { return m_webView; }
    QString attachmentsTitle() const;
    QList<AttachmentView *> attachmentViews() const;

    // Attached messages: opening one shows it in place of the message it is
    // attached to; back returns one level. Finishes when shown (or failed).
    QFuture<void> openAttachedMessage(const Attachment &attachment);
    void goBack();
    int nestingDepth() const { return int(m_nested.size()); }
    // The message shown: the selected one, or the attached one opened in it.
    std::optional<MailMessage> shownMessage() const;
    // "Contact", "Appointment", ... above the subject; empty for mail.
    QString kindText() const;
    // The quiet line naming what could not be read; empty when all was read.
    QString unreadableText() const;
    // "Show Headers": offered when the message kept its internet headers;
    // showing them opens a monospaced, selectable text.
    bool offersHeaders() const;
    QPlainTextEdit *showHeaders();

private:
    void refresh();
    void showMessage(const MailMessage &message);
    void showItemParts(const MailMessage &message);

    ostrelViewModel &m_viewModel;
    Platform &m_platform;
    QStackedWidget *m_stack;
    EmptyState *m_placeholder;
    QLabel *m_waiting;
    QTimer *m_waitingDelay;
    QWidget *m_content;
    QLabel *m_subject;
    QWidget *m_rows;
    QVBoxLayout *m_rowsLayout;
    QWidget *m_banner;
    QStackedWidget *m_body;
    WebView *m_webView = nullptr;
    QTextBrowser *m_plain;
    QLabel *m_noContent;
    QWidget *m_strip;
    QLabel *m_stripTitle;
    QWidget *m_chips;
    QScrollArea *m_chipScroller;
    BodyShown m_bodyShown = BodyShown::none;
    std::optional<QUuid> m_shownId;
    QLabel *m_kind;
    QLabel *m_unreadable;
    QPushButton *m_back;
    QPushButton *m_headersButton;
    QList<MailMessage> m_nested;  // attached messages opened, outermost first
    std::optional<QString> m_headers;
};

}  // namespace ostrel
