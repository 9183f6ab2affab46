#include "pst/libpff/PSTFolder.h"

#include "pst/libpff/LibpffCalls.h"
#include "pst/libpff/LibpffError.h"
#include "pst/libpff/LibpffProperties.h"
#include "pst/libpff/PSTMessage.h"

namespace ostrel {

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

quint32 PSTFolder::node() const
{
    uint32_t identifier = 0;
    LibpffErrorSlot error;
    if (!m_handle || m_calls->item_get_identifier(m_handle, &identifier, &error) != 1)
        return 0;
    return identifier;
}

PropertyBag PSTFolder::properties() const
{
    if (!m_handle)
        return {};
    auto bag = readItemProperties(*m_calls, m_handle);
    return bag ? std::move(bag).value() : PropertyBag();
}

Expected<qint64, PSTError> PSTFolder::messageCount() const
{
    if (!m_handle)
        return PSTError::libpffNotInitialized();
    int count = 0;
    LibpffErrorSlot error;
    if (m_calls->folder_get_number_of_sub_messages(m_handle, &count, &error) < 0)
        return PSTError::parsingFailed(QStringLiteral("number_of_sub_messages: ") + error.text());
    return qint64(std::max(count, 0));
}

Readable<std::vector<std::unique_ptr<PSTFolder>>> PSTFolder::subFolders() const
{
    Readable<std::vector<std::unique_ptr<PSTFolder>>> result;
    if (!m_handle) {
        result.failure = PSTError::libpffNotInitialized().errorDescription();
        return result;
    }
    int count = 0;
    {
        LibpffErrorSlot error;
        if (m_calls->folder_get_number_of_sub_folders(m_handle, &count, &error) < 0) {
            result.failure = QStringLiteral("number_of_sub_folders: ") + error.text();
            return result;
        }
    }
    for (int i = 0; i < count; ++i) {
        libpff_item_t *item = nullptr;
        LibpffErrorSlot error;
        if (m_calls->folder_get_sub_folder(m_handle, i, &item, &error) < 0 || item == nullptr) {
            PSTFolder stray(item, m_calls);  // frees a handle left behind by a failed call
            if (!result.failure)
                result.failure = QStringLiteral("get_sub_folder[%1]: ").arg(i) + error.text();
            continue;
        }
        result.value.push_back(std::make_unique<PSTFolder>(item, m_calls));
    }
    return result;
}

Expected<std::vector<Expected<std::unique_ptr<PSTMessage>, QString>>, PSTError> PSTFolder::messages(
    qint64 offset, qint64 limit) const
{
    const auto counted = messageCount();
    if (!counted)
        return counted.error();
    const qint64 count = counted.value();
    const qint64 start = std::max<qint64>(offset, 0);
    const qint64 wanted = std::max<qint64>(limit, 0);
    // Compared before adding, so that a huge limit cannot overflow.
    const qint64 end = wanted > count - start ? count : start + wanted;
    std::vector<Expected<std::unique_ptr<PSTMessage>, QString>> items;
    if (end <= start)
        return items;
    items.reserve(static_cast<size_t>(end - start));
    for (qint64 i = start; i < end; ++i)
        items.push_back(message(static_cast<int>(i)));
    return items;
}

Expected<std::unique_ptr<PSTMessage>, QString> PSTFolder::message(int index) const
{
    libpff_item_t *item = nullptr;
    LibpffErrorSlot error;
    if (m_calls->folder_get_sub_message(m_handle, index, &item, &error) < 0 || item == nullptr) {
        PSTMessage stray(item, m_calls);
        return QStringLiteral("get_sub_message[%1]: ").arg(index) + error.text();
    }
    return std::make_unique<PSTMessage>(item, m_calls);
}

}  // namespace ostrel
