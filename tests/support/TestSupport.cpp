#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

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

ToolRun runTool(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.start(program, arguments);
    ToolRun run;
    if (!process.waitForFinished(timeoutMs))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

}  // namespace ostrel::test
