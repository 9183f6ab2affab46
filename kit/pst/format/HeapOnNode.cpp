#include "HeapOnNode.h"

#include "pst/format/Bytes.h"

namespace ostrel::pst {

using namespace bytes;

heap::Header heap::readHeader(const uchar *block)
{
    return {le16(block), block[2], block[3], le32(block + 4)};
}

bth::Header bth::readHeader(const uchar *p)
{
    return {p[0], p[1], p[2], p[3], le32(p + 4)};
}

}  // namespace ostrel::pst
