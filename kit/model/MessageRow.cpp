#include "MessageRow.h"

#include <algorithm>
#include <vector>

namespace ostrel {

void sortRows(QList<MessageRow> &rows)
{
    struct Key {
        double date;
        qint64 storageIndex;
        qsizetype at;
    };
    std::vector<Key> keys;
    keys.reserve(size_t(rows.size()));
    for (qsizetype i = 0; i < rows.size(); ++i)
        keys.push_back({rows[i].date, rows[i].storageIndex, i});
    const auto before = [](const Key &a, const Key &b) {
        if (a.date != b.date)
            return a.date > b.date;
        return a.storageIndex < b.storageIndex;
    };
    if (std::is_sorted(keys.begin(), keys.end(), before))
        return;
    std::sort(keys.begin(), keys.end(), before);
    MessageRow *data = rows.data();
    QList<MessageRow> sorted;
    sorted.reserve(rows.size());
    for (const Key &k : keys)
        sorted.append(std::move(data[k.at]));
    rows = std::move(sorted);
}

}  // namespace ostrel
