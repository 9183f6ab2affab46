#pragma once

#include "Encoding.h"
#include "Ltp.h"
#include "Message.h"
#include "NameMap.h"
#include "NdbWriter.h"
#include "TableColumns.h"

#include <QString>

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace ostrel::pstwriter {

class PropertyBag;

using FolderId = quint32;   // the folder's node id
using MessageId = quint32;  // the message's node id

// How folders' node ids relate to the order they are added in, which is
// the order of their parent's hierarchy table: scrambled (as in Outlook's
// files, where the two orders differ) or the same.
enum class FolderIds { Scrambled, Ordered };

struct ArchiveOptions {
    Encoding encoding = Encoding::Permute;  // Outlook's default
    QString storeName = QStringLiteral("Personal Folders");
    QString ipmSubtreeName = QStringLiteral("Top of Personal Folders");
    quint64 seed = 1;  // makes the store's record key; nothing else is random
    TableWidth tables = TableWidth::Outlook;
    HeapOrder heapOrder = HeapOrder::HeaderFirst;
    FolderIds folderIds = FolderIds::Scrambled;
    // Outlook's own folders under the root beside the IPM subtree: Search
    // Root, IPM_COMMON_VIEWS and five search folders.
    bool internalFolders = false;
    // Columns every contents table gets beyond its set, e.g. the sender's
    // address, which Outlook's tables lack.
    QList<quint32> extraContentsColumns;

    // The odd but legal layout of the writer's first archives: no encoding,
    // narrow tables, B-tree headers after the values, folder ids in order.
    static ArchiveOptions legacy();
};

struct FolderOptions {
    // Stored as given; absent ones are computed from the folder's messages
    // (a search folder's from its results).
    std::optional<quint32> contentCount;
    std::optional<quint32> unreadCount;
    QString containerClass = QStringLiteral("IPF.Note");
    bool nameAbsent = false;   // no display name property at all
    bool wastebasket = false;  // the store's deleted-items folder
    // The parent's hierarchy row holds the row id only (no name, no
    // counts); the folder's own properties still have them.
    bool bareHierarchyRow = false;
    // Contents rows in the reverse order of adding (of node ids).
    bool reverseContents = false;
    // Search folders only: no contents table node at all.
    bool noContentsTable = false;
    // On the folder's own properties, and its hierarchy row where the
    // table has a column.
    QList<ExtraProperty> properties;
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
    // 0 unless the options ask for the internal folders.
    FolderId searchRoot() const { return m_searchRoot; }
    // Returns 0 (and sets the error) when `parent` is unknown.
    FolderId addFolder(FolderId parent, const QString &name, const FolderOptions &options = {});
    // A search folder (node type 3): its contents table (type 0x10) lists
    // results, messages that live in other folders.
    FolderId addSearchFolder(FolderId parent, const QString &name, const FolderOptions &options = {});
    MessageId addMessage(FolderId folder, const Message &message);
    // The message's row, as its folder's contents table has it, joins the
    // search folder's table.
    bool addSearchResult(FolderId searchFolder, MessageId message);
    // The id the name-to-id map gives a named property (given now if new).
    quint16 namedPropertyId(const PropertyName &name);

    bool finish();
    bool failed() const;
    QString errorString() const;

    // After finish(): where structures lie, for damaged variants and tests.
    NdbLayout layout() const;
    std::optional<quint64> nodeDataOffset(quint32 nid) const;  // first block of the node's data
    qsizetype messageCount() const { return m_messageCount; }
    qsizetype folderCount() const { return qsizetype(m_folders.size()); }
    const ArchiveOptions &options() const { return m_options; }

private:
    struct Folder;
    Folder *findFolder(FolderId id);
    Folder *makeFolder(FolderId parent, const QString &name, const FolderOptions &options, bool search,
                       bool scramble);
    PropertyBag messageProperties(const Message &message, quint32 nid);
    void applyExtra(PropertyBag &bag, const QList<ExtraProperty> &extra);
    NodeData messageNode(const Message &message, const PropertyBag &props, int depth);
    PropertyBag folderSummary(const Folder &folder) const;
    void writeFolder(const Folder &folder);
    void writeStore();
    void fail(const QString &message);

    ArchiveOptions m_options;
    NdbWriter m_ndb;
    NameMap m_names;
    QList<quint32> m_contentsColumns;
    std::vector<std::unique_ptr<Folder>> m_folders;  // in the order added
    std::unordered_map<FolderId, size_t> m_folderIndex;
    quint32 m_nextFolderIndex = 0x402;
    quint32 m_maxFolderIndex = 0x401;
    quint32 m_scrambled = 0;
    quint32 m_scrambleBase = 0;
    quint32 m_nextSearchIndex = 0x4000;
    quint32 m_nextMessageIndex = 0x10000;
    FolderId m_searchRoot = 0;
    FolderId m_commonViews = 0;
    qsizetype m_messageCount = 0;
    QString m_error;
    bool m_open = false;
    bool m_finished = false;
};

}  // namespace ostrel::pstwriter
