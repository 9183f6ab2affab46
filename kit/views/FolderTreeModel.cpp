#include "views/FolderTreeModel.h"

#include <functional>

namespace ostrel {

FolderTreeModel::FolderTreeModel(QObject *parent) : QAbstractItemModel(parent) {}
FolderTreeModel::~FolderTreeModel() = default;

void FolderTreeModel::setFolders(const QList<MailFolder> &folders)
{
    beginResetModel();
    m_top.clear();
    m_nodes.clear();
    m_group = nullptr;
    m_folders = folders;
    const MailFolder *mailbox = findMailboxRoot(m_folders);
    if (!mailbox) {
        for (const MailFolder &folder : std::as_const(m_folders))
            addTree(folder, nullptr, nullptr);
    } else {
        for (const MailFolder &folder : mailbox->children)
            addTree(folder, nullptr, mailbox);
        auto group = std::make_unique<Node>();
        for (const MailFolder &folder : std::as_const(m_folders))
            addTree(folder, group.get(), mailbox);
        if (!group->children.isEmpty()) {
            group->row = int(m_top.size());
            m_group = group.get();
            m_top.append(m_group);
            m_nodes.push_back(std::move(group));
        }
    }
    endResetModel();
}

FolderTreeModel::Node *FolderTreeModel::add(const MailFolder *folder, Node *parent)
{
    auto created = std::make_unique<Node>();
    Node *added = created.get();
    added->folder = folder;
    added->parent = parent;
    QList<Node *> &siblings = parent ? parent->children : m_top;
    added->row = int(siblings.size());
    siblings.append(added);
    m_nodes.push_back(std::move(created));
    return added;
}

void FolderTreeModel::addTree(const MailFolder &folder, Node *parent, const MailFolder *mailboxRoot)
{
    if (&folder == mailboxRoot) {
        // Its folders are the mailbox; it stays reachable only for messages of its own.
        if (folder.messageCount > 0 || folder.messageCountFailure)
            add(&folder, parent);
        return;
    }
    Node *added = add(&folder, parent);
    for (const MailFolder &child : folder.children)
        addTree(child, added, mailboxRoot);
}

FolderTreeModel::Node *FolderTreeModel::node(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<Node *>(index.internalPointer()) : nullptr;
}

const QList<FolderTreeModel::Node *> &FolderTreeModel::childrenOf(const Node *parent) const
{
    return parent ? parent->children : m_top;
}

const MailFolder *FolderTreeModel::folder(const QModelIndex &index) const
{
    const Node *found = node(index);
    return found ? found->folder : nullptr;
}

bool FolderTreeModel::isGroup(const QModelIndex &index) const
{
    return index.isValid() && node(index) == m_group;
}

QModelIndex FolderTreeModel::groupIndex() const
{
    return m_group ? createIndex(m_group->row, 0, m_group) : QModelIndex();
}

QModelIndex FolderTreeModel::indexForId(const QUuid &id) const
{
    // Walk in pre-order so that the first match in tree order wins.
    const std::function<QModelIndex(const QList<Node *> &)> search = [&](const QList<Node *> &nodes) {
        for (Node *candidate : nodes) {
            if (candidate->folder && candidate->folder->id == id)
                return createIndex(candidate->row, 0, candidate);
            if (const QModelIndex found = search(candidate->children); found.isValid())
                return found;
        }
        return QModelIndex();
    };
    return search(m_top);
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0 || (parent.isValid() && parent.column() != 0))
        return {};
    const QList<Node *> &children = childrenOf(node(parent));
    if (row >= children.size())
        return {};
    return createIndex(row, 0, children[row]);
}

QModelIndex FolderTreeModel::parent(const QModelIndex &child) const
{
    const Node *found = node(child);
    if (!found || !found->parent)
        return {};
    return createIndex(found->parent->row, 0, found->parent);
}

int FolderTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return int(childrenOf(node(parent)).size());
}

int FolderTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant FolderTreeModel::data(const QModelIndex &index, int role) const
{
    if (isGroup(index)) {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return tr("Other folders");
        case Qt::ToolTipRole:
            return tr("The archive's own folders beside the mailbox: searches, views, reminders");
        case IconNameRole:
            return QStringLiteral("archivebox");
        case GroupRole:
            return true;
        case UnreadCountRole:
        case MessageCountRole:
            return qint64(0);
        default:
            return {};
        }
    }
    const MailFolder *shown = folder(index);
    if (!shown)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return shown->name;
    case Qt::ToolTipRole:
        return shown->searchFolder ? tr("%1 (search folder)").arg(shown->name) : shown->name;
    case IdRole:
        return shown->id;
    case IconNameRole:
        return shown->searchFolder ? QStringLiteral("magnifyingglass") : iconName(shown->folderType);
    case UnreadCountRole:
        return shown->unreadCount;
    case MessageCountRole:
        return shown->messageCount;
    case GroupRole:
        return false;
    case Qt::AccessibleTextRole: {
        const QString name = shown->searchFolder ? tr("%1 (search folder)").arg(shown->name) : shown->name;
        return shown->unreadCount > 0 ? tr("%1, %2 unread").arg(name).arg(shown->unreadCount) : name;
    }
    default:
        return {};
    }
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (isGroup(index))
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace ostrel
