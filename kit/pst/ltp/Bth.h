#pragma once

#include "pst/ltp/Heap.h"

#include <functional>
#include <optional>

namespace ostrel::pst {

// A B-tree on a heap: fixed-size records sorted by key. Lookups descend
// its index levels; a full listing is capped and refuses an index that
// names one allocation twice (a cycle or a shared subtree).
class Bth {
public:
    static constexpr int kMaxRecords = 1 << 20;

    struct Record {
        QByteArray key;
        QByteArray data;
    };

    static Result<Bth> open(const Heap &heap, quint32 hid);

    int keySize() const { return m_header.keySize; }
    int dataSize() const { return m_header.entrySize; }
    int levels() const { return m_header.levels; }
    bool isEmpty() const { return m_header.root == 0; }

    // The data of the record with this key (keySize bytes, little-endian),
    // or nothing when there is none.
    Result<std::optional<QByteArray>> find(const Heap &heap, quint64 key) const;
    Result<QList<Record>> records(const Heap &heap, int maxRecords = kMaxRecords) const;
    // The same records without copying them: visit gets each record's key
    // (keySize bytes) and data (dataSize bytes), valid only during the call.
    // Returns the number of records.
    using Visit = std::function<void(const uchar *key, const uchar *data)>;
    Result<int> visitRecords(const Heap &heap, int maxRecords, const Visit &visit) const;

private:
    explicit Bth(bth::Header header) : m_header(header) {}
    bth::Header m_header;
};

}  // namespace ostrel::pst
