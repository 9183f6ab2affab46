#include "Bench.h"

#include "Harness.h"

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
};

// Sizes as people meet them: a small mailbox, a medium one of about 400 MB
// and a large one of about 1 GB with one folder of 20,000.
QList<ArchivePlan> plans(bool quick)
{
    QList<ArchivePlan> all{
        {QStringLiteral("small"), QStringLiteral("folders=20,messages=1000,seed=11,biggest=400")},
        {QStringLiteral("medium"), QStringLiteral("folders=100,messages=20000,seed=12,biggest=6000")},
        {QStringLiteral("large"), QStringLiteral("folders=300,messages=50000,seed=7,biggest=20000")},
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

std::optional<QJsonObject> measureInChild(const BenchOptions &options, const QString &what, const QString &archive,
                                          ChildRun *run, QString *error)
{
    const QStringList argv{options.selfPath, QStringLiteral("measure"), what, archive};
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
    *run = *child;
    return doc.object();
}

QJsonObject summaryJson(const Summary &s, const QString &unit)
{
    return {{"median", s.median}, {"min", s.min}, {"max", s.max}, {"runs", s.runs}, {"unit", unit}};
}

QString figure(double value, const QString &unit)
{
    if (unit == QLatin1String("MiB"))
        return QString::number(value, 'f', 1);
    if (value >= 1000)
        return QString::number(value, 'f', 0);
    return QString::number(value, 'f', value >= 10 ? 1 : 2);
}

struct Row {
    QString label;
    QString name;
    QString unit;
};

// The rows of the table, in reading order.
const QList<Row> &rows()
{
    static const QList<Row> list{
        {QStringLiteral("open"), QStringLiteral("open"), QStringLiteral("ms")},
        {QStringLiteral("first page (open + 100 of largest)"), QStringLiteral("firstPage"), QStringLiteral("ms")},
        {QStringLiteral("page of 100, largest folder"), QStringLiteral("pageLargest"), QStringLiteral("ms")},
        {QStringLiteral("page of 100, small folder"), QStringLiteral("pageSmall"), QStringLiteral("ms")},
        {QStringLiteral("libpff floor (open + close)"), QStringLiteral("floor"), QStringLiteral("ms")},
        {QStringLiteral("pffinfo FILE"), QStringLiteral("pffinfo"), QStringLiteral("ms")},
        {QStringLiteral("readpst -D -o DIR FILE"), QStringLiteral("readpst"), QStringLiteral("ms")},
        {QStringLiteral("pffexport -t DIR FILE"), QStringLiteral("pffexport"), QStringLiteral("ms")},
        {QStringLiteral("main thread longest stall"), QStringLiteral("mainThreadStall"), QStringLiteral("ms")},
        {QStringLiteral("peak RSS, open"), QStringLiteral("rssOpen"), QStringLiteral("MiB")},
        {QStringLiteral("peak RSS, open + first page"), QStringLiteral("rssFirstPage"), QStringLiteral("MiB")},
        {QStringLiteral("peak RSS, libpff floor"), QStringLiteral("rssFloor"), QStringLiteral("MiB")},
        {QStringLiteral("peak RSS, pffinfo"), QStringLiteral("rssPffinfo"), QStringLiteral("MiB")},
        {QStringLiteral("peak RSS, readpst"), QStringLiteral("rssReadpst"), QStringLiteral("MiB")},
        {QStringLiteral("peak RSS, pffexport"), QStringLiteral("rssPffexport"), QStringLiteral("MiB")},
    };
    return list;
}

QString pad(const QString &text, int width, bool right = false)
{
    return right ? text.rightJustified(width) : text.leftJustified(width);
}

struct Target {
    QString what;
    double value;
    double limit;
    QString unit;
};

QJsonObject targetJson(const Target &t)
{
    return {{"target", t.what}, {"value", t.value}, {"limit", t.limit}, {"unit", t.unit}, {"met", t.value <= t.limit}};
}

QString targetLine(const Target &t)
{
    const bool met = t.value <= t.limit;
    QString line = QStringLiteral("  %1: %2 %3 (limit %4 %3) %5")
                       .arg(pad(t.what, 40), figure(t.value, t.unit), t.unit, figure(t.limit, t.unit),
                            met ? QStringLiteral("met") : QStringLiteral("MISSED"));
    if (!met)
        line += QStringLiteral(" by %1 %2").arg(figure(t.value - t.limit, t.unit), t.unit);
    return line;
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
                           options.selfPath, QStringLiteral("measure"), QStringLiteral("first-page"), archive};
    const auto run = runChild(argv, false, error);
    if (!run)
        return std::nullopt;
    if (run->exitCode != 0) {
        *error = childFailure(argv, *run);
        return std::nullopt;
    }
    const QStringList annotateArgv{annotate, QStringLiteral("--inclusive=yes"), data};
    const auto report = runChild(annotateArgv, true, error);
    if (!report)
        return std::nullopt;
    if (report->exitCode != 0) {
        *error = childFailure(annotateArgv, *report);
        return std::nullopt;
    }
    const auto profile = parseCallgrindAnnotate(report->out, 500);
    if (!profile) {
        *error = QStringLiteral("callgrind_annotate printed no program total");
        return std::nullopt;
    }
    // The first lines are thread and executor plumbing around the reader;
    // the second list keeps only the reader's and libpff's own functions.
    static const QRegularExpression own(QStringLiteral("libpff_|ostrel::"));
    static const QRegularExpression plumbing(QStringLiteral("SerialExecutor|std::function|_M_invoke|_M_run|QtPrivate|QFuture"));
    QList<ProfileLine> inside;
    for (const ProfileLine &line : profile->top) {
        if (inside.size() < 10 && line.function.contains(own) && !line.function.contains(plumbing))
            inside.append(line);
    }
    say(QStringLiteral("\nProfile of the first page on %1 (callgrind, inclusive instructions; %2 in all, %3 s under valgrind):")
            .arg(QFileInfo(archive).fileName(), QLocale::c().toString(profile->total),
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
    const QJsonArray top = list(profile->top.mid(0, 10));
    say(QStringLiteral("  of which in the reader and libpff:"));
    const QJsonArray reader = list(inside);
    return QJsonObject{{"archive", QFileInfo(archive).fileName()},
                       {"tool", QStringLiteral("valgrind --tool=callgrind; callgrind_annotate --inclusive=yes")},
                       {"totalInstructions", profile->total},
                       {"wallMsUnderValgrind", run->wallMs},
                       {"top", top},
                       {"topInReader", reader}};
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

}  // namespace

int runBench(const BenchOptions &options)
{
    QJsonArray archivesJson;
    QString lastArchive;
    const QJsonObject machine = machineJson();
    say(QStringLiteral("ostrel-bench: %1 runs each; %2, %3 cores; warm page cache (every archive is read once before timing)")
            .arg(options.runs)
            .arg(machine.value(QLatin1String("cpu")).toString())
            .arg(machine.value(QLatin1String("cores")).toInt()));

    for (const ArchivePlan &plan : plans(options.quick)) {
        QString error;
        double generatedMs = 0;
        const auto archive = ensureArchive(options, plan, &generatedMs, &error);
        if (!archive)
            return failWith(error);
        lastArchive = *archive;
        const qint64 bytes = QFileInfo(*archive).size();

        // One untimed pass so that every reader meets the file in the page cache.
        ChildRun warm;
        const auto shape = measureInChild(options, QStringLiteral("viewer"), *archive, &warm, &error);
        if (!shape)
            return failWith(error);

        Series series;
        QMap<QString, QString> missing;
        for (int i = 0; i < options.runs; ++i) {
            ChildRun run;
            const auto viewer = measureInChild(options, QStringLiteral("viewer"), *archive, &run, &error);
            if (!viewer)
                return failWith(error);
            series.add(QStringLiteral("open"), viewer->value(QLatin1String("openMs")).toDouble());
            series.add(QStringLiteral("firstPage"), viewer->value(QLatin1String("firstPageMs")).toDouble());
            series.add(QStringLiteral("pageLargest"), viewer->value(QLatin1String("pageLargestMs")).toDouble());
            series.add(QStringLiteral("pageSmall"), viewer->value(QLatin1String("pageSmallMs")).toDouble());
            series.add(QStringLiteral("mainThreadStall"), viewer->value(QLatin1String("mainThreadStallMs")).toDouble());
            series.add(QStringLiteral("rssOpen"), viewer->value(QLatin1String("rssOpenKiB")).toDouble() / 1024.0);
            series.add(QStringLiteral("rssFirstPage"), viewer->value(QLatin1String("rssFirstPageKiB")).toDouble() / 1024.0);

            const auto floor = measureInChild(options, QStringLiteral("floor"), *archive, &run, &error);
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

        const QJsonObject largest = shape->value(QLatin1String("largest")).toObject();
        say(QStringLiteral("\n%1: %2 (%3 MB, %4 folders, largest \"%5\" with %6 messages)%7")
                .arg(plan.name, plan.settings, QString::number(double(bytes) / 1e6, 'f', 1))
                .arg(shape->value(QLatin1String("folders")).toInteger())
                .arg(largest.value(QLatin1String("name")).toString())
                .arg(largest.value(QLatin1String("messages")).toInteger())
                .arg(generatedMs > 0 ? QStringLiteral("; generated in %1 s").arg(generatedMs / 1000.0, 0, 'f', 1)
                                     : QStringLiteral("; from the cache")));
        say(QStringLiteral("  %1 %2 %3 %4").arg(pad(QString(), 40), pad(QStringLiteral("median"), 10, true),
                                                pad(QStringLiteral("min"), 10, true), pad(QStringLiteral("max"), 10, true)));
        QJsonObject figures;
        for (const Row &row : rows()) {
            const auto s = series.summary(row.name);
            if (!s)
                continue;
            figures.insert(row.name, summaryJson(*s, row.unit));
            say(QStringLiteral("  %1 %2 %3 %4 %5")
                    .arg(pad(row.label, 40), pad(figure(s->median, row.unit), 10, true),
                         pad(figure(s->min, row.unit), 10, true), pad(figure(s->max, row.unit), 10, true), row.unit));
        }
        for (auto it = missing.cbegin(); it != missing.cend(); ++it)
            say(QStringLiteral("  %1 not measured: %2").arg(it.key(), it.value()));

        const double firstPage = series.median(QStringLiteral("firstPage"));
        QJsonObject ratios;
        const auto ratio = [&](const QString &name, const QString &over) {
            const double base = series.median(over);
            if (base > 0)
                ratios.insert(name, firstPage / base);
        };
        ratio(QStringLiteral("firstPage/libpffFloor"), QStringLiteral("floor"));
        ratio(QStringLiteral("firstPage/readpst"), QStringLiteral("readpst"));
        ratio(QStringLiteral("firstPage/pffexport"), QStringLiteral("pffexport"));
        QStringList ratioText;
        for (auto it = ratios.constBegin(); it != ratios.constEnd(); ++it)
            ratioText << QStringLiteral("%1 = %2").arg(it.key(), QString::number(it.value().toDouble(), 'f', 3));
        say(QStringLiteral("  ratios: ") + ratioText.join(QStringLiteral("; ")));

        const QList<Target> targets{
            {QStringLiteral("first page / libpff floor"), firstPage / std::max(1e-9, series.median(QStringLiteral("floor"))),
             1.2, QStringLiteral("x")},
            {QStringLiteral("page of 100, largest folder"), series.median(QStringLiteral("pageLargest")), 150,
             QStringLiteral("ms")},
            {QStringLiteral("page of 100, small folder"), series.median(QStringLiteral("pageSmall")), 150,
             QStringLiteral("ms")},
            {QStringLiteral("peak RSS after open above the floor's"),
             series.median(QStringLiteral("rssOpen")) - series.median(QStringLiteral("rssFloor")), 30,
             QStringLiteral("MiB")},
        };
        QJsonArray targetsJson;
        say(QStringLiteral("  targets:"));
        for (const Target &t : targets) {
            targetsJson.append(targetJson(t));
            say(targetLine(t));
        }

        archivesJson.append(QJsonObject{{"name", plan.name},
                                        {"settings", plan.settings},
                                        {"file", QFileInfo(*archive).fileName()},
                                        {"bytes", bytes},
                                        {"generatedMs", generatedMs > 0 ? QJsonValue(generatedMs) : QJsonValue()},
                                        {"shape", *shape},
                                        {"figures", figures},
                                        {"ratios", ratios},
                                        {"targets", targetsJson}});
    }

    QJsonObject results{{"date", QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
                        {"machine", machine},
                        {"runs", options.runs},
                        {"quick", options.quick},
                        {"archives", archivesJson}};
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
