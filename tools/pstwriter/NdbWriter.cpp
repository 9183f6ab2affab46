#include "NdbWriter.h"

#include "Bytes.h"
#include "Crc.h"
#include "pst/format/Block.h"
#include "pst/format/Page.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>

namespace ostrel::pstwriter {

using namespace bytes;

namespace {

using pst::PageType;
constexpr qsizetype kFlushAt = 8 * 1024 * 1024;
constexpr int kFMapFirst = 128;   // the header's own free map covers the first 128 maps
constexpr int kFMapEvery = 496;
constexpr int kFPMapFirst = 8 * 1024;  // ... and its page free map the first 1024 page maps
constexpr int kFPMapEvery = 496 * 8 * 8;

quint64 sectionStart(int section)
{
    return kFirstAMap + quint64(section) * kAMapCoverage;
}

using pst::blockSignature;

void putPageTrailer(QByteArray &page, PageType ptype, quint16 sig, quint64 bid)
{
    pst::writePageTrailer(kLayout, reinterpret_cast<uchar *>(page.data()), ptype, sig, bid);
}

QString tr(const char *text)
{
    return QCoreApplication::translate("ostrel::pstwriter::NdbWriter", text);
}

}  // namespace

QList<QByteArray> NodeData::split(const QByteArray &stream)
{
    QList<QByteArray> blocks;
    blocks.reserve(stream.size() / kBlockDataMax + 1);
    for (qsizetype at = 0; at < stream.size(); at += kBlockDataMax)
        blocks.append(stream.mid(at, kBlockDataMax));
    return blocks;
}

NdbWriter::NdbWriter(Encoding encoding) : m_encoding(encoding) {}

NdbWriter::~NdbWriter()
{
    if (m_file.isOpen() && !m_finished)
        abandon();
}

void NdbWriter::fail(const QString &message)
{
    if (m_error.isEmpty())
        m_error = message;
}

bool NdbWriter::open(const QString &path)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        fail(tr("Cannot create %1: %2").arg(path, m_file.errorString()));
        return false;
    }
    // The header and the unused space before the first map; the header is
    // written last, when everything it points to exists.
    const QByteArray zeros(qsizetype(kFirstAMap), '\0');
    writeAt(0, zeros.constData(), zeros.size());
    m_pos = kFirstAMap;
    return !failed();
}

void NdbWriter::abandon()
{
    m_buffer.clear();
    if (m_file.isOpen())
        m_file.close();
    m_file.remove();
}

void NdbWriter::writeAt(quint64 ib, const char *data, qsizetype size)
{
    if (failed())
        return;
    const quint64 end = m_bufferStart + quint64(m_buffer.size());
    if (ib < end) {
        fail(tr("Internal error: write at %1 behind the end %2").arg(ib).arg(end));
        return;
    }
    if (ib > end)
        m_buffer.append(qsizetype(ib - end), '\0');
    m_buffer.append(data, size);
    if (m_buffer.size() >= kFlushAt)
        flush();
}

void NdbWriter::flush()
{
    if (m_buffer.isEmpty() || failed())
        return;
    if (m_file.write(m_buffer) != m_buffer.size()) {
        fail(tr("Cannot write %1: %2").arg(m_file.fileName(), m_file.errorString()));
        return;
    }
    m_bufferStart += quint64(m_buffer.size());
    m_buffer.resize(0);
}

void NdbWriter::overwrite(quint64 ib, const QByteArray &data)
{
    flush();
    if (failed())
        return;
    if (!m_file.seek(qint64(ib)) || m_file.write(data) != data.size())
        fail(tr("Cannot write %1: %2").arg(m_file.fileName(), m_file.errorString()));
}

int NdbWriter::reservedPages(int section) const
{
    int pages = 1;  // the allocation map itself
    if (section % 8 == 0)
        ++pages;  // page map
    if (section >= kFMapFirst && (section - kFMapFirst) % kFMapEvery == 0)
        ++pages;  // free map
    if (section >= kFPMapFirst && (section - kFPMapFirst) % kFPMapEvery == 0)
        ++pages;  // free page map
    return pages;
}

