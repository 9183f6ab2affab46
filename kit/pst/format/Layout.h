#pragma once

#include <QtGlobal>

namespace ostrel::pst {

// The three layouts of the node database: ANSI (format versions 14 and 15,
// 32-bit ids and offsets), Unicode (23, 64-bit) and Unicode with 4 KiB
// pages (36, OST files of Outlook 2013 and later, whose data blocks may be
// zlib-compressed).
enum class Variant : quint8 { Ansi, Unicode, Unicode4k };

// Where the fields of pages and blocks lie in one variant. Offsets are
// from the start of the page or of the trailer.
struct Layout {
    Variant variant;
    int idSize;  // block ids and file offsets: 4 or 8 bytes

    // Pages (B-tree, allocation maps): the trailer ends the page.
    int pageSize;
    int pageTrailerAt;
    int pageCrcSize;  // bytes before the trailer that the page CRC covers
    int pageSigAt, pageCrcAt, pageBidAt;  // within the page

    // B-tree pages: entries from offset 0, then counts and level.
    int btEntriesSize;
    int btCountAt, btCountWidth;  // the entry count (1 or 2 bytes)
    int btEntrySizeAt, btLevelAt;
    int btIndexEntrySize;  // key, bid, offset
    int bbtEntrySize;      // bid, offset, size, reference count
    int nbtEntrySize;      // nid, data bid, subnode bid, parent nid

    // Blocks: data, padding, trailer; the whole aligned to blockAlign.
    int blockTrailerSize;
    int blockSigAt, blockCrcAt, blockBidAt;  // within the trailer
    int blockInflatedAt;  // the size before compression; -1 where there is none
    int blockAlign;
    int maxBlockSize;  // trailer included
    int maxBlockData;  // what one plain block of a data tree holds

    // Data trees and subnode trees.
    int xHeaderSize;   // XBLOCK and XXBLOCK: type, level, count, total size
    int slHeaderSize;  // SLBLOCK and SIBLOCK: type, level, count (and padding)
    int slEntrySize;   // nid, data bid, subnode bid
    int siEntrySize;   // nid, SLBLOCK bid

    // Heap ids: a 5-bit type, then an index, then the block index.
    int hidIndexBits;

    static constexpr const Layout &of(Variant variant);

    constexpr int maxXEntries() const { return (maxBlockData - xHeaderSize) / idSize; }
    constexpr quint64 blockSize(quint32 cb) const
    {
        return (quint64(cb) + quint64(blockTrailerSize) + quint64(blockAlign) - 1) / quint64(blockAlign)
               * quint64(blockAlign);
    }
};

inline constexpr Layout kAnsiLayout{Variant::Ansi, 4,
                                    512, 500, 500, 502, 508, 504,
                                    496, 496, 1, 498, 499, 12, 12, 16,
                                    12, 2, 8, 4, -1, 64, 8192, 8180,
                                    8, 4, 12, 8,
                                    11};
inline constexpr Layout kUnicodeLayout{Variant::Unicode, 8,
                                       512, 496, 496, 498, 500, 504,
                                       488, 488, 1, 490, 491, 24, 24, 32,
                                       16, 2, 4, 8, -1, 64, 8192, 8176,
                                       8, 8, 24, 16,
                                       11};
inline constexpr Layout kUnicode4kLayout{Variant::Unicode4k, 8,
                                         4096, 4072, 4072, 4074, 4076, 4080,
                                         4056, 4056, 2, 4060, 4061, 24, 24, 32,
                                         24, 2, 4, 8, 18, 512, 65536, 65512,
                                         8, 8, 24, 16,
                                         14};

constexpr const Layout &Layout::of(Variant variant)
{
    return variant == Variant::Ansi ? kAnsiLayout : variant == Variant::Unicode ? kUnicodeLayout : kUnicode4kLayout;
}

}  // namespace ostrel::pst
