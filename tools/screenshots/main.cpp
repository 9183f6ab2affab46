// ostrel-screenshots OUTDIR: writes the three marketing pictures of the window.
#include "screenshots/ScreenshotGenerator.h"

#include <QDir>
#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    // Nothing is shown on screen, so no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2 || arguments[1].isEmpty() || arguments[1].startsWith(QLatin1Char('-'))) {
        err << "usage: ostrel-screenshots OUTDIR\n"
               "Writes 01-overview.png, 02-search.png, 03-empty.png and 04-item.png (2880 x 1800) into OUTDIR.\n";
        return 2;
    }

    const auto outputs = ostrel::ScreenshotGenerator::generateAll(arguments[1]);
    if (!outputs) {
        err << "ostrel-screenshots: " << outputs.error().description << '\n';
        return 1;
    }
    for (const auto &output : *outputs) {
        out << QDir::toNativeSeparators(output.url.toLocalFile()) << " (" << output.pixelSize.width() << " x "
            << output.pixelSize.height() << ")\n";
    }
    return 0;
}