void NdbWriter::enterSection(int section)
{
    while (int(m_amaps.size()) <= section) {
        const int k = int(m_amaps.size());
        m_amaps.push_back({});
        const quint64 start = sectionStart(k);
        const quint64 reserved = quint64(reservedPages(k)) * 512;
        markAllocated(start, reserved);
        const QByteArray placeholder(qsizetype(reserved), '\0');
        writeAt(start, placeholder.constData(), placeholder.size());
        m_pos = std::max(m_pos, start + reserved);
    }
}

void NdbWriter::markAllocated(quint64 ib, quint64 size)
{
    const int section = int((ib - kFirstAMap) / kAMapCoverage);
    auto &bits = m_amaps[size_t(section)];
    const quint64 first = (ib - sectionStart(section)) / 64;
    const quint64 count = size / 64;
    for (quint64 b = first; b < first + count; ++b)
        bits[size_t(b / 8)] |= quint8(0x80u >> (b % 8));
}

quint64 NdbWriter::allocate(quint64 size, quint64 align)
{
    for (;;) {
        const quint64 pos = alignUp(m_pos, align);
        const int section = int((pos - kFirstAMap) / kAMapCoverage);
        if (section >= int(m_amaps.size())) {
            enterSection(section);
            continue;
        }
        const quint64 end = sectionStart(section + 1);
        if (pos + size <= end) {
            m_pos = pos + size;
            markAllocated(pos, size);
            return pos;
        }
        m_pos = end;  // a block never straddles the next section's maps
    }
}

quint64 NdbWriter::writeBlock(const char *data, int size, bool internal)
{
    const quint64 bid = m_nextBlock++ * 4 | (internal ? 2 : 0);
    const int total = int(kLayout.blockSize(quint32(size)));
    const quint64 ib = allocate(quint64(total), 64);
    QByteArray block(total, '\0');
    std::memcpy(block.data(), data, size_t(size));
    if (!internal)
        pst::encodeBlock(m_encoding, block.data(), size, bid);
    pst::writeBlockTrailer(kLayout, reinterpret_cast<uchar *>(block.data()) + total - kLayout.blockTrailerSize,
                           quint16(size), blockSignature(ib, bid), pstCrc(block.constData(), size), bid);
    writeAt(ib, block.constData(), block.size());
    m_blocks.push_back({bid, ib, quint16(size)});
    return bid;
}

quint64 NdbWriter::writeDataTree(const QList<QByteArray> &blocks)
{
    if (blocks.isEmpty())
        return 0;
    std::vector<quint64> bids;
    bids.reserve(size_t(blocks.size()));
    quint64 total = 0;
    for (const QByteArray &b : blocks) {
        if (b.size() > kBlockDataMax) {
            fail(tr("Internal error: a block of %1 bytes").arg(b.size()));
            return 0;
        }
        bids.push_back(writeBlock(b.constData(), int(b.size()), false));
        total += quint64(b.size());
    }
    if (bids.size() == 1)
        return bids.front();

    auto xblock = [this](int level, const quint64 *first, size_t count, quint64 bytes) {
        QByteArray x;
        add8(x, 0x01);
        add8(x, quint8(level));
        add16(x, quint16(count));
        add32(x, quint32(bytes));
        for (size_t i = 0; i < count; ++i)
            add64(x, first[i]);
        return writeBlock(x.constData(), int(x.size()), true);
    };
    if (bids.size() <= size_t(kXBlockEntriesMax))
        return xblock(1, bids.data(), bids.size(), total);
    if (total > 0xFFFFFFFFull || bids.size() > size_t(kXBlockEntriesMax) * kXBlockEntriesMax) {
        fail(tr("A stream of %1 bytes is more than one node can hold").arg(total));
        return 0;
    }
    std::vector<quint64> xbids;
    for (size_t at = 0; at < bids.size(); at += kXBlockEntriesMax) {
        const size_t count = std::min(bids.size() - at, size_t(kXBlockEntriesMax));
        quint64 bytes = 0;
        for (size_t i = at; i < at + count; ++i)
            bytes += quint64(blocks[qsizetype(i)].size());
        xbids.push_back(xblock(1, bids.data() + at, count, bytes));
    }
    return xblock(2, xbids.data(), xbids.size(), total);
}

