#pragma once

#include "ExtraProperty.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

namespace ostrel::pstwriter {

enum class Importance : quint32 { Low = 0, Normal = 1, High = 2 };
enum class RecipientType : quint32 { To = 1, Cc = 2, Bcc = 3 };

// Message flags (PidTagMessageFlags) a description commonly sets.
constexpr quint32 kFlagRead = 0x01;
constexpr quint32 kFlagUnmodified = 0x02;
constexpr quint32 kFlagSubmitted = 0x04;
constexpr quint32 kFlagUnsent = 0x08;
constexpr quint32 kFlagHasAttachments = 0x10;
constexpr quint32 kFlagFromMe = 0x20;
constexpr quint32 kFlagAssociated = 0x40;

// One row of a message's recipient table. Every field may be absent; an
// absent field leaves its cell empty. `properties` add cells (the table
// gets a column for each).
struct Recipient {
    Recipient() = default;
    Recipient(std::optional<QString> name, std::optional<QString> email, std::optional<QString> recipientName = {},
              std::optional<QString> type = {}, std::optional<RecipientType> kind = RecipientType::To)
        : displayName(std::move(name)), emailAddress(std::move(email)), recipientDisplayName(std::move(recipientName)),
          addressType(std::move(type)), type(kind)
    {
    }

    std::optional<QString> displayName;           // 0x3001
    std::optional<QString> emailAddress;          // 0x3003
    std::optional<QString> recipientDisplayName;  // 0x5FF6
    std::optional<QString> addressType;           // 0x3002; "SMTP" when an address is given and this is absent
    std::optional<RecipientType> type = RecipientType::To;  // 0x0C15
    std::optional<QString> smtpAddress;           // 0x39FE, beside an Exchange ("EX") address
    QList<ExtraProperty> properties;
};

struct Message;

// How an attachment holds its content.
enum class AttachMethod : quint32 {
    ByValue = 1,   // bytes (`data`)
    Embedded = 5,  // a message (`embedded`)
    Ole = 6,       // an OLE object: `data` as the object's storage
};

// An attachment by value (data), or an embedded message when `embedded` is set.
struct Attachment {
    std::optional<QString> longFileName;  // 0x3707
    std::optional<QString> fileName;      // 0x3704, the short name
    std::optional<QString> displayName;   // 0x3001
    std::optional<QString> mimeTag;       // 0x370E
    std::optional<QString> contentId;     // 0x3712
    std::optional<bool> hidden;           // 0x7FFE
    // Absent: Embedded when `embedded` is set, else ByValue.
    std::optional<AttachMethod> method;
    QByteArray data;
    std::shared_ptr<const Message> embedded;
    QList<ExtraProperty> properties;
};

// What a folder's contents-table row shows of a message when it differs
// from the message itself (a stale row): properties left out of the row,
// and values the row holds instead.
struct RowDifference {
    QList<PropertyKey> omit;
    QList<ExtraProperty> properties;
};

// A message as it goes into the archive. Absent optionals are absent
// properties; an empty string is stored as an empty property.
struct Message {
    QString messageClass = QStringLiteral("IPM.Note");
    std::optional<QString> subject;
    // The sender (PidTagSender*) and whom it was sent for
    // (PidTagSentRepresenting*, the sender's values when absent). The
    // address type is "SMTP" when an address is given and no type; with
    // "EX" the address is an X.500 one and the SMTP address goes beside it.
    std::optional<QString> senderName;
    std::optional<QString> senderEmail;
    std::optional<QString> senderAddressType;
    std::optional<QString> senderSmtpAddress;
    std::optional<QString> sentRepresentingName;
    std::optional<QString> sentRepresentingEmail;
    std::optional<QString> sentRepresentingAddressType;
    std::optional<QString> sentRepresentingSmtpAddress;
    std::optional<QString> internetMessageId;
    std::optional<Importance> importance;
    // Submit, creation and modification time are the delivery time unless
    // given; without any of them the message has no time at all.
    std::optional<QDateTime> deliveryTime;
    std::optional<QDateTime> submitTime;
    std::optional<QDateTime> creationTime;
    std::optional<QDateTime> modificationTime;
    // Absent: read, plus "has attachments" when there are any.
    std::optional<quint32> flags;
    // The plain body: Unicode, or (when `body` is absent) 8-bit bytes in
    // `bodyCodepage` (stored as PidTagMessageCodepage).
    std::optional<QString> body;
    std::optional<QByteArray> body8bit;
    quint32 bodyCodepage = 1252;
    std::optional<QByteArray> html;  // stored as the bytes given
    std::optional<quint32> htmlCodepage;  // PidTagInternetCodepage; 65001 for HTML when absent
    std::optional<quint32> messageCodepage;  // PidTagMessageCodepage, when not set by an 8-bit body
    std::optional<QByteArray> rtf;   // RTF as written; stored compressed
    std::optional<QString> transportHeaders;  // PidTagTransportMessageHeaders
    QList<Recipient> recipients;
    QList<Attachment> attachments;
    // Added after (and over) everything above; `omit` leaves out properties
    // the writer would set (its tagged ids).
    QList<ExtraProperty> properties;
    QList<quint16> omit;
    RowDifference row;

    Message &addRecipient(Recipient recipient)
    {
        recipients.append(std::move(recipient));
        return *this;
    }
    Message &addAttachment(Attachment attachment)
    {
        attachments.append(std::move(attachment));
        return *this;
    }

    quint32 effectiveFlags() const
    {
        return flags.value_or(kFlagRead | (attachments.isEmpty() ? 0 : kFlagHasAttachments));
    }
};

}  // namespace ostrel::pstwriter
