#include "Bench.h"

#include "Harness.h"
#include "RtfProbe.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <cstdio>

namespace ostrel::bench {

namespace {

struct ArchivePlan {
    QString name;
    QString settings;
    bool huge = false;  // libpff's open takes many minutes here
};

// Sizes as people meet them: a small mailbox, a medium one of about 400 MB,
// a large one of about 1 GB with one folder of 20,000, and one folder of
// 200,000 short messages.
QList<ArchivePlan> plans(bool quick)
{
    QList<ArchivePlan> all{
        {QStringLiteral("small"), QStringLiteral("folders=20,messages=1000,seed=11,biggest=400")},
        {QStringLiteral("medium"), QStringLiteral("folders=100,messages=20000,seed=12,biggest=6000")},
        {QStringLiteral("large"), QStringLiteral("folders=300,messages=50000,seed=7,biggest=20000")},
        {QStringLiteral("huge"),
         QStringLiteral("folders=6,messages=200000,biggest=200000,body=200,htmlEvery=0,attachEvery=0"), true},
    };
    if (quick)
        all.resize(1);
    return all;
}

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

void say(const QString &line)
{
    out() << line << Qt::endl;
}

int failWith(const QString &message)
{
    std::fprintf(stderr, "ostrel-bench: %s\n", qPrintable(message));
    return 1;
}

QString childFailure(const QStringList &argv, const ChildRun &run)
{
    const QString how = run.signal ? QStringLiteral("signal %1").arg(run.signal)
                                   : QStringLiteral("exit code %1").arg(run.exitCode);
    return QStringLiteral("%1 failed (%2): %3")
        .arg(argv.join(QLatin1Char(' ')), how, QString::fromLocal8Bit(run.errTail).trimmed());
}

// The archive for a plan, made once per writer build and kept in the cache.
std::optional<QString> ensureArchive(const BenchOptions &options, const ArchivePlan &plan, double *generatedMs,
                                     QString *error)
{
    QFile writer(options.writerPath);
    if (!writer.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the archive writer %1: %2").arg(options.writerPath, writer.errorString());
        return std::nullopt;
    }
    const QString key = archiveKey(plan.settings, writer.readAll());
    if (!QDir().mkpath(options.cacheDir)) {
        *error = QStringLiteral("cannot create %1").arg(options.cacheDir);
        return std::nullopt;
    }
    const QString path = QDir(options.cacheDir).filePath(QStringLiteral("%1-%2.pst").arg(plan.name, key));
    *generatedMs = 0;
    if (QFileInfo::exists(path))
        return path;

    const QString partial = path + QStringLiteral(".partial");
    QFile::remove(partial);
    const QStringList argv{options.writerPath, QStringLiteral("--synthetic"), plan.settings, partial};
    const auto run = runChild(argv, false, error);
    if (!run)
        return std::nullopt;
    if (run->exitCode != 0) {
        QFile::remove(partial);
        *error = childFailure(argv, *run);
        return std::nullopt;
    }
    if (!QFile::rename(partial, path)) {
        *error = QStringLiteral("cannot rename %1 to %2").arg(partial, path);
        return std::nullopt;
    }
    *generatedMs = run->wallMs;
    return path;
}

// Figures of one kind over the runs.
class Series {
public:
    void add(const QString &name, double value) { m_values[name].append(value); }
    std::optional<Summary> summary(const QString &name) const { return summarize(m_values.value(name)); }
    double median(const QString &name) const
    {
        const auto s = summary(name);
        return s ? s->median : 0;
    }
    QStringList names() const { return m_values.keys(); }

private:
    QMap<QString, QList<double>> m_values;
};

struct Alternative {
    QString name;     // the figure's name
    QString program;
    // The arguments for an archive and an empty scratch folder.
    QStringList (*arguments)(const QString &archive, const QString &scratch);
};

const QList<Alternative> &alternatives()
{
    static const QList<Alternative> list{
        {QStringLiteral("pffinfo"), QStringLiteral("pffinfo"),
         [](const QString &archive, const QString &) { return QStringList{archive}; }},
        {QStringLiteral("readpst"), QStringLiteral("readpst"),
         [](const QString &archive, const QString &scratch) {
             return QStringList{QStringLiteral("-q"), QStringLiteral("-D"), QStringLiteral("-o"), scratch, archive};
         }},
        {QStringLiteral("pffexport"), QStringLiteral("pffexport"),
         [](const QString &archive, const QString &scratch) {
             return QStringList{QStringLiteral("-q"), QStringLiteral("-t"), scratch + QStringLiteral("/export"), archive};
         }},
    };
    return list;
}

// One probe in a child of its own, so that its memory and caches are its own.
std::optional<QJsonObject> measureInChild(const BenchOptions &options, const QStringList &what, QString *error)
{
    const QStringList argv = QStringList{options.selfPath, QStringLiteral("measure")} + what;
    const auto child = runChild(argv, true, error);
    if (!child)
        return std::nullopt;
    if (child->exitCode != 0) {
        *error = childFailure(argv, *child);
        return std::nullopt;
    }
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(child->out, &parse);
    if (!doc.isObject()) {
        *error = QStringLiteral("%1 printed no JSON: %2").arg(argv.join(QLatin1Char(' ')), parse.errorString());
        return std::nullopt;
    }
    return doc.object();
}

QJsonObject summaryJson(const Summary &s, const QString &unit)
{
    return {{"median", s.median}, {"min", s.min}, {"max", s.max}, {"runs", s.runs}, {"unit", unit}};
}

struct Row {
    QString label;
    QString name;   // the figure's name in the series and the JSON
    QString field;  // the probe's field
    QString unit;
};

// What each engine gives, in reading order: the viewer through the actor,
// then the whole-folder listing through the view model.
const QList<Row> &engineRows()
{
    static const QList<Row> list{
        {QStringLiteral("open, tree in hand"), QStringLiteral("open"), QStringLiteral("openMs"), QStringLiteral("ms")},
        {QStringLiteral("first page (open + 100 of largest)"), QStringLiteral("firstPage"), QStringLiteral("firstPageMs"),
         QStringLiteral("ms")},
        {QStringLiteral("  the same, CPU time of the process"), QStringLiteral("firstPageCpu"),
         QStringLiteral("firstPageCpuMs"), QStringLiteral("ms")},
        {QStringLiteral("page of 100, largest folder"), QStringLiteral("pageLargest"), QStringLiteral("pageLargestMs"),
         QStringLiteral("ms")},
        {QStringLiteral("page of 100, small folder"), QStringLiteral("pageSmall"), QStringLiteral("pageSmallMs"),
         QStringLiteral("ms")},
        {QStringLiteral("one message via the actor (median of 21)"), QStringLiteral("messageOpen"),
         QStringLiteral("messageOpenMedianMs"), QStringLiteral("ms")},
        {QStringLiteral("main thread longest stall"), QStringLiteral("mainThreadStall"),
         QStringLiteral("mainThreadStallMs"), QStringLiteral("ms")},
        {QStringLiteral("peak RSS, open"), QStringLiteral("rssOpen"), QStringLiteral("rssOpenKiB"), QStringLiteral("MiB")},
        {QStringLiteral("peak RSS, open + first page"), QStringLiteral("rssFirstPage"), QStringLiteral("rssFirstPageKiB"),
         QStringLiteral("MiB")},
        {QStringLiteral("engine open (raw tree)"), QStringLiteral("engineOpen"), QStringLiteral("list.openMs"),
         QStringLiteral("ms")},
        {QStringLiteral("largest folder: all rows, newest first"), QStringLiteral("allRows"),
         QStringLiteral("list.allRowsMs"), QStringLiteral("ms")},
        {QStringLiteral("  the same, CPU time of the process"), QStringLiteral("allRowsCpu"),
         QStringLiteral("list.allRowsCpuMs"), QStringLiteral("ms")},
        {QStringLiteral("largest folder: first screen (first rows shown)"), QStringLiteral("firstScreen"),
         QStringLiteral("list.firstScreenMs"), QStringLiteral("ms")},
        {QStringLiteral("  the same, CPU time of the process"), QStringLiteral("firstScreenCpu"),
         QStringLiteral("list.firstScreenCpuMs"), QStringLiteral("ms")},
        {QStringLiteral("largest folder: heap held per row"), QStringLiteral("bytesPerRow"),
         QStringLiteral("list.bytesPerRow"), QStringLiteral("B")},
        {QStringLiteral("row selected, message read whole (median of 21)"), QStringLiteral("messageRead"),
         QStringLiteral("list.messageReadMedianMs"), QStringLiteral("ms")},
        {QStringLiteral("search keystroke over its rows (median)"), QStringLiteral("keystroke"),
         QStringLiteral("list.keystrokeMedianMs"), QStringLiteral("ms")},
        {QStringLiteral("  the same, CPU time of the main thread"), QStringLiteral("keystrokeCpu"),
         QStringLiteral("list.keystrokeCpuMedianMs"), QStringLiteral("ms")},
        {QStringLiteral("main thread longest stall: listing"), QStringLiteral("listingStall"),
         QStringLiteral("list.listingStallMs"), QStringLiteral("ms")},
        {QStringLiteral("main thread longest stall: selecting"), QStringLiteral("selectStall"),
         QStringLiteral("list.selectStallMs"), QStringLiteral("ms")},
        {QStringLiteral("main thread longest stall: searching"), QStringLiteral("searchStall"),
         QStringLiteral("list.searchStallMs"), QStringLiteral("ms")},
        {QStringLiteral("main thread longest stall, whole folder"), QStringLiteral("folderStall"),
         QStringLiteral("list.mainThreadStallMs"), QStringLiteral("ms")},
    };
    return list;
}

// What runs without the viewer: libpff alone and the converters.
const QList<Row> &otherRows()
{
    static const QList<Row> list{
        {QStringLiteral("libpff floor (open + close)"), QStringLiteral("floor"), {}, QStringLiteral("ms")},
        {QStringLiteral("pffinfo FILE"), QStringLiteral("pffinfo"), {}, QStringLiteral("ms")},
        {QStringLiteral("readpst -D -o DIR FILE"), QStringLiteral("readpst"), {}, QStringLiteral("ms")},
        {QStringLiteral("pffexport -t DIR FILE"), QStringLiteral("pffexport"), {}, QStringLiteral("ms")},
        {QStringLiteral("peak RSS, libpff floor"), QStringLiteral("rssFloor"), {}, QStringLiteral("MiB")},
        {QStringLiteral("peak RSS, pffinfo"), QStringLiteral("rssPffinfo"), {}, QStringLiteral("MiB")},
        {QStringLiteral("peak RSS, readpst"), QStringLiteral("rssReadpst"), {}, QStringLiteral("MiB")},
        {QStringLiteral("peak RSS, pffexport"), QStringLiteral("rssPffexport"), {}, QStringLiteral("MiB")},
    };
    return list;
}

QString pad(const QString &text, int width, bool right = false)
{
    return right ? text.rightJustified(width) : text.leftJustified(width);
}

QString cell(const Summary &s, const QString &unit)
{
    return QStringLiteral("%1 (%2..%3)").arg(figure(s.median, unit), figure(s.min, unit), figure(s.max, unit));
}

QJsonObject targetJson(const Target &t)
{
    return {{"target", t.what}, {"value", t.value}, {"limit", t.limit}, {"unit", t.unit}, {"strict", t.strict},
            {"met", met(t)}};
}

// Reads the whole file once, so that every reader meets it in the page cache.
bool warmPageCache(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QByteArray buffer(4 << 20, Qt::Uninitialized);
    while (file.read(buffer.data(), buffer.size()) > 0) {
    }
    return true;
}

std::optional<QJsonObject> profileFirstPage(const BenchOptions &options, const QString &archive, QString *error)
{
    const QString valgrind = QStandardPaths::findExecutable(QStringLiteral("valgrind"));
    const QString annotate = QStandardPaths::findExecutable(QStringLiteral("callgrind_annotate"));
    if (valgrind.isEmpty() || annotate.isEmpty()) {
        *error = QStringLiteral("valgrind is not installed");
        return std::nullopt;
    }
    QTemporaryDir scratch;
    const QString data = scratch.filePath(QStringLiteral("callgrind.out"));
    const QStringList argv{valgrind, QStringLiteral("--tool=callgrind"), QStringLiteral("--callgrind-out-file=") + data,
                           options.selfPath, QStringLiteral("measure"), QStringLiteral("first-page"), archive,
                           QStringLiteral("native")};
    const auto run = runChild(argv, false, error);
    if (!run)
        return std::nullopt;
    if (run->exitCode != 0) {
        *error = childFailure(argv, *run);
        return std::nullopt;
    }
    // Inclusive costs say where the time goes, own costs where it is spent.
    std::optional<Profile> profiles[2];
    for (const bool inclusive : {true, false}) {
        const QStringList annotateArgv{annotate, inclusive ? QStringLiteral("--inclusive=yes") : QStringLiteral("--inclusive=no"),
                                       data};
        const auto report = runChild(annotateArgv, true, error);
        if (!report)
            return std::nullopt;
        if (report->exitCode != 0) {
            *error = childFailure(annotateArgv, *report);
            return std::nullopt;
        }
        profiles[inclusive ? 0 : 1] = parseCallgrindAnnotate(report->out, 500);
        if (!profiles[inclusive ? 0 : 1]) {
            *error = QStringLiteral("callgrind_annotate printed no program total");
            return std::nullopt;
        }
    }
    const Profile &profile = *profiles[0];
    // The first lines are thread and executor plumbing around the reader;
    // the second list keeps only the reader's and libpff's own functions.
    static const QRegularExpression own(QStringLiteral("libpff_|ostrel::"));
    static const QRegularExpression plumbing(QStringLiteral("SerialExecutor|std::function|_M_invoke|_M_run|QtPrivate|QFuture"));
    QList<ProfileLine> inside;
    for (const ProfileLine &line : profile.top) {
        if (line.function.contains(own) && !line.function.contains(plumbing))
            inside.append(line);
    }
    say(QStringLiteral("\nProfile of the native first page on %1 (callgrind; %2 instructions in all, %3 s under valgrind)")
            .arg(QFileInfo(archive).fileName(), QLocale::c().toString(profile.total),
                 QString::number(run->wallMs / 1000.0, 'f', 0)));
    const auto list = [](const QList<ProfileLine> &lines) {
        QJsonArray array;
        for (const ProfileLine &line : lines) {
            array.append(QJsonObject{{"instructions", line.cost}, {"percent", line.percent}, {"function", line.function}});
            say(QStringLiteral("  %1  %2%  %3")
                    .arg(QLocale::c().toString(line.cost).rightJustified(16),
                         QString::number(line.percent, 'f', 2).rightJustified(6), line.function.left(160)));
        }
        return array;
    };
    say(QStringLiteral("  top ten, inclusive:"));
    const QJsonArray top = list(distinctFunctions(profile.top, 10));
    say(QStringLiteral("  top ten in the reader and libpff, inclusive:"));
    const QJsonArray reader = list(distinctFunctions(inside, 10));
    say(QStringLiteral("  top ten by own instructions:"));
    const QJsonArray self = list(distinctFunctions(profiles[1]->top, 10));
    return QJsonObject{{"archive", QFileInfo(archive).fileName()},
                       {"tool", QStringLiteral("valgrind --tool=callgrind; callgrind_annotate --inclusive=yes|no")},
                       {"totalInstructions", profile.total},
                       {"wallMsUnderValgrind", run->wallMs},
                       {"top", top},
                       {"topInReader", reader},
                       {"topSelf", self}};
}

QJsonObject machineJson()
{
    QString cpu;
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : info.readAll().split('\n')) {
            if (line.startsWith("model name")) {
                cpu = QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
                break;
            }
        }
    }
    return {{"cpu", cpu},
            {"cores", QThread::idealThreadCount()},
            {"kernel", QSysInfo::kernelVersion()},
            {"os", QSysInfo::prettyProductName()}};
}

