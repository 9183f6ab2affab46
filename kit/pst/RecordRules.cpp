#include "pst/RecordRules.h"

#include "bodies/BodyChoice.h"
#include "bodies/CodePages.h"
#include "bodies/HtmlText.h"
#include "bodies/RtfBody.h"
#include "model/Text.h"
#include "pst/engine/RowColumns.h"
#include "pst/ItemRules.h"
#include "pst/format/Lzfu.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringList>
#include <QSysInfo>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstring>

namespace ostrel::rules {

namespace {
// 100-nanosecond intervals between 1601-01-01 and 1970-01-01, in seconds.
constexpr double kFiletimeEpochOffset = 11644473600.0;

// 0x80 to 0x9F of code page 1252; the five positions it leaves undefined
// keep their C1 control, as Windows' own conversion does.
constexpr std::array<char16_t, 32> kWindows1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString utf16le(QByteArrayView bytes)
{
    bytes = bytes.first(bytes.size() & ~qsizetype(1));
    if (bytes.isEmpty())
        return QString();  // an empty view may have no data to copy from
    if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
        // The stored units are the string's own, unpaired surrogates and a
        // leading byte order mark included: copied as they are.
        QString copied(bytes.size() / 2, Qt::Uninitialized);
        std::memcpy(copied.data(), bytes.data(), size_t(bytes.size()));
        return copied;
    }
    QStringDecoder decoder(QStringDecoder::Utf16LE, QStringDecoder::Flag::Stateless);
    return decoder.decode(bytes);
}

std::optional<QString> strictUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QString upToNul(QString text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    return text;
}

// Trailing NULs go (a stored terminator), unless there is nothing else.
QByteArrayView withoutTrailingNuls(QByteArrayView bytes, qsizetype unit)
{
    qsizetype end = bytes.size() - bytes.size() % unit;
    const auto zeroAt = [&bytes, unit](qsizetype from) {
        for (qsizetype k = 0; k < unit; ++k) {
            if (bytes[from + k] != '\0')
                return false;
        }
        return true;
    };
    while (end >= unit && zeroAt(end - unit))
        end -= unit;
    return end > 0 ? bytes.first(end) : bytes;
}

template <typename T>
std::optional<T> fixed(const PropertyBag &bag, quint16 id, quint16 type)
{
    const PropertyValue *value = bag.find(id);
    if (!value || value->type != type || value->bytes.size() < qsizetype(sizeof(T)))
        return std::nullopt;
    return qFromLittleEndian<T>(value->bytes.constData());
}
}  // namespace

QString windows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes) {
        const auto b = quint8(byte);
        *out++ = QChar(b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : char16_t(b));
    }
    return text;
}

std::optional<QString> text(const PropertyValue &value)
{
    if (value.type == PropertyType::string)
        return upToNul(utf16le(value.bytes));
    if (value.type == PropertyType::string8) {
        const qsizetype nul = value.bytes.indexOf('\0');
        return windows1252(QByteArrayView(value.bytes).first(nul < 0 ? value.bytes.size() : nul));
    }
    return std::nullopt;
}

std::optional<QString> text(const PropertyBag &bag, quint16 id)
{
    const PropertyValue *value = bag.find(id);
    return value ? text(*value) : std::nullopt;
}

std::optional<QString> nonEmptyText(const PropertyBag &bag, quint16 id)
{
    auto found = text(bag, id);
    if (found && found->isEmpty())
        return std::nullopt;
    return found;
}

std::optional<QString> nonEmptyText(const PropertyBag &bag, quint16 id, TextPool *pool)
{
    if (!pool)
        return nonEmptyText(bag, id);
    const PropertyValue *value = bag.find(id);
    if (!value || (value->type != PropertyType::string && value->type != PropertyType::string8))
        return std::nullopt;
    QString found = pool->fromStored(value->type, value->bytes, [value] { return text(*value).value_or(QString()); });
    if (found.isEmpty())
        return std::nullopt;
    return found;
}

