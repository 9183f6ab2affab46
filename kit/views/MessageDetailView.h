#pragma once

#include "model/MailMessage.h"

#include <QWidget>
#include <optional>

class QLabel;
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

private:
    void refresh();
    void showMessage(const MailMessage &message);

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
};

}  // namespace ostrel
