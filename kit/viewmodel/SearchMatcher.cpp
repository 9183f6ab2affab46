#include "viewmodel/SearchMatcher.h"

#include <unicode/ucol.h>
#include <unicode/usearch.h>

namespace ostrel {

namespace {
const UChar *uchars(const QString &text)
{
    return reinterpret_cast<const UChar *>(text.constData());
}
}  // namespace

struct SearchMatcher::Impl {
    QString pattern;
    UCollator *collator = nullptr;
    UStringSearch *search = nullptr;
    QString placeholder = QStringLiteral(" ");

    ~Impl()
    {
        if (search)
            usearch_close(search);
        if (collator)
            ucol_close(collator);
    }
};

SearchMatcher::SearchMatcher(const QString &pattern, const QLocale &locale) : m_impl(std::make_unique<Impl>())
{
    m_impl->pattern = pattern;
    UErrorCode status = U_ZERO_ERROR;
    const QByteArray localeName = locale.bcp47Name().toLatin1();
    m_impl->collator = ucol_open(localeName.constData(), &status);
    if (U_FAILURE(status)) {
        m_impl->collator = nullptr;
        return;
    }
    ucol_setStrength(m_impl->collator, UCOL_PRIMARY);
    status = U_ZERO_ERROR;
    m_impl->search = usearch_openFromCollator(uchars(m_impl->pattern), int32_t(m_impl->pattern.size()),
                                              uchars(m_impl->placeholder), int32_t(m_impl->placeholder.size()),
                                              m_impl->collator, nullptr, &status);
    if (U_FAILURE(status))
        m_impl->search = nullptr;
}

SearchMatcher::~SearchMatcher() = default;

bool SearchMatcher::matches(const QString &text) const
{
    if (text.isEmpty())
        return false;
    if (!m_impl->search)  // a pattern ICU cannot search for: plain folding
        return text.contains(m_impl->pattern, Qt::CaseInsensitive);
    UErrorCode status = U_ZERO_ERROR;
    usearch_setText(m_impl->search, uchars(text), int32_t(text.size()), &status);
    if (U_FAILURE(status))
        return text.contains(m_impl->pattern, Qt::CaseInsensitive);
    const int32_t found = usearch_first(m_impl->search, &status);
    return U_SUCCESS(status) && found != USEARCH_DONE;
}

}  // namespace ostrel
