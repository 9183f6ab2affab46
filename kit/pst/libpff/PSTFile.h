#pragma once

#include "model/Expected.h"
#include "pst/engine/PSTError.h"

#include <QString>
#include <cstdint>
#include <memory>

// libpff hands out its handles as intptr_t; repeated here so this header
// needs no libpff.h.
typedef intptr_t libpff_file_t;
typedef intptr_t libpff_item_t;

namespace ostrel {

struct LibpffCalls;
class PSTFolder;

// Owns one open libpff file. Lives on the reader's thread only.
class PSTFile {
public:
    // Opens the archive read-only, with Windows-1252 for its 8-bit strings.
    static Expected<std::unique_ptr<PSTFile>, PSTError> open(const QString &path,
                                                            std::shared_ptr<const LibpffCalls> calls);
    ~PSTFile();
    PSTFile(const PSTFile &) = delete;
    PSTFile &operator=(const PSTFile &) = delete;

    Expected<std::unique_ptr<PSTFolder>, PSTError> rootFolder() const;
    // The message store's item, or why there is none; the caller frees it.
    Expected<libpff_item_t *, QString> messageStore() const;
    // The item with that node id, or why there is none; the caller frees it.
    Expected<libpff_item_t *, QString> item(quint32 node) const;

private:
    explicit PSTFile(std::shared_ptr<const LibpffCalls> calls);

    libpff_file_t *m_handle = nullptr;
    std::shared_ptr<const LibpffCalls> m_calls;
};

}  // namespace ostrel
