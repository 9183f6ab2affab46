#pragma once

#include <QtGlobal>

namespace ostrel::pst {

// The archive's CRC-32: the reflected 0xEDB88320 polynomial, started from
// `crc` (0 for a fresh checksum) and never inverted at the end. Header,
// page and block trailers and compressed RTF all use it.
quint32 pstCrc(const void *data, qsizetype size, quint32 crc = 0);

}  // namespace ostrel::pst
