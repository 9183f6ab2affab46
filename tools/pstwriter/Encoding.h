#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace ostrel::pstwriter {

// How data blocks are stored: as they are, or byte-permuted ("compressible",
// the archive's default). Internal blocks and pages are never encoded.
enum class Encoding : quint8 { None = 0, Permute = 1 };

QString encodingName(Encoding encoding);
std::optional<Encoding> encodingFromName(const QString &name);

// In place; decoding is the inverse permutation.
void permuteEncode(char *data, qsizetype size);
void permuteDecode(char *data, qsizetype size);

}  // namespace ostrel::pstwriter
