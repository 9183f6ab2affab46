// The text of HTML bodies for preview lines: markup and hidden parts left
// out, references decoded, damaged or cut documents read as far as they go.
#include "bodies/HtmlText.h"

#include <QTest>

using namespace ostrel;

class TestHtmlText : public QObject {
    Q_OBJECT
private slots:
    void text_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");
        QTest::newRow("tags dropped") << "<html><body><p>Hallo <b>Welt</b></p></body></html>" << "Hallo Welt";
        QTest::newRow("inline tags join") << "Wo<b>rt</b>e" << "Worte";
        QTest::newRow("blocks separate") << "<div>eins</div><div>zwei</div>zwei<br>drei" << "eins zwei zwei drei";
        QTest::newRow("head, style, script")
            << "<head><title>T</title><style>p{}</style></head><script>x()</script><p>sichtbar</p>" << "sichtbar";
        QTest::newRow("upper-case hidden") << "<STYLE>a{}</STYLE>b" << "b";
        QTest::newRow("comment") << "a<!-- <p>nein</p> -->b" << "ab";
        QTest::newRow("named references") << "&lt;a&gt; &amp; &quot;b&quot; &auml;" << "<a> & \"b\" ä";
        QTest::newRow("numeric references") << "&#65;&#x42;&#X43;&#8364;" << QStringLiteral("ABC€");
        QTest::newRow("references out of range") << "&#0;&#xD800;&#x110000;" << QStringLiteral("\uFFFD\uFFFD\uFFFD");
        QTest::newRow("unknown reference stays") << "a &bogus; b & c" << "a &bogus; b & c";
        QTest::newRow("white space collapses") << "  a \n\t b  " << "a b";
        QTest::newRow("attributes are no text")
            << "<a href=\"http://example.org/x\">Link</a><img src=\"http://t.example/p.gif\" alt=\"x\">" << "Link";
        QTest::newRow("cut inside a tag") << "<p>fertig</p><p class=\"x" << "fertig";
        QTest::newRow("cut inside a comment") << "vorher<!-- nie zu" << "vorher";
        QTest::newRow("cut inside hidden") << "a<style>b" << "a";
        QTest::newRow("self-closed script") << "<script/>a" << "a";
        QTest::newRow("lone angle") << "1 < 2 <3" << "1 < 2 <3";
        QTest::newRow("empty") << "" << "";
    }
    void text()
    {
        QFETCH(QString, html);
        QFETCH(QString, text);
        QCOMPARE(htmlText(html, 1000), text);
    }

    void stopsNearTheBound()
    {
        const QString html = QStringLiteral("<p>") + QString(100000, QLatin1Char('x')) + QStringLiteral("</p>");
        const QString text = htmlText(html, 500);
        QCOMPARE(text, QString(500, QLatin1Char('x')));
    }
};

QTEST_GUILESS_MAIN(TestHtmlText)
#include "tst_htmltext.moc"
