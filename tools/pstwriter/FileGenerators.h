#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

namespace ostrel::pstwriter {

// Small, valid files of common types for attachments, made in code so that
// fixtures and the demo need no binary files.

// A truecolour PNG: a vertical gradient from `top` to `bottom` (0xRRGGBB).
QByteArray makePng(int width, int height, quint32 top, quint32 bottom);

// A one-page PDF showing the lines in Helvetica.
QByteArray makePdf(const QString &title, const QStringList &lines);

struct ZipEntry {
    QString name;
    QByteArray data;
};
// A ZIP archive with stored (uncompressed) entries.
QByteArray makeZip(const QList<ZipEntry> &entries);

// A one-sheet XLSX workbook; numbers stay numbers, everything else is text.
QByteArray makeXlsx(const QString &sheetName, const QList<QVariantList> &rows);

// Deterministic filler bytes (incompressible), quick enough for gigabytes.
QByteArray makeNoise(qsizetype size, quint64 seed);

}  // namespace ostrel::pstwriter
