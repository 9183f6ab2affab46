#include "MemoryArchive.h"

#include "StoredValue.h"

namespace ostrel::test {

namespace {
constexpr quint16 kDisplayName = 0x3001;
constexpr quint16 kContentUnreadCount = 0x3603;
constexpr quint32 kNodeStep = 0x20;
}  // namespace

quint32 MemoryArchive::addFolder(quint32 parent, const QString &name, quint32 unread)
{
    const quint32 node = m_nextFolder;
    m_nextFolder += kNodeStep;
    Folder folder;
    folder.parent = parent;
    folder.properties.insert(kDisplayName, stored::text(name));
    folder.properties.insert(kContentUnreadCount, stored::int32(unread));
    m_folders.insert(node, folder);
    if (parent == top)
        m_top.append(node);
    else
        m_folders[parent].children.append(node);
    return node;
}

quint32 MemoryArchive::addMessage(quint32 folder, const MessageBuilder &message)
{
    const quint32 node = m_nextMessage;
    m_nextMessage += kNodeStep;
    m_messages.insert(node, message);
    m_folders[folder].messages.append(node);
    return node;
}

void MemoryArchive::setSubFoldersUnreadable(quint32 folder, const QString &reason)
{
    m_folders[folder].subFoldersFailure = reason;
}

void MemoryArchive::setMessageCountUnreadable(quint32 folder, const QString &reason)
{
    m_folders[folder].countFailure = reason;
}

void MemoryArchive::setMessagesUnreadable(quint32 folder, const QString &reason)
{
    m_folders[folder].messagesFailure = reason;
}

void MemoryArchive::setSearchFolder(quint32 folder, qint64 countedResults)
{
    m_folders[folder].searchResults = countedResults;
}

RawFolder MemoryArchive::rawFolder(quint32 node) const
{
    const Folder &folder = m_folders[node];
    RawFolder raw;
    raw.node = node;
    raw.properties = folder.properties;
    if (folder.countFailure)
        raw.messageCount.failure = folder.countFailure;
    else
        raw.messageCount.value = folder.searchResults.value_or(folder.messages.size());
    raw.searchFolder = folder.searchResults.has_value();
    raw.children.failure = folder.subFoldersFailure;
    for (const quint32 child : folder.children)
        raw.children.value.append(rawFolder(child));
    return raw;
}

RawArchive MemoryArchive::archive() const
{
    RawArchive archive;
    archive.rootFolder = 0x122;
    archive.namedPropertiesFailure = m_namedFailure;
    archive.store = m_store;
    for (const quint32 node : m_top)
        archive.folders.value.append(rawFolder(node));
    return archive;
}

QList<quint32> MemoryArchive::messagesOf(quint32 folder) const
{
    return m_folders.value(folder).messages;
}

std::optional<QString> MemoryArchive::messagesFailure(quint32 folder) const
{
    return m_folders.value(folder).messagesFailure;
}

const MessageBuilder *MemoryArchive::message(const MessageKey &key) const
{
    const auto found = m_messages.constFind(key.node);
    if (found == m_messages.cend())
        return nullptr;
    const MessageBuilder *message = &found.value();
    for (const int index : key.embeddedPath) {
        message = message->attachedMessage(index);
        if (!message)
            return nullptr;
    }
    return message;
}

}  // namespace ostrel::test
