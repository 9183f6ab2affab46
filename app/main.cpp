#include "icons/SymbolIcons.h"
#include "platform/QtPlatform.h"
#include "views/ContentView.h"
#include "views/WebView.h"
#include "viewmodel/ostrelViewModel.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QMainWindow>

using namespace ostrel;

int main(int argc, char **argv)
{
    WebView::registerUrlScheme();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ostrel"));
    QApplication::setOrganizationName(QStringLiteral("ostrel"));
    QApplication::setApplicationVersion(QStringLiteral(OSTREL_VERSION));
    QApplication::setWindowIcon(applicationIcon());
    QApplication::setDesktopFileName(QStringLiteral("ostrel"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QApplication::translate("ostrel", "Read-only viewer for Outlook PST mail archives"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QApplication::translate("ostrel", "Archives to open"), QStringLiteral("[FILE...]"));
    parser.process(app);

    QtPlatform platform;
    QMainWindow window;
    auto *content = new ContentView(platform);
    platform.setParentWindow(&window);
    window.setCentralWidget(content);
    window.setMinimumSize(900, 600);
    window.resize(1200, 750);
    window.setWindowTitle(QStringLiteral("ostrel"));
    window.show();
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty())
        content->viewModel().openPSTFile(QUrl::fromLocalFile(QFileInfo(files.constFirst()).absoluteFilePath()));
    return app.exec();
}
