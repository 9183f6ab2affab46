// Code pages: Windows numbers to converters, and the order in which HTML and
// 8-bit text bodies find theirs, checked by the characters that come out.
#include "bodies/CodePages.h"

#include <QTest>

#include <optional>

using namespace ostrel;

using CodePage = std::optional<int>;
Q_DECLARE_METATYPE(CodePage)

namespace {
const CodePage none = std::nullopt;

// "日本語" in Shift_JIS; its second byte pair holds "{" as trail byte.
const QByteArray shiftJis("\x93\xfa\x96\x7b\x8c\xea");
// "Привет" in windows-1251.
const QByteArray cyrillic("\xcf\xf0\xe8\xe2\xe5\xf2");
// "café “q” —" in windows-1252.
const QByteArray western("caf\xe9 \x93q\x94 \x97");
const QString westernText = QStringLiteral("café “q” —");

QByteArray page(const QByteArray &head, const QByteArray &body)
{
    return "<html><head>" + head + "</head><body>" + body + "</body></html>";
}

QString shown(const QString &body, const QString &head = {})
{
    return QStringLiteral("<html><head>") + head + QStringLiteral("</head><body>") + body
           + QStringLiteral("</body></html>");
}
}  // namespace

class TestCodePages : public QObject {
    Q_OBJECT
private slots:
    void converterNames_data()
    {
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QByteArray>("converter");
        QTest::newRow("1252") << 1252 << QByteArray("windows-1252");
        QTest::newRow("1251") << 1251 << QByteArray("windows-1251");
        QTest::newRow("874") << 874 << QByteArray("windows-874");
        QTest::newRow("932") << 932 << QByteArray("windows-932");
        QTest::newRow("936") << 936 << QByteArray("windows-936");
        QTest::newRow("949") << 949 << QByteArray("windows-949");
        QTest::newRow("950") << 950 << QByteArray("windows-950");
        QTest::newRow("20127 reads as windows-1252") << 20127 << QByteArray("windows-1252");
        QTest::newRow("28591 reads as windows-1252") << 28591 << QByteArray("windows-1252");
        QTest::newRow("28592") << 28592 << QByteArray("iso-8859-2");
        QTest::newRow("50220") << 50220 << QByteArray("ISO-2022-JP");
        QTest::newRow("51932") << 51932 << QByteArray("EUC-JP");
        QTest::newRow("65001") << 65001 << QByteArray("UTF-8");
        QTest::newRow("UTF-16 is not 8-bit") << 1200 << QByteArray();
        QTest::newRow("UTF-7 is refused") << 65000 << QByteArray();
        QTest::newRow("zero") << 0 << QByteArray();
        QTest::newRow("negative") << -1252 << QByteArray();
        QTest::newRow("unknown") << 99999 << QByteArray();
    }
    void converterNames()
    {
        QFETCH(int, codePage);
        QFETCH(QByteArray, converter);
        QCOMPARE(codePageConverterName(codePage), converter);
    }

    // Every listed code page opens in ICU and reads ASCII as ASCII.
    void everyListedCodePageOpens()
    {
        const QByteArray ascii("Hello <p class=\"x\">&amp;</p> 0123456789");
        int listed = 0;
        for (int codePage = 0; codePage < 70000; ++codePage) {
            if (codePageConverterName(codePage).isEmpty()) {
                QVERIFY(!ostrel::decodeCodePage(ascii, codePage));
                continue;
            }
            ++listed;
            const auto decoded = ostrel::decodeCodePage(ascii, codePage);
            QVERIFY2(decoded, qPrintable(QString::number(codePage)));
            QCOMPARE(*decoded, QString::fromLatin1(ascii));
        }
        QVERIFY(listed > 60);
    }

