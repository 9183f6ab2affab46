#pragma once

#include "pst/format/Layout.h"

namespace ostrel::pst {

// A heap on a node: each block of the node is a heap page that begins with
// a header and ends its allocations with a page map.
namespace heap {

constexpr quint8 kSignature = 0xEC;
constexpr int kAllocMax = 3580;  // larger values live in subnodes

// What the heap holds (the header's client signature).
enum Client : quint8 {
    TableContext = 0x7C,  // TCINFO at the user root
    SearchTable = 0xAC,   // a table of search folders' contents
    BTree = 0xB5,         // a BTH header
    PropertyContext = 0xBC,
};

// The first block starts with the heap header; every 128th block from the
// 8th on with a fill-level bitmap; the others with just the map offset.
constexpr int headerSize(int block) { return block == 0 ? 12 : (block % 128 == 8 ? 66 : 2); }

struct Header {
    quint16 pageMap = 0;  // offset of the page map in the block
    quint8 signature = 0;
    quint8 client = 0;
    quint32 userRoot = 0;  // HID of the client's root structure
};

Header readHeader(const uchar *block);

// Heap ids: the 5-bit type (0 for a HID), the allocation's 1-based index in
// its block, and the block's index in the node.
constexpr bool isHid(quint32 hnid) { return (hnid & 0x1F) == 0; }
constexpr quint32 hidIndex(const Layout &layout, quint32 hid)
{
    return (hid >> 5) & ((1u << layout.hidIndexBits) - 1);
}
constexpr quint32 hidBlock(const Layout &layout, quint32 hid) { return hid >> (5 + layout.hidIndexBits); }
constexpr quint32 makeHid(const Layout &layout, quint32 block, quint32 index)
{
    return block << (5 + layout.hidIndexBits) | index << 5;
}

}  // namespace heap

// The BTH header: a B-tree of fixed-size records on a heap.
namespace bth {

constexpr quint8 kType = 0xB5;
constexpr int kMaxLevels = 8;  // deeper trees are damaged

struct Header {
    quint8 type = 0;
    quint8 keySize = 0;
    quint8 entrySize = 0;
    quint8 levels = 0;  // index levels above the leaves
    quint32 root = 0;   // HID of the root records; 0 when empty
};

constexpr int kHeaderSize = 8;
Header readHeader(const uchar *p);

}  // namespace bth

}  // namespace ostrel::pst
