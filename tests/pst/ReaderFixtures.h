#pragma once

// Helpers the native reader's suites share: an archive's bytes in and out,
// a block made to carry its (changed) bytes' checksum again, and contents
// for written archives.
#include "Message.h"
#include "pst/format/Bytes.h"
#include "pst/format/Crc.h"
#include "pst/format/Layout.h"

#include <QFile>

namespace ostrel::test {

inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// After a change to the stored bytes of the block at ib (cb bytes, Unicode
// layout), its trailer's checksum matches again: only the structure is wrong.
inline void resealBlock(QByteArray &file, quint64 ib, quint16 cb)
{
    const pst::Layout &l = pst::kUnicodeLayout;
    const quint64 trailer = ib + l.blockSize(cb) - quint64(l.blockTrailerSize);
    pst::bytes::put32(file, qsizetype(trailer) + l.blockCrcAt, pst::pstCrc(file.constData() + ib, cb));
}

// Bytes that differ from block to block.
inline QByteArray payload(int size, int seed)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char(i * 13 + seed);
    return b;
}

// A small message with a subject and a plain body.
inline pstwriter::Message plainMessage(const QString &subject)
{
    pstwriter::Message m;
    m.subject = subject;
    m.body = QStringLiteral("Hallo ") + subject;
    return m;
}

}  // namespace ostrel::test
