#pragma once

#include "pst/messaging/PropertyMap.h"

namespace ostrel::pst {

// The message store: its own properties and the folders its entry ids name.
struct Store {
    static constexpr quint16 kIpmSubtreeEntryId = 0x35E0;
    static constexpr quint16 kWastebasketEntryId = 0x35E3;
    static constexpr quint16 kPassword = 0x67FF;  // a checksum of the password; never a key

    PropertyMap properties;
    quint32 rootFolder = 0;
    std::optional<quint32> ipmSubtree;  // absent when the store names none

    static Result<Store> read(NodeDatabase &db);
    // The node an entry id (flags, store uid, node id) names.
    static std::optional<quint32> entryIdNode(const PropertyValue &entryId);
};

}  // namespace ostrel::pst
