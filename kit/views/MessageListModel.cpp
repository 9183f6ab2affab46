#include "views/MessageListModel.h"

namespace ostrel {

MessageListModel::MessageListModel(QObject *parent) : QAbstractListModel(parent) {}

void MessageListModel::setMessages(const QList<MailMessage> &messages)
{
    beginResetModel();
    m_messages = messages;
    endResetModel();
}

const MailMessage *MessageListModel::message(const QModelIndex &index) const
{
    if (!index.isValid() || index.parent().isValid() || index.row() >= m_messages.size())
        return nullptr;
    return &m_messages[index.row()];
}

QModelIndex MessageListModel::indexForId(const QUuid &id) const
{
    for (int row = 0; row < m_messages.size(); ++row) {
        if (m_messages[row].id == id)
            return index(row);
    }
    return {};
}

int MessageListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_messages.size());
}

QVariant MessageListModel::data(const QModelIndex &index, int role) const
{
    const MailMessage *m = message(index);
    if (!m)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return m->subject;
    case Qt::AccessibleTextRole:
        return tr("%1, from %2").arg(m->subject.isEmpty() ? tr("(no subject)") : m->subject,
                                     m->sender.isEmpty() ? m->senderEmail : m->sender);
    case IdRole:
        return m->id;
    default:
        return {};
    }
}

}  // namespace ostrel
