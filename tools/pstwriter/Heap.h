#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <vector>

namespace ostrel::pstwriter {

constexpr int kHeapAllocMax = 3580;

// A heap on a node: allocations of at most 3580 bytes, packed into pages
// that become the node's data blocks, each page ending in its page map.
class Heap {
public:
    enum ClientSig : quint8 { TableContext = 0x7C, BTree = 0xB5, PropertyContext = 0xBC };

    explicit Heap(ClientSig client);

    // Returns the allocation's id; an empty value gets id 0, as the format
    // stores empty values.
    quint32 allocate(QByteArrayView data);
    // Takes `size` bytes now, to be filled later with exactly that many:
    // Outlook puts a B-tree's header and its only leaf before the values
    // they point to.
    quint32 reserve(qsizetype size);
    void fill(quint32 hid, QByteArrayView data);
    void setUserRoot(quint32 hid) { m_userRoot = hid; }

    // A B-tree over fixed-size records (`records` holds them side by side,
    // sorted by key), returning the id of its header. A reserved header
    // (8 bytes) and leaf (all records, when they fit one allocation) are
    // filled instead of allocating new ones.
    quint32 buildBTree(int cbKey, int cbEnt, const QByteArray &records, quint32 header = 0, quint32 leaf = 0);
    static qsizetype recordsPerLeaf(int cbKey, int cbEnt) { return kHeapAllocMax / (cbKey + cbEnt); }

    QList<QByteArray> pages() const;

private:
    struct Page {
        QByteArray data;
        std::vector<quint16> offsets;
    };
    static int headerSize(int page);
    bool fits(const Page &page, qsizetype size) const;
    void newPage();

    ClientSig m_client;
    quint32 m_userRoot = 0;
    std::vector<Page> m_pages;
};

}  // namespace ostrel::pstwriter
