#include "MessageReader.h"

#include "pst/format/Bytes.h"
#include "pst/format/Nid.h"

namespace ostrel::pst {

namespace {

constexpr QLatin1StringView kMessage("message");

// An OLE object (attach method 6) also keeps its data as an object: the
// subnode it names holds the object's storage, not a message.
constexpr quint16 kAttachMethod = 0x3705;
constexpr qint64 kAttachOle = 6;

bool isOleObject(const PropertyMap &attachment)
{
    const auto it = attachment.constFind(kAttachMethod);
    return it != attachment.cend() && it->toInteger() == kAttachOle;
}

Error bad(const QString &what)
{
    return Error::damaged(kMessage, what);
}

Result<TableContext> subTable(NodeDatabase &db, const NodeLocation &at, quint32 sub)
{
    auto entry = db.subnode(at.bidSub, sub);
    if (!entry)
        return entry.error();
    return TableContext::open(db, entry->bidData, entry->bidSub);
}

}  // namespace

Result<NodeLocation> MessageReader::locate(quint32 nid)
{
    auto node = m_db.node(nid);
    if (!node)
        return node.error();
    return NodeLocation{nid, node->bidData, node->bidSub};
}

Result<QList<TableRow>> MessageReader::attachmentRows(const NodeLocation &message, QList<quint16> *ids)
{
    auto table = subTable(m_db, message, nid::AttachmentTableSub);
    if (!table)
        return table.error();
    const QList<quint16> all = columnIds(*table);
    if (ids)
        *ids = all;
    return table->rows(0, std::min<qint64>(table->rowCount(), kMaxRows), all);
}

Result<PropertyContext> MessageReader::attachmentContext(const NodeLocation &message, int index, quint32 *nid)
{
    auto rows = attachmentRows(message);
    if (!rows)
        return rows.error();
    if (index < 0 || index >= rows->size())
        return Error{Error::Kind::Missing, QStringLiteral("message %1 has no attachment %2").arg(hex(message.nid)).arg(index)};
    const quint32 sub = (*rows)[index].rowId;
    if (nid)
        *nid = sub;
    auto entry = m_db.subnode(message.bidSub, sub);
    if (!entry)
        return entry.error();
    return PropertyContext::open(m_db, entry->bidData, entry->bidSub);
}

Result<NodeLocation> MessageReader::locateEmbedded(const NodeLocation &top, const QList<int> &path)
{
    if (path.size() > kMaxEmbeddedDepth)
        return bad(QStringLiteral("embedded %1 levels deep, more than %2").arg(path.size()).arg(kMaxEmbeddedDepth));
    NodeLocation at = top;
    for (const int index : path) {
        auto pc = attachmentContext(at, index);
        if (!pc)
            return pc.error();
        auto data = pc->read(kAttachData, 64);
        if (!data)
            return data.error();
        // An attached message: its node id and size, the node in the
        // attachment's subnodes.
        if (data->type != ptype::Object || data->bytes.size() < 8)
            return Error{Error::Kind::Missing, QStringLiteral("attachment %1 of message %2 is no message").arg(index).arg(hex(at.nid))};
        const quint32 sub = bytes::get32(data->bytes, 0);
        auto entry = m_db.subnode(pc->heap().bidSub(), sub);
        if (!entry)
            return entry.error();
        at = {sub, entry->bidData, entry->bidSub};
    }
    return at;
}

Result<MessageRecord> MessageReader::read(const NodeLocation &at, qsizetype maxValueBytes)
{
    auto pc = PropertyContext::open(m_db, at.bidData, at.bidSub);
    if (!pc)
        return pc.error();
    auto props = readProperties(*pc, maxValueBytes);
    if (!props)
        return props.error();
    MessageRecord m;
    m.location = at;
    m.properties = std::move(props.value());

    if (auto table = subTable(m_db, at, nid::RecipientTableSub); !table) {
        // No recipient table is no recipients; a damaged one is a failure.
        if (table.error().kind != Error::Kind::Missing)
            m.recipientsFailure = table.error().text;
    } else {
        const QList<quint16> ids = columnIds(*table);
        auto rows = table->rows(0, std::min<qint64>(table->rowCount(), kMaxRows), ids, maxValueBytes);
        if (!rows)
            m.recipientsFailure = rows.error().text;
        else
            for (const TableRow &row : *rows)
                m.recipients.append(rowProperties(row, ids));
    }

    auto rows = attachmentRows(at);
    if (!rows) {
        // No attachment table is no attachments; a damaged one is a failure.
        if (rows.error().kind != Error::Kind::Missing)
            m.attachmentsFailure = rows.error().text;
        return m;
    }
    for (int i = 0; i < rows->size(); ++i) {
        AttachmentRecord a;
        a.index = i;
        a.nid = (*rows)[i].rowId;
        auto entry = m_db.subnode(at.bidSub, a.nid);
        auto apc = entry ? PropertyContext::open(m_db, entry->bidData, entry->bidSub) : Result<PropertyContext>(entry.error());
        if (!apc) {
            a.failure = apc.error().text;
            m.attachments.append(std::move(a));
            continue;
        }
        auto aprops = readProperties(*apc, maxValueBytes, {kAttachData});
        if (!aprops) {
            a.failure = aprops.error().text;
            m.attachments.append(std::move(a));
            continue;
        }
        a.properties = std::move(aprops.value());
        if (const auto data = apc->find(kAttachData)) {
            if (data->type == ptype::Object) {
                auto object = apc->read(*data, 64);
                if (object && object->bytes.size() >= 8) {
                    const quint32 sub = bytes::get32(object->bytes, 0);
                    if (auto se = m_db.subnode(entry->bidSub, sub); !se) {
                        a.failure = se.error().text;
                    } else if (!isOleObject(a.properties)) {
                        a.embedded = NodeLocation{sub, se->bidData, se->bidSub};
                    } else if (auto tree = m_db.dataTree(se->bidData)) {
                        a.dataSize = qint64(tree->total);
                    } else {
                        a.failure = tree.error().text;
                    }
                } else {
                    a.failure = object ? QStringLiteral("message: attached message reference of %1 bytes").arg(object->bytes.size())
                                       : object.error().text;
                }
            } else if (auto tree = apc->valueTree(*data); !tree) {
                a.failure = tree.error().text;
            } else if (tree->has_value()) {
                a.dataSize = qint64((*tree)->total);
            } else if (auto bytes = apc->read(*data, maxValueBytes)) {
                a.dataSize = bytes->bytes.size();
            } else {
                a.failure = bytes.error().text;
            }
        }
        m.attachments.append(std::move(a));
    }
    return m;
}

Result<PropertyMap> MessageReader::readSome(const NodeLocation &at, const QList<quint16> &ids, qsizetype maxBytes)
{
    auto pc = PropertyContext::open(m_db, at.bidData, at.bidSub);
    if (!pc)
        return pc.error();
    PropertyMap out;
    for (const quint16 id : ids) {
        const auto e = pc->find(id);
        if (!e)
            continue;
        // Cut, not refused: a long body gives its first maxBytes.
        if (auto tree = pc->valueTree(*e); tree && tree->has_value()) {
            const quint64 n = std::min<quint64>((*tree)->total, quint64(maxBytes));
            auto part = m_db.read(**tree, 0, qsizetype(n));
            if (!part)
                return part.error();
            out.insert(id, PropertyValue{e->type, std::move(part.value())});
            continue;
        } else if (!tree) {
            return tree.error();
        }
        auto v = pc->read(*e, PropertyContext::kDefaultMaxValue);
        if (!v)
            return v.error();
        PropertyValue value = std::move(v.value());
        value.bytes.truncate(maxBytes);
        out.insert(id, std::move(value));
    }
    return out;
}

Result<AttachmentData> MessageReader::attachmentData(const NodeLocation &message, int index)
{
    auto pc = attachmentContext(message, index);
    if (!pc)
        return pc.error();
    return dataOf(*pc, message, index);
}

Result<AttachmentData> MessageReader::attachmentData(const NodeLocation &message, const AttachmentRecord &attachment)
{
    // The record names its subnode: no second pass over the attachment table.
    auto entry = m_db.subnode(message.bidSub, attachment.nid);
    if (!entry)
        return entry.error();
    auto pc = PropertyContext::open(m_db, entry->bidData, entry->bidSub);
    if (!pc)
        return pc.error();
    return dataOf(*pc, message, attachment.index);
}

Result<AttachmentData> MessageReader::dataOf(const PropertyContext &attachment, const NodeLocation &message, int index)
{
    const auto e = attachment.find(kAttachData);
    if (!e)
        return AttachmentData{};
    if (e->type == ptype::Object) {
        const auto method = attachment.find(kAttachMethod);
        const auto methodValue = method ? attachment.read(*method, 8) : Result<PropertyValue>(Error{Error::Kind::Missing, {}});
        if (!methodValue || methodValue->toInteger() != kAttachOle)
            return Error{Error::Kind::Unsupported, QStringLiteral("attachment %1 of message %2 is a message, not bytes").arg(index).arg(hex(message.nid))};
        auto object = attachment.read(*e, 64);
        if (!object)
            return object.error();
        if (object->bytes.size() < 8)
            return bad(QStringLiteral("attachment %1 of message %2: object reference of %3 bytes").arg(index).arg(hex(message.nid)).arg(object->bytes.size()));
        auto entry = m_db.subnode(attachment.heap().bidSub(), bytes::get32(object->bytes, 0));
        if (!entry)
            return entry.error();
        auto tree = m_db.dataTree(entry->bidData);
        if (!tree)
            return tree.error();
        AttachmentData d;
        d.size = qint64(tree->total);
        d.tree = std::move(tree.value());
        return d;
    }
    auto tree = attachment.valueTree(*e);
    if (!tree)
        return tree.error();
    if (tree->has_value()) {
        AttachmentData d;
        d.size = qint64((*tree)->total);
        d.tree = **tree;
        return d;
    }
    auto v = attachment.read(*e);
    if (!v)
        return v.error();
    AttachmentData d;
    d.size = v->bytes.size();
    d.bytes = v->bytes;
    return d;
}

}  // namespace ostrel::pst
