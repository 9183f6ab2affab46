#pragma once

#include "pst/format/HeapOnNode.h"
#include "pst/ndb/NodeDatabase.h"

namespace ostrel::pst {

// A heap on a node: allocations addressed by heap id in the node's data
// blocks, and larger values in the node's subnodes. Reads blocks on
// demand; holds only the data tree's block ids. The database must outlive it.
class Heap {
public:
    static Result<Heap> open(NodeDatabase &db, quint64 bidData, quint64 bidSub);

    quint8 client() const { return m_header.client; }
    quint32 userRoot() const { return m_header.userRoot; }
    NodeDatabase &db() const { return *m_db; }
    const Layout &layout() const { return m_db->layout(); }
    quint64 bidSub() const { return m_bidSub; }
    quint64 bidData() const { return m_tree.root; }

    // The block a reader of many allocations holds on to: consecutive items
    // of one block cost no second look-up. With `keep` set, what it moved
    // away from stays in `earlier` (until the reader clears it), so views
    // into it stay valid.
    struct Cursor {
        int block = -1;  // -1: bytes hold a subnode's data, or nothing
        QByteArray bytes;
        bool keep = false;
        QList<QByteArray> earlier;
        // The held block's page map once checked: its offset and count.
        qsizetype map = -1;
        int count = 0;

        void hold(QByteArray next, int nextBlock)
        {
            if (keep && !bytes.isEmpty())
                earlier.append(std::move(bytes));
            bytes = std::move(next);
            block = nextBlock;
            map = -1;
        }
    };

    // One allocation; heap id 0 is the empty value.
    Result<QByteArray> item(quint32 hid) const;
    // The same as a view into cursor.bytes, valid while the cursor holds them.
    Result<QByteArrayView> itemView(quint32 hid, Cursor &cursor) const;
    // The same when the cursor already holds the item's block and all is
    // sound; nothing otherwise, and then itemView reads the block or says
    // what is wrong. A table's row reads many items of one block.
    std::optional<QByteArrayView> heldItem(quint32 hid, Cursor &cursor) const;
    // A value by heap-or-node id: an allocation, or a subnode's data,
    // refused when larger than maxBytes.
    Result<QByteArray> value(quint32 hnid, qsizetype maxBytes) const;
    // The same as a view into cursor.bytes (an allocation's block or a
    // subnode's data), valid while the cursor holds them.
    Result<QByteArrayView> valueView(quint32 hnid, qsizetype maxBytes, Cursor &cursor) const;
    // A subnode's data, for reading by range.
    Result<DataTree> subnodeTree(quint32 nid) const;

    // A damage report for a structure on this heap, at its first block's offset.
    Error damagedAt(QLatin1StringView structure, const QString &what) const;

private:
    Heap(NodeDatabase &db, DataTree tree, quint64 bidSub, heap::Header header)
        : m_db(&db), m_tree(std::move(tree)), m_bidSub(bidSub), m_header(header)
    {
    }
    Error damaged(int block, const QString &what) const;

    NodeDatabase *m_db;
    DataTree m_tree;
    quint64 m_bidSub;
    heap::Header m_header;
};

}  // namespace ostrel::pst
