#include "update/RunningApplication.h"

#include "update/Version.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>

namespace ostrel {

QString currentVersionString(const std::optional<QString> &shortVersion)
{
    return shortVersion ? *shortVersion : QStringLiteral("0.0.0");
}

qint64 currentBuildNumber(const std::optional<QString> &buildText)
{
    if (!buildText)
        return 0;
    return parseSignedInteger(*buildText).value_or(0);
}

SystemVersion systemVersionFromRelease(const QString &release)
{
    static const QRegularExpression numbers(QStringLiteral("^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"));
    const QRegularExpressionMatch m = numbers.match(release.trimmed());
    SystemVersion v;
    if (!m.hasMatch())
        return v;
    v.major = m.captured(1).toLongLong();
    v.minor = m.captured(2).toLongLong();
    v.patch = m.captured(3).toLongLong();
    return v;
}

SystemVersion runningSystemVersion()
{
    return systemVersionFromRelease(QSysInfo::kernelVersion());
}

bool isUpdateCheckingAvailable(const UpdateAvailabilityProbe &probe)
{
    if (!probe.enabledInBuild)
        return false;
    if (!probe.flatpakInfoPath.isEmpty() && QFileInfo::exists(probe.flatpakInfoPath))
        return false;
    const QString snap = probe.environment ? probe.environment("SNAP") : qEnvironmentVariable("SNAP");
    return snap.isEmpty();
}

}  // namespace ostrel
