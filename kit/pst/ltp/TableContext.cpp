#include "TableContext.h"

#include "pst/format/Bytes.h"

#include <cstring>
#include <vector>

namespace ostrel::pst {

using namespace bytes;

namespace {

constexpr QLatin1StringView kTc("table");

// A search table keeps its column descriptions in an allocation of their
// own. A column whose cells index into another table holds no value of its
// own; it is left out, so that readers take the value from the message.
Result<TableInfo> searchTableInfo(NodeDatabase &db, const Heap &heap, QByteArrayView header)
{
    auto parsed = parseSearchTableHeader(header);
    if (!parsed)
        return parsed.error();
    TableInfo info = std::move(parsed.value());
    // On the heap, or in a subnode when they are many; the count is 16 bits,
    // so their size is bounded.
    constexpr qsizetype kSearchColumnSize = 16;
    Result<QByteArray> bytes = QByteArray();
    if (heap::isHid(info.columnsHnid)) {
        bytes = heap.item(info.columnsHnid);
    } else {
        auto tree = heap.subnodeTree(info.columnsHnid);
        if (!tree)
            return tree.error();
        bytes = db.readAll(*tree, qsizetype(info.columnCount) * kSearchColumnSize);
    }
    if (!bytes)
        return bytes.error();
    auto columns = parseSearchColumns(*bytes, info.columnCount);
    if (!columns)
        return columns.error();
    for (const ColumnDesc &column : columns.value()) {
        if (column.valuesNid == 0)
            info.columns.append(column);
    }
    if (auto e = checkColumns(info))
        return *e;
    return info;
}

}  // namespace

Result<TableContext> TableContext::open(NodeDatabase &db, quint64 bidData, quint64 bidSub)
{
    auto heap = Heap::open(db, bidData, bidSub);
    if (!heap)
        return heap.error();
    if (heap->client() != heap::TableContext && heap->client() != TableInfo::kTypeSearch)
        return heap->damagedAt(kTc, QStringLiteral("heap of client %1").arg(hex(heap->client())));
    auto header = heap->item(heap->userRoot());
    if (!header)
        return header.error();
    auto info = heap->client() == TableInfo::kTypeSearch ? searchTableInfo(db, *heap, *header) : parseTableInfo(*header);
    if (!info)
        return heap->damagedAt(kTc, info.error().text);
    TableContext tc(std::move(heap.value()), std::move(info.value()));
    const TableInfo &ti = tc.m_info;
    if (ti.rows == 0)
        return tc;
    if (ti.rowSize < 4)
        return tc.m_heap.damagedAt(kTc, QStringLiteral("rows of %1 bytes").arg(ti.rowSize));
    if (heap::isHid(ti.rows)) {
        auto rows = tc.m_heap.item(ti.rows);
        if (!rows)
            return rows.error();
        tc.m_heapRows = *rows;
        tc.m_rowCount = rows->size() / ti.rowSize;
        tc.m_rowsPerBlock = tc.m_rowCount;
        return tc;
    }
    auto tree = tc.m_heap.subnodeTree(ti.rows);
    if (!tree)
        return tree.error();
    tc.m_rowsPerBlock = db.layout().maxBlockData / ti.rowSize;
    if (tc.m_rowsPerBlock == 0)
        return tc.m_heap.damagedAt(kTc, QStringLiteral("rows of %1 bytes do not fit a block").arg(ti.rowSize));
    if (!tree->leaves.isEmpty()) {
        // Every block but the last holds rowsPerBlock rows; the last tells the rest.
        auto last = db.leaf(*tree, int(tree->leaves.size() - 1));
        if (!last)
            return last.error();
        tc.m_rowCount = qint64(tree->leaves.size() - 1) * tc.m_rowsPerBlock + last->size() / ti.rowSize;
    }
    tc.m_matrixTree = std::move(tree.value());
    return tc;
}

Result<TableContext> TableContext::openNode(NodeDatabase &db, quint32 nid)
{
    auto node = db.node(nid);
    if (!node)
        return node.error();
    return open(db, node->bidData, node->bidSub);
}

std::optional<ColumnDesc> TableContext::column(quint16 id) const
{
    for (const ColumnDesc &c : m_info.columns)
        if (c.id() == id)
            return c;
    return std::nullopt;
}

Result<QByteArrayView> TableContext::rowBytes(qint64 row, QByteArray &block, qint64 &blockIndex) const
{
    const qint64 size = m_info.rowSize;
    if (!m_matrixTree) {
        if ((row + 1) * size > m_heapRows.size())
            return m_heap.damagedAt(kTc, QStringLiteral("row %1 lies past the end of the row matrix").arg(row));
        return QByteArrayView(m_heapRows).sliced(row * size, size);
    }
    const qint64 wanted = row / m_rowsPerBlock;
    if (wanted != blockIndex) {
        auto bytes = m_heap.db().leaf(*m_matrixTree, int(wanted));
        if (!bytes)
            return bytes.error();
        block = std::move(bytes.value());
        blockIndex = wanted;
    }
    const qint64 at = (row % m_rowsPerBlock) * size;
    if (at + size > block.size())
        return m_heap.damagedAt(kTc, QStringLiteral("row %1 lies past the end of block %2 (%3 bytes)").arg(row).arg(wanted).arg(block.size()));
    return QByteArrayView(block).sliced(at, size);
}

Result<std::optional<TableContext::CellView>> TableContext::cell(QByteArrayView row, const ColumnDesc &c,
                                                                 qsizetype maxBytes, Heap::Cursor &cursor) const
{
    const auto *raw = reinterpret_cast<const uchar *>(row.data());
    const quint8 mask = quint8(0x80u >> (c.bit % 8));
    if (!(quint8(row[m_info.end1 + c.bit / 8]) & mask))
        return std::optional<CellView>();
    const int fixed = ptype::fixedSize(c.type());
    if (fixed > 0 && fixed <= 8) {
        if (c.size != fixed)
            return m_heap.damagedAt(kTc, QStringLiteral("column %1 of %2 bytes, its type needs %3").arg(hex(c.tag)).arg(c.size).arg(fixed));
        return std::optional<CellView>(CellView{c.type(), row.sliced(c.offset, c.size)});
    }
    if (c.size != 4)
        return m_heap.damagedAt(kTc, QStringLiteral("column %1 of %2 bytes, expected a 4-byte reference").arg(hex(c.tag)).arg(c.size));
    const quint32 ref = le32(raw + c.offset);
    if (const auto held = m_heap.heldItem(ref, cursor); held && held->size() <= maxBytes && (fixed == 0 || held->size() == fixed))
        return std::optional<CellView>(CellView{c.type(), *held});
    auto bytes = m_heap.valueView(ref, maxBytes, cursor);
    if (!bytes)
        return bytes.error();
    if (fixed > 0 && bytes->size() != fixed)
        return m_heap.damagedAt(kTc, QStringLiteral("column %1 holds %2 bytes, expected %3").arg(hex(c.tag)).arg(bytes->size()).arg(fixed));
    return std::optional<CellView>(CellView{c.type(), *bytes});
}

template <typename Take>
Result<qint64> TableContext::visitRows(qint64 first, qint64 count, const QList<quint16> &ids,
                                       qsizetype maxValueBytes, Take &&take) const
{
    if (first < 0 || count <= 0 || first >= m_rowCount)
        return qint64(0);
    const qint64 end = first + std::min(count, m_rowCount - first);
    QList<std::optional<ColumnDesc>> columns;
    for (const quint16 id : ids)
        columns.append(column(id));
    std::vector<std::optional<CellView>> cells(size_t(columns.size()));
    QByteArray block;
    qint64 blockIndex = -1;
    // A row's cells may lie in several heap blocks: each is kept until the
    // row has been taken.
    Heap::Cursor cursor;
    cursor.keep = true;
    for (qint64 r = first; r < end; ++r) {
        auto bytes = rowBytes(r, block, blockIndex);
        if (!bytes)
            return bytes.error();
        for (qsizetype i = 0; i < columns.size(); ++i) {
            cells[size_t(i)].reset();
            if (!columns[i])
                continue;
            auto value = cell(*bytes, *columns[i], maxValueBytes, cursor);
            if (!value)
                return value.error();
            cells[size_t(i)] = *value;
        }
        take(le32(reinterpret_cast<const uchar *>(bytes->data())), std::as_const(cells));
        cursor.earlier.clear();
    }
    return end - first;
}

Result<QList<TableRow>> TableContext::rows(qint64 first, qint64 count, const QList<quint16> &ids, qsizetype maxValueBytes) const
{
    QList<TableRow> out;
    out.reserve(std::clamp<qint64>(count, 0, 4096));
    auto visited = visitRows(first, count, ids, maxValueBytes,
                             [&](quint32 rowId, const std::vector<std::optional<CellView>> &cells) {
                                 TableRow row{rowId, {}};
                                 row.cells.reserve(qsizetype(cells.size()));
                                 for (const auto &c : cells) {
                                     if (c)
                                         row.cells.append(PropertyValue{c->type, c->bytes.toByteArray()});
                                     else
                                         row.cells.append(std::nullopt);
                                 }
                                 out.append(std::move(row));
                             });
    if (!visited)
        return visited.error();
    return out;
}

Result<PackedRows> TableContext::packedRows(qint64 first, qint64 count, const QList<quint16> &ids,
                                            qsizetype maxValueBytes) const
{
    PackedRows out;
    const qint64 wanted = std::clamp<qint64>(count, 0, 4096);
    out.rowIds.reserve(wanted);
    out.cells.reserve(wanted * ids.size());
    // Room for the row matrix's share and a few short texts per row, so the
    // buffer seldom grows by copying.
    out.bytes.resize(qsizetype(std::min<qint64>(wanted * (m_info.rowSize + 256), 4 * 1024 * 1024)));
    qsizetype used = 0;
    auto visited = visitRows(first, count, ids, maxValueBytes,
                             [&](quint32 rowId, const std::vector<std::optional<CellView>> &cells) {
                                 out.rowIds.append(rowId);
                                 const qsizetype at = out.cells.size();
                                 out.cells.resize(at + qsizetype(cells.size()));
                                 PackedRows::Cell *packed = out.cells.data() + at;
                                 for (const auto &c : cells) {
                                     PackedRows::Cell &to = *packed++;
                                     if (!c)
                                         continue;
                                     const qsizetype n = c->bytes.size();
                                     to = PackedRows::Cell{used, n, c->type};
                                     if (n == 0)
                                         continue;
                                     if (used + n > out.bytes.size())
                                         out.bytes.resize(std::max(used + n, 2 * out.bytes.size() + 4096));
                                     std::memcpy(out.bytes.data() + used, c->bytes.data(), size_t(n));
                                     used += n;
                                 }
                             });
    out.bytes.truncate(used);
    if (!visited)
        return visited.error();
    return out;
}

Result<std::optional<qint64>> TableContext::rowNumber(quint32 rowId) const
{
    if (m_info.rowIndex == 0)
        return std::optional<qint64>();
    auto bth = Bth::open(m_heap, m_info.rowIndex);
    if (!bth)
        return bth.error();
    if (bth->keySize() != 4 || (bth->dataSize() != 2 && bth->dataSize() != 4))
        return m_heap.damagedAt(kTc, QStringLiteral("row index of %1- and %2-byte records").arg(bth->keySize()).arg(bth->dataSize()));
    auto found = bth->find(m_heap, rowId);
    if (!found)
        return found.error();
    if (!found->has_value())
        return std::optional<qint64>();
    const QByteArray &v = **found;
    return std::optional<qint64>(v.size() == 2 ? qint64(get16(v, 0)) : qint64(get32(v, 0)));
}

}  // namespace ostrel::pst
