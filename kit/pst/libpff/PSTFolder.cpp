#include "pst/PSTFolder.h"

#include "pst/LibpffCalls.h"
#include "pst/LibpffError.h"
#include "pst/PSTMessage.h"

#include <QByteArray>

namespace ostrel {

namespace {
constexpr uint32_t kContentUnreadCount = 0x3603;
}

PSTFolder::PSTFolder(libpff_item_t *handle, std::shared_ptr<const LibpffCalls> calls)
    : m_handle(handle), m_calls(std::move(calls))
{
}

PSTFolder::~PSTFolder()
{
    if (m_handle) {
        LibpffErrorSlot error;
        m_calls->item_free(&m_handle, &error);
    }
}

Expected<QString, PSTError> PSTFolder::name() const
{
    if (!m_handle)
        return PSTError::libpffNotInitialized();
    size_t size = 0;
    {
        LibpffErrorSlot error;
        if (m_calls->folder_get_utf8_name_size(m_handle, &size, &error) < 0 || size < 2)
            return QString();
    }
    QByteArray buffer(static_cast<qsizetype>(size), '\0');
    LibpffErrorSlot error;
    if (m_calls->folder_get_utf8_name(m_handle, reinterpret_cast<uint8_t *>(buffer.data()), size, &error) < 0)
        return PSTError::parsingFailed(QStringLiteral("folder_name: ") + error.text());
    const qsizetype nul = buffer.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? buffer : buffer.left(nul));
}

Expected<qint64, PSTError> PSTFolder::messageCount() const
{
    if (!m_handle)
        return PSTError::libpffNotInitialized();
    int count = 0;
    LibpffErrorSlot error;
    if (m_calls->folder_get_number_of_sub_messages(m_handle, &count, &error) < 0)
        return PSTError::parsingFailed(QStringLiteral("message_count: ") + error.text());
    return qint64(count);
}

qint64 PSTFolder::unreadCount() const
{
    if (!m_handle)
        return 0;
    uint32_t value = 0;
    LibpffErrorSlot error;
    if (m_calls->item_get_entry_value_32bit(m_handle, 0, kContentUnreadCount, &value, 0, &error) != 1)
        return 0;
    return qint64(value);
}

Expected<std::vector<std::unique_ptr<PSTFolder>>, PSTError> PSTFolder::subFolders() const
{
    if (!m_handle)
        return PSTError::libpffNotInitialized();
    int count = 0;
    {
        LibpffErrorSlot error;
        if (m_calls->folder_get_number_of_sub_folders(m_handle, &count, &error) < 0)
            return PSTError::parsingFailed(QStringLiteral("number_of_sub_folders: ") + error.text());
    }
    std::vector<std::unique_ptr<PSTFolder>> folders;
    folders.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        libpff_item_t *item = nullptr;
        LibpffErrorSlot error;
        if (m_calls->folder_get_sub_folder(m_handle, i, &item, &error) < 0 || item == nullptr) {
            PSTFolder stray(item, m_calls);  // frees a handle left behind by a failed call
            // The sub folders already obtained are freed as `folders` goes.
            return PSTError::parsingFailed(QStringLiteral("get_sub_folder[%1]: ").arg(i) + error.text());
        }
        folders.push_back(std::make_unique<PSTFolder>(item, m_calls));
    }
    return folders;
}

Expected<std::vector<std::unique_ptr<PSTMessage>>, PSTError> PSTFolder::messages(qint64 offset,
                                                                                 qint64 limit) const
{
    if (!m_handle)
        return PSTError::libpffNotInitialized();
    int count = 0;
    {
        LibpffErrorSlot error;
        if (m_calls->folder_get_number_of_sub_messages(m_handle, &count, &error) < 0)
            return PSTError::parsingFailed(QStringLiteral("number_of_sub_messages: ") + error.text());
    }
    const qint64 start = std::max<qint64>(offset, 0);
    const qint64 wanted = std::max<qint64>(limit, 0);
    // Compared before adding, so that a huge limit cannot overflow.
    const qint64 end = wanted > qint64(count) - start ? qint64(count) : start + wanted;
    std::vector<std::unique_ptr<PSTMessage>> items;
    if (end <= start)
        return items;
    items.reserve(static_cast<size_t>(end - start));
    for (qint64 i = start; i < end; ++i) {
        libpff_item_t *item = nullptr;
        LibpffErrorSlot error;
        if (m_calls->folder_get_sub_message(m_handle, static_cast<int>(i), &item, &error) < 0
            || item == nullptr) {
            PSTMessage stray(item, m_calls);
            return PSTError::parsingFailed(QStringLiteral("get_sub_message[%1]: ").arg(i) + error.text());
        }
        items.push_back(std::make_unique<PSTMessage>(item, m_calls));
    }
    return items;
}

}  // namespace ostrel
