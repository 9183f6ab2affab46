#include "ArchiveBuilder.h"

#include "Ltp.h"
#include "Nid.h"
#include "PropertyBag.h"
#include "pst/format/Lzfu.h"

#include <QCoreApplication>

#include <algorithm>

namespace ostrel::pstwriter {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ostrel::pstwriter::ArchiveBuilder", text);
}

constexpr int kMaxEmbeddingDepth = 16;

// Property ids.
enum : quint16 {
    PidImportance = 0x0017,
    PidMessageClass = 0x001A,
    PidSubject = 0x0037,
    PidClientSubmitTime = 0x0039,
    PidSentRepresentingName = 0x0042,
    PidSentRepresentingAddrType = 0x0064,
    PidSentRepresentingEmail = 0x0065,
    PidConversationTopic = 0x0070,
    PidRecipientType = 0x0C15,
    PidSenderName = 0x0C1A,
    PidSenderAddrType = 0x0C1E,
    PidSenderEmail = 0x0C1F,
    PidDisplayBcc = 0x0E02,
    PidDisplayCc = 0x0E03,
    PidDisplayTo = 0x0E04,
    PidDeliveryTime = 0x0E06,
    PidMessageFlags = 0x0E07,
    PidMessageSize = 0x0E08,
    PidResponsibility = 0x0E0F,
    PidMessageStatus = 0x0E17,
    PidHasAttachments = 0x0E1B,
    PidRtfInSync = 0x0E1F,
    PidAttachSize = 0x0E20,
    PidRecordKey = 0x0FF9,
    PidObjectType = 0x0FFE,
    PidBody = 0x1000,
    PidRtfCompressed = 0x1009,
    PidHtml = 0x1013,
    PidInternetMessageId = 0x1035,
    PidDisplayName = 0x3001,
    PidAddressType = 0x3002,
    PidEmailAddress = 0x3003,
    PidCreationTime = 0x3007,
    PidLastModificationTime = 0x3008,
    PidValidFolderMask = 0x35DF,
    PidIpmSubtreeEntryId = 0x35E0,
    PidIpmWastebasketEntryId = 0x35E3,
    PidContentCount = 0x3602,
    PidContentUnreadCount = 0x3603,
    PidSubfolders = 0x360A,
    PidContainerClass = 0x3613,
    PidAttachData = 0x3701,
    PidAttachExtension = 0x3703,
    PidAttachFilename = 0x3704,
    PidAttachMethod = 0x3705,
    PidAttachLongFilename = 0x3707,
    PidRenderingPosition = 0x370B,
    PidAttachMimeTag = 0x370E,
    PidAttachContentId = 0x3712,
    PidDisplayType = 0x3900,
    PidInternetCodepage = 0x3FDE,
    PidMessageCodepage = 0x3FFD,
    PidRecipientDisplayName = 0x5FF6,
    PidPstPassword = 0x67FF,
    PidAttachmentHidden = 0x7FFE,
};

const QList<quint32> &hierarchyColumns()
{
    static const QList<quint32> columns{tag(PidDisplayName, PtUnicode), tag(PidContentCount, PtInt32),
                                        tag(PidContentUnreadCount, PtInt32), tag(PidSubfolders, PtBool),
                                        tag(PidContainerClass, PtUnicode)};
    return columns;
}

const QList<quint32> &contentsColumns()
{
    static const QList<quint32> columns{
        tag(PidImportance, PtInt32),       tag(PidMessageClass, PtUnicode),
        tag(PidSubject, PtUnicode),        tag(PidClientSubmitTime, PtTime),
        tag(PidSentRepresentingName, PtUnicode), tag(PidConversationTopic, PtUnicode),
        tag(PidDisplayCc, PtUnicode),      tag(PidDisplayTo, PtUnicode),
        tag(PidDeliveryTime, PtTime),      tag(PidMessageFlags, PtInt32),
        tag(PidMessageSize, PtInt32),      tag(PidMessageStatus, PtInt32),
        tag(PidLastModificationTime, PtTime)};
    return columns;
}

