#pragma once

// The viewer's rules that turn what an engine read into mail records. Every
// engine hands over stored values and every record comes out of these rules,
// so two engines that read the same values give the same records. The rules
// know nothing of engines and mint no ids: records leave here with null ids,
// for the actor to fill.

#include "model/MailFolder.h"
#include "model/MailMessage.h"
#include "model/MessageRow.h"
#include "pst/engine/ArchiveEngine.h"
#include "pst/engine/RawValues.h"
#include "pst/TextPool.h"

#include <QByteArrayView>
#include <optional>

namespace ostrel {

// The kind of a folder from its English or German name.
FolderType classifyFolder(const QString &name);

// MIME type from the file name's extension, lower-cased.
QString mimeType(const QString &fileName);

namespace rules {

// The properties the rules read.
struct Tag {
    static constexpr quint16 importance = 0x0017;
    static constexpr quint16 messageClass = 0x001A;
    static constexpr quint16 subject = 0x0037;
    static constexpr quint16 senderName = 0x0C1A;
    static constexpr quint16 senderEmail = 0x0C1F;
    static constexpr quint16 transportHeaders = 0x007D;
    static constexpr quint16 deliveryTime = 0x0E06;
    static constexpr quint16 attachSize = 0x0E20;
    static constexpr quint16 body = 0x1000;
    static constexpr quint16 rtfCompressed = 0x1009;
    static constexpr quint16 html = 0x1013;
    static constexpr quint16 displayName = 0x3001;
    static constexpr quint16 emailAddress = 0x3003;
    static constexpr quint16 contentUnreadCount = 0x3603;
    static constexpr quint16 attachDataBinary = 0x3701;
    static constexpr quint16 attachMethod = 0x3705;
    static constexpr quint16 attachLongFilename = 0x3707;
    static constexpr quint16 attachContentId = 0x3712;
    static constexpr quint16 internetCodePage = 0x3FDE;
    static constexpr quint16 messageCodePage = 0x3FFD;
    static constexpr quint16 recipientDisplayName = 0x5FF6;
    static constexpr quint16 recipientType = 0x0C15;
    static constexpr quint16 smtpAddress = 0x39FE;
    static constexpr quint16 ipmSubtreeEntryId = 0x35E0;
};

// Attachments at or above this size never have their bytes read with a page.
inline constexpr qint64 kInlineDataLimit = 5'000'000;

// Stored values. A text is PtypString (UTF-16LE) or PtypString8 (code page
// 1252), up to its first NUL; any other type is no text.
std::optional<QString> text(const PropertyValue &value);
std::optional<QString> text(const PropertyBag &bag, quint16 id);
// The same, with an empty text counting as none.
std::optional<QString> nonEmptyText(const PropertyBag &bag, quint16 id);
// The same, with equal stored values decoded once and shared through pool.
std::optional<QString> nonEmptyText(const PropertyBag &bag, quint16 id, TextPool *pool);
std::optional<quint32> integer32(const PropertyBag &bag, quint16 id);
std::optional<quint64> filetime(const PropertyBag &bag, quint16 id);
QString windows1252(QByteArrayView bytes);

// Seconds since 1970 for a FILETIME (100 ns since 1601); 0, meaning none,
// gives the epoch itself.
double instant(quint64 filetime);
// 0 is low, 2 is high, anything else (or nothing) is normal.
MessageImportance importance(std::optional<quint32> stored);
// The subject shown: without the U+0001 prefix marker and its length
// character, "(kein Betreff)" when nothing is left.
QString subject(const std::optional<QString> &stored);

// Bodies, from the stored property (null when absent). Trailing NULs are
// dropped unless the body is nothing else.
// Plain text: PtypString as UTF-16LE, PtypString8 as code page 1252, bytes
// as UTF-8 or else Latin-1.
std::optional<QString> plainTextBody(const PropertyValue *stored);
// HTML: bytes (binary or PtypString8) only when they are valid UTF-8;
// PtypString as UTF-16LE.
std::optional<QString> htmlBody(const PropertyValue *stored);
// RTF: the decompressed text of the compressed RTF property.
std::optional<QByteArray> rtfBody(const PropertyValue *stored);

// Preview text from the bodies a message has without a plain one, bounded
// by the bytes given: the text of the HTML body (decoded with the message's
// code pages), and the text read from the compressed RTF body (its HTML's
// text when it carries HTML). Nothing when the body is absent, damaged or
// gives no text. Nothing is fetched: remote references stay text.
std::optional<QString> htmlPreviewText(const PropertyBag &bag);
std::optional<QString> rtfPreviewText(const PropertyBag &bag);
// The characters of body text a preview keeps at most before its line is cut.
inline constexpr qsizetype kPreviewSourceChars = 2048;

// A message's date: delivery, else submit, else creation time; 0 when it
// has none of them.
double messageDate(const PropertyBag &bag);
// Whether PidTagMessageFlags marks the message read; read when it has no flags.
bool isRead(const PropertyBag &bag);
// The sender's name: the sender's, else the represented sender's.
QString senderName(const PropertyBag &bag, TextPool *pool = nullptr);
// The sender's address, preferring SMTP: the sender's SMTP address, the
// represented sender's, and only then the stored address, whose type may
// be SMTP or Exchange (X.500).
QString senderAddress(const PropertyBag &bag, TextPool *pool = nullptr);
// A recipient as "Name <address>", the name or the address alone, empty
// when it has neither; the address prefers SMTP as the sender's does.
QString recipientText(const PropertyBag &recipient);
// The body the detail view shows, chosen from the stored bodies and decoded
// with the message's code pages: HTML, HTML recovered from RTF, plain text,
// text read from RTF, none. Sets bodyRTF (decompressed once), shownBody, bodyHTML, bodyText and, when the
// RTF was damaged or cut, bodyFailure.
void chooseShownBody(const PropertyBag &message, MailMessage &record);

// Whether a message read loads an attachment's bytes: it has a content id
// that is not empty, and 1 <= dataSize < kInlineDataLimit.
bool wantsInlineData(const PropertyBag &attachment, qint64 dataSize);
InlineDataPolicy inlineDataPolicy();

// Whether the attachment is a message rather than a file.
bool isAttachedMessage(const RawAttachment &attachment);

// The name an attachment shows: an attached message's subject, else its
// file name, else its display name, else "Anhang_n".
QString attachmentName(const RawAttachment &attachment);

// Records, with null ids. A folder's record has no children: the caller
// builds them from folder.children and sets them.
MailFolder folderRecord(const RawFolder &folder);

// The node an entry id names: flags (4 bytes), the store's uid (16), then
// the node id (4, little-endian); none when the value is shorter.
std::optional<quint32> entryIdNode(const PropertyValue &entryId);
// The folder whose sub folders are the mailbox: the one the store's IPM
// subtree entry id names, else a top-level folder with the name Outlook
// gives it in one of its languages (or an offline store's "Root - Mailbox"
// holding "IPM_SUBTREE"); none when neither is found. Never a search folder.
std::optional<quint32> mailboxRootNode(const RawArchive &archive);
// The whole tree as records, with null ids and in stored order: each
// folder's children built, the mailbox's root marked mailboxRoot, and,
// when there is one, every other top-level folder marked storeFolder.
QList<MailFolder> folderTree(const RawArchive &archive);
Attachment attachmentRecord(const RawAttachment &attachment);
MailMessage messageRecord(const RawMessage &message);
// A list row with a null id; storageIndex is the row's position in its folder.
// With a pool, the texts rows repeat (sender, addresses, To and Cc lines,
// message class) are shared with earlier rows.
MessageRow rowRecord(const RawRow &row, qint64 storageIndex, TextPool *pool = nullptr);

}  // namespace rules
}  // namespace ostrel
