#pragma once

#include <QByteArray>
#include <QtEndian>

// Little-endian field access for the archive's structures.
namespace ostrel::pstwriter::bytes {

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

inline quint64 getN(const QByteArray &b, qsizetype at, int n)
{
    quint64 v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = v << 8 | quint8(b.at(at + i));
    return v;
}
inline quint16 get16(const QByteArray &b, qsizetype at) { return quint16(getN(b, at, 2)); }
inline quint32 get32(const QByteArray &b, qsizetype at) { return quint32(getN(b, at, 4)); }
inline quint64 get64(const QByteArray &b, qsizetype at) { return getN(b, at, 8); }

constexpr quint64 alignUp(quint64 v, quint64 a) { return (v + a - 1) / a * a; }

}  // namespace ostrel::pstwriter::bytes
