#include "ArchiveBuilder.h"

#include "Nid.h"
#include "PropertyBag.h"
#include "PropertyIds.h"
#include "pst/format/Lzfu.h"

#include <QCoreApplication>

#include <algorithm>
#include <set>

namespace ostrel::pstwriter {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ostrel::pstwriter::ArchiveBuilder", text);
}

constexpr int kMaxEmbeddingDepth = 16;
constexpr int kMaxColumns = 255;

quint64 splitmix(quint64 &state)
{
    quint64 z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

QByteArray bytesFrom(quint64 seed, int size)
{
    QByteArray b(size, '\0');
    quint64 state = seed;
    for (int i = 0; i < size; i += 8) {
        const quint64 v = splitmix(state);
        for (int k = 0; k < 8 && i + k < size; ++k)
            b[i + k] = char((v >> (8 * k)) & 0xFF);
    }
    return b;
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

// Copies the properties a table's columns name.
PropertyBag rowCells(const PropertyBag &props, const QList<quint32> &columns)
{
    PropertyBag row;
    for (quint32 column : columns) {
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

// An address's search key: the type and the address in capitals, ending in NUL.
QByteArray searchKey(const QString &type, const QString &address)
{
    return (type + QLatin1Char(':') + address).toUpper().toLatin1() + '\0';
}

}  // namespace

ArchiveOptions ArchiveOptions::legacy()
{
    ArchiveOptions o;
    o.encoding = Encoding::None;
    o.tables = TableWidth::Narrow;
    o.heapOrder = HeapOrder::HeaderLast;
    o.folderIds = FolderIds::Ordered;
    return o;
}

struct ArchiveBuilder::Folder {
    FolderId nid = 0;
    FolderId parent = 0;
    QString name;
    FolderOptions options;
    bool search = false;
    std::vector<FolderId> children;
    TableBuilder contents;
    quint32 messages = 0;
    quint32 unread = 0;

    Folder(QList<quint32> columns, HeapOrder order) : contents(std::move(columns), order) {}
};

ArchiveBuilder::ArchiveBuilder(ArchiveOptions options) : m_options(std::move(options)), m_ndb(m_options.encoding)
{
    // The named columns of Outlook's contents tables come first in the map;
    // the narrow layout's map holds one entry (PidLidReminderSet) so that it
    // is never empty.
    if (m_options.tables == TableWidth::Narrow)
        m_names.idFor(PropertyName::numbered(propertySet::common(), 0x8503));
    m_contentsColumns = contentsColumns(m_options.tables, m_names) + m_options.extraContentsColumns;

    auto add = [this](std::unique_ptr<Folder> f) {
        m_folderIndex[f->nid] = m_folders.size();
        m_folders.push_back(std::move(f));
    };
    auto root = std::make_unique<Folder>(m_contentsColumns, m_options.heapOrder);
    root->nid = nid::RootFolder;
    root->parent = nid::RootFolder;  // the root is its own parent
    root->options.containerClass.clear();
    auto ipm = std::make_unique<Folder>(m_contentsColumns, m_options.heapOrder);
    ipm->nid = nid::make(0x401, nid::NormalFolder);
    ipm->parent = nid::RootFolder;
    ipm->name = m_options.ipmSubtreeName;
    ipm->options.containerClass.clear();
    root->children.push_back(ipm->nid);
    add(std::move(root));
    add(std::move(ipm));

    if (m_options.internalFolders) {
        auto withClass = [](const char *containerClass) {
            FolderOptions o;
            o.containerClass = QString::fromLatin1(containerClass);
            return o;
        };
        const FolderId r = rootFolder();
        m_searchRoot = makeFolder(r, QStringLiteral("Search Root"), withClass(""), false, false)->nid;
        makeFolder(r, QStringLiteral("SPAM Search Folder 2"), withClass(""), true, false);
        makeFolder(r, QStringLiteral("To-Do Search"), withClass("IPF.Task"), true, false);
        makeFolder(r, QStringLiteral("Reminders"), withClass("Outlook.Reminder"), true, false);
        makeFolder(r, QStringLiteral("Tracked Mail Processing"), withClass("IPF.Note"), true, false);
        m_commonViews = makeFolder(r, QStringLiteral("IPM_COMMON_VIEWS"), withClass(""), false, false)->nid;
        makeFolder(r, QStringLiteral("ItemProcSearch"), withClass("Outlook.ItemProcessor"), true, false);
    }
    m_scrambleBase = m_nextFolderIndex;
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

void ArchiveBuilder::fail(const QString &message)
{
    if (m_error.isEmpty())
        m_error = message;
}

ArchiveBuilder::Folder *ArchiveBuilder::findFolder(FolderId id)
{
    const auto it = m_folderIndex.find(id);
    return it != m_folderIndex.end() ? m_folders[it->second].get() : nullptr;
}

quint16 ArchiveBuilder::namedPropertyId(const PropertyName &name)
{
    const quint16 id = m_names.idFor(name);
    if (!id)
        fail(tr("The name-to-id map is full"));
    return id;
}

ArchiveBuilder::Folder *ArchiveBuilder::makeFolder(FolderId parent, const QString &name, const FolderOptions &options,
                                                   bool search, bool scramble)
{
    Folder *p = findFolder(parent);
    if (!p || p->search) {
        fail(p ? tr("\"%1\" cannot go under a search folder").arg(name)
               : tr("No folder %1 to add \"%2\" to").arg(parent).arg(name));
        return nullptr;
    }
    quint32 index = 0;
    if (search) {
        index = m_nextSearchIndex++;
    } else if (scramble && m_options.folderIds == FolderIds::Scrambled) {
        // Within every four folders added, node ids run backwards.
        const quint32 k = m_scrambled++;
        index = m_scrambleBase + (k & ~3u) + (3 - (k & 3u));
    } else {
        index = scramble ? m_scrambleBase + m_scrambled++ : m_nextFolderIndex++;
    }
    if (index >= (1u << 26)) {
        fail(tr("Too many folders"));
        return nullptr;
    }
    if (!search)
        m_maxFolderIndex = std::max(m_maxFolderIndex, index);
    const QList<quint32> columns = search ? searchContentsColumns(m_options.tables) : m_contentsColumns;
    auto f = std::make_unique<Folder>(columns, m_options.heapOrder);
    f->nid = nid::make(index, search ? nid::SearchFolder : nid::NormalFolder);
    f->parent = parent;
    f->name = name;
    f->options = options;
    f->search = search;
    f->contents.setReversed(options.reverseContents);
    p->children.push_back(f->nid);
    Folder *made = f.get();
    m_folderIndex[f->nid] = m_folders.size();
    m_folders.push_back(std::move(f));
    return made;
}

FolderId ArchiveBuilder::addFolder(FolderId parent, const QString &name, const FolderOptions &options)
{
    const Folder *f = makeFolder(parent, name, options, false, true);
    return f ? f->nid : 0;
}

FolderId ArchiveBuilder::addSearchFolder(FolderId parent, const QString &name, const FolderOptions &options)
{
    const Folder *f = makeFolder(parent, name, options, true, false);
    return f ? f->nid : 0;
}

void ArchiveBuilder::applyExtra(PropertyBag &bag, const QList<ExtraProperty> &extra)
{
    for (const ExtraProperty &e : extra) {
        if (e.type == 0) {
            fail(tr("A property value does not fit its type"));
            continue;
        }
        quint16 id = e.key.id;
        if (e.key.named)
            id = namedPropertyId(*e.key.named);
        else if (id == 0 || id >= 0x8000)
            fail(tr("Property id 0x%1 is not a tagged property's").arg(id, 4, 16, QLatin1Char('0')));
        if (id)
            bag.set({id, e.type, e.value});
    }
}

PropertyBag ArchiveBuilder::messageProperties(const Message &m, quint32 nid)
{
    const bool outlook = m_options.tables == TableWidth::Outlook;
    PropertyBag p;
    p.setString(PidMessageClass, m.messageClass);
    if (m.subject) {
        p.setString(PidSubject, *m.subject);
        p.setString(PidConversationTopic, *m.subject);
    }
    if (m.importance)
        p.setInt32(PidImportance, quint32(*m.importance));

    // The sender, and whom it was sent for (the sender unless given).
    auto person = [&p](quint16 name, quint16 email, quint16 type, quint16 smtp, quint16 key,
                       const std::optional<QString> &n, const std::optional<QString> &e,
                       const std::optional<QString> &t, const std::optional<QString> &s) {
        if (n)
            p.setString(name, *n);
        if (e)
            p.setString(email, *e);
        const std::optional<QString> addressType = t ? t : e ? std::optional<QString>(QStringLiteral("SMTP")) : t;
        if (addressType)
            p.setString(type, *addressType);
        if (s)
            p.setString(smtp, *s);
        if (e && addressType)
            p.setBinary(key, searchKey(*addressType, *e));
    };
    person(PidSenderName, PidSenderEmailAddress, PidSenderAddressType, PidSenderSmtpAddress, PidSenderSearchKey,
           m.senderName, m.senderEmail, m.senderAddressType, m.senderSmtpAddress);
    const bool ownRepresenting = m.sentRepresentingName || m.sentRepresentingEmail || m.sentRepresentingAddressType
                                 || m.sentRepresentingSmtpAddress;
    if (ownRepresenting)
        person(PidSentRepresentingName, PidSentRepresentingEmailAddress, PidSentRepresentingAddressType,
               PidSentRepresentingSmtpAddress, PidSentRepresentingSearchKey, m.sentRepresentingName,
               m.sentRepresentingEmail, m.sentRepresentingAddressType, m.sentRepresentingSmtpAddress);
    else
        person(PidSentRepresentingName, PidSentRepresentingEmailAddress, PidSentRepresentingAddressType,
               PidSentRepresentingSmtpAddress, PidSentRepresentingSearchKey, m.senderName, m.senderEmail,
               m.senderAddressType, m.senderSmtpAddress);

    if (m.internetMessageId)
        p.setString(PidInternetMessageId, *m.internetMessageId);
    if (m.deliveryTime)
        p.setTime(PidMessageDeliveryTime, fileTime(*m.deliveryTime));
    auto time = [&](quint16 id, const std::optional<QDateTime> &own) {
        if (own)
            p.setTime(id, fileTime(*own));
        else if (m.deliveryTime)
            p.setTime(id, fileTime(*m.deliveryTime));
    };
    time(PidClientSubmitTime, m.submitTime);
    time(PidCreationTime, m.creationTime);
    time(PidLastModificationTime, m.modificationTime);
    p.setInt32(PidMessageFlags, m.effectiveFlags());
    p.setInt32(PidMessageSize, approximateSize(m));
    p.setInt32(PidMessageStatus, 0);
    p.setBool(PidHasAttachments, !m.attachments.isEmpty());
    p.setString(PidDisplayTo, joinNames(m.recipients, RecipientType::To));
    p.setString(PidDisplayCc, joinNames(m.recipients, RecipientType::Cc));
    p.setString(PidDisplayBcc, joinNames(m.recipients, RecipientType::Bcc));
    if (outlook) {
        // What every Outlook message carries and its list columns show.
        p.setInt32(PidSensitivity, 0);
        p.setBool(PidMessageToMe, false);
        p.setBool(PidMessageCcMe, false);
        p.setBinary(PidSearchKey, bytesFrom(m_options.seed ^ (quint64(nid) << 20), 16));
        QByteArray index(1, '\x01');
        const quint64 t = m.deliveryTime ? fileTime(*m.deliveryTime) : 0;
        for (int i = 7; i >= 3; --i)
            index.append(char((t >> (8 * i)) & 0xFF));
        index += bytesFrom(m_options.seed ^ (quint64(nid) << 24) ^ 0xC0, 16);
        p.setBinary(PidConversationIndex, index);
    }
    if (m.body) {
        p.setString(PidBody, *m.body);
    } else if (m.body8bit) {
        p.setString8(PidBody, *m.body8bit);
        p.setInt32(PidMessageCodepage, m.bodyCodepage);
    }
    if (m.messageCodepage)
        p.setInt32(PidMessageCodepage, *m.messageCodepage);
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
    if (m.transportHeaders)
        p.setString(PidTransportMessageHeaders, *m.transportHeaders);
    for (quint16 id : m.omit)
        p.remove(id);
    applyExtra(p, m.properties);
    return p;
}

NodeData ArchiveBuilder::messageNode(const Message &message, const PropertyBag &props, int depth)
{
    const bool outlook = m_options.tables == TableWidth::Outlook;
    nid::SubnodeIds ids;
    NodeData node = buildPropertyContext(props, ids, m_options.heapOrder);

    // Recipients live in their table only: it gets a column for every
    // property a recipient carries.
    std::vector<PropertyBag> rows;
    QList<quint32> columns = recipientColumns(m_options.tables);
    std::set<quint32> seen(columns.begin(), columns.end());
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
        const std::optional<QString> type = r.addressType ? r.addressType
                                            : r.emailAddress ? std::optional<QString>(QStringLiteral("SMTP"))
                                                             : std::nullopt;
        if (type)
            cells.setString(PidAddressType, *type);
        if (r.smtpAddress)
            cells.setString(PidSmtpAddress, *r.smtpAddress);
        if (outlook) {
            cells.setBool(PidSendRichInfo, false);
            if (type && r.emailAddress)
                cells.setBinary(PidSearchKey, searchKey(*type, *r.emailAddress));
        }
        applyExtra(cells, r.properties);
        for (const Property &p : cells.properties()) {
            if (seen.insert(tag(p.id, p.type)).second)
                columns.append(tag(p.id, p.type));
        }
        rows.push_back(std::move(cells));
    }
    if (columns.size() > kMaxColumns - 2)
        fail(tr("A recipient table needs %1 columns, more than a table can have").arg(columns.size()));
    TableBuilder recipients(columns, m_options.heapOrder);
    for (size_t i = 0; i < rows.size(); ++i)
        recipients.addRow(quint32(i), rows[i]);
    node.subnodes.push_back({nid::RecipientTableSub, recipients.build(ids)});

    if (message.attachments.isEmpty())
        return node;
    const QList<quint32> tableColumns = attachmentColumns(m_options.tables);
    TableBuilder table(tableColumns, m_options.heapOrder);
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
        const AttachMethod method = a.method.value_or(a.embedded ? AttachMethod::Embedded : AttachMethod::ByValue);
        if (method == AttachMethod::Embedded && a.embedded && depth < kMaxEmbeddingDepth) {
            const quint32 embeddedNid = nid::make(m_nextMessageIndex++, nid::NormalMessage);
            size = approximateSize(*a.embedded);
            p.setObject(PidAttachDataObject, embeddedNid, size);
            extra.push_back({embeddedNid, messageNode(*a.embedded, messageProperties(*a.embedded, embeddedNid),
                                                      depth + 1)});
        } else if (method == AttachMethod::Ole) {
            // The object's storage in a subnode of the attachment.
            const quint32 objectNid = attachmentIds.take(nid::Ltp);
            size = quint32(std::min<qsizetype>(a.data.size(), 0x7FFFFFFF));
            p.setObject(PidAttachDataObject, objectNid, size);
            extra.push_back({objectNid, {NodeData::split(a.data), {}}});
        } else {
            size = quint32(std::min<qsizetype>(a.data.size(), 0x7FFFFFFF));
            p.setBinary(PidAttachDataObject, a.data);
        }
        p.setInt32(PidAttachMethod, quint32(method));
        p.setInt32(PidAttachSize, size);
        applyExtra(p, a.properties);

        NodeData attachment = buildPropertyContext(p, attachmentIds, m_options.heapOrder);
        for (Subnode &s : extra)
            attachment.subnodes.push_back(std::move(s));
        node.subnodes.push_back({attachmentNid, std::move(attachment)});
        table.addRow(attachmentNid, rowCells(p, tableColumns));
    }
    node.subnodes.push_back({nid::AttachmentTableSub, table.build(ids)});
    return node;
}

MessageId ArchiveBuilder::addMessage(FolderId folderId, const Message &message)
{
    if (!m_open || m_finished) {
        fail(tr("The archive is not open for writing"));
        return 0;
    }
    Folder *folder = findFolder(folderId);
    if (!folder || folder->search) {
        fail(folder ? tr("Messages live in folders; add search results to a search folder")
                    : tr("No folder %1 to add a message to").arg(folderId));
        return 0;
    }
    if (m_nextMessageIndex >= (1u << 27)) {
        fail(tr("Too many messages"));
        return 0;
    }
    const MessageId id = nid::make(m_nextMessageIndex++, nid::NormalMessage);
    const PropertyBag props = messageProperties(message, id);
    m_ndb.addNode(id, m_ndb.writeNode(messageNode(message, props, 0)), folder->nid);

    PropertyBag row = rowCells(props, m_contentsColumns);
    for (const PropertyKey &key : message.row.omit)
        row.remove(key.named ? namedPropertyId(*key.named) : key.id);
    applyExtra(row, message.row.properties);
    folder->contents.addRow(id, row);
    ++folder->messages;
    if (!(message.effectiveFlags() & kFlagRead))
        ++folder->unread;
    ++m_messageCount;
    return id;
}

bool ArchiveBuilder::addSearchResult(FolderId searchFolder, MessageId message)
{
    Folder *search = findFolder(searchFolder);
    if (!search || !search->search) {
        fail(tr("%1 is not a search folder").arg(searchFolder));
        return false;
    }
    // A folder's rows are added in node-id order, so its table is sorted.
    for (const auto &f : m_folders) {
        const TableBuilder &t = f->contents;
        if (f->search || t.rowCount() == 0 || t.rowId(0) > message || t.rowId(t.rowCount() - 1) < message)
            continue;
        qsizetype lo = 0;
        qsizetype hi = t.rowCount();
        while (lo < hi) {
            const qsizetype mid = (lo + hi) / 2;
            if (t.rowId(mid) < message)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo == t.rowCount() || t.rowId(lo) != message)
            continue;
        PropertyBag row = t.cells(lo);
        row.setInt32(PidLtpParentNid, f->nid);
        row.setString(PidParentDisplay, f->name);
        const Property *flags = row.find(PidMessageFlags);
        search->contents.addRow(message, row);
        ++search->messages;
        if (flags && flags->value.size() >= 1 && !(quint8(flags->value[0]) & kFlagRead))
            ++search->unread;
        return true;
    }
    fail(tr("No message %1 to list in a search folder").arg(message));
    return false;
}

PropertyBag ArchiveBuilder::folderSummary(const Folder &folder) const
{
    PropertyBag p;
    if (!folder.options.nameAbsent)
        p.setString(PidDisplayName, folder.name);
    p.setInt32(PidContentCount, folder.options.contentCount.value_or(folder.messages));
    p.setInt32(PidContentUnreadCount, folder.options.unreadCount.value_or(folder.unread));
    p.setBool(PidSubfolders, !folder.children.empty());
    if (!folder.options.containerClass.isEmpty())
        p.setString(PidContainerClass, folder.options.containerClass);
    return p;
}

void ArchiveBuilder::writeFolder(const Folder &f)
{
    PropertyBag own = folderSummary(f);
    if (f.search)
        own.setInt32(PidFolderType, 2);  // a search folder
    applyExtra(own, f.options.properties);
    nid::SubnodeIds ids;
    m_ndb.addNode(f.nid, m_ndb.writeNode(buildPropertyContext(own, ids, m_options.heapOrder)), f.parent);

    if (f.search) {
        // The search's update queue (empty) and criteria, then its results.
        m_ndb.addNode(nid::withType(f.nid, nid::SearchUpdateQueue), {}, 0);
        PropertyBag criteria;
        criteria.setInt32(0x660B, 0);  // search state: not running
        nid::SubnodeIds criteriaIds;
        m_ndb.addNode(nid::withType(f.nid, nid::SearchCriteriaObject),
                      m_ndb.writeNode(buildPropertyContext(criteria, criteriaIds, m_options.heapOrder)), 0);
        if (!f.options.noContentsTable) {
            nid::SubnodeIds contentsIds;
            m_ndb.addNode(nid::withType(f.nid, nid::SearchContentsTable),
                          m_ndb.writeNode(f.contents.build(contentsIds)), 0);
        }
        return;
    }

    const QList<quint32> columns = hierarchyColumns(m_options.tables);
    TableBuilder hierarchy(columns, m_options.heapOrder);
    for (FolderId child : f.children) {
        const auto it = m_folderIndex.find(child);
        if (it == m_folderIndex.end())
            continue;
        const Folder &c = *m_folders[it->second];
        if (c.options.bareHierarchyRow) {
            hierarchy.addRow(child, PropertyBag());
            continue;
        }
        PropertyBag row = folderSummary(c);
        PropertyBag extra;
        applyExtra(extra, c.options.properties);
        const PropertyBag shown = rowCells(extra, columns);
        for (const Property &p : shown.properties())
            row.set(p);
        hierarchy.addRow(child, row);
    }
    nid::SubnodeIds hierarchyIds;
    m_ndb.addNode(nid::withType(f.nid, nid::HierarchyTable), m_ndb.writeNode(hierarchy.build(hierarchyIds)), 0);
    nid::SubnodeIds contentsIds;
    m_ndb.addNode(nid::withType(f.nid, nid::ContentsTable), m_ndb.writeNode(f.contents.build(contentsIds)), 0);
    nid::SubnodeIds assocIds;
    m_ndb.addNode(nid::withType(f.nid, nid::AssocContentsTable),
                  m_ndb.writeNode(TableBuilder(assocContentsColumns(m_options.tables), m_options.heapOrder).build(assocIds)),
                  0);
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
    if (m_searchRoot) {
        store.setBinary(PidFinderEntryId, entryId(recordKey, m_searchRoot));
        mask |= 0x80;
    }
    if (m_commonViews) {
        store.setBinary(PidCommonViewsEntryId, entryId(recordKey, m_commonViews));
        mask |= 0x40;
    }
    store.setInt32(PidValidFolderMask, mask);
    store.setInt32(PidPstPassword, 0);
    nid::SubnodeIds ids;
    m_ndb.addNode(nid::MessageStore, m_ndb.writeNode(buildPropertyContext(store, ids, m_options.heapOrder)), 0);

    nid::SubnodeIds nameIds;
    m_ndb.addNode(nid::NameToIdMap,
                  m_ndb.writeNode(buildPropertyContext(m_names.properties(), nameIds, m_options.heapOrder)), 0);

    // Templates Outlook copies new tables from.
    const std::pair<quint32, QList<quint32>> templates[] = {
        {nid::HierarchyTableTemplate, hierarchyColumns(m_options.tables)},
        {nid::ContentsTableTemplate, m_contentsColumns},
        {nid::AssocContentsTableTemplate, assocContentsColumns(m_options.tables)},
        {nid::SearchContentsTableTemplate, searchContentsColumns(m_options.tables)},
        {nid::AttachmentTableSub, attachmentColumns(m_options.tables)},
        {nid::RecipientTableSub, recipientColumns(m_options.tables)},
    };
    for (const auto &[templateNid, columns] : templates) {
        nid::SubnodeIds templateIds;
        m_ndb.addNode(templateNid, m_ndb.writeNode(TableBuilder(columns, m_options.heapOrder).build(templateIds)), 0);
    }
}

bool ArchiveBuilder::finish()
{
    if (!m_open) {
        fail(tr("The archive was never opened"));
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
    if (failed()) {
        m_ndb.abandon();
        m_finished = true;
        return false;
    }

    const quint32 nextFolder = std::max(m_nextFolderIndex, m_maxFolderIndex + 1);
    HeaderFields fields;
    fields.nextNidIndex.fill(0x400);
    fields.nextNidIndex[nid::NormalFolder] = nextFolder;
    fields.nextNidIndex[nid::SearchFolder] = m_nextSearchIndex;
    fields.nextNidIndex[nid::NormalMessage] = m_nextMessageIndex;
    fields.nextNidIndex[0x08] = 0x8000;  // associated messages
    fields.nextNidIndex[nid::HierarchyTable] = nextFolder;
    fields.nextNidIndex[nid::ContentsTable] = nextFolder;
    fields.nextNidIndex[nid::AssocContentsTable] = nextFolder;
    fields.nextNidIndex[nid::SearchContentsTable] = m_nextSearchIndex;
    fields.nextNidIndex[nid::SearchUpdateQueue] = m_nextSearchIndex;
    fields.nextNidIndex[nid::SearchCriteriaObject] = m_nextSearchIndex;
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
