#pragma once

#include <QByteArray>
#include <QtEndian>

// Little-endian field access for the archive's structures: reads from raw
// memory (callers check bounds first) and the writer's put/append helpers.
namespace ostrel::pst::bytes {

inline quint16 le16(const uchar *p) { return qFromLittleEndian<quint16>(p); }
inline quint32 le32(const uchar *p) { return qFromLittleEndian<quint32>(p); }
inline quint64 le64(const uchar *p) { return qFromLittleEndian<quint64>(p); }
// A 4- or 8-byte field, by width.
inline quint64 leN(const uchar *p, int width) { return width == 4 ? le32(p) : le64(p); }

inline const uchar *data(const QByteArray &b) { return reinterpret_cast<const uchar *>(b.constData()); }

inline void put8(QByteArray &b, qsizetype at, quint8 v) { b[at] = static_cast<char>(v); }
inline void put16(QByteArray &b, qsizetype at, quint16 v) { qToLittleEndian(v, b.data() + at); }
inline void put32(QByteArray &b, qsizetype at, quint32 v) { qToLittleEndian(v, b.data() + at); }
inline void put64(QByteArray &b, qsizetype at, quint64 v) { qToLittleEndian(v, b.data() + at); }

inline void add8(QByteArray &b, quint8 v) { b.append(static_cast<char>(v)); }
inline void add16(QByteArray &b, quint16 v)
{
    b.resize(b.size() + 2);
    put16(b, b.size() - 2, v);
}
inline void add32(QByteArray &b, quint32 v)
{
    b.resize(b.size() + 4);
    put32(b, b.size() - 4, v);
}
inline void add64(QByteArray &b, quint64 v)
{
    b.resize(b.size() + 8);
    put64(b, b.size() - 8, v);
}

inline quint16 get16(const QByteArray &b, qsizetype at) { return le16(data(b) + at); }
inline quint32 get32(const QByteArray &b, qsizetype at) { return le32(data(b) + at); }
inline quint64 get64(const QByteArray &b, qsizetype at) { return le64(data(b) + at); }

constexpr quint64 alignUp(quint64 v, quint64 a) { return (v + a - 1) / a * a; }

}  // namespace ostrel::pst::bytes
