#pragma once

#include "model/Expected.h"
#include "pst/engine/PSTError.h"

#include <QList>
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

    Expected<QString, PSTError> name() const;
    Expected<qint64, PSTError> messageCount() const;
    qint64 unreadCount() const;
    Expected<std::vector<std::unique_ptr<PSTFolder>>, PSTError> subFolders() const;
    // Message items [offset, offset + limit) clipped to the folder's count.
    Expected<std::vector<std::unique_ptr<PSTMessage>>, PSTError> messages(qint64 offset, qint64 limit) const;

private:
    libpff_item_t *m_handle = nullptr;
    std::shared_ptr<const LibpffCalls> m_calls;
};

}  // namespace ostrel
