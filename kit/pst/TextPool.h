#pragma once

#include <QByteArray>
#include <QHashFunctions>
#include <QString>

#include <algorithm>
#include <bit>
#include <vector>

namespace ostrel {

// Equal stored texts share one copy: a folder's rows repeat a few senders,
// addresses, recipient lines and message classes thousands of times, and
// QString's implicit sharing lets every row hold the same text. A text is
// known by its stored bytes, so a repeated one costs a look-up, not a
// decoding. Bounded: once it holds kMaxTexts texts, new ones pass through
// unshared.
//
// A flat table, probed in line: a listing asks it several times a row, and
// most asks find a text. The hash is seeded per process, so an archive
// cannot be made to collide its texts.
class TextPool {
public:
    static constexpr qsizetype kMaxTexts = 65536;

    // The text of a stored value (its type and bytes); decode() makes it the
    // first time those bytes come.
    template <typename Decode>
    QString fromStored(quint16 type, const QByteArray &bytes, Decode &&decode)
    {
        const size_t hash = qHash(QByteArrayView(bytes), m_seed ^ type);
        if (!m_slots.empty()) {
            for (size_t at = hash & (m_slots.size() - 1);; at = (at + 1) & (m_slots.size() - 1)) {
                const quint32 slot = m_slots[at];
                if (slot == 0)
                    break;
                const Entry &entry = m_entries[slot - 1];
                if (entry.hash == hash && entry.type == type && entry.bytes == bytes)
                    return entry.text;
            }
        }
        QString text = decode();
        if (qsizetype(m_entries.size()) < kMaxTexts) {
            // The bytes are copied: they may point into a buffer that goes.
            m_entries.push_back(Entry{hash, type, QByteArray(bytes.constData(), bytes.size()), text});
            if (2 * m_entries.size() > m_slots.size())
                rehash();
            else
                place(hash, quint32(m_entries.size()));
        }
        return text;
    }

    qsizetype size() const { return qsizetype(m_entries.size()); }

private:
    struct Entry {
        size_t hash;
        quint16 type;
        QByteArray bytes;
        QString text;
    };

    void place(size_t hash, quint32 slot)
    {
        size_t at = hash & (m_slots.size() - 1);
        while (m_slots[at] != 0)
            at = (at + 1) & (m_slots.size() - 1);
        m_slots[at] = slot;
    }

    // At most half full: probes stay short.
    void rehash()
    {
        m_slots.assign(std::bit_ceil(std::max<size_t>(64, 4 * m_entries.size())), 0);
        for (size_t i = 0; i < m_entries.size(); ++i)
            place(m_entries[i].hash, quint32(i + 1));
    }

    size_t m_seed = QHashSeed::globalSeed();
    std::vector<Entry> m_entries;
    std::vector<quint32> m_slots;  // 0: empty; else an index into m_entries, plus one
};

}  // namespace ostrel
