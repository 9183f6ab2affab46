#include "Ltp.h"

#include "Bytes.h"
#include "Heap.h"

#include <algorithm>

namespace ostrel::pstwriter {

using namespace bytes;

namespace {

constexpr quint32 kRowIdTag = 0x67F20003;
constexpr quint32 kRowVersionTag = 0x67F30003;

// A variable-size value: in the heap when it fits, else in its own subnode.
quint32 storeVariable(const QByteArray &value, Heap &heap, NodeData &node, nid::SubnodeIds &ids)
{
    if (value.size() <= kHeapAllocMax)
        return heap.allocate(value);
    const quint32 sub = ids.take(nid::Ltp);
    node.subnodes.push_back({sub, {NodeData::split(value), {}}});
    return sub;
}

}  // namespace

NodeData buildPropertyContext(const PropertyBag &bag, nid::SubnodeIds &ids)
{
    NodeData node;
    Heap heap(Heap::PropertyContext);
    std::vector<QByteArray> records;
    records.reserve(bag.properties().size());
    for (const Property &p : bag.properties()) {
        quint32 value = 0;
        const int fixed = fixedSize(p.type);
        if (fixed > 0 && fixed <= 4) {
            for (int i = 0; i < fixed && i < p.value.size(); ++i)
                value |= quint32(quint8(p.value[i])) << (8 * i);
        } else {
            value = storeVariable(p.value, heap, node, ids);
        }
        QByteArray r;
        add16(r, p.id);
        add16(r, p.type);
        add32(r, value);
        records.push_back(r);
    }
    heap.setUserRoot(heap.buildBTree(2, 6, records));
    node.blocks = heap.pages();
    return node;
}

TableBuilder::TableBuilder(QList<quint32> columnTags)
{
    columnTags.removeAll(kRowIdTag);
    columnTags.removeAll(kRowVersionTag);
    std::sort(columnTags.begin(), columnTags.end());
    columnTags.erase(std::unique(columnTags.begin(), columnTags.end()), columnTags.end());

    auto cellSize = [](quint32 t) {
        const int fixed = fixedSize(quint16(t & 0xFFFF));
        return fixed > 0 ? fixed : 4;  // variable values are referenced by a 4-byte id
    };
    // Row layout: row id, row version, then 8-, 4-, 2- and 1-byte cells,
    // then the cell-existence bitmap.
    std::vector<Column> layout{{kRowIdTag, 0, 4, 0}, {kRowVersionTag, 4, 4, 1}};
    int offset = 8;
    for (int size : {8, 4, 2, 1}) {
        for (quint32 t : columnTags) {
            if (cellSize(t) != size)
                continue;
            layout.push_back({t, offset, size, int(layout.size())});
            offset += size;
        }
        if (size == 4)
            m_end4 = offset;
        else if (size == 2)
            m_end2 = offset;
        else if (size == 1)
            m_end1 = offset;
    }
    m_rowSize = m_end1 + int((layout.size() + 7) / 8);
    std::sort(layout.begin(), layout.end(), [](const Column &a, const Column &b) { return a.tag < b.tag; });
    m_columns = std::move(layout);
}

void TableBuilder::addRow(quint32 rowId, PropertyBag cells)
{
    m_rows.push_back({rowId, std::move(cells)});
}

NodeData TableBuilder::build(nid::SubnodeIds &ids) const
{
    NodeData node;
    Heap heap(Heap::TableContext);
    const int bitmapAt = m_end1;

    QByteArray matrix;
    matrix.reserve(qsizetype(m_rows.size()) * m_rowSize);
    for (size_t r = 0; r < m_rows.size(); ++r) {
        const Row &row = m_rows[r];
        QByteArray cells(m_rowSize, '\0');
        for (const Column &c : m_columns) {
            bool present = true;
            if (c.tag == kRowIdTag) {
                put32(cells, c.offset, row.id);
            } else if (c.tag == kRowVersionTag) {
                put32(cells, c.offset, 0);
            } else {
                const Property *p = row.cells.find(quint16(c.tag >> 16));
                present = p && p->type == quint16(c.tag & 0xFFFF);
                if (!present)
                    continue;
                if (fixedSize(p->type) > 0)
                    std::copy_n(p->value.constData(), std::min<qsizetype>(p->value.size(), c.size),
                                cells.data() + c.offset);
                else
                    put32(cells, c.offset, storeVariable(p->value, heap, node, ids));
            }
            if (present)
                cells[bitmapAt + c.bit / 8] = char(quint8(cells[bitmapAt + c.bit / 8]) | (0x80u >> (c.bit % 8)));
        }
        matrix += cells;
    }

    // Row index: row id to row number, sorted by id.
    std::vector<QByteArray> index;
    index.reserve(m_rows.size());
    for (size_t r = 0; r < m_rows.size(); ++r) {
        QByteArray rec;
        add32(rec, m_rows[r].id);
        add32(rec, quint32(r));
        index.push_back(rec);
    }
    std::sort(index.begin(), index.end(),
              [](const QByteArray &a, const QByteArray &b) { return get32(a, 0) < get32(b, 0); });
    const quint32 rowIndex = heap.buildBTree(4, 4, index);

    quint32 rows = 0;
    if (!matrix.isEmpty()) {
        if (matrix.size() <= kHeapAllocMax) {
            rows = heap.allocate(matrix);
        } else {
            // Each block holds whole rows only; all but the last are padded to
            // the full block size, so that a row's place is computable.
            const qsizetype perBlock = qsizetype(kBlockDataMax / m_rowSize) * m_rowSize;
            QList<QByteArray> blocks;
            for (qsizetype at = 0; at < matrix.size(); at += perBlock) {
                QByteArray b = matrix.mid(at, perBlock);
                if (at + perBlock < matrix.size())
                    b.append(QByteArray(kBlockDataMax - b.size(), '\0'));
                blocks.append(b);
            }
            rows = ids.take(nid::Ltp);
            node.subnodes.push_back({rows, {blocks, {}}});
        }
    }

    QByteArray info;
    add8(info, Heap::TableContext);
    add8(info, quint8(m_columns.size()));
    add16(info, quint16(m_end4));
    add16(info, quint16(m_end2));
    add16(info, quint16(m_end1));
    add16(info, quint16(m_rowSize));
    add32(info, rowIndex);
    add32(info, rows);
    add32(info, 0);
    for (const Column &c : m_columns) {
        add32(info, c.tag);
        add16(info, quint16(c.offset));
        add8(info, quint8(c.size));
        add8(info, quint8(c.bit));
    }
    heap.setUserRoot(heap.allocate(info));
    node.blocks = heap.pages();
    return node;
}

}  // namespace ostrel::pstwriter
