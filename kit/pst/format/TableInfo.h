#pragma once

#include "pst/format/Error.h"

#include <QByteArrayView>
#include <QList>

namespace ostrel::pst {

// A table column: which property, and where its cell lies in a row.
struct ColumnDesc {
    quint32 tag = 0;     // property id << 16 | type
    quint16 offset = 0;  // of the cell in the row
    quint16 size = 0;    // of the cell
    quint16 bit = 0;     // of the column in the cell-existence bitmap
    quint32 valuesNid = 0;  // search tables only: a table the cell indexes into (0: none)

    quint16 id() const { return quint16(tag >> 16); }
    quint16 type() const { return quint16(tag); }
    friend bool operator==(const ColumnDesc &, const ColumnDesc &) = default;
};

// A table's header: TCINFO (client 0x7C) or the header of a search table
// (client 0xAC), whose column descriptions sit in their own allocation.
struct TableInfo {
    static constexpr quint8 kTypeTable = 0x7C;
    static constexpr quint8 kTypeSearch = 0xAC;
    static constexpr quint32 kRowIdTag = 0x67F20003;
    static constexpr quint32 kRowVersionTag = 0x67F30003;

    quint8 type = 0;
    quint16 end4 = 0;       // end of the 8- and 4-byte cells
    quint16 end2 = 0;       // end of the 2-byte cells
    quint16 end1 = 0;       // end of the 1-byte cells; the bitmap starts here
    quint16 rowSize = 0;    // end of the bitmap
    quint32 rowIndex = 0;   // HID of the BTH from row id to row number
    quint32 rows = 0;       // HNID of the row matrix; 0 when there are no rows
    quint16 columnCount = 0;
    quint32 columnsHnid = 0;  // search tables: where the column descriptions are
    QList<ColumnDesc> columns;
};

// TCINFO with its column descriptions, checked for consistency.
Result<TableInfo> parseTableInfo(QByteArrayView bytes);
// A search table's header; its columns are read with parseSearchColumns.
Result<TableInfo> parseSearchTableHeader(QByteArrayView bytes);
Result<QList<ColumnDesc>> parseSearchColumns(QByteArrayView bytes, int count);
// Checks that every cell lies inside the row and its bit inside the bitmap.
std::optional<Error> checkColumns(const TableInfo &info);

// The row index's record sizes: a 4-byte row id and a 4-byte (2 in ANSI
// archives) row number.
constexpr int kRowIdSize = 4;

}  // namespace ostrel::pst
