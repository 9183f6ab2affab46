#pragma once

#include <QByteArray>

namespace ostrel::pstwriter {

// Compressed RTF ("LZFu"): the RTF text with its header, raw size and CRC,
// as the RTF body property stores it.
QByteArray compressRtf(const QByteArray &rtf);

// The inverse, for tests; returns an empty array on malformed input.
QByteArray decompressRtf(const QByteArray &compressed);

}  // namespace ostrel::pstwriter
