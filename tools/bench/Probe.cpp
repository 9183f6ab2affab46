#include "Probe.h"

#include "Harness.h"
#include "pst/PSTActor.h"
#include "pst/RecordRules.h"
#include "viewmodel/SearchMatcher.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFutureWatcher>
#include <QTimer>
#include <QUrl>

#include <libpff.h>

#include <algorithm>
#include <malloc.h>
#include <time.h>
#include <memory>

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

// The columns a row's date comes from: delivery, else submit, else creation.
constexpr quint16 kDateColumns[] = {0x0E06, 0x0039, 0x3007};
// The row fields a search keystroke looks at: subject, sender name and
// address (as stored and SMTP), the To and Cc display text.
constexpr quint16 kSearchColumns[] = {0x0037, 0x0C1A, 0x0C1F, 0x5D01, 0x0E04, 0x0E03};
constexpr int kLongestKeystrokes = 6;

void visitRaw(const QList<RawFolder> &folders, const RawFolder *&largest)
{
    for (const RawFolder &f : folders) {
        if (f.messageCount.readable() && (!largest || f.messageCount.value > largest->messageCount.value))
            largest = &f;
        visitRaw(f.children.value, largest);
    }
}

// Bytes the allocator has handed out and not had back, mapped blocks included:
// what held rows cost, without the pages earlier work left behind.
qint64 heapBytesInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}

quint64 rowTime(const PropertyBag &columns)
{
    for (const quint16 id : kDateColumns) {
        if (const auto t = rules::filetime(columns, id); t && *t)
            return *t;
    }
    return 0;
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

}  // namespace

std::optional<QJsonObject> probeListing(const QString &path, EngineChoice engine, QString *error)
{
    const auto fail = [error](const QString &what, const PSTError &e) {
        if (error)
            *error = what + QStringLiteral(": ") + e.errorDescription() + QLatin1Char(' ') + e.message();
        return std::nullopt;
    };
    QElapsedTimer clock;
    clock.start();
    auto opened = EngineFactory::standard().open(path, engine);
    const double openMs = msSince(clock);
    if (!opened)
        return fail(QStringLiteral("open"), opened.error());
    ArchiveEngine &reader = *opened->engine;
    const RawFolder *largest = nullptr;
    visitRaw(opened->archive.folders.value, largest);
    if (!largest || largest->messageCount.value <= 0) {
        if (error)
            *error = QStringLiteral("the archive holds no messages");
        return std::nullopt;
    }

    // Rows, their list order and the memory they hold.
    const qint64 heapBefore = heapBytesInUse();
    QList<RawRow> rows;
    double firstChunkMs = -1;
    double firstChunkCpuMs = -1;
    const double listCpuStart = cpuMs(CLOCK_THREAD_CPUTIME_ID);
    clock.restart();
    const auto listing = reader.listFolder(largest->node, [&](QList<RawRow> &&chunk) {
        if (firstChunkMs < 0) {
            firstChunkMs = msSince(clock);
            firstChunkCpuMs = cpuMs(CLOCK_THREAD_CPUTIME_ID) - listCpuStart;
        }
        rows.append(std::move(chunk));
        return true;
    });
    const double listMs = msSince(clock);
    if (!listing)
        return fail(QStringLiteral("listing"), listing.error());
    QList<quint64> times;
    times.reserve(rows.size());
    for (const RawRow &row : rows)
        times.append(rowTime(row.columns));
    const QList<qsizetype> order = newestFirst(times);
    const double allRowsMs = msSince(clock);
    const double allRowsCpuMs = cpuMs(CLOCK_THREAD_CPUTIME_ID) - listCpuStart;
    const qint64 heapAfter = heapBytesInUse();
    if (rows.isEmpty()) {
        if (error)
            *error = QStringLiteral("the largest folder listed no rows");
        return std::nullopt;
    }

    // Whole messages read by key, at the engine.
    const InlineDataPolicy policy = [](const PropertyBag &, qint64 size) { return size < rules::kInlineDataLimit; };
    QList<double> readMs;
    for (const qint64 at : spreadPositions(rows.size(), 21)) {
        clock.restart();
        const auto message = reader.readMessage(MessageKey{rows[at].node, {}}, policy);
        readMs.append(msSince(clock));
        if (!message)
            return fail(QStringLiteral("message %1").arg(rows[at].node), message.error());
    }

    // Search keystrokes over the row fields, with the viewer's matcher.
    QList<QStringList> fields;
    fields.reserve(rows.size());
    for (const RawRow &row : rows) {
        QStringList texts;
        for (const quint16 id : kSearchColumns) {
            if (auto t = rules::nonEmptyText(row.columns, id))
                texts.append(*std::move(t));
        }
        fields.append(texts);
    }
    const QString word =
        searchWord(rules::subject(rules::text(rows[order[order.size() / 2]].columns, rules::Tag::subject)));
    QList<double> keystrokeMs;
    QList<double> keystrokeCpuMs;
    qint64 lastMatches = 0;
    for (const QString &typed : keystrokes(word)) {
        const double keyCpuStart = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        clock.restart();
        const SearchMatcher matcher(typed);
        qint64 matches = 0;
        for (const QStringList &texts : std::as_const(fields)) {
            if (std::any_of(texts.cbegin(), texts.cend(), [&matcher](const QString &t) { return matcher.matches(t); }))
                ++matches;
        }
        keystrokeMs.append(msSince(clock));
        keystrokeCpuMs.append(cpuMs(CLOCK_THREAD_CPUTIME_ID) - keyCpuStart);
        lastMatches = matches;
    }
    const auto read = summarize(readMs);
    const auto keystroke = summarize(keystrokeMs);
    const auto keystrokeCpu = summarize(keystrokeCpuMs);
    return QJsonObject{{"engine", reader.name()},
                       {"openMs", openMs},
                       {"folder", qint64(largest->node)},
                       {"rows", rows.size()},
                       {"unreadableRows", listing->unreadable},
                       {"firstChunkMs", firstChunkMs},
                       {"firstScreenMs", openMs + firstChunkMs},
                       {"listMs", listMs},
                       {"allRowsMs", allRowsMs},
                       {"allRowsCpuMs", allRowsCpuMs},
                       {"firstChunkCpuMs", firstChunkCpuMs},
                       {"bytesPerRow", double(heapAfter - heapBefore) / double(rows.size())},
                       {"messageReadMedianMs", read ? read->median : 0.0},
                       {"searchWord", word},
                       {"keystrokeMedianMs", keystroke ? keystroke->median : 0.0},
                       {"keystrokeMaxMs", keystroke ? keystroke->max : 0.0},
                       {"keystrokeCpuMedianMs", keystrokeCpu ? keystrokeCpu->median : 0.0},
                       {"keystrokeMatches", lastMatches}};
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