const QList<quint32> &assocContentsColumns()
{
    static const QList<quint32> columns{tag(PidMessageClass, PtUnicode), tag(PidMessageFlags, PtInt32),
                                        tag(PidMessageStatus, PtInt32), tag(PidDisplayName, PtUnicode),
                                        tag(PidLastModificationTime, PtTime)};
    return columns;
}

const QList<quint32> &recipientColumns()
{
    static const QList<quint32> columns{
        tag(PidRecipientType, PtInt32),    tag(PidResponsibility, PtBool),
        tag(PidObjectType, PtInt32),       tag(PidDisplayName, PtUnicode),
        tag(PidAddressType, PtUnicode),    tag(PidEmailAddress, PtUnicode),
        tag(PidDisplayType, PtInt32),      tag(PidRecipientDisplayName, PtUnicode)};
    return columns;
}

const QList<quint32> &attachmentColumns()
{
    static const QList<quint32> columns{tag(PidAttachSize, PtInt32), tag(PidAttachFilename, PtUnicode),
                                        tag(PidAttachMethod, PtInt32), tag(PidRenderingPosition, PtInt32)};
    return columns;
}

quint64 fileTime(const QDateTime &t)
{
    return quint64(t.toMSecsSinceEpoch() + 11644473600000LL) * 10000ULL;
}

quint64 splitmix(quint64 &state)
{
    quint64 z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

QString joinNames(const QList<Recipient> &recipients, RecipientType type)
{
    QStringList names;
    for (const Recipient &r : recipients) {
        if (r.type != type)
            continue;
        if (r.displayName)
            names.append(*r.displayName);
        else if (r.emailAddress)
            names.append(*r.emailAddress);
    }
    return names.join(QStringLiteral("; "));
}

quint32 approximateSize(const Message &m)
{
    quint64 size = 512;
    if (m.body)
        size += quint64(m.body->size()) * 2;
    else if (m.body8bit)
        size += quint64(m.body8bit->size());
    if (m.html)
        size += quint64(m.html->size());
    if (m.rtf)
        size += quint64(m.rtf->size());
    for (const Attachment &a : m.attachments)
        size += quint64(a.data.size()) + (a.embedded ? approximateSize(*a.embedded) : 0) + 256;
    return quint32(std::min<quint64>(size, 0x7FFFFFFF));
}

PropertyBag messageProperties(const Message &m)
{
    PropertyBag p;
    p.setString(PidMessageClass, m.messageClass);
    if (m.subject) {
        p.setString(PidSubject, *m.subject);
        p.setString(PidConversationTopic, *m.subject);
    }
    if (m.importance)
        p.setInt32(PidImportance, quint32(*m.importance));
    if (m.senderName) {
        p.setString(PidSenderName, *m.senderName);
        p.setString(PidSentRepresentingName, *m.senderName);
    }
    if (m.senderEmail) {
        p.setString(PidSenderEmail, *m.senderEmail);
        p.setString(PidSenderAddrType, QStringLiteral("SMTP"));
        p.setString(PidSentRepresentingEmail, *m.senderEmail);
        p.setString(PidSentRepresentingAddrType, QStringLiteral("SMTP"));
    }
    if (m.internetMessageId)
        p.setString(PidInternetMessageId, *m.internetMessageId);
    if (m.deliveryTime) {
        const quint64 t = fileTime(*m.deliveryTime);
        p.setTime(PidDeliveryTime, t);
        p.setTime(PidClientSubmitTime, t);
        p.setTime(PidCreationTime, t);
        p.setTime(PidLastModificationTime, t);
    }
    p.setInt32(PidMessageFlags, m.effectiveFlags());
    p.setInt32(PidMessageSize, approximateSize(m));
    p.setInt32(PidMessageStatus, 0);
    p.setBool(PidHasAttachments, !m.attachments.isEmpty());
    p.setString(PidDisplayTo, joinNames(m.recipients, RecipientType::To));
    p.setString(PidDisplayCc, joinNames(m.recipients, RecipientType::Cc));
    p.setString(PidDisplayBcc, joinNames(m.recipients, RecipientType::Bcc));
    if (m.body) {
        p.setString(PidBody, *m.body);
    } else if (m.body8bit) {
        p.setString8(PidBody, *m.body8bit);
        p.setInt32(PidMessageCodepage, m.bodyCodepage);
    }
    if (m.html) {
        p.setBinary(PidHtml, *m.html);
        p.setInt32(PidInternetCodepage, m.htmlCodepage.value_or(65001));
    } else if (m.htmlCodepage) {
        p.setInt32(PidInternetCodepage, *m.htmlCodepage);
    } else if (!m.body && m.body8bit) {
        p.setInt32(PidInternetCodepage, m.bodyCodepage);
    }
    if (m.rtf) {
        p.setBinary(PidRtfCompressed, pst::compressRtf(*m.rtf));
        p.setBool(PidRtfInSync, true);
    }
    return p;
}

// The row a message contributes to its folder's contents table.
PropertyBag contentsRow(const PropertyBag &props)
{
    PropertyBag row;
    for (quint32 column : contentsColumns()) {
        if (const Property *p = props.find(quint16(column >> 16)); p && p->type == quint16(column & 0xFFFF))
            row.set(*p);
    }
    return row;
}

QByteArray entryId(const QByteArray &recordKey, quint32 nid)
{
    QByteArray id(4, '\0');
    id += recordKey;
    QByteArray n(4, '\0');
    for (int i = 0; i < 4; ++i)
        n[i] = char((nid >> (8 * i)) & 0xFF);
    return id + n;
}

QString extensionOf(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 ? name.mid(dot) : QString();
}

}  // namespace

