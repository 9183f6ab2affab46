#include "update/Version.h"

#include <algorithm>

namespace ostrel {

std::optional<qint64> parseSignedInteger(const QString &text)
{
    qsizetype start = 0;
    if (text.startsWith(QLatin1Char('+')) || text.startsWith(QLatin1Char('-')))
        start = 1;
    if (start == text.size())
        return std::nullopt;
    for (qsizetype i = start; i < text.size(); ++i) {
        if (text.at(i) < QLatin1Char('0') || text.at(i) > QLatin1Char('9'))
            return std::nullopt;
    }
    // toLongLong would also take white space; the loop above has ruled it out.
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<ParsedVersion> parseVersion(const QString &text)
{
    const QString trimmed = text.trimmed();
    const qsizetype dash = trimmed.indexOf(QLatin1Char('-'));
    const QString core = dash < 0 ? trimmed : trimmed.left(dash);

    ParsedVersion version;
    for (const QString &piece : core.split(QLatin1Char('.'))) {
        // Digits only: no sign, unlike the pre-release identifiers.
        if (piece.isEmpty() || piece.startsWith(QLatin1Char('+')) || piece.startsWith(QLatin1Char('-')))
            return std::nullopt;
        const auto number = parseSignedInteger(piece);
        if (!number)
            return std::nullopt;
        version.numbers.append(*number);
    }
    if (dash >= 0) {
        const QStringList identifiers = trimmed.mid(dash + 1).split(QLatin1Char('.'));
        if (std::any_of(identifiers.begin(), identifiers.end(), [](const QString &s) { return s.isEmpty(); }))
            return std::nullopt;
        version.preRelease = identifiers;
    }
    return version;
}

namespace {

// -1, 0 or 1 over the numbers, missing places counting as 0.
int compareNumbers(const QList<qint64> &a, const QList<qint64> &b)
{
    const qsizetype n = std::max(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const qint64 x = i < a.size() ? a.at(i) : 0;
        const qint64 y = i < b.size() ? b.at(i) : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

// By Unicode scalar values, not UTF-16 code units.
bool textBefore(const QString &a, const QString &b)
{
    const QList<uint> x = a.toUcs4();
    const QList<uint> y = b.toUcs4();
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end());
}

}  // namespace

bool isOrderedBefore(const ParsedVersion &a, const ParsedVersion &b)
{
    if (const int c = compareNumbers(a.numbers, b.numbers); c != 0)
        return c < 0;
    if (!a.preRelease)
        return false;
    if (!b.preRelease)
        return true;
    const QStringList &x = *a.preRelease;
    const QStringList &y = *b.preRelease;
    for (qsizetype i = 0;; ++i) {
        if (i == x.size())
            return i < y.size();
        if (i == y.size())
            return false;
        const auto p = parseSignedInteger(x.at(i));
        const auto q = parseSignedInteger(y.at(i));
        if (p && q && *p != *q)
            return *p < *q;
        if (p && !q)
            return true;
        if (!p && q)
            return false;
        if (x.at(i) != y.at(i))
            return textBefore(x.at(i), y.at(i));
    }
}

bool isSameVersion(const ParsedVersion &a, const ParsedVersion &b)
{
    return compareNumbers(a.numbers, b.numbers) == 0 && a.preRelease == b.preRelease;
}

}  // namespace ostrel
