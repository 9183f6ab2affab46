#include "pst/engine/ArchivePath.h"

#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

namespace {
const char *kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISFIFO(mode))
        return "a named pipe";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return "not an ordinary file";
}
}  // namespace

std::optional<PSTError> checkArchivePath(const QString &path)
{
    if (path.isEmpty())
        return PSTError::fileNotFound();
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    // stat, not open: opening a FIFO for reading waits for a writer.
    if (::stat(native.constData(), &info) != 0)
        return PSTError::fileNotFound();
    if (!S_ISREG(info.st_mode))
        return PSTError::parsingFailed(QStringLiteral("file_open: not a regular file (%1)")
                                           .arg(QLatin1String(kindOf(info.st_mode))));
    if (::access(native.constData(), R_OK) != 0)
        return PSTError::accessDenied();
    return std::nullopt;
}

}  // namespace ostrel
