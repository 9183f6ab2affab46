#pragma once

#include <QString>
#include <QStringList>

namespace ostrel::pstwriter {

struct VerifyReport {
    QStringList problems;  // empty when the archive is sound
    qint64 nodes = 0;
    qint64 blocks = 0;
    qint64 pages = 0;

    bool ok() const { return problems.isEmpty(); }
};

// Reads a Unicode archive back at the node-database level and checks what
// the readers trust without checking: header and trailer checksums and
// signatures, B-tree order, that every block a node names exists, and that
// the allocation maps mark exactly the pages and blocks in use.
VerifyReport verifyArchive(const QString &path);

}  // namespace ostrel::pstwriter
