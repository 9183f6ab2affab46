#pragma once

#include <QLocale>
#include <QString>
#include <memory>

namespace ostrel {

// Locale-aware containment that ignores letter case and diacritics: ICU
// string search at primary strength.
class SearchMatcher {
public:
    SearchMatcher(const QString &pattern, const QLocale &locale = QLocale());
    ~SearchMatcher();
    SearchMatcher(const SearchMatcher &) = delete;
    SearchMatcher &operator=(const SearchMatcher &) = delete;

    bool matches(const QString &text) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace ostrel
