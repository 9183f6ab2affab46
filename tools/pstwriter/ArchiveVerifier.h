#pragma once

#include <QString>
#include <QStringList>

namespace ostrel::pstwriter {

struct VerifyReport {
    QStringList problems;  // empty when the archive is sound
    qint64 nodes = 0;
    qint64 blocks = 0;
    qint64 pages = 0;
    qint64 unreferencedBytes = 0;  // marked allocated, yet nothing found there

    bool ok() const { return problems.isEmpty(); }
};

// Reads a Unicode archive back at the node-database level and checks what
// the readers trust without checking: header and trailer checksums and
// signatures, B-tree order, that every block a node names exists, and that
// the allocation maps mark every page and block in use. With `exactMaps`
// (what this writer promises) space marked allocated must also be in use;
// archives that Outlook has worked on keep such space, so real archives are
// checked without it.
VerifyReport verifyArchive(const QString &path, bool exactMaps = true);

}  // namespace ostrel::pstwriter