quint64 NdbWriter::writeSubnodes(const std::vector<Subnode> &subnodes)
{
    if (subnodes.empty())
        return 0;
    struct Entry {
        quint32 nid;
        NodeRef ref;
    };
    std::vector<Entry> entries;
    entries.reserve(subnodes.size());
    for (const Subnode &s : subnodes)
        entries.push_back({s.nid, writeNode(s.data)});
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.nid < b.nid; });
    for (size_t i = 1; i < entries.size(); ++i) {
        if (entries[i].nid == entries[i - 1].nid) {
            fail(tr("Internal error: subnode %1 twice").arg(entries[i].nid, 0, 16));
            return 0;
        }
    }

    auto slblock = [this, &entries](size_t at, size_t count) {
        QByteArray b;
        add8(b, 0x02);
        add8(b, 0);
        add16(b, quint16(count));
        add32(b, 0);
        for (size_t i = at; i < at + count; ++i) {
            add64(b, entries[i].nid);
            add64(b, entries[i].ref.bidData);
            add64(b, entries[i].ref.bidSub);
        }
        return writeBlock(b.constData(), int(b.size()), true);
    };
    if (entries.size() <= size_t(kSlEntriesMax))
        return slblock(0, entries.size());
    if (entries.size() > size_t(kSlEntriesMax) * kSiEntriesMax) {
        fail(tr("%1 subnodes are more than one node can hold").arg(entries.size()));
        return 0;
    }
    QByteArray si;
    add8(si, 0x02);
    add8(si, 1);
    add16(si, 0);
    add32(si, 0);
    quint16 count = 0;
    for (size_t at = 0; at < entries.size(); at += kSlEntriesMax) {
        const size_t n = std::min(entries.size() - at, size_t(kSlEntriesMax));
        add64(si, entries[at].nid);
        add64(si, slblock(at, n));
        ++count;
    }
    put16(si, 2, count);
    return writeBlock(si.constData(), int(si.size()), true);
}

NodeRef NdbWriter::writeNode(const NodeData &node)
{
    NodeRef ref;
    ref.bidData = writeDataTree(node.blocks);
    ref.bidSub = writeSubnodes(node.subnodes);
    return ref;
}

void NdbWriter::addNode(quint32 nid, NodeRef ref, quint32 parent)
{
    m_nodes.push_back({nid, ref.bidData, ref.bidSub, parent});
}

NdbWriter::BtEntry NdbWriter::writeBtPage(PageType ptype, int level, const QByteArray &entries, int count,
                                          int cbEnt, int maxEntries, quint64 firstKey)
{
    QByteArray page(512, '\0');
    std::memcpy(page.data(), entries.constData(), size_t(entries.size()));
    put8(page, 488, quint8(count));
    put8(page, 489, quint8(maxEntries));
    put8(page, 490, quint8(cbEnt));
    put8(page, 491, quint8(level));
    const quint64 ib = allocate(512, 512);
    // Pages draw from the block counter too, so that no two share an id.
    const quint64 bid = m_nextBlock++ * 4;
    putPageTrailer(page, ptype, blockSignature(ib, bid), bid);
    writeAt(ib, page.constData(), page.size());
    return {firstKey, bid, ib};
}

NdbWriter::BtEntry NdbWriter::writeTree(PageType ptype, std::vector<BtEntry> level)
{
    // `level` holds the leaf pages already written; build the levels above.
    int levels = 0;
    while (level.size() > 1) {
        ++levels;
        std::vector<BtEntry> up;
        for (size_t at = 0; at < level.size(); at += 20) {
            const size_t n = std::min(level.size() - at, size_t(20));
            QByteArray e;
            for (size_t i = at; i < at + n; ++i) {
                add64(e, level[i].key);
                add64(e, level[i].bid);
                add64(e, level[i].ib);
            }
            up.push_back(writeBtPage(ptype, levels, e, int(n), 24, 20, level[at].key));
        }
        level = std::move(up);
    }
    return level.front();
}

