#pragma once

#include "pst/engine/ArchiveEngine.h"

#include <memory>
#include <unordered_map>

namespace ostrel {

struct LibpffCalls;
class PSTFile;
class PSTFolder;
class PSTMessage;

// Reads an archive through libpff: the second engine and the test oracle.
// libpff builds its whole item tree at open; after that, folders are found
// by the handles kept from the open and messages by their node ids. Every
// property is read as stored, so the record rules see what another engine
// would see.
class LibpffEngine final : public ArchiveEngine {
public:
    // calls: the library's entry points; the real ones when null.
    explicit LibpffEngine(std::shared_ptr<const LibpffCalls> calls = {});
    ~LibpffEngine() override;

    QString name() const override;
    Expected<RawArchive, PSTError> open(const QString &path) override;
    Expected<QList<RawMessage>, PSTError> readMessages(quint32 folder, qint64 offset, qint64 limit,
                                                       const InlineDataPolicy &policy) override;
    Expected<RawListing, PSTError> listFolder(quint32 folder, const RowSink &sink) override;
    Expected<RawMessage, PSTError> readMessage(const MessageKey &key, const InlineDataPolicy &policy) override;
    Expected<PropertyBag, PSTError> readProperties(const MessageKey &key, const QList<quint16> &ids,
                                                   qint64 maxBytes) override;
    Expected<qint64, QString> streamAttachment(const AttachmentKey &key, const ByteSink &sink) override;

private:
    RawFolder readFolder(std::unique_ptr<PSTFolder> folder, int depth);
    Expected<const PSTFolder *, PSTError> folderAt(quint32 node) const;
    Expected<std::unique_ptr<PSTMessage>, QString> messageAt(const MessageKey &key) const;

    std::shared_ptr<const LibpffCalls> m_calls;
    std::unique_ptr<PSTFile> m_file;
    // Every folder of the open archive by node id; freed before the file.
    std::unordered_map<quint32, std::unique_ptr<PSTFolder>> m_folders;
};

}  // namespace ostrel
