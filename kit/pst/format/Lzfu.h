#pragma once

#include "pst/format/Error.h"

#include <QByteArray>
#include <QByteArrayView>

namespace ostrel::pst {

// Compressed RTF ("LZFu"): the RTF text with its header, raw size and CRC,
// as the RTF body property stores it.
QByteArray compressRtf(const QByteArray &rtf);

// The RTF text of a compressed (or stored, "MELA") RTF stream. Refuses a
// stream whose checksum or sizes do not match, and one that would give more
// than maxSize bytes.
Result<QByteArray> decompressRtf(QByteArrayView stream, qsizetype maxSize = 64 * 1024 * 1024);

}  // namespace ostrel::pst