std::optional<quint32> integer32(const PropertyBag &bag, quint16 id)
{
    return fixed<quint32>(bag, id, PropertyType::integer32);
}

std::optional<quint64> filetime(const PropertyBag &bag, quint16 id)
{
    return fixed<quint64>(bag, id, PropertyType::time);
}

double instant(quint64 filetime)
{
    return filetime == 0 ? 0.0 : double(filetime) / 10'000'000.0 - kFiletimeEpochOffset;
}

MessageImportance importance(std::optional<quint32> stored)
{
    switch (stored.value_or(1)) {
    case 0:
        return MessageImportance::low;
    case 2:
        return MessageImportance::high;
    default:
        return MessageImportance::normal;
    }
}

QString subject(const std::optional<QString> &stored)
{
    QString shown = stored.value_or(QString());
    // A stored subject may begin with U+0001 and a character giving the
    // length of its prefix ("RE: "); the two are markers, not text.
    if (shown.size() >= 2 && shown.at(0) == QChar(0x0001))
        shown.remove(0, 2);
    return shown.isEmpty() ? QStringLiteral("(kein Betreff)") : shown;
}

std::optional<QString> plainTextBody(const PropertyValue *stored)
{
    if (!stored || stored->bytes.isEmpty())
        return std::nullopt;
    if (stored->type == PropertyType::string)
        return utf16le(withoutTrailingNuls(stored->bytes, 2));
    const QByteArrayView bytes = withoutTrailingNuls(stored->bytes, 1);
    if (stored->type == PropertyType::string8)
        return windows1252(bytes);
    if (stored->type != PropertyType::binary)
        return std::nullopt;
    if (auto decoded = strictUtf8(bytes))
        return decoded;
    return QString::fromLatin1(bytes);
}

std::optional<QString> htmlBody(const PropertyValue *stored)
{
    if (!stored || stored->bytes.isEmpty())
        return std::nullopt;
    if (stored->type == PropertyType::string)
        return utf16le(withoutTrailingNuls(stored->bytes, 2));
    if (stored->type != PropertyType::binary && stored->type != PropertyType::string8)
        return std::nullopt;
    return strictUtf8(withoutTrailingNuls(stored->bytes, 1));
}

std::optional<QByteArray> rtfBody(const PropertyValue *stored)
{
    if (!stored || stored->type != PropertyType::binary)
        return std::nullopt;
    const auto rtf = pst::decompressRtf(stored->bytes);
    if (!rtf || rtf.value().isEmpty())
        return std::nullopt;
    return withoutTrailingNuls(rtf.value(), 1).toByteArray();
}

namespace {
std::optional<int> storedCodePage(const PropertyBag &bag, quint16 id)
{
    const auto stored = integer32(bag, id);
    return stored && *stored > 0 && *stored < 0x10000 ? std::optional<int>(int(*stored)) : std::nullopt;
}

std::optional<QString> nonEmpty(QString text)
{
    if (text.isEmpty())
        return std::nullopt;
    return text;
}
}  // namespace

std::optional<QString> htmlPreviewText(const PropertyBag &bag)
{
    const PropertyValue *html = bag.find(Tag::html);
    if (!html || html->bytes.isEmpty())
        return std::nullopt;
    QString decoded;
    if (html->type == PropertyType::string)
        decoded = htmlBody(html).value_or(QString());
    else if (html->type == PropertyType::binary || html->type == PropertyType::string8)
        decoded = decodeHtml(withoutTrailingNuls(html->bytes, 1).toByteArray(), storedCodePage(bag, Tag::internetCodePage),
                             storedCodePage(bag, Tag::messageCodePage));
    return nonEmpty(htmlText(decoded, kPreviewSourceChars));
}

