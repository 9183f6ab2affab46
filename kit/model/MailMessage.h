#pragma once

#include "model/Attachment.h"
#include "model/ItemKind.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <optional>

namespace ostrel {

enum class MessageImportance { low, normal, high };

QString rawValue(MessageImportance importance);
std::optional<MessageImportance> messageImportanceFromRaw(const QString &raw);
QList<MessageImportance> allMessageImportances();

inline size_t qHash(MessageImportance importance, size_t seed = 0)
{
    return ::qHash(rawValue(importance), seed);
}

struct MailMessage {
    QUuid id;
    QString subject;
    QString sender;
    QString senderEmail;
    // Each person as "Name <address>", or the name or address alone.
    QStringList recipients;
    QStringList ccRecipients;
    QStringList bccRecipients;
    double date = 0;  // seconds since 1970-01-01 00:00:00 UTC; 0: the message has no date
    bool isRead = true;
    std::optional<QString> bodyText;
    std::optional<QString> bodyHTML;
    std::optional<QByteArray> bodyRTF;
    QList<Attachment> attachments;
    MessageImportance importance = MessageImportance::normal;
    // Why the archive would not give (all of) the recipients or the
    // attachments; the lists then hold those it did give.
    std::optional<QString> recipientsFailure{};
    std::optional<QString> attachmentsFailure{};
    // What the item is, and the fields it shows beside its body when it is
    // not mail (empty for mail).
    ItemKind kind = ItemKind::mail;
    QList<ItemField> itemFields{};
    ShownBody shownBody = ShownBody::none;
    // Why the body could not be read (damaged or cut RTF: what was read is shown).
    std::optional<QString> bodyFailure{};
    // The internet headers the message arrived with, when the archive kept them.
    std::optional<QString> transportHeaders{};
    // Why the message itself could not be read: everything else is then empty.
    std::optional<QString> readFailure{};

    friend bool operator==(const MailMessage &, const MailMessage &) = default;

    // One line of the plain body: trimmed, white space collapsed, at most 120
    // characters and then "…".
    QString preview() const;
};

size_t qHash(const MailMessage &message, size_t seed = 0);

// The preview of a plain body (see MailMessage::preview).
QString previewLine(const QString &plainBody);

}  // namespace ostrel

template <>
struct std::hash<ostrel::MailMessage> {
    size_t operator()(const ostrel::MailMessage &message) const { return ostrel::qHash(message); }
};
