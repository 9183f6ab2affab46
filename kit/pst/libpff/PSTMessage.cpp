#include "pst/libpff/PSTMessage.h"

#include "pst/libpff/LibpffCalls.h"
#include "pst/libpff/LibpffError.h"
#include "pst/libpff/LibpffItem.h"
#include "pst/libpff/LibpffProperties.h"

#include <QByteArray>

namespace ostrel {

namespace {
// The attachment's data: read by streaming, never kept in a bag.
constexpr quint32 kAttachDataBinary = 0x3701;
// Bytes loaded with a message are capped whatever a policy asks.
constexpr size64_t kLargestInlineData = size64_t(64) << 20;
constexpr size_t kChunk = 1 << 20;

std::optional<QByteArray> attachmentData(const LibpffCalls &lib, libpff_item_t *item, size64_t size)
{
    if (size == 0 || size > kLargestInlineData)
        return std::nullopt;
    QByteArray buffer(static_cast<qsizetype>(size), '\0');
    LibpffErrorSlot error;
    const ssize_t read = lib.attachment_data_read_buffer(item, reinterpret_cast<uint8_t *>(buffer.data()),
                                                         static_cast<size_t>(size), &error);
    if (read <= 0)
        return std::nullopt;
    // One read only: a short read gives the bytes there are.
    buffer.truncate(static_cast<qsizetype>(std::min<size64_t>(size64_t(read), size)));
    return buffer;
}

int attachmentType(const LibpffCalls &lib, libpff_item_t *item)
{
    int type = LIBPFF_ATTACHMENT_TYPE_UNDEFINED;
    LibpffErrorSlot error;
    if (lib.attachment_get_type(item, &type, &error) != 1)
        return LIBPFF_ATTACHMENT_TYPE_UNDEFINED;
    return type;
}
}  // namespace

PSTMessage::PSTMessage(libpff_item_t *handle, std::shared_ptr<const LibpffCalls> calls)
    : m_handle(handle), m_calls(std::move(calls))
{
}

PSTMessage::~PSTMessage()
{
    if (m_handle) {
        LibpffErrorSlot error;
        m_calls->item_free(&m_handle, &error);
    }
}

quint32 PSTMessage::node() const
{
    uint32_t identifier = 0;
    LibpffErrorSlot error;
    if (!m_handle || m_calls->item_get_identifier(m_handle, &identifier, &error) != 1)
        return 0;
    return identifier;
}

RawMessage PSTMessage::read(const MessageKey &key, const InlineDataPolicy &policy, int depth) const
{
    RawMessage message;
    message.key = key;
    message.properties = properties({});
    message.recipients = recipients();
    message.attachments = attachments(key, policy, depth);
    return message;
}

PropertyBag PSTMessage::properties(const PropertyRead &read) const
{
    if (!m_handle)
        return {};
    auto bag = readItemProperties(*m_calls, m_handle, read);
    return bag ? std::move(bag).value() : PropertyBag();
}

Readable<QList<PropertyBag>> PSTMessage::recipients() const
{
    Readable<QList<PropertyBag>> result;
    const LibpffCalls &lib = *m_calls;
    libpff_item_t *handle = nullptr;
    {
        LibpffErrorSlot error;
        const int found = lib.message_get_recipients(m_handle, &handle, &error);
        if (found == 0 && handle == nullptr)
            return result;  // the message has no recipients table
        if (found != 1 || handle == nullptr) {
            LibpffItem stray(lib, handle);
            result.failure = QStringLiteral("get_recipients: ") + error.text();
            return result;
        }
    }
    LibpffItem table(lib, handle);
    int count = 0;
    {
        LibpffErrorSlot error;
        if (lib.item_get_number_of_record_sets(table.get(), &count, &error) != 1) {
            result.failure = QStringLiteral("number_of_recipients: ") + error.text();
            return result;
        }
    }
    for (int i = 0; i < count; ++i) {
        libpff_record_set_t *set = nullptr;
        LibpffErrorSlot error;
        if (lib.item_get_record_set_by_index(table.get(), i, &set, &error) != 1 || set == nullptr) {
            if (!result.failure)
                result.failure = QStringLiteral("recipient[%1]: ").arg(i) + error.text();
        } else if (auto bag = readRecordSet(lib, set)) {
            result.value.append(std::move(bag).value());
        } else if (!result.failure) {
            result.failure = QStringLiteral("recipient[%1]: ").arg(i) + bag.error();
        }
        if (set) {
            LibpffErrorSlot freeError;
            lib.record_set_free(&set, &freeError);
        }
    }
    return result;
}

Readable<QList<RawAttachment>> PSTMessage::attachments(const MessageKey &key, const InlineDataPolicy &policy,
                                                       int depth) const
{
    Readable<QList<RawAttachment>> result;
    const LibpffCalls &lib = *m_calls;
    int count = 0;
    {
        LibpffErrorSlot error;
        if (lib.message_get_number_of_attachments(m_handle, &count, &error) < 0) {
            result.failure = QStringLiteral("number_of_attachments: ") + error.text();
            return result;
        }
    }
    for (int i = 0; i < count; ++i) {
        libpff_item_t *handle = nullptr;
        {
            LibpffErrorSlot error;
            if (lib.message_get_attachment(m_handle, i, &handle, &error) < 0 || handle == nullptr) {
                LibpffItem stray(lib, handle);
                if (!result.failure)
                    result.failure = QStringLiteral("get_attachment[%1]: ").arg(i) + error.text();
                continue;
            }
        }
        LibpffItem item(lib, handle);
        RawAttachment attachment;
        attachment.index = i;
        if (auto bag = readItemProperties(lib, item.get(), {[](quint32 id) { return id != kAttachDataBinary; }}))
            attachment.properties = std::move(bag).value();

        if (attachmentType(lib, item.get()) == LIBPFF_ATTACHMENT_TYPE_ITEM) {
            MessageKey inner = key;
            inner.embeddedPath.append(i);
            if (depth + 1 > kDeepestAttachedMessage) {
                attachment.embeddedFailure = QStringLiteral("attached messages nested deeper than %1")
                                                 .arg(kDeepestAttachedMessage);
            } else {
                libpff_item_t *attached = nullptr;
                LibpffErrorSlot error;
                if (lib.attachment_get_item(item.get(), &attached, &error) != 1 || attached == nullptr) {
                    LibpffItem stray(lib, attached);
                    attachment.embeddedFailure = QStringLiteral("attachment_get_item: ") + error.text();
                } else {
                    const PSTMessage message(attached, m_calls);
                    attachment.embedded = std::make_shared<const RawMessage>(message.read(inner, policy, depth + 1));
                }
            }
        } else {
            size64_t size = 0;
            LibpffErrorSlot error;
            if (lib.attachment_get_data_size(item.get(), &size, &error) == 1)
                attachment.dataSize = static_cast<qint64>(std::min<size64_t>(size, size64_t(INT64_MAX)));
            if (attachment.dataSize && policy && policy(attachment.properties, *attachment.dataSize))
                attachment.data = attachmentData(lib, item.get(), size);
        }
        result.value.append(std::move(attachment));
    }
    return result;
}

Expected<std::unique_ptr<PSTMessage>, QString> PSTMessage::attachedMessage(int index) const
{
    const LibpffCalls &lib = *m_calls;
    libpff_item_t *handle = nullptr;
    {
        LibpffErrorSlot error;
        if (lib.message_get_attachment(m_handle, index, &handle, &error) < 0 || handle == nullptr) {
            LibpffItem stray(lib, handle);
            return QStringLiteral("get_attachment[%1]: ").arg(index) + error.text();
        }
    }
    LibpffItem item(lib, handle);
    if (attachmentType(lib, item.get()) != LIBPFF_ATTACHMENT_TYPE_ITEM)
        return QStringLiteral("attachment[%1]: not an attached message").arg(index);
    libpff_item_t *attached = nullptr;
    LibpffErrorSlot error;
    if (lib.attachment_get_item(item.get(), &attached, &error) != 1 || attached == nullptr) {
        LibpffItem stray(lib, attached);
        return QStringLiteral("attachment_get_item[%1]: ").arg(index) + error.text();
    }
    return std::make_unique<PSTMessage>(attached, m_calls);
}

Expected<qint64, QString> PSTMessage::streamAttachment(int index, const ByteSink &sink) const
{
    const LibpffCalls &lib = *m_calls;
    libpff_item_t *handle = nullptr;
    {
        LibpffErrorSlot error;
        if (lib.message_get_attachment(m_handle, index, &handle, &error) < 0 || handle == nullptr) {
            LibpffItem stray(lib, handle);
            return QStringLiteral("get_attachment: ") + error.text();
        }
    }
    LibpffItem item(lib, handle);
    // The library's data of an attached message is its internal form, not a
    // file; it is never handed out as one.
    if (attachmentType(lib, item.get()) == LIBPFF_ATTACHMENT_TYPE_ITEM)
        return QStringLiteral("attachment_data: an attached message has no file bytes");
    size64_t size = 0;
    {
        LibpffErrorSlot error;
        if (lib.attachment_get_data_size(item.get(), &size, &error) != 1)
            return QStringLiteral("attachment_data_size: ") + error.text();
    }
    {
        LibpffErrorSlot error;
        if (lib.attachment_data_seek_offset(item.get(), 0, SEEK_SET, &error) < 0)
            return QStringLiteral("attachment_data_seek: ") + error.text();
    }
    QByteArray buffer(kChunk, Qt::Uninitialized);
    qint64 handed = 0;
    while (size64_t(handed) < size) {
        const size_t wanted = size_t(std::min<size64_t>(kChunk, size - size64_t(handed)));
        LibpffErrorSlot error;
        const ssize_t read =
            lib.attachment_data_read_buffer(item.get(), reinterpret_cast<uint8_t *>(buffer.data()), wanted, &error);
        if (read < 0)
            return QStringLiteral("attachment_data: ") + error.text();
        if (read == 0)
            break;
        const qsizetype got = qsizetype(std::min<ssize_t>(read, ssize_t(wanted)));
        handed += got;
        if (!sink(QByteArrayView(buffer.constData(), got)))
            return handed;
    }
    if (size64_t(handed) != size)
        return QStringLiteral("attachment_data: %1 of %2 bytes").arg(handed).arg(size);
    return handed;
}

}  // namespace ostrel