std::optional<QString> rtfPreviewText(const PropertyBag &bag)
{
    // LZFu grows a stream at most about nine times; a stream cut by the
    // read's bound fails its size check and gives no preview.
    constexpr qsizetype kMaxRtf = 4 * 1024 * 1024;
    const PropertyValue *stored = bag.find(Tag::rtfCompressed);
    if (!stored || stored->type != PropertyType::binary)
        return std::nullopt;
    const auto rtf = pst::decompressRtf(stored->bytes, kMaxRtf);
    if (!rtf || rtf.value().isEmpty())
        return std::nullopt;
    RtfLimits limits;
    limits.maxTokens = 1024 * 1024;
    limits.maxOutput = 256 * 1024;
    const RtfBody body = readRtf(rtf.value(), limits);
    if (body.encapsulation == RtfEncapsulation::html)
        return nonEmpty(htmlText(body.html, kPreviewSourceChars));
    return nonEmpty(body.text.left(kPreviewSourceChars).trimmed());
}

double messageDate(const PropertyBag &bag)
{
    for (const quint16 id : {RowColumn::deliveryTime, RowColumn::submitTime, RowColumn::creationTime}) {
        if (const auto stored = filetime(bag, id); stored && *stored != 0)
            return instant(*stored);
    }
    return 0;
}

bool isRead(const PropertyBag &bag)
{
    constexpr quint32 kRead = 0x01;
    return (integer32(bag, RowColumn::messageFlags).value_or(kRead) & kRead) != 0;
}

QString senderName(const PropertyBag &bag, TextPool *pool)
{
    if (auto name = nonEmptyText(bag, RowColumn::senderName, pool))
        return *name;
    return nonEmptyText(bag, RowColumn::sentRepresentingName, pool).value_or(QString());
}

namespace {
// The first non-empty SMTP address among smtpIds, else the stored address
// whatever its type (an SMTP one, or an Exchange X.500 one as the last resort).
QString preferredAddress(const PropertyBag &bag, std::initializer_list<quint16> smtpIds, quint16 addressId,
                         TextPool *pool)
{
    for (const quint16 id : smtpIds) {
        if (auto address = nonEmptyText(bag, id, pool))
            return *address;
    }
    return nonEmptyText(bag, addressId, pool).value_or(QString());
}
}  // namespace

QString senderAddress(const PropertyBag &bag, TextPool *pool)
{
    return preferredAddress(bag, {RowColumn::senderSmtpAddress, RowColumn::sentRepresentingSmtpAddress},
                            RowColumn::senderEmail, pool);
}

QString recipientText(const PropertyBag &recipient)
{
    QString name = nonEmptyText(recipient, Tag::displayName).value_or(QString());
    if (name.isEmpty())
        name = nonEmptyText(recipient, Tag::recipientDisplayName).value_or(QString());
    const QString address = preferredAddress(recipient, {Tag::smtpAddress}, Tag::emailAddress, nullptr);
    if (name.isEmpty() || name == address)
        return address;
    if (address.isEmpty())
        return name;
    return QStringLiteral("%1 <%2>").arg(name, address);
}

bool wantsInlineData(const PropertyBag &attachment, qint64 dataSize)
{
    return nonEmptyText(attachment, Tag::attachContentId).has_value() && dataSize >= 1
        && dataSize < kInlineDataLimit;
}

InlineDataPolicy inlineDataPolicy()
{
    return [](const PropertyBag &attachment, qint64 dataSize) { return wantsInlineData(attachment, dataSize); };
}

bool isAttachedMessage(const RawAttachment &attachment)
{
    constexpr quint32 kEmbeddedMessage = 5;
    return attachment.embedded || attachment.embeddedFailure
        || integer32(attachment.properties, Tag::attachMethod) == kEmbeddedMessage;
}

MailFolder folderRecord(const RawFolder &folder)
{
    MailFolder record;
    record.name = text(folder.properties, Tag::displayName).value_or(QStringLiteral("(unbenannt)"));
    record.messageCount = folder.messageCount.readable() ? folder.messageCount.value : 0;
    record.messageCountFailure = folder.messageCount.failure;
    record.unreadCount = qint64(integer32(folder.properties, Tag::contentUnreadCount).value_or(0));
    record.folderType = classifyFolder(record.name);
    record.subFoldersFailure = folder.children.failure;
    record.searchFolder = folder.searchFolder;
    return record;
}

