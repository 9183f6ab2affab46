#pragma once

#include "pst/format/Bytes.h"

// The writer spells the format's field helpers bytes::put16 and so on.
namespace ostrel::pstwriter::bytes {
using namespace ostrel::pst::bytes;
}  // namespace ostrel::pstwriter::bytes
