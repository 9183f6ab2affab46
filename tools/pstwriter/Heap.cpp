#include "Heap.h"

#include "Bytes.h"
#include "NdbWriter.h"

namespace ostrel::pstwriter {

using namespace bytes;

namespace {
constexpr int kAllocsPerPageMax = 2047;  // an 11-bit index
}

Heap::Heap(ClientSig client) : m_client(client)
{
    newPage();
}

int Heap::headerSize(int page)
{
    if (page == 0)
        return 12;  // the heap header
    if (page % 128 == 8)
        return 66;  // a page with the fill-level bitmap
    return 2;
}

void Heap::newPage()
{
    Page p;
    p.data = QByteArray(headerSize(int(m_pages.size())), '\0');
    m_pages.push_back(std::move(p));
}

bool Heap::fits(const Page &page, qsizetype size) const
{
    const qsizetype end = page.data.size() + size;
    const qsizetype mapSize = 4 + 2 * qsizetype(page.offsets.size() + 2);
    return qsizetype(alignUp(quint64(end), 2)) + mapSize <= kBlockDataMax
           && page.offsets.size() < size_t(kAllocsPerPageMax);
}

quint32 Heap::allocate(QByteArrayView data)
{
    if (data.isEmpty())
        return 0;
    Q_ASSERT(data.size() <= kHeapAllocMax);
    if (!fits(m_pages.back(), data.size()))
        newPage();
    Page &page = m_pages.back();
    page.offsets.push_back(quint16(page.data.size()));
    page.data.append(data.data(), data.size());
    const quint32 pageIndex = quint32(m_pages.size() - 1);
    return pageIndex << 16 | quint32(page.offsets.size()) << 5;
}

quint32 Heap::reserve(qsizetype size)
{
    return size > 0 ? allocate(QByteArray(size, '\0')) : 0;
}

void Heap::fill(quint32 hid, QByteArrayView data)
{
    Page &page = m_pages[hid >> 16];
    const size_t index = ((hid >> 5) & 0x7FF) - 1;
    const quint16 start = page.offsets[index];
    const qsizetype end = index + 1 < page.offsets.size() ? page.offsets[index + 1] : page.data.size();
    Q_ASSERT(end - start == data.size());
    std::copy_n(data.data(), std::min<qsizetype>(data.size(), end - start), page.data.data() + start);
}

quint32 Heap::buildBTree(int cbKey, int cbEnt, const QByteArray &records, quint32 header, quint32 leaf)
{
    struct Node {
        QByteArray key;
        quint32 hid;
    };
    const int cbRecord = cbKey + cbEnt;
    const qsizetype count = records.size() / cbRecord;
    std::vector<Node> level;
    const qsizetype perLeaf = recordsPerLeaf(cbKey, cbEnt);
    if (leaf && count > 0 && count <= perLeaf) {
        fill(leaf, records);
        level.push_back({records.left(cbKey), leaf});
    } else {
        for (qsizetype at = 0; at < count; at += perLeaf) {
            const qsizetype n = std::min(count - at, perLeaf);
            level.push_back({records.mid(at * cbRecord, cbKey), allocate(QByteArrayView(records).sliced(at * cbRecord, n * cbRecord))});
        }
    }
    int levels = 0;
    const size_t perIndex = size_t(kHeapAllocMax / (cbKey + 4));
    while (level.size() > 1) {
        ++levels;
        std::vector<Node> up;
        for (size_t at = 0; at < level.size(); at += perIndex) {
            QByteArray chunk;
            const size_t n = std::min(level.size() - at, perIndex);
            for (size_t i = at; i < at + n; ++i) {
                chunk += level[i].key;
                add32(chunk, level[i].hid);
            }
            up.push_back({level[at].key, allocate(chunk)});
        }
        level = std::move(up);
    }
    QByteArray h;
    add8(h, BTree);
    add8(h, quint8(cbKey));
    add8(h, quint8(cbEnt));
    add8(h, quint8(levels));
    add32(h, level.empty() ? 0 : level.front().hid);
    if (header) {
        fill(header, h);
        return header;
    }
    return allocate(h);
}

QList<QByteArray> Heap::pages() const
{
    QList<QByteArray> out;
    out.reserve(qsizetype(m_pages.size()));
    for (size_t i = 0; i < m_pages.size(); ++i) {
        const Page &p = m_pages[i];
        QByteArray data = p.data;
        const quint16 end = quint16(data.size());
        const quint16 map = quint16(alignUp(end, 2));
        if (map > end)
            data.append(char(0));
        add16(data, quint16(p.offsets.size()));
        add16(data, 0);
        for (quint16 o : p.offsets)
            add16(data, o);
        add16(data, end);
        put16(data, 0, map);
        if (i == 0) {
            put8(data, 2, 0xEC);
            put8(data, 3, m_client);
            put32(data, 4, m_userRoot);
        }
        out.append(data);
    }
    return out;
}

}  // namespace ostrel::pstwriter