bool NdbWriter::finish(const HeaderFields &fields)
{
    if (failed())
        return false;
    std::sort(m_blocks.begin(), m_blocks.end(),
              [](const BlockRecord &a, const BlockRecord &b) { return a.bid < b.bid; });
    std::sort(m_nodes.begin(), m_nodes.end(),
              [](const NodeRecord &a, const NodeRecord &b) { return a.nid < b.nid; });
    for (size_t i = 1; i < m_nodes.size(); ++i) {
        if (m_nodes[i].nid == m_nodes[i - 1].nid) {
            fail(tr("Internal error: node %1 twice").arg(m_nodes[i].nid, 0, 16));
            return false;
        }
    }

    // Block B-tree leaves: 20 entries of 24 bytes a page.
    std::vector<BtEntry> leaves;
    for (size_t at = 0; at < m_blocks.size() || at == 0; at += 20) {
        const size_t n = std::min(m_blocks.size() - at, size_t(20));
        QByteArray e;
        for (size_t i = at; i < at + n; ++i) {
            add64(e, m_blocks[i].bid);
            add64(e, m_blocks[i].ib);
            add16(e, m_blocks[i].cb);
            add16(e, 2);  // reference count: the tree and the node that owns it
            add32(e, 0);
        }
        leaves.push_back(writeBtPage(PageType::Bbt, 0, e, int(n), 24, 20, n ? m_blocks[at].bid : 0));
        if (m_blocks.empty())
            break;
    }
    const BtEntry bbtRoot = writeTree(PageType::Bbt, leaves);

    // Node B-tree leaves: 15 entries of 32 bytes a page.
    leaves.clear();
    for (size_t at = 0; at < m_nodes.size() || at == 0; at += 15) {
        const size_t n = std::min(m_nodes.size() - at, size_t(15));
        QByteArray e;
        for (size_t i = at; i < at + n; ++i) {
            add64(e, m_nodes[i].nid);
            add64(e, m_nodes[i].bidData);
            add64(e, m_nodes[i].bidSub);
            add32(e, m_nodes[i].parent);
            add32(e, 0);
        }
        leaves.push_back(writeBtPage(PageType::Nbt, 0, e, int(n), 32, 15, n ? m_nodes[at].nid : 0));
        if (m_nodes.empty())
            break;
    }
    const BtEntry nbtRoot = writeTree(PageType::Nbt, leaves);
    if (failed())
        return false;

    m_layout.bbtRoot = bbtRoot.ib;
    m_layout.nbtRoot = nbtRoot.ib;
    writeMaps();
    writeHeader(fields, bbtRoot, nbtRoot);
    flush();
    if (!failed() && !m_file.flush())
        fail(tr("Cannot write %1: %2").arg(m_file.fileName(), m_file.errorString()));
    m_file.close();
    m_finished = true;
    if (failed()) {
        m_file.remove();
        return false;
    }
    return true;
}

