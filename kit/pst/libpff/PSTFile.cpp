#include "pst/PSTFile.h"

#include "pst/LibpffCalls.h"
#include "pst/LibpffError.h"
#include "pst/PSTFolder.h"

#include <QFileInfo>
#include <unistd.h>

namespace ostrel {

namespace {
constexpr int kWindows1252 = 1252;

bool startScopedAccess(const QUrl &)
{
    return false;
}

void stopScopedAccess(const QUrl &) {}
}  // namespace

PSTFile::PSTFile(QUrl url, std::shared_ptr<const LibpffCalls> calls)
    : m_url(std::move(url)), m_calls(std::move(calls))
{
}

Expected<std::unique_ptr<PSTFile>, PSTError> PSTFile::open(const QUrl &url,
                                                          std::shared_ptr<const LibpffCalls> calls)
{
    std::unique_ptr<PSTFile> file(new PSTFile(url, std::move(calls)));
    file->m_didStartScopedAccess = startScopedAccess(url);
    const auto giveBack = [&file] {
        if (file->m_didStartScopedAccess)
            stopScopedAccess(file->m_url);
        file->m_didStartScopedAccess = false;
    };

    const QString path = url.toLocalFile();
    const QByteArray nativePath = QFile::encodeName(path);
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        giveBack();
        return PSTError::fileNotFound();
    }
    if (::access(nativePath.constData(), R_OK) != 0) {
        giveBack();
        return PSTError::accessDenied();
    }

    const LibpffCalls &lib = *file->m_calls;
    libpff_file_t *handle = nullptr;
    {
        LibpffErrorSlot error;
        if (lib.file_initialize(&handle, &error) != 1 || handle == nullptr) {
            error.drop();
            giveBack();
            return PSTError::libpffNotInitialized();
        }
    }
    {
        LibpffErrorSlot error;
        if (lib.file_open(handle, nativePath.constData(), LIBPFF_OPEN_READ, &error) != 1) {
            const QString text = error.text();
            LibpffErrorSlot freeError;
            lib.file_free(&handle, &freeError);
            giveBack();
            return PSTError::parsingFailed(QStringLiteral("file_open: ") + text);
        }
    }
    {
        // Without the code page the archive still opens; 8-bit strings then
        // decode with libpff's default.
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
    if (m_didStartScopedAccess)
        stopScopedAccess(m_url);
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
    if (item != nullptr) {
        LibpffErrorSlot freeError;
        m_calls->item_free(&item, &freeError);
    }
    return PSTError::parsingFailed(QStringLiteral("get_root_folder: ") + error.text());
}

}  // namespace ostrel
