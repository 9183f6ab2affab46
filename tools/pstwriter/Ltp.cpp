#include "Ltp.h"

#include "Bytes.h"
#include "Heap.h"

#include <algorithm>
#include <cstring>

namespace ostrel::pstwriter {

using namespace bytes;

namespace {

constexpr quint32 kRowIdTag = 0x67F20003;
constexpr quint32 kRowVersionTag = 0x67F30003;

// A variable-size value: in the heap when it fits, else in its own subnode.
quint32 storeVariable(QByteArrayView value, Heap &heap, NodeData &node, nid::SubnodeIds &ids)
{
    if (value.size() <= kHeapAllocMax)
        return heap.allocate(value);
    const quint32 sub = ids.take(nid::Ltp);
    node.subnodes.push_back({sub, {NodeData::split(value.toByteArray()), {}}});
    return sub;
}

}  // namespace

NodeData buildPropertyContext(const PropertyBag &bag, nid::SubnodeIds &ids, HeapOrder order)
{
    NodeData node;
    Heap heap(Heap::PropertyContext);
    const qsizetype count = qsizetype(bag.properties().size());
    quint32 header = 0;
    quint32 leaf = 0;
    if (order == HeapOrder::HeaderFirst) {
        header = heap.reserve(8);
        if (count > 0 && count <= Heap::recordsPerLeaf(2, 6))
            leaf = heap.reserve(count * 8);
    }
    QByteArray records;
    records.reserve(count * 8);
    for (const Property &p : bag.properties()) {
        quint32 value = 0;
        const int fixed = fixedSize(p.type);
        if (fixed > 0 && fixed <= 4) {
            for (int i = 0; i < fixed && i < p.value.size(); ++i)
                value |= quint32(quint8(p.value[i])) << (8 * i);
        } else {
            value = storeVariable(p.value, heap, node, ids);
        }
        add16(records, p.id);
        add16(records, p.type);
        add32(records, value);
    }
    heap.setUserRoot(heap.buildBTree(2, 6, records, header, leaf));
    node.blocks = heap.pages();
    return node;
}

TableBuilder::TableBuilder(QList<quint32> columnTags, HeapOrder order) : m_order(order)
{
    columnTags.removeAll(kRowIdTag);
    columnTags.removeAll(kRowVersionTag);
    std::sort(columnTags.begin(), columnTags.end());
    columnTags.erase(std::unique(columnTags.begin(), columnTags.end()), columnTags.end());
    m_tags = columnTags;

    auto cellSize = [](quint32 t) {
        const int fixed = fixedSize(quint16(t & 0xFFFF));
        return fixed > 0 ? fixed : 4;  // variable values are referenced by a 4-byte id
    };
    // Row layout: row id, row version, then 8-, 4-, 2- and 1-byte cells,
    // then the cell-existence bitmap.
    std::vector<Column> layout{{kRowIdTag, 0, 4, 0, false}, {kRowVersionTag, 4, 4, 1, false}};
    int offset = 8;
    for (int size : {8, 4, 2, 1}) {
        for (quint32 t : columnTags) {
            if (cellSize(t) != size)
                continue;
            layout.push_back({t, offset, size, int(layout.size()), fixedSize(quint16(t & 0xFFFF)) == 0});
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

const TableBuilder::Column *TableBuilder::column(quint32 tag) const
{
    const auto it = std::lower_bound(m_columns.begin(), m_columns.end(), tag,
                                     [](const Column &c, quint32 key) { return c.tag < key; });
    return it != m_columns.end() && it->tag == tag ? &*it : nullptr;
}

void TableBuilder::addRow(quint32 rowId, const PropertyBag &cells)
{
    const qsizetype at = m_rows.size();
    m_rows.resize(at + m_rowSize);
    char *row = m_rows.data() + at;
    std::memset(row, 0, size_t(m_rowSize));
    qToLittleEndian(rowId, row);
    auto mark = [&](int bit) { row[m_end1 + bit / 8] = char(quint8(row[m_end1 + bit / 8]) | (0x80u >> (bit % 8))); };
    mark(0);
    mark(1);
    for (const Property &p : cells.properties()) {
        const quint32 t = tag(p.id, p.type);
        if (t == kRowIdTag || t == kRowVersionTag)
            continue;
        const Column *c = column(t);
        if (!c)
            continue;
        if (c->variable) {
            qToLittleEndian(quint32(m_valueAt.size()), row + c->offset);
            m_valueAt.push_back(quint64(m_values.size()));
            add32(m_values, quint32(p.value.size()));
            m_values += p.value;
        } else {
            std::memcpy(row + c->offset, p.value.constData(), size_t(std::min<qsizetype>(p.value.size(), c->size)));
        }
        mark(c->bit);
    }
    ++m_rowCount;
}

quint32 TableBuilder::rowId(qsizetype row) const
{
    return qFromLittleEndian<quint32>(m_rows.constData() + row * m_rowSize);
}

PropertyBag TableBuilder::cells(qsizetype r) const
{
    PropertyBag bag;
    const char *row = m_rows.constData() + r * m_rowSize;
    for (const Column &c : m_columns) {
        if (c.tag == kRowIdTag || c.tag == kRowVersionTag)
            continue;
        if (!(quint8(row[m_end1 + c.bit / 8]) & (0x80u >> (c.bit % 8))))
            continue;
        QByteArray value;
        if (c.variable) {
            const quint64 at = m_valueAt[qFromLittleEndian<quint32>(row + c.offset)];
            value = m_values.mid(qsizetype(at) + 4, get32(m_values, qsizetype(at)));
        } else {
            value = QByteArray(row + c.offset, c.size);
        }
        bag.set({quint16(c.tag >> 16), quint16(c.tag & 0xFFFF), value});
    }
    return bag;
}

NodeData TableBuilder::build(nid::SubnodeIds &ids) const
{
    NodeData node;
    Heap heap(Heap::TableContext);
    const int infoSize = 22 + 8 * int(m_columns.size());
    quint32 header = 0;
    quint32 infoHid = 0;
    quint32 leaf = 0;
    if (m_order == HeapOrder::HeaderFirst) {
        header = heap.reserve(8);
        infoHid = heap.reserve(infoSize);
        if (m_rowCount > 0 && m_rowCount <= Heap::recordsPerLeaf(4, 4))
            leaf = heap.reserve(m_rowCount * 8);
    }

    // The row matrix in storage order, variable cells now pointing into the heap.
    QByteArray matrix(m_rowCount * m_rowSize, Qt::Uninitialized);
    std::vector<std::pair<quint32, quint32>> index;
    index.reserve(size_t(m_rowCount));
    for (qsizetype r = 0; r < m_rowCount; ++r) {
        const qsizetype from = m_reversed ? m_rowCount - 1 - r : r;
        char *row = matrix.data() + r * m_rowSize;
        std::memcpy(row, m_rows.constData() + from * m_rowSize, size_t(m_rowSize));
        for (const Column &c : m_columns) {
            if (!c.variable || !(quint8(row[m_end1 + c.bit / 8]) & (0x80u >> (c.bit % 8))))
                continue;
            const quint64 at = m_valueAt[qFromLittleEndian<quint32>(row + c.offset)];
            const QByteArrayView value = QByteArrayView(m_values).sliced(qsizetype(at) + 4, get32(m_values, qsizetype(at)));
            qToLittleEndian(storeVariable(value, heap, node, ids), row + c.offset);
        }
        index.emplace_back(qFromLittleEndian<quint32>(row), quint32(r));
    }

    // Row index: row id to row number, sorted by id.
    std::sort(index.begin(), index.end());
    QByteArray records;
    records.reserve(qsizetype(index.size()) * 8);
    for (const auto &[id, r] : index) {
        add32(records, id);
        add32(records, r);
    }
    const quint32 rowIndex = heap.buildBTree(4, 4, records, header, leaf);

    quint32 rows = 0;
    if (!matrix.isEmpty()) {
        if (matrix.size() <= kHeapAllocMax) {
            rows = heap.allocate(matrix);
        } else {
            // Each block holds whole rows only; all but the last are padded to
            // the full block size, so that a row's place is computable.
            const qsizetype perBlock = qsizetype(kBlockDataMax / m_rowSize) * m_rowSize;
            QList<QByteArray> blocks;
            blocks.reserve(matrix.size() / perBlock + 1);
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
    if (infoHid)
        heap.fill(infoHid, info);
    else
        infoHid = heap.allocate(info);
    heap.setUserRoot(infoHid);
    node.blocks = heap.pages();
    return node;
}

}  // namespace ostrel::pstwriter