void NdbWriter::writeMaps()
{
    // The file ends where its last section ends.
    const int sections = int(m_amaps.size());
    const quint64 eof = sectionStart(sections);
    {
        const quint64 end = m_bufferStart + quint64(m_buffer.size());
        if (eof > end) {
            const QByteArray tail(qsizetype(eof - end), '\0');
            writeAt(end, tail.constData(), tail.size());
        }
    }
    flush();

    quint64 freeBytes = 0;
    std::vector<quint8> longestFree(size_t(sections), 0);
    for (int k = 0; k < sections; ++k) {
        int run = 0;
        int longest = 0;
        for (int b = 0; b < 496 * 8; ++b) {
            if (m_amaps[size_t(k)][size_t(b / 8)] & (0x80u >> (b % 8))) {
                run = 0;
            } else {
                ++run;
                ++freeBytes;
                longest = std::max(longest, run);
            }
        }
        longestFree[size_t(k)] = quint8(std::min(longest, 255));
    }
    freeBytes *= 64;

    for (int k = 0; k < sections; ++k) {
        const quint64 start = sectionStart(k);
        quint64 at = start;
        QByteArray amap(512, '\0');
        std::memcpy(amap.data(), m_amaps[size_t(k)].data(), 496);
        putPageTrailer(amap, PageType::AMap, 0, at);
        QByteArray pages = amap;
        at += 512;
        if (k % 8 == 0) {
            // Page maps are kept only for older readers: every page taken.
            QByteArray pmap(512, '\0');
            std::memset(pmap.data(), 0xFF, 496);
            putPageTrailer(pmap, PageType::PMap, 0, at);
            pages += pmap;
            at += 512;
        }
        if (k >= kFMapFirst && (k - kFMapFirst) % kFMapEvery == 0) {
            QByteArray fmap(512, '\0');
            for (int j = 0; j < 496 && k + j < sections; ++j)
                fmap[j] = char(longestFree[size_t(k + j)]);
            putPageTrailer(fmap, PageType::FMap, 0, at);
            pages += fmap;
            at += 512;
        }
        if (k >= kFPMapFirst && (k - kFPMapFirst) % kFPMapEvery == 0) {
            QByteArray fpmap(512, '\0');
            std::memset(fpmap.data(), 0xFF, 496);
            putPageTrailer(fpmap, PageType::FPMap, 0, at);
            pages += fpmap;
        }
        overwrite(start, pages);
    }
    m_layout.fileSize = eof;
    m_layout.lastAMap = sectionStart(sections - 1);
    m_layout.amapCount = sections;
    m_layout.freeBytes = freeBytes;
}

void NdbWriter::writeHeader(const HeaderFields &fields, const BtEntry &bbtRoot, const BtEntry &nbtRoot)
{
    QByteArray h(564, '\0');
    std::memcpy(h.data(), "!BDN", 4);
    put16(h, 8, 0x4D53);  // "SM"
    put16(h, 10, 23);     // Unicode
    put16(h, 12, 19);
    put8(h, 14, 0x01);
    put8(h, 15, 0x01);
    put64(h, 32, m_nextBlock * 4);
    put32(h, 40, fields.unique);
    for (int i = 0; i < 32; ++i)
        put32(h, 44 + 4 * i, fields.nextNidIndex[size_t(i)]);
    // ROOT
    put64(h, 184, m_layout.fileSize);
    put64(h, 192, m_layout.lastAMap);
    put64(h, 200, m_layout.freeBytes);
    put64(h, 208, 0);  // page maps report nothing free
    put64(h, 216, nbtRoot.bid);
    put64(h, 224, nbtRoot.ib);
    put64(h, 232, bbtRoot.bid);
    put64(h, 240, bbtRoot.ib);
    put8(h, 248, 0x02);  // allocation maps valid
    // The header's own free maps are no longer kept: all 0xFF.
    std::memset(h.data() + 256, 0xFF, 256);
    put8(h, 512, 0x80);
    put8(h, 513, quint8(m_encoding));
    put64(h, 516, m_nextBlock * 4);
    put32(h, 4, pstCrc(h.constData() + 8, 471));
    put32(h, 524, pstCrc(h.constData() + 8, 516));
    overwrite(0, h);
}

std::optional<BlockRecord> NdbWriter::block(quint64 bid) const
{
    const auto it = std::lower_bound(m_blocks.begin(), m_blocks.end(), bid,
                                     [](const BlockRecord &b, quint64 key) { return b.bid < key; });
    if (it == m_blocks.end() || it->bid != bid)
        return std::nullopt;
    return *it;
}

std::optional<NodeRecord> NdbWriter::node(quint32 nid) const
{
    const auto it = std::lower_bound(m_nodes.begin(), m_nodes.end(), nid,
                                     [](const NodeRecord &n, quint32 key) { return n.nid < key; });
    if (it == m_nodes.end() || it->nid != nid)
        return std::nullopt;
    return *it;
}

}  // namespace ostrel::pstwriter
