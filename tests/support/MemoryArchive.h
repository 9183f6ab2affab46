#pragma once

#include "MessageBuilder.h"
#include "pst/engine/RawValues.h"

#include <QMap>

namespace ostrel::test {

// An archive held in memory: a folder tree with messages, built by tests and
// read by MemoryEngine. Node ids grow in the order things are added.
class MemoryArchive {
public:
    static constexpr quint32 top = 0;  // the level below the root folder

    quint32 addFolder(quint32 parent, const QString &name, quint32 unread = 0);
    quint32 addMessage(quint32 folder, const MessageBuilder &message);
    void setSubFoldersUnreadable(quint32 folder, const QString &reason);
    void setMessageCountUnreadable(quint32 folder, const QString &reason);
    // Every page read of the folder fails with reason.
    void setMessagesUnreadable(quint32 folder, const QString &reason);
    // The map of named properties could not be read.
    void setNamedPropertiesUnreadable(const QString &reason) { m_namedFailure = reason; }
    // A search folder whose row counts results that its listing does not give.
    void setSearchFolder(quint32 folder, qint64 countedResults);
    void setStoreProperty(quint16 id, const PropertyValue &value) { m_store.insert(id, value); }

    RawArchive archive() const;
    QList<quint32> messagesOf(quint32 folder) const;
    const MessageBuilder *message(const MessageKey &key) const;
    std::optional<QString> messagesFailure(quint32 folder) const;
    bool hasFolder(quint32 folder) const { return m_folders.contains(folder); }

private:
    struct Folder {
        quint32 parent = top;
        PropertyBag properties;
        QList<quint32> children;
        QList<quint32> messages;
        std::optional<QString> subFoldersFailure;
        std::optional<QString> countFailure;
        std::optional<QString> messagesFailure;
        std::optional<qint64> searchResults;
    };
    RawFolder rawFolder(quint32 node) const;

    PropertyBag m_store;
    QMap<quint32, Folder> m_folders;
    QList<quint32> m_top;
    QMap<quint32, MessageBuilder> m_messages;
    std::optional<QString> m_namedFailure;
    quint32 m_nextFolder = 0x8022;
    quint32 m_nextMessage = 0x200024;
};

}  // namespace ostrel::test
