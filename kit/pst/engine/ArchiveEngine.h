#pragma once

#include "model/Expected.h"
#include "pst/engine/PSTError.h"
#include "pst/engine/RawValues.h"

#include <QByteArrayView>
#include <QString>

#include <functional>

namespace ostrel {

// How deep attached messages are read, a message in a message counting 1;
// one nested deeper is left with a failure that says so.
inline constexpr int kDeepestAttachedMessage = 16;

// Which attachments a message read also loads the bytes of: called with an
// attachment's properties and data size; true loads them.
using InlineDataPolicy = std::function<bool(const PropertyBag &attachment, qint64 dataSize)>;

// Receives a folder's rows in chunks, first rows first; false stops the
// listing. The rows stay the engine's, which may refill them for the next
// chunk: a sink copies what it keeps.
using RowSink = std::function<bool(const QList<RawRow> &chunk)>;

// Receives an attachment's bytes in chunks; false stops the stream.
using ByteSink = std::function<bool(QByteArrayView chunk)>;

// One way of reading an archive. An engine is used on one thread only (the
// actor's), opens one archive for its lifetime and never writes to it.
// Failures are values: a damaged structure fails only the request that needs
// it, with a text that names the structure and, where known, the offset.
class ArchiveEngine {
public:
    virtual ~ArchiveEngine() = default;

    // "native" or "libpff".
    virtual QString name() const = 0;

    // Opens the archive at path and reads its folder tree (no folder's
    // contents). The caller has made sure that path is a readable regular
    // file (see checkArchivePath).
    virtual Expected<RawArchive, PSTError> open(const QString &path) = 0;

    // Up to limit whole messages of a folder, from offset, in the folder's
    // order; attachment bytes as policy asks.
    virtual Expected<QList<RawMessage>, PSTError> readMessages(quint32 folder, qint64 offset, qint64 limit,
                                                               const InlineDataPolicy &policy) = 0;

    // Every row of a folder, in the folder's order, handed to sink in chunks.
    virtual Expected<RawListing, PSTError> listFolder(quint32 folder, const RowSink &sink) = 0;

    // One whole message, embedded ones included.
    virtual Expected<RawMessage, PSTError> readMessage(const MessageKey &key, const InlineDataPolicy &policy) = 0;

    // Some properties of a message, each value cut to at most maxBytes
    // (for previews and body searches); maxBytes >= 0.
    virtual Expected<PropertyBag, PSTError> readProperties(const MessageKey &key, const QList<quint16> &ids,
                                                           qint64 maxBytes) = 0;

    // Hands an attachment's bytes to sink; the number of bytes handed over
    // (fewer when sink stopped the stream), or why the archive would not give
    // them. An attached message has no such bytes.
    virtual Expected<qint64, QString> streamAttachment(const AttachmentKey &key, const ByteSink &sink) = 0;
};

}  // namespace ostrel
