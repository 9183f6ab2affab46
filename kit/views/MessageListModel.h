#pragma once

#include "model/MessageRow.h"

#include <QAbstractListModel>

namespace ostrel {

// The shown rows, in list order, for the message list. It reads the view
// model's own list through a pointer and keeps no copy: a copy held here
// would make every later change to that list copy all of its rows.
class MessageListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole + 1 };

    explicit MessageListModel(QObject *parent = nullptr);

    // Shows rows, which must outlive this model or the next call; called
    // again whenever the list has changed (a reset).
    void setRows(const QList<MessageRow> &rows);
    // Shows nothing, and lets go of the list it read (whose owner is going).
    void clear();
    const QList<MessageRow> &rows() const { return *m_rows; }
    const MessageRow *row(const QModelIndex &index) const;
    QModelIndex indexForId(const QUuid &id) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    const QList<MessageRow> m_none;  // shown before the first setRows
    const QList<MessageRow> *m_rows = &m_none;
    // The count announced at the last reset: the list may have changed
    // since, before its owner said so, and the view must see one count.
    int m_count = 0;
};

}  // namespace ostrel