std::optional<quint32> entryIdNode(const PropertyValue &entryId)
{
    constexpr qsizetype kNodeAt = 4 + 16;
    if (entryId.type != PropertyType::binary || entryId.bytes.size() < kNodeAt + 4)
        return std::nullopt;
    return qFromLittleEndian<quint32>(entryId.bytes.constData() + kNodeAt);
}

namespace {
const RawFolder *findNode(const QList<RawFolder> &folders, quint32 node)
{
    for (const RawFolder &folder : folders) {
        if (folder.node == node)
            return &folder;
        if (const RawFolder *found = findNode(folder.children.value, node))
            return found;
    }
    return nullptr;
}

const RawFolder *namedChild(const QList<RawFolder> &folders, const QStringList &names)
{
    for (const RawFolder &folder : folders) {
        const QString name = text(folder.properties, Tag::displayName).value_or(QString()).trimmed();
        if (!folder.searchFolder && names.contains(name, Qt::CaseInsensitive))
            return &folder;
    }
    return nullptr;
}

QList<MailFolder> buildTree(const QList<RawFolder> &raw, std::optional<quint32> mailboxRoot, bool &marked)
{
    QList<MailFolder> records;
    records.reserve(raw.size());
    for (const RawFolder &folder : raw) {
        MailFolder record = folderRecord(folder);
        // A damaged tree may list a folder twice; one mailbox is enough.
        if (!marked && mailboxRoot == folder.node) {
            record.mailboxRoot = true;
            marked = true;
        }
        record.children = buildTree(folder.children.value, mailboxRoot, marked);
        records.append(std::move(record));
    }
    return records;
}
}  // namespace

std::optional<quint32> mailboxRootNode(const RawArchive &archive)
{
    const QList<RawFolder> &top = archive.folders.value;
    if (const PropertyValue *entryId = archive.store.find(Tag::ipmSubtreeEntryId)) {
        if (const auto node = entryIdNode(*entryId)) {
            const RawFolder *named = findNode(top, *node);
            if (named && !named->searchFolder)
                return named->node;
        }
    }
    // The names Outlook gives the mailbox's top folder in the archives it writes.
    static const QStringList kTopNames{
        QStringLiteral("Top of Personal Folders"),
        QStringLiteral("Top of Outlook data file"),
        QStringLiteral("Oberste Ebene der persönlichen Ordner"),
        QStringLiteral("Dossiers personnels"),
        QStringLiteral("Haut de la banque d'informations"),
        QStringLiteral("Début du fichier de données Outlook"),
        QStringLiteral("Outlook データ ファイルのトップ"),
    };
    if (const RawFolder *named = namedChild(top, kTopNames))
        return named->node;
    if (const RawFolder *mailbox = namedChild(top, {QStringLiteral("Root - Mailbox")})) {
        if (const RawFolder *subtree = namedChild(mailbox->children.value, {QStringLiteral("IPM_SUBTREE")}))
            return subtree->node;
    }
    return std::nullopt;
}

QList<MailFolder> folderTree(const RawArchive &archive)
{
    const std::optional<quint32> mailboxRoot = mailboxRootNode(archive);
    bool marked = false;
    QList<MailFolder> tree = buildTree(archive.folders.value, mailboxRoot, marked);
    if (mailboxRoot) {
        for (MailFolder &record : tree)
            record.storeFolder = !record.mailboxRoot;
    }
    return tree;
}

