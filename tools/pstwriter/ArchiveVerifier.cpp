#include "ArchiveVerifier.h"

#include "Bytes.h"
#include "Crc.h"
#include "NdbWriter.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

namespace ostrel::pstwriter {

namespace {

constexpr int kMaxProblems = 50;

quint16 le16(const uchar *p) { return qFromLittleEndian<quint16>(p); }
quint32 le32(const uchar *p) { return qFromLittleEndian<quint32>(p); }
quint64 le64(const uchar *p) { return qFromLittleEndian<quint64>(p); }

quint16 signature(quint64 ib, quint64 bid)
{
    ib ^= bid;
    return quint16(quint16(ib >> 16) ^ quint16(ib));
}

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
    void walk(quint64 ib, quint64 bid, quint8 ptype, int expectLevel, quint64 minKey, int depth);
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

void Verifier::walk(quint64 ib, quint64 bid, quint8 ptype, int expectLevel, quint64 minKey, int depth)
{
    if (depth > 16) {
        problem(QStringLiteral("B-tree deeper than 16 levels at %1").arg(ib));
        return;
    }
    if (ib % 512 != 0 || !inFile(ib, 512)) {
        problem(QStringLiteral("B-tree page at %1 is misplaced").arg(ib));
        return;
    }
    const uchar *p = m_data + ib;
    ++m_report.pages;
    allocated(ib, 512);
    if (p[496] != ptype || p[497] != ptype)
        problem(QStringLiteral("Page at %1 has type %2, expected %3").arg(ib).arg(p[496]).arg(ptype));
    if (le64(p + 504) != bid)
        problem(QStringLiteral("Page at %1 carries id %2, its parent says %3").arg(ib).arg(le64(p + 504)).arg(bid));
    if (le16(p + 498) != signature(ib, bid))
        problem(QStringLiteral("Page at %1 has a wrong signature").arg(ib));
    if (le32(p + 500) != pstCrc(p, 496))
        problem(QStringLiteral("Page at %1 has a wrong checksum").arg(ib));
    const int count = p[488];
    const int cbEnt = p[490];
    const int level = p[491];
    if (expectLevel >= 0 && level != expectLevel)
        problem(QStringLiteral("Page at %1 is on level %2, expected %3").arg(ib).arg(level).arg(expectLevel));
    if (count * cbEnt > 488) {
        problem(QStringLiteral("Page at %1 overflows").arg(ib));
        return;
    }
    quint64 previous = minKey;
    for (int i = 0; i < count; ++i) {
        const uchar *e = p + i * cbEnt;
        const quint64 key = le64(e);
        if (i > 0 && key <= previous)
            problem(QStringLiteral("Page at %1: keys out of order").arg(ib));
        if (i == 0 && key < minKey)
            problem(QStringLiteral("Page at %1: first key below its parent's").arg(ib));
        previous = key;
        if (level > 0) {
            if (cbEnt != 24) {
                problem(QStringLiteral("Page at %1: index entries of %2 bytes").arg(ib).arg(cbEnt));
                return;
            }
            walk(le64(e + 16), le64(e + 8), ptype, level - 1, key, depth + 1);
        } else if (ptype == 0x80) {
            m_blocks[key] = {le64(e + 8), le16(e + 16)};
        } else {
            m_nodes.push_back({key & 0xFFFFFFFFu, le64(e + 8), le64(e + 16)});
        }
    }
}

void Verifier::checkBlocks()
{
    for (const auto &[bid, b] : m_blocks) {
        ++m_report.blocks;
        const quint64 total = bytes::alignUp(quint64(b.cb) + 16, 64);
        if (b.ib % 64 != 0 || !inFile(b.ib, total) || total > 8192) {
            problem(QStringLiteral("Block %1 lies outside the file").arg(bid));
            continue;
        }
        allocated(b.ib, total);
        const uchar *t = m_data + b.ib + total - 16;
        if (le16(t) != b.cb || le64(t + 8) != bid)
            problem(QStringLiteral("Block %1: trailer does not match the block tree").arg(bid));
        if (le16(t + 2) != signature(b.ib, bid))
            problem(QStringLiteral("Block %1 has a wrong signature").arg(bid));
        if (le32(t + 4) != pstCrc(m_data + b.ib, b.cb))
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
        if (!(bid & 2))
            continue;  // a data block
        const Block &b = m_blocks[bid];
        const uchar *p = m_data + b.ib;
        const int count = le16(p + 2);
        if (p[0] == 0x01) {
            if (8 + 8 * count > b.cb) {
                problem(QStringLiteral("Block %1: entries overflow").arg(bid));
                continue;
            }
            for (int i = 0; i < count; ++i)
                need(le64(p + 8 + 8 * i), bid);
        } else if (p[0] == 0x02) {
            const int size = p[1] == 0 ? 24 : 16;
            if (8 + size * count > b.cb) {
                problem(QStringLiteral("Block %1: entries overflow").arg(bid));
                continue;
            }
            for (int i = 0; i < count; ++i) {
                const uchar *e = p + 8 + size * i;
                need(le64(e + 8), bid);
                if (size == 24)
                    need(le64(e + 16), bid);
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
        if (p[496] != 0x84 || le64(p + 504) != start || le32(p + 500) != pstCrc(p, 496))
            problem(QStringLiteral("Allocation map at %1 is damaged").arg(start));
        if (s % 8 == 0) {
            const uchar *pm = p + 512;
            if (pm[496] != 0x83 || le64(pm + 504) != start + 512 || le32(pm + 500) != pstCrc(pm, 496))
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
    if (m_size < 564 || std::memcmp(m_data, "!BDN", 4) != 0) {
        problem(QStringLiteral("Not an archive: no header"));
        return;
    }
    if (le16(m_data + 10) < 23) {
        problem(QStringLiteral("Not a Unicode archive (version %1)").arg(le16(m_data + 10)));
        return;
    }
    if (le32(m_data + 4) != pstCrc(m_data + 8, 471))
        problem(QStringLiteral("The header's partial checksum is wrong"));
    if (le32(m_data + 524) != pstCrc(m_data + 8, 516))
        problem(QStringLiteral("The header's full checksum is wrong"));
    const quint64 eof = le64(m_data + 184);
    if (eof != m_size) {
        problem(QStringLiteral("The header says %1 bytes, the file has %2").arg(eof).arg(m_size));
        return;
    }
    walk(le64(m_data + 224), le64(m_data + 216), 0x81, -1, 0, 0);
    walk(le64(m_data + 240), le64(m_data + 232), 0x80, -1, 0, 0);
    checkBlocks();
    checkNodes();
    checkMaps(eof);
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
