#include "TableInfo.h"

#include "pst/format/Bytes.h"

namespace ostrel::pst {

using namespace bytes;

namespace {

constexpr int kInfoSize = 22;
constexpr int kColumnSize = 8;
constexpr int kSearchInfoSize = 40;
constexpr int kSearchColumnSize = 16;

Error bad(const QString &what)
{
    return Error::damaged(QLatin1StringView("table"), what);
}

void readOffsets(const uchar *p, TableInfo &info)
{
    info.end4 = le16(p + 2);
    info.end2 = le16(p + 4);
    info.end1 = le16(p + 6);
    info.rowSize = le16(p + 8);
}

}  // namespace

std::optional<Error> checkColumns(const TableInfo &info)
{
    if (!(info.end4 <= info.end2 && info.end2 <= info.end1 && info.end1 <= info.rowSize))
        return bad(QStringLiteral("row layout %1/%2/%3/%4 out of order")
                       .arg(info.end4).arg(info.end2).arg(info.end1).arg(info.rowSize));
    const int bitmapBits = (info.rowSize - info.end1) * 8;
    for (const ColumnDesc &c : info.columns) {
        if (c.size == 0 || quint32(c.offset) + c.size > info.end1)
            return bad(QStringLiteral("column %1 of %2 bytes at %3 lies outside the row's %4 bytes of cells")
                           .arg(hex(c.tag)).arg(c.size).arg(c.offset).arg(info.end1));
        if (c.bit >= bitmapBits)
            return bad(QStringLiteral("column %1 has bit %2 of %3").arg(hex(c.tag)).arg(c.bit).arg(bitmapBits));
    }
    return std::nullopt;
}

Result<TableInfo> parseTableInfo(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    if (bytes.size() < kInfoSize || p[0] != TableInfo::kTypeTable)
        return bad(QStringLiteral("no table header"));
    TableInfo info;
    info.type = p[0];
    info.columnCount = p[1];
    readOffsets(p, info);
    info.rowIndex = le32(p + 10);
    info.rows = le32(p + 14);
    if (bytes.size() < kInfoSize + info.columnCount * kColumnSize)
        return bad(QStringLiteral("%1 columns in a header of %2 bytes").arg(info.columnCount).arg(bytes.size()));
    info.columns.reserve(info.columnCount);
    for (int i = 0; i < info.columnCount; ++i) {
        const uchar *c = p + kInfoSize + i * kColumnSize;
        info.columns.append({le32(c), le16(c + 4), c[6], c[7], 0});
    }
    if (auto e = checkColumns(info))
        return *e;
    return info;
}

Result<TableInfo> parseSearchTableHeader(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    if (bytes.size() < kSearchInfoSize || p[0] != TableInfo::kTypeSearch)
        return bad(QStringLiteral("no search table header"));
    TableInfo info;
    info.type = p[0];
    readOffsets(p, info);
    info.rowIndex = le32(p + 10);
    info.rows = le32(p + 14);
    info.columnCount = le16(p + 22);
    info.columnsHnid = le32(p + 24);
    return info;
}

Result<QList<ColumnDesc>> parseSearchColumns(QByteArrayView bytes, int count)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    if (bytes.size() < qsizetype(count) * kSearchColumnSize)
        return bad(QStringLiteral("%1 search columns in %2 bytes").arg(count).arg(bytes.size()));
    QList<ColumnDesc> columns;
    columns.reserve(count);
    for (int i = 0; i < count; ++i) {
        const uchar *c = p + i * kSearchColumnSize;
        columns.append({le32(c), le16(c + 4), le16(c + 6), le16(c + 8), le32(c + 12)});
    }
    return columns;
}

}  // namespace ostrel::pst
