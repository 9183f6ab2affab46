#pragma once

#include "pst/format/Encoding.h"
#include "pst/format/Error.h"
#include "pst/format/Layout.h"

#include <QByteArrayView>

namespace ostrel::pst {

// A reference to a page or block: its id and file offset.
struct Bref {
    quint64 bid = 0;
    quint64 ib = 0;

    friend bool operator==(const Bref &, const Bref &) = default;
};

// The archive's header: which layout, how data blocks are encoded, and
// where the two B-trees start.
struct Header {
    static constexpr qsizetype kSize = 564;  // bytes read from offset 0
    static constexpr quint16 kClientPst = 0x4D53;  // "SM"
    static constexpr quint16 kClientOst = 0x4F53;  // "SO"
    static constexpr quint16 kClientPab = 0x4241;  // "AB"

    Variant variant = Variant::Unicode;
    quint16 version = 0;
    quint16 client = 0;
    Encoding encoding = Encoding::None;
    quint64 fileEof = 0;  // the size the header declares
    Bref nbtRoot;
    Bref bbtRoot;

    const Layout &layout() const { return Layout::of(variant); }
};

// Reads and checks the header from the file's first bytes (fewer than
// kSize when the file is shorter): magic, version, checksums, sentinel and
// encoding.
Result<Header> parseHeader(QByteArrayView bytes);

}  // namespace ostrel::pst