// The medians of one archive's figures, for targets across archives.
using Medians = QMap<QString, double>;

// What issue 15 and 16 ask of the native engine on one archive, beside the
// older targets that hold for every engine.
QList<Target> archiveTargets(const ArchivePlan &plan, const QStringList &engines, const Series &series,
                             const QJsonObject &listing)
{
    QList<Target> targets;
    const auto has = [&series](const QString &name) { return series.summary(name).has_value(); };
    const auto median = [&series](const QString &name) { return series.median(name); };
    const double floor = median(QStringLiteral("floor"));
    const QString rows = QLocale::c().toString(listing.value(QLatin1String("rows")).toInteger());
    if (engines.contains(QLatin1String("native"))) {
        const auto native = [](const QString &name) { return QStringLiteral("native:") + name; };
        targets.append({QStringLiteral("native page of 100, largest folder"), median(native("pageLargest")), 15,
                        QStringLiteral("ms"), true});
        targets.append({QStringLiteral("native page of 100, small folder"), median(native("pageSmall")), 15,
                        QStringLiteral("ms"), true});
        targets.append({QStringLiteral("native message opened via the actor (median)"), median(native("messageOpen")), 10,
                        QStringLiteral("ms")});
        targets.append({QStringLiteral("native memory per listed row"), median(native("bytesPerRow")), 400,
                        QStringLiteral("B")});
        targets.append({QStringLiteral("native main thread stall, whole folder listed, selected, searched"),
                        median(native("folderStall")), 50, QStringLiteral("ms")});
        if (plan.name == QLatin1String("large")) {
            if (has(QStringLiteral("floor")))
                targets.append({QStringLiteral("native first page, 0.5 % of libpff floor"), median(native("firstPage")),
                                floor * 0.005, QStringLiteral("ms")});
            targets.append({QStringLiteral("native all %1 rows sorted, ready").arg(rows), median(native("allRows")), 30,
                            QStringLiteral("ms")});
            targets.append({QStringLiteral("native search keystroke over %1 rows").arg(rows), median(native("keystroke")),
                            30, QStringLiteral("ms")});
        }
        if (plan.huge) {
            targets.append({QStringLiteral("native open, tree in hand"), median(native("open")), 20, QStringLiteral("ms")});
            targets.append({QStringLiteral("native peak RSS after the first page"), median(native("rssFirstPage")), 64,
                            QStringLiteral("MiB"), true});
            targets.append({QStringLiteral("native first screen of %1 rows").arg(rows), median(native("firstScreen")), 100,
                            QStringLiteral("ms")});
            targets.append({QStringLiteral("native all %1 rows sorted, ready").arg(rows), median(native("allRows")), 300,
                            QStringLiteral("ms")});
        }
    }
    for (const QString &engine : engines) {
        const QString prefix = engine + QLatin1Char(':');
        if (!has(prefix + QStringLiteral("open")))
            continue;
        if (has(QStringLiteral("floor"))) {
            targets.append({engine + QStringLiteral(" first page / libpff floor"),
                            median(prefix + QStringLiteral("firstPage")) / std::max(1e-9, floor), 1.2,
                            QStringLiteral("x")});
            targets.append({engine + QStringLiteral(" peak RSS after open above the floor's"),
                            median(prefix + QStringLiteral("rssOpen")) - median(QStringLiteral("rssFloor")), 30,
                            QStringLiteral("MiB")});
        }
        targets.append({engine + QStringLiteral(" page of 100, largest folder"),
                        median(prefix + QStringLiteral("pageLargest")), 150, QStringLiteral("ms")});
    }
    return targets;
}

