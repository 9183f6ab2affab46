#pragma once

#include "pst/format/Block.h"
#include "pst/format/Header.h"
#include "pst/format/Page.h"
#include "pst/ndb/ArchiveFile.h"
#include "pst/ndb/BlockCache.h"
#include "pst/ndb/DataTree.h"

#include <memory>

namespace ostrel::pst {

// The archive's node database, read on demand: the node and block B-trees
// are descended per lookup (never loaded whole), blocks are checked
// (signature, checksum, trailer) and decoded, data trees and subnode trees
// are followed with their levels checked. Pages and blocks are kept in a
// bounded cache. Every failure names the structure and the file offset and
// fails only the lookup that met it. Used from one thread at a time.
class NodeDatabase {
public:
    static constexpr int kMaxBtreeDepth = 16;     // real trees have 2 to 6 levels
    static constexpr int kMaxLeaves = 1 << 20;    // leaves of one data tree (8 GiB of data)
    static constexpr int kMaxSubnodes = 1 << 20;  // entries of one subnode tree

    static Result<std::unique_ptr<NodeDatabase>> open(const QString &path,
                                                      qsizetype cacheBound = BlockCache::kDefaultBound);

    const Header &header() const { return m_header; }
    const Layout &layout() const { return m_layout; }
    quint64 fileSize() const { return m_file->size(); }
    const BlockCache &cache() const { return m_cache; }
    const BlockCache &readOnceCache() const { return m_readOnceCache; }

    // While one is alive, blocks read from the file go into a small cache of
    // their own, not the main one. For what is read once, a message's
    // bodies and attachments or a table too large for the main cache: they
    // would push the folder tables out of it, and a cache that grows asks
    // the system for fresh pages at every read, where the small one reuses
    // its memory. B-tree pages and blocks already cached are found in
    // either case.
    class ReadOnce {
    public:
        explicit ReadOnce(NodeDatabase &db) : m_db(db) { ++m_db.m_readOnce; }
        ~ReadOnce() { --m_db.m_readOnce; }
        ReadOnce(const ReadOnce &) = delete;
        ReadOnce &operator=(const ReadOnce &) = delete;

    private:
        NodeDatabase &m_db;
    };
    // Enough for the blocks one message's properties and tables are read from.
    static constexpr qsizetype kReadOnceBound = 2 * 1024 * 1024;

    // Node B-tree: the node's data and subnode block ids (Kind::Missing when absent).
    Result<NbtEntry> node(quint32 nid);
    // Block B-tree: where a block lies.
    Result<BbtEntry> blockEntry(quint64 bid);
    // One block's bytes: data blocks decoded (and inflated), internal blocks as stored.
    Result<QByteArray> block(quint64 bid);

    // A node's data (its data block id) as leaves.
    Result<DataTree> dataTree(quint64 bid);
    Result<QByteArray> leaf(const DataTree &tree, int index);
    // `size` bytes from `offset` of the data, reading only the leaves that hold them.
    Result<QByteArray> read(const DataTree &tree, quint64 offset, qsizetype size);
    // All of it, refused when larger than maxBytes.
    Result<QByteArray> readAll(const DataTree &tree, qsizetype maxBytes);

    // Subnode trees (SLBLOCK, SIBLOCK) below a node's subnode block id.
    Result<SlEntry> subnode(quint64 bidSub, quint32 nid);
    Result<QList<SlEntry>> subnodes(quint64 bidSub);

private:
    NodeDatabase(std::unique_ptr<ArchiveFile> file, const Header &header, qsizetype cacheBound);
    Result<QByteArray> page(const Bref &ref, PageType type);
    // The leaf entry with `key` in the tree of `type` (bytes of one entry).
    Result<QByteArray> lookup(PageType type, quint64 key);
    Result<QByteArray> readBlock(const BbtEntry &entry, quint64 bid);
    Result<QByteArray> internalBlock(quint64 bid, BlockType type, QLatin1StringView structure);
    Result<QList<quint64>> xblockLeaves(quint64 bid, const QByteArray &bytes, int level, quint64 &total);
    Result<QList<SlEntry>> slEntries(quint64 bid, const QByteArray &bytes);
    // The entry count of a subnode leaf block, its level and size checked.
    Result<int> slLeafCount(quint64 bid, const QByteArray &bytes);

    std::unique_ptr<ArchiveFile> m_file;
    Header m_header;
    const Layout &m_layout;
    BlockCache m_cache;
    BlockCache m_readOnceCache{kReadOnceBound};
    int m_readOnce = 0;  // ReadOnce scopes alive
};

}  // namespace ostrel::pst
