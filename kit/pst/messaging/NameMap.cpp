#include "NameMap.h"

#include "pst/format/Bytes.h"
#include "pst/format/Nid.h"
#include "pst/ltp/PropertyContext.h"

namespace ostrel::pst {

using namespace bytes;

namespace {

constexpr QLatin1StringView kWhere("name map");
constexpr quint16 kGuidStream = 0x0002;
constexpr quint16 kEntryStream = 0x0003;
constexpr quint16 kStringStream = 0x0004;
constexpr int kEntrySize = 8;

const QUuid kPsMapi(0x00020328, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
const QUuid kPsPublicStrings(0x00020329, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);

QUuid guidAt(const QByteArray &b, qsizetype at)
{
    const auto *p = data(b) + at;
    return QUuid(le32(p), le16(p + 4), le16(p + 6), p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
}

}  // namespace

Result<NameMap> NameMap::parse(const QByteArray &guids, const QByteArray &entries, const QByteArray &strings)
{
    if (entries.size() % kEntrySize != 0)
        return Error::damaged(kWhere, QStringLiteral("entry stream of %1 bytes").arg(entries.size()));
    NameMap map;
    for (qsizetype at = 0; at < entries.size(); at += kEntrySize) {
        const quint32 value = get32(entries, at);
        const quint16 guidAndKind = get16(entries, at + 4);
        const quint16 index = get16(entries, at + 6);
        const quint16 guidIndex = guidAndKind >> 1;
        Name name;
        if (guidIndex == 1) {
            name.propertySet = kPsMapi;
        } else if (guidIndex == 2) {
            name.propertySet = kPsPublicStrings;
        } else {
            const qsizetype g = qsizetype(guidIndex - 3) * 16;
            if (guidIndex < 3 || g + 16 > guids.size())
                return Error::damaged(kWhere, QStringLiteral("entry %1 names property set %2 of %3")
                                                  .arg(at / kEntrySize)
                                                  .arg(guidIndex)
                                                  .arg(guids.size() / 16 + 3));
            name.propertySet = guidAt(guids, g);
        }
        if (guidAndKind & 1) {
            // A string: its byte length, then UTF-16LE.
            if (quint64(value) + 4 > quint64(strings.size()))
                return Error::damaged(kWhere, QStringLiteral("entry %1: string at %2 of %3").arg(at / kEntrySize).arg(value).arg(strings.size()));
            const quint32 length = get32(strings, value);
            if (quint64(value) + 4 + length > quint64(strings.size()) || length % 2)
                return Error::damaged(kWhere, QStringLiteral("entry %1: string of %2 bytes at %3").arg(at / kEntrySize).arg(length).arg(value));
            QString s(length / 2, Qt::Uninitialized);
            for (quint32 i = 0; i < length / 2; ++i)
                s[i] = QChar(le16(data(strings) + value + 4 + 2 * i));
            name.id = s;
        } else {
            name.id = value;
        }
        map.m_names.insert(quint16(0x8000 + index), std::move(name));
    }
    return map;
}

Result<NameMap> NameMap::read(NodeDatabase &db)
{
    auto pc = PropertyContext::openNode(db, nid::NameToIdMap);
    if (!pc)
        return pc.error();
    QByteArray streams[3];
    const quint16 ids[3] = {kGuidStream, kEntryStream, kStringStream};
    for (int i = 0; i < 3; ++i) {
        auto v = pc->read(ids[i], kMaxStream);
        if (v)
            streams[i] = v->bytes;
        else if (v.error().kind != Error::Kind::Missing)
            return v.error();
    }
    return parse(streams[0], streams[1], streams[2]);
}

std::optional<NameMap::Name> NameMap::name(quint16 id) const
{
    const auto it = m_names.constFind(id);
    if (it == m_names.cend())
        return std::nullopt;
    return *it;
}

}  // namespace ostrel::pst
