// The RTF reader: which encapsulation a header declares, the HTML and text it
// recovers, rich text as paragraphs with bold and italic, and the bounds that
// hold on damaged and hostile input.
#include "bodies/RtfBody.h"

#include <QTest>

using namespace ostrel;

Q_DECLARE_METATYPE(ostrel::RtfEncapsulation)

namespace {
// A header as Outlook writes it, with fonts in several character sets: f0
// in the document's code page, f1 Cyrillic, f2 Japanese, f3 a code page of
// its own (Greek), f4 Symbol, f5 Western.
QByteArray document(const QByteArray &declaration, const QByteArray &body,
                    const QByteArray &codePage = QByteArrayLiteral("\\ansicpg1252"))
{
    return QByteArray("{\\rtf1\\ansi") + codePage + declaration
           + QByteArray(" \\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fnil\\fcharset204 Arial Cyr;}"
                        "{\\f2\\fnil\\fcharset128 MS Mincho;}{\\f3\\fnil\\cpg1253 Greek;}"
                        "{\\f4\\fnil\\fcharset2 Symbol;}{\\f5\\fnil\\fcharset0 Times;}}\n"
                        "{\\colortbl;\\red0\\green0\\blue255;}\n"
                        "{\\*\\generator Microsoft Exchange Server;}\n\\uc1\\pard\\plain\\f0 ")
           + body + "}";
}

QByteArray html(const QByteArray &body, const QByteArray &codePage = QByteArrayLiteral("\\ansicpg1252"))
{
    return document(QByteArrayLiteral("\\fromhtml1"), body, codePage);
}

QByteArray rich(const QByteArray &body, const QByteArray &codePage = QByteArrayLiteral("\\ansicpg1252"))
{
    return document(QByteArray(), body, codePage);
}

QByteArray manyFonts(int count)
{
    QByteArray fonts;
    for (int i = 0; i < count; ++i)
        fonts += "{\\f" + QByteArray::number(i) + "\\fcharset" + QByteArray::number(i % 256) + " x;}";
    return fonts;
}

QString paragraphs(const QStringList &inner)
{
    QString out = QStringLiteral("<div style=\"white-space: pre-wrap\">");
    for (const QString &paragraph : inner)
        out += QStringLiteral("<p style=\"margin: 0\">") + paragraph + QStringLiteral("</p>");
    return out + QStringLiteral("</div>");
}
}  // namespace

class TestRtfBody : public QObject {
    Q_OBJECT
private slots:
    void encapsulation_data();
    void encapsulation();
    void htmlDeencapsulation_data();
    void htmlDeencapsulation();
    void richText_data();
    void richText();
    void textEncapsulation();
    void htmlDeclaredButAbsent();
    void malformed_data();
    void malformed();
    void deepNestingIsSkippedAndReadingGoesOn();
    void depthLimit();
    void tokenLimit();
    void outputLimit();
    void hostileShapes_data();
    void hostileShapes();
};

void TestRtfBody::encapsulation_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<RtfEncapsulation>("expected");
    QTest::newRow("html") << html("x") << RtfEncapsulation::html;
    QTest::newRow("text") << document("\\fromtext", "x") << RtfEncapsulation::text;
    QTest::newRow("plain") << rich("x") << RtfEncapsulation::none;
    QTest::newRow("leading blanks") << QByteArray("\r\n  {\\rtf1\\ansi\\fromhtml1 x}") << RtfEncapsulation::html;
    QTest::newRow("tenth token") << QByteArray("{\\rtf1\\a\\b\\c\\d\\e\\f\\g\\fromhtml1 x}")
                                 << RtfEncapsulation::html;
    QTest::newRow("eleventh token") << QByteArray("{\\rtf1\\a\\b\\c\\d\\e\\f\\g\\h\\fromhtml1 x}")
                                    << RtfEncapsulation::none;
    QTest::newRow("groups count") << QByteArray("{\\rtf1{\\a}{\\b}{\\c}{\\d}\\fromhtml1 x}")
                                  << RtfEncapsulation::none;
    QTest::newRow("in the body") << rich("text \\fromhtml1 more") << RtfEncapsulation::none;
    QTest::newRow("version 0") << QByteArray("{\\rtf1\\ansi\\fromhtml0 x}") << RtfEncapsulation::none;
    QTest::newRow("version 2") << QByteArray("{\\rtf1\\ansi\\fromhtml2 x}") << RtfEncapsulation::none;
    QTest::newRow("no version") << QByteArray("{\\rtf1\\ansi\\fromhtml x}") << RtfEncapsulation::none;
    QTest::newRow("not rtf") << QByteArray("\\fromhtml1 <html>") << RtfEncapsulation::none;
    QTest::newRow("empty") << QByteArray() << RtfEncapsulation::none;
}

