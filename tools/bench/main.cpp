// ostrel-bench: how long a person waits for the first message list, a page
// and how much memory that takes, against libpff's own floor and the
// converters people would otherwise use.
#include "Bench.h"
#include "Harness.h"
#include "Probe.h"
#include "platform/HeapPolicy.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>

#include <cstdio>

using namespace ostrel;
using namespace ostrel::bench;

namespace {

int measure(const QStringList &args)
{
    const auto engines = engineList(args.value(3, QStringLiteral("native")));
    if ((args.size() != 3 && args.size() != 4) || !engines || engines->size() != 1) {
        std::fprintf(stderr, "usage: ostrel-bench measure viewer|first-page|listing|floor FILE [native|libpff]\n");
        return 2;
    }
    // The viewer's heap, as the window runs with it.
    applyHeapPolicy();
    const QString &what = args[1];
    const QString &file = args[2];
    const EngineChoice engine = engines->first() == QLatin1String("libpff") ? EngineChoice::libpff : EngineChoice::native;
    QString error;
    std::optional<QJsonObject> result;
    if (what == QLatin1String("viewer") || what == QLatin1String("first-page"))
        result = probeViewer(file, engine, what == QLatin1String("first-page"), &error);
    else if (what == QLatin1String("listing"))
        result = probeListing(file, engine, &error);
    else if (what == QLatin1String("floor"))
        result = probeLibpffFloor(file, &error);
    else {
        std::fprintf(stderr, "ostrel-bench: unknown measurement \"%s\"\n", qPrintable(what));
        return 2;
    }
    if (!result) {
        std::fprintf(stderr, "ostrel-bench: %s: %s\n", qPrintable(file), qPrintable(error));
        return 1;
    }
    const QByteArray json = QJsonDocument(*result).toJson(QJsonDocument::Compact);
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    std::fputc('\n', stdout);
    return 0;
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args.first() == QLatin1String("measure"))
        return measure(args);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures open, first page, page loads, whole-folder listing and peak memory of ostrel's reader, "
        "engine by engine, on generated archives, against libpff's floor, pffinfo, readpst and pffexport."));
    parser.addHelpOption();
    const QCommandLineOption quick(QStringLiteral("quick"), QStringLiteral("The small archive only."));
    const QCommandLineOption noProfile(QStringLiteral("no-profile"),
                                       QStringLiteral("Skip the callgrind profile of the native first page."));
    const QCommandLineOption engine(QStringLiteral("engine"), QStringLiteral("The engines measured: native, libpff or both."),
                                    QStringLiteral("ENGINE"), QStringLiteral("both"));
    const QCommandLineOption libpffHuge(
        QStringLiteral("libpff-on-huge"),
        QStringLiteral("Also run libpff (its floor, its engine and the converters) on the 200,000-message archive; "
                       "its open alone takes many minutes."));
    const QCommandLineOption runs(QStringLiteral("runs"), QStringLiteral("Runs per figure (at least 1; 1 with --quick)."),
                                  QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption cache(QStringLiteral("cache"), QStringLiteral("Folder of generated archives."),
                                   QStringLiteral("DIR"), QStringLiteral("bench/cache"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("The JSON results."), QStringLiteral("FILE"),
                                 QStringLiteral("bench/results.json"));
    const QCommandLineOption writer(QStringLiteral("writer"), QStringLiteral("The archive writer, ostrel-mkpst."),
                                    QStringLiteral("PATH"));
    parser.addOptions({quick, noProfile, engine, libpffHuge, runs, cache, out, writer});
    parser.process(app);

    BenchOptions options;
    options.quick = parser.isSet(quick);
    options.profile = !parser.isSet(noProfile);
    options.libpffOnHuge = parser.isSet(libpffHuge);
    const auto engines = engineList(parser.value(engine));
    if (!engines) {
        std::fprintf(stderr, "ostrel-bench: --engine takes native, libpff or both\n");
        return 2;
    }
    options.engines = *engines;
    bool ok = true;
    // The quick run checks that the harness works, not the figures.
    options.runs = options.quick && !parser.isSet(runs) ? 1 : parser.value(runs).toInt(&ok);
    if (!ok || options.runs < 1) {
        std::fprintf(stderr, "ostrel-bench: --runs takes a whole number of at least 1\n");
        return 2;
    }
    options.cacheDir = parser.value(cache);
    options.outPath = parser.value(out);
    options.writerPath = parser.isSet(writer)
                             ? parser.value(writer)
                             : QDir(app.applicationDirPath()).filePath(QStringLiteral("../pstwriter/ostrel-mkpst"));
    options.selfPath = app.applicationFilePath();
    return runBench(options);
}
