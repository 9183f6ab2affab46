#include "pst/PSTMessage.h"

#include "model/Text.h"
#include "pst/LibpffCalls.h"
#include "pst/LibpffError.h"
#include "pst/PSTActor.h"

#include <QByteArray>
#include <QHash>
#include <QSaveFile>
#include <QStringDecoder>
#include <optional>

namespace ostrel {

namespace {
constexpr uint32_t kSubject = 0x0037;
constexpr uint32_t kSenderName = 0x0C1A;
constexpr uint32_t kSenderEmail = 0x0C1F;
constexpr uint32_t kImportance = 0x0017;
constexpr uint32_t kEmailAddress = 0x3003;
constexpr uint32_t kDisplayName = 0x3001;
constexpr uint32_t kRecipientDisplayName = 0x5FF6;
constexpr uint32_t kAttachLongFilename = 0x3707;
constexpr uint32_t kAttachContentId = 0x3712;
constexpr uint32_t kMatchAnyValueType = LIBPFF_ENTRY_VALUE_FLAG_MATCH_ANY_VALUE_TYPE;

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01, in seconds.
constexpr double kFiletimeEpochOffset = 11644473600.0;

QString decodeUpToNul(const QByteArray &buffer)
{
    const qsizetype nul = buffer.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? buffer : buffer.left(nul));
}

std::optional<QString> strictUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

std::optional<QString> itemString(const LibpffCalls &lib, libpff_item_t *item, uint32_t entryType)
{
    size_t size = 0;
    {
        LibpffErrorSlot error;
        if (lib.item_get_entry_value_utf8_string_size(item, 0, entryType, &size, 0, &error) != 1 || size < 2)
            return std::nullopt;
    }
    QByteArray buffer(static_cast<qsizetype>(size), '\0');
    LibpffErrorSlot error;
    if (lib.item_get_entry_value_utf8_string(item, 0, entryType, reinterpret_cast<uint8_t *>(buffer.data()),
                                             size, 0, &error)
        != 1)
        return std::nullopt;
    return decodeUpToNul(buffer);
}

std::optional<uint32_t> itemUInt32(const LibpffCalls &lib, libpff_item_t *item, uint32_t entryType)
{
    uint32_t value = 0;
    LibpffErrorSlot error;
    if (lib.item_get_entry_value_32bit(item, 0, entryType, &value, 0, &error) != 1)
        return std::nullopt;
    return value;
}

using BodySizeCall = std::function<int(libpff_item_t *, size_t *, libpff_error_t **)>;
using BodyReadCall = std::function<int(libpff_item_t *, uint8_t *, size_t, libpff_error_t **)>;

std::optional<QByteArray> bodyData(libpff_item_t *item, const BodySizeCall &sizeCall, const BodyReadCall &readCall)
{
    size_t size = 0;
    {
        LibpffErrorSlot error;
        if (sizeCall(item, &size, &error) != 1 || size == 0)
            return std::nullopt;
    }
    QByteArray buffer(static_cast<qsizetype>(size), '\0');
    {
        LibpffErrorSlot error;
        if (readCall(item, reinterpret_cast<uint8_t *>(buffer.data()), size, &error) != 1)
            return std::nullopt;
    }
    qsizetype end = buffer.size();
    while (end > 0 && buffer.at(end - 1) == '\0')
        --end;
    if (end > 0)
        buffer.truncate(end);
    return buffer;
}

std::optional<QString> recordSetString(const LibpffCalls &lib, libpff_record_set_t *recordSet, uint32_t entryType)
{
    libpff_record_entry_t *entry = nullptr;
    {
        LibpffErrorSlot error;
        const int found = lib.record_set_get_entry_by_type(recordSet, entryType, 0, &entry, kMatchAnyValueType, &error);
        if (found != 1 || entry == nullptr) {
            if (entry) {
                LibpffErrorSlot freeError;
                lib.record_entry_free(&entry, &freeError);
            }
            return std::nullopt;
        }
    }
    std::optional<QString> result;
    size_t size = 0;
    {
        LibpffErrorSlot error;
        if (lib.record_entry_get_data_as_utf8_string_size(entry, &size, &error) == 1 && size >= 2) {
            QByteArray buffer(static_cast<qsizetype>(size), '\0');
            LibpffErrorSlot readError;
            if (lib.record_entry_get_data_as_utf8_string(entry, reinterpret_cast<uint8_t *>(buffer.data()), size,
                                                          &readError)
                == 1)
                result = decodeUpToNul(buffer);
        }
    }
    LibpffErrorSlot freeError;
    lib.record_entry_free(&entry, &freeError);
    return result;
}

std::optional<QByteArray> attachmentData(const LibpffCalls &lib, libpff_item_t *item, qint64 size)
{
    if (size <= 0)
        return std::nullopt;
    QByteArray buffer(static_cast<qsizetype>(size), '\0');
    LibpffErrorSlot error;
    const ssize_t read = lib.attachment_data_read_buffer(item, reinterpret_cast<uint8_t *>(buffer.data()),
                                                         static_cast<size_t>(size), &error);
    if (read <= 0)
        return std::nullopt;
    buffer.truncate(static_cast<qsizetype>(std::min<qint64>(read, size)));
    return buffer;
}

// Frees an item handle on every path out of a scope.
class ItemGuard {
public:
    ItemGuard(const LibpffCalls &lib, libpff_item_t *item) : m_lib(lib), m_item(item) {}
    ~ItemGuard()
    {
        if (m_item) {
            LibpffErrorSlot error;
            m_lib.item_free(&m_item, &error);
        }
    }
    ItemGuard(const ItemGuard &) = delete;
    ItemGuard &operator=(const ItemGuard &) = delete;
    libpff_item_t *get() const { return m_item; }

private:
    const LibpffCalls &m_lib;
    libpff_item_t *m_item;
};
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

Expected<MailMessage, PSTError> PSTMessage::mailMessage(QList<int> *attachmentIndices) const
{
    if (!m_handle)
        return PSTError::libpffNotInitialized();
    const LibpffCalls &lib = *m_calls;

    MailMessage message;
    message.id = QUuid::createUuid();
    auto subject = itemString(lib, m_handle, kSubject);
    // A stored subject may begin with U+0001 and a character giving the
    // length of its prefix ("RE: "); the two are markers, not text.
    if (subject && subject->size() >= 2 && subject->at(0) == QChar(0x0001))
        subject->remove(0, 2);
    message.subject = subject && !subject->isEmpty() ? *subject : QStringLiteral("(kein Betreff)");
    const QString senderName = itemString(lib, m_handle, kSenderName).value_or(QString());
    message.senderEmail = itemString(lib, m_handle, kSenderEmail).value_or(QString());

    uint64_t filetime = 0;
    {
        LibpffErrorSlot error;
        if (lib.message_get_delivery_time(m_handle, &filetime, &error) == 1 && filetime != 0)
            message.date = double(filetime) / 10'000'000.0 - kFiletimeEpochOffset;
    }

    switch (itemUInt32(lib, m_handle, kImportance).value_or(1)) {
    case 0:
        message.importance = MessageImportance::low;
        break;
    case 2:
        message.importance = MessageImportance::high;
        break;
    default:
        message.importance = MessageImportance::normal;
        break;
    }

    if (const auto html = bodyData(m_handle, lib.message_get_html_body_size, lib.message_get_html_body))
        message.bodyHTML = strictUtf8(*html);
    if (const auto text = bodyData(m_handle, lib.message_get_plain_text_body_size, lib.message_get_plain_text_body)) {
        auto decoded = strictUtf8(*text);
        message.bodyText = decoded ? std::move(*decoded) : QString::fromLatin1(*text);
    }
    message.bodyRTF = bodyData(m_handle, lib.message_get_rtf_body_size, lib.message_get_rtf_body);

    if (auto list = recipients())
        message.recipients = std::move(list).value();
    if (auto list = attachments(attachmentIndices))
        message.attachments = std::move(list).value();

    message.sender = senderName.isEmpty() ? message.senderEmail : senderName;
    message.isRead = true;
    return message;
}

Expected<QStringList, PSTError> PSTMessage::recipients() const
{
    if (!m_handle)
        return PSTError::libpffNotInitialized();
    const LibpffCalls &lib = *m_calls;
    libpff_item_t *recipientsItem = nullptr;
    {
        LibpffErrorSlot error;
        if (lib.message_get_recipients(m_handle, &recipientsItem, &error) != 1 || recipientsItem == nullptr) {
            ItemGuard stray(lib, recipientsItem);
            return QStringList();
        }
    }
    ItemGuard guard(lib, recipientsItem);
    int count = 0;
    {
        LibpffErrorSlot error;
        if (lib.item_get_number_of_record_sets(recipientsItem, &count, &error) != 1 || count <= 0)
            return QStringList();
    }
    QStringList list;
    for (int i = 0; i < count; ++i) {
        libpff_record_set_t *recordSet = nullptr;
        {
            LibpffErrorSlot error;
            if (lib.item_get_record_set_by_index(recipientsItem, i, &recordSet, &error) != 1
                || recordSet == nullptr) {
                if (recordSet) {
                    LibpffErrorSlot freeError;
                    lib.record_set_free(&recordSet, &freeError);
                }
                continue;
            }
        }
        std::optional<QString> value = recordSetString(lib, recordSet, kEmailAddress);
        if (!value)
            value = recordSetString(lib, recordSet, kDisplayName);
        if (!value)
            value = recordSetString(lib, recordSet, kRecipientDisplayName);
        if (value && !value->isEmpty())
            list.append(*value);
        LibpffErrorSlot freeError;
        lib.record_set_free(&recordSet, &freeError);
    }
    return list;
}

Expected<QList<Attachment>, PSTError> PSTMessage::attachments(QList<int> *indices) const
{
    if (!m_handle)
        return PSTError::libpffNotInitialized();
    const LibpffCalls &lib = *m_calls;
    int count = 0;
    {
        LibpffErrorSlot error;
        if (lib.message_get_number_of_attachments(m_handle, &count, &error) < 0)
            return QList<Attachment>();
    }
    QList<Attachment> list;
    for (int i = 0; i < count; ++i) {
        libpff_item_t *item = nullptr;
        {
            LibpffErrorSlot error;
            if (lib.message_get_attachment(m_handle, i, &item, &error) < 0 || item == nullptr) {
                ItemGuard stray(lib, item);
                continue;
            }
        }
        ItemGuard guard(lib, item);
        Attachment attachment;
        attachment.id = QUuid::createUuid();
        attachment.filename = itemString(lib, item, kAttachLongFilename).value_or(QStringLiteral("Anhang_%1").arg(i));
        attachment.contentId = itemString(lib, item, kAttachContentId);
        size64_t size = 0;
        {
            LibpffErrorSlot error;
            if (lib.attachment_get_data_size(item, &size, &error) == 1)
                attachment.size = static_cast<qint64>(std::min<size64_t>(size, size64_t(INT64_MAX)));
        }
        if (attachment.contentId && !attachment.contentId->isEmpty() && attachment.size >= 1
            && attachment.size < kInlineDataLimit)
            attachment.data = attachmentData(lib, item, attachment.size);
        attachment.mimeType = mimeType(attachment.filename);
        list.append(std::move(attachment));
        if (indices)
            indices->append(i);
    }
    return list;
}

Expected<qint64, AttachmentSaveError> PSTMessage::writeAttachment(int index, const QString &path) const
{
    using Kind = AttachmentSaveError::Kind;
    if (!m_handle)
        return AttachmentSaveError{Kind::notLoaded, {}};
    const LibpffCalls &lib = *m_calls;
    libpff_item_t *item = nullptr;
    {
        LibpffErrorSlot error;
        if (lib.message_get_attachment(m_handle, index, &item, &error) < 0 || item == nullptr) {
            ItemGuard stray(lib, item);
            return AttachmentSaveError{Kind::readFailed, QStringLiteral("get_attachment: ") + error.text()};
        }
    }
    ItemGuard guard(lib, item);
    size64_t size = 0;
    {
        LibpffErrorSlot error;
        if (lib.attachment_get_data_size(item, &size, &error) != 1)
            return AttachmentSaveError{Kind::readFailed, QStringLiteral("attachment_data_size: ") + error.text()};
    }
    {
        LibpffErrorSlot error;
        if (lib.attachment_data_seek_offset(item, 0, SEEK_SET, &error) < 0)
            return AttachmentSaveError{Kind::readFailed, QStringLiteral("attachment_data_seek: ") + error.text()};
    }

    // QSaveFile writes beside the target and renames at the end, so a failed
    // save never leaves a partial file, nor spoils one that was there.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return AttachmentSaveError{Kind::writeFailed, out.errorString()};
    constexpr size_t kChunk = 1 << 20;
    QByteArray buffer(kChunk, Qt::Uninitialized);
    qint64 written = 0;
    while (size64_t(written) < size) {
        const size_t wanted = size_t(std::min<size64_t>(kChunk, size - size64_t(written)));
        LibpffErrorSlot error;
        const ssize_t read = lib.attachment_data_read_buffer(item, reinterpret_cast<uint8_t *>(buffer.data()), wanted,
                                                             &error);
        if (read < 0) {
            out.cancelWriting();
            return AttachmentSaveError{Kind::readFailed, QStringLiteral("attachment_data: ") + error.text()};
        }
        if (read == 0)
            break;
        if (out.write(buffer.constData(), read) != read) {
            const QString reason = out.errorString();
            out.cancelWriting();
            return AttachmentSaveError{Kind::writeFailed, reason};
        }
        written += read;
    }
    if (size64_t(written) != size) {
        out.cancelWriting();
        return AttachmentSaveError{Kind::readFailed,
                                   QStringLiteral("attachment_data: %1 of %2 bytes").arg(written).arg(size)};
    }
    if (!out.commit())
        return AttachmentSaveError{Kind::writeFailed, out.errorString()};
    return written;
}

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