struct ArchiveBuilder::Folder {
    FolderId nid = 0;
    FolderId parent = 0;
    QString name;
    FolderOptions options;
    std::vector<FolderId> children;
    TableBuilder contents{contentsColumns()};
    quint32 messages = 0;
    quint32 unread = 0;
};

ArchiveBuilder::ArchiveBuilder(ArchiveOptions options) : m_options(std::move(options)), m_ndb(m_options.encoding)
{
    auto root = std::make_unique<Folder>();
    root->nid = nid::RootFolder;
    root->parent = nid::RootFolder;  // the root is its own parent
    root->options.containerClass.clear();
    auto ipm = std::make_unique<Folder>();
    ipm->nid = nid::make(0x401, nid::NormalFolder);
    ipm->parent = nid::RootFolder;
    ipm->name = m_options.ipmSubtreeName;
    ipm->options.containerClass.clear();
    root->children.push_back(ipm->nid);
    m_folders.push_back(std::move(root));
    m_folders.push_back(std::move(ipm));
}

ArchiveBuilder::~ArchiveBuilder()
{
    if (m_open && !m_finished)
        m_ndb.abandon();
}

bool ArchiveBuilder::open(const QString &path)
{
    m_open = m_ndb.open(path);
    return m_open;
}

FolderId ArchiveBuilder::rootFolder() const
{
    return nid::RootFolder;
}

FolderId ArchiveBuilder::ipmSubtree() const
{
    return nid::make(0x401, nid::NormalFolder);
}

bool ArchiveBuilder::failed() const
{
    return !m_error.isEmpty() || m_ndb.failed();
}

QString ArchiveBuilder::errorString() const
{
    return !m_error.isEmpty() ? m_error : m_ndb.errorString();
}

ArchiveBuilder::Folder *ArchiveBuilder::findFolder(FolderId id)
{
    // Folder node ids are handed out in order, so the list is sorted by id.
    const auto it = std::lower_bound(m_folders.begin(), m_folders.end(), id,
                                     [](const std::unique_ptr<Folder> &f, FolderId key) { return f->nid < key; });
    return it != m_folders.end() && (*it)->nid == id ? it->get() : nullptr;
}

