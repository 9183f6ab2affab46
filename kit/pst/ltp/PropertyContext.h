#pragma once

#include "pst/ltp/Bth.h"
#include "pst/ltp/PropertyValue.h"

namespace ostrel::pst {

// Where one property's value lies: in its record (values of up to 4
// bytes), on the heap, or in a subnode (heap-or-node id).
struct PropertyEntry {
    quint16 id = 0;
    quint16 type = 0;
    quint32 valueOrHnid = 0;

    quint32 tag() const { return propertyTag(id, type); }
    bool inRecord() const;
};

// A node's properties: the record list is read at open (a few hundred at
// most), values only when asked for, each refused above a byte limit.
class PropertyContext {
public:
    static constexpr qsizetype kDefaultMaxValue = 64 * 1024 * 1024;
    static constexpr int kMaxProperties = 65536;

    static Result<PropertyContext> open(NodeDatabase &db, quint64 bidData, quint64 bidSub);
    static Result<PropertyContext> openNode(NodeDatabase &db, quint32 nid);

    const QList<PropertyEntry> &entries() const { return m_entries; }
    std::optional<PropertyEntry> find(quint16 id) const;
    const Heap &heap() const { return m_heap; }

    Result<PropertyValue> read(const PropertyEntry &entry, qsizetype maxBytes = kDefaultMaxValue) const;
    // Kind::Missing when the property is absent.
    Result<PropertyValue> read(quint16 id, qsizetype maxBytes = kDefaultMaxValue) const;
    // A value kept in a subnode, as a data tree to read by range (an
    // attachment's bytes); nothing when the value lies on the heap.
    Result<std::optional<DataTree>> valueTree(const PropertyEntry &entry) const;

private:
    PropertyContext(Heap heap, QList<PropertyEntry> entries) : m_heap(std::move(heap)), m_entries(std::move(entries)) {}
    Heap m_heap;
    QList<PropertyEntry> m_entries;  // sorted by id
};

}  // namespace ostrel::pst
