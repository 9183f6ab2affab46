#include "SandboxPolicy.h"

#include <QCoreApplication>
#include <cstring>
#include <unistd.h>

namespace ostrel {

namespace {
const char kNoSandbox[] = "--no-sandbox";
const char kDisableSandboxVariable[] = "QTWEBENGINE_DISABLE_SANDBOX";
const char kChromiumFlagsVariable[] = "QTWEBENGINE_CHROMIUM_FLAGS";

bool flagsDisableSandbox(const QByteArray &flags)
{
    for (const QByteArray &flag : flags.simplified().split(' ')) {
        if (flag == kNoSandbox)
            return true;
    }
    return false;
}
}  // namespace

SandboxInputs SandboxInputs::ofThisProcess(int argc, const char *const *argv)
{
    SandboxInputs inputs;
    inputs.runsAsRoot = getuid() == 0 || geteuid() == 0;
    inputs.noSandboxOption = hasNoSandboxOption(argc, argv);
    // Qt WebEngine turns the sandbox off whenever the variable exists, even empty or "0".
    inputs.disableSandboxEnvSet = qEnvironmentVariableIsSet(kDisableSandboxVariable);
    inputs.chromiumFlagsEnv = qgetenv(kChromiumFlagsVariable);
    return inputs;
}

SandboxChoice chooseSandbox(const SandboxInputs &inputs)
{
    using Decision = SandboxChoice::Decision;
    if (inputs.noSandboxOption)
        return {Decision::off, QString::fromLatin1(kNoSandbox)};
    if (inputs.disableSandboxEnvSet)
        return {Decision::off, QString::fromLatin1(kDisableSandboxVariable)};
    if (flagsDisableSandbox(inputs.chromiumFlagsEnv))
        return {Decision::off, QString::fromLatin1(kChromiumFlagsVariable)};
    if (inputs.runsAsRoot)
        return {Decision::refuseAsRoot, {}};
    return {Decision::keep, {}};
}

bool hasNoSandboxOption(int argc, const char *const *argv)
{
    for (int i = 1; i < argc && argv[i]; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        if (std::strcmp(argv[i], kNoSandbox) == 0)
            return true;
    }
    return false;
}

void applySandboxChoice(const SandboxChoice &choice)
{
    if (choice.decision == SandboxChoice::Decision::off)
        qputenv(kDisableSandboxVariable, "1");
}

QString sandboxOffNotice(const SandboxChoice &choice)
{
    return QCoreApplication::translate("ostrel", "ostrel: Chromium's sandbox is off (%1); HTML mail is shown without it.")
        .arg(choice.turnedOffBy);
}

QString rootRefusalLine()
{
    return QCoreApplication::translate(
        "ostrel",
        "ostrel: not starting as root: Chromium, which shows HTML mail, cannot use its sandbox as root. "
        "Start ostrel as a regular user, or with --no-sandbox to run it without the sandbox.");
}

AlertRequest rootRefusalAlert()
{
    AlertRequest alert;
    alert.style = AlertStyle::warning;
    alert.title = QCoreApplication::translate("ostrel", "ostrel cannot run as root");
    alert.message = QCoreApplication::translate(
        "ostrel",
        "ostrel shows HTML mail with Chromium, whose sandbox does not work for the root user.\n\n"
        "Start ostrel as a regular user. Where it has to run as root, for example in a container, "
        "start it with the option --no-sandbox, which turns the sandbox off.");
    alert.buttons = {QCoreApplication::translate("ostrel", "Quit")};
    return alert;
}

}  // namespace ostrel
