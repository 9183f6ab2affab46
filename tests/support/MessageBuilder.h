#pragma once

#include "pst/engine/RawValues.h"

#include <QDateTime>
#include <functional>
#include <memory>
#include <variant>

namespace ostrel::test {

// A message as an engine would read it, described by what it says rather
// than by its stored form; for the in-memory archive and rules tests.
class MessageBuilder {
public:
    MessageBuilder &subject(const QString &subject);
    MessageBuilder &from(const QString &name, const QString &email);
    MessageBuilder &date(const QDateTime &delivered);
    MessageBuilder &importance(quint32 stored);
    MessageBuilder &text(const QString &body);
    MessageBuilder &html(const QByteArray &body);
    MessageBuilder &set(quint16 id, PropertyValue value);
    MessageBuilder &to(const QString &name, const QString &email);
    // A recipient of a kind (1 To, 2 Cc, 3 Bcc), with an SMTP address beside
    // its address when smtp is not empty.
    MessageBuilder &recipient(const QString &name, const QString &email, quint32 kind, const QString &smtp = {});
    // PidTagMessageFlags (0x01 read, 0x10 has attachments).
    MessageBuilder &flags(quint32 stored);
    // A file attachment (its name, bytes and content id; empty ones left out).
    MessageBuilder &attach(const QString &filename, const QByteArray &bytes, const QString &contentId = {});
    // A file attachment whose bytes the archive will not give.
    MessageBuilder &attachUnreadable(const QString &filename, qint64 size, const QString &reason);
    MessageBuilder &attachMessage(const MessageBuilder &message);
    // An attached message that could not be read, and why.
    MessageBuilder &attachUnreadableMessage(const QString &reason);
    MessageBuilder &recipientsUnreadable(const QString &reason);
    MessageBuilder &attachmentsUnreadable(const QString &reason);

    // The raw message under key, attachment bytes loaded as policy asks
    // (none when policy is empty).
    RawMessage raw(const MessageKey &key, const std::function<bool(const PropertyBag &, qint64)> &policy = {}) const;
    // The builder of the message attached at index, or null.
    const MessageBuilder *attachedMessage(int index) const;
    // The bytes of the file attachment at index, or why there are none.
    std::variant<QByteArray, QString> bytes(int index) const;

private:
    struct Part {
        PropertyBag properties;
        std::optional<QByteArray> bytes;
        std::optional<QString> unreadable;
        qint64 size = 0;
        std::shared_ptr<const MessageBuilder> message;
        bool isMessage = false;  // an attached message, unreadable when message is null
    };
    PropertyBag m_properties;
    QList<PropertyBag> m_recipients;
    QList<Part> m_parts;
    std::optional<QString> m_recipientsFailure;
    std::optional<QString> m_attachmentsFailure;
};

inline MessageBuilder mail(const QString &subject)
{
    return MessageBuilder().subject(subject);
}

}  // namespace ostrel::test
