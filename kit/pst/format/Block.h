#pragma once

#include "pst/format/Layout.h"

namespace ostrel::pst {

// What ends every block.
struct BlockTrailer {
    quint16 cb = 0;  // data bytes stored before the padding
    quint16 signature = 0;
    quint32 crc = 0;  // of the cb stored bytes
    quint64 bid = 0;
    quint16 inflated = 0;  // 4 KiB-page archives: the size before compression

    // 4 KiB-page archives compress a block when that saves space; the stored
    // bytes are then a zlib stream of `inflated` bytes.
    bool compressed() const { return inflated > cb; }
};

BlockTrailer readBlockTrailer(const Layout &layout, const uchar *trailer);
// Fills in the trailer of a block whose `cb` stored bytes are in place.
void writeBlockTrailer(const Layout &layout, uchar *trailer, quint16 cb, quint16 signature, quint32 crc,
                       quint64 bid);

// Internal blocks begin with their type.
enum class BlockType : quint8 { DataTree = 0x01, SubnodeTree = 0x02 };

// XBLOCK (level 1: data block ids) and XXBLOCK (level 2: XBLOCK ids).
struct XBlockHeader {
    quint8 type = 0;
    quint8 level = 0;
    quint16 count = 0;
    quint32 total = 0;  // bytes of data below
};

// SLBLOCK (level 0: entries) and SIBLOCK (level 1: SLBLOCK ids).
struct SlBlockHeader {
    quint8 type = 0;
    quint8 level = 0;
    quint16 count = 0;
};

struct SlEntry {
    quint32 nid = 0;
    quint64 bidData = 0;
    quint64 bidSub = 0;
};

struct SiEntry {
    quint32 nid = 0;  // the lowest nid of the SLBLOCK
    quint64 bid = 0;
};

XBlockHeader readXBlockHeader(const uchar *block);
SlBlockHeader readSlBlockHeader(const uchar *block);
quint64 readXEntry(const Layout &layout, const uchar *block, int index);
SlEntry readSlEntry(const Layout &layout, const uchar *block, int index);
SiEntry readSiEntry(const Layout &layout, const uchar *block, int index);

}  // namespace ostrel::pst
