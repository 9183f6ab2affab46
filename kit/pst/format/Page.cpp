#include "Page.h"

#include "pst/format/Bytes.h"
#include "pst/format/Crc.h"

namespace ostrel::pst {

using namespace bytes;

PageTrailer readPageTrailer(const Layout &layout, const uchar *page)
{
    const uchar *t = page + layout.pageTrailerAt;
    return {t[0], t[1], le16(page + layout.pageSigAt), le32(page + layout.pageCrcAt),
            leN(page + layout.pageBidAt, layout.idSize)};
}

void writePageTrailer(const Layout &layout, uchar *page, PageType type, quint16 signature, quint64 bid)
{
    page[layout.pageTrailerAt] = quint8(type);
    page[layout.pageTrailerAt + 1] = quint8(type);
    qToLittleEndian(signature, page + layout.pageSigAt);
    qToLittleEndian(pstCrc(page, layout.pageCrcSize), page + layout.pageCrcAt);
    if (layout.idSize == 4)
        qToLittleEndian(quint32(bid), page + layout.pageBidAt);
    else
        qToLittleEndian(bid, page + layout.pageBidAt);
}

BtPageInfo readBtPageInfo(const Layout &layout, const uchar *page)
{
    const bool wide = layout.btCountWidth == 2;
    const uchar *c = page + layout.btCountAt;
    return {wide ? le16(c) : c[0], wide ? le16(c + 2) : c[1], page[layout.btEntrySizeAt], page[layout.btLevelAt]};
}

BtIndexEntry readBtIndexEntry(const Layout &layout, const uchar *entry)
{
    const int w = layout.idSize;
    return {leN(entry, w), {leN(entry + w, w), leN(entry + 2 * w, w)}};
}

BbtEntry readBbtEntry(const Layout &layout, const uchar *entry)
{
    const int w = layout.idSize;
    return {{leN(entry, w), leN(entry + w, w)}, le16(entry + 2 * w), le16(entry + 2 * w + 2)};
}

NbtEntry readNbtEntry(const Layout &layout, const uchar *entry)
{
    const int w = layout.idSize;
    return {quint32(leN(entry, w)), leN(entry + w, w), leN(entry + 2 * w, w), le32(entry + 3 * w)};
}

}  // namespace ostrel::pst
