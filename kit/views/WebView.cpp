#include "views/WebView.h"

#include "bodies/PageAnchor.h"
#include "platform/Platform.h"
#include "views/BodyDocument.h"

#include <QBuffer>
#include <QContextMenuEvent>
#include <QMenu>
#include <QWebEngineNewWindowRequest>
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

// Stays on the message: the page loads its own document once, and nothing
// else. Links the user clicks, in the page or for a new window, go to the
// desktop; redirects, refreshes, form submissions, frames and windows the
// page opens by itself go nowhere.
class WebView::Page : public QWebEnginePage {
public:
    Page(QWebEngineProfile *profile, Platform &platform, QObject *parent)
        : QWebEnginePage(profile, parent), m_platform(platform)
    {
        connect(this, &QWebEnginePage::newWindowRequested, this, [this](QWebEngineNewWindowRequest &request) {
            if (request.isUserInitiated() && !request.requestedUrl().isEmpty())
                m_platform.openUrl(request.requestedUrl());
        });
    }

    // The next navigation to document is the view's own load.
    void expect(const QUrl &document)
    {
        m_expected = document;
        m_document = document;
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        if (isMainFrame && type != NavigationTypeRedirect && type != NavigationTypeFormSubmitted
            && !m_expected.isEmpty() && url == m_expected) {
            m_expected.clear();
            return true;
        }
        if (type == NavigationTypeLinkClicked && !url.isEmpty()) {
            // A jump within the document scrolls it; any other link leaves for the desktop.
            if (isMainFrame && url.adjusted(QUrl::RemoveFragment) == m_document && url.hasFragment())
                return true;
            m_platform.openUrl(url);
        }
        return false;
    }
    QWebEnginePage *createWindow(WebWindowType) override { return nullptr; }

private:
    Platform &m_platform;
    QUrl m_expected;
    QUrl m_document;
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

    m_page = new Page(m_profile, platform, this);
    auto *page = m_page;
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
    m_document = styledDocument(anchoredPage(html)).toUtf8();
    ++m_generation;
    const QUrl document(QStringLiteral("%1://message/%2").arg(QLatin1String(urlScheme())).arg(m_generation));
    m_page->expect(document);
    load(document);
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
