#pragma once

#include "model/Expected.h"
#include "pst/engine/RawValues.h"
#include "pst/libpff/LibpffCalls.h"

#include <QString>
#include <functional>

namespace ostrel {

// Which properties a read keeps, by their stored id (for a named property,
// the id the file mapped it to).
using PropertyFilter = std::function<bool(quint32 id)>;

// How a bag is read: which properties, and at most how many bytes of each
// value (-1: whole values).
struct PropertyRead {
    PropertyFilter keep;
    qint64 maxBytes = -1;
};

// The properties of one record set, as stored: entry type, value type and
// the raw bytes; a named property under its name. Entries that cannot be
// read, named ones whose name is unknown, and values above 64 MiB are left
// out. Fails only when the set's entries cannot be counted.
Expected<PropertyBag, QString> readRecordSet(const LibpffCalls &lib, libpff_record_set_t *set,
                                             const PropertyRead &read = {});

// The properties of an item (its first record set).
Expected<PropertyBag, QString> readItemProperties(const LibpffCalls &lib, libpff_item_t *item,
                                                  const PropertyRead &read = {});

}  // namespace ostrel
