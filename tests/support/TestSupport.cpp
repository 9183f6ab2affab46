#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>

namespace ostrel::test {

std::optional<QString> corpusDir()
{
    const QString configured = qEnvironmentVariable("OSTREL_CORPUS_DIR");
    if (configured.isEmpty())
        return std::nullopt;
    const QFileInfo info(configured);
    if (!info.isDir() || !QFileInfo::exists(configured + QStringLiteral("/MANIFEST.md")))
        return std::nullopt;
    return info.canonicalFilePath();
}

QString corpusFile(const QString &name)
{
    const auto dir = corpusDir();
    return dir ? QDir(*dir).filePath(name) : QString();
}

}  // namespace ostrel::test
