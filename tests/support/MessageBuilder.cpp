#include "MessageBuilder.h"

#include "StoredValue.h"

namespace ostrel::test {

namespace {
constexpr quint16 kImportance = 0x0017;
constexpr quint16 kSubject = 0x0037;
constexpr quint16 kSenderName = 0x0C1A;
constexpr quint16 kSenderEmail = 0x0C1F;
constexpr quint16 kDeliveryTime = 0x0E06;
constexpr quint16 kAttachSize = 0x0E20;
constexpr quint16 kBody = 0x1000;
constexpr quint16 kHtml = 0x1013;
constexpr quint16 kDisplayName = 0x3001;
constexpr quint16 kEmailAddress = 0x3003;
constexpr quint16 kAttachMethod = 0x3705;
constexpr quint16 kAttachLongFilename = 0x3707;
constexpr quint16 kAttachContentId = 0x3712;
}  // namespace

MessageBuilder &MessageBuilder::subject(const QString &subject)
{
    return set(kSubject, stored::text(subject));
}

MessageBuilder &MessageBuilder::from(const QString &name, const QString &email)
{
    set(kSenderName, stored::text(name));
    return set(kSenderEmail, stored::text(email));
}

MessageBuilder &MessageBuilder::date(const QDateTime &delivered)
{
    return set(kDeliveryTime, stored::time(delivered));
}

MessageBuilder &MessageBuilder::importance(quint32 stored)
{
    return set(kImportance, stored::int32(stored));
}

MessageBuilder &MessageBuilder::text(const QString &body)
{
    return set(kBody, stored::text(body));
}

MessageBuilder &MessageBuilder::html(const QByteArray &body)
{
    return set(kHtml, stored::binary(body));
}

MessageBuilder &MessageBuilder::set(quint16 id, PropertyValue value)
{
    m_properties.insert(id, std::move(value));
    return *this;
}

MessageBuilder &MessageBuilder::recipient(const QString &name, const QString &email, quint32 kind,
                                          const QString &smtp)
{
    to(name, email);
    m_recipients.last().insert(0x0C15, stored::int32(kind));
    if (!smtp.isEmpty())
        m_recipients.last().insert(0x39FE, stored::text(smtp));
    return *this;
}

MessageBuilder &MessageBuilder::flags(quint32 stored)
{
    return set(0x0E07, stored::int32(stored));
}

MessageBuilder &MessageBuilder::to(const QString &name, const QString &email)
{
    PropertyBag recipient;
    if (!name.isEmpty())
        recipient.insert(kDisplayName, stored::text(name));
    if (!email.isEmpty())
        recipient.insert(kEmailAddress, stored::text(email));
    m_recipients.append(recipient);
    return *this;
}

MessageBuilder &MessageBuilder::attach(const QString &filename, const QByteArray &bytes, const QString &contentId)
{
    Part part;
    if (!filename.isEmpty())
        part.properties.insert(kAttachLongFilename, stored::text(filename));
    if (!contentId.isEmpty())
        part.properties.insert(kAttachContentId, stored::text(contentId));
    part.properties.insert(kAttachMethod, stored::int32(1));
    part.bytes = bytes;
    part.size = bytes.size();
    m_parts.append(part);
    return *this;
}

MessageBuilder &MessageBuilder::attachUnreadable(const QString &filename, qint64 size, const QString &reason)
{
    Part part;
    part.properties.insert(kAttachLongFilename, stored::text(filename));
    part.properties.insert(kAttachMethod, stored::int32(1));
    part.unreadable = reason;
    part.size = size;
    m_parts.append(part);
    return *this;
}

MessageBuilder &MessageBuilder::attachMessage(const MessageBuilder &message)
{
    Part part;
    part.properties.insert(kAttachMethod, stored::int32(5));
    part.properties.insert(kAttachSize, stored::int32(4096));
    part.message = std::make_shared<const MessageBuilder>(message);
    m_parts.append(part);
    return *this;
}

MessageBuilder &MessageBuilder::attachUnreadableMessage(const QString &reason)
{
    Part part;
    part.properties.insert(kAttachMethod, stored::int32(5));
    part.unreadable = reason;
    part.isMessage = true;
    m_parts.append(part);
    return *this;
}

MessageBuilder &MessageBuilder::recipientsUnreadable(const QString &reason)
{
    m_recipientsFailure = reason;
    return *this;
}

MessageBuilder &MessageBuilder::attachmentsUnreadable(const QString &reason)
{
    m_attachmentsFailure = reason;
    return *this;
}

RawMessage MessageBuilder::raw(const MessageKey &key, const std::function<bool(const PropertyBag &, qint64)> &policy) const
{
    RawMessage message;
    message.key = key;
    message.properties = m_properties;
    message.recipients = {m_recipients, m_recipientsFailure};
    message.attachments.failure = m_attachmentsFailure;
    for (qsizetype i = 0; i < m_parts.size(); ++i) {
        const Part &part = m_parts[i];
        RawAttachment attachment;
        attachment.index = int(i);
        attachment.properties = part.properties;
        if (part.message) {
            MessageKey inner = key;
            inner.embeddedPath.append(int(i));
            attachment.embedded = std::make_shared<const RawMessage>(part.message->raw(inner, policy));
        } else if (part.isMessage) {
            attachment.embeddedFailure = part.unreadable;
        } else {
            attachment.dataSize = part.size;
            if (part.bytes && policy && policy(part.properties, part.size))
                attachment.data = part.bytes;
        }
        message.attachments.value.append(attachment);
    }
    return message;
}

const MessageBuilder *MessageBuilder::attachedMessage(int index) const
{
    if (index < 0 || index >= m_parts.size())
        return nullptr;
    return m_parts[index].message.get();
}

std::variant<QByteArray, QString> MessageBuilder::bytes(int index) const
{
    if (index < 0 || index >= m_parts.size())
        return QStringLiteral("no attachment %1").arg(index);
    const Part &part = m_parts[index];
    if (part.message)
        return QStringLiteral("an attached message has no file bytes");
    if (part.unreadable)
        return *part.unreadable;
    return part.bytes.value_or(QByteArray());
}

}  // namespace ostrel::test
