#include "Probe.h"

#include "pst/PSTActor.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFutureWatcher>
#include <QTimer>
#include <QUrl>

#include <libpff.h>

#include <algorithm>
#include <memory>

namespace ostrel::bench {

qint64 peakRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

namespace {

double msSince(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

// Ticks every few milliseconds on the main thread and keeps the longest
// time it was kept from ticking.
class StallMeter {
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kIntervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longestGapMs = std::max(m_longestGapMs, msSince(m_sinceTick));
            m_sinceTick.restart();
        });
        m_sinceTick.start();
        m_timer.start();
    }
    double longestStallMs() const { return std::max(0.0, m_longestGapMs - kIntervalMs); }

private:
    static constexpr int kIntervalMs = 5;
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    double m_longestGapMs = 0;
};

// Waits for a reader future with the main thread's event loop running, as
// the window does.
template <typename T>
T await(const QFuture<T> &future)
{
    QEventLoop loop;
    QFutureWatcher<T> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
    return future.result();
}

void visit(const QList<MailFolder> &folders, const MailFolder *&largest, const MailFolder *&smallest, qint64 &count)
{
    for (const MailFolder &f : folders) {
        ++count;
        if (f.messageCount > 0) {
            if (!largest || f.messageCount > largest->messageCount)
                largest = &f;
            if (!smallest || f.messageCount < smallest->messageCount)
                smallest = &f;
        }
        visit(f.children, largest, smallest, count);
    }
}

QJsonObject folderJson(const MailFolder &folder)
{
    return {{"name", folder.name}, {"messages", folder.messageCount}};
}

}  // namespace

std::optional<QJsonObject> probeViewer(const QString &path, bool firstPageOnly, QString *error)
{
    const auto fail = [error](const QString &what, const PSTError &e) {
        if (error)
            *error = what + QStringLiteral(": ") + e.errorDescription() + QLatin1Char(' ') + e.message();
        return std::nullopt;
    };

    PSTActor actor;
    StallMeter meter;
    QElapsedTimer clock;
    clock.start();
    const PSTResult<QList<MailFolder>> tree = await(actor.openFile(QUrl::fromLocalFile(path)));
    const double openMs = msSince(clock);
    const qint64 rssOpen = peakRssKiB();
    if (!tree)
        return fail(QStringLiteral("open"), tree.error());

    const MailFolder *largest = nullptr;
    const MailFolder *smallest = nullptr;
    qint64 folders = 0;
    visit(*tree, largest, smallest, folders);
    if (!largest) {
        if (error)
            *error = QStringLiteral("the archive holds no messages");
        return std::nullopt;
    }

    const auto first = await(actor.loadMessages(*largest, 0, 100));
    const double firstPageMs = msSince(clock);
    const qint64 rssFirstPage = peakRssKiB();
    if (!first)
        return fail(QStringLiteral("first page"), first.error());
    if (firstPageOnly)
        return QJsonObject{{"openMs", openMs}, {"firstPageMs", firstPageMs}, {"firstPageMessages", first->size()}};

    clock.restart();
    const auto next = await(actor.loadMessages(*largest, 100, 100));
    const double pageLargestMs = msSince(clock);
    if (!next)
        return fail(QStringLiteral("next page"), next.error());

    clock.restart();
    const auto small = await(actor.loadMessages(*smallest, 0, 100));
    const double pageSmallMs = msSince(clock);
    if (!small)
        return fail(QStringLiteral("small folder"), small.error());

    return QJsonObject{{"openMs", openMs},
                       {"firstPageMs", firstPageMs},
                       {"pageLargestMs", pageLargestMs},
                       {"pageSmallMs", pageSmallMs},
                       {"rssOpenKiB", rssOpen},
                       {"rssFirstPageKiB", rssFirstPage},
                       {"mainThreadStallMs", meter.longestStallMs()},
                       {"folders", folders},
                       {"largest", folderJson(*largest)},
                       {"smallest", folderJson(*smallest)},
                       {"firstPageMessages", first->size()},
                       {"nextPageMessages", next->size()},
                       {"smallPageMessages", small->size()}};
}

namespace {

struct ErrorDeleter {
    void operator()(libpff_error_t *e) const { libpff_error_free(&e); }
};
using ErrorPtr = std::unique_ptr<libpff_error_t, ErrorDeleter>;

struct FileDeleter {
    void operator()(libpff_file_t *f) const { libpff_file_free(&f, nullptr); }
};
using FilePtr = std::unique_ptr<libpff_file_t, FileDeleter>;

QString errorText(libpff_error_t *raw)
{
    ErrorPtr owned(raw);
    if (!raw)
        return QStringLiteral("unknown libpff error");
    char text[1024] = {};
    libpff_error_sprint(raw, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

}  // namespace

std::optional<QJsonObject> probeLibpffFloor(const QString &path, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    QElapsedTimer clock;
    clock.start();
    libpff_file_t *raw = nullptr;
    libpff_error_t *e = nullptr;
    if (libpff_file_initialize(&raw, &e) != 1) {
        if (error)
            *error = errorText(e);
        return std::nullopt;
    }
    FilePtr file(raw);
    if (libpff_file_open(file.get(), name.constData(), LIBPFF_OPEN_READ, &e) != 1) {
        if (error)
            *error = errorText(e);
        return std::nullopt;
    }
    const double openMs = msSince(clock);
    if (libpff_file_close(file.get(), &e) != 0) {
        if (error)
            *error = errorText(e);
        return std::nullopt;
    }
    file.reset();
    return QJsonObject{{"floorMs", msSince(clock)}, {"floorOpenMs", openMs}, {"rssKiB", peakRssKiB()}};
}

}  // namespace ostrel::bench
