#include "MessageRow.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>
#include <vector>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace ostrel {

void reserveRows(QList<MessageRow> &rows, qsizetype n)
{
    rows.reserve(n);
#if defined(Q_OS_LINUX) && defined(MADV_HUGEPAGE)
    // Only whole huge pages inside the buffer; a hint, so its failure is
    // of no concern.
    constexpr quintptr kHugePage = 2 * 1024 * 1024;
    const auto begin = (reinterpret_cast<quintptr>(rows.constData()) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = reinterpret_cast<quintptr>(rows.constData() + rows.capacity()) & ~(kHugePage - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

namespace {
void prefetchRow(const MessageRow *row)
{
#if defined(__GNUC__) || defined(__clang__)
    const char *bytes = reinterpret_cast<const char *>(row);
    for (size_t line = 0; line < sizeof(MessageRow); line += 64)
        __builtin_prefetch(bytes + line, 1);
#else
    Q_UNUSED(row);
#endif
}

struct Key {
    quint64 date;  // newestFirstKey
    qsizetype at;  // the row's position before the sort
};

// Sorts keys already in storage order, a byte of their dates at a time from
// the lowest: each pass keeps the order of the one before, so equal dates
// stay in storage order. Bytes that every date shares need no pass.
void radixSort(std::vector<Key> &keys)
{
    if (keys.empty())
        return;
    constexpr int kBytes = 8;
    std::array<std::array<size_t, 256>, kBytes> counts{};
    for (const Key &k : keys)
        for (int b = 0; b < kBytes; ++b)
            ++counts[size_t(b)][(k.date >> (8 * b)) & 0xFF];
    std::vector<Key> spare(keys.size());
    for (int b = 0; b < kBytes; ++b) {
        auto &count = counts[size_t(b)];
        if (count[(keys.front().date >> (8 * b)) & 0xFF] == keys.size())
            continue;
        size_t next = 0;
        for (size_t &c : count)
            next += std::exchange(c, next);
        for (const Key &k : keys)
            spare[count[(k.date >> (8 * b)) & 0xFF]++] = k;
        keys.swap(spare);
    }
}
}  // namespace

void sortRows(QList<MessageRow> &rows)
{
    std::vector<Key> keys;
    keys.reserve(size_t(rows.size()));
    bool storageOrder = true;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        keys.push_back({newestFirstKey(rows[i].date), i});
        storageOrder = storageOrder && (i == 0 || rows[i - 1].storageIndex < rows[i].storageIndex);
    }
    const auto before = [&rows](const Key &a, const Key &b) {
        if (a.date != b.date)
            return a.date < b.date;
        return rows[a.at].storageIndex < rows[b.at].storageIndex;
    };
    if (std::is_sorted(keys.begin(), keys.end(), before))
        return;
    if (storageOrder)
        radixSort(keys);
    else
        std::sort(keys.begin(), keys.end(), before);
    // Each cycle of the permutation moves its rows one step, through one
    // spare row: no second list, and each row moves once. The walk is known
    // ahead, so the rows a few steps on are fetched while these move: in a
    // large folder each step is otherwise a wait on memory.
    constexpr int kAhead = 8;
    MessageRow *data = rows.data();
    std::vector<bool> placed(keys.size());
    for (size_t start = 0; start < keys.size(); ++start) {
        if (placed[start] || keys[start].at == qsizetype(start))
            continue;
        size_t ahead = start;
        for (int k = 0; k < kAhead; ++k)
            ahead = size_t(keys[ahead].at);
        MessageRow spare = std::move(data[start]);
        size_t to = start;
        while (true) {
            placed[to] = true;
            const size_t from = size_t(keys[to].at);
            if (from == start) {
                data[to] = std::move(spare);
                break;
            }
            ahead = size_t(keys[ahead].at);
            prefetchRow(data + ahead);
            data[to] = std::move(data[from]);
            to = from;
        }
    }
}

void freeRows(QList<MessageRow> &&rows)
{
    QList<MessageRow> gone = std::move(rows);
    const qsizetype n = gone.size();
    if (!gone.isDetached() || n > std::numeric_limits<qint32>::max())
        return;
    // A listing's rows are made in storage order, and each row's own texts
    // follow the row before's on the heap: freed in that order, the heap
    // merges each with a neighbour just freed, where the list order would
    // send every free to a cold spot. Rows that are not one whole listing
    // (each storage index of 0 to n - 1 once) go as they lie.
    std::vector<qint32> at(size_t(n), -1);
    for (qsizetype i = 0; i < n; ++i) {
        const qint64 s = gone[i].storageIndex;
        if (s < 0 || s >= n || at[size_t(s)] >= 0)
            return;
        at[size_t(s)] = qint32(i);
    }
    MessageRow *data = gone.data();
    constexpr qsizetype kAhead = 8;
    for (qsizetype s = 0; s < n; ++s) {
        if (s + kAhead < n)
            prefetchRow(data + at[size_t(s + kAhead)]);
        data[at[size_t(s)]] = MessageRow();
    }
}

}  // namespace ostrel
