// A body keeps its page: meta elements lose their http-equiv, a base element
// its target, however the tag is written; everything else stays as it was.
#include "bodies/PageAnchor.h"

#include <QTest>

using namespace ostrel;

class TestPageAnchor : public QObject {
    Q_OBJECT
private slots:
    void anchored_data();
    void anchored();
    void untouched_data();
    void untouched();
};

// Each row: a body, and the body as it is shown.
void TestPageAnchor::anchored_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");

    QTest::newRow("meta refresh")
        << R"(<head><meta http-equiv="refresh" content="3;url=http://example.com/"></head>)"
        << R"(<head><meta http-equiv=none http-equiv="refresh" content="3;url=http://example.com/"></head>)";
    QTest::newRow("upper case, unquoted") << "<META HTTP-EQUIV=Refresh CONTENT=0>"
                                          << "<META http-equiv=none HTTP-EQUIV=Refresh CONTENT=0>";
    QTest::newRow("slash before the attributes") << "<meta/http-equiv=refresh content=0>"
                                                 << "<meta http-equiv=none/http-equiv=refresh content=0>";
    QTest::newRow("line break before the attributes") << "<meta\r\nhttp-equiv=refresh>"
                                                      << "<meta http-equiv=none\r\nhttp-equiv=refresh>";
    QTest::newRow("tab and form feed") << "<meta\thttp-equiv=refresh><meta\fhttp-equiv=refresh>"
                                       << "<meta http-equiv=none\thttp-equiv=refresh>"
                                          "<meta http-equiv=none\fhttp-equiv=refresh>";
    QTest::newRow("entity in the value") << "<meta http-equiv=\"re&#102;resh\" content=0>"
                                         << "<meta http-equiv=none http-equiv=\"re&#102;resh\" content=0>";
    QTest::newRow("after a comment that hides a quote")
        << "<!-- <a title=\"--> <meta http-equiv=refresh content=0> \" -->"
        << "<!-- <a title=\"--> <meta http-equiv=none http-equiv=refresh content=0> \" -->";
    QTest::newRow("in the body") << "<p>a</p><meta http-equiv=refresh content=1><p>b</p>"
                                 << "<p>a</p><meta http-equiv=none http-equiv=refresh content=1><p>b</p>";
    QTest::newRow("two metas") << "<meta charset=utf-8><meta http-equiv=refresh content=0>"
                               << "<meta http-equiv=none charset=utf-8>"
                                  "<meta http-equiv=none http-equiv=refresh content=0>";
    QTest::newRow("meta that closes itself") << "<meta/>" << "<meta http-equiv=none/>";
    QTest::newRow("meta without attributes") << "<meta>" << "<meta http-equiv=none>";
    QTest::newRow("base target") << R"(<base href="http://example.com/" target="_blank">)"
                                 << R"(<base target=_self href="http://example.com/" target="_blank">)";
    QTest::newRow("base in capitals") << "<BASE TARGET=_top>" << "<BASE target=_self TARGET=_top>";
    QTest::newRow("inside a quoted value the quote holds") << R"(<img alt="<meta name=x>">)"
                                                          << R"(<img alt="<meta http-equiv=none name=x>">)";
    QTest::newRow("at the very end") << "text<meta " << "text<meta http-equiv=none ";
}

void TestPageAnchor::anchored()
{
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(anchoredPage(html), expected);
}

// Each row: a body that has nothing to anchor and is shown as it is.
void TestPageAnchor::untouched_data()
{
    QTest::addColumn<QString>("html");
    QTest::newRow("empty") << QString();
    QTest::newRow("plain page") << "<html><head><title>t</title></head><body><p>x</p></body></html>";
    QTest::newRow("longer names") << "<metadata><basefont size=3><meta-x><based>";
    QTest::newRow("name cut by the end") << "<p>a</p><meta";
    QTest::newRow("escaped") << "&lt;meta http-equiv=refresh content=0&gt;";
    QTest::newRow("NUL in the name") << QStringLiteral("<meta\u0000 http-equiv=refresh>");
}

void TestPageAnchor::untouched()
{
    QFETCH(QString, html);
    QCOMPARE(anchoredPage(html), html);
}

QTEST_APPLESS_MAIN(TestPageAnchor)
#include "tst_pageanchor.moc"
