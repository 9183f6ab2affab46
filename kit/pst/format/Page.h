#pragma once

#include "pst/format/Header.h"
#include "pst/format/Layout.h"

namespace ostrel::pst {

enum class PageType : quint8 {
    Bbt = 0x80,    // block B-tree
    Nbt = 0x81,    // node B-tree
    FMap = 0x82,
    PMap = 0x83,
    AMap = 0x84,
    FPMap = 0x85,
    DList = 0x86,
};

// The signature of B-tree pages and blocks: their offset and id folded
// into 16 bits.
constexpr quint16 blockSignature(quint64 ib, quint64 bid)
{
    const quint64 x = ib ^ bid;
    return quint16(quint16(x >> 16) ^ quint16(x));
}

struct PageTrailer {
    quint8 type = 0;
    quint8 typeRepeat = 0;
    quint16 signature = 0;
    quint32 crc = 0;
    quint64 bid = 0;
};

PageTrailer readPageTrailer(const Layout &layout, const uchar *page);
// Fills in the trailer of a page whose data is complete (CRC included).
void writePageTrailer(const Layout &layout, uchar *page, PageType type, quint16 signature, quint64 bid);

// The shape of a B-tree page.
struct BtPageInfo {
    int count = 0;
    int maxCount = 0;
    int entrySize = 0;
    int level = 0;
};

BtPageInfo readBtPageInfo(const Layout &layout, const uchar *page);

// An entry of an index page: the lowest key below it and its child page.
struct BtIndexEntry {
    quint64 key = 0;
    Bref child;
};

// A block B-tree leaf entry.
struct BbtEntry {
    Bref bref;
    quint16 cb = 0;    // stored size (compressed size where blocks are compressed)
    quint16 refs = 0;  // reference count
};

// A node B-tree leaf entry.
struct NbtEntry {
    quint32 nid = 0;
    quint64 bidData = 0;
    quint64 bidSub = 0;
    quint32 parent = 0;

    friend bool operator==(const NbtEntry &, const NbtEntry &) = default;
};

BtIndexEntry readBtIndexEntry(const Layout &layout, const uchar *entry);
BbtEntry readBbtEntry(const Layout &layout, const uchar *entry);
NbtEntry readNbtEntry(const Layout &layout, const uchar *entry);

}  // namespace ostrel::pst
