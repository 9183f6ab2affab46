#pragma once

#include "pst/format/Encoding.h"

#include <QString>

#include <optional>

namespace ostrel::pstwriter {

// How data blocks are stored: as they are (none), byte-permuted (permute,
// the archive's default) or with the cyclic cipher (cyclic).
using pst::Encoding;
using pst::permuteDecode;
using pst::permuteEncode;

QString encodingName(Encoding encoding);
std::optional<Encoding> encodingFromName(const QString &name);

}  // namespace ostrel::pstwriter
