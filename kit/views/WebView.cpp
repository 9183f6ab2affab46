#include "views/WebView.h"

#include "platform/Platform.h"
#include "views/BodyDocument.h"

#include <QBuffer>
#include <QContextMenuEvent>
#include <QMenu>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <atomic>

namespace ostrel {

QByteArray WebView::urlScheme()
{
    return QByteArrayLiteral("ostrel-message");
}

void WebView::registerUrlScheme()
{
    QWebEngineUrlScheme scheme(urlScheme());
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

// Serves the current document, whatever its size.
class WebView::SchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    explicit SchemeHandler(const WebView &view, QObject *parent) : QWebEngineUrlSchemeHandler(parent), m_view(view) {}
    void requestStarted(QWebEngineUrlRequestJob *job) override
    {
        auto *buffer = new QBuffer(job);
        buffer->setData(m_view.document());
        buffer->open(QIODevice::ReadOnly);
        job->reply(QByteArrayLiteral("text/html;charset=utf-8"), buffer);
    }

private:
    const WebView &m_view;
};

// Refuses every request of a message page but its own document and data:.
class WebView::Interceptor : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        const QString scheme = info.requestUrl().scheme();
        if (scheme == QLatin1String(WebView::urlScheme()) || scheme == QLatin1String("data"))
            return;
        ++blocked;
        info.block(true);
    }
    std::atomic<int> blocked{0};
};

// Hands user-clicked links to the desktop and stays on the message.
class WebView::Page : public QWebEnginePage {
public:
    Page(QWebEngineProfile *profile, Platform &platform, QObject *parent)
        : QWebEnginePage(profile, parent), m_platform(platform)
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool) override
    {
        if (type == NavigationTypeLinkClicked && !url.isEmpty()) {
            m_platform.openUrl(url);
            return false;
        }
        return true;
    }
    QWebEnginePage *createWindow(WebWindowType) override { return nullptr; }

private:
    Platform &m_platform;
};

WebView::WebView(Platform &platform, QWidget *parent)
    : QWebEngineView(parent),
      m_profile(new QWebEngineProfile(this)),  // off the record: nothing is kept on disk
      m_handler(new SchemeHandler(*this, m_profile)),
      m_interceptor(new Interceptor(m_profile))
{
    m_profile->installUrlSchemeHandler(urlScheme(), m_handler);
    m_profile->setUrlRequestInterceptor(m_interceptor);
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);

    QWebEngineSettings *settings = m_profile->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);

    auto *page = new Page(m_profile, platform, this);
    page->setBackgroundColor(Qt::transparent);
    setPage(page);
    setAcceptDrops(false);
}

WebView::~WebView()
{
    // The page must go before the profile that it uses.
    delete page();
}

void WebView::setHtml(const QString &html)
{
    m_document = styledDocument(html).toUtf8();
    ++m_generation;
    load(QUrl(QStringLiteral("%1://message/%2").arg(QLatin1String(urlScheme())).arg(m_generation)));
}

int WebView::blockedRequests() const
{
    return m_interceptor->blocked.load();
}

void WebView::contextMenuEvent(QContextMenuEvent *event)
{
    // Copying is all a message page offers; no reload, back, save or inspect.
    QMenu menu(this);
    menu.addAction(pageAction(QWebEnginePage::Copy));
    menu.addAction(pageAction(QWebEnginePage::CopyLinkToClipboard));
    menu.addSeparator();
    menu.addAction(pageAction(QWebEnginePage::SelectAll));
    menu.exec(event->globalPos());
}

}  // namespace ostrel
