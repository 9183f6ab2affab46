#pragma once

#include "model/Expected.h"
#include "pst/engine/PSTError.h"
#include "pst/engine/RawValues.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

// libpff hands out its handles as intptr_t; repeated here so this header
// needs no libpff.h.
typedef intptr_t libpff_item_t;

namespace ostrel {

struct LibpffCalls;
class PSTMessage;

// Owns one folder item; its values are read through the handle each time.
class PSTFolder {
public:
    PSTFolder(libpff_item_t *handle, std::shared_ptr<const LibpffCalls> calls);
    ~PSTFolder();
    PSTFolder(const PSTFolder &) = delete;
    PSTFolder &operator=(const PSTFolder &) = delete;

    // The folder's node id; 0 when the library will not say.
    quint32 node() const;
    // The folder's own properties; empty when they cannot be read.
    PropertyBag properties() const;
    Expected<qint64, PSTError> messageCount() const;
    // The sub folders the library gives, and why any others are missing.
    Readable<std::vector<std::unique_ptr<PSTFolder>>> subFolders() const;
    // Message items [offset, offset + limit) clipped to the folder's count,
    // each the item or why it cannot be had.
    Expected<std::vector<Expected<std::unique_ptr<PSTMessage>, QString>>, PSTError> messages(qint64 offset,
                                                                                            qint64 limit) const;
    // The message at index, or why there is none.
    Expected<std::unique_ptr<PSTMessage>, QString> message(int index) const;

private:
    libpff_item_t *m_handle = nullptr;
    std::shared_ptr<const LibpffCalls> m_calls;
};

}  // namespace ostrel
