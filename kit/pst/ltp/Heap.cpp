#include "Heap.h"

#include "pst/format/Bytes.h"

namespace ostrel::pst {

using namespace bytes;

namespace {

constexpr QLatin1StringView kHeap("heap");

}  // namespace

Result<Heap> Heap::open(NodeDatabase &db, quint64 bidData, quint64 bidSub)
{
    auto tree = db.dataTree(bidData);
    if (!tree)
        return tree.error();
    auto first = db.leaf(*tree, 0);
    if (!first)
        return first.error();
    if (first->size() < heap::headerSize(0)) {
        auto entry = db.blockEntry(bidData);
        return Error::damaged(kHeap, QStringLiteral("block %1 of %2 bytes is too small").arg(hex(bidData)).arg(first->size()),
                              entry ? entry->bref.ib : 0);
    }
    const heap::Header header = heap::readHeader(data(*first));
    if (header.signature != heap::kSignature) {
        auto entry = db.blockEntry(tree->leaves.first());
        return Error::damaged(kHeap, QStringLiteral("bad signature %1 in block %2").arg(hex(header.signature), hex(bidData)),
                              entry ? entry->bref.ib : 0);
    }
    return Heap(db, std::move(tree.value()), bidSub, header);
}

Error Heap::damaged(int block, const QString &what) const
{
    const quint64 bid = block >= 0 && block < m_tree.leaves.size() ? m_tree.leaves[block] : m_tree.root;
    auto entry = m_db->blockEntry(bid);
    return Error::damaged(kHeap, QStringLiteral("block %1: %2").arg(hex(bid), what), entry ? entry->bref.ib : 0);
}

Error Heap::damagedAt(QLatin1StringView structure, const QString &what) const
{
    auto entry = m_db->blockEntry(m_tree.leaves.isEmpty() ? m_tree.root : m_tree.leaves.first());
    return Error::damaged(structure, QStringLiteral("heap %1: %2").arg(hex(m_tree.root), what), entry ? entry->bref.ib : 0);
}

Result<QByteArray> Heap::item(quint32 hid) const
{
    Cursor cursor;
    auto view = itemView(hid, cursor);
    if (!view)
        return view.error();
    return view->toByteArray();
}

Result<QByteArrayView> Heap::itemView(quint32 hid, Cursor &cursor) const
{
    if (hid == 0)
        return QByteArrayView();
    if (!heap::isHid(hid))
        return damaged(-1, QStringLiteral("%1 is not a heap id").arg(hex(hid)));
    const Layout &l = layout();
    const quint32 blockIndex = heap::hidBlock(l, hid);
    const quint32 index = heap::hidIndex(l, hid);
    if (blockIndex >= quint32(m_tree.leaves.size()))
        return damaged(-1, QStringLiteral("heap id %1 names block %2 of %3").arg(hex(hid)).arg(blockIndex).arg(m_tree.leaves.size()));
    const int b = int(blockIndex);
    if (cursor.block != b) {
        auto block = m_db->leaf(m_tree, b);
        if (!block)
            return block.error();
        cursor.hold(std::move(block.value()), b);
    }
    const QByteArray &block = cursor.bytes;
    const auto size = block.size();
    if (size < 2)
        return damaged(b, QStringLiteral("no page map"));
    const qsizetype map = le16(data(block));
    if (map < heap::headerSize(b) || map + 4 > size)
        return damaged(b, QStringLiteral("page map at %1 of %2 bytes").arg(map).arg(size));
    const int count = le16(data(block) + map);
    if (map + 4 + 2 * qsizetype(count + 1) > size)
        return damaged(b, QStringLiteral("page map of %1 allocations overflows the block").arg(count));
    if (index < 1 || index > quint32(count))
        return damaged(b, QStringLiteral("heap id %1 names allocation %2 of %3").arg(hex(hid)).arg(index).arg(count));
    const uchar *offsets = data(block) + map + 4;
    const qsizetype start = le16(offsets + 2 * (index - 1));
    const qsizetype end = le16(offsets + 2 * index);
    if (start > end || end > map)
        return damaged(b, QStringLiteral("allocation %1 spans %2 to %3, the page map starts at %4").arg(index).arg(start).arg(end).arg(map));
    return QByteArrayView(block).sliced(start, end - start);
}

std::optional<QByteArrayView> Heap::heldItem(quint32 hid, Cursor &cursor) const
{
    if (hid == 0 || !heap::isHid(hid))
        return std::nullopt;
    const Layout &l = layout();
    const int b = int(heap::hidBlock(l, hid));
    if (b != cursor.block || b >= m_tree.leaves.size())
        return std::nullopt;
    const QByteArray &block = cursor.bytes;
    const qsizetype size = block.size();
    if (cursor.map < 0) {
        // The checks itemView makes of the page map, once per block.
        if (size < 2)
            return std::nullopt;
        const qsizetype map = le16(data(block));
        if (map < heap::headerSize(b) || map + 4 > size)
            return std::nullopt;
        const int count = le16(data(block) + map);
        if (map + 4 + 2 * qsizetype(count + 1) > size)
            return std::nullopt;
        cursor.map = map;
        cursor.count = count;
    }
    const quint32 index = heap::hidIndex(l, hid);
    if (index < 1 || index > quint32(cursor.count))
        return std::nullopt;
    const uchar *offsets = data(block) + cursor.map + 4;
    const qsizetype start = le16(offsets + 2 * (index - 1));
    const qsizetype end = le16(offsets + 2 * index);
    if (start > end || end > cursor.map)
        return std::nullopt;
    return QByteArrayView(block).sliced(start, end - start);
}

Result<DataTree> Heap::subnodeTree(quint32 nid) const
{
    auto sub = m_db->subnode(m_bidSub, nid);
    if (!sub)
        return sub.error();
    return m_db->dataTree(sub->bidData);
}

Result<QByteArray> Heap::value(quint32 hnid, qsizetype maxBytes) const
{
    Cursor cursor;
    auto view = valueView(hnid, maxBytes, cursor);
    if (!view)
        return view.error();
    // A subnode's data is the cursor's whole buffer: handed over, not copied.
    if (view->size() == cursor.bytes.size() && view->data() == cursor.bytes.constData())
        return std::move(cursor.bytes);
    return view->toByteArray();
}

Result<QByteArrayView> Heap::valueView(quint32 hnid, qsizetype maxBytes, Cursor &cursor) const
{
    if (heap::isHid(hnid)) {
        auto bytes = itemView(hnid, cursor);
        if (bytes && bytes->size() > maxBytes)
            return damaged(int(heap::hidBlock(layout(), hnid)),
                           QStringLiteral("value of %1 bytes exceeds the limit of %2").arg(bytes->size()).arg(maxBytes));
        return bytes;
    }
    auto tree = subnodeTree(hnid);
    if (!tree)
        return tree.error();
    auto all = m_db->readAll(*tree, maxBytes);
    if (!all)
        return all.error();
    cursor.hold(std::move(all.value()), -1);
    return QByteArrayView(cursor.bytes);
}

}  // namespace ostrel::pst