void TestRtfBody::encapsulation()
{
    QFETCH(QByteArray, rtf);
    QFETCH(RtfEncapsulation, expected);
    QCOMPARE(rtfEncapsulation(rtf), expected);
    QCOMPARE(readRtf(rtf).encapsulation, expected);
}

// Each row: the body of an HTML-encapsulating document and the HTML it holds.
void TestRtfBody::htmlDeencapsulation_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("expected");
    QTest::newRow("htmltag content, parameter dropped")
        << html(R"({\*\htmltag19 <html>}{\*\htmltag34 <head>})") << "<html><head>";
    QTest::newRow("htmltag without parameter") << html(R"({\*\htmltag 5px})") << "5px";
    QTest::newRow("htmltag content keeps a second space") << html(R"({\*\htmltag84  x})") << " x";
    QTest::newRow("empty htmltag64") << html(R"({\*\htmltag64}Hi)") << "Hi";
    QTest::newRow("text between tags")
        << html(R"({\*\htmltag50 <p>}Hello world{\*\htmltag58 </p>})") << "<p>Hello world</p>";
    QTest::newRow("htmlrtf suppresses") << html(R"(A\htmlrtf B\htmlrtf0 C)") << "AC";
    QTest::newRow("htmlrtf1 suppresses") << html(R"(A\htmlrtf1 B\htmlrtf0 C)") << "AC";
    QTest::newRow("htmlrtf suppresses control words") << html(R"(a\htmlrtf \par\tab\line\htmlrtf0 b)")
                                                      << "ab";
    QTest::newRow("htmlrtf restored on group exit")
        << html(R"(\htmlrtf {\htmlrtf0 x}y\htmlrtf0 z)") << "xz";
    QTest::newRow("htmlrtf carried into groups") << html(R"(\htmlrtf {x{y}}\htmlrtf0 z)") << "z";
    QTest::newRow("htmltag inside htmlrtf is suppressed")
        << html(R"(\htmlrtf {\*\htmltag84 <b>}\htmlrtf0 x)") << "x";
    QTest::newRow("par and tab inside htmltag") << html(R"({\*\htmltag0 \par }{\*\htmltag0 \tab })")
                                                << "\r\n\t";
    QTest::newRow("par tab line outside htmltag") << html(R"(a\par b\tab c\line d)") << "a\r\nb\tc\r\nd";
    QTest::newRow("sect and cell are formatting here") << html(R"(a\sect b\cell c\row)") << "abc";
    QTest::newRow("hex byte in the document code page") << html(R"(caf\'e9 \'93q\'94)") << "café “q”";
    QTest::newRow("hex byte in windows-1251") << html(R"(\'cf\'f0\'e8\'e2\'e5\'f2)", "\\ansicpg1251")
                                              << "Привет";
    QTest::newRow("hex byte in the current font's charset")
        << html(R"({\f1 \'cf\'f0\'e8}\'e9)") << "Приé";
    QTest::newRow("western font in a windows-1251 document")
        << html(R"(\'e9{\f5 \'e9})", "\\ansicpg1251") << "йé";
    QTest::newRow("hex byte in the current font's code page") << html(R"({\f3 \'e1\'e2\'e3})") << "αβγ";
    QTest::newRow("hex bytes inside htmltag")
        << html(R"({\*\htmltag84 <a title="caf\'e9">})") << "<a title=\"café\">";
    QTest::newRow("double-byte code page")
        << html(R"(\'93\'fa\'96\{\'8c\'ea)", "\\ansicpg932") << "日本語";
    QTest::newRow("double-byte trail byte escaped as \\\\") << html(R"(\'83\\)", "\\ansicpg932") << "ソ";
    QTest::newRow("double-byte font in a western document") << html(R"({\f2 \'93\'fa}x)") << "日x";
    QTest::newRow("unicode with one fallback byte") << html(R"(\u8364?x)") << "€x";
    QTest::newRow("unicode fallback as hex byte") << html(R"(\u233\'e9x)") << "éx";
    QTest::newRow("unicode with uc0") << html(R"(\uc0\u8364 x)") << "€x";
    QTest::newRow("unicode with uc2") << html(R"(\uc2\u8364 abc)") << "€c";
    QTest::newRow("unicode fallback counts a control word") << html(R"(\u8220\ldblquote x)") << "“x";
    QTest::newRow("uc scoped by group") << html(R"({\uc2 \u8364 ab}\u8364 cd)") << "€€d";
    QTest::newRow("unicode fallback ends at a group") << html(R"(\uc3\u8364{x})") << "€x";
    QTest::newRow("negative unicode, surrogate pair")
        << html(R"(\u-10179?\u-8704?)") << QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("unicode inside htmltag") << html(R"({\*\htmltag84 <p title="\u8364?">})")
                                            << "<p title=\"€\">";
    QTest::newRow("escaped braces and backslash") << html(R"(a\{b\}c\\d)") << "a{b}c\\d";
    QTest::newRow("character words")
        << html(R"(\lquote\rquote\ldblquote\rdblquote\bullet\endash\emdash\~)") << "‘’“”•–—\u00a0";
    QTest::newRow("character words inside htmltag") << html(R"({\*\htmltag84 \endash})") << "–";
    QTest::newRow("mhtmltag skipped, htmltag kept")
        << html(R"({\*\mhtmltag84 <img src="cid:a">}{\*\htmltag84 <img src="http://x/a">})")
        << "<img src=\"http://x/a\">";
    QTest::newRow("unknown destination inside htmltag") << html(R"({\*\htmltag84 <a{\*\foo bar}>})") << "<a>";
    QTest::newRow("htmlbase ignored") << html(R"({\*\htmltag84 <a href="\htmlbase x">})") << "<a href=\"x\">";
    QTest::newRow("link as Outlook writes it")
        << html(R"({\*\htmltag84 <a href="http://e.org/">}\htmlrtf {\field{\*\fldinst{HYPERLINK "http://e.org/"}})"
                R"({\fldrslt\cf1\ul \htmlrtf0 link\htmlrtf }\htmlrtf0 \htmlrtf }\htmlrtf0 {\*\htmltag92 </a>})")
        << "<a href=\"http://e.org/\">link</a>";
    QTest::newRow("source line breaks are not text") << html("{\\*\\htmltag84 <b>}\r\nbold\n") << "<b>bold";
    QTest::newRow("non-text destinations")
        << html(R"({\info{\title T}}{\pict\pngblip 89504e47}{\object x}{\stylesheet{\s0 Normal;}}ok)") << "ok";
}

void TestRtfBody::htmlDeencapsulation()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, expected);
    const RtfBody body = readRtf(rtf);
    QCOMPARE(body.encapsulation, RtfEncapsulation::html);
    QCOMPARE(body.html, expected);
    QCOMPARE(body.text, QString());
    QVERIFY(!body.truncated);
}

