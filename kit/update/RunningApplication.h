#pragma once

#include "update/UpdateChecker.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace ostrel {

// The running version text, or "0.0.0" when the application has none.
QString currentVersionString(const std::optional<QString> &shortVersion);
// The build number text converted whole; 0 when missing or not an integer ("1.2" gives 0).
qint64 currentBuildNumber(const std::optional<QString> &buildText);
// The first three numbers of a release text such as the kernel's "6.1.0-18-amd64".
SystemVersion systemVersionFromRelease(const QString &release);
SystemVersion runningSystemVersion();

// Update checks are offered unless the build switched them off or a package
// store updates the application itself (Flatpak, Snap).
struct UpdateAvailabilityProbe {
    bool enabledInBuild = true;
    QString flatpakInfoPath = QStringLiteral("/.flatpak-info");
    std::function<QString(const char *)> environment;  // empty: the process environment
};
bool isUpdateCheckingAvailable(const UpdateAvailabilityProbe &probe);

}  // namespace ostrel
