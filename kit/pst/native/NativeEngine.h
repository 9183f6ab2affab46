#pragma once

#include "pst/engine/ArchiveEngine.h"

#include <memory>

namespace ostrel {

// Reads archives with the project's own reader: opening reads the header
// and the hierarchy tables only; a page of a folder reads its rows and
// those messages; pages and blocks are cached up to 32 MiB.
class NativeEngine final : public ArchiveEngine {
public:
    NativeEngine();
    // cacheBytes bounds the main cache of pages and blocks.
    explicit NativeEngine(qsizetype cacheBytes);
    ~NativeEngine() override;

    // What the caches hold now, for tests and measurements.
    struct CacheUse {
        qsizetype mainBytes = 0;
        qsizetype readOnceBytes = 0;
    };
    CacheUse cacheUse() const;

    QString name() const override { return QStringLiteral("native"); }
    Expected<RawArchive, PSTError> open(const QString &path) override;
    Expected<QList<RawMessage>, PSTError> readMessages(quint32 folder, qint64 offset, qint64 limit,
                                                       const InlineDataPolicy &policy) override;
    Expected<RawListing, PSTError> listFolder(quint32 folder, const RowSink &sink) override;
    Expected<RawMessage, PSTError> readMessage(const MessageKey &key, const InlineDataPolicy &policy) override;
    Expected<PropertyBag, PSTError> readProperties(const MessageKey &key, const QList<quint16> &ids,
                                                   qint64 maxBytes) override;
    Expected<qint64, QString> streamAttachment(const AttachmentKey &key, const ByteSink &sink) override;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace ostrel
