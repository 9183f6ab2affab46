#pragma once

#include <QList>

namespace ostrel::pst {

// A node's data as a sequence of data blocks: one block, or the leaves of an
// XBLOCK or XXBLOCK. Only block ids are held; the bytes are read on demand.
struct DataTree {
    quint64 root = 0;       // the node's data block id
    quint64 total = 0;      // bytes of data in all leaves
    QList<quint64> leaves;  // data block ids, in order
    // Bytes of every leaf but the last, when the total shows they are all
    // full; 0 when not, and offsets are then found by reading leaf sizes.
    quint32 fullBlock = 0;
};

}  // namespace ostrel::pst
