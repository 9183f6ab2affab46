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

// A function of callgrind_annotate's table without the source file before
// it and the object after it: "f.cpp:ns::g(int) [/bin/x]" is "ns::g(int)".
QString functionName(const QString &annotated);
// The lines in order, each function once (its first line) under its bare
// name, up to count of them.
QList<ProfileLine> distinctFunctions(const QList<ProfileLine> &lines, int count);

// A short, stable name for what an archive is made from: the writer's
// settings and the writer program itself, so a changed writer makes anew.
QString archiveKey(const QString &settings, const QByteArray &writerBytes);

// The engines a run measures, from --engine: "native", "libpff" or "both"
// (both in that order); nothing for any other word.
std::optional<QStringList> engineList(const QString &option);

// A figure against its limit. A strict limit must be undercut ("under
// 15 ms"), the others only not exceeded ("at most 20 ms").
struct Target {
    QString what;
    double value = 0;
    double limit = 0;
    QString unit;
    bool strict = false;
};
bool met(const Target &target);
// "  what: value unit (limit ...) met", or "MISSED by ..." with the excess.
QString targetLine(const Target &target);

// A figure as the tables print it: MiB to a tenth, others to three
// significant places or whole numbers from 1000 on.
QString figure(double value, const QString &unit);

// The positions of rows in list order, newest first: a stable sort on the
// time (0 meaning none, which sorts last), ties in storage order.
QList<qsizetype> newestFirst(const QList<quint64> &times);

// count positions spread evenly over [0, total): the first, the last and
// those between, each once; fewer when total is smaller.
QList<qint64> spreadPositions(qint64 total, int count);

// What a person types, one keystroke at a time: every prefix of word,
// shortest first.
QStringList keystrokes(const QString &word);

}  // namespace ostrel::bench