// Adds the numeric fields of a probe's JSON to the series under
// engine:name, as the rows name them ("list." fields from the listing).
void addProbe(Series &series, const QString &engine, const QJsonObject &viewer, const QJsonObject &listing)
{
    for (const Row &row : engineRows()) {
        const bool fromListing = row.field.startsWith(QLatin1String("list."));
        const QJsonObject &from = fromListing ? listing : viewer;
        const QJsonValue value = from.value(fromListing ? row.field.mid(5) : row.field);
        if (!value.isDouble())
            continue;
        series.add(engine + QLatin1Char(':') + row.name,
                   row.unit == QLatin1String("MiB") ? value.toDouble() / 1024.0 : value.toDouble());
    }
}

}  // namespace

int runBench(const BenchOptions &options)
{
    QJsonArray archivesJson;
    QString lastArchive;
    QMap<QString, Medians> byArchive;
    const QJsonObject machine = machineJson();
    say(QStringLiteral("ostrel-bench: %1 runs each; engines %2; %3, %4 cores; warm page cache (every archive is read "
                       "once before timing); times are wall clock unless marked CPU, which a busy machine lifts less")
            .arg(options.runs)
            .arg(options.engines.join(QStringLiteral(", ")), machine.value(QLatin1String("cpu")).toString())
            .arg(machine.value(QLatin1String("cores")).toInt()));

    for (const ArchivePlan &plan : plans(options.quick)) {
        QString error;
        double generatedMs = 0;
        const auto archive = ensureArchive(options, plan, &generatedMs, &error);
        if (!archive)
            return failWith(error);
        lastArchive = *archive;
        const qint64 bytes = QFileInfo(*archive).size();
        if (!warmPageCache(*archive, &error))
            return failWith(error);

        const bool libpffHere = !plan.huge || options.libpffOnHuge;
        QStringList engines = options.engines;
        QStringList skipped;
        if (!libpffHere && engines.removeAll(QStringLiteral("libpff")) > 0)
            skipped << QStringLiteral("the libpff engine");
        if (!libpffHere)
            skipped << QStringLiteral("libpff's floor") << QStringLiteral("the converters");

        Series series;
        QMap<QString, QString> missing;
        QJsonObject shape;
        QJsonObject listingShape;
        for (int i = 0; i < options.runs; ++i) {
            for (const QString &engine : engines) {
                const auto viewer = measureInChild(options, {QStringLiteral("viewer"), *archive, engine}, &error);
                if (!viewer)
                    return failWith(error);
                const auto listing = measureInChild(options, {QStringLiteral("listing"), *archive, engine}, &error);
                if (!listing)
                    return failWith(error);
                if (viewer->value(QLatin1String("engine")).toString() != engine)
                    return failWith(QStringLiteral("asked for the %1 engine, the actor used \"%2\"")
                                        .arg(engine, viewer->value(QLatin1String("engine")).toString()));
                if (shape.isEmpty()) {
                    shape = *viewer;
                    listingShape = *listing;
                }
                addProbe(series, engine, *viewer, *listing);
            }
            if (!libpffHere)
                continue;

            const auto floor = measureInChild(options, {QStringLiteral("floor"), *archive}, &error);
            if (!floor)
                return failWith(error);
            series.add(QStringLiteral("floor"), floor->value(QLatin1String("floorMs")).toDouble());
            series.add(QStringLiteral("rssFloor"), floor->value(QLatin1String("rssKiB")).toDouble() / 1024.0);

            for (const Alternative &alt : alternatives()) {
                const QString program = QStandardPaths::findExecutable(alt.program);
                if (program.isEmpty()) {
                    missing.insert(alt.name, QStringLiteral("%1 is not installed").arg(alt.program));
                    continue;
                }
                QTemporaryDir scratch;
                const QStringList argv = QStringList{program} + alt.arguments(*archive, scratch.path());
                const auto child = runMeasuredChild(argv, &error);
                if (!child)
                    return failWith(error);
                if (child->exitCode != 0)
                    return failWith(childFailure(argv, *child));
                series.add(alt.name, child->wallMs);
                QString rssName = alt.name;
                rssName[0] = rssName[0].toUpper();
                series.add(QStringLiteral("rss") + rssName, double(child->peakRssKiB) / 1024.0);
            }
        }

        const QJsonObject largest = shape.value(QLatin1String("largest")).toObject();
        say(QStringLiteral("\n%1: %2 (%3 MB, %4 folders, largest \"%5\" with %6 messages)%7")
                .arg(plan.name, plan.settings, QString::number(double(bytes) / 1e6, 'f', 1))
                .arg(shape.value(QLatin1String("folders")).toInteger())
                .arg(largest.value(QLatin1String("name")).toString())
                .arg(largest.value(QLatin1String("messages")).toInteger())
                .arg(generatedMs > 0 ? QStringLiteral("; generated in %1 s").arg(generatedMs / 1000.0, 0, 'f', 1)
                                     : QStringLiteral("; from the cache")));
        if (!skipped.isEmpty())
            say(QStringLiteral("  not run here (--libpff-on-huge runs them): ") + skipped.join(QStringLiteral(", ")));

        // The engines side by side: median (least..greatest).
        constexpr int labelWidth = 50;
        constexpr int cellWidth = 28;
        QString header = QStringLiteral("  ") + pad(QString(), labelWidth);
        for (const QString &engine : engines)
            header += QLatin1Char(' ') + pad(engine + QStringLiteral(" median (min..max)"), cellWidth, true);
        say(header);
        QJsonObject figures;
        for (const Row &row : engineRows()) {
            QString line = QStringLiteral("  ") + pad(row.label, labelWidth);
            bool any = false;
            for (const QString &engine : engines) {
                const QString name = engine + QLatin1Char(':') + row.name;
                const auto s = series.summary(name);
                line += QLatin1Char(' ') + pad(s ? cell(*s, row.unit) : QStringLiteral("-"), cellWidth, true);
                if (s) {
                    figures.insert(name, summaryJson(*s, row.unit));
                    any = true;
                }
            }
            if (any)
                say(line + QLatin1Char(' ') + row.unit);
        }
        bool otherHeader = false;
        for (const Row &row : otherRows()) {
            const auto s = series.summary(row.name);
            if (!s)
                continue;
            if (!otherHeader) {
                say(QStringLiteral("  ") + pad(QStringLiteral("without the viewer"), labelWidth) + QLatin1Char(' ')
                    + pad(QStringLiteral("median (min..max)"), cellWidth, true));
                otherHeader = true;
            }
            figures.insert(row.name, summaryJson(*s, row.unit));
            say(QStringLiteral("  %1 %2 %3").arg(pad(row.label, labelWidth), pad(cell(*s, row.unit), cellWidth, true),
                                                 row.unit));
        }
        for (auto it = missing.cbegin(); it != missing.cend(); ++it)
            say(QStringLiteral("  %1 not measured: %2").arg(it.key(), it.value()));
        say(QStringLiteral("  listing: %1 rows of the largest folder%2; search typed \"%3\" (%4 rows match)")
                .arg(listingShape.value(QLatin1String("rows")).toInteger())
                .arg(listingShape.value(QLatin1String("listingNote")).toString().isEmpty()
                         ? QString()
                         : QStringLiteral(" (") + listingShape.value(QLatin1String("listingNote")).toString()
                               + QLatin1Char(')'))
                .arg(listingShape.value(QLatin1String("searchWord")).toString())
                .arg(listingShape.value(QLatin1String("keystrokeMatches")).toInteger()));

        QJsonObject ratios;
        for (const QString &engine : engines) {
            const double firstPage = series.median(engine + QStringLiteral(":firstPage"));
            const auto ratio = [&](const QString &over) {
                const double base = series.median(over);
                if (base > 0)
                    ratios.insert(QStringLiteral("%1 firstPage/%2").arg(engine, over), firstPage / base);
            };
            ratio(QStringLiteral("floor"));
            ratio(QStringLiteral("readpst"));
            ratio(QStringLiteral("pffexport"));
        }
        QStringList ratioText;
        for (auto it = ratios.constBegin(); it != ratios.constEnd(); ++it)
            ratioText << QStringLiteral("%1 = %2").arg(it.key(), QString::number(it.value().toDouble(), 'f', 4));
        if (!ratioText.isEmpty())
            say(QStringLiteral("  ratios: ") + ratioText.join(QStringLiteral("; ")));

        QJsonArray targetsJson;
        say(QStringLiteral("  targets:"));
        for (const Target &t : archiveTargets(plan, engines, series, listingShape)) {
            targetsJson.append(targetJson(t));
            say(targetLine(t));
        }
        for (const QString &name : series.names())
            byArchive[plan.name].insert(name, series.median(name));

        archivesJson.append(QJsonObject{{"name", plan.name},
                                        {"settings", plan.settings},
                                        {"file", QFileInfo(*archive).fileName()},
                                        {"bytes", bytes},
                                        {"generatedMs", generatedMs > 0 ? QJsonValue(generatedMs) : QJsonValue()},
                                        {"engines", QJsonArray::fromStringList(engines)},
                                        {"skipped", QJsonArray::fromStringList(skipped)},
                                        {"shape", shape},
                                        {"listing", listingShape},
                                        {"figures", figures},
                                        {"ratios", ratios},
                                        {"targets", targetsJson}});
    }

    // Opening must not grow with the number of messages.
    QJsonArray acrossJson;
    const QString nativeOpen = QStringLiteral("native:open");
    if (byArchive.value(QStringLiteral("large")).contains(nativeOpen)
        && byArchive.value(QStringLiteral("huge")).contains(nativeOpen)) {
        const Target t{QStringLiteral("native open on huge, 2x its figure on large"),
                       byArchive[QStringLiteral("huge")][nativeOpen], 2 * byArchive[QStringLiteral("large")][nativeOpen],
                       QStringLiteral("ms")};
        say(QStringLiteral("\nacross archives:"));
        say(targetLine(t));
        acrossJson.append(targetJson(t));
    }

    say(QStringLiteral("\nnot measured here: scrolling the window's list (the whole-folder stall above drives the "
                       "view model without a window)"));

    QJsonObject results{{"date", QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
                        {"machine", machine},
                        {"runs", options.runs},
                        {"quick", options.quick},
                        {"engines", QJsonArray::fromStringList(options.engines)},
                        {"archives", archivesJson},
                        {"acrossArchives", acrossJson}};
    // Opening the corpus message with the largest RTF body, when the corpus is here.
    const QString corpus = qEnvironmentVariable("OSTREL_CORPUS_DIR", QStringLiteral("../shared/pst-corpus"));
    if (!options.quick && QFileInfo(corpus).isDir()) {
        QString error;
        if (const auto rtf = probeLargestRtfMessage(corpus, std::max(options.runs, 21), &error)) {
            say(QStringLiteral("\nopen the largest corpus RTF message (%1, \"%2\"): median %3 ms (%4..%5), budget 20 ms")
                    .arg(rtf->value(QLatin1String("archive")).toString(), rtf->value(QLatin1String("subject")).toString())
                    .arg(rtf->value(QLatin1String("median")).toDouble(), 0, 'f', 2)
                    .arg(rtf->value(QLatin1String("min")).toDouble(), 0, 'f', 2)
                    .arg(rtf->value(QLatin1String("max")).toDouble(), 0, 'f', 2));
            results.insert(QStringLiteral("largestRtfMessage"), *rtf);
        } else {
            say(QStringLiteral("\nlargest corpus RTF message: ") + error);
        }
    }
    if (options.profile && !lastArchive.isEmpty()) {
        QString error;
        const auto profile = profileFirstPage(options, lastArchive, &error);
        if (!profile)
            return failWith(QStringLiteral("profile: ") + error);
        results.insert(QStringLiteral("profile"), *profile);
    }

    const QFileInfo outInfo(options.outPath);
    if (!QDir().mkpath(outInfo.absolutePath()))
        return failWith(QStringLiteral("cannot create %1").arg(outInfo.absolutePath()));
    QFile file(options.outPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(QJsonDocument(results).toJson()) < 0 || !file.flush()) {
        return failWith(QStringLiteral("cannot write %1: %2").arg(options.outPath, file.errorString()));
    }
    say(QStringLiteral("\nWrote %1").arg(options.outPath));
    return 0;
}

}  // namespace ostrel::bench