FolderId ArchiveBuilder::addFolder(FolderId parent, const QString &name, const FolderOptions &options)
{
    Folder *p = findFolder(parent);
    if (!p) {
        if (m_error.isEmpty())
            m_error = tr("No folder %1 to add \"%2\" to").arg(parent).arg(name);
        return 0;
    }
    if (m_nextFolderIndex >= (1u << 27)) {
        if (m_error.isEmpty())
            m_error = tr("Too many folders");
        return 0;
    }
    auto f = std::make_unique<Folder>();
    f->nid = nid::make(m_nextFolderIndex++, nid::NormalFolder);
    f->parent = parent;
    f->name = name;
    f->options = options;
    p->children.push_back(f->nid);
    const FolderId id = f->nid;
    m_folders.push_back(std::move(f));
    return id;
}

NodeData ArchiveBuilder::messageNode(const Message &message, const PropertyBag &props, int depth)
{
    nid::SubnodeIds ids;
    NodeData node = buildPropertyContext(props, ids);

    TableBuilder recipients(recipientColumns());
    quint32 row = 0;
    for (const Recipient &r : message.recipients) {
        PropertyBag cells;
        if (r.type)
            cells.setInt32(PidRecipientType, quint32(*r.type));
        cells.setBool(PidResponsibility, true);
        cells.setInt32(PidObjectType, 6);  // a mail user
        cells.setInt32(PidDisplayType, 0);
        if (r.displayName)
            cells.setString(PidDisplayName, *r.displayName);
        if (r.emailAddress)
            cells.setString(PidEmailAddress, *r.emailAddress);
        if (r.recipientDisplayName)
            cells.setString(PidRecipientDisplayName, *r.recipientDisplayName);
        if (r.addressType)
            cells.setString(PidAddressType, *r.addressType);
        else if (r.emailAddress)
            cells.setString(PidAddressType, QStringLiteral("SMTP"));
        recipients.addRow(row++, std::move(cells));
    }
    node.subnodes.push_back({nid::RecipientTableSub, recipients.build(ids)});

    if (message.attachments.isEmpty())
        return node;
    TableBuilder table(attachmentColumns());
    for (const Attachment &a : message.attachments) {
        const quint32 attachmentNid = ids.take(nid::Attachment);
        nid::SubnodeIds attachmentIds;
        PropertyBag p;
        p.setInt32(PidObjectType, 7);  // an attachment
        p.setInt32(PidRenderingPosition, 0xFFFFFFFFu);
        if (a.longFileName) {
            p.setString(PidAttachLongFilename, *a.longFileName);
            p.setString(PidAttachExtension, extensionOf(*a.longFileName));
        }
        if (a.fileName)
            p.setString(PidAttachFilename, *a.fileName);
        if (a.displayName)
            p.setString(PidDisplayName, *a.displayName);
        if (a.mimeTag)
            p.setString(PidAttachMimeTag, *a.mimeTag);
        if (a.contentId)
            p.setString(PidAttachContentId, *a.contentId);
        if (a.hidden)
            p.setBool(PidAttachmentHidden, *a.hidden);

        std::vector<Subnode> extra;
        quint32 size = 0;
        if (a.embedded && depth < kMaxEmbeddingDepth) {
            const quint32 embeddedNid = nid::make(m_nextMessageIndex++, nid::NormalMessage);
            size = approximateSize(*a.embedded);
            p.setInt32(PidAttachMethod, 5);  // an embedded message
            p.setObject(PidAttachData, embeddedNid, size);
            extra.push_back({embeddedNid, messageNode(*a.embedded, messageProperties(*a.embedded), depth + 1)});
        } else {
            size = quint32(std::min<qsizetype>(a.data.size(), 0x7FFFFFFF));
            p.setInt32(PidAttachMethod, 1);  // by value
            p.setBinary(PidAttachData, a.data);
        }
        p.setInt32(PidAttachSize, size);

        NodeData attachment = buildPropertyContext(p, attachmentIds);
        for (Subnode &s : extra)
            attachment.subnodes.push_back(std::move(s));
        node.subnodes.push_back({attachmentNid, std::move(attachment)});

        PropertyBag cells;
        for (quint32 column : attachmentColumns()) {
            if (const Property *v = p.find(quint16(column >> 16)); v && v->type == quint16(column & 0xFFFF))
                cells.set(*v);
        }
        table.addRow(attachmentNid, std::move(cells));
    }
    node.subnodes.push_back({nid::AttachmentTableSub, table.build(ids)});
    return node;
}

