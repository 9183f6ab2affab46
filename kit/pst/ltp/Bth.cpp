#include "Bth.h"

#include "pst/format/Bytes.h"

#include <QSet>

namespace ostrel::pst {

using namespace bytes;

namespace {

constexpr QLatin1StringView kBth("bth");

Error bad(const Heap &heap, const QString &what)
{
    return heap.damagedAt(kBth, what);
}

// Keys compare as little-endian numbers; the widest (16 bytes) by their
// high half first.
int compareKeys(const uchar *a, const uchar *b, int size)
{
    for (int i = size - 1; i >= 0; --i)
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    return 0;
}

}  // namespace

Result<Bth> Bth::open(const Heap &heap, quint32 hid)
{
    auto bytes = heap.item(hid);
    if (!bytes)
        return bytes.error();
    if (bytes->size() < bth::kHeaderSize)
        return bad(heap, QStringLiteral("header %1 of %2 bytes").arg(hex(hid)).arg(bytes->size()));
    const bth::Header h = bth::readHeader(data(*bytes));
    if (h.type != bth::kType)
        return bad(heap, QStringLiteral("header %1 of type %2").arg(hex(hid), hex(h.type)));
    if (h.keySize != 2 && h.keySize != 4 && h.keySize != 8 && h.keySize != 16)
        return bad(heap, QStringLiteral("keys of %1 bytes").arg(h.keySize));
    if (h.entrySize > 32)
        return bad(heap, QStringLiteral("records of %1 bytes").arg(h.entrySize));
    if (h.levels > bth::kMaxLevels)
        return bad(heap, QStringLiteral("%1 index levels").arg(h.levels));
    return Bth(h);
}

Result<std::optional<QByteArray>> Bth::find(const Heap &heap, quint64 key) const
{
    if (m_header.root == 0)
        return std::optional<QByteArray>();
    const int ks = m_header.keySize;
    QByteArray target(ks, '\0');
    for (int i = 0; i < ks && i < 8; ++i)
        target[i] = char(key >> (8 * i));
    quint32 hid = m_header.root;
    for (int level = m_header.levels; level >= 0; --level) {
        auto bytes = heap.item(hid);
        if (!bytes)
            return bytes.error();
        const int size = ks + (level > 0 ? 4 : m_header.entrySize);
        if (bytes->size() % size != 0)
            return bad(heap, QStringLiteral("allocation %1 of %2 bytes holds no whole records of %3").arg(hex(hid)).arg(bytes->size()).arg(size));
        const qsizetype n = bytes->size() / size;
        const uchar *p = data(*bytes);
        if (level == 0) {
            for (qsizetype i = 0; i < n; ++i)
                if (compareKeys(p + i * size, data(target), ks) == 0)
                    return std::optional<QByteArray>(bytes->mid(i * size + ks, m_header.entrySize));
            return std::optional<QByteArray>();
        }
        qsizetype chosen = -1;
        for (qsizetype i = 0; i < n && compareKeys(p + i * size, data(target), ks) <= 0; ++i)
            chosen = i;
        if (chosen < 0)
            return std::optional<QByteArray>();
        hid = le32(p + chosen * size + ks);
    }
    return std::optional<QByteArray>();
}

Result<QList<Bth::Record>> Bth::records(const Heap &heap, int maxRecords) const
{
    QList<Record> out;
    const int ks = m_header.keySize;
    const int ds = m_header.entrySize;
    auto count = visitRecords(heap, maxRecords, [&](const uchar *key, const uchar *data) {
        out.append({QByteArray(reinterpret_cast<const char *>(key), ks), QByteArray(reinterpret_cast<const char *>(data), ds)});
    });
    if (!count)
        return count.error();
    return out;
}

Result<int> Bth::visitRecords(const Heap &heap, int maxRecords, const Visit &visit) const
{
    int found = 0;
    if (m_header.root == 0)
        return found;
    const int ks = m_header.keySize;
    QSet<quint32> seen;
    // Level by level, so that the depth is the header's, whatever the ids say.
    QList<quint32> current{m_header.root};
    for (int level = m_header.levels; level >= 0; --level) {
        QList<quint32> next;
        const int size = ks + (level > 0 ? 4 : m_header.entrySize);
        for (const quint32 hid : current) {
            if (seen.contains(hid))
                return bad(heap, QStringLiteral("allocation %1 is named twice").arg(hex(hid)));
            seen.insert(hid);
            auto bytes = heap.item(hid);
            if (!bytes)
                return bytes.error();
            if (bytes->size() % size != 0)
                return bad(heap, QStringLiteral("allocation %1 of %2 bytes holds no whole records of %3").arg(hex(hid)).arg(bytes->size()).arg(size));
            const qsizetype n = bytes->size() / size;
            const uchar *p = data(*bytes);
            for (qsizetype i = 0; i < n; ++i) {
                if (level > 0) {
                    if (next.size() >= maxRecords)
                        return bad(heap, QStringLiteral("more than %1 records").arg(maxRecords));
                    next.append(le32(p + i * size + ks));
                } else {
                    if (found >= maxRecords)
                        return bad(heap, QStringLiteral("more than %1 records").arg(maxRecords));
                    visit(p + i * size, p + i * size + ks);
                    ++found;
                }
            }
        }
        current = std::move(next);
    }
    return found;
}

}  // namespace ostrel::pst
