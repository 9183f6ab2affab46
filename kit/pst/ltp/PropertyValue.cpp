#include "PropertyValue.h"

#include "pst/format/Bytes.h"

#include <cstring>

namespace ostrel::pst {

using namespace bytes;

std::optional<qint64> PropertyValue::toInteger() const
{
    const int size = ptype::fixedSize(type);
    if (bytes.size() < size)
        return std::nullopt;
    switch (type) {
    case ptype::Boolean:
        return qint64(quint8(bytes[0]) != 0);
    case ptype::Integer16:
        return qint64(qint16(get16(bytes, 0)));
    case ptype::Integer32:
    case ptype::ErrorCode:
        return qint64(qint32(get32(bytes, 0)));
    case ptype::Integer64:
    case ptype::Currency:
        return qint64(get64(bytes, 0));
    default:
        return std::nullopt;
    }
}

std::optional<bool> PropertyValue::toBool() const
{
    if (type != ptype::Boolean || bytes.isEmpty())
        return std::nullopt;
    return bytes[0] != 0;
}

std::optional<double> PropertyValue::toDouble() const
{
    if (type == ptype::Floating32 && bytes.size() >= 4) {
        const quint32 bits = get32(bytes, 0);
        float f;
        std::memcpy(&f, &bits, 4);
        return double(f);
    }
    if ((type == ptype::Floating64 || type == ptype::FloatingTime) && bytes.size() >= 8) {
        const quint64 bits = get64(bytes, 0);
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }
    return std::nullopt;
}

std::optional<qint64> PropertyValue::toFileTime() const
{
    if (type != ptype::Time || bytes.size() < 8)
        return std::nullopt;
    return qint64(get64(bytes, 0));
}

std::optional<QString> PropertyValue::toUnicode() const
{
    if (type != ptype::String)
        return std::nullopt;
    qsizetype units = bytes.size() / 2;
    const auto *p = data(bytes);
    while (units > 0 && le16(p + 2 * (units - 1)) == 0)
        --units;
    QString s(units, Qt::Uninitialized);
    for (qsizetype i = 0; i < units; ++i)
        s[i] = QChar(le16(p + 2 * i));
    return s;
}

Result<QList<PropertyValue>> PropertyValue::elements() const
{
    const QLatin1StringView where("multi-valued property");
    if (!ptype::isMultiValued(type))
        return Error::damaged(where, QStringLiteral("type %1 is single-valued").arg(hex(type)));
    const auto single = quint16(type & ~ptype::MultipleFlag);
    QList<PropertyValue> out;
    if (const int size = ptype::fixedSize(single); size > 0) {
        if (bytes.size() % size != 0)
            return Error::damaged(where, QStringLiteral("%1 bytes are no whole values of %2").arg(bytes.size()).arg(size));
        for (qsizetype at = 0; at < bytes.size(); at += size)
            out.append({single, bytes.mid(at, size)});
        return out;
    }
    // A count, the offsets of the values, then the values.
    if (bytes.isEmpty())
        return out;
    if (bytes.size() < 4)
        return Error::damaged(where, QStringLiteral("%1 bytes hold no count").arg(bytes.size()));
    const quint32 count = get32(bytes, 0);
    if (count > quint32((bytes.size() - 4) / 4))
        return Error::damaged(where, QStringLiteral("%1 values in %2 bytes").arg(count).arg(bytes.size()));
    out.reserve(count);
    for (quint32 i = 0; i < count; ++i) {
        const quint32 start = get32(bytes, 4 + 4 * i);
        const quint32 end = i + 1 < count ? get32(bytes, 4 + 4 * (i + 1)) : quint32(bytes.size());
        if (start < 4 + 4 * count || start > end || end > quint32(bytes.size()))
            return Error::damaged(where, QStringLiteral("value %1 spans %2 to %3 of %4 bytes").arg(i).arg(start).arg(end).arg(bytes.size()));
        out.append({single, bytes.mid(start, end - start)});
    }
    return out;
}

}  // namespace ostrel::pst
