#include "AppShell.h"
#include "MainWindow.h"
#include "SandboxPolicy.h"
#include "UpdateController.h"
#include "icons/SymbolIcons.h"
#include "platform/HeapPolicy.h"
#include "platform/QtPlatform.h"
#include "viewmodel/ostrelViewModel.h"
#include "views/WebView.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QTimer>
#include <QTranslator>
#include <chrono>
#include <cstdio>
#include <memory>

using namespace ostrel;

namespace {
void printLine(const QString &line)
{
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

// Whether Qt has a window system to start on. Without one, QApplication ends
// the process with an abort; the command line (--help, --version) and the
// messages on standard error still have to work in a plain terminal.
bool hasWindowSystem()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}
}  // namespace

int main(int argc, char **argv)
{
    applyHeapPolicy();
    // Before Qt starts, since Chromium reads its sandbox setting once, at its own start.
    const SandboxChoice sandbox = chooseSandbox(SandboxInputs::ofThisProcess(argc, argv));
    applySandboxChoice(sandbox);

    WebView::registerUrlScheme();
    const bool windows = hasWindowSystem();
    const std::unique_ptr<QCoreApplication> app =
        windows ? std::make_unique<QApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ostrel"));
    QCoreApplication::setOrganizationName(QStringLiteral("ostrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OSTREL_VERSION));

    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);
    QTranslator translator;
    if (translator.load(QLocale(), QStringLiteral("ostrel"), QStringLiteral("_"), QStringLiteral(":/i18n")))
        QApplication::installTranslator(&translator);

    QCommandLineParser parser;
    parser.setApplicationDescription(QApplication::translate("ostrel", "Read-only viewer for Outlook PST mail archives"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(
        QStringLiteral("no-sandbox"),
        QApplication::translate("ostrel", "Turn off Chromium's sandbox, which shows HTML mail (needed to run as root)")));
    parser.addPositionalArgument(QStringLiteral("FILE"), QApplication::translate("ostrel", "Archives to open, one window each"),
                                 QStringLiteral("[FILE...]"));
    parser.process(*app);

    if (sandbox.decision == SandboxChoice::Decision::refuseAsRoot) {
        // Said before Chromium could end the process without a window.
        printLine(rootRefusalLine());
        if (!windows)
            return 1;
        QtPlatform platform;
        // Where nobody sees the display (a container, a script), the message
        // must not keep the process alive: it closes itself after a while.
        QTimer::singleShot(kRootRefusalShownFor, app.get(), [] {
            if (QWidget *dialog = QApplication::activeModalWidget())
                dialog->close();
        });
        platform.runAlert(rootRefusalAlert());
        return 1;
    }
    if (!windows) {
        printLine(QCoreApplication::translate("ostrel", "ostrel: no display to show its windows on (DISPLAY is not set)."));
        return 1;
    }
    if (sandbox.decision == SandboxChoice::Decision::off)
        printLine(sandboxOffNotice(sandbox));

    QApplication::setDesktopFileName(QStringLiteral("app.ostrel.ostrel"));
    QApplication::setWindowIcon(applicationIcon());
    QApplication::setQuitOnLastWindowClosed(false);  // quitting goes through the support prompt
    QtPlatform platform;

    QNetworkAccessManager session;
    QSettings settings;
    UpdateController updates(platform, &session, &settings, UpdateControllerSetup::forRunningApplication());
    AppShell shell(platform);
    shell.setUpdateController(&updates);
    QObject::connect(&shell, &AppShell::quitRequested, app.get(), &QCoreApplication::quit, Qt::QueuedConnection);

    QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        files.append(QString());
    for (const QString &file : std::as_const(files)) {
        MainWindow *window = shell.newWindow();
        window->show();
        if (!file.isEmpty())
            window->viewModel().openPSTFile(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    }
    return QCoreApplication::exec();
}
