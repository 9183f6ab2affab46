// Which body a message shows: HTML, HTML recovered from RTF, plain text, text
// read from RTF, or none, with each source decoded in its code page.
#include "bodies/BodyChoice.h"

#include <QTest>

#include <optional>

using namespace ostrel;

using Bytes = std::optional<QByteArray>;
using CodePage = std::optional<int>;
Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(CodePage)
Q_DECLARE_METATYPE(ostrel::BodyKind)

namespace {
const Bytes absent = std::nullopt;
const CodePage none = std::nullopt;

// Outlook's HTML encapsulation: the tags in \htmltag groups, the RTF-only
// rendering suppressed by \htmlrtf.
const QByteArray rtfHtml("{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0 Arial;}}"
                         "{\\*\\htmltag64 <p>}\\htmlrtf \\par\\htmlrtf0 caf\\'e9{\\*\\htmltag72 </p>}}");
// Declares HTML, but everything is suppressed as RTF-only: read as rich text.
const QByteArray rtfHtmlEmpty("{\\rtf1\\ansi\\fromhtml1 \\htmlrtf hello\\htmlrtf0}");
const QByteArray rtfText("{\\rtf1\\ansi\\ansicpg1251\\fromtext \\deff0{\\fonttbl{\\f0 Arial;}}"
                         "\\'cf\\'f0\\'e8\\par line two}");
const QByteArray rtfRich("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard one {\\b two}\\par three}");
const QByteArray rtfCut("{\\rtf1\\ansi cut sho");

QString paragraphs(const QString &inner)
{
    return QStringLiteral("<div style=\"white-space: pre-wrap\">") + inner + QStringLiteral("</div>");
}

QString paragraph(const QString &inner)
{
    return QStringLiteral("<p style=\"margin: 0\">") + inner + QStringLiteral("</p>");
}

QByteArray utf16(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}
}  // namespace

class TestBodyChoice : public QObject {
    Q_OBJECT
private slots:
    void choice_data();
    void choice();
    void kindNames_data();
    void kindNames();
    void rtfBoundsHold();
};

// Each row: the stored bodies and code pages, and the body that is shown.
void TestBodyChoice::choice_data()
{
    QTest::addColumn<Bytes>("html");
    QTest::addColumn<Bytes>("text");
    QTest::addColumn<bool>("textIsUtf16");
    QTest::addColumn<Bytes>("rtf");
    QTest::addColumn<CodePage>("internet");
    QTest::addColumn<CodePage>("message");
    QTest::addColumn<BodyKind>("kind");
    QTest::addColumn<QString>("shownHtml");
    QTest::addColumn<QString>("shownText");
    QTest::addColumn<bool>("truncated");

    // The order
    QTest::newRow("HTML over everything") << Bytes("<p>h</p>") << Bytes("t") << false << Bytes(rtfRich) << none
                                          << none << BodyKind::html << "<p>h</p>" << "" << false;
    QTest::newRow("HTML from RTF over text") << absent << Bytes("t") << false << Bytes(rtfHtml) << none << none
                                             << BodyKind::htmlFromRtf << "<p>café</p>" << "" << false;
    QTest::newRow("text over text from RTF") << absent << Bytes("t") << false << Bytes(rtfRich) << none << none
                                             << BodyKind::text << "" << "t" << false;
    QTest::newRow("text over encapsulated text") << absent << Bytes("t") << false << Bytes(rtfText) << none
                                                 << none << BodyKind::text << "" << "t" << false;
    QTest::newRow("rich text alone") << absent << absent << false << Bytes(rtfRich) << none << none
                                     << BodyKind::textFromRtf
                                     << paragraphs(paragraph("one <b>two</b>") + paragraph("three"))
                                     << "one two\nthree" << false;
    QTest::newRow("encapsulated text alone, its own code page")
        << absent << absent << false << Bytes(rtfText) << CodePage(1252) << CodePage(1252) << BodyKind::textFromRtf
        << paragraphs(paragraph("При") + paragraph("line two")) << "При\nline two" << false;
    QTest::newRow("HTML declared, none held") << absent << absent << false << Bytes(rtfHtmlEmpty) << none << none
                                              << BodyKind::textFromRtf << paragraphs(paragraph("hello"))
                                              << "hello" << false;
    QTest::newRow("HTML declared, none held, text body") << absent << Bytes("t") << false << Bytes(rtfHtmlEmpty)
                                                         << none << none << BodyKind::text << "" << "t" << false;
    QTest::newRow("cut RTF keeps what was read") << absent << absent << false << Bytes(rtfCut) << none << none
                                                 << BodyKind::textFromRtf << paragraphs(paragraph("cut sho"))
                                                 << "cut sho" << true;
    QTest::newRow("nothing") << absent << absent << false << absent << none << none << BodyKind::none << "" << ""
                             << false;

    // Bodies that give nothing fall through to the next
    QTest::newRow("empty HTML") << Bytes("") << Bytes("t") << false << absent << none << none << BodyKind::text
                                << "" << "t" << false;
    QTest::newRow("HTML of NULs") << Bytes(QByteArray(3, '\0')) << Bytes("t") << false << absent << none << none
                                  << BodyKind::text << "" << "t" << false;
    QTest::newRow("text of NULs") << absent << Bytes(QByteArray(2, '\0')) << false << Bytes(rtfRich) << none
                                  << none << BodyKind::textFromRtf
                                  << paragraphs(paragraph("one <b>two</b>") + paragraph("three"))
                                  << "one two\nthree" << false;
    QTest::newRow("UTF-16 text of a terminator") << absent << Bytes(QByteArray(2, '\0')) << true << absent << none
                                                 << none << BodyKind::none << "" << "" << false;
    QTest::newRow("RTF without text") << absent << absent << false << Bytes("{\\rtf1\\ansi {\\b }}") << none
                                      << none << BodyKind::none << "" << "" << false;
    QTest::newRow("not RTF") << absent << absent << false << Bytes("plain words") << none << none << BodyKind::none
                             << "" << "" << false;
    QTest::newRow("blanks count") << Bytes(" ") << Bytes("t") << false << absent << none << none << BodyKind::html
                                  << " " << "" << false;

    // Code pages
    QTest::newRow("HTML in the message code page") << Bytes("<p>\xcf\xf0\xe8</p>") << absent << false << absent
                                                   << none << CodePage(1251) << BodyKind::html << "<p>При</p>" << ""
                                                   << false;
    QTest::newRow("HTML in windows-1252 by default") << Bytes("<p>\x93q\x94 \x97</p>") << absent << false << absent
                                                     << none << none << BodyKind::html << "<p>“q” —</p>" << ""
                                                     << false;
    QTest::newRow("8-bit text in the internet code page") << absent << Bytes("\x93\xfa\x96\x7b") << false << absent
                                                          << CodePage(932) << CodePage(1252) << BodyKind::text
                                                          << "" << "日本" << false;
    QTest::newRow("UTF-16 text ignores code pages") << absent << Bytes(utf16("Grüße") + QByteArray(2, '\0'))
                                                    << true << absent << CodePage(1251) << CodePage(1251)
                                                    << BodyKind::text << "" << "Grüße" << false;
    QTest::newRow("UTF-16 text with an odd byte") << absent << Bytes(utf16("ab") + QByteArray(1, '\0')) << true
                                                  << absent << none << none << BodyKind::text << "" << "ab" << false;
}

