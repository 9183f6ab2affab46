#pragma once

#include "model/Expected.h"
#include "pst/engine/PSTError.h"

#include <QUrl>
#include <cstdint>
#include <memory>

// libpff hands out its handles as intptr_t; repeated here so this header
// needs no libpff.h.
typedef intptr_t libpff_file_t;

namespace ostrel {

struct LibpffCalls;
class PSTFolder;

// Owns one open libpff file. Lives on the reader's thread only.
class PSTFile {
public:
    // Opens the archive read-only, with Windows-1252 for its 8-bit strings.
    static Expected<std::unique_ptr<PSTFile>, PSTError> open(const QUrl &url,
                                                            std::shared_ptr<const LibpffCalls> calls);
    ~PSTFile();
    PSTFile(const PSTFile &) = delete;
    PSTFile &operator=(const PSTFile &) = delete;

    Expected<std::unique_ptr<PSTFolder>, PSTError> rootFolder() const;
    const QUrl &url() const { return m_url; }

private:
    PSTFile(QUrl url, std::shared_ptr<const LibpffCalls> calls);

    libpff_file_t *m_handle = nullptr;
    QUrl m_url;
    // Linux has no sandbox grants to take and give back; kept so the open and
    // the release stay balanced should one ever exist.
    bool m_didStartScopedAccess = false;
    std::shared_ptr<const LibpffCalls> m_calls;
};

}  // namespace ostrel
