#include "pst/libpff/PSTFile.h"

#include "pst/libpff/LibpffCalls.h"
#include "pst/libpff/LibpffError.h"
#include "pst/libpff/LibpffItem.h"
#include "pst/libpff/PSTFolder.h"

#include <QFile>

namespace ostrel {

namespace {
constexpr int kWindows1252 = 1252;
}  // namespace

PSTFile::PSTFile(std::shared_ptr<const LibpffCalls> calls) : m_calls(std::move(calls)) {}

Expected<std::unique_ptr<PSTFile>, PSTError> PSTFile::open(const QString &path,
                                                          std::shared_ptr<const LibpffCalls> calls)
{
    std::unique_ptr<PSTFile> file(new PSTFile(std::move(calls)));
    const LibpffCalls &lib = *file->m_calls;
    const QByteArray nativePath = QFile::encodeName(path);
    libpff_file_t *handle = nullptr;
    {
        LibpffErrorSlot error;
        if (lib.file_initialize(&handle, &error) != 1 || handle == nullptr)
            return PSTError::libpffNotInitialized();
    }
    {
        LibpffErrorSlot error;
        if (lib.file_open(handle, nativePath.constData(), LIBPFF_OPEN_READ, &error) != 1) {
            const QString text = error.text();
            LibpffErrorSlot freeError;
            lib.file_free(&handle, &freeError);
            return PSTError::parsingFailed(QStringLiteral("file_open: ") + text);
        }
    }
    {
        // Without the code page the archive still opens; the record rules
        // decode 8-bit strings themselves.
        LibpffErrorSlot error;
        lib.file_set_ascii_codepage(handle, kWindows1252, &error);
    }
    file->m_handle = handle;
    return file;
}

PSTFile::~PSTFile()
{
    if (m_handle) {
        LibpffErrorSlot closeError;
        m_calls->file_close(m_handle, &closeError);
        LibpffErrorSlot freeError;
        m_calls->file_free(&m_handle, &freeError);
        m_handle = nullptr;
    }
}

Expected<std::unique_ptr<PSTFolder>, PSTError> PSTFile::rootFolder() const
{
    if (!m_handle)
        return PSTError::libpffNotInitialized();
    libpff_item_t *item = nullptr;
    LibpffErrorSlot error;
    const int result = m_calls->file_get_root_folder(m_handle, &item, &error);
    if (result >= 0 && item != nullptr)
        return std::make_unique<PSTFolder>(item, m_calls);
    LibpffItem stray(*m_calls, item);
    return PSTError::parsingFailed(QStringLiteral("get_root_folder: ") + error.text());
}

Expected<libpff_item_t *, QString> PSTFile::messageStore() const
{
    libpff_item_t *item = nullptr;
    LibpffErrorSlot error;
    if (m_calls->file_get_message_store(m_handle, &item, &error) != 1 || item == nullptr) {
        LibpffItem stray(*m_calls, item);
        return QStringLiteral("get_message_store: ") + error.text();
    }
    return item;
}

Expected<libpff_item_t *, QString> PSTFile::item(quint32 node) const
{
    libpff_item_t *item = nullptr;
    LibpffErrorSlot error;
    if (m_calls->file_get_item_by_identifier(m_handle, node, &item, &error) != 1 || item == nullptr) {
        LibpffItem stray(*m_calls, item);
        return QStringLiteral("get_item_by_identifier[0x%1]: ").arg(node, 0, 16) + error.text();
    }
    return item;
}

}  // namespace ostrel
