#pragma once

// Stopgap: the format layer (ostrel_pst_format) is getting the one LZFu
// decompressor that the writer, the native engine and the record rules share.
// When it lands, RecordRules.cpp calls that instead and this file goes.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace ostrel {

// The RTF text of a compressed RTF value ("LZFu", or "MELA" stored as is);
// none when the value is malformed or its text is not the size it declares.
std::optional<QByteArray> decompressRtf(QByteArrayView stored);

}  // namespace ostrel
