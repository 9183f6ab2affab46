#include "Probe.h"

#include "Harness.h"
#include "pst/PSTActor.h"
#include "platform/Platform.h"
#include "viewmodel/ostrelViewModel.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QCoreApplication>
#include <QFutureWatcher>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <libpff.h>

#include <algorithm>
#include <malloc.h>
#include <time.h>
#include <memory>
#include <type_traits>

namespace ostrel::bench {

namespace {

qint64 statusKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

}  // namespace

qint64 peakRssKiB()
{
    return statusKiB("VmHWM:");
}

namespace {

// Single messages opened per viewer run.
constexpr int kMessagesOpened = 21;

double msSince(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

// CPU time of the calling thread or of the whole process, in ms: on a
// shared machine the wall clock also counts other programs' turns.
double cpuMs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
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
    if constexpr (!std::is_void_v<T>)
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

std::optional<QJsonObject> probeViewer(const QString &path, EngineChoice engine, bool firstPageOnly, QString *error)
{
    const auto fail = [error](const QString &what, const PSTError &e) {
        if (error)
            *error = what + QStringLiteral(": ") + e.errorDescription() + QLatin1Char(' ') + e.message();
        return std::nullopt;
    };

    PSTActor actor(engine);
    StallMeter meter;
    const double cpuStart = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
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
    const double firstPageCpuMs = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
    const qint64 rssFirstPage = peakRssKiB();
    if (!first)
        return fail(QStringLiteral("first page"), first.error());
    if (firstPageOnly)
        return QJsonObject{{"engine", actor.engineName()},
                           {"openMs", openMs},
                           {"firstPageMs", firstPageMs},
                           {"firstPageMessages", first->size()}};

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

    // A message opened on its own, as selecting a row will: whole, from
    // places spread over the largest folder.
    QList<double> messageMs;
    for (const qint64 at : spreadPositions(largest->messageCount, kMessagesOpened)) {
        clock.restart();
        const auto one = await(actor.loadMessages(*largest, at, 1));
        messageMs.append(msSince(clock));
        if (!one)
            return fail(QStringLiteral("message %1").arg(at), one.error());
    }
    const auto opened = summarize(messageMs);

    return QJsonObject{{"engine", actor.engineName()},
                       {"openMs", openMs},
                       {"firstPageMs", firstPageMs},
                       {"firstPageCpuMs", firstPageCpuMs},
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
                       {"smallPageMessages", small->size()},
                       {"messageOpenMedianMs", opened ? opened->median : 0.0},
                       {"messageOpenMaxMs", opened ? opened->max : 0.0},
                       {"messagesOpened", messageMs.size()}};
}

namespace {

constexpr int kLongestKeystrokes = 6;

// Bytes the allocator has handed out and not had back, mapped blocks included:
// what held rows cost, without the pages earlier work left behind.
qint64 heapBytesInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}

// The first word of at least three letters in text, or text itself.
QString searchWord(const QString &text)
{
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (word.size() >= 3 && word.front().isLetter())
            return word.left(kLongestKeystrokes);
    }
    return text.left(kLongestKeystrokes);
}

// No panels, alerts or browsers: the bench drives the view model alone.
class SilentPlatform : public Platform {
public:
    std::optional<QString> runOpenPanel(const OpenPanelRequest &) override { return std::nullopt; }
    std::optional<QString> runSavePanel(const SavePanelRequest &) override { return std::nullopt; }
    int runAlert(const AlertRequest &request) override { return request.cancelIndex(); }
    void openUrl(const QUrl &) override {}
    void revealFile(const QString &) override {}
};

const MailFolder *largestFolder(const QList<MailFolder> &folders)
{
    const MailFolder *largest = nullptr;
    const MailFolder *smallest = nullptr;
    qint64 count = 0;
    visit(folders, largest, smallest, count);
    return largest;
}

}  // namespace

std::optional<QJsonObject> probeListing(const QString &path, EngineChoice engine, QString *error)
{
    const auto fail = [error](const QString &what) {
        if (error)
            *error = what;
        return std::nullopt;
    };
    SilentPlatform platform;
    QTemporaryDir settingsDir;
    QSettings settings(settingsDir.filePath(QStringLiteral("bench.ini")), QSettings::IniFormat);
    ostrelViewModel vm(platform, &settings, std::make_unique<PSTActor>(engine));

    QElapsedTimer clock;
    clock.start();
    await(vm.openPSTFile(QUrl::fromLocalFile(path)));
    const double openMs = msSince(clock);
    if (vm.errorMessage())
        return fail(QStringLiteral("open: ") + *vm.errorMessage());
    const MailFolder *found = largestFolder(vm.folders());
    if (!found)
        return fail(QStringLiteral("the archive holds no messages"));
    const MailFolder largest = *found;

    // The whole folder through the view model, as the window lists it: the
    // first screen when the first rows are in, all rows sorted and ready
    // when the selection's future finishes. The heap figure counts what
    // the rows hold in the view model and the actor.
    auto meter = std::make_unique<StallMeter>();
    double firstScreenMs = -1;
    double firstScreenCpuMs = -1;
    const double listCpuStart = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    QMetaObject::Connection firstRows = QObject::connect(&vm, &ostrelViewModel::rowsChanged, [&] {
        if (firstScreenMs < 0 && !vm.shownRows().isEmpty()) {
            firstScreenMs = msSince(clock);
            firstScreenCpuMs = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - listCpuStart;
        }
    });
    clock.restart();
    await(vm.selectFolder(largest));
    const double allRowsMs = msSince(clock);
    const double allRowsCpuMs = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - listCpuStart;
    const double listingStallMs = meter->longestStallMs();
    QObject::disconnect(firstRows);
    const qsizetype rowCount = vm.rows().size();
    if (rowCount == 0)
        return fail(QStringLiteral("the largest folder listed no rows"));
    // What the rows hold: the heap given back when the view model lets them
    // go for a folder that holds nothing; then the folder is listed again.
    // The parts sent ahead are freed on the reader's thread, in turn: a job
    // queued after them ends after them.
    await(vm.pstActor().readPreviews({}));
    const qint64 heapWithRows = heapBytesInUse();
    await(vm.selectFolder(MailFolder{}));
    await(vm.pstActor().readPreviews({}));
    const qint64 heapWithoutRows = heapBytesInUse();
    await(vm.selectFolder(largest));
    QList<QUuid> picked;
    for (const qint64 at : spreadPositions(rowCount, 21))
        picked.append(vm.rows().at(at).id);
    const QString word = searchWord(vm.rows().at(rowCount / 2).subject);

    // Rows selected, each message read whole on the actor.
    meter = std::make_unique<StallMeter>();
    QList<double> readMs;
    for (const QUuid &id : std::as_const(picked)) {
        clock.restart();
        vm.selectMessage(id);
        await(vm.messageRead());
        readMs.append(msSince(clock));
        if (!vm.selectedMessage())
            return fail(QStringLiteral("message %1: %2").arg(id.toString(), vm.messageFailure().value_or(QString())));
    }
    const double selectStallMs = meter->longestStallMs();

    // Search keystrokes: the row fields are searched on the main thread (a
    // slice per turn of the event loop in a large folder); each keystroke
    // then starts a body scan on the actor, which the next one cancels.
    meter = std::make_unique<StallMeter>();
    QList<double> keystrokeMs;
    QList<double> keystrokeCpuMs;
    qint64 lastMatches = 0;
    for (const QString &typed : keystrokes(word)) {
        const double keyCpuStart = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        clock.restart();
        vm.setSearchText(typed);
        // A large folder is searched in slices between events: the
        // keystroke is done when the last slice is.
        while (vm.isSearchingRows())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        keystrokeMs.append(msSince(clock));
        keystrokeCpuMs.append(cpuMs(CLOCK_THREAD_CPUTIME_ID) - keyCpuStart);
        lastMatches = vm.shownRows().size();
        QCoreApplication::processEvents();
    }
    vm.setSearchText(QString());
    QCoreApplication::processEvents();
    const double searchStallMs = meter->longestStallMs();


    const auto read = summarize(readMs);
    const auto keystroke = summarize(keystrokeMs);
    const auto keystrokeCpu = summarize(keystrokeCpuMs);
    return QJsonObject{{"engine", vm.pstActor().engineName()},
                       {"openMs", openMs},
                       {"folder", largest.name},
                       {"rows", rowCount},
                       {"listingNote", vm.listingNote()},
                       {"firstScreenMs", firstScreenMs},
                       {"firstScreenCpuMs", firstScreenCpuMs},
                       {"allRowsMs", allRowsMs},
                       {"allRowsCpuMs", allRowsCpuMs},
                       {"bytesPerRow", double(heapWithRows - heapWithoutRows) / double(rowCount)},
                       {"messageReadMedianMs", read ? read->median : 0.0},
                       {"searchWord", word},
                       {"keystrokeMedianMs", keystroke ? keystroke->median : 0.0},
                       {"keystrokeMaxMs", keystroke ? keystroke->max : 0.0},
                       {"keystrokeCpuMedianMs", keystrokeCpu ? keystrokeCpu->median : 0.0},
                       {"keystrokeMatches", lastMatches},
                       {"listingStallMs", listingStallMs},
                       {"selectStallMs", selectStallMs},
                       {"searchStallMs", searchStallMs},
                       {"mainThreadStallMs", std::max({listingStallMs, selectStallMs, searchStallMs})}};
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
