#include "views/MessageListModel.h"

#include <algorithm>
#include <limits>

namespace ostrel {

MessageListModel::MessageListModel(QObject *parent) : QAbstractListModel(parent) {}

void MessageListModel::setRows(const QList<MessageRow> &rows)
{
    beginResetModel();
    m_rows = &rows;
    m_count = int(std::min<qsizetype>(rows.size(), std::numeric_limits<int>::max()));
    endResetModel();
}

void MessageListModel::clear()
{
    setRows(m_none);
}

const MessageRow *MessageListModel::row(const QModelIndex &index) const
{
    if (!index.isValid() || index.parent().isValid() || index.model() != this
        || index.row() >= m_count || index.row() >= m_rows->size())
        return nullptr;
    return &m_rows->at(index.row());
}

QModelIndex MessageListModel::indexForId(const QUuid &id) const
{
    const QList<MessageRow> &shown = *m_rows;
    const int count = int(std::min<qsizetype>(m_count, shown.size()));
    for (int row = 0; row < count; ++row) {
        if (shown[row].id == id)
            return index(row);
    }
    return {};
}

int MessageListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_count;
}

QVariant MessageListModel::data(const QModelIndex &index, int role) const
{
    const MessageRow *m = row(index);
    if (!m)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return m->subject;
    case Qt::AccessibleTextRole:
        return tr("%1, from %2").arg(m->subject.isEmpty() ? tr("(no subject)") : m->subject, m->sender());
    case IdRole:
        return m->id;
    default:
        return {};
    }
}

}  // namespace ostrel
