#pragma once

#include "pst/format/TableInfo.h"
#include "pst/ltp/Bth.h"
#include "pst/ltp/PropertyValue.h"

namespace ostrel::pst {

// One row of a table: its id and the cells asked for, in the order asked;
// an empty cell where the row holds no value for that column (or the
// table has no such column).
struct TableRow {
    quint32 rowId = 0;
    QList<std::optional<PropertyValue>> cells;
};

// Rows read for a listing: every cell's bytes back to back in one buffer,
// so that a chunk of rows costs a few allocations rather than one per cell.
struct PackedRows {
    struct Cell {
        qsizetype offset = 0;
        qsizetype size = -1;  // -1: the row holds no value for the column
        quint16 type = 0;
    };
    QByteArray bytes;
    QList<quint32> rowIds;
    QList<Cell> cells;  // row by row, one per column asked for

    QByteArrayView view(const Cell &c) const { return QByteArrayView(bytes).sliced(c.offset, c.size); }
};

// A node's table. Opening reads the header and finds how many rows there
// are; rows() reads only the blocks of the rows asked for and only the
// values of the columns asked for.
class TableContext {
public:
    static constexpr qsizetype kDefaultMaxValue = 1024 * 1024;

    static Result<TableContext> open(NodeDatabase &db, quint64 bidData, quint64 bidSub);
    static Result<TableContext> openNode(NodeDatabase &db, quint32 nid);

    const TableInfo &info() const { return m_info; }
    qint64 rowCount() const { return m_rowCount; }
    std::optional<ColumnDesc> column(quint16 id) const;

    // Rows [first, first + count) (fewer at the end), cells for these
    // property ids; each variable value is refused above maxValueBytes.
    Result<QList<TableRow>> rows(qint64 first, qint64 count, const QList<quint16> &ids,
                                 qsizetype maxValueBytes = kDefaultMaxValue) const;
    // The same rows, packed.
    Result<PackedRows> packedRows(qint64 first, qint64 count, const QList<quint16> &ids,
                                  qsizetype maxValueBytes = kDefaultMaxValue) const;
    // The row number of a row id (row index), or nothing.
    Result<std::optional<qint64>> rowNumber(quint32 rowId) const;

private:
    TableContext(Heap heap, TableInfo info) : m_heap(std::move(heap)), m_info(std::move(info)) {}
    // A view of one row's bytes, into block or the heap's row matrix.
    Result<QByteArrayView> rowBytes(qint64 row, QByteArray &block, qint64 &blockIndex) const;
    struct CellView {
        quint16 type = 0;
        QByteArrayView bytes;  // into the row or into the cursor's bytes
    };
    Result<std::optional<CellView>> cell(QByteArrayView row, const ColumnDesc &c, qsizetype maxBytes,
                                         Heap::Cursor &cursor) const;
    // Calls take(rowId, cells) for each row of [first, first + count).
    template <typename Take>
    Result<qint64> visitRows(qint64 first, qint64 count, const QList<quint16> &ids, qsizetype maxValueBytes,
                             Take &&take) const;

    Heap m_heap;
    TableInfo m_info;
    qint64 m_rowCount = 0;
    qint64 m_rowsPerBlock = 0;
    QByteArray m_heapRows;                 // the row matrix when it lies on the heap
    std::optional<DataTree> m_matrixTree;  // or its blocks, when in a subnode
};

}  // namespace ostrel::pst
