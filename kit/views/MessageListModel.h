#pragma once

#include "model/MailMessage.h"

#include <QAbstractListModel>

namespace ostrel {

// The shown messages, in list order, for the message list.
class MessageListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole + 1 };

    explicit MessageListModel(QObject *parent = nullptr);

    void setMessages(const QList<MailMessage> &messages);
    const QList<MailMessage> &messages() const { return m_messages; }
    const MailMessage *message(const QModelIndex &index) const;
    QModelIndex indexForId(const QUuid &id) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QList<MailMessage> m_messages;
};

}  // namespace ostrel
