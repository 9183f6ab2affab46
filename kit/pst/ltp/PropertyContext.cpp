#include "PropertyContext.h"

#include "pst/format/Bytes.h"

#include <algorithm>

namespace ostrel::pst {

using namespace bytes;

namespace {

constexpr QLatin1StringView kPc("property context");
constexpr int kRecordDataSize = 6;  // type, value or heap-or-node id

}  // namespace

bool PropertyEntry::inRecord() const
{
    const int size = ptype::fixedSize(type);
    return size > 0 && size <= 4;
}

Result<PropertyContext> PropertyContext::open(NodeDatabase &db, quint64 bidData, quint64 bidSub)
{
    auto heap = Heap::open(db, bidData, bidSub);
    if (!heap)
        return heap.error();
    if (heap->client() != heap::PropertyContext)
        return heap->damagedAt(kPc, QStringLiteral("heap of client %1").arg(hex(heap->client())));
    auto bth = Bth::open(*heap, heap->userRoot());
    if (!bth)
        return bth.error();
    if (bth->keySize() != 2 || bth->dataSize() != kRecordDataSize)
        return heap->damagedAt(kPc, QStringLiteral("records of %1 and %2 bytes").arg(bth->keySize()).arg(bth->dataSize()));
    QList<PropertyEntry> entries;
    auto count = bth->visitRecords(*heap, kMaxProperties, [&entries](const uchar *key, const uchar *data) {
        entries.append({le16(key), le16(data), le32(data + 2)});
    });
    if (!count)
        return count.error();
    std::sort(entries.begin(), entries.end(), [](const PropertyEntry &a, const PropertyEntry &b) { return a.id < b.id; });
    return PropertyContext(std::move(heap.value()), std::move(entries));
}

Result<PropertyContext> PropertyContext::openNode(NodeDatabase &db, quint32 nid)
{
    auto node = db.node(nid);
    if (!node)
        return node.error();
    return open(db, node->bidData, node->bidSub);
}

std::optional<PropertyEntry> PropertyContext::find(quint16 id) const
{
    const auto it = std::lower_bound(m_entries.begin(), m_entries.end(), id,
                                     [](const PropertyEntry &e, quint16 key) { return e.id < key; });
    if (it == m_entries.end() || it->id != id)
        return std::nullopt;
    return *it;
}

Result<PropertyValue> PropertyContext::read(const PropertyEntry &entry, qsizetype maxBytes) const
{
    if (entry.inRecord()) {
        QByteArray b(4, '\0');
        put32(b, 0, entry.valueOrHnid);
        b.truncate(ptype::fixedSize(entry.type));
        return PropertyValue{entry.type, b};
    }
    auto bytes = m_heap.value(entry.valueOrHnid, maxBytes);
    if (!bytes)
        return bytes.error();
    const int size = ptype::fixedSize(entry.type);
    if (size > 0 && bytes->size() != size)
        return m_heap.damagedAt(kPc, QStringLiteral("property %1 of type %2 has %3 bytes, expected %4")
                                         .arg(hex(entry.id), hex(entry.type))
                                         .arg(bytes->size())
                                         .arg(size));
    return PropertyValue{entry.type, std::move(bytes.value())};
}

Result<PropertyValue> PropertyContext::read(quint16 id, qsizetype maxBytes) const
{
    const auto entry = find(id);
    if (!entry)
        return Error{Error::Kind::Missing, QStringLiteral("%1: no property %2").arg(kPc, hex(id))};
    return read(*entry, maxBytes);
}

Result<std::optional<DataTree>> PropertyContext::valueTree(const PropertyEntry &entry) const
{
    if (entry.inRecord() || heap::isHid(entry.valueOrHnid))
        return std::optional<DataTree>();
    auto tree = m_heap.subnodeTree(entry.valueOrHnid);
    if (!tree)
        return tree.error();
    return std::optional<DataTree>(std::move(tree.value()));
}

}  // namespace ostrel::pst
