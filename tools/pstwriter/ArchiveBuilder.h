#pragma once

#include "Encoding.h"
#include "Message.h"
#include "NdbWriter.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace ostrel::pstwriter {

class PropertyBag;

using FolderId = quint32;   // the folder's node id
using MessageId = quint32;  // the message's node id

struct ArchiveOptions {
    Encoding encoding = Encoding::None;
    QString storeName = QStringLiteral("Personal Folders");
    QString ipmSubtreeName = QStringLiteral("Top of Personal Folders");
    quint64 seed = 1;  // makes the store's record key; nothing else is random
};

struct FolderOptions {
    // Stored as given; absent ones are computed from the folder's messages.
    std::optional<quint32> contentCount;
    std::optional<quint32> unreadCount;
    QString containerClass = QStringLiteral("IPF.Note");
    bool nameAbsent = false;   // no display name property at all
    bool wastebasket = false;  // the store's deleted-items folder
};

// Builds a Unicode archive: the store, the name-to-id map, the root folder
// with the IPM subtree below it, and whatever folders and messages are
// added. Messages are written as they are added (only a row for the
// folder's contents table stays in memory); folders, tables, the B-trees
// and the header are written by finish().
class ArchiveBuilder {
public:
    explicit ArchiveBuilder(ArchiveOptions options = {});
    ~ArchiveBuilder();
    ArchiveBuilder(const ArchiveBuilder &) = delete;
    ArchiveBuilder &operator=(const ArchiveBuilder &) = delete;

    bool open(const QString &path);

    FolderId rootFolder() const;
    FolderId ipmSubtree() const;
    // Returns 0 (and sets the error) when `parent` is unknown.
    FolderId addFolder(FolderId parent, const QString &name, const FolderOptions &options = {});
    MessageId addMessage(FolderId folder, const Message &message);

    bool finish();
    bool failed() const;
    QString errorString() const;

    // After finish(): where structures lie, for damaged variants and tests.
    NdbLayout layout() const;
    std::optional<quint64> nodeDataOffset(quint32 nid) const;  // first block of the node's data
    qsizetype messageCount() const { return m_messageCount; }
    qsizetype folderCount() const { return qsizetype(m_folders.size()); }

private:
    struct Folder;
    Folder *findFolder(FolderId id);
    NodeData messageNode(const Message &message, const PropertyBag &props, int depth);
    void writeFolder(const Folder &folder);
    void writeStore();

    ArchiveOptions m_options;
    NdbWriter m_ndb;
    std::vector<std::unique_ptr<Folder>> m_folders;
    quint32 m_nextFolderIndex = 0x402;
    quint32 m_nextMessageIndex = 0x10000;
    qsizetype m_messageCount = 0;
    QString m_error;
    bool m_open = false;
    bool m_finished = false;
};

}  // namespace ostrel::pstwriter