MessageId ArchiveBuilder::addMessage(FolderId folderId, const Message &message)
{
    if (!m_open || m_finished) {
        if (m_error.isEmpty())
            m_error = tr("The archive is not open for writing");
        return 0;
    }
    Folder *folder = findFolder(folderId);
    if (!folder) {
        if (m_error.isEmpty())
            m_error = tr("No folder %1 to add a message to").arg(folderId);
        return 0;
    }
    if (m_nextMessageIndex >= (1u << 27)) {
        if (m_error.isEmpty())
            m_error = tr("Too many messages");
        return 0;
    }
    const MessageId id = nid::make(m_nextMessageIndex++, nid::NormalMessage);
    const PropertyBag props = messageProperties(message);
    m_ndb.addNode(id, m_ndb.writeNode(messageNode(message, props, 0)), folder->nid);
    folder->contents.addRow(id, contentsRow(props));
    ++folder->messages;
    if (!(message.effectiveFlags() & kFlagRead))
        ++folder->unread;
    ++m_messageCount;
    return id;
}

void ArchiveBuilder::writeFolder(const Folder &f)
{
    auto summary = [this](const Folder &folder) {
        PropertyBag p;
        if (!folder.options.nameAbsent)
            p.setString(PidDisplayName, folder.name);
        p.setInt32(PidContentCount, folder.options.contentCount.value_or(folder.messages));
        p.setInt32(PidContentUnreadCount, folder.options.unreadCount.value_or(folder.unread));
        p.setBool(PidSubfolders, !folder.children.empty());
        if (!folder.options.containerClass.isEmpty())
            p.setString(PidContainerClass, folder.options.containerClass);
        return p;
    };

    nid::SubnodeIds ids;
    m_ndb.addNode(f.nid, m_ndb.writeNode(buildPropertyContext(summary(f), ids)), f.parent);

    TableBuilder hierarchy(hierarchyColumns());
    for (FolderId child : f.children) {
        if (const Folder *c = findFolder(child))
            hierarchy.addRow(child, summary(*c));
    }
    nid::SubnodeIds hierarchyIds;
    m_ndb.addNode(nid::withType(f.nid, nid::HierarchyTable), m_ndb.writeNode(hierarchy.build(hierarchyIds)), 0);
    nid::SubnodeIds contentsIds;
    m_ndb.addNode(nid::withType(f.nid, nid::ContentsTable), m_ndb.writeNode(f.contents.build(contentsIds)), 0);
    nid::SubnodeIds assocIds;
    m_ndb.addNode(nid::withType(f.nid, nid::AssocContentsTable),
                  m_ndb.writeNode(TableBuilder(assocContentsColumns()).build(assocIds)), 0);
}

