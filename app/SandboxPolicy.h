#pragma once

#include "platform/Platform.h"

#include <QByteArray>
#include <QString>
#include <chrono>

namespace ostrel {

// HTML mail is drawn by Chromium, whose sandbox refuses to start as root.
// Rather than letting Chromium end the process without a window, ostrel
// decides before it starts: keep the sandbox, run without it because the user
// said so, or refuse to run as root and say how to go on.
struct SandboxInputs {
    bool runsAsRoot = false;
    bool noSandboxOption = false;       // --no-sandbox on the command line
    bool disableSandboxEnvSet = false;  // QTWEBENGINE_DISABLE_SANDBOX, whatever its value
    QByteArray chromiumFlagsEnv;        // QTWEBENGINE_CHROMIUM_FLAGS

    // This process: its user, its arguments (before Qt sees them) and environment.
    static SandboxInputs ofThisProcess(int argc, const char *const *argv);
};

struct SandboxChoice {
    enum class Decision { keep, off, refuseAsRoot };
    Decision decision = Decision::keep;
    QString turnedOffBy;  // with off: the option or variable that asked for it
};

SandboxChoice chooseSandbox(const SandboxInputs &inputs);

// Whether the arguments hold the option, before the first "--".
bool hasNoSandboxOption(int argc, const char *const *argv);

// With off, tells Chromium before it starts (QTWEBENGINE_DISABLE_SANDBOX).
void applySandboxChoice(const SandboxChoice &choice);

// What the user is told, translated: the one line on standard error for each
// case, and the alert shown before a refused start.
QString sandboxOffNotice(const SandboxChoice &choice);
QString rootRefusalLine();
AlertRequest rootRefusalAlert();

// How long the refusal stays on screen when nobody answers it.
inline constexpr std::chrono::seconds kRootRefusalShownFor{15};

}  // namespace ostrel
