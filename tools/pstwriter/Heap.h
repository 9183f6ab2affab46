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
    void setUserRoot(quint32 hid) { m_userRoot = hid; }

    // A B-tree over fixed-size records (sorted by key), returning the id of
    // its header.
    quint32 buildBTree(int cbKey, int cbEnt, const std::vector<QByteArray> &records);

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
