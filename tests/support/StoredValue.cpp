#include "StoredValue.h"

#include <QtEndian>

namespace ostrel::test::stored {

PropertyValue text(const QString &value)
{
    QByteArray bytes;
    for (const QChar c : value) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    bytes.append(2, '\0');
    return {PropertyType::string, bytes};
}

PropertyValue text8(const QByteArray &value)
{
    return {PropertyType::string8, value + QByteArray(1, '\0')};
}

PropertyValue int32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return {PropertyType::integer32, bytes};
}

PropertyValue filetime(quint64 value)
{
    QByteArray bytes(8, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return {PropertyType::time, bytes};
}

PropertyValue time(const QDateTime &value)
{
    constexpr qint64 kEpochIn100ns = 116444736000000000;
    return filetime(quint64(value.toMSecsSinceEpoch() * 10'000 + kEpochIn100ns));
}

PropertyValue binary(const QByteArray &value)
{
    return {PropertyType::binary, value};
}

}  // namespace ostrel::test::stored
