#include "Block.h"

#include "pst/format/Bytes.h"

namespace ostrel::pst {

using namespace bytes;

BlockTrailer readBlockTrailer(const Layout &layout, const uchar *trailer)
{
    BlockTrailer t{le16(trailer), le16(trailer + layout.blockSigAt), le32(trailer + layout.blockCrcAt),
                   leN(trailer + layout.blockBidAt, layout.idSize), 0};
    if (layout.blockInflatedAt >= 0)
        t.inflated = le16(trailer + layout.blockInflatedAt);
    return t;
}

void writeBlockTrailer(const Layout &layout, uchar *trailer, quint16 cb, quint16 signature, quint32 crc, quint64 bid)
{
    qToLittleEndian(cb, trailer);
    qToLittleEndian(signature, trailer + layout.blockSigAt);
    qToLittleEndian(crc, trailer + layout.blockCrcAt);
    if (layout.idSize == 4)
        qToLittleEndian(quint32(bid), trailer + layout.blockBidAt);
    else
        qToLittleEndian(bid, trailer + layout.blockBidAt);
    if (layout.blockInflatedAt >= 0)
        qToLittleEndian(cb, trailer + layout.blockInflatedAt);
}

XBlockHeader readXBlockHeader(const uchar *block)
{
    return {block[0], block[1], le16(block + 2), le32(block + 4)};
}

SlBlockHeader readSlBlockHeader(const uchar *block)
{
    return {block[0], block[1], le16(block + 2)};
}

quint64 readXEntry(const Layout &layout, const uchar *block, int index)
{
    return leN(block + layout.xHeaderSize + index * layout.idSize, layout.idSize);
}

SlEntry readSlEntry(const Layout &layout, const uchar *block, int index)
{
    const int w = layout.idSize;
    const uchar *e = block + layout.slHeaderSize + index * layout.slEntrySize;
    return {quint32(leN(e, w)), leN(e + w, w), leN(e + 2 * w, w)};
}

SiEntry readSiEntry(const Layout &layout, const uchar *block, int index)
{
    const int w = layout.idSize;
    const uchar *e = block + layout.slHeaderSize + index * layout.siEntrySize;
    return {quint32(leN(e, w)), leN(e + w, w)};
}

}  // namespace ostrel::pst
