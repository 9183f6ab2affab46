#include "MemoryEngine.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <utility>

namespace ostrel::test {

namespace {
constexpr qsizetype kChunk = 64 * 1024;
const QSet<quint16> kBodies{0x1000, 0x1009, 0x1013};
}  // namespace

void MemoryEngineLog::record(const QString &call)
{
    {
        QMutexLocker lock(&mutex);
        calls.append(call);
        threads.insert(std::this_thread::get_id());
    }
    if (onCall)
        onCall(call);
}

QStringList MemoryEngineLog::callsSoFar() const
{
    QMutexLocker lock(&mutex);
    return calls;
}

std::set<std::thread::id> MemoryEngineLog::threadsSoFar() const
{
    QMutexLocker lock(&mutex);
    return threads;
}

MemoryEngine::MemoryEngine(MemoryShelf shelf, QString name, std::shared_ptr<MemoryEngineLog> log)
    : m_shelf(std::move(shelf)), m_name(std::move(name)), m_log(std::move(log))
{
}

void MemoryEngine::record(const QString &call) const
{
    if (m_log)
        m_log->record(m_name + QLatin1Char('.') + call);
}

Expected<RawArchive, PSTError> MemoryEngine::open(const QString &path)
{
    record(QStringLiteral("open ") + QFileInfo(path).fileName());
    m_archive = m_shelf.value(QFileInfo(path).fileName());
    if (!m_archive)
        return PSTError::parsingFailed(QStringLiteral("file_open: %1 cannot read %2").arg(m_name, path));
    return m_archive->archive();
}

Expected<QList<RawMessage>, PSTError> MemoryEngine::readMessages(quint32 folder, qint64 offset, qint64 limit,
                                                                 const InlineDataPolicy &policy)
{
    record(QStringLiteral("readMessages"));
    if (!m_archive || !m_archive->hasFolder(folder))
        return PSTError::parsingFailed(QStringLiteral("folder 0x%1: not in this archive").arg(folder, 0, 16));
    if (const auto failure = m_archive->messagesFailure(folder))
        return PSTError::parsingFailed(*failure);
    const QList<quint32> nodes = m_archive->messagesOf(folder);
    const qint64 start = std::max<qint64>(offset, 0);
    const qint64 end = std::min<qint64>(nodes.size(), start + std::clamp<qint64>(limit, 0, nodes.size()));
    QList<RawMessage> messages;
    for (qint64 i = start; i < end; ++i) {
        const MessageKey key{nodes[i], {}};
        messages.append(m_archive->message(key)->raw(key, policy));
    }
    return messages;
}

Expected<RawListing, PSTError> MemoryEngine::listFolder(quint32 folder, const RowSink &sink)
{
    record(QStringLiteral("listFolder"));
    if (!m_archive || !m_archive->hasFolder(folder))
        return PSTError::parsingFailed(QStringLiteral("folder 0x%1: not in this archive").arg(folder, 0, 16));
    // Rows go out a few hundred at a time, as a real folder's do, so that a
    // large folder reaches the reader's receiver in several parts.
    constexpr qsizetype kChunk = 200;
    RawListing listing;
    QList<RawRow> chunk;
    for (const quint32 node : m_archive->messagesOf(folder)) {
        RawRow row{node, m_archive->message({node, {}})->raw({node, {}}).properties, {}};
        for (const quint16 body : kBodies)
            row.columns.remove(body);
        chunk.append(row);
        ++listing.rows;
        if (chunk.size() >= kChunk) {
            if (!sink(std::as_const(chunk)))
                return listing;
            chunk.clear();
        }
    }
    if (!chunk.isEmpty())
        sink(std::as_const(chunk));
    return listing;
}

Expected<RawMessage, PSTError> MemoryEngine::readMessage(const MessageKey &key, const InlineDataPolicy &policy)
{
    record(QStringLiteral("readMessage"));
    const MessageBuilder *message = m_archive ? m_archive->message(key) : nullptr;
    if (!message)
        return PSTError::parsingFailed(QStringLiteral("message 0x%1: not in this archive").arg(key.node, 0, 16));
    return message->raw(key, policy);
}

Expected<PropertyBag, PSTError> MemoryEngine::readProperties(const MessageKey &key, const QList<quint16> &ids,
                                                             qint64 maxBytes)
{
    record(QStringLiteral("readProperties"));
    const MessageBuilder *message = m_archive ? m_archive->message(key) : nullptr;
    if (!message)
        return PSTError::parsingFailed(QStringLiteral("message 0x%1: not in this archive").arg(key.node, 0, 16));
    const PropertyBag all = message->raw(key).properties;
    PropertyBag some;
    for (const quint16 id : ids) {
        if (const PropertyValue *value = all.find(id))
            some.insert(id, {value->type, value->bytes.left(maxBytes)});
    }
    return some;
}

Expected<qint64, QString> MemoryEngine::streamAttachment(const AttachmentKey &key, const ByteSink &sink)
{
    record(QStringLiteral("streamAttachment"));
    const MessageBuilder *message = m_archive ? m_archive->message(key.message) : nullptr;
    if (!message)
        return QStringLiteral("message 0x%1: not in this archive").arg(key.message.node, 0, 16);
    const auto bytes = message->bytes(key.index);
    if (const auto *reason = std::get_if<QString>(&bytes))
        return *reason;
    const QByteArray &data = std::get<QByteArray>(bytes);
    qint64 handed = 0;
    for (qsizetype at = 0; at < data.size(); at += kChunk) {
        const QByteArrayView chunk = QByteArrayView(data).sliced(at, std::min(kChunk, data.size() - at));
        handed += chunk.size();
        if (!sink(chunk))
            break;
    }
    return handed;
}

EngineFactory memoryEngines(const MemoryShelf &shelf, std::shared_ptr<MemoryEngineLog> log, bool native)
{
    EngineFactory factory;
    factory.libpff = [shelf, log] { return std::make_unique<MemoryEngine>(shelf, QStringLiteral("libpff"), log); };
    if (native)
        factory.native = [shelf, log] { return std::make_unique<MemoryEngine>(shelf, QStringLiteral("native"), log); };
    return factory;
}

bool touch(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("memory archive\n") > 0;
}

}  // namespace ostrel::test
