#pragma once

#include "model/Expected.h"
#include "model/MailMessage.h"
#include "pst/engine/PSTError.h"

#include <QList>
#include <cstdint>
#include <memory>

// libpff hands out its handles as intptr_t; repeated here so this header
// needs no libpff.h.
typedef intptr_t libpff_item_t;

namespace ostrel {

struct LibpffCalls;
struct AttachmentSaveError;

// Attachments at or above this size never have their bytes read with a page.
inline constexpr qint64 kInlineDataLimit = 5'000'000;

// Owns one message item while a page is being read.
class PSTMessage {
public:
    PSTMessage(libpff_item_t *handle, std::shared_ptr<const LibpffCalls> calls);
    ~PSTMessage();
    PSTMessage(const PSTMessage &) = delete;
    PSTMessage &operator=(const PSTMessage &) = delete;

    // attachmentIndices, when given, receives the library's index of each
    // attachment record, in record order.
    Expected<MailMessage, PSTError> mailMessage(QList<int> *attachmentIndices = nullptr) const;
    Expected<QList<Attachment>, PSTError> attachments(QList<int> *indices = nullptr) const;
    // Streams the bytes of the attachment with the library's index to path.
    Expected<qint64, AttachmentSaveError> writeAttachment(int index, const QString &path) const;
    Expected<QStringList, PSTError> recipients() const;

private:
    libpff_item_t *m_handle = nullptr;
    std::shared_ptr<const LibpffCalls> m_calls;
};

// MIME type from the file name's extension, lower-cased.
QString mimeType(const QString &fileName);

}  // namespace ostrel
