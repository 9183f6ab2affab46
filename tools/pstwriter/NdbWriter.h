#pragma once

#include "Encoding.h"
#include "pst/format/Layout.h"
#include "pst/format/Page.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace ostrel::pstwriter {

// Sizes the node database fixes (Unicode layout).
inline constexpr const pst::Layout &kLayout = pst::kUnicodeLayout;
constexpr int kBlockDataMax = kLayout.maxBlockData;  // 8 KiB block less its trailer
constexpr int kXBlockEntriesMax = kLayout.maxXEntries();
constexpr int kSlEntriesMax = (kLayout.maxBlockData - kLayout.slHeaderSize) / kLayout.slEntrySize;
constexpr int kSiEntriesMax = (kLayout.maxBlockData - kLayout.slHeaderSize) / kLayout.siEntrySize;
constexpr quint64 kFirstAMap = 0x4400;
constexpr quint64 kAMapCoverage = 496 * 8 * 64;  // 253,952 bytes a section

struct Subnode;

// What one node (or subnode) holds: its data stream, already cut into blocks
// of at most kBlockDataMax bytes (heaps cut themselves into pages), and its
// subnodes.
struct NodeData {
    QList<QByteArray> blocks;
    std::vector<Subnode> subnodes;

    // Cuts a plain stream into full blocks (the last one shorter).
    static QList<QByteArray> split(const QByteArray &stream);
};

struct Subnode {
    quint32 nid = 0;
    NodeData data;
};

struct NodeRef {
    quint64 bidData = 0;
    quint64 bidSub = 0;
};

struct BlockRecord {
    quint64 bid = 0;
    quint64 ib = 0;
    quint16 cb = 0;
};

struct NodeRecord {
    quint32 nid = 0;
    quint64 bidData = 0;
    quint64 bidSub = 0;
    quint32 parent = 0;
};

// The header fields that the messaging layer decides.
struct HeaderFields {
    std::array<quint32, 32> nextNidIndex{};
    quint32 unique = 1;
};

// Where the structures of a finished archive lie, for damage and tests.
struct NdbLayout {
    quint64 fileSize = 0;
    quint64 nbtRoot = 0;  // file offset of the node B-tree's root page
    quint64 bbtRoot = 0;
    quint64 lastAMap = 0;
    int amapCount = 0;
    quint64 freeBytes = 0;
};

// The node database: writes blocks as they come (append only, sections of
// 253,952 bytes each headed by its allocation map), keeps the two B-trees'
// entries in memory and writes the B-tree pages, maps and header at the end.
// Nothing of a message stays in memory once its blocks are written.
class NdbWriter {
public:
    explicit NdbWriter(Encoding encoding);
    ~NdbWriter();
    NdbWriter(const NdbWriter &) = delete;
    NdbWriter &operator=(const NdbWriter &) = delete;

    bool open(const QString &path);
    NodeRef writeNode(const NodeData &node);
    void addNode(quint32 nid, NodeRef ref, quint32 parent);
    bool finish(const HeaderFields &fields);
    // Closes and removes a half-written file.
    void abandon();

    bool failed() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    void fail(const QString &message);

    NdbLayout layout() const { return m_layout; }
    std::optional<BlockRecord> block(quint64 bid) const;
    std::optional<NodeRecord> node(quint32 nid) const;
    Encoding encoding() const { return m_encoding; }

private:
    struct BtEntry {
        quint64 key;
        quint64 bid;
        quint64 ib;
    };

    quint64 writeBlock(const char *data, int size, bool internal);
    quint64 writeDataTree(const QList<QByteArray> &blocks);
    quint64 writeSubnodes(const std::vector<Subnode> &subnodes);
    quint64 allocate(quint64 size, quint64 align);
    void enterSection(int section);
    int reservedPages(int section) const;
    void writeAt(quint64 ib, const char *data, qsizetype size);
    void flush();
    void markAllocated(quint64 ib, quint64 size);
    BtEntry writeBtPage(pst::PageType ptype, int level, const QByteArray &entries, int count, int cbEnt,
                        int maxEntries, quint64 firstKey);
    BtEntry writeTree(pst::PageType ptype, std::vector<BtEntry> leaves);
    void writeMaps();
    void writeHeader(const HeaderFields &fields, const BtEntry &bbtRoot, const BtEntry &nbtRoot);
    void overwrite(quint64 ib, const QByteArray &data);

    Encoding m_encoding;
    QFile m_file;
    QByteArray m_buffer;
    quint64 m_bufferStart = 0;
    quint64 m_pos = 0;  // next free byte
    quint64 m_nextBlock = 1;
    std::vector<std::array<quint8, 496>> m_amaps;
    std::vector<BlockRecord> m_blocks;
    std::vector<NodeRecord> m_nodes;
    NdbLayout m_layout;
    QString m_error;
    bool m_finished = false;
};

}  // namespace ostrel::pstwriter
