#pragma once

#include "model/MailFolder.h"

#include <QAbstractItemModel>
#include <memory>
#include <vector>

namespace ostrel {

// The folder tree of the open archive, for the sidebar's outline, as people
// know it: the mailbox's folders first, then one group row holding every
// other folder of the store (search roots, views, reminders, ...) so that
// nothing is hidden. The mailbox's own root is no row above its folders; it
// appears in the group only when it holds messages. Without a mailbox the
// tree is shown as stored. The group row is no folder: it has no id and
// cannot be selected.
class FolderTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole + 1, IconNameRole, UnreadCountRole, MessageCountRole, GroupRole };

    explicit FolderTreeModel(QObject *parent = nullptr);
    ~FolderTreeModel() override;

    void setFolders(const QList<MailFolder> &folders);
    // Null for the group row and invalid indexes.
    const MailFolder *folder(const QModelIndex &index) const;
    bool isGroup(const QModelIndex &index) const;
    // The group row; invalid when there is none.
    QModelIndex groupIndex() const;
    // Pre-order, depth first: the first folder with this id.
    QModelIndex indexForId(const QUuid &id) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Node {
        const MailFolder *folder = nullptr;  // null for the group row
        Node *parent = nullptr;
        int row = 0;
        QList<Node *> children;
    };
    Node *add(const MailFolder *folder, Node *parent);
    void addTree(const MailFolder &folder, Node *parent, const MailFolder *mailboxRoot);
    Node *node(const QModelIndex &index) const;
    const QList<Node *> &childrenOf(const Node *node) const;

    QList<MailFolder> m_folders;
    std::vector<std::unique_ptr<Node>> m_nodes;
    QList<Node *> m_top;
    Node *m_group = nullptr;
};

}  // namespace ostrel