// Each row: rich text and the text and HTML fragment read from it.
void TestRtfBody::richText_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("html");
    QTest::newRow("paragraphs") << rich(R"(Hello\par World\par)") << "Hello\nWorld"
                                << paragraphs({"Hello", "World"});
    QTest::newRow("empty paragraph kept between")
        << rich(R"(A\par\par B)") << "A\n\nB" << paragraphs({"A", "<br>", "B"});
    QTest::newRow("last paragraph without par") << rich(R"(A\par B)") << "A\nB" << paragraphs({"A", "B"});
    QTest::newRow("line break") << rich(R"(A\line B)") << "A\nB" << paragraphs({"A<br>B"});
    QTest::newRow("tab and cells") << rich(R"(a\tab b\cell c\row)") << "a\tb\tc" << paragraphs({"a\tb\tc"});
    QTest::newRow("bold and italic")
        << rich(R"({\b bold} and {\i it})") << "bold and it" << paragraphs({"<b>bold</b> and <i>it</i>"});
    QTest::newRow("bold italic nested") << rich(R"({\b\i x}y)") << "xy" << paragraphs({"<b><i>x</i></b>y"});
    QTest::newRow("toggles off") << rich(R"(\b x\b0 y\i z\i0)") << "xyz" << paragraphs({"<b>x</b>y<i>z</i>"});
    QTest::newRow("plain resets") << rich(R"(\b\i x\plain y)") << "xy" << paragraphs({"<b><i>x</i></b>y"});
    QTest::newRow("bold across paragraphs")
        << rich(R"(\b x\par y)") << "x\ny" << paragraphs({"<b>x</b>", "<b>y</b>"});
    QTest::newRow("everything escaped")
        << rich(R"(<script>&"')") << "<script>&\"'" << paragraphs({"&lt;script&gt;&amp;&quot;&#39;"});
    QTest::newRow("hidden text dropped") << rich(R"(a{\v secret}b)") << "ab" << paragraphs({"ab"});
    QTest::newRow("field result kept, instruction skipped")
        << rich(R"({\field{\*\fldinst HYPERLINK "x"}{\fldrslt link}})") << "link" << paragraphs({"link"});
    QTest::newRow("old field instruction skipped")
        << rich(R"({\field{\fldinst PAGE}{\fldrslt 1}})") << "1" << paragraphs({"1"});
    QTest::newRow("non-text destinations")
        << rich(R"({\info{\title T}{\author A}}{\header H}{\footer F}{\pict\wmetafile8 0100}{\*\bkmkstart b})"
                R"({\object{\*\objdata 01}}{\nonesttables\par}ok)")
        << "ok" << paragraphs({"ok"});
    QTest::newRow("binary data with braces") << rich("a{\\pict\\bin4 }}{{}b") << "ab" << paragraphs({"ab"});
    QTest::newRow("code page by font")
        << rich(R"(\'e9{\f1 \'e9}{\f3 \'e9})") << "éйι" << paragraphs({"éйι"});
    QTest::newRow("windows-1251 document") << rich(R"(\'cf\'f0\'e8)", "\\ansicpg1251") << "При"
                                           << paragraphs({"При"});
    QTest::newRow("unicode") << rich(R"(\u1055?\u1088?)") << "Пр" << paragraphs({"Пр"});
    QTest::newRow("unicode out of range is not a character") << rich(R"(\u70000?x)") << "x" << paragraphs({"x"});
    QTest::newRow("control characters dropped") << rich(R"(a\'00\'07\u0?b)") << "ab" << paragraphs({"ab"});
    QTest::newRow("mac code page") << QByteArray(R"({\rtf1\mac \'8e})") << "é" << paragraphs({"é"});
    QTest::newRow("nothing") << rich(QByteArray()) << QString() << QString();
    QTest::newRow("only paragraphs") << rich(R"(\par\par)") << QString() << QString();
}

