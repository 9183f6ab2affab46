#pragma once

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
constexpr quint32 kFlagUnsent = 0x08;
constexpr quint32 kFlagHasAttachments = 0x10;

// One row of a message's recipient table. Every field may be absent; an
// absent field leaves its cell empty.
struct Recipient {
    std::optional<QString> displayName;           // 0x3001
    std::optional<QString> emailAddress;          // 0x3003
    std::optional<QString> recipientDisplayName;  // 0x5FF6
    std::optional<QString> addressType;           // 0x3002; "SMTP" when an address is given and this is absent
    std::optional<RecipientType> type = RecipientType::To;  // 0x0C15
};

struct Message;

// An attachment by value (data), or an embedded message when `embedded` is set.
struct Attachment {
    std::optional<QString> longFileName;  // 0x3707
    std::optional<QString> fileName;      // 0x3704, the short name
    std::optional<QString> displayName;   // 0x3001
    std::optional<QString> mimeTag;       // 0x370E
    std::optional<QString> contentId;     // 0x3712
    std::optional<bool> hidden;           // 0x7FFE
    QByteArray data;
    std::shared_ptr<const Message> embedded;
};

// A message as it goes into the archive. Absent optionals are absent
// properties; an empty string is stored as an empty property.
struct Message {
    QString messageClass = QStringLiteral("IPM.Note");
    std::optional<QString> subject;
    std::optional<QString> senderName;
    std::optional<QString> senderEmail;
    std::optional<QString> internetMessageId;
    std::optional<Importance> importance;
    std::optional<QDateTime> deliveryTime;
    // Absent: read, plus "has attachments" when there are any.
    std::optional<quint32> flags;
    // The plain body: Unicode, or (when `body` is absent) 8-bit bytes in
    // `bodyCodepage`.
    std::optional<QString> body;
    std::optional<QByteArray> body8bit;
    quint32 bodyCodepage = 1252;
    std::optional<QByteArray> html;  // stored as the bytes given
    std::optional<quint32> htmlCodepage;  // PidTagInternetCodepage; 65001 for HTML when absent
    std::optional<QByteArray> rtf;   // plain RTF; stored compressed
    QList<Recipient> recipients;
    QList<Attachment> attachments;

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