void TestBodyChoice::choice()
{
    QFETCH(Bytes, html);
    QFETCH(Bytes, text);
    QFETCH(bool, textIsUtf16);
    QFETCH(Bytes, rtf);
    QFETCH(CodePage, internet);
    QFETCH(CodePage, message);
    QFETCH(BodyKind, kind);
    QFETCH(QString, shownHtml);
    QFETCH(QString, shownText);
    QFETCH(bool, truncated);

    BodySources sources;
    sources.html = html;
    sources.text = text;
    sources.textIsUtf16 = textIsUtf16;
    sources.rtf = rtf;
    sources.internetCodePage = internet;
    sources.messageCodePage = message;
    const ChosenBody chosen = chooseBody(sources);
    QCOMPARE(bodyKindName(chosen.kind), bodyKindName(kind));
    QCOMPARE(chosen.html, shownHtml);
    QCOMPARE(chosen.text, shownText);
    QCOMPARE(chosen.truncated, truncated);
}

void TestBodyChoice::kindNames_data()
{
    QTest::addColumn<BodyKind>("kind");
    QTest::addColumn<QString>("name");
    QTest::newRow("html") << BodyKind::html << "html";
    QTest::newRow("html from rtf") << BodyKind::htmlFromRtf << "html-from-rtf";
    QTest::newRow("text") << BodyKind::text << "text";
    QTest::newRow("text from rtf") << BodyKind::textFromRtf << "text-from-rtf";
    QTest::newRow("none") << BodyKind::none << "none";
}

void TestBodyChoice::kindNames()
{
    QFETCH(BodyKind, kind);
    QFETCH(QString, name);
    QCOMPARE(bodyKindName(kind), name);
}

// The caller's bounds reach the RTF reader, for the HTML and the text alike.
void TestBodyChoice::rtfBoundsHold()
{
    RtfLimits limits;
    limits.maxOutput = 100;
    BodySources sources;
    sources.rtf = "{\\rtf1\\fromhtml1 {\\*\\htmltag64 <p>}" + QByteArray(1000, 'x') + "}";
    const ChosenBody fromHtml = chooseBody(sources, limits);
    QCOMPARE(bodyKindName(fromHtml.kind), QStringLiteral("html-from-rtf"));
    QCOMPARE(fromHtml.html, QStringLiteral("<p>") + QString(97, u'x'));
    QVERIFY(fromHtml.truncated);

    sources.rtf = "{\\rtf1 " + QByteArray(1000, 'y') + "}";
    const ChosenBody fromText = chooseBody(sources, limits);
    QCOMPARE(bodyKindName(fromText.kind), QStringLiteral("text-from-rtf"));
    QVERIFY(!fromText.text.isEmpty());
    QVERIFY(fromText.text.size() <= limits.maxOutput);
    QVERIFY(fromText.truncated);
}

QTEST_APPLESS_MAIN(TestBodyChoice)
#include "tst_bodychoice.moc"
