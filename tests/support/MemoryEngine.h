#pragma once

#include "MemoryArchive.h"
#include "pst/EngineFactory.h"

#include <QHash>
#include <QMutex>
#include <QStringList>
#include <set>
#include <thread>

namespace ostrel::test {

// What a test sees of the memory engines it made: every call in order and
// the threads that made them; onCall runs before each call, on that thread.
struct MemoryEngineLog {
    mutable QMutex mutex;
    QStringList calls;
    std::set<std::thread::id> threads;
    std::function<void(const QString &call)> onCall;

    void record(const QString &call);
    QStringList callsSoFar() const;
    std::set<std::thread::id> threadsSoFar() const;
};

// The archives an engine finds, by file name: opening any other file fails
// as a file that is no archive.
using MemoryShelf = QHash<QString, std::shared_ptr<const MemoryArchive>>;

// An engine over archives held in memory, so that the actor, the view model
// and the window can be tested without libpff and without the corpus.
class MemoryEngine final : public ArchiveEngine {
public:
    explicit MemoryEngine(MemoryShelf shelf, QString name = QStringLiteral("memory"),
                          std::shared_ptr<MemoryEngineLog> log = {});

    QString name() const override { return m_name; }
    Expected<RawArchive, PSTError> open(const QString &path) override;
    Expected<QList<RawMessage>, PSTError> readMessages(quint32 folder, qint64 offset, qint64 limit,
                                                       const InlineDataPolicy &policy) override;
    Expected<RawListing, PSTError> listFolder(quint32 folder, const RowSink &sink) override;
    Expected<RawMessage, PSTError> readMessage(const MessageKey &key, const InlineDataPolicy &policy) override;
    Expected<PropertyBag, PSTError> readProperties(const MessageKey &key, const QList<quint16> &ids,
                                                   qint64 maxBytes) override;
    Expected<qint64, QString> streamAttachment(const AttachmentKey &key, const ByteSink &sink) override;

private:
    void record(const QString &call) const;

    MemoryShelf m_shelf;
    QString m_name;
    std::shared_ptr<MemoryEngineLog> m_log;
    std::shared_ptr<const MemoryArchive> m_archive;
};

// A factory whose engines are memory engines over shelf: libpff always,
// native too when native is true.
EngineFactory memoryEngines(const MemoryShelf &shelf, std::shared_ptr<MemoryEngineLog> log = {},
                            bool native = false);

// Writes a small placeholder file at path, so that the actor's check of the
// path passes; the memory engine never reads it.
bool touch(const QString &path);

}  // namespace ostrel::test
