#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace ostrel::bench {

// Median, least and greatest of repeated runs.
struct Summary {
    double median = 0;
    double min = 0;
    double max = 0;
    int runs = 0;
};
std::optional<Summary> summarize(QList<double> values);

// One finished child process: how it ended, how long it took from spawn to
// reaping, and its peak resident set as the kernel counted it.
struct ChildRun {
    int exitCode = -1;   // -1 when it died of a signal
    int signal = 0;
    double wallMs = 0;
    qint64 peakRssKiB = 0;
    QByteArray out;      // standard output, when captured
    QByteArray errTail;  // the last few KiB of standard error
};

// Spawns argv[0] (found on PATH) with the rest as arguments, in workDir when
// that is given. Output not captured goes to /dev/null. Returns nothing, and
// says why, when the program cannot be started. The peak resident set is
// never below this process's own: exec carries the spawner's high-water
// mark over to the child.
std::optional<ChildRun> runChild(const QStringList &argv, bool captureOut, QString *error,
                                 const QString &workDir = {});

// Like runChild without captured output, but with the program's own peak
// resident set: it runs under GNU time, a process small enough not to
// lift the figure.
std::optional<ChildRun> runMeasuredChild(const QStringList &argv, QString *error, const QString &workDir = {});

// One line of callgrind_annotate's per-function table.
struct ProfileLine {
    qint64 cost = 0;
    double percent = 0;
    QString function;
};
// The program total and the first `count` function lines of
// `callgrind_annotate --inclusive=yes` output.
struct Profile {
    qint64 total = 0;
    QList<ProfileLine> top;
};
std::optional<Profile> parseCallgrindAnnotate(const QByteArray &text, int count);

// A short, stable name for what an archive is made from: the writer's
// settings and the writer program itself, so a changed writer makes anew.
QString archiveKey(const QString &settings, const QByteArray &writerBytes);

}  // namespace ostrel::bench
