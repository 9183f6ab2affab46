#include "Harness.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace ostrel::bench {

std::optional<Summary> summarize(QList<double> values)
{
    if (values.isEmpty())
        return std::nullopt;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    Summary s;
    s.runs = int(n);
    s.min = values.front();
    s.max = values.back();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
    return s;
}

namespace {

// Owns the file actions of one spawn.
class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&m_actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(const SpawnActions &) = delete;
    SpawnActions &operator=(const SpawnActions &) = delete;
    posix_spawn_file_actions_t *get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

}  // namespace

std::optional<ChildRun> runChild(const QStringList &argv, bool captureOut, QString *error, const QString &workDir)
{
    if (argv.isEmpty()) {
        if (error)
            *error = QStringLiteral("no program given");
        return std::nullopt;
    }
    QTemporaryFile errFile;
    if (!errFile.open()) {
        if (error)
            *error = QStringLiteral("cannot make a file for the child's standard error: %1").arg(errFile.errorString());
        return std::nullopt;
    }

    int pipeFds[2] = {-1, -1};
    if (captureOut && ::pipe2(pipeFds, O_CLOEXEC) != 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    Fd readEnd(pipeFds[0]);
    Fd writeEnd(pipeFds[1]);

    SpawnActions actions;
    if (captureOut)
        posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const QByteArray errPath = QFile::encodeName(errFile.fileName());
    posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, errPath.constData(), O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const QByteArray dir = QFile::encodeName(workDir);
    if (!workDir.isEmpty())
        posix_spawn_file_actions_addchdir_np(actions.get(), dir.constData());

    QList<QByteArray> args;
    for (const QString &a : argv)
        args.append(QFile::encodeName(a));
    std::vector<char *> cargv;
    for (QByteArray &a : args)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);

    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, cargv[0], actions.get(), nullptr, cargv.data(), environ);
    if (spawned != 0) {
        if (error)
            *error = QStringLiteral("cannot start %1: %2").arg(argv.first(), QString::fromLocal8Bit(std::strerror(spawned)));
        return std::nullopt;
    }
    writeEnd.reset();

    ChildRun run;
    if (captureOut) {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
            if (got > 0)
                run.out.append(buffer, got);
            else if (got == 0 || errno != EINTR)
                break;
        }
    }
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            if (error)
                *error = QString::fromLocal8Bit(std::strerror(errno));
            return std::nullopt;
        }
    }
    run.wallMs = double(clock.nsecsElapsed()) / 1e6;
    run.peakRssKiB = usage.ru_maxrss;
    if (WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.signal = WTERMSIG(status);

    errFile.seek(0);
    const QByteArray err = errFile.readAll();
    run.errTail = err.right(4096);
    return run;
}

std::optional<ChildRun> runMeasuredChild(const QStringList &argv, QString *error, const QString &workDir)
{
    static const QString gnuTime = QStringLiteral("/usr/bin/time");
    if (!QFileInfo(gnuTime).isExecutable()) {
        if (error)
            *error = QStringLiteral("GNU time (%1) is not installed").arg(gnuTime);
        return std::nullopt;
    }
    QTemporaryFile report;
    if (!report.open()) {
        if (error)
            *error = QStringLiteral("cannot make a file for GNU time's report: %1").arg(report.errorString());
        return std::nullopt;
    }
    auto run = runChild(QStringList{gnuTime, QStringLiteral("-f"), QStringLiteral("%M"), QStringLiteral("-o"),
                                    report.fileName()}
                            + argv,
                        false, error, workDir);
    if (!run)
        return std::nullopt;
    // The figure is the last line; a failed command has a status line before it.
    report.seek(0);
    const QList<QByteArray> lines = report.readAll().trimmed().split('\n');
    bool ok = false;
    run->peakRssKiB = lines.last().trimmed().toLongLong(&ok);
    if (!ok && run->exitCode == 0) {
        if (error)
            *error = QStringLiteral("GNU time reported no peak memory for %1").arg(argv.value(0));
        return std::nullopt;
    }
    return run;
}

