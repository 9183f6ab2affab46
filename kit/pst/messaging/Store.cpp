#include "Store.h"

#include "pst/format/Bytes.h"
#include "pst/format/Nid.h"

namespace ostrel::pst {

namespace {

constexpr qsizetype kMaxStoreValue = 1024 * 1024;
constexpr qsizetype kEntryIdSize = 24;  // flags (4), store uid (16), node id (4)

}  // namespace

std::optional<quint32> Store::entryIdNode(const PropertyValue &entryId)
{
    if (entryId.type != ptype::Binary || entryId.bytes.size() < kEntryIdSize)
        return std::nullopt;
    return bytes::get32(entryId.bytes, 20);
}

Result<Store> Store::read(NodeDatabase &db)
{
    auto pc = PropertyContext::openNode(db, nid::MessageStore);
    if (!pc)
        return pc.error();
    auto props = readProperties(*pc, kMaxStoreValue);
    if (!props)
        return props.error();
    Store store;
    store.properties = std::move(props.value());
    store.rootFolder = nid::RootFolder;
    if (const auto it = store.properties.constFind(kIpmSubtreeEntryId); it != store.properties.cend())
        store.ipmSubtree = entryIdNode(*it);
    return store;
}

}  // namespace ostrel::pst
