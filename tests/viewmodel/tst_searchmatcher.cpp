#include "viewmodel/SearchMatcher.h"

#include <QTest>

#include <unicode/ucol.h>
#include <unicode/usearch.h>
#include <unicode/uset.h>

#include <memory>
#include <random>

using namespace ostrel;

namespace {
const UChar *uchars(const QString &text)
{
    return reinterpret_cast<const UChar *>(text.utf16());
}

// ICU's own answer: a string search at primary strength with the locale's
// collator, one text at a time, with no shortcut of the matcher's.
class ReferenceSearch {
public:
    explicit ReferenceSearch(const QLocale &locale)
    {
        UErrorCode status = U_ZERO_ERROR;
        m_collator = ucol_open(locale.bcp47Name().toLatin1().constData(), &status);
        if (U_SUCCESS(status))
            ucol_setStrength(m_collator, UCOL_PRIMARY);
    }
    ~ReferenceSearch()
    {
        if (m_search)
            usearch_close(m_search);
        ucol_close(m_collator);
    }
    ReferenceSearch(const ReferenceSearch &) = delete;
    ReferenceSearch &operator=(const ReferenceSearch &) = delete;

    bool setPattern(const QString &pattern)
    {
        if (m_search)
            usearch_close(m_search);
        m_search = nullptr;
        m_pattern = pattern;
        if (pattern.isEmpty())
            return true;
        UErrorCode status = U_ZERO_ERROR;
        m_search = usearch_openFromCollator(uchars(m_pattern), int32_t(m_pattern.size()), uchars(m_placeholder),
                                            int32_t(m_placeholder.size()), m_collator, nullptr, &status);
        return U_SUCCESS(status);
    }
    bool contains(const QString &text)
    {
        if (!m_search || text.isEmpty())
            return false;
        UErrorCode status = U_ZERO_ERROR;
        usearch_setText(m_search, uchars(text), int32_t(text.size()), &status);
        const int32_t found = usearch_first(m_search, &status);
        return U_SUCCESS(status) && found != USEARCH_DONE;
    }

private:
    UCollator *m_collator = nullptr;
    UStringSearch *m_search = nullptr;
    QString m_pattern;
    const QString m_placeholder = QStringLiteral(" ");
};

// Seeded texts from pieces: letters of both cases (the ones contractions
// and tailorings use among them), digits, punctuation, spaces, control
// characters, CR LF, and now and then a character outside ASCII.
class TextMaker {
public:
    explicit TextMaker(quint32 seed) : m_random(seed) {}

    QString make(int maxLength, bool narrow)
    {
        static const QString common = QStringLiteral("chaldzsCHALDZSyYgGnNtTiIoOeEuUrRbBxX");
        static const QString rest = QStringLiteral("0123456789 .,-_@'\"!?/()[]{}~^`|\\#$%&*+;:<=>\t\x01\x1f\x7f\r\n");
        static const QStringList foreign{QStringLiteral("\u00e9"), QStringLiteral("\u0131"), QStringLiteral("\u0130"),
                                         QStringLiteral("\u00df"), QStringLiteral("\u00e4"), QStringLiteral("\u0301"),
                                         QStringLiteral("\u00b7"), QStringLiteral("\u00e5"), QStringLiteral("\uFFFE")};
        const int length = int(m_random() % quint32(maxLength + 1));
        QString text;
        for (int i = 0; i < length; ++i) {
            const quint32 pick = m_random() % 100;
            if (pick < 2)
                text += foreign.at(int(m_random() % quint32(foreign.size())));
            else if (pick < 5)
                text += QStringLiteral("\r\n");
            else if (pick < (narrow ? 90 : 70))
                text += common.at(int(m_random() % quint32(narrow ? 12 : common.size())));
            else
                text += rest.at(int(m_random() % quint32(rest.size())));
        }
        return text;
    }

private:
    std::mt19937 m_random;
};

// text with control and other non-printing characters spelled out.
QString visible(const QString &text)
{
    QString out;
    for (const QChar c : text)
        out += c.isPrint() && c.unicode() < 0x80 ? QString(c)
                                                 : QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    return out;
}

const char *const kLocales[] = {"en", "de", "da", "cs", "hu", "es", "sv", "tr", "ja", "cy", "sk", "nb", "hr", "zh"};
}  // namespace

