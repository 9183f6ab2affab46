#include "viewmodel/SearchMatcher.h"

#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/usearch.h>
#include <unicode/uset.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

namespace {
const UChar *uchars(QStringView text)
{
    return reinterpret_cast<const UChar *>(text.utf16());
}

// Joins texts for one search. The collator gives U+FFFE a weight of its own,
// below every other, so a pattern without it never matches across a join.
constexpr QChar kSeparator(0xFFFE);

// Each ASCII character's class at primary strength: the smallest ASCII
// character with the same single collation element, 0 for a character the
// table cannot stand for (it goes to ICU). Two ASCII texts whose characters
// all have a class then match under ICU exactly when their class strings do.
using AsciiClasses = std::array<char, 128>;

// Whether the collator's settings keep one ASCII character one element,
// weighed by its primary alone.
bool asciiTableUsable(const UCollator *collator)
{
    UErrorCode status = U_ZERO_ERROR;
    const bool usable = ucol_getAttribute(collator, UCOL_ALTERNATE_HANDLING, &status) == UCOL_NON_IGNORABLE
                        && ucol_getAttribute(collator, UCOL_NUMERIC_COLLATION, &status) == UCOL_OFF
                        && ucol_getAttribute(collator, UCOL_CASE_LEVEL, &status) == UCOL_OFF
                        && ucol_getStrength(collator) == UCOL_PRIMARY;
    return usable && U_SUCCESS(status);
}

// The primary of c's one collation element; 0 when c has none, is
// ignorable or expands.
uint32_t singlePrimary(UCollationElements *elements, UChar c)
{
    UErrorCode status = U_ZERO_ERROR;
    ucol_setText(elements, &c, 1, &status);
    const int32_t first = ucol_next(elements, &status);
    if (U_FAILURE(status) || first == UCOL_NULLORDER || ucol_next(elements, &status) != UCOL_NULLORDER
        || U_FAILURE(status))
        return 0;
    return ucol_primaryOrder(first);
}

// Marks every ASCII character of an all-ASCII contraction or prefix string
// of the tailoring (Danish "aa", Czech "ch", Hungarian "dzs", ...). A string
// holding any other character never applies to ASCII text; the root
// collation has no all-ASCII one (the matcher's tests check that).
void excludeTailoredStrings(const UCollator *collator, AsciiClasses &classes)
{
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<USet, void (*)(USet *)> tailored(ucol_getTailoredSet(collator, &status), uset_close);
    if (U_FAILURE(status)) {
        classes.fill(0);
        return;
    }
    const int32_t count = uset_getItemCount(tailored.get());
    std::array<UChar, 32> chars{};
    for (int32_t i = 0; i < count; ++i) {
        UChar32 start = 0;
        UChar32 end = 0;
        UErrorCode itemStatus = U_ZERO_ERROR;
        const int32_t length =
            uset_getItem(tailored.get(), i, &start, &end, chars.data(), int32_t(chars.size()), &itemStatus);
        if (U_FAILURE(itemStatus)) {  // longer than any ASCII tailoring: be safe
            classes.fill(0);
            break;
        }
        if (length <= 0)
            continue;  // single code points: their elements were read above
        const bool ascii = std::all_of(chars.begin(), chars.begin() + length, [](UChar c) { return c < 0x80; });
        for (int32_t k = 0; ascii && k < length; ++k)
            classes[chars[size_t(k)]] = 0;
    }
}

AsciiClasses asciiClasses(const UCollator *collator)
{
    AsciiClasses classes{};
    if (!asciiTableUsable(collator))
        return classes;
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UCollationElements, void (*)(UCollationElements *)> elements(
        ucol_openElements(collator, nullptr, 0, &status), ucol_closeElements);
    if (U_FAILURE(status))
        return classes;
    std::array<uint32_t, 128> primaries{};
    for (UChar c = 1; c < 0x80; ++c)
        primaries[c] = singlePrimary(elements.get(), c);
    // CR LF is one character to ICU's boundaries: a match may not split it.
    primaries['\r'] = 0;
    for (size_t c = 1; c < 0x80; ++c) {
        if (primaries[c] == 0)
            continue;
        size_t same = 1;
        while (primaries[same] != primaries[c])
            ++same;
        classes[c] = char(same);
    }
    excludeTailoredStrings(collator, classes);
    return classes;
}

// text's class string in out; false when a character has no class.
bool toClasses(QStringView text, const AsciiClasses &classes, std::string &out)
{
    out.resize(size_t(text.size()));
    const char16_t *chars = text.utf16();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = chars[i];
        if (c >= 0x80 || classes[c] == 0)
            return false;
        out[size_t(i)] = classes[c];
    }
    return true;
}
}  // namespace