std::optional<Profile> parseCallgrindAnnotate(const QByteArray &text, int count)
{
    // "1,234,567 (98.76%)  file:function [object]"
    static const QRegularExpression line(QStringLiteral("^\\s*([0-9,]+)\\s+\\(\\s*([0-9.]+)%\\)\\s+(.*\\S)\\s*$"));
    Profile profile;
    bool haveTotal = false;
    for (const QByteArray &raw : text.split('\n')) {
        const QRegularExpressionMatch m = line.match(QString::fromUtf8(raw));
        if (!m.hasMatch())
            continue;
        bool ok = false;
        const qint64 cost = m.captured(1).remove(QLatin1Char(',')).toLongLong(&ok);
        if (!ok)
            continue;
        const QString what = m.captured(3);
        if (what.startsWith(QLatin1String("PROGRAM TOTALS"))) {
            profile.total = cost;
            haveTotal = true;
            continue;
        }
        if (!haveTotal || profile.top.size() >= count)
            continue;
        profile.top.append({cost, m.captured(2).toDouble(), what});
    }
    if (!haveTotal)
        return std::nullopt;
    return profile;
}

QString functionName(const QString &annotated)
{
    QString name = annotated;
    if (name.endsWith(QLatin1Char(']'))) {
        const qsizetype object = name.lastIndexOf(QLatin1String(" ["));
        if (object >= 0)
            name.truncate(object);
    }
    // The file ends at the first single colon; a function's own are doubled.
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] != QLatin1Char(':'))
            continue;
        if (i + 1 < name.size() && name[i + 1] == QLatin1Char(':'))
            break;
        return name.mid(i + 1);
    }
    return name;
}

QList<ProfileLine> distinctFunctions(const QList<ProfileLine> &lines, int count)
{
    QList<ProfileLine> distinct;
    QSet<QString> seen;
    for (const ProfileLine &line : lines) {
        if (distinct.size() >= count)
            break;
        const QString name = functionName(line.function);
        if (seen.contains(name))
            continue;
        seen.insert(name);
        distinct.append({line.cost, line.percent, name});
    }
    return distinct;
}

QString archiveKey(const QString &settings, const QByteArray &writerBytes)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(settings.toUtf8());
    hash.addData(QByteArrayView("\0", 1));
    hash.addData(writerBytes);
    return QString::fromLatin1(hash.result().toHex().left(16));
}

std::optional<QStringList> engineList(const QString &option)
{
    if (option == QLatin1String("both"))
        return QStringList{QStringLiteral("native"), QStringLiteral("libpff")};
    if (option == QLatin1String("native") || option == QLatin1String("libpff"))
        return QStringList{option};
    return std::nullopt;
}

bool met(const Target &target)
{
    return target.strict ? target.value < target.limit : target.value <= target.limit;
}

QString figure(double value, const QString &unit)
{
    if (unit == QLatin1String("MiB"))
        return QString::number(value, 'f', 1);
    const double size = std::abs(value);
    if (size >= 1000)
        return QString::number(value, 'f', 0);
    return QString::number(value, 'f', size >= 100 ? 0 : size >= 10 ? 1 : size >= 1 ? 2 : 3);
}

QString targetLine(const Target &target)
{
    const bool ok = met(target);
    QString line = QStringLiteral("  %1: %2 %3 (limit %4%5 %3) %6")
                       .arg(target.what.leftJustified(52), figure(target.value, target.unit), target.unit,
                            target.strict ? QStringLiteral("< ") : QStringLiteral("<= "),
                            figure(target.limit, target.unit), ok ? QStringLiteral("met") : QStringLiteral("MISSED"));
    if (!ok)
        line += QStringLiteral(" by %1 %2").arg(figure(target.value - target.limit, target.unit), target.unit);
    return line;
}

QList<qsizetype> newestFirst(const QList<quint64> &times)
{
    QList<qsizetype> order(times.size());
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::stable_sort(order.begin(), order.end(), [&times](qsizetype a, qsizetype b) {
        const quint64 ta = times[a];
        const quint64 tb = times[b];
        if ((ta == 0) != (tb == 0))
            return tb == 0;
        return ta > tb;
    });
    return order;
}

QList<qint64> spreadPositions(qint64 total, int count)
{
    QList<qint64> positions;
    if (total <= 0 || count <= 0)
        return positions;
    if (count == 1 || total == 1)
        return {0};
    const qint64 n = std::min<qint64>(total, count);
    for (qint64 i = 0; i < n; ++i)
        positions.append(i * (total - 1) / (n - 1));
    return positions;
}

QStringList keystrokes(const QString &word)
{
    QStringList typed;
    for (qsizetype i = 1; i <= word.size(); ++i)
        typed.append(word.left(i));
    return typed;
}

}  // namespace ostrel::bench
