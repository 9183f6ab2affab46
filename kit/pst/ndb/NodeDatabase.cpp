#include "NodeDatabase.h"

#include "pst/format/Bytes.h"
#include "pst/format/Crc.h"
#include "pst/format/Encoding.h"
#include "pst/format/Inflate.h"
#include "pst/format/Nid.h"

#include <QSet>

namespace ostrel::pst {

using namespace bytes;

namespace {

constexpr QLatin1StringView kNbt("nbt");
constexpr QLatin1StringView kBbt("bbt");
constexpr QLatin1StringView kBlock("block");
constexpr QLatin1StringView kDataTree("data tree");
constexpr QLatin1StringView kSubnodeTree("subnode tree");

QLatin1StringView treeName(PageType type) { return type == PageType::Nbt ? kNbt : kBbt; }

Error missing(QLatin1StringView structure, const QString &what)
{
    return {Error::Kind::Missing, QStringLiteral("%1: %2").arg(structure, what)};
}

// Node B-tree keys are node ids (32 bits, stored widened in Unicode pages);
// block B-tree keys are block ids less their reserved bit.
quint64 treeKey(PageType type, quint64 key) { return type == PageType::Nbt ? quint32(key) : bid::key(key); }

}  // namespace

Result<std::unique_ptr<NodeDatabase>> NodeDatabase::open(const QString &path, qsizetype cacheBound)
{
    auto file = ArchiveFile::open(path);
    if (!file)
        return file.error();
    auto head = (*file)->readUpTo(0, Header::kSize);
    if (!head)
        return head.error();
    auto header = parseHeader(*head);
    if (!header)
        return header.error();
    std::unique_ptr<NodeDatabase> db(new NodeDatabase(std::move(file.value()), *header, cacheBound));
    // Both roots must be sound pages, or nothing can be read.
    if (auto root = db->page(header->nbtRoot, PageType::Nbt); !root)
        return root.error();
    if (auto root = db->page(header->bbtRoot, PageType::Bbt); !root)
        return root.error();
    return db;
}

NodeDatabase::NodeDatabase(std::unique_ptr<ArchiveFile> file, const Header &header, qsizetype cacheBound)
    : m_file(std::move(file)), m_header(header), m_layout(header.layout()), m_cache(cacheBound)
{
}

Result<QByteArray> NodeDatabase::page(const Bref &ref, PageType type)
{
    const QLatin1StringView where = treeName(type);
    const auto expect = [&](const QByteArray &bytes) -> std::optional<Error> {
        const PageTrailer t = readPageTrailer(m_layout, data(bytes));
        if (t.type != quint8(type) || t.typeRepeat != quint8(type))
            return Error::damaged(where, QStringLiteral("page of type %1, expected %2")
                                             .arg(hex(t.type), hex(quint8(type))),
                                  ref.ib);
        if (bid::key(t.bid) != bid::key(ref.bid))
            return Error::damaged(where, QStringLiteral("page carries id %1, its reference says %2")
                                             .arg(hex(t.bid), hex(ref.bid)),
                                  ref.ib);
        return std::nullopt;
    };
    if (const QByteArray *cached = m_cache.find(BlockCache::Kind::Page, ref.ib)) {
        if (auto e = expect(*cached))
            return *e;
        return *cached;
    }
    // Pages of the 512-byte layouts lie on 512-byte boundaries.
    if (m_layout.variant != Variant::Unicode4k && ref.ib % quint64(m_layout.pageSize) != 0)
        return Error::damaged(where, QStringLiteral("misaligned page"), ref.ib);
    if (ref.ib < quint64(Header::kSize))
        return Error::damaged(where, QStringLiteral("page inside the header"), ref.ib);
    auto bytes = m_file->read(ref.ib, m_layout.pageSize, where);
    if (!bytes)
        return bytes.error();
    if (auto e = expect(*bytes))
        return *e;
    const PageTrailer t = readPageTrailer(m_layout, data(*bytes));
    if (t.signature != blockSignature(ref.ib, t.bid))
        return Error::damaged(where, QStringLiteral("bad page signature"), ref.ib);
    if (t.crc != pstCrc(bytes->constData(), m_layout.pageCrcSize))
        return Error::damaged(where, QStringLiteral("page checksum mismatch"), ref.ib);
    m_cache.insert(BlockCache::Kind::Page, ref.ib, *bytes);
    return bytes;
}

Result<QByteArray> NodeDatabase::lookup(PageType type, quint64 key)
{
    const QLatin1StringView where = treeName(type);
    const quint64 target = treeKey(type, key);
    Bref ref = type == PageType::Nbt ? m_header.nbtRoot : m_header.bbtRoot;
    int expectLevel = -1;
    // Each step goes one level down, so a looping tree ends at a level
    // mismatch; the depth cap bounds a tree that claims absurd levels.
    for (int depth = 0; depth <= kMaxBtreeDepth; ++depth) {
        auto bytes = page(ref, type);
        if (!bytes)
            return bytes.error();
        const uchar *p = data(*bytes);
        const BtPageInfo info = readBtPageInfo(m_layout, p);
        if (info.level > kMaxBtreeDepth)
            return Error::damaged(where, QStringLiteral("page on level %1").arg(info.level), ref.ib);
        if (expectLevel >= 0 && info.level != expectLevel)
            return Error::damaged(where, QStringLiteral("page on level %1, expected %2").arg(info.level).arg(expectLevel),
                                  ref.ib);
        const int entrySize = info.level > 0 ? m_layout.btIndexEntrySize
                              : type == PageType::Nbt ? m_layout.nbtEntrySize
                                                      : m_layout.bbtEntrySize;
        if (info.entrySize != entrySize)
            return Error::damaged(where, QStringLiteral("entries of %1 bytes, expected %2").arg(info.entrySize).arg(entrySize),
                                  ref.ib);
        if (info.count * entrySize > m_layout.btEntriesSize)
            return Error::damaged(where, QStringLiteral("%1 entries overflow the page").arg(info.count), ref.ib);

        if (info.level == 0) {
            for (int i = 0; i < info.count; ++i) {
                const uchar *e = p + i * entrySize;
                if (treeKey(type, leN(e, m_layout.idSize)) == target)
                    return QByteArray(reinterpret_cast<const char *>(e), entrySize);
            }
            return missing(where, QStringLiteral("no entry for %1").arg(hex(key)));
        }
        // The last child whose lowest key is not above the target.
        int chosen = -1;
        for (int i = 0; i < info.count; ++i) {
            const quint64 k = treeKey(type, leN(p + i * entrySize, m_layout.idSize));
            if (k > target)
                break;
            chosen = i;
        }
        if (chosen < 0)
            return missing(where, QStringLiteral("no entry for %1").arg(hex(key)));
        ref = readBtIndexEntry(m_layout, p + chosen * entrySize).child;
        expectLevel = info.level - 1;
    }
    return Error::damaged(where, QStringLiteral("deeper than %1 levels").arg(kMaxBtreeDepth), ref.ib);
}

Result<NbtEntry> NodeDatabase::node(quint32 nid)
{
    auto e = lookup(PageType::Nbt, nid);
    if (!e)
        return e.error();
    return readNbtEntry(m_layout, data(*e));
}

Result<BbtEntry> NodeDatabase::blockEntry(quint64 bid)
{
    auto e = lookup(PageType::Bbt, bid);
    if (!e)
        return e.error();
    return readBbtEntry(m_layout, data(*e));
}

Result<QByteArray> NodeDatabase::block(quint64 bid)
{
    if (bid == 0)
        return missing(kBlock, QStringLiteral("no block (id 0)"));
    if (const QByteArray *cached = m_cache.find(BlockCache::Kind::Block, bid::key(bid)))
        return *cached;
    if (const QByteArray *cached = m_readOnceCache.find(BlockCache::Kind::Block, bid::key(bid)))
        return *cached;
    auto entry = blockEntry(bid);
    if (!entry)
        return entry.error();
    auto bytes = readBlock(*entry, bid);
    if (bytes)
        (m_readOnce > 0 ? m_readOnceCache : m_cache).insert(BlockCache::Kind::Block, bid::key(bid), *bytes);
    return bytes;
}

Result<QByteArray> NodeDatabase::readBlock(const BbtEntry &entry, quint64 bid)
{
    const quint64 ib = entry.bref.ib;
    const QString name = hex(bid);
    const quint64 size = m_layout.blockSize(entry.cb);
    if (entry.cb > m_layout.maxBlockData || size > quint64(m_layout.maxBlockSize))
        return Error::damaged(kBlock, QStringLiteral("%1 declares %2 bytes").arg(name).arg(entry.cb), ib);
    if (ib % quint64(m_layout.blockAlign) != 0 || ib < quint64(Header::kSize))
        return Error::damaged(kBlock, QStringLiteral("%1 is misplaced").arg(name), ib);
    auto bytes = m_file->read(ib, qsizetype(size), kBlock);
    if (!bytes)
        return bytes.error();
    const BlockTrailer t = readBlockTrailer(m_layout, data(*bytes) + size - quint64(m_layout.blockTrailerSize));
    if (t.cb != entry.cb || bid::key(t.bid) != bid::key(bid))
        return Error::damaged(kBlock, QStringLiteral("%1: trailer says block %2 of %3 bytes, the block tree %4 bytes")
                                          .arg(name, hex(t.bid))
                                          .arg(t.cb)
                                          .arg(entry.cb),
                              ib);
    if (t.signature != blockSignature(ib, t.bid))
        return Error::damaged(kBlock, QStringLiteral("%1: bad signature").arg(name), ib);
    if (t.crc != pstCrc(bytes->constData(), entry.cb))
        return Error::damaged(kBlock, QStringLiteral("%1: checksum mismatch").arg(name), ib);
    QByteArray stored = std::move(bytes.value());
    stored.truncate(entry.cb);
    if (bid::isInternal(bid))
        return stored;
    const bool compressed = m_layout.blockInflatedAt >= 0 && t.compressed();
    const QByteArray raw = compressed ? stored : QByteArray();
    decodeBlock(m_header.encoding, stored.data(), stored.size(), t.bid);
    if (compressed) {
        if (t.inflated > m_layout.maxBlockData)
            return Error::damaged(kBlock, QStringLiteral("%1 inflates to %2 bytes").arg(name).arg(t.inflated), ib);
        auto plain = inflateBlock(stored, t.inflated);
        // Whether a compressed block is encoded after compression is not
        // documented; a stream that is not encoded is accepted too.
        if (!plain && m_header.encoding != Encoding::None) {
            if (auto unencoded = inflateBlock(raw, t.inflated))
                return unencoded;
        }
        if (!plain)
            return Error::damaged(kBlock, QStringLiteral("%1: %2").arg(name, plain.error().text), ib);
        return plain;
    }
    return stored;
}

Result<QByteArray> NodeDatabase::internalBlock(quint64 bid, BlockType type, QLatin1StringView structure)
{
    if (!bid::isInternal(bid))
        return Error::damaged(structure, QStringLiteral("%1 is a data block, expected an internal one").arg(hex(bid)));
    auto bytes = block(bid);
    if (!bytes)
        return bytes.error();
    if (bytes->size() < 8 || quint8(bytes->at(0)) != quint8(type))
        return Error::damaged(structure, QStringLiteral("block %1 is not of type %2").arg(hex(bid)).arg(quint8(type)));
    return bytes;
}

Result<QList<quint64>> NodeDatabase::xblockLeaves(quint64 bid, const QByteArray &bytes, int level, quint64 &total)
{
    const XBlockHeader x = readXBlockHeader(data(bytes));
    if (x.level != level)
        return Error::damaged(kDataTree, QStringLiteral("block %1 on level %2, expected %3").arg(hex(bid)).arg(x.level).arg(level));
    if (m_layout.xHeaderSize + qsizetype(x.count) * m_layout.idSize > bytes.size())
        return Error::damaged(kDataTree, QStringLiteral("block %1: %2 entries overflow it").arg(hex(bid)).arg(x.count));
    total = x.total;
    QList<quint64> ids;
    ids.reserve(x.count);
    for (int i = 0; i < x.count; ++i) {
        const quint64 child = readXEntry(m_layout, data(bytes), i);
        // Level 1 names data blocks, level 2 names XBLOCKs: a reference back
        // up the tree (a cycle) fails here.
        if (bid::isInternal(child) != (level == 2))
            return Error::damaged(kDataTree, QStringLiteral("block %1: entry %2 (%3) is of the wrong kind")
                                                 .arg(hex(bid))
                                                 .arg(i)
                                                 .arg(hex(child)));
        ids.append(child);
    }
    return ids;
}

Result<DataTree> NodeDatabase::dataTree(quint64 bid)
{
    DataTree tree;
    tree.root = bid;
    if (!bid::isInternal(bid)) {
        auto bytes = block(bid);
        if (!bytes)
            return bytes.error();
        tree.total = quint64(bytes->size());
        tree.leaves = {bid};
        tree.fullBlock = quint32(bytes->size());
        return tree;
    }
    auto top = internalBlock(bid, BlockType::DataTree, kDataTree);
    if (!top)
        return top.error();
    const int level = quint8(top->at(1));
    if (level != 1 && level != 2)
        return Error::damaged(kDataTree, QStringLiteral("block %1 on level %2").arg(hex(bid)).arg(level));
    auto ids = xblockLeaves(bid, *top, level, tree.total);
    if (!ids)
        return ids.error();
    if (level == 1) {
        tree.leaves = std::move(ids.value());
    } else {
        quint64 sum = 0;
        for (const quint64 xbid : *ids) {
            auto xb = internalBlock(xbid, BlockType::DataTree, kDataTree);
            if (!xb)
                return xb.error();
            quint64 part = 0;
            auto leaves = xblockLeaves(xbid, *xb, 1, part);
            if (!leaves)
                return leaves.error();
            if (tree.leaves.size() + leaves->size() > kMaxLeaves)
                return Error::damaged(kDataTree, QStringLiteral("block %1 has more than %2 leaves").arg(hex(bid)).arg(kMaxLeaves));
            tree.leaves += *leaves;
            sum += part;
        }
        if (sum != tree.total)
            return Error::damaged(kDataTree, QStringLiteral("block %1 declares %2 bytes, its parts %3")
                                                 .arg(hex(bid))
                                                 .arg(tree.total)
                                                 .arg(sum));
    }
    // A block named twice in one tree (a shared subtree or a loop) would
    // multiply its data; no writer does that.
    QSet<quint64> distinct;
    distinct.reserve(tree.leaves.size());
    for (const quint64 leafBid : std::as_const(tree.leaves)) {
        if (distinct.contains(bid::key(leafBid)))
            return Error::damaged(kDataTree, QStringLiteral("block %1 names block %2 twice").arg(hex(bid), hex(leafBid)));
        distinct.insert(bid::key(leafBid));
    }
    const auto n = quint64(tree.leaves.size());
    if (n == 0) {
        if (tree.total != 0)
            return Error::damaged(kDataTree, QStringLiteral("block %1 declares %2 bytes in no blocks").arg(hex(bid)).arg(tree.total));
        return tree;
    }
    // Streams fill every block but the last; where the total shows that,
    // an offset finds its block by division.
    quint64 full = quint64(m_layout.maxBlockData);
    if (m_layout.variant == Variant::Unicode4k && n > 1) {
        auto first = block(tree.leaves.first());
        if (!first)
            return first.error();
        full = quint64(first->size());
    }
    if (full > 0 && tree.total > (n - 1) * full && tree.total <= n * full)
        tree.fullBlock = quint32(full);
    return tree;
}

Result<QByteArray> NodeDatabase::leaf(const DataTree &tree, int index)
{
    if (index < 0 || index >= tree.leaves.size())
        return Error::damaged(kDataTree, QStringLiteral("block %1 has no leaf %2").arg(hex(tree.root)).arg(index));
    return block(tree.leaves[index]);
}

Result<QByteArray> NodeDatabase::read(const DataTree &tree, quint64 offset, qsizetype size)
{
    if (size < 0 || offset > tree.total || quint64(size) > tree.total - offset)
        return Error::damaged(kDataTree, QStringLiteral("block %1: %2 bytes at %3 lie outside its %4 bytes")
                                             .arg(hex(tree.root))
                                             .arg(size)
                                             .arg(offset)
                                             .arg(tree.total));
    QByteArray out;
    if (size == 0)
        return out;
    out.reserve(size);
    const auto n = tree.leaves.size();
    int index = 0;
    quint64 start = 0;  // offset of leaf `index` in the data
    if (tree.fullBlock > 0) {
        index = int(offset / tree.fullBlock);
        start = quint64(index) * tree.fullBlock;
    }
    const quint64 end = offset + quint64(size);
    for (; index < n && start < end; ++index) {
        auto bytes = block(tree.leaves[index]);
        if (!bytes)
            return bytes.error();
        const auto got = quint64(bytes->size());
        if (tree.fullBlock > 0) {
            const quint64 expected = index + 1 < n ? tree.fullBlock : tree.total - quint64(n - 1) * tree.fullBlock;
            if (got != expected)
                return Error::damaged(kDataTree, QStringLiteral("block %1: leaf %2 holds %3 bytes, expected %4")
                                                     .arg(hex(tree.root))
                                                     .arg(index)
                                                     .arg(got)
                                                     .arg(expected));
        }
        if (start + got > offset) {
            const quint64 from = offset > start ? offset - start : 0;
            const quint64 upto = std::min(got, end - start);
            out.append(bytes->constData() + from, qsizetype(upto - from));
        }
        start += got;
    }
    if (out.size() != size)
        return Error::damaged(kDataTree, QStringLiteral("block %1: leaves hold fewer bytes than its %2").arg(hex(tree.root)).arg(tree.total));
    return out;
}

Result<QByteArray> NodeDatabase::readAll(const DataTree &tree, qsizetype maxBytes)
{
    if (tree.total > quint64(maxBytes))
        return Error::damaged(kDataTree, QStringLiteral("block %1: %2 bytes exceed the limit of %3")
                                             .arg(hex(tree.root))
                                             .arg(tree.total)
                                             .arg(maxBytes));
    return read(tree, 0, qsizetype(tree.total));
}

Result<int> NodeDatabase::slLeafCount(quint64 bid, const QByteArray &bytes)
{
    const SlBlockHeader h = readSlBlockHeader(data(bytes));
    if (h.level != 0)
        return Error::damaged(kSubnodeTree, QStringLiteral("block %1 on level %2, expected 0").arg(hex(bid)).arg(h.level));
    if (m_layout.slHeaderSize + qsizetype(h.count) * m_layout.slEntrySize > bytes.size())
        return Error::damaged(kSubnodeTree, QStringLiteral("block %1: %2 entries overflow it").arg(hex(bid)).arg(h.count));
    return int(h.count);
}

Result<QList<SlEntry>> NodeDatabase::slEntries(quint64 bid, const QByteArray &bytes)
{
    auto count = slLeafCount(bid, bytes);
    if (!count)
        return count.error();
    QList<SlEntry> out;
    out.reserve(*count);
    for (int i = 0; i < *count; ++i)
        out.append(readSlEntry(m_layout, data(bytes), i));
    return out;
}

Result<SlEntry> NodeDatabase::subnode(quint64 bidSub, quint32 nid)
{
    if (bidSub == 0)
        return missing(kSubnodeTree, QStringLiteral("no subnodes, looking for %1").arg(hex(nid)));
    auto top = internalBlock(bidSub, BlockType::SubnodeTree, kSubnodeTree);
    if (!top)
        return top.error();
    quint64 leafBid = bidSub;
    QByteArray leafBytes = *top;
    const SlBlockHeader h = readSlBlockHeader(data(*top));
    if (h.level == 1) {
        if (m_layout.slHeaderSize + qsizetype(h.count) * m_layout.siEntrySize > top->size())
            return Error::damaged(kSubnodeTree, QStringLiteral("block %1: %2 entries overflow it").arg(hex(bidSub)).arg(h.count));
        int chosen = -1;
        for (int i = 0; i < h.count; ++i) {
            if (quint32(readSiEntry(m_layout, data(*top), i).nid) > nid)
                break;
            chosen = i;
        }
        if (chosen < 0)
            return missing(kSubnodeTree, QStringLiteral("no subnode %1").arg(hex(nid)));
        leafBid = readSiEntry(m_layout, data(*top), chosen).bid;
        auto leafBlock = internalBlock(leafBid, BlockType::SubnodeTree, kSubnodeTree);
        if (!leafBlock)
            return leafBlock.error();
        leafBytes = *leafBlock;
    } else if (h.level != 0) {
        return Error::damaged(kSubnodeTree, QStringLiteral("block %1 on level %2").arg(hex(bidSub)).arg(h.level));
    }
    // Scanned in place: no list per lookup.
    auto count = slLeafCount(leafBid, leafBytes);
    if (!count)
        return count.error();
    for (int i = 0; i < *count; ++i) {
        const SlEntry e = readSlEntry(m_layout, data(leafBytes), i);
        if (e.nid == nid)
            return e;
    }
    return missing(kSubnodeTree, QStringLiteral("no subnode %1").arg(hex(nid)));
}

Result<QList<SlEntry>> NodeDatabase::subnodes(quint64 bidSub)
{
    if (bidSub == 0)
        return QList<SlEntry>();
    auto top = internalBlock(bidSub, BlockType::SubnodeTree, kSubnodeTree);
    if (!top)
        return top.error();
    const SlBlockHeader h = readSlBlockHeader(data(*top));
    if (h.level == 0)
        return slEntries(bidSub, *top);
    if (h.level != 1)
        return Error::damaged(kSubnodeTree, QStringLiteral("block %1 on level %2").arg(hex(bidSub)).arg(h.level));
    if (m_layout.slHeaderSize + qsizetype(h.count) * m_layout.siEntrySize > top->size())
        return Error::damaged(kSubnodeTree, QStringLiteral("block %1: %2 entries overflow it").arg(hex(bidSub)).arg(h.count));
    QList<SlEntry> out;
    for (int i = 0; i < h.count; ++i) {
        const quint64 leafBid = readSiEntry(m_layout, data(*top), i).bid;
        auto leafBlock = internalBlock(leafBid, BlockType::SubnodeTree, kSubnodeTree);
        if (!leafBlock)
            return leafBlock.error();
        auto entries = slEntries(leafBid, *leafBlock);
        if (!entries)
            return entries.error();
        if (out.size() + entries->size() > kMaxSubnodes)
            return Error::damaged(kSubnodeTree, QStringLiteral("block %1 has more than %2 entries").arg(hex(bidSub)).arg(kMaxSubnodes));
        out += *entries;
    }
    return out;
}

}  // namespace ostrel::pst
