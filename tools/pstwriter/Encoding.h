#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace ostrel::pstwriter {

// How data blocks are stored: as they are, byte-permuted ("compressible",
// Outlook's default) or cyclic ("high": keyed by the block id). Internal
// blocks and pages are never encoded.
enum class Encoding : quint8 { None = 0, Permute = 1, Cyclic = 2 };

QString encodingName(Encoding encoding);
// none, permute (or compressible), cyclic (or high).
std::optional<Encoding> encodingFromName(const QString &name);

// In place; decoding is the inverse permutation.
void permuteEncode(char *data, qsizetype size);
void permuteDecode(char *data, qsizetype size);

// In place; its own inverse. `key` is the low 32 bits of the block id.
void cyclicCode(char *data, qsizetype size, quint32 key);

// A data block's bytes as the encoding stores them, and back.
void encodeBlock(Encoding encoding, char *data, qsizetype size, quint64 bid);
void decodeBlock(Encoding encoding, char *data, qsizetype size, quint64 bid);

}  // namespace ostrel::pstwriter
