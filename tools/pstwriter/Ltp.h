#pragma once

#include "NdbWriter.h"
#include "Nid.h"
#include "PropertyBag.h"

#include <QList>

#include <vector>

namespace ostrel::pstwriter {

// Where a heap puts a B-tree's header: first (HID 0x20, as Outlook does,
// followed by the B-tree's leaf and then the values) or last, after the
// values and the leaves (legal, but no Outlook file looks so).
enum class HeapOrder { HeaderFirst, HeaderLast };

// A property context: the bag's values in a heap-on-node B-tree; values too
// large for the heap become subnodes (ids from `ids`).
NodeData buildPropertyContext(const PropertyBag &bag, nid::SubnodeIds &ids, HeapOrder order = HeapOrder::HeaderFirst);

// A table context: fixed columns, rows keyed by a 32-bit row id. The row id
// and row version columns are always there; a cell a row lacks is marked
// absent in the row's cell-existence bitmap. Rows are kept compactly (the
// fixed part as it will be stored, variable values side by side), so that
// tables of hundreds of thousands of rows fit in memory.
class TableBuilder {
public:
    explicit TableBuilder(QList<quint32> columnTags, HeapOrder order = HeapOrder::HeaderFirst);

    // Cells of tags the table has no column for are left out.
    void addRow(quint32 rowId, const PropertyBag &cells);
    qsizetype rowCount() const { return m_rowCount; }
    quint32 rowId(qsizetype row) const;
    // The cells of a row as they were added (present columns only).
    PropertyBag cells(qsizetype row) const;
    // Rows are stored in the order added unless reversed.
    void setReversed(bool reversed) { m_reversed = reversed; }
    const QList<quint32> &columnTags() const { return m_tags; }
    int rowSize() const { return m_rowSize; }

    NodeData build(nid::SubnodeIds &ids) const;

private:
    struct Column {
        quint32 tag;
        int offset;
        int size;
        int bit;
        bool variable;
    };
    const Column *column(quint32 tag) const;

    QList<quint32> m_tags;          // sorted, without row id and version
    std::vector<Column> m_columns;  // sorted by tag
    HeapOrder m_order;
    int m_end4 = 0;
    int m_end2 = 0;
    int m_end1 = 0;
    int m_rowSize = 0;
    bool m_reversed = false;
    qsizetype m_rowCount = 0;
    // Rows as stored, except that a variable cell holds an index into
    // m_valueAt (its value lies in m_values from there, length first).
    QByteArray m_rows;
    QByteArray m_values;
    std::vector<quint64> m_valueAt;
};

}  // namespace ostrel::pstwriter
