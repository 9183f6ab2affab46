// libFuzzer entry for the native engine: the input is an archive. It is
// opened (header, B-trees, hierarchy tables), every folder of the tree is
// listed and read page by page, and every attachment is streamed; a second
// pass reads each message by key with its properties cut short. Besides
// crashes, it aborts when a listing or a stream hands over more than it
// announced, or a page holds more messages than asked for.
#include "pst/native/NativeEngine.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>

#include <sys/mman.h>
#include <unistd.h>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// The input as a file of its own, in memory: the engine opens paths.
class MemoryFile {
public:
    MemoryFile(const uint8_t *data, size_t size) : m_fd(memfd_create("archive", 0))
    {
        require(m_fd >= 0);
        size_t done = 0;
        while (done < size) {
            const ssize_t n = write(m_fd, data + done, size - done);
            require(n > 0);
            done += size_t(n);
        }
    }
    ~MemoryFile() { close(m_fd); }
    MemoryFile(const MemoryFile &) = delete;
    MemoryFile &operator=(const MemoryFile &) = delete;
    QString path() const { return QStringLiteral("/proc/self/fd/%1").arg(m_fd); }

private:
    int m_fd;
};

// Bounds the work one input may cause, so that a wide but legal tree does
// not read as a time-out.
constexpr int kFolderBudget = 200;
constexpr qint64 kPage = 25;
constexpr qint64 kMessageBudget = 400;

void readMessage(ostrel::NativeEngine &engine, const ostrel::RawMessage &m, int depth)
{
    require(depth <= ostrel::kDeepestAttachedMessage + 1);
    for (const ostrel::RawAttachment &a : m.attachments.value) {
        if (a.embedded) {
            readMessage(engine, *a.embedded, depth + 1);
            continue;
        }
        qint64 streamed = 0;
        const auto n = engine.streamAttachment(ostrel::AttachmentKey{m.key, a.index}, [&](QByteArrayView chunk) {
            streamed += chunk.size();
            return true;
        });
        if (n) {
            require(*n == streamed);
            if (a.dataSize)
                require(*n == *a.dataSize);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const MemoryFile file(data, size);
    ostrel::NativeEngine engine;
    const auto archive = engine.open(file.path());
    if (!archive)
        return 0;
    int folders = 0;
    qint64 messages = 0;
    quint64 touched = 0;
    const ostrel::InlineDataPolicy someBytes = [](const ostrel::PropertyBag &, qint64 size) { return size < 4096; };
    std::function<void(const QList<ostrel::RawFolder> &)> walk = [&](const QList<ostrel::RawFolder> &list) {
        for (const ostrel::RawFolder &folder : list) {
            if (++folders > kFolderBudget)
                return;
            qint64 rows = 0;
            const auto listing = engine.listFolder(folder.node, [&](const QList<ostrel::RawRow> &chunk) {
                rows += chunk.size();
                // Every value's bytes are read: a row pointing past its
                // chunk's buffer is a fault for the sanitizer.
                for (const ostrel::RawRow &row : chunk) {
                    for (const auto &tagged : row.columns.tagged())
                        for (const char byte : tagged.value.bytes)
                            touched += quint8(byte);
                }
                return true;
            });
            if (listing)
                require(listing->rows == rows);
            for (qint64 offset = 0; messages < kMessageBudget; offset += kPage) {
                const auto page = engine.readMessages(folder.node, offset, kPage, someBytes);
                if (!page || page->isEmpty())
                    break;
                require(page->size() <= kPage);
                messages += page->size();
                for (const ostrel::RawMessage &m : *page) {
                    readMessage(engine, m, 0);
                    (void)engine.readMessage(m.key, {});
                    (void)engine.readProperties(m.key, {0x0037, 0x1000, 0x1013, 0x1009}, 64);
                }
            }
            walk(folder.children.value);
        }
    };
    walk(archive->folders.value);
    // Keeps the reads of the listed values from being optimised away.
    static volatile quint64 sink;
    sink = touched;
    return 0;
}
