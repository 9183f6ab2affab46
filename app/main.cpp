#include "AppShell.h"
#include "MainWindow.h"
#include "SandboxPolicy.h"
#include "UpdateController.h"
#include "icons/SymbolIcons.h"
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

using namespace ostrel;

namespace {
void printLine(const QString &line)
{
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}
}  // namespace

int main(int argc, char **argv)
{
    // Before Qt starts, since Chromium reads its sandbox setting once, at its own start.
    const SandboxChoice sandbox = chooseSandbox(SandboxInputs::ofThisProcess(argc, argv));
    applySandboxChoice(sandbox);

    WebView::registerUrlScheme();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ostrel"));
    QApplication::setOrganizationName(QStringLiteral("ostrel"));
    QApplication::setApplicationVersion(QStringLiteral(OSTREL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("app.ostrel.ostrel"));
    QApplication::setWindowIcon(applicationIcon());
    QApplication::setQuitOnLastWindowClosed(false);  // quitting goes through the support prompt

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
    parser.process(app);

    QtPlatform platform;
    if (sandbox.decision == SandboxChoice::Decision::refuseAsRoot) {
        // Said before Chromium could end the process without a window.
        printLine(rootRefusalLine());
        // Where nobody sees the display (a container, a script), the message
        // must not keep the process alive: it closes itself after a while.
        QTimer::singleShot(kRootRefusalShownFor, &app, [] {
            if (QWidget *dialog = QApplication::activeModalWidget())
                dialog->close();
        });
        platform.runAlert(rootRefusalAlert());
        return 1;
    }
    if (sandbox.decision == SandboxChoice::Decision::off)
        printLine(sandboxOffNotice(sandbox));

    QNetworkAccessManager session;
    QSettings settings;
    UpdateController updates(platform, &session, &settings, UpdateControllerSetup::forRunningApplication());
    AppShell shell(platform);
    shell.setUpdateController(&updates);
    QObject::connect(&shell, &AppShell::quitRequested, &app, &QApplication::quit, Qt::QueuedConnection);

    QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        files.append(QString());
    for (const QString &file : std::as_const(files)) {
        MainWindow *window = shell.newWindow();
        window->show();
        if (!file.isEmpty())
            window->viewModel().openPSTFile(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    }
    return app.exec();
}
