#pragma once

#include "model/Expected.h"
#include "pst/engine/ArchiveEngine.h"
#include "pst/engine/RawValues.h"

#include <QString>
#include <cstdint>
#include <memory>

// libpff hands out its handles as intptr_t; repeated here so this header
// needs no libpff.h.
typedef intptr_t libpff_item_t;

namespace ostrel {

struct LibpffCalls;
struct PropertyRead;

// Owns one message item (of a folder, or attached to another message) while
// it is being read.
class PSTMessage {
public:
    PSTMessage(libpff_item_t *handle, std::shared_ptr<const LibpffCalls> calls);
    ~PSTMessage();
    PSTMessage(const PSTMessage &) = delete;
    PSTMessage &operator=(const PSTMessage &) = delete;

    // The message's node id; 0 when the library will not say.
    quint32 node() const;
    // The whole message under key: properties, recipients and attachments,
    // attached messages read whole up to kDeepestAttachedMessage, with the
    // bytes of the attachments that policy asks for. depth: how deep this
    // message is attached itself (0 in a folder).
    RawMessage read(const MessageKey &key, const InlineDataPolicy &policy, int depth = 0) const;
    // Some of its properties; empty when they cannot be read.
    PropertyBag properties(const PropertyRead &read) const;
    Readable<QList<PropertyBag>> recipients() const;
    Readable<QList<RawAttachment>> attachments(const MessageKey &key, const InlineDataPolicy &policy,
                                               int depth) const;
    // The message attached at index, or why there is none.
    Expected<std::unique_ptr<PSTMessage>, QString> attachedMessage(int index) const;
    // Hands the bytes of the attachment at index to sink, in bounded chunks.
    Expected<qint64, QString> streamAttachment(int index, const ByteSink &sink) const;

private:
    libpff_item_t *m_handle = nullptr;
    std::shared_ptr<const LibpffCalls> m_calls;
};

}  // namespace ostrel
