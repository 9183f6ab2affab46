#pragma once

#include <QtGlobal>

namespace ostrel::pst {

// How an archive stores its data blocks (the header's crypt method):
// as they are, byte-permuted ("compressible") or with the cyclic cipher
// ("high"). Internal blocks (data trees, subnode trees) and pages are
// never encoded.
enum class Encoding : quint8 { None = 0, Permute = 1, Cyclic = 2 };

// Permutation, in place; decoding applies the inverse table.
void permuteEncode(char *data, qsizetype size);
void permuteDecode(char *data, qsizetype size);

// The cyclic cipher, in place; it is its own inverse. The key is the low
// 32 bits of the block's id.
void cyclicCode(char *data, qsizetype size, quint32 key);

// A data block's bytes as stored to plain bytes, and back.
void decodeBlock(Encoding encoding, char *data, qsizetype size, quint64 bid);
void encodeBlock(Encoding encoding, char *data, qsizetype size, quint64 bid);

}  // namespace ostrel::pst
