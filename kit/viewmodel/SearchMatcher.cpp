#include "viewmodel/SearchMatcher.h"

#include <unicode/ucol.h>
#include <unicode/usearch.h>

namespace ostrel {

namespace {
const UChar *uchars(QStringView text)
{
    return reinterpret_cast<const UChar *>(text.utf16());
}

// Joins texts for one search. The collator gives U+FFFE a weight of its own,
// below every other, so a pattern without it never matches across a join.
constexpr QChar kSeparator(0xFFFE);
}  // namespace

struct SearchMatcher::Impl {
    QString pattern;
    UCollator *collator = nullptr;
    UStringSearch *search = nullptr;
    bool searchable = false;  // the search holds the current pattern
    QString placeholder = QStringLiteral(" ");
    mutable QString joined;  // reused, so a row costs no allocation

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
    if (d.pattern.isEmpty() || !d.collator)
        return;
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
        if (!d.joined.isEmpty())
            d.joined.append(kSeparator);
        d.joined.append(text);
    }
    return matches(d.joined);
}

}  // namespace ostrel
