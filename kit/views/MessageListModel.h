#pragma once

#include "model/MessageRow.h"

#include <QAbstractListModel>

namespace ostrel {

// The shown rows, in list order, for the message list. It holds a shared
// copy of the view model's list, so the rows are kept once.
class MessageListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole + 1 };

    explicit MessageListModel(QObject *parent = nullptr);

    void setRows(const QList<MessageRow> &rows);
    const QList<MessageRow> &rows() const { return m_rows; }
    const MessageRow *row(const QModelIndex &index) const;
    QModelIndex indexForId(const QUuid &id) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QList<MessageRow> m_rows;
};

}  // namespace ostrel
