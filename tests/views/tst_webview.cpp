// The web view against a real Chromium engine: inert pages, no remote
// requests, links handed to the desktop, large inline images.
#include "FakePlatform.h"
#include "views/BodyDocument.h"
#include "views/WebView.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QWebEnginePage>

using namespace ostrel;

namespace {
bool loadAndWait(WebView &view, const QString &html)
{
    QSignalSpy finished(&view, &QWebEngineView::loadFinished);
    view.setHtml(html);
    return finished.wait(30000) && finished.constFirst().constFirst().toBool();
}

QString pageTitle(WebView &view)
{
    return view.page()->title();
}
}  // namespace

class TestWebView : public QObject {
    Q_OBJECT
private slots:
    void scriptsDoNothing()
    {
        test::FakePlatform platform;
        WebView view(platform);
        view.resize(400, 300);
        view.show();
        QVERIFY(loadAndWait(view, "<html><head><title>still</title></head>"
                                  "<body onload=\"document.title='handler ran'\">"
                                  "<script>document.title='script ran'</script></body></html>"));
        QCOMPARE(pageTitle(view), QStringLiteral("still"));
    }

    void noRequestLeavesThePage()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        int connections = 0;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            ++connections;
            delete server.nextPendingConnection();
        });
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort());
        {
            // Control: an ordinary page does reach the server.
            QWebEnginePage control;
            control.load(QUrl(base + QStringLiteral("/control")));
            QTRY_VERIFY_WITH_TIMEOUT(connections > 0, 20000);
        }
        connections = 0;
        test::FakePlatform platform;
        WebView view(platform);
        view.resize(400, 300);
        view.show();
        QVERIFY(loadAndWait(view, QStringLiteral("<html><head><title>t</title><link rel=\"stylesheet\" href=\"%1/s.css\"></head>"
                                                 "<body><img src=\"%1/pixel.gif\"><iframe src=\"%1/frame\"></iframe>"
                                                 "<img src=\"file:///etc/hostname\"></body></html>")
                                      .arg(base)));
        // The subresources were refused while the page loaded; a request
        // let through would have connected by now, as the control did.
        QCOMPARE(connections, 0);
    }

    // Links the user clicks open outside, those meant for a new window (by
    // their own target or the page's base target) too; the message stays.
    void clickedLinksOpenOutside_data()
    {
        QTest::addColumn<QString>("link");
        QTest::newRow("link") << "<a href=\"https://example.org/news\"";
        QTest::newRow("target _blank") << "<a target=\"_blank\" href=\"https://example.org/news\"";
        QTest::newRow("base target _blank") << "<base target=\"_blank\"><a href=\"https://example.org/news\"";
    }
    void clickedLinksOpenOutside()
    {
        QFETCH(QString, link);
        test::FakePlatform platform;
        WebView view(platform);
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(loadAndWait(view, link + QStringLiteral(" style=\"display:block;width:100%;height:250px\">read more</a>")));
        const QUrl shown = view.url();
        QWidget *surface = view.focusProxy();
        QVERIFY(surface);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(60, 60));
                return !platform.openedUrls.isEmpty();
            }(),
            15000);
        QCOMPARE(platform.openedUrls.constFirst(), QUrl("https://example.org/news"));
        QCOMPARE(view.url(), shown);
        QTest::qWait(0);
        QCOMPARE(platform.openedUrls.count(QUrl("https://example.org/news")), platform.openedUrls.size());
    }

    // What rendered stays shown: nothing in a body moves its own page, and
    // nothing reaches the loopback server on the way.
    void bodyStaysPut_data()
    {
        QTest::addColumn<QString>("body");
        QTest::newRow("meta refresh to a remote page") << "<meta http-equiv=\"refresh\" content=\"0;url=%1/away\">";
        QTest::newRow("meta refresh, upper case") << "<META HTTP-EQUIV=REFRESH CONTENT=\"0; URL=%1/away\">";
        QTest::newRow("meta refresh to itself") << "<meta http-equiv=\"refresh\" content=\"0\">";
        QTest::newRow("meta refresh to data") << "<meta http-equiv=\"refresh\" content=\"0;url=data:text/html,gone\">";
        QTest::newRow("meta refresh in the body") << "<p>x</p><meta http-equiv=\"refresh\" content=\"0;url=%1/away\">";
        QTest::newRow("frame that refreshes its parent")
            << "<iframe src=\"data:text/html,<meta http-equiv=refresh content='0;url=%1/away'>\"></iframe>";
        QTest::newRow("form that posts") << "<form action=\"%1/post\" method=\"post\"><input name=a value=b></form>";
    }
    void bodyStaysPut()
    {
        QFETCH(QString, body);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        int connections = 0;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            ++connections;
            delete server.nextPendingConnection();
        });
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort());
        test::FakePlatform platform;
        WebView view(platform);
        view.resize(400, 300);
        view.show();
        QVERIFY(loadAndWait(view, QStringLiteral("<html><head><title>kept</title></head><body><p>shown</p>%1</body></html>")
                                      .arg(body.arg(base))));
        const QUrl shown = view.url();
        QSignalSpy started(&view, &QWebEngineView::loadStarted);
        QSignalSpy changed(&view, &QWebEngineView::urlChanged);
        // A refresh of 0 seconds fires right after the load; give it time to try.
        QTest::qWait(1500);
        QCOMPARE(view.url(), shown);
        QCOMPARE(pageTitle(view), QStringLiteral("kept"));
        QCOMPARE(started.count(), 0);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(connections, 0);
        QVERIFY(platform.openedUrls.isEmpty());
    }

    void sameMessageLoadsAgain()
    {
        test::FakePlatform platform;
        WebView view(platform);
        view.show();
        QSignalSpy finished(&view, &QWebEngineView::loadFinished);
        view.setHtml(QStringLiteral("<p>same</p>"));
        QVERIFY(finished.wait(30000));
        const QByteArray first = view.document();
        view.setHtml(QStringLiteral("<p>same</p>"));
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.count(), 2);
        QCOMPARE(view.document(), first);
        QCOMPARE(view.document(), styledDocument(QStringLiteral("<p>same</p>")).toUtf8());
    }

    void largeInlineImageRenders()
    {
        // Noise does not compress: a PNG of about 4.9 MB, red in its top left corner.
        QImage image(1400, 1200, QImage::Format_RGB32);
        QRandomGenerator random(7);
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = (x < 300 && y < 300) ? qRgb(255, 0, 0) : random.generate() | 0xff000000;
        }
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        QVERIFY2(png.size() > 2'000'000, "larger than setHtml could take");

        const Attachment attachment{QUuid::createUuid(), "photo.png", "image/png", png.size(), png, "<photo>"};
        const QString html = resolveInlineImages(
            "<html><head></head><body style='margin:0;padding:0'>"
            "<img src=\"cid:photo\" style='display:block;width:1400px;max-width:none'></body></html>",
            {attachment});
        QVERIFY(html.size() > 2 * 1024 * 1024);

        test::FakePlatform platform;
        WebView view(platform);
        view.resize(500, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(loadAndWait(view, html));
        // The style sheet pads the body by 16 px; probe well inside the red square.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const QImage shot = view.grab().toImage();
                return !shot.isNull() && shot.pixelColor(120, 120) == QColor(255, 0, 0);
            }(),
            20000);
    }
};

int main(int argc, char **argv)
{
    WebView::registerUrlScheme();
    QApplication app(argc, argv);
    TestWebView test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_webview.moc"