void TestRtfBody::richText()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QFETCH(QString, html);
    const RtfBody body = readRtf(rtf);
    QCOMPARE(body.encapsulation, RtfEncapsulation::none);
    QCOMPARE(body.text, text);
    QCOMPARE(body.html, html);
    QVERIFY(!body.truncated);
}

void TestRtfBody::textEncapsulation()
{
    const RtfBody body = readRtf(
        document("\\fromtext", R"({\*\bkmkstart BM_BEGIN}Dear Ann,\par \par Price: 5 \'80\tab net\par)"));
    QCOMPARE(body.encapsulation, RtfEncapsulation::text);
    QCOMPARE(body.text, QStringLiteral("Dear Ann,\n\nPrice: 5 €\tnet"));
    QCOMPARE(body.html, paragraphs({"Dear Ann,", "<br>", "Price: 5 €\tnet"}));
}

// A document that declares HTML yet holds none is still shown as its text.
void TestRtfBody::htmlDeclaredButAbsent()
{
    const RtfBody body = readRtf(html(R"({\*\htmltag64}\htmlrtf Just text\par\htmlrtf0 )"));
    QCOMPARE(body.encapsulation, RtfEncapsulation::none);
    QCOMPARE(body.text, QStringLiteral("Just text"));
}

// Each row: damaged input, what is read from it, and whether it is
// reported as cut short.
void TestRtfBody::malformed_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("truncated");
    QTest::newRow("not rtf") << QByteArray("Hello") << QString() << true;
    QTest::newRow("empty") << QByteArray() << QString() << true;
    QTest::newRow("only the opening") << QByteArray("{\\rtf") << QString() << true;
    QTest::newRow("ends inside a group") << QByteArray("{\\rtf1 Hello {\\b world") << "Hello world" << true;
    QTest::newRow("ends inside a hex byte") << QByteArray("{\\rtf1 a\\'4") << "a" << true;
    QTest::newRow("ends after a backslash") << QByteArray("{\\rtf1 a\\") << "a" << true;
    QTest::newRow("ends inside a destination") << QByteArray("{\\rtf1 a{\\*\\foo b") << "a" << true;
    QTest::newRow("bad hex digits") << QByteArray("{\\rtf1 a\\'zzb}") << "azzb" << false;
    QTest::newRow("extra closing braces") << QByteArray("{\\rtf1 a}}}b") << "a" << false;
    QTest::newRow("text after the document") << QByteArray("{\\rtf1 a}\0\0garbage", 18) << "a" << false;
    QTest::newRow("huge parameter") << QByteArray("{\\rtf1 \\u99999999999999999999999?x}") << "x" << false;
    QTest::newRow("huge negative parameter") << QByteArray("{\\rtf1 \\uc-99999999999999\\u8364 x}") << "€x"
                                             << false;
    QTest::newRow("huge uc") << QByteArray("{\\rtf1 \\uc2000000000\\u8364 abcdefghijklmnopqrstuvwxyz}")
                             << "€qrstuvwxyz" << false;
    QTest::newRow("binary past the end") << QByteArray("{\\rtf1 a\\bin999999999 bc}") << "a" << true;
    QTest::newRow("negative binary") << QByteArray("{\\rtf1 a\\bin-5 b}") << "ab" << false;
    QTest::newRow("long control word") << QByteArray("{\\rtf1 a\\") + QByteArray(5000, 'x') + " b}" << "ab"
                                       << false;
    QTest::newRow("star without a word") << QByteArray("{\\rtf1 a{\\*b}c}") << "ac" << false;
    QTest::newRow("star not at a group start") << QByteArray("{\\rtf1 a\\*b}") << "ab" << false;
    QTest::newRow("unknown ansicpg keeps windows-1252") << QByteArray("{\\rtf1\\ansicpg77777 \\'e9}") << "é"
                                                       << false;
    QTest::newRow("unknown font") << QByteArray("{\\rtf1\\ansicpg1251\\f99 \\'e9}") << "й" << false;
    QTest::newRow("font table without groups")
        << QByteArray("{\\rtf1{\\fonttbl\\f0\\fcharset204 A;\\f1\\fcharset0 B;}{\\f0 \\'e9}{\\f1 \\'e9}}") << "йé"
        << false;
}