void chooseShownBody(const PropertyBag &message, MailMessage &record)
{
    BodySources sources;
    // A body is a text or bytes; any other type is none.
    const auto storedBytes = [&message](quint16 id) -> std::optional<QByteArray> {
        const PropertyValue *value = message.find(id);
        if (!value || value->bytes.isEmpty()
            || (value->type != PropertyType::string && value->type != PropertyType::string8
                && value->type != PropertyType::binary))
            return std::nullopt;
        return value->bytes;
    };
    const auto codePage = [&message](quint16 id) -> std::optional<int> {
        const auto stored = integer32(message, id);
        return stored && *stored > 0 && *stored < 0x10000 ? std::optional<int>(int(*stored)) : std::nullopt;
    };
    if (const PropertyValue *html = message.find(Tag::html); html && storedBytes(Tag::html)) {
        // A Unicode string needs no code page; give it as UTF-8 bytes.
        sources.html = html->type == PropertyType::string ? htmlBody(html).value_or(QString()).toUtf8() : storedBytes(Tag::html);
    }
    if (const PropertyValue *text = message.find(Tag::body); text && storedBytes(Tag::body)) {
        sources.text = storedBytes(Tag::body);
        sources.textIsUtf16 = text->type == PropertyType::string;
    }
    record.bodyRTF = rtfBody(message.find(Tag::rtfCompressed));
    sources.rtf = record.bodyRTF;
    sources.internetCodePage = codePage(Tag::internetCodePage);
    sources.messageCodePage = codePage(Tag::messageCodePage);

    ChosenBody chosen = chooseBody(sources);
    if (chosen.truncated)
        record.bodyFailure = QStringLiteral("RTF body damaged or too large; shown as far as it could be read");
    // The plain body stays for previews and search whichever body is shown.
    if (sources.text) {
        QString text = chosen.kind == BodyKind::text ? chosen.text
                       : sources.textIsUtf16
                           ? plainTextBody(message.find(Tag::body)).value_or(QString())
                           : decodeText(withoutTrailingNuls(*sources.text, 1).toByteArray(), sources.internetCodePage,
                                        sources.messageCodePage);
        if (!text.isEmpty())
            record.bodyText = std::move(text);
    }
    switch (chosen.kind) {
    case BodyKind::html:
        record.shownBody = ShownBody::html;
        record.bodyHTML = std::move(chosen.html);
        break;
    case BodyKind::htmlFromRtf:
        record.shownBody = ShownBody::htmlFromRtf;
        record.bodyHTML = std::move(chosen.html);
        break;
    case BodyKind::text:
        record.shownBody = ShownBody::text;
        break;
    case BodyKind::textFromRtf:
        record.shownBody = ShownBody::textFromRtf;
        record.bodyText = std::move(chosen.text);
        // The fragment keeps paragraphs, bold and italic.
        if (!chosen.html.isEmpty())
            record.bodyHTML = std::move(chosen.html);
        break;
    case BodyKind::none:
        record.shownBody = ShownBody::none;
        break;
    }
}

QString attachmentName(const RawAttachment &attachment)
{
    const PropertyBag &bag = attachment.properties;
    if (attachment.embedded) {
        if (auto stored = nonEmptyText(attachment.embedded->properties, Tag::subject)) {
            const QString shown = subject(stored);
            if (shown != subject(std::nullopt))
                return shown;
        }
    }
    if (auto name = nonEmptyText(bag, Tag::attachLongFilename))
        return *name;
    if (auto name = nonEmptyText(bag, Tag::displayName))
        return *name;
    return QStringLiteral("Anhang_%1").arg(attachment.index);
}

Attachment attachmentRecord(const RawAttachment &attachment)
{
    const PropertyBag &bag = attachment.properties;
    Attachment record;
    record.filename = attachmentName(attachment);
    record.isMessage = isAttachedMessage(attachment);
    record.mimeType = record.isMessage ? QStringLiteral("message/rfc822") : mimeType(record.filename);
    record.contentId = nonEmptyText(bag, Tag::attachContentId);
    // An attached message has no file bytes; the archive's own size of the
    // attachment object is the best size to show for it.
    record.size = isAttachedMessage(attachment) ? qint64(integer32(bag, Tag::attachSize).value_or(0))
                                                : std::max<qint64>(attachment.dataSize.value_or(0), 0);
    if (attachment.data && !isAttachedMessage(attachment) && wantsInlineData(bag, record.size))
        record.data = attachment.data;
    record.failure = attachment.embeddedFailure;
    return record;
}

