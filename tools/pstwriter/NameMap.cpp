#include "NameMap.h"

#include "Bytes.h"
#include "Crc.h"

#include <map>

namespace ostrel::pstwriter {

using namespace bytes;

namespace {

constexpr quint32 kBuckets = 251;
constexpr quint16 kGuidMapi = 1;
constexpr quint16 kGuidPublicStrings = 2;
constexpr quint16 kFirstStreamGuid = 3;

QByteArray utf16(const QString &s)
{
    QByteArray b(s.size() * 2, '\0');
    for (qsizetype i = 0; i < s.size(); ++i)
        put16(b, 2 * i, s.at(i).unicode());
    return b;
}

}  // namespace

QString NameMap::keyOf(const PropertyName &name)
{
    return name.set.toString() + (name.number ? QStringLiteral("#%1").arg(*name.number) : QStringLiteral("$") + name.name);
}

quint16 NameMap::idFor(const PropertyName &name)
{
    const QString key = keyOf(name);
    if (const auto it = m_ids.constFind(key); it != m_ids.constEnd())
        return *it;
    if (m_names.size() >= 0x7FFF)
        return 0;
    const quint16 id = quint16(0x8000 + m_names.size());
    m_names.append(name);
    m_ids.insert(key, id);
    return id;
}

std::optional<quint16> NameMap::find(const PropertyName &name) const
{
    const auto it = m_ids.constFind(keyOf(name));
    if (it == m_ids.constEnd())
        return std::nullopt;
    return *it;
}

PropertyBag NameMap::properties() const
{
    QByteArray guids;
    QByteArray entries;
    QByteArray strings;
    QList<QUuid> streamGuids;
    std::map<quint32, QByteArray> buckets;
    for (qsizetype i = 0; i < m_names.size(); ++i) {
        const PropertyName &n = m_names[i];
        quint16 guidIndex = 0;
        if (n.set == propertySet::mapi()) {
            guidIndex = kGuidMapi;
        } else if (n.set == propertySet::publicStrings()) {
            guidIndex = kGuidPublicStrings;
        } else {
            qsizetype at = streamGuids.indexOf(n.set);
            if (at < 0) {
                at = streamGuids.size();
                streamGuids.append(n.set);
                guids += encodePropertyValue(PtGuid, n.set, nullptr).value_or(QByteArray(16, '\0'));
            }
            guidIndex = quint16(kFirstStreamGuid + at);
        }
        const bool isString = !n.number;
        const quint16 guidField = quint16(guidIndex << 1 | (isString ? 1 : 0));
        quint32 value = 0;
        quint32 hashKey = 0;
        if (isString) {
            const QByteArray name = utf16(n.name);
            value = quint32(strings.size());
            add32(strings, quint32(name.size()));
            strings += name;
            while (strings.size() % 4)
                strings.append('\0');
            hashKey = pstCrc(name.constData(), name.size());
        } else {
            value = *n.number;
            hashKey = value;
        }
        QByteArray entry;
        add32(entry, value);
        add16(entry, guidField);
        add16(entry, quint16(i));
        entries += entry;
        QByteArray bucketEntry;
        add32(bucketEntry, hashKey);
        add16(bucketEntry, guidField);
        add16(bucketEntry, quint16(i));
        buckets[(hashKey ^ guidField) % kBuckets] += bucketEntry;
    }
    PropertyBag p;
    p.setInt32(0x0001, kBuckets);
    p.setBinary(0x0002, guids);
    p.setBinary(0x0003, entries);
    p.setBinary(0x0004, strings);
    for (const auto &[bucket, data] : buckets)
        p.setBinary(quint16(0x1000 + bucket), data);
    return p;
}

}  // namespace ostrel::pstwriter