void TestRtfBody::malformed()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QFETCH(bool, truncated);
    const RtfBody body = readRtf(rtf);
    QCOMPARE(body.text, text);
    QCOMPARE(body.truncated, truncated);
}

void TestRtfBody::deepNestingIsSkippedAndReadingGoesOn()
{
    constexpr int depth = 200000;
    const QByteArray rtf = QByteArray("{\\rtf1 before") + QByteArray(depth, '{') + "deep" + QByteArray(depth, '}')
                           + "after}";
    const RtfBody body = readRtf(rtf);
    QCOMPARE(body.text, QStringLiteral("beforeafter"));
    QVERIFY(body.truncated);

    const RtfBody unclosed = readRtf(QByteArray("{\\rtf1 x") + QByteArray(depth, '{'));
    QCOMPARE(unclosed.text, QStringLiteral("x"));
    QVERIFY(unclosed.truncated);

    const RtfBody destinations = readRtf("{\\rtf1\\fromhtml1 x" + QByteArray("{\\*\\htmltag1 ").repeated(depth));
    QCOMPARE(destinations.html, QStringLiteral("x"));
    QVERIFY(destinations.truncated);
}

void TestRtfBody::depthLimit()
{
    RtfLimits limits;
    limits.maxDepth = 4;
    const RtfBody body = readRtf("{\\rtf1 a{b{c{d{e}}}}f}", limits);
    QCOMPARE(body.text, QStringLiteral("abcdf"));
    QVERIFY(body.truncated);
    QVERIFY(!readRtf("{\\rtf1 a{b{c{d}}}f}", limits).truncated);
}

