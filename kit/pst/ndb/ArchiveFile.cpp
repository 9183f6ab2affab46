#include "ArchiveFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel::pst {

namespace {

Error fileError(Error::Kind kind, const QString &what)
{
    return {kind, QStringLiteral("file: %1").arg(what)};
}

}  // namespace

Result<std::unique_ptr<ArchiveFile>> ArchiveFile::open(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    // Non-blocking, so that opening a FIFO returns at once; it is refused
    // below, before any read.
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            return fileError(Error::Kind::NotFound, QStringLiteral("no file at this path"));
        if (err == EACCES || err == EPERM)
            return fileError(Error::Kind::AccessDenied, QStringLiteral("no permission to read it"));
        return fileError(Error::Kind::Io, QString::fromLocal8Bit(std::strerror(err)));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return fileError(Error::Kind::Io, QString::fromLocal8Bit(std::strerror(err)));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return fileError(Error::Kind::NotRegularFile,
                         S_ISDIR(st.st_mode) ? QStringLiteral("a folder, not a file") : QStringLiteral("not a regular file"));
    }
    return std::unique_ptr<ArchiveFile>(new ArchiveFile(fd, quint64(st.st_size)));
}

ArchiveFile::~ArchiveFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Result<QByteArray> ArchiveFile::readUpTo(quint64 offset, qsizetype size) const
{
    if (offset >= m_size || size <= 0)
        return QByteArray();
    size = qsizetype(std::min<quint64>(quint64(size), m_size - offset));
    QByteArray out(size, Qt::Uninitialized);
    qsizetype done = 0;
    while (done < size) {
        const ssize_t n = ::pread(m_fd, out.data() + done, size_t(size - done), off_t(offset + quint64(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Error{Error::Kind::Io, QStringLiteral("file: %1 at %2").arg(QString::fromLocal8Bit(std::strerror(errno)),
                                                                              hex(offset + quint64(done)))};
        if (n == 0)
            break;  // the file shrank since it was opened
        done += n;
    }
    out.resize(done);
    return out;
}

Result<QByteArray> ArchiveFile::read(quint64 offset, qsizetype size, QLatin1StringView structure) const
{
    if (size < 0 || offset > m_size || quint64(size) > m_size - offset)
        return Error::damaged(structure, QStringLiteral("%1 bytes lie past the end of the file (%2 bytes)")
                                             .arg(size)
                                             .arg(m_size),
                              offset);
    auto bytes = readUpTo(offset, size);
    if (bytes && bytes->size() != size)
        return Error::damaged(structure, QStringLiteral("file ends after %1 of %2 bytes").arg(bytes->size()).arg(size),
                              offset);
    return bytes;
}

}  // namespace ostrel::pst
