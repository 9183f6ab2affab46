#include "pst/libpff/LibpffEngine.h"

#include "pst/libpff/LibpffCalls.h"
#include "pst/libpff/LibpffItem.h"
#include "pst/libpff/LibpffProperties.h"
#include "pst/libpff/PSTFile.h"
#include "pst/libpff/PSTFolder.h"
#include "pst/libpff/PSTMessage.h"

#include <QSet>

namespace ostrel {

namespace {
// libpff builds a finite tree, but a damaged one may be absurdly deep.
constexpr int kDeepestFolder = 512;
constexpr qsizetype kRowsPerChunk = 100;
// A search folder's node id ends in this type.
constexpr quint32 kSearchFolderNodeType = 0x03;
// Bodies are left out of a folder's rows.
const QSet<quint32> kBodies{0x1000, 0x1009, 0x1013};
}  // namespace

LibpffEngine::LibpffEngine(std::shared_ptr<const LibpffCalls> calls)
    : m_calls(calls ? std::move(calls) : LibpffCalls::real())
{
}

LibpffEngine::~LibpffEngine()
{
    m_folders.clear();  // folder handles go before the file they belong to
    m_file.reset();
}

QString LibpffEngine::name() const
{
    return QStringLiteral("libpff");
}

Expected<RawArchive, PSTError> LibpffEngine::open(const QString &path)
{
    m_folders.clear();
    m_file.reset();
    auto opened = PSTFile::open(path, m_calls);
    if (!opened)
        return opened.error();
    std::unique_ptr<PSTFile> file = std::move(opened).value();

    RawArchive archive;
    if (auto store = file->messageStore()) {
        LibpffItem item(*m_calls, store.value());
        if (auto bag = readItemProperties(*m_calls, item.get()))
            archive.store = std::move(bag).value();
    }
    auto root = file->rootFolder();
    if (!root)
        return root.error();
    archive.rootFolder = root.value()->node();
    auto sub = root.value()->subFolders();
    archive.folders.failure = sub.failure;
    for (auto &folder : sub.value)
        archive.folders.value.append(readFolder(std::move(folder), 1));
    // The root's own handle is kept too, for messages stored at the top.
    m_folders.emplace(archive.rootFolder, std::move(root).value());
    m_file = std::move(file);
    return archive;
}

RawFolder LibpffEngine::readFolder(std::unique_ptr<PSTFolder> folder, int depth)
{
    RawFolder raw;
    raw.node = folder->node();
    raw.properties = folder->properties();
    raw.searchFolder = (raw.node & 0x1F) == kSearchFolderNodeType;
    if (const auto count = folder->messageCount())
        raw.messageCount.value = count.value();
    else
        raw.messageCount.failure = count.error().message();
    if (depth >= kDeepestFolder) {
        raw.children.failure = QStringLiteral("folder tree deeper than %1").arg(kDeepestFolder);
    } else {
        auto sub = folder->subFolders();
        raw.children.failure = sub.failure;
        for (auto &child : sub.value)
            raw.children.value.append(readFolder(std::move(child), depth + 1));
    }
    m_folders.emplace(raw.node, std::move(folder));  // a repeated node keeps its first handle
    return raw;
}

Expected<const PSTFolder *, PSTError> LibpffEngine::folderAt(quint32 node) const
{
    if (!m_file)
        return PSTError::libpffNotInitialized();
    const auto found = m_folders.find(node);
    if (found == m_folders.end())
        return PSTError::parsingFailed(QStringLiteral("folder 0x%1: not in this archive").arg(node, 0, 16));
    return found->second.get();
}

Expected<std::unique_ptr<PSTMessage>, QString> LibpffEngine::messageAt(const MessageKey &key) const
{
    if (!m_file)
        return PSTError::libpffNotInitialized().errorDescription();
    auto item = m_file->item(key.node);
    if (!item)
        return item.error();
    auto message = std::make_unique<PSTMessage>(item.value(), m_calls);
    for (const int index : key.embeddedPath) {
        auto inner = message->attachedMessage(index);
        if (!inner)
            return inner.error();
        message = std::move(inner).value();
    }
    return message;
}

Expected<QList<RawMessage>, PSTError> LibpffEngine::readMessages(quint32 folder, qint64 offset, qint64 limit,
                                                                 const InlineDataPolicy &policy)
{
    const auto found = folderAt(folder);
    if (!found)
        return found.error();
    auto items = found.value()->messages(offset, limit);
    if (!items)
        return items.error();
    QList<RawMessage> messages;
    messages.reserve(qsizetype(items.value().size()));
    for (const auto &item : items.value()) {
        if (item) {
            messages.append(item.value()->read(MessageKey{item.value()->node(), {}}, policy));
        } else {
            // Kept in its place, saying why; libpff gives no node for it.
            RawMessage unreadable;
            unreadable.failure = item.error();
            messages.append(std::move(unreadable));
        }
    }
    return messages;
}

Expected<RawListing, PSTError> LibpffEngine::listFolder(quint32 folder, const RowSink &sink)
{
    const auto found = folderAt(folder);
    if (!found)
        return found.error();
    const auto count = found.value()->messageCount();
    if (!count)
        return count.error();
    const PropertyRead columns{[](quint32 id) { return !kBodies.contains(id); }};
    RawListing listing;
    QList<RawRow> chunk;
    for (qint64 i = 0; i < count.value(); ++i) {
        auto message = found.value()->message(int(i));
        if (!message) {
            ++listing.unreadable;
            if (!listing.failure)
                listing.failure = message.error();
            continue;
        }
        chunk.append(RawRow{message.value()->node(), message.value()->properties(columns), {}});
        if (chunk.size() == kRowsPerChunk) {
            listing.rows += chunk.size();
            if (!sink(std::as_const(chunk)))
                return listing;
            chunk.clear();
        }
    }
    if (!chunk.isEmpty()) {
        listing.rows += chunk.size();
        sink(std::as_const(chunk));
    }
    return listing;
}

Expected<RawMessage, PSTError> LibpffEngine::readMessage(const MessageKey &key, const InlineDataPolicy &policy)
{
    auto message = messageAt(key);
    if (!message)
        return PSTError::parsingFailed(message.error());
    return message.value()->read(key, policy, int(key.embeddedPath.size()));
}

Expected<PropertyBag, PSTError> LibpffEngine::readProperties(const MessageKey &key, const QList<quint16> &ids,
                                                             qint64 maxBytes)
{
    auto message = messageAt(key);
    if (!message)
        return PSTError::parsingFailed(message.error());
    const QSet<quint32> wanted(ids.cbegin(), ids.cend());
    return message.value()->properties({[&wanted](quint32 id) { return wanted.contains(id); }, std::max<qint64>(maxBytes, 0)});
}

Expected<qint64, QString> LibpffEngine::streamAttachment(const AttachmentKey &key, const ByteSink &sink)
{
    auto message = messageAt(key.message);
    if (!message)
        return message.error();
    return message.value()->streamAttachment(key.index, sink);
}

}  // namespace ostrel