void TestRtfBody::tokenLimit()
{
    RtfLimits limits;
    limits.maxTokens = 5;  // {, \rtf1, a, b, c
    const RtfBody body = readRtf("{\\rtf1 abcdef}", limits);
    QCOMPARE(body.text, QStringLiteral("abc"));
    QVERIFY(body.truncated);

    limits.maxTokens = 100;
    const RtfBody skipped = readRtf("{\\rtf1 a{\\*\\x " + QByteArray(1000, 'y') + "}b}", limits);
    QCOMPARE(skipped.text, QStringLiteral("a"));
    QVERIFY(skipped.truncated);
}

void TestRtfBody::outputLimit()
{
    RtfLimits limits;
    limits.maxOutput = 100;
    const RtfBody body = readRtf("{\\rtf1 " + QByteArray(1000, '&') + "}", limits);
    QVERIFY(body.truncated);
    // Whole entities up to the bound, never part of one; the text says as much.
    const QString wrapperStart = QStringLiteral("<div style=\"white-space: pre-wrap\"><p style=\"margin: 0\">");
    const QString wrapperEnd = QStringLiteral("</p></div>");
    QVERIFY(body.html.startsWith(wrapperStart));
    QVERIFY(body.html.endsWith(wrapperEnd));
    const QString inner = body.html.sliced(wrapperStart.size()).chopped(wrapperEnd.size());
    QCOMPARE(inner, QStringLiteral("&amp;").repeated(15));
    QCOMPARE(body.text, QString(15, u'&'));

    const RtfBody recovered = readRtf("{\\rtf1\\fromhtml1 " + QByteArray(1000, 'x') + "}", limits);
    QCOMPARE(recovered.html, QString(100, u'x'));
    QVERIFY(recovered.truncated);

    // A bound that leaves no room for a paragraph gives nothing, and says so.
    limits.maxOutput = 10;
    const RtfBody none = readRtf("{\\rtf1 abc\\par def}", limits);
    QCOMPARE(none.text, QString());
    QVERIFY(none.truncated);
}

// Hostile shapes read to the end without a hang and within the output bound.
void TestRtfBody::hostileShapes_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::newRow("many control words") << "{\\rtf1 " + QByteArray("\\b\\i0\\f1\\uc9").repeated(100000) + "}";
    QTest::newRow("many fonts")
        << "{\\rtf1{\\fonttbl" + manyFonts(5000) + "}" + QByteArray("{\\f4999 \\'e9}").repeated(5000) + "}";
    QTest::newRow("many unicode escapes") << "{\\rtf1 " + QByteArray("\\u-1\\'ff").repeated(100000) + "}";
    QTest::newRow("alternating code pages")
        << "{\\rtf1{\\fonttbl{\\f1\\fcharset128 a;}{\\f2\\fcharset204 b;}}"
               + QByteArray("{\\f1\\'93}{\\f2\\'e9}").repeated(50000) + "}";
}

void TestRtfBody::hostileShapes()
{
    QFETCH(QByteArray, rtf);
    const RtfBody body = readRtf(rtf);
    QVERIFY(!body.truncated);
    QVERIFY(body.text.size() <= rtf.size());
}

QTEST_GUILESS_MAIN(TestRtfBody)
#include "tst_rtfbody.moc"
