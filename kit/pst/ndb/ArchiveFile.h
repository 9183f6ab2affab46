#pragma once

#include "pst/format/Error.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace ostrel::pst {

// The archive, opened read-only; only regular files are accepted (a FIFO or
// device is refused at once, never waited on). Reads are positioned, so the
// file has no cursor to share. Owns its descriptor; not copyable.
class ArchiveFile {
public:
    static Result<std::unique_ptr<ArchiveFile>> open(const QString &path);
    ~ArchiveFile();
    ArchiveFile(const ArchiveFile &) = delete;
    ArchiveFile &operator=(const ArchiveFile &) = delete;

    quint64 size() const { return m_size; }
    // Exactly `size` bytes at `offset`; a read past the end fails naming
    // `structure` and the offset.
    Result<QByteArray> read(quint64 offset, qsizetype size, QLatin1StringView structure) const;
    // Up to `size` bytes at `offset` (fewer where the file ends).
    Result<QByteArray> readUpTo(quint64 offset, qsizetype size) const;

private:
    ArchiveFile(int fd, quint64 size) : m_fd(fd), m_size(size) {}
    int m_fd = -1;
    quint64 m_size = 0;
};

}  // namespace ostrel::pst
