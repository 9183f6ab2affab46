#pragma once

#include "pst/format/Crc.h"

namespace ostrel::pstwriter {

using pst::pstCrc;

// The ordinary zlib/PNG/ZIP CRC-32 (start and end inverted), for the small
// files the generators make.
quint32 zipCrc(const void *data, qsizetype size);

}  // namespace ostrel::pstwriter
