#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>
#include <initializer_list>
#include <memory>

namespace ostrel {

// Locale-aware containment that ignores letter case and diacritics: ICU
// string search at primary strength. The collator is opened once per
// matcher; setPattern searches for a new text with it. Where pattern and
// text are plain ASCII, a table of the collator's own weights for ASCII
// decides without a search, with the same answer. Not thread-safe: one
// thread uses a matcher.
class SearchMatcher {
public:
    explicit SearchMatcher(const QString &pattern = QString(), const QLocale &locale = QLocale());
    ~SearchMatcher();
    SearchMatcher(const SearchMatcher &) = delete;
    SearchMatcher &operator=(const SearchMatcher &) = delete;

    const QString &pattern() const;
    void setPattern(const QString &pattern);

    // Whether text contains the pattern; an empty text or pattern never does.
    bool matches(QStringView text) const;
    // Whether any of texts does, with one search over all of them (each
    // text's match stays within that text).
    bool matchesAny(std::initializer_list<QStringView> texts) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace ostrel
