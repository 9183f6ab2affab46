#pragma once

#include "pst/format/Error.h"

#include <QByteArray>
#include <QByteArrayView>

namespace ostrel::pst {

// The compressed data blocks of 4 KiB-page archives: a zlib stream (a raw
// deflate stream is accepted too) that must give exactly `size` bytes.
// Never produces more than `size` bytes, whatever the stream claims.
Result<QByteArray> inflateBlock(QByteArrayView stored, int size);

// The inverse, for tests and writers: a zlib stream of `data`.
QByteArray deflateBlock(QByteArrayView data);

}  // namespace ostrel::pst