    void decodeCodePage_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QString>("expected");
        QTest::newRow("windows-1252") << western << 1252 << westernText;
        QTest::newRow("windows-1251") << cyrillic << 1251 << QStringLiteral("Привет");
        QTest::newRow("iso-8859-1") << QByteArray("\xe9\xa0\xff") << 28591 << QStringLiteral("é\u00a0ÿ");
        QTest::newRow("Shift_JIS") << shiftJis << 932 << QStringLiteral("日本語");
        QTest::newRow("UTF-8") << QByteArray("\xe6\x97\xa5\xc3\xa9") << 65001 << QStringLiteral("日é");
        QTest::newRow("ISO-2022-JP") << QByteArray("\x1b$BF|K\\8l\x1b(B") << 50220 << QStringLiteral("日本語");
        QTest::newRow("undefined double byte is U+FFFD") << QByteArray("a\x81") << 932 << QStringLiteral("a\ufffd");
        QTest::newRow("invalid UTF-8 is U+FFFD") << QByteArray("a\xff") << 65001 << QStringLiteral("a\ufffd");
        QTest::newRow("empty") << QByteArray() << 1252 << QString();
    }
    void decodeCodePage()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, codePage);
        QFETCH(QString, expected);
        QCOMPARE(ostrel::decodeCodePage(bytes, codePage), std::optional<QString>(expected));
    }

    // Long input goes through the converter in several rounds.
    void longDoubleByteRun()
    {
        const auto decoded = ostrel::decodeCodePage(shiftJis.repeated(20000), 932);
        QVERIFY(decoded);
        QCOMPARE(*decoded, QStringLiteral("日本語").repeated(20000));
    }

    // Each row: HTML bytes, the two code pages of the message, what is shown.
    void decodeHtml_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<CodePage>("internet");
        QTest::addColumn<CodePage>("message");
        QTest::addColumn<QString>("expected");

        // windows-1252
        const QByteArray meta1252("<meta charset=\"windows-1252\">");
        QTest::newRow("1252, meta") << page(meta1252, western) << none << none << shown(westernText, meta1252);
        QTest::newRow("1252, internet code page") << page({}, western) << CodePage(1252) << none << shown(westernText);
        QTest::newRow("1252, nothing stated") << page({}, western) << none << none << shown(westernText);
        QTest::newRow("1252, meta over code pages")
            << page(meta1252, western) << CodePage(1251) << CodePage(1251) << shown(westernText, meta1252);
        // windows-1251
        const QByteArray equiv1251("<META http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">");
        QTest::newRow("1251, http-equiv meta") << page(equiv1251, cyrillic) << none << none
                                               << shown("Привет", equiv1251);
        QTest::newRow("1251, internet code page") << page({}, cyrillic) << CodePage(1251) << CodePage(1252)
                                                  << shown("Привет");
        QTest::newRow("1251, message code page") << page({}, cyrillic) << none << CodePage(1251) << shown("Привет");
        QTest::newRow("1251, unknown internet code page") << page({}, cyrillic) << CodePage(99999) << CodePage(1251)
                                                          << shown("Привет");
        // iso-8859-1, read as browsers read it
        const QByteArray latin1("<meta http-equiv=content-type content='text/html;charset=ISO-8859-1'>");
        QTest::newRow("iso-8859-1, meta") << page(latin1, "\xe9\x93") << none << none << shown("é“", latin1);
        QTest::newRow("iso-8859-1, internet code page") << page({}, "\xe9\xa0") << CodePage(28591) << none
                                                        << shown("é\u00a0");
        // Shift_JIS
        const QByteArray metaShiftJis("<meta charset=\"Shift_JIS\">");
        QTest::newRow("Shift_JIS, meta") << page(metaShiftJis, shiftJis) << none << none
                                         << shown("日本語", metaShiftJis);
        QTest::newRow("Shift_JIS, internet code page") << page({}, shiftJis) << CodePage(932) << none
                                                       << shown("日本語");
        QTest::newRow("Shift_JIS, message code page") << page({}, shiftJis) << none << CodePage(932)
                                                      << shown("日本語");
        // UTF-8 comes first
        const QByteArray metaUtf8("<meta charset=utf-8>");
        QTest::newRow("UTF-8, meta") << page(metaUtf8, "\xe6\x97\xa5\xc3\xa9") << none << none
                                     << shown("日é", metaUtf8);
        QTest::newRow("UTF-8 over a meta that says otherwise")
            << page("<meta charset=windows-1251>", "\xc3\xa9") << CodePage(1251) << CodePage(1251)
            << shown("é", "<meta charset=windows-1251>");
        QTest::newRow("UTF-8 without anything stated") << page({}, "\xc3\xa9") << none << none << shown("é");
        QTest::newRow("meta UTF-8 the bytes contradict") << page(metaUtf8, "\xe9") << none << CodePage(1251)
                                                         << shown("й", metaUtf8);
        QTest::newRow("byte order mark") << "\xef\xbb\xbf" + page({}, "\xc3\xa9") << CodePage(1251) << none
                                         << shown("é");
        QTest::newRow("UTF-16 byte order mark") << QByteArray("\xff\xfe<\0p\0>\0\xe9\0\0\0", 12) << none << none
                                                << QStringLiteral("<p>é");
        // ISO-2022-JP is 7-bit: valid as UTF-8, but the stated code page wins.
        QTest::newRow("ISO-2022-JP") << page({}, "\x1b$BF|K\\8l\x1b(B") << CodePage(50220) << none
                                     << shown("日本語");
        // The meta scan
        const QByteArray comment("<!-- <meta charset=windows-1251> -->");
        QTest::newRow("meta in a comment is ignored") << page(comment, western) << none << CodePage(1252)
                                                      << shown(westernText, comment);
        QTest::newRow("meta after body is ignored")
            << QByteArray("<html><body>") + cyrillic + "<meta charset=windows-1252></body>" << CodePage(1251) << none
            << QStringLiteral("<html><body>Привет<meta charset=windows-1252></body>");
        const QByteArray shouted("<META HTTP-EQUIV=\"CONTENT-TYPE\" CONTENT=\"TEXT/HTML; CHARSET=WINDOWS-1251\">");
        QTest::newRow("meta in upper case throughout") << page(shouted, cyrillic) << none << CodePage(1252)
                                                       << shown("Привет", shouted);
        QTest::newRow("meta after an upper-case body is ignored")
            << QByteArray("<HTML><BODY>") + cyrillic + "<META CHARSET=WINDOWS-1252></BODY>" << CodePage(1251) << none
            << QStringLiteral("<HTML><BODY>Привет<META CHARSET=WINDOWS-1252></BODY>");
        QTest::newRow("meta far beyond the head is ignored")
            << "<html><head>" + QByteArray(20000, ' ') + "<meta charset=windows-1251>" + cyrillic << none << none
            << "<html><head>" + QString(20000, u' ') + "<meta charset=windows-1251>Ïðèâåò";
        QTest::newRow("unknown meta label") << page("<meta charset=x-nothing>", cyrillic) << CodePage(1251) << none
                                            << shown("Привет", "<meta charset=x-nothing>");
        QTest::newRow("meta naming UTF-7 is refused") << page("<meta charset=utf-7>", "+ADw-b+AD4-\xe9") << none
                                                      << none << shown("+ADw-b+AD4-é", "<meta charset=utf-7>");
        QTest::newRow("meta naming UTF-16 is refused") << page("<meta charset=utf-16le>", "\xe9") << none << none
                                                       << shown("é", "<meta charset=utf-16le>");
        QTest::newRow("meta naming an EBCDIC code page is refused")
            << page("<meta charset=ibm037>", "\xe9") << none << none << shown("é", "<meta charset=ibm037>");
        QTest::newRow("unterminated quote") << page("<meta charset=\"windows-1251>", "\xe9") << none << none
                                            << shown("é", "<meta charset=\"windows-1251>");
        QTest::newRow("trailing NULs") << page({}, "\xe9") + QByteArray(3, '\0') << none << none << shown("é");
        QTest::newRow("UTF-16LE mark, odd trailing NULs") << QByteArray("\xff\xfe" "A\0\xe9\0\0\0\0", 9) << none << none
                                                          << QStringLiteral("Aé");
        QTest::newRow("UTF-16LE mark, text ending in a NUL high byte")
            << QByteArray("\xff\xfe" "A\0" "\x00\x01", 6) << none << none << QStringLiteral("A\u0100");
        QTest::newRow("UTF-16BE mark, odd trailing NULs") << QByteArray("\xfe\xff\0A\0\0\0", 7) << none << none
                                                          << QStringLiteral("A");
        QTest::newRow("UTF-16LE mark, cut inside a character") << QByteArray("\xff\xfe" "A\0B", 5) << none << none
                                                               << QStringLiteral("A\ufffd");
        QTest::newRow("UTF-8 mark, trailing NULs") << QByteArray("\xef\xbb\xbf\xc3\xa9\0\0", 7) << none << none
                                                   << QStringLiteral("é");
        QTest::newRow("only NULs") << QByteArray(4, '\0') << CodePage(1252) << none << QString();
        QTest::newRow("empty") << QByteArray() << CodePage(932) << CodePage(1251) << QString();
    }
    void decodeHtml()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(CodePage, internet);
        QFETCH(CodePage, message);
        QFETCH(QString, expected);
        QCOMPARE(ostrel::decodeHtml(bytes, internet, message), expected);
    }

    // Each row: 8-bit text, the two code pages of the message, what is shown.
    void decodeText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<CodePage>("internet");
        QTest::addColumn<CodePage>("message");
        QTest::addColumn<QString>("expected");
        QTest::newRow("windows-1252") << western << CodePage(1252) << none << westernText;
        QTest::newRow("windows-1252 by default") << western << none << none << westernText;
        QTest::newRow("windows-1251 by message code page") << cyrillic << none << CodePage(1251)
                                                           << QStringLiteral("Привет");
        QTest::newRow("internet code page first") << cyrillic << CodePage(1251) << CodePage(1252)
                                                  << QStringLiteral("Привет");
        QTest::newRow("unknown internet code page skipped") << shiftJis << CodePage(12345) << CodePage(932)
                                                            << QStringLiteral("日本語");
        QTest::newRow("UTF-16 code page skipped") << cyrillic << CodePage(1200) << CodePage(1251)
                                                  << QStringLiteral("Привет");
        QTest::newRow("iso-8859-1") << QByteArray("\xe9\x93") << CodePage(28591) << none << QStringLiteral("é“");
        QTest::newRow("Shift_JIS") << shiftJis << none << CodePage(932) << QStringLiteral("日本語");
        QTest::newRow("UTF-8 first") << QByteArray("\xd0\x9f") << CodePage(1252) << CodePage(1252)
                                     << QStringLiteral("П");
        QTest::newRow("UTF-8 code page the bytes contradict") << QByteArray("\xe9") << CodePage(65001)
                                                              << CodePage(1251) << QStringLiteral("й");
        QTest::newRow("ISO-2022-JP") << QByteArray("\x1b$BF|K\\8l\x1b(B") << none << CodePage(50220)
                                     << QStringLiteral("日本語");
        QTest::newRow("escape without a 7-bit code page") << QByteArray("a\x1b$Bb") << none << CodePage(1252)
                                                          << QStringLiteral("a\x1b$Bb");
        QTest::newRow("trailing NULs") << QByteArray("ab\0\0", 4) << none << none << QStringLiteral("ab");
    }
    void decodeText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(CodePage, internet);
        QFETCH(CodePage, message);
        QFETCH(QString, expected);
        QCOMPARE(ostrel::decodeText(bytes, internet, message), expected);
    }

    // Each row: bytes that are not UTF-8, so windows-1252 reads them.
    void notUtf8_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("overlong") << QByteArray("\xc0\xaf");
        QTest::newRow("overlong three bytes") << QByteArray("\xe0\x80\xaf");
        QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80");
        QTest::newRow("past U+10FFFF") << QByteArray("\xf4\x90\x80\x80");
        QTest::newRow("cut short") << QByteArray("\xe2\x82");
        QTest::newRow("lone continuation") << QByteArray("\x80");
        QTest::newRow("bad continuation") << QByteArray("\xc3\x28");
        QTest::newRow("five bytes") << QByteArray("\xf8\x88\x80\x80\x80");
    }
    void notUtf8()
    {
        QFETCH(QByteArray, bytes);
        QCOMPARE(ostrel::decodeText(bytes, std::nullopt, CodePage(1252)), *ostrel::decodeCodePage(bytes, 1252));
    }

    void utf8Boundaries_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("two bytes") << QByteArray("\xc2\x80") << QStringLiteral("\u0080");
        QTest::newRow("three bytes") << QByteArray("\xef\xbf\xbd") << QStringLiteral("\ufffd");
        QTest::newRow("last before surrogates") << QByteArray("\xed\x9f\xbf") << QStringLiteral("\ud7ff");
        QTest::newRow("four bytes") << QByteArray("\xf0\x9f\x98\x80") << QString::fromUtf8("\xf0\x9f\x98\x80");
        QTest::newRow("U+10FFFF") << QByteArray("\xf4\x8f\xbf\xbf") << QString::fromUtf8("\xf4\x8f\xbf\xbf");
    }
    void utf8Boundaries()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QCOMPARE(ostrel::decodeText(bytes, std::nullopt, CodePage(1251)), expected);
    }
};

QTEST_GUILESS_MAIN(TestCodePages)
#include "tst_codepages.moc"
