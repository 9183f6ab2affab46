#pragma once

#include <QString>

namespace ostrel {

// Lengths the user sees are counted in grapheme clusters, not UTF-16 units.
qsizetype graphemeCount(const QString &text);
QString graphemePrefix(const QString &text, qsizetype count);

// Unicode white space including line breaks removed at both ends, and every
// inner run of it collapsed to one space.
QString collapseWhiteSpace(const QString &text);

// Blanks only (spaces, tabs, other space separators): line breaks are kept.
QString trimBlanks(const QString &text);

// The text after the last "." of the last path component; empty when none.
QString fileExtension(const QString &fileName);

}  // namespace ostrel
