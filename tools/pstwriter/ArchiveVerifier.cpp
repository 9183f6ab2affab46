#include "ArchiveVerifier.h"

#include "Bytes.h"
#include "Crc.h"
#include "NdbWriter.h"
#include "pst/format/Block.h"
#include "pst/format/Header.h"
#include "pst/format/Nid.h"
#include "pst/format/Page.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

namespace ostrel::pstwriter {

namespace {

constexpr int kMaxProblems = 50;

using namespace pst::bytes;
using pst::PageType;

class Verifier {
public:
    Verifier(const uchar *data, quint64 size, bool exactMaps, VerifyReport &report)
        : m_data(data), m_size(size), m_exactMaps(exactMaps), m_report(report)
    {
    }

    void run();

private:
    void problem(const QString &text)
    {
        if (m_report.problems.size() < kMaxProblems)
            m_report.problems.append(text);
    }
    bool inFile(quint64 ib, quint64 size) const { return ib <= m_size && size <= m_size - ib; }
    void walk(quint64 ib, quint64 bid, PageType ptype, int expectLevel, quint64 minKey, int depth);
    void checkBlocks();
    void checkNodes();
    void checkMaps(quint64 eof);
    void allocated(quint64 ib, quint64 size) { m_used.push_back({ib, size}); }

    struct Block {
        quint64 ib;
        quint16 cb;
    };