void ArchiveBuilder::writeStore()
{
    quint64 state = m_options.seed;
    QByteArray recordKey(16, '\0');
    for (int i = 0; i < 16; i += 8) {
        const quint64 v = splitmix(state);
        for (int k = 0; k < 8; ++k)
            recordKey[i + k] = char((v >> (8 * k)) & 0xFF);
    }
    PropertyBag store;
    store.setBinary(PidRecordKey, recordKey);
    store.setString(PidDisplayName, m_options.storeName);
    quint32 mask = 0x01;  // the IPM subtree is valid
    store.setBinary(PidIpmSubtreeEntryId, entryId(recordKey, ipmSubtree()));
    for (const auto &f : m_folders) {
        if (f->options.wastebasket) {
            store.setBinary(PidIpmWastebasketEntryId, entryId(recordKey, f->nid));
            mask |= 0x08;
            break;
        }
    }
    store.setInt32(PidValidFolderMask, mask);
    store.setInt32(PidPstPassword, 0);
    nid::SubnodeIds ids;
    m_ndb.addNode(nid::MessageStore, m_ndb.writeNode(buildPropertyContext(store, ids)), 0);

    // The name-to-id map with one numeric named property (PidLidReminderSet
    // in PSETID_Common), mapped to 0x8000: readers expect entries.
    static const QByteArray commonGuid = QByteArray::fromHex("0820060000000000c000000000000046");
    constexpr quint32 namedId = 0x8503;
    constexpr quint16 guidField = 3 << 1;  // the first GUID of the stream, numeric name
    QByteArray entry(8, '\0');
    for (int i = 0; i < 4; ++i)
        entry[i] = char((namedId >> (8 * i)) & 0xFF);
    entry[4] = char(guidField & 0xFF);
    entry[5] = char(guidField >> 8);
    PropertyBag names;
    names.setInt32(0x0001, 251);  // bucket count
    names.setBinary(0x0002, commonGuid);
    names.setBinary(0x0003, entry);
    names.setBinary(0x0004, {});
    names.setBinary(quint16(0x1000 + (namedId ^ guidField) % 251), entry);
    m_ndb.addNode(nid::NameToIdMap, m_ndb.writeNode(buildPropertyContext(names, ids)), 0);

    // Templates Outlook copies new tables from.
    const std::pair<quint32, const QList<quint32> *> templates[] = {
        {nid::HierarchyTableTemplate, &hierarchyColumns()},
        {nid::ContentsTableTemplate, &contentsColumns()},
        {nid::AssocContentsTableTemplate, &assocContentsColumns()},
        {nid::AttachmentTableSub, &attachmentColumns()},
        {nid::RecipientTableSub, &recipientColumns()},
    };
    for (const auto &[templateNid, columns] : templates) {
        nid::SubnodeIds templateIds;
        m_ndb.addNode(templateNid, m_ndb.writeNode(TableBuilder(*columns).build(templateIds)), 0);
    }
}

bool ArchiveBuilder::finish()
{
    if (!m_open) {
        if (m_error.isEmpty())
            m_error = tr("The archive was never opened");
        return false;
    }
    if (m_finished)
        return !failed();
    if (failed()) {
        m_ndb.abandon();
        m_finished = true;
        return false;
    }
    for (const auto &f : m_folders)
        writeFolder(*f);
    writeStore();

    HeaderFields fields;
    fields.nextNidIndex.fill(0x400);
    fields.nextNidIndex[nid::NormalFolder] = m_nextFolderIndex;
    fields.nextNidIndex[0x03] = 0x4000;  // search folders
    fields.nextNidIndex[nid::NormalMessage] = m_nextMessageIndex;
    fields.nextNidIndex[0x08] = 0x8000;  // associated messages
    fields.nextNidIndex[nid::HierarchyTable] = m_nextFolderIndex;
    fields.nextNidIndex[nid::ContentsTable] = m_nextFolderIndex;
    fields.nextNidIndex[nid::AssocContentsTable] = m_nextFolderIndex;
    m_finished = true;
    return m_ndb.finish(fields);
}

NdbLayout ArchiveBuilder::layout() const
{
    return m_ndb.layout();
}

std::optional<quint64> ArchiveBuilder::nodeDataOffset(quint32 nid) const
{
    const auto node = m_ndb.node(nid);
    if (!node || node->bidData == 0)
        return std::nullopt;
    const auto block = m_ndb.block(node->bidData);
    if (!block)
        return std::nullopt;
    return block->ib;
}

}  // namespace ostrel::pstwriter