struct SearchMatcher::Impl {
    QString pattern;
    UCollator *collator = nullptr;
    UStringSearch *search = nullptr;
    bool searchable = false;  // the search holds the current pattern
    QString placeholder = QStringLiteral(" ");
    mutable QString joined;  // reused, so a row costs no allocation
    // The ASCII path: the pattern's class string, used when it has one.
    std::optional<AsciiClasses> classes;  // built for the first ASCII pattern
    std::string asciiPattern;
    bool ascii = false;
    mutable std::string asciiText;

    // Whether text's match is decided without ICU; then found says it.
    bool asciiMatch(QStringView text, bool &found) const
    {
        if (!ascii || !toClasses(text, *classes, asciiText))
            return false;
        found = std::string_view(asciiText).find(asciiPattern) != std::string_view::npos;
        return true;
    }

    ~Impl()
    {
        if (search)
            usearch_close(search);
        if (collator)
            ucol_close(collator);
    }

    bool plainContains(QStringView text) const { return text.contains(pattern, Qt::CaseInsensitive); }
};

SearchMatcher::SearchMatcher(const QString &pattern, const QLocale &locale) : m_impl(std::make_unique<Impl>())
{
    UErrorCode status = U_ZERO_ERROR;
    const QByteArray localeName = locale.bcp47Name().toLatin1();
    m_impl->collator = ucol_open(localeName.constData(), &status);
    if (U_FAILURE(status))
        m_impl->collator = nullptr;
    else
        ucol_setStrength(m_impl->collator, UCOL_PRIMARY);
    setPattern(pattern);
}

SearchMatcher::~SearchMatcher() = default;

const QString &SearchMatcher::pattern() const
{
    return m_impl->pattern;
}

void SearchMatcher::setPattern(const QString &pattern)
{
    Impl &d = *m_impl;
    // The search keeps a pointer to the pattern: the copy it points to
    // lives in d.pattern until the next pattern replaces it there.
    d.pattern = pattern;
    d.pattern.detach();
    d.searchable = false;
    d.ascii = false;
    if (d.pattern.isEmpty() || !d.collator)
        return;
    const bool asciiPattern =
        std::all_of(d.pattern.cbegin(), d.pattern.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (asciiPattern && !d.classes)
        d.classes = asciiClasses(d.collator);
    d.ascii = asciiPattern && toClasses(d.pattern, *d.classes, d.asciiPattern);
    UErrorCode status = U_ZERO_ERROR;
    if (!d.search) {
        d.search = usearch_openFromCollator(uchars(d.pattern), int32_t(d.pattern.size()), uchars(d.placeholder),
                                            int32_t(d.placeholder.size()), d.collator, nullptr, &status);
        if (U_FAILURE(status)) {
            d.search = nullptr;
            return;
        }
    } else {
        usearch_setPattern(d.search, uchars(d.pattern), int32_t(d.pattern.size()), &status);
        if (U_FAILURE(status))
            return;
    }
    d.searchable = true;
}

bool SearchMatcher::matches(QStringView text) const
{
    const Impl &d = *m_impl;
    if (text.isEmpty() || d.pattern.isEmpty())
        return false;
    if (!d.searchable)  // a pattern ICU cannot search for: plain folding
        return d.plainContains(text);
    if (bool found = false; d.asciiMatch(text, found))
        return found;
    UErrorCode status = U_ZERO_ERROR;
    usearch_setText(d.search, uchars(text), int32_t(text.size()), &status);
    if (U_FAILURE(status))
        return d.plainContains(text);
    const int32_t found = usearch_first(d.search, &status);
    return U_SUCCESS(status) && found != USEARCH_DONE;
}

bool SearchMatcher::matchesAny(std::initializer_list<QStringView> texts) const
{
    const Impl &d = *m_impl;
    if (d.pattern.contains(kSeparator)) {
        for (const QStringView text : texts) {
            if (matches(text))
                return true;
        }
        return false;
    }
    d.joined.clear();
    for (const QStringView text : texts) {
        if (text.isEmpty())
            continue;
        if (bool found = false; d.searchable && d.asciiMatch(text, found)) {
            if (found)
                return true;
            continue;
        }
        if (!d.joined.isEmpty())
            d.joined.append(kSeparator);
        d.joined.append(text);
    }
    return matches(d.joined);
}

}  // namespace ostrel