MailMessage messageRecord(const RawMessage &message)
{
    const PropertyBag &bag = message.properties;
    MailMessage record;
    record.readFailure = message.failure;
    record.subject = subject(text(bag, Tag::subject));
    record.sender = senderName(bag);
    record.senderEmail = senderAddress(bag);
    if (record.sender.isEmpty())
        record.sender = record.senderEmail;
    record.date = messageDate(bag);
    record.importance = importance(integer32(bag, Tag::importance));
    chooseShownBody(bag, record);
    record.transportHeaders = nonEmptyText(bag, Tag::transportHeaders);
    record.kind = itemKindFromClass(text(bag, Tag::messageClass).value_or(QString()));
    record.itemFields = itemFields(record.kind, message);
    record.isRead = isRead(bag);

    // Each recipient once, under its kind (To when the kind is missing or
    // unknown); one with neither name nor address is left out.
    for (const PropertyBag &recipient : message.recipients.value) {
        const QString shown = recipientText(recipient);
        if (shown.isEmpty())
            continue;
        // The kind sits in the low bits; the high bit marks a resent copy.
        switch (integer32(recipient, Tag::recipientType).value_or(1) & 0x0FFFFFFF) {
        case 2:
            record.ccRecipients.append(shown);
            break;
        case 3:
            record.bccRecipients.append(shown);
            break;
        default:
            record.recipients.append(shown);
            break;
        }
    }
    record.recipientsFailure = message.recipients.failure;
    for (const RawAttachment &attachment : message.attachments.value)
        record.attachments.append(attachmentRecord(attachment));
    record.attachmentsFailure = message.attachments.failure;
    return record;
}

MessageRow rowRecord(const RawRow &row, qint64 storageIndex, TextPool *pool)
{
    const PropertyBag &bag = row.columns;
    MessageRow record;
    record.storageIndex = storageIndex;
    record.subject = subject(text(bag, Tag::subject));
    record.senderName = senderName(bag, pool);
    record.senderEmail = senderAddress(bag, pool);
    record.date = messageDate(bag);
    record.isRead = isRead(bag);
    record.importance = importance(integer32(bag, Tag::importance));
    constexpr quint32 kHasAttachment = 0x10;
    if (const PropertyValue *has = bag.find(RowColumn::hasAttachments);
        has && has->type == PropertyType::boolean && !has->bytes.isEmpty())
        record.hasAttachments = has->bytes.at(0) != 0;
    else
        record.hasAttachments = (integer32(bag, RowColumn::messageFlags).value_or(0) & kHasAttachment) != 0;
    record.messageClass = nonEmptyText(bag, RowColumn::messageClass, pool).value_or(QString());
    record.size = qint64(integer32(bag, RowColumn::messageSize).value_or(0));
    record.displayTo = nonEmptyText(bag, RowColumn::displayTo, pool).value_or(QString());
    record.displayCc = nonEmptyText(bag, RowColumn::displayCc, pool).value_or(QString());
    return record;
}

}  // namespace ostrel::rules

namespace ostrel {

QString mimeType(const QString &fileName)
{
    static const QHash<QString, QString> byExtension{
        {QStringLiteral("pdf"), QStringLiteral("application/pdf")},
        {QStringLiteral("jpg"), QStringLiteral("image/jpeg")},
        {QStringLiteral("jpeg"), QStringLiteral("image/jpeg")},
        {QStringLiteral("png"), QStringLiteral("image/png")},
        {QStringLiteral("gif"), QStringLiteral("image/gif")},
        {QStringLiteral("doc"), QStringLiteral("application/msword")},
        {QStringLiteral("docx"), QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.document")},
        {QStringLiteral("xls"), QStringLiteral("application/vnd.ms-excel")},
        {QStringLiteral("xlsx"), QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet")},
        {QStringLiteral("zip"), QStringLiteral("application/zip")},
        {QStringLiteral("txt"), QStringLiteral("text/plain")},
        {QStringLiteral("html"), QStringLiteral("text/html")},
        {QStringLiteral("htm"), QStringLiteral("text/html")},
    };
    return byExtension.value(fileExtension(fileName).toLower(), QStringLiteral("application/octet-stream"));
}

}  // namespace ostrel
