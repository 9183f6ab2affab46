#include "views/BodyDocument.h"

#include <QTest>

using namespace ostrel;

namespace {
Attachment inlineAttachment(const QString &contentId, const QByteArray &data, const QString &mime = "image/png")
{
    return Attachment{QUuid::createUuid(), "a.png", mime, data.size(), data, contentId};
}

const QString kLogo = QStringLiteral("data:image/png;base64,") + QString::fromLatin1(QByteArray("LOGO").toBase64());
}  // namespace

class TestBodyDocument : public QObject {
    Q_OBJECT
private slots:
    void styleSheetIsExact()
    {
        QCOMPARE(bodyStyleSheet.size(), 772);
        QCOMPARE(bodyStyleSheet.split(QLatin1Char('\n')).size(), 25);
        QVERIFY(!bodyStyleSheet.endsWith(QLatin1Char('\n')));
        QVERIFY(bodyStyleSheet.startsWith(QLatin1String(":root { color-scheme: light dark; }\nhtml, body {\n    margin: 0;")));
        QVERIFY(bodyStyleSheet.endsWith(QLatin1String("td, th { padding: 4px 8px; border: 1px solid rgba(127,127,127,0.3); }")));
    }

    void bodyChoice_data()
    {
        QTest::addColumn<std::optional<QString>>("html");
        QTest::addColumn<std::optional<QString>>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("shown");
        using K = MessageBody::Kind;
        QTest::newRow("both: html wins") << std::optional<QString>("<b>x</b>") << std::optional<QString>("x")
                                         << int(K::html) << "<b>x</b>";
        QTest::newRow("empty html falls back") << std::optional<QString>("") << std::optional<QString>("plain")
                                               << int(K::plainText) << "plain";
        QTest::newRow("blank html is html") << std::optional<QString>("  ") << std::optional<QString>("plain")
                                            << int(K::html) << "  ";
        QTest::newRow("text with brackets stays as written")
            << std::optional<QString>() << std::optional<QString>("<not markup>") << int(K::plainText) << "<not markup>";
        QTest::newRow("neither") << std::optional<QString>("") << std::optional<QString>() << int(K::none) << "";
    }
    void bodyChoice()
    {
        QFETCH(std::optional<QString>, html);
        QFETCH(std::optional<QString>, text);
        QFETCH(int, kind);
        QFETCH(QString, shown);
        MailMessage message;
        message.bodyHTML = html;
        message.bodyText = text;
        const MessageBody body = chooseBody(message);
        QCOMPARE(int(body.kind), kind);
        QCOMPARE(body.text, shown);
    }

    void inlineImages_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("expected");
        const QString logo = kLogo;
        QTest::newRow("double quotes") << "<img src=\"cid:logo.png\">" << QStringLiteral("<img src=\"") + logo + "\">";
        QTest::newRow("SRC and CID, single quotes")
            << "<img SRC = 'CID:LOGO.PNG'>" << QStringLiteral("<img SRC = '") + logo + "'>";
        QTest::newRow("unquoted before a blank") << "<img src=cid:logo.png alt=x>"
                                                 << QStringLiteral("<img src=") + logo + " alt=x>";
        QTest::newRow("unquoted before >") << "<img src=cid:logo.png>" << QStringLiteral("<img src=") + logo + ">";
        QTest::newRow("unquoted before />: the slash is taken along")
            << "<img src=cid:logo.png/>" << "<img src=cid:logo.png/>";
        QTest::newRow("brackets inside the quotes") << "<img src=\"cid:<logo.png>\">" << "<img src=\"cid:<logo.png>\">";
        QTest::newRow("unknown reference") << "<img src=\"cid:other.png\">" << "<img src=\"cid:other.png\">";
        QTest::newRow("only src is rewritten") << "<td background=\"cid:logo.png\"><a href=\"cid:logo.png\">"
                                               << "<td background=\"cid:logo.png\"><a href=\"cid:logo.png\">";
        QTest::newRow("two references, text between kept")
            << "a<img src=\"cid:logo.png\">b<img src='cid:logo.png'>c"
            << QStringLiteral("a<img src=\"") + logo + "\">b<img src='" + logo + "'>c";
    }
    void inlineImages()
    {
        QFETCH(QString, html);
        QFETCH(QString, expected);
        const QList<Attachment> attachments{inlineAttachment(QStringLiteral(" <Logo.PNG> "), "LOGO")};
        QCOMPARE(resolveInlineImages(html, attachments), expected);
    }

    void mediaTypeAndLastWins()
    {
        const QString html = "<img src=\"cid:x\">";
        QVERIFY(resolveInlineImages(html, {inlineAttachment("x", "P", "application/pdf")})
                    .contains(QLatin1String("data:application/octet-stream;base64,")));
        QVERIFY(resolveInlineImages(html, {inlineAttachment("x", "P", "IMAGE/PNG")})
                    .contains(QLatin1String("data:application/octet-stream;base64,")));
        QVERIFY(resolveInlineImages(html, {inlineAttachment("x", "P", "image/gif")})
                    .contains(QLatin1String("data:image/gif;base64,")));
        const QString later = resolveInlineImages(html, {inlineAttachment("<X>", "first"), inlineAttachment("x", "second")});
        QVERIFY(later.contains(QString::fromLatin1(QByteArray("second").toBase64())));
        QVERIFY(!later.contains(QString::fromLatin1(QByteArray("first").toBase64())));
    }

    void attachmentsThatCannotContribute()
    {
        const QString html = "<img src=\"cid:x\">";
        Attachment unloaded = inlineAttachment("x", "");
        unloaded.data.reset();
        QCOMPARE(resolveInlineImages(html, {unloaded}), html);
        QCOMPARE(resolveInlineImages(html, {inlineAttachment("x", QByteArray())}), html);
        QCOMPARE(resolveInlineImages(html, {inlineAttachment(" <> ", "data")}), html);
        Attachment noId = inlineAttachment("x", "data");
        noId.contentId.reset();
        QCOMPARE(resolveInlineImages(html, {noId}), html);
    }

    void styledDocument_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("expected");
        const QString style = QStringLiteral("<style>") + bodyStyleSheet + QStringLiteral("</style>");
        QTest::newRow("fragment") << "Hello"
                                  << QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\">") + style
                                         + "</head>\n<body>Hello</body></html>";
        QTest::newRow("upper-case tags") << "<HTML><HEAD></HEAD><BODY>x</BODY></HTML>"
                                         << QStringLiteral("<HTML><head>") + style + "</HEAD><BODY>x</BODY></HTML>";
        QTest::newRow("head with attributes") << "<html><head lang=\"de\"></head>x</html>"
                                              << "<html><head lang=\"de\"></head>x</html>";
        QTest::newRow("html with attributes, no head") << "<html lang=\"de\">x</html>" << "<html lang=\"de\">x</html>";
        QTest::newRow("html without head") << "<html><body>x</body></html>"
                                           << QStringLiteral("<html><head>") + style + "</head><body>x</body></html>";
        QTest::newRow("two heads") << "<html><head></head><head></head></html>"
                                   << QStringLiteral("<html><head>") + style + "</head><head>" + style + "</head></html>";
        QTest::newRow("fragment markup not escaped")
            << "<p>a & b</p>"
            << QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\">") + style
                   + "</head>\n<body><p>a & b</p></body></html>";
    }
    void styledDocument()
    {
        QFETCH(QString, html);
        QFETCH(QString, expected);
        QCOMPARE(ostrel::styledDocument(html), expected);
    }
};

QTEST_GUILESS_MAIN(TestBodyDocument)
#include "tst_bodydocument.moc"
