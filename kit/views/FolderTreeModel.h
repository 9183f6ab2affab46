#pragma once

#include "model/MailFolder.h"

#include <QAbstractItemModel>
#include <QHash>
#include <functional>

namespace ostrel {

// The folder tree of the open archive, for the sidebar's outline.
class FolderTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole + 1, IconNameRole, UnreadCountRole, MessageCountRole };

    explicit FolderTreeModel(QObject *parent = nullptr);

    void setFolders(const QList<MailFolder> &folders);
    const MailFolder *folder(const QModelIndex &index) const;
    // Pre-order, depth first: the first folder with this id.
    QModelIndex indexForId(const QUuid &id) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    struct Place {
        const MailFolder *parent;
        int row;
    };
    void indexTree(const QList<MailFolder> &folders, const MailFolder *parent);
    const QList<MailFolder> &childrenOf(const MailFolder *folder) const;

    QList<MailFolder> m_folders;
    QHash<const MailFolder *, Place> m_places;
};

}  // namespace ostrel
