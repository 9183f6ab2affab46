#include "views/FolderTreeModel.h"

namespace ostrel {

FolderTreeModel::FolderTreeModel(QObject *parent) : QAbstractItemModel(parent) {}

void FolderTreeModel::setFolders(const QList<MailFolder> &folders)
{
    beginResetModel();
    m_folders = folders;
    m_places.clear();
    indexTree(m_folders, nullptr);
    endResetModel();
}

void FolderTreeModel::indexTree(const QList<MailFolder> &folders, const MailFolder *parent)
{
    for (int row = 0; row < folders.size(); ++row) {
        const MailFolder *folder = &folders[row];
        m_places.insert(folder, {parent, row});
        indexTree(folder->children, folder);
    }
}

const QList<MailFolder> &FolderTreeModel::childrenOf(const MailFolder *folder) const
{
    return folder ? folder->children : m_folders;
}

const MailFolder *FolderTreeModel::folder(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<const MailFolder *>(index.internalPointer()) : nullptr;
}

QModelIndex FolderTreeModel::indexForId(const QUuid &id) const
{
    // Walk in pre-order so that the first match in tree order wins.
    std::function<QModelIndex(const QList<MailFolder> &, const QModelIndex &)> search =
        [&](const QList<MailFolder> &folders, const QModelIndex &parent) -> QModelIndex {
        for (int row = 0; row < folders.size(); ++row) {
            const QModelIndex here = index(row, 0, parent);
            if (folders[row].id == id)
                return here;
            if (const QModelIndex found = search(folders[row].children, here); found.isValid())
                return found;
        }
        return {};
    };
    return search(m_folders, {});
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    const QList<MailFolder> &children = childrenOf(folder(parent));
    if (row >= children.size())
        return {};
    return createIndex(row, 0, const_cast<MailFolder *>(&children[row]));
}

QModelIndex FolderTreeModel::parent(const QModelIndex &child) const
{
    const MailFolder *node = folder(child);
    if (!node)
        return {};
    const MailFolder *parentFolder = m_places.value(node).parent;
    if (!parentFolder)
        return {};
    return createIndex(m_places.value(parentFolder).row, 0, const_cast<MailFolder *>(parentFolder));
}

int FolderTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return int(childrenOf(folder(parent)).size());
}

int FolderTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant FolderTreeModel::data(const QModelIndex &index, int role) const
{
    const MailFolder *node = folder(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return node->name;
    case IdRole:
        return node->id;
    case IconNameRole:
        return iconName(node->folderType);
    case UnreadCountRole:
        return node->unreadCount;
    case MessageCountRole:
        return node->messageCount;
    case Qt::AccessibleTextRole:
        return node->unreadCount > 0 ? tr("%1, %2 unread").arg(node->name).arg(node->unreadCount) : node->name;
    default:
        return {};
    }
}

}  // namespace ostrel