    const uchar *m_data;
    quint64 m_size;
    bool m_exactMaps;
    VerifyReport &m_report;
    std::map<quint64, Block> m_blocks;
    struct Node {
        quint64 nid, bidData, bidSub;
    };
    std::vector<Node> m_nodes;
    std::vector<std::pair<quint64, quint64>> m_used;
};

void Verifier::walk(quint64 ib, quint64 bid, PageType ptype, int expectLevel, quint64 minKey, int depth)
{
    if (depth > 16) {
        problem(QStringLiteral("B-tree deeper than 16 levels at %1").arg(ib));
        return;
    }
    if (ib % kLayout.pageSize != 0 || !inFile(ib, kLayout.pageSize)) {
        problem(QStringLiteral("B-tree page at %1 is misplaced").arg(ib));
        return;
    }
    const uchar *p = m_data + ib;
    ++m_report.pages;
    allocated(ib, kLayout.pageSize);
    const pst::PageTrailer trailer = pst::readPageTrailer(kLayout, p);
    if (trailer.type != quint8(ptype) || trailer.typeRepeat != quint8(ptype))
        problem(QStringLiteral("Page at %1 has type %2, expected %3").arg(ib).arg(trailer.type).arg(quint8(ptype)));
    if (trailer.bid != bid)
        problem(QStringLiteral("Page at %1 carries id %2, its parent says %3").arg(ib).arg(trailer.bid).arg(bid));
    if (trailer.signature != pst::blockSignature(ib, bid))
        problem(QStringLiteral("Page at %1 has a wrong signature").arg(ib));
    if (trailer.crc != pstCrc(p, kLayout.pageCrcSize))
        problem(QStringLiteral("Page at %1 has a wrong checksum").arg(ib));
    const pst::BtPageInfo info = pst::readBtPageInfo(kLayout, p);
    if (expectLevel >= 0 && info.level != expectLevel)
        problem(QStringLiteral("Page at %1 is on level %2, expected %3").arg(ib).arg(info.level).arg(expectLevel));
    if (info.count * info.entrySize > kLayout.btEntriesSize) {
        problem(QStringLiteral("Page at %1 overflows").arg(ib));
        return;
    }
    quint64 previous = minKey;
    for (int i = 0; i < info.count; ++i) {
        const uchar *e = p + i * info.entrySize;
        const quint64 key = le64(e);
        if (i > 0 && key <= previous)
            problem(QStringLiteral("Page at %1: keys out of order").arg(ib));
        if (i == 0 && key < minKey)
            problem(QStringLiteral("Page at %1: first key below its parent's").arg(ib));
        previous = key;
        if (info.level > 0) {
            if (info.entrySize != kLayout.btIndexEntrySize) {
                problem(QStringLiteral("Page at %1: index entries of %2 bytes").arg(ib).arg(info.entrySize));
                return;
            }
            const pst::BtIndexEntry entry = pst::readBtIndexEntry(kLayout, e);
            walk(entry.child.ib, entry.child.bid, ptype, info.level - 1, key, depth + 1);
        } else if (ptype == PageType::Bbt) {
            const pst::BbtEntry entry = pst::readBbtEntry(kLayout, e);
            m_blocks[key] = {entry.bref.ib, entry.cb};
        } else {
            const pst::NbtEntry entry = pst::readNbtEntry(kLayout, e);
            m_nodes.push_back({entry.nid, entry.bidData, entry.bidSub});
        }
    }
}

void Verifier::checkBlocks()
{
    for (const auto &[bid, b] : m_blocks) {
        ++m_report.blocks;
        const quint64 total = kLayout.blockSize(b.cb);
        if (b.ib % kLayout.blockAlign != 0 || !inFile(b.ib, total) || total > quint64(kLayout.maxBlockSize)) {
            problem(QStringLiteral("Block %1 lies outside the file").arg(bid));
            continue;
        }
        allocated(b.ib, total);
        const pst::BlockTrailer t = pst::readBlockTrailer(kLayout, m_data + b.ib + total - kLayout.blockTrailerSize);
        if (t.cb != b.cb || t.bid != bid)
            problem(QStringLiteral("Block %1: trailer does not match the block tree").arg(bid));
        if (t.signature != pst::blockSignature(b.ib, bid))
            problem(QStringLiteral("Block %1 has a wrong signature").arg(bid));
        if (t.crc != pstCrc(m_data + b.ib, b.cb))
            problem(QStringLiteral("Block %1 has a wrong checksum").arg(bid));
    }
}

void Verifier::checkNodes()
{
    // Every block a node reaches must exist: data trees and subnode trees.
    std::vector<quint64> pending;
    auto need = [&](quint64 bid, quint64 nid) {
        if (bid == 0)
            return;
        if (!m_blocks.count(bid)) {
            problem(QStringLiteral("Node %1 names missing block %2").arg(nid, 0, 16).arg(bid));
            return;
        }
        pending.push_back(bid);
    };
    for (const Node &n : m_nodes) {
        ++m_report.nodes;
        need(n.bidData, n.nid);
        need(n.bidSub, n.nid);
    }
    size_t guard = 0;
    while (!pending.empty() && guard++ < 50'000'000) {
        const quint64 bid = pending.back();
        pending.pop_back();
        if (!pst::bid::isInternal(bid))
            continue;  // a data block
        const Block &b = m_blocks[bid];
        const uchar *p = m_data + b.ib;
        if (p[0] == quint8(pst::BlockType::DataTree)) {
            const pst::XBlockHeader x = pst::readXBlockHeader(p);
            if (kLayout.xHeaderSize + kLayout.idSize * x.count > b.cb) {
                problem(QStringLiteral("Block %1: entries overflow").arg(bid));
                continue;
            }
            for (int i = 0; i < x.count; ++i)
                need(pst::readXEntry(kLayout, p, i), bid);
        } else if (p[0] == quint8(pst::BlockType::SubnodeTree)) {
            const pst::SlBlockHeader sl = pst::readSlBlockHeader(p);
            const int size = sl.level == 0 ? kLayout.slEntrySize : kLayout.siEntrySize;
            if (kLayout.slHeaderSize + size * sl.count > b.cb) {
                problem(QStringLiteral("Block %1: entries overflow").arg(bid));
                continue;
            }
            for (int i = 0; i < sl.count; ++i) {
                if (sl.level == 0) {
                    const pst::SlEntry e = pst::readSlEntry(kLayout, p, i);
                    need(e.bidData, bid);
                    need(e.bidSub, bid);
                } else {
                    need(pst::readSiEntry(kLayout, p, i).bid, bid);
                }
            }
        } else {
            problem(QStringLiteral("Internal block %1 of unknown type %2").arg(bid).arg(p[0]));
        }
    }
}

void Verifier::checkMaps(quint64 eof)
{
    if ((eof - kFirstAMap) % kAMapCoverage != 0)
        problem(QStringLiteral("The file does not end at a section boundary"));
    const int sections = int((eof - kFirstAMap) / kAMapCoverage);
    std::vector<std::vector<bool>> expected(size_t(sections), std::vector<bool>(496 * 8, false));
    auto mark = [&](quint64 ib, quint64 size) {
        if (ib < kFirstAMap)
            return;
        const int s = int((ib - kFirstAMap) / kAMapCoverage);
        if (s >= sections) {
            problem(QStringLiteral("Something is allocated at %1, past the end").arg(ib));
            return;
        }
        const quint64 first = (ib - kFirstAMap - quint64(s) * kAMapCoverage) / 64;
        for (quint64 b = first; b < first + size / 64 && b < 496 * 8; ++b) {
            if (expected[size_t(s)][size_t(b)])
                problem(QStringLiteral("Two structures share the 64 bytes at %1").arg(ib));
            expected[size_t(s)][size_t(b)] = true;
        }
    };
    quint64 freeBits = 0;
    for (int s = 0; s < sections; ++s) {
        const quint64 start = kFirstAMap + quint64(s) * kAMapCoverage;
        int reserved = 1 + (s % 8 == 0 ? 1 : 0) + (s >= 128 && (s - 128) % 496 == 0 ? 1 : 0)
                       + (s >= 8192 && (s - 8192) % 31744 == 0 ? 1 : 0);
        mark(start, quint64(reserved) * 512);
        const uchar *p = m_data + start;
        const pst::PageTrailer amap = pst::readPageTrailer(kLayout, p);
        if (amap.type != quint8(PageType::AMap) || amap.bid != start || amap.crc != pstCrc(p, kLayout.pageCrcSize))
            problem(QStringLiteral("Allocation map at %1 is damaged").arg(start));
        if (s % 8 == 0) {
            const uchar *pm = p + 512;
            const pst::PageTrailer pmap = pst::readPageTrailer(kLayout, pm);
            if (pmap.type != quint8(PageType::PMap) || pmap.bid != start + 512
                || pmap.crc != pstCrc(pm, kLayout.pageCrcSize))
                problem(QStringLiteral("Page map at %1 is damaged").arg(start + 512));
        }
    }
    for (const auto &[ib, size] : m_used)
        mark(ib, size);
    int unmarked = 0;
    for (int s = 0; s < sections; ++s) {
        const uchar *bits = m_data + kFirstAMap + quint64(s) * kAMapCoverage;
        for (int b = 0; b < 496 * 8; ++b) {
            const bool set = bits[b / 8] & (0x80u >> (b % 8));
            if (!set)
                ++freeBits;
            if (!set && expected[size_t(s)][size_t(b)])
                ++unmarked;
            if (set && !expected[size_t(s)][size_t(b)])
                m_report.unreferencedBytes += 64;
        }
    }
    if (unmarked)
        problem(QStringLiteral("%1 blocks of 64 bytes are in use but marked free").arg(unmarked));
    if (m_exactMaps && m_report.unreferencedBytes)
        problem(QStringLiteral("%1 bytes are marked allocated but hold nothing").arg(m_report.unreferencedBytes));
    if (le64(m_data + 200) != freeBits * 64)
        problem(QStringLiteral("The header counts %1 free bytes, the maps %2").arg(le64(m_data + 200)).arg(freeBits * 64));
    if (le64(m_data + 192) != kFirstAMap + quint64(sections - 1) * kAMapCoverage)
        problem(QStringLiteral("The header names the wrong last allocation map"));
}

void Verifier::run()
{
    const auto header = pst::parseHeader(QByteArrayView(reinterpret_cast<const char *>(m_data),
                                                        qsizetype(std::min<quint64>(m_size, pst::Header::kSize))));
    if (!header) {
        problem(QStringLiteral("Not a sound archive header: %1").arg(header.error().text));
        return;
    }
    if (header->variant != pst::Variant::Unicode) {
        problem(QStringLiteral("Not a Unicode archive (version %1)").arg(header->version));
        return;
    }
    if (header->fileEof != m_size) {
        problem(QStringLiteral("The header says %1 bytes, the file has %2").arg(header->fileEof).arg(m_size));
        return;
    }
    walk(header->nbtRoot.ib, header->nbtRoot.bid, PageType::Nbt, -1, 0, 0);
    walk(header->bbtRoot.ib, header->bbtRoot.bid, PageType::Bbt, -1, 0, 0);
    checkBlocks();
    checkNodes();
    checkMaps(header->fileEof);
}

}  // namespace

VerifyReport verifyArchive(const QString &path, bool exactMaps)
{
    VerifyReport report;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        report.problems.append(QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()));
        return report;
    }
    const quint64 size = quint64(file.size());
    if (size == 0) {
        report.problems.append(QStringLiteral("The file is empty"));
        return report;
    }
    const uchar *data = file.map(0, qint64(size));
    if (!data) {
        report.problems.append(QStringLiteral("Cannot map %1: %2").arg(path, file.errorString()));
        return report;
    }
    Verifier(data, size, exactMaps, report).run();
    file.unmap(const_cast<uchar *>(data));
    return report;
}

}  // namespace ostrel::pstwriter