class TestSearchMatcher : public QObject {
    Q_OBJECT
private slots:
    // The matcher answers as ICU's string search does, for every pair of
    // generated pattern and text, in locales with and without ASCII
    // contractions; and for fields searched together, as for any one alone.
    void sameAsIcu_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char *name : kLocales)
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void sameAsIcu()
    {
        QFETCH(QString, locale);
        const QLocale qlocale(locale);
        TextMaker maker(quint32(qHash(locale, 0)));  // the same texts every run
        QStringList texts;
        for (int i = 0; i < 150; ++i)
            texts << maker.make(i % 3 == 0 ? 40 : 12, i % 2 == 0);
        SearchMatcher matcher(QString(), qlocale);
        ReferenceSearch reference(qlocale);
        int found = 0;
        int pairs = 0;
        for (int p = 0; p < 200; ++p) {
            const QString pattern = maker.make(p % 4 == 0 ? 6 : 3, true);
            QVERIFY(reference.setPattern(pattern));
            matcher.setPattern(pattern);
            QList<bool> answers;
            for (const QString &text : texts) {
                const bool expected = reference.contains(text);
                answers << expected;
                found += expected ? 1 : 0;
                ++pairs;
                if (matcher.matches(text) != expected)
                    QFAIL(qPrintable(QStringLiteral("pattern \"%1\" in \"%2\": ICU says %3")
                                         .arg(visible(pattern), visible(text))
                                         .arg(expected)));
            }
            for (int t = 0; t + 2 < texts.size(); t += 3) {
                const bool expected = answers[t] || answers[t + 1] || answers[t + 2];
                if (matcher.matchesAny({texts[t], texts[t + 1], texts[t + 2]}) != expected)
                    QFAIL(qPrintable(QStringLiteral("pattern \"%1\" in fields %2: ICU says %3")
                                         .arg(visible(pattern))
                                         .arg(t)
                                         .arg(expected)));
            }
        }
        // Enough of both answers for the comparison to mean something.
        QVERIFY2(found > pairs / 20 && found < pairs - pairs / 20, qPrintable(QString::number(found)));
    }

    // The ASCII path reads contractions from the tailoring only: the root
    // collation must have none made of ASCII characters alone.
    void rootHasNoAsciiContraction()
    {
        UErrorCode status = U_ZERO_ERROR;
        const std::unique_ptr<UCollator, void (*)(UCollator *)> root(ucol_open("", &status), ucol_close);
        QVERIFY(U_SUCCESS(status));
        const std::unique_ptr<USet, void (*)(USet *)> contractions(uset_openEmpty(), uset_close);
        ucol_getContractionsAndExpansions(root.get(), contractions.get(), nullptr, true, &status);
        QVERIFY(U_SUCCESS(status));
        int strings = 0;
        for (int32_t i = 0; i < uset_getItemCount(contractions.get()); ++i) {
            UChar32 start = 0;
            UChar32 end = 0;
            UChar chars[64];
            UErrorCode itemStatus = U_ZERO_ERROR;
            const int32_t length = uset_getItem(contractions.get(), i, &start, &end, chars, 64, &itemStatus);
            if (length <= 0)
                continue;
            ++strings;
            const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(chars), length);
            QVERIFY2(!std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; }),
                     qPrintable(text));
        }
        QVERIFY(strings > 0);
    }

    // What people type, with ICU's answer next to the one written here.
    void userCases_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<bool>("match");
        QTest::newRow("invoice in capitals") << "en" << "invoice" << QStringList{"INVOICE 2024"} << true;
        QTest::newRow("capitals find lower") << "en" << "INVOICE" << QStringList{"your invoice"} << true;
        QTest::newRow("digits") << "en" << "2024" << QStringList{"INVOICE 2024"} << true;
        QTest::newRow("digits differ") << "en" << "2025" << QStringList{"INVOICE 2024"} << false;
        QTest::newRow("punctuation") << "en" << "bob@example.org" << QStringList{"Bob@Example.ORG"} << true;
        QTest::newRow("Rechnung") << "de" << "Rechnung" << QStringList{"Ihre RECHNUNG Nr. 5"} << true;
        QTest::newRow("Rechnungen not in Rechnung") << "de" << "rechnungen" << QStringList{"Ihre Rechnung"} << false;
        QTest::newRow("ASCII pattern, umlaut text") << "de" << "grusse" << QStringList{"Gr\u00fc\u00dfe"} << true;
        QTest::newRow("across two fields") << "en" << "annbob" << QStringList{"Ann", "Bob"} << false;
        QTest::newRow("across two fields, space") << "en" << "n b" << QStringList{"Ann ", "Bob"} << false;
        QTest::newRow("in the third field") << "en" << "cc" << QStringList{"Ann", "Bob", "Acc"} << true;
        QTest::newRow("empty text") << "en" << "a" << QStringList{""} << false;
        QTest::newRow("empty pattern") << "en" << "" << QStringList{"a"} << false;
        QTest::newRow("tab is not space") << "en" << "a b" << QStringList{"a\tb"} << false;
        QTest::newRow("CR of CR LF") << "en" << "a\r" << QStringList{"a\r\nb"} << true;
        QTest::newRow("LF of CR LF") << "en" << "\nb" << QStringList{"a\r\nb"} << false;
        QTest::newRow("LF alone") << "en" << "\nb" << QStringList{"a\nb"} << true;
        QTest::newRow("control character ignored") << "en" << "ab" << QStringList{"a\x01" "b"} << true;
        QTest::newRow("Danish aa is one letter") << "da" << "a" << QStringList{"Aabenraa"} << false;
        QTest::newRow("Danish a alone") << "da" << "a" << QStringList{"Bad"} << true;
        QTest::newRow("Czech ch is one letter") << "cs" << "c" << QStringList{"chata"} << false;
        QTest::newRow("Czech h after ch") << "cs" << "h" << QStringList{"chata"} << false;
        QTest::newRow("Hungarian dzs") << "hu" << "zs" << QStringList{"dzsungel"} << false;
        QTest::newRow("Turkish i is not I") << "tr" << "i" << QStringList{"IZMIR"} << false;
        QTest::newRow("Turkish I is not i") << "tr" << "I" << QStringList{"izmir"} << false;
        QTest::newRow("Turkish dotted capital") << "tr" << "izmir" << QStringList{"\u0130ZM\u0130R"} << true;
        QTest::newRow("Turkish dotless") << "tr" << "\u0131" << QStringList{"IZMIR"} << true;
        QTest::newRow("English i is I") << "en" << "i" << QStringList{"IZMIR"} << true;
    }
    void userCases()
    {
        QFETCH(QString, locale);
        QFETCH(QString, pattern);
        QFETCH(QStringList, fields);
        QFETCH(bool, match);
        const SearchMatcher matcher(pattern, QLocale(locale));
        ReferenceSearch reference{QLocale(locale)};
        QVERIFY(reference.setPattern(pattern));
        const bool icu =
            std::any_of(fields.cbegin(), fields.cend(), [&](const QString &f) { return reference.contains(f); });
        QCOMPARE(icu, match);
        QCOMPARE(matcher.matchesAny({fields.value(0), fields.value(1), fields.value(2)}), match);
        if (fields.size() == 1)
            QCOMPARE(matcher.matches(fields.first()), match);
    }
};

QTEST_GUILESS_MAIN(TestSearchMatcher)
#include "tst_searchmatcher.moc"
