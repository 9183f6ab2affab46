#pragma once

#include <QByteArray>
#include <QWebEngineView>

class QWebEngineProfile;

namespace ostrel {

class Platform;

// Shows a message's HTML body inert: no scripts, no requests beyond the
// document itself and its data: images, no local files, and every link the
// user clicks handed to the desktop instead of followed.
class WebView : public QWebEngineView {
    Q_OBJECT
public:
    // The document scheme must exist before the QApplication does.
    static void registerUrlScheme();
    static QByteArray urlScheme();

    explicit WebView(Platform &platform, QWidget *parent = nullptr);
    ~WebView() override;

    // Loads styledDocument(anchoredPage(html)); every call loads again, even
    // the same text.
    void setHtml(const QString &html);
    const QByteArray &document() const { return m_document; }
    // Requests refused so far: everything that is not the document or data:.
    int blockedRequests() const;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    class SchemeHandler;
    class Interceptor;
    class Page;

    QWebEngineProfile *m_profile;
    SchemeHandler *m_handler;
    Interceptor *m_interceptor;
    Page *m_page = nullptr;
    QByteArray m_document;
    quint64 m_generation = 0;
};

}  // namespace ostrel
