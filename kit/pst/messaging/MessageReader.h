#pragma once

#include "pst/messaging/PropertyMap.h"

namespace ostrel::pst {

// Where a message's node lies: a node of the node tree, or (an embedded
// message) a subnode of an attachment.
struct NodeLocation {
    quint32 nid = 0;
    quint64 bidData = 0;
    quint64 bidSub = 0;
};

struct AttachmentData {
    std::optional<DataTree> tree;  // the bytes in a subnode, to read by range
    QByteArray bytes;              // or, when small, the bytes themselves
    qint64 size = 0;
};

struct AttachmentRecord {
    int index = 0;
    quint32 nid = 0;            // its subnode
    PropertyMap properties;     // all but the data
    std::optional<qint64> dataSize;
    std::optional<NodeLocation> embedded;  // an attached message
    std::optional<QString> failure;        // why its properties could not be read
};

struct MessageRecord {
    NodeLocation location;
    PropertyMap properties;
    QList<PropertyMap> recipients;
    std::optional<QString> recipientsFailure;
    QList<AttachmentRecord> attachments;
    std::optional<QString> attachmentsFailure;
};

// Messages, their recipient and attachment tables, attachments and
// embedded messages. Values above maxValueBytes are refused (the message
// fails with the reason); attachment bytes are never read here.
class MessageReader {
public:
    static constexpr quint16 kAttachData = 0x3701;
    static constexpr quint16 kAttachSize = 0x0E20;
    static constexpr int kMaxEmbeddedDepth = 16;
    static constexpr int kMaxRows = 100000;  // recipients or attachments of one message

    explicit MessageReader(NodeDatabase &db) : m_db(db) {}

    // A message of the node tree.
    Result<NodeLocation> locate(quint32 nid);
    // Follows attachment positions down through embedded messages.
    Result<NodeLocation> locateEmbedded(const NodeLocation &top, const QList<int> &path);

    Result<MessageRecord> read(const NodeLocation &at, qsizetype maxValueBytes);
    // Only these properties of a message, each cut to maxBytes.
    Result<PropertyMap> readSome(const NodeLocation &at, const QList<quint16> &ids, qsizetype maxBytes);
    Result<AttachmentData> attachmentData(const NodeLocation &message, int index);
    // The same for an attachment read() gave, without reading the table again.
    Result<AttachmentData> attachmentData(const NodeLocation &message, const AttachmentRecord &attachment);

private:
    Result<AttachmentData> dataOf(const PropertyContext &attachment, const NodeLocation &message, int index);
    Result<PropertyContext> attachmentContext(const NodeLocation &message, int index, quint32 *nid = nullptr);
    Result<QList<TableRow>> attachmentRows(const NodeLocation &message, QList<quint16> *ids = nullptr);

    NodeDatabase &m_db;
};

}  // namespace ostrel::pst
