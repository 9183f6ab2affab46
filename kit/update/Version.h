#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace ostrel {

// A version text such as "1.2" or "1.0-beta.2", taken apart.
struct ParsedVersion {
    QList<qint64> numbers;                  // at least one
    std::optional<QStringList> preRelease;  // present exactly when the text had a "-" part
};

// None when the text is not a version (see VersionTests for the grammar).
std::optional<ParsedVersion> parseVersion(const QString &text);

// Numbers compare with missing places as 0; a pre-release precedes its
// release; identifiers compare as integers where both are, integers before
// words, otherwise as text.
bool isOrderedBefore(const ParsedVersion &a, const ParsedVersion &b);
// Same numbers (missing places as 0) and the same identifiers, text by text.
bool isSameVersion(const ParsedVersion &a, const ParsedVersion &b);

// A whole text as a signed 64-bit decimal: optional "+" or "-", at least one
// digit, nothing else.
std::optional<qint64> parseSignedInteger(const QString &text);

}  // namespace ostrel
