#pragma once

#include "NdbWriter.h"
#include "Nid.h"
#include "PropertyBag.h"

#include <QList>

#include <vector>

namespace ostrel::pstwriter {

// A property context: the bag's values in a heap-on-node B-tree; values too
// large for the heap become subnodes (ids from `ids`).
NodeData buildPropertyContext(const PropertyBag &bag, nid::SubnodeIds &ids);

// A table context: fixed columns, rows keyed by a 32-bit row id. The row id
// and row version columns are always there; a cell a row lacks is marked
// absent in the row's cell-existence bitmap.
class TableBuilder {
public:
    explicit TableBuilder(QList<quint32> columnTags);

    void addRow(quint32 rowId, PropertyBag cells);
    qsizetype rowCount() const { return qsizetype(m_rows.size()); }
    NodeData build(nid::SubnodeIds &ids) const;

private:
    struct Column {
        quint32 tag;
        int offset;
        int size;
        int bit;
    };
    struct Row {
        quint32 id;
        PropertyBag cells;
    };
    std::vector<Column> m_columns;  // sorted by tag
    int m_end4 = 0;
    int m_end2 = 0;
    int m_end1 = 0;
    int m_rowSize = 0;
    std::vector<Row> m_rows;
};

}  // namespace ostrel::pstwriter
