// Heaps, their B-trees, property contexts and table contexts over nodes the
// writer makes (every value place: record, heap, subnode; multi-valued
// values; tables on the heap and across blocks), damaged heaps, and the
// corpus's stores and folder tables.
#include "Ltp.h"
#include "NdbWriter.h"
#include "ReaderFixtures.h"
#include "TestSupport.h"
#include "pst/format/Bytes.h"
#include "pst/format/Crc.h"
#include "pst/format/Nid.h"
#include "pst/ltp/Bth.h"
#include "pst/ltp/PropertyContext.h"
#include "pst/ltp/TableContext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel::pst;
using namespace ostrel::pst::bytes;
namespace pw = ostrel::pstwriter;

Q_DECLARE_METATYPE(ostrel::pst::PropertyValue)

namespace {

constexpr quint32 kPcNode = 0x200024;
constexpr quint32 kBigTable = 0x20002E;   // 1000 rows over several blocks
constexpr quint32 kSmallTable = 0x20004E; // 3 rows on the heap
constexpr quint32 kEmptyTable = 0x20006E;
constexpr int kBigRows = 1000;

QByteArray utf16(const QString &s)
{
    QByteArray b;
    for (const QChar c : s)
        add16(b, c.unicode());
    return b;
}

QByteArray multiStrings(const QStringList &values)
{
    QByteArray head;
    QByteArray body;
    add32(head, quint32(values.size()));
    const quint32 base = 4 + 4 * quint32(values.size());
    for (const QString &v : values) {
        add32(head, base + quint32(body.size()));
        body += utf16(v);
    }
    return head + body;
}

QString longText(int n) { return QStringLiteral("Zeile %1 mit Umlauten äöü ").repeated(n).arg(n); }
QByteArray binary(int n, int seed)
{
    QByteArray b(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        b[i] = char((i * 7 + seed) ^ (i >> 8));
    return b;
}

QString subjectOf(int row)
{
    if (row == 500)
        return longText(200);  // larger than a heap allocation: a subnode
    return QStringLiteral("Nachricht %1").arg(row);
}
bool hasSubject(int row) { return row % 7 != 3; }

struct Fixture {
    QString path;
    quint32 bigRowsNid = 0;
};

bool write(const QString &path, pw::Encoding encoding)
{
    pw::NdbWriter w(encoding);
    if (!w.open(path))
        return false;
    {
        pw::PropertyBag p;
        p.setInt32(0x0017, 2);
        p.setBool(0x0E1B, true);
        p.setInt16(0x8006, 0xFEDC);
        p.setTime(0x0E06, 0x01D9A0B0C0D0E0F0ull);
        p.setInt64(0x0E08, 0x123456789ABCull);
        p.setString(0x0037, QStringLiteral("Betreff äöü"));
        p.setString8(0x001A, "IPM.Note");
        p.setString(0x1000, longText(400));
        p.setBinary(0x3701, binary(50000, 3));
        p.set({0x8001, 0x101F, multiStrings({QStringLiteral("eins"), QStringLiteral("zwei"), QStringLiteral("drei")})});
        QByteArray ints;
        for (quint32 v : {1u, 2u, 0xFFFFFFFFu})
            add32(ints, v);
        p.set({0x8002, 0x1003, ints});
        p.setBinary(0x8003, QByteArray());
        p.set({0x8004, 0x0048, binary(16, 9)});
        QByteArray dbl(8, '\0');
        const double d = 2.5;
        std::memcpy(dbl.data(), &d, 8);
        p.set({0x8005, 0x0005, dbl});
        pw::nid::SubnodeIds ids;
        w.addNode(kPcNode, w.writeNode(pw::buildPropertyContext(p, ids)), 0);
    }
    const QList<quint32> columns = {0x0037001F, 0x0E060040, 0x0E070003, 0x0E1B000B, 0x00170003};
    {
        pw::TableBuilder t(columns);
        for (int r = 0; r < kBigRows; ++r) {
            pw::PropertyBag cells;
            if (hasSubject(r))
                cells.setString(0x0037, subjectOf(r));
            cells.setTime(0x0E06, 0x01D0000000000000ull + quint64(r));
            cells.setInt32(0x0E07, quint32(r * 3));
            cells.setBool(0x0E1B, r % 2 == 0);
            t.addRow(0x10004 + quint32(r) * 0x20, cells);
        }
        pw::nid::SubnodeIds ids;
        w.addNode(kBigTable, w.writeNode(t.build(ids)), 0);
    }
    {
        pw::TableBuilder t(columns);
        for (int r = 0; r < 3; ++r) {
            pw::PropertyBag cells;
            cells.setString(0x0037, subjectOf(r));
            cells.setInt32(0x0017, quint32(r));
            t.addRow(0x500 + quint32(r), cells);
        }
        pw::nid::SubnodeIds ids;
        w.addNode(kSmallTable, w.writeNode(t.build(ids)), 0);
    }
    {
        pw::TableBuilder t(columns);
        pw::nid::SubnodeIds ids;
        w.addNode(kEmptyTable, w.writeNode(t.build(ids)), 0);
    }
    return w.finish(pw::HeaderFields{});
}

PropertyValue value(quint16 type, const QByteArray &bytes) { return {type, bytes}; }
QByteArray le(quint64 v, int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char(v >> (8 * i));
    return b;
}

}  // namespace

class TestLtp : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_plain, m_permute;

    std::unique_ptr<NodeDatabase> openDb(const QString &path, qsizetype bound = BlockCache::kDefaultBound)
    {
        auto db = NodeDatabase::open(path, bound);
        if (!db) {
            qWarning("%s", qPrintable(db.error().text));
            return nullptr;
        }
        return std::move(db.value());
    }

    // The heap of a node of a written archive, or nothing.
    static std::optional<Heap> heapOf(NodeDatabase &db, quint32 nid)
    {
        auto node = db.node(nid);
        if (!node)
            return std::nullopt;
        auto heap = Heap::open(db, node->bidData, node->bidSub);
        if (!heap)
            return std::nullopt;
        return std::move(heap.value());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_plain = m_dir.filePath(QStringLiteral("plain.pst"));
        m_permute = m_dir.filePath(QStringLiteral("permute.pst"));
        QVERIFY(write(m_plain, pw::Encoding::None));
        QVERIFY(write(m_permute, pw::Encoding::Permute));
    }

    void propertyValues_data()
    {
        QTest::addColumn<quint16>("id");
        QTest::addColumn<PropertyValue>("expected");
        QTest::newRow("int32 in the record") << quint16(0x0017) << value(0x0003, le(2, 4));
        QTest::newRow("bool in the record") << quint16(0x0E1B) << value(0x000B, le(1, 1));
        QTest::newRow("int16 in the record") << quint16(0x8006) << value(0x0002, le(0xFEDC, 2));
        QTest::newRow("time on the heap") << quint16(0x0E06) << value(0x0040, le(0x01D9A0B0C0D0E0F0ull, 8));
        QTest::newRow("int64 on the heap") << quint16(0x0E08) << value(0x0014, le(0x123456789ABCull, 8));
        QTest::newRow("string on the heap") << quint16(0x0037) << value(0x001F, utf16(QStringLiteral("Betreff äöü")));
        QTest::newRow("8-bit string") << quint16(0x001A) << value(0x001E, "IPM.Note");
        QTest::newRow("string in a subnode") << quint16(0x1000) << value(0x001F, utf16(longText(400)));
        QTest::newRow("binary over several blocks") << quint16(0x3701) << value(0x0102, binary(50000, 3));
        QTest::newRow("empty binary") << quint16(0x8003) << value(0x0102, QByteArray());
        QTest::newRow("guid") << quint16(0x8004) << value(0x0048, binary(16, 9));
        QByteArray dbl(8, '\0');
        const double d = 2.5;
        std::memcpy(dbl.data(), &d, 8);
        QTest::newRow("double") << quint16(0x8005) << value(0x0005, dbl);
    }
    void propertyValues()
    {
        QFETCH(quint16, id);
        QFETCH(PropertyValue, expected);
        for (const QString &path : {m_plain, m_permute}) {
            auto db = openDb(path);
            QVERIFY(db);
            auto pc = PropertyContext::openNode(*db, kPcNode);
            QVERIFY2(pc.hasValue(), qPrintable(pc ? QString() : pc.error().text));
            QCOMPARE(pc->entries().size(), 14);
            auto v = pc->read(id);
            QVERIFY2(v.hasValue(), qPrintable(v ? QString() : v.error().text));
            QCOMPARE(v->type, expected.type);
            QCOMPARE(v->bytes, expected.bytes);
        }
    }

    void typedAccess()
    {
        auto db = openDb(m_plain);
        QVERIFY(db);
        auto pc = PropertyContext::openNode(*db, kPcNode);
        QVERIFY(pc.hasValue());
        QCOMPARE(pc->read(0x0017)->toInteger(), std::optional<qint64>(2));
        QCOMPARE(pc->read(0x8006)->toInteger(), std::optional<qint64>(qint16(0xFEDC)));
        QCOMPARE(pc->read(0x0E1B)->toBool(), std::optional<bool>(true));
        QCOMPARE(pc->read(0x0E06)->toFileTime(), std::optional<qint64>(0x01D9A0B0C0D0E0F0ll));
        QCOMPARE(pc->read(0x8005)->toDouble(), std::optional<double>(2.5));
        QCOMPARE(pc->read(0x0037)->toUnicode(), std::optional<QString>(QStringLiteral("Betreff äöü")));
        QCOMPARE(pc->read(0x001A)->toUnicode(), std::nullopt);  // 8-bit text needs its code page
        QCOMPARE(pc->read(0x0037)->toInteger(), std::nullopt);
    }

    void multiValued_data()
    {
        QTest::addColumn<quint16>("id");
        QTest::addColumn<QList<PropertyValue>>("expected");
        QTest::newRow("strings") << quint16(0x8001)
                                 << QList<PropertyValue>{value(0x1F, utf16(QStringLiteral("eins"))),
                                                         value(0x1F, utf16(QStringLiteral("zwei"))),
                                                         value(0x1F, utf16(QStringLiteral("drei")))};
        QTest::newRow("integers") << quint16(0x8002)
                                  << QList<PropertyValue>{value(3, le(1, 4)), value(3, le(2, 4)), value(3, le(0xFFFFFFFF, 4))};
    }
    void multiValued()
    {
        QFETCH(quint16, id);
        QFETCH(QList<PropertyValue>, expected);
        auto db = openDb(m_permute);
        QVERIFY(db);
        auto pc = PropertyContext::openNode(*db, kPcNode);
        QVERIFY(pc.hasValue());
        auto v = pc->read(id);
        QVERIFY(v.hasValue());
        auto elements = v->elements();
        QVERIFY2(elements.hasValue(), qPrintable(elements ? QString() : elements.error().text));
        QCOMPARE(*elements, expected);
    }

    void multiValuedRejects_data()
    {
        QTest::addColumn<PropertyValue>("v");
        QTest::addColumn<QString>("error");
        QTest::newRow("single-valued") << value(0x1F, "ab") << "is single-valued";
        QTest::newRow("partial integer") << value(0x1003, "abcde") << "no whole values of 4";
        QTest::newRow("count too large") << value(0x101F, le(1000, 4) + le(8, 4)) << "1000 values in 8 bytes";
        QTest::newRow("offset inside the offsets") << value(0x101F, le(1, 4) + le(2, 4) + "ab") << "value 0 spans 2";
        QTest::newRow("offset past the end") << value(0x1102, le(1, 4) + le(40, 4)) << "value 0 spans 40";
        QTest::newRow("offsets out of order")
            << value(0x101F, le(2, 4) + le(16, 4) + le(12, 4) + "abcdefgh") << "value 0 spans 16 to 12";
        QTest::newRow("no count") << value(0x101F, "ab") << "hold no count";
    }
    void multiValuedRejects()
    {
        QFETCH(PropertyValue, v);
        QFETCH(QString, error);
        auto elements = v.elements();
        QVERIFY(!elements.hasValue());
        QVERIFY2(elements.error().text.contains(error), qPrintable(elements.error().text));
    }

    void valueLimitsAndStreams()
    {
        auto db = openDb(m_plain);
        QVERIFY(db);
        auto pc = PropertyContext::openNode(*db, kPcNode);
        QVERIFY(pc.hasValue());
        // Above the limit: refused, whether on the heap or in a subnode.
        auto big = pc->read(0x3701, 49999);
        QVERIFY(!big.hasValue());
        QVERIFY2(big.error().text.contains(QLatin1String("exceed the limit of 49999")), qPrintable(big.error().text));
        auto small = pc->read(0x0037, 4);
        QVERIFY(!small.hasValue());
        QVERIFY2(small.error().text.contains(QLatin1String("exceeds the limit of 4")), qPrintable(small.error().text));
        // A subnode's value reads by range without the whole.
        auto tree = pc->valueTree(*pc->find(0x3701));
        QVERIFY(tree.hasValue());
        QVERIFY(tree->has_value());
        QCOMPARE((*tree)->total, quint64(50000));
        auto part = db->read(**tree, 20000, 100);
        QVERIFY(part.hasValue());
        QCOMPARE(*part, binary(50000, 3).mid(20000, 100));
        auto onHeap = pc->valueTree(*pc->find(0x0037));
        QVERIFY(onHeap.hasValue());
        QVERIFY(!onHeap->has_value());
        auto absent = pc->read(0x4242);
        QVERIFY(!absent.hasValue());
        QCOMPARE(absent.error().kind, Error::Kind::Missing);
    }

    void tableRows_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::newRow("first page") << 0 << 20;
        QTest::newRow("middle, across a block") << 240 << 40;
        QTest::newRow("the long subject") << 495 << 10;
        QTest::newRow("last rows, count past the end") << 990 << 50;
        QTest::newRow("one row") << 777 << 1;
    }
    void tableRows()
    {
        QFETCH(int, first);
        QFETCH(int, count);
        auto db = openDb(m_permute);
        QVERIFY(db);
        auto tc = TableContext::openNode(*db, kBigTable);
        QVERIFY2(tc.hasValue(), qPrintable(tc ? QString() : tc.error().text));
        QCOMPARE(tc->rowCount(), qint64(kBigRows));
        const QList<quint16> ids = {0x0037, 0x0E07, 0x4242, 0x0E1B, 0x0E06};
        auto rows = tc->rows(first, count, ids);
        QVERIFY2(rows.hasValue(), qPrintable(rows ? QString() : rows.error().text));
        QCOMPARE(rows->size(), std::min(count, kBigRows - first));
        for (int i = 0; i < rows->size(); ++i) {
            const int r = first + i;
            const TableRow &row = (*rows)[i];
            QCOMPARE(row.rowId, 0x10004 + quint32(r) * 0x20);
            QCOMPARE(row.cells.size(), ids.size());
            QCOMPARE(row.cells[0].has_value(), hasSubject(r));
            if (hasSubject(r))
                QCOMPARE(row.cells[0]->toUnicode(), std::optional<QString>(subjectOf(r)));
            QCOMPARE(row.cells[1]->toInteger(), std::optional<qint64>(r * 3));
            QVERIFY(!row.cells[2].has_value());  // no such column
            QCOMPARE(row.cells[3]->toBool(), std::optional<bool>(r % 2 == 0));
            QCOMPARE(row.cells[4]->toFileTime(), std::optional<qint64>(0x01D0000000000000ll + r));
        }
        // Packed for a listing, the same rows and cells, the long subject's
        // subnode value among them.
        auto packed = tc->packedRows(first, count, ids);
        QVERIFY2(packed.hasValue(), qPrintable(packed ? QString() : packed.error().text));
        QCOMPARE(packed->rowIds.size(), rows->size());
        QCOMPARE(packed->cells.size(), rows->size() * ids.size());
        for (int i = 0; i < rows->size(); ++i) {
            const TableRow &row = (*rows)[i];
            QCOMPARE(packed->rowIds[i], row.rowId);
            for (qsizetype c = 0; c < ids.size(); ++c) {
                const PackedRows::Cell &cell = packed->cells[i * ids.size() + c];
                QCOMPARE(cell.size >= 0, row.cells[c].has_value());
                if (!row.cells[c])
                    continue;
                QCOMPARE(cell.type, row.cells[c]->type);
                QCOMPARE(packed->view(cell).toByteArray(), row.cells[c]->bytes);
            }
        }
    }

    void tableReadsOnlyItsRows()
    {
        // Twenty rows from the middle of a thousand read one or two blocks
        // of the row matrix (and the pages that find them), not all.
        auto db = openDb(m_plain);
        QVERIFY(db);
        auto tc = TableContext::openNode(*db, kBigTable);
        QVERIFY(tc.hasValue());
        const qsizetype before = db->cache().misses();
        auto rows = tc->rows(600, 20, {0x0E07});
        QVERIFY(rows.hasValue());
        QCOMPARE(rows->size(), 20);
        const qsizetype reads = db->cache().misses() - before;
        QVERIFY2(reads >= 1 && reads <= 6, qPrintable(QString::number(reads)));
    }

    void rowIndex_data()
    {
        QTest::addColumn<quint32>("rowId");
        QTest::addColumn<qint64>("row");  // -1: none
        QTest::newRow("first") << 0x10004u << qint64(0);
        QTest::newRow("middle") << 0x10004u + 517 * 0x20 << qint64(517);
        QTest::newRow("last") << 0x10004u + 999 * 0x20 << qint64(999);
        QTest::newRow("absent") << 0x10005u << qint64(-1);
        QTest::newRow("below all") << 0x4u << qint64(-1);
    }
    void rowIndex()
    {
        QFETCH(quint32, rowId);
        QFETCH(qint64, row);
        auto db = openDb(m_permute);
        QVERIFY(db);
        auto tc = TableContext::openNode(*db, kBigTable);
        QVERIFY(tc.hasValue());
        auto found = tc->rowNumber(rowId);
        QVERIFY2(found.hasValue(), qPrintable(found ? QString() : found.error().text));
        QCOMPARE(found->value_or(-1), row);
    }

    void smallAndEmptyTables()
    {
        auto db = openDb(m_plain);
        QVERIFY(db);
        auto small = TableContext::openNode(*db, kSmallTable);
        QVERIFY(small.hasValue());
        QCOMPARE(small->rowCount(), qint64(3));
        auto rows = small->rows(0, 10, {0x0017, 0x0037});
        QVERIFY(rows.hasValue());
        QCOMPARE(rows->size(), 3);
        for (int r = 0; r < 3; ++r) {
            QCOMPARE((*rows)[r].rowId, 0x500u + quint32(r));
            QCOMPARE((*rows)[r].cells[0]->toInteger(), std::optional<qint64>(r));
            QCOMPARE((*rows)[r].cells[1]->toUnicode(), std::optional<QString>(subjectOf(r)));
        }
        QVERIFY(small->rows(3, 5, {0x0017})->isEmpty());
        QVERIFY(small->rows(-1, 5, {0x0017})->isEmpty());
        auto empty = TableContext::openNode(*db, kEmptyTable);
        QVERIFY(empty.hasValue());
        QCOMPARE(empty->rowCount(), qint64(0));
        QVERIFY(empty->rows(0, 10, {0x0037})->isEmpty());
        QVERIFY(empty->column(0x0037).has_value());
        QVERIFY(!empty->column(0x4242).has_value());
        // A table is no property context, and the reverse.
        QVERIFY(!PropertyContext::openNode(*db, kSmallTable).hasValue());
        QVERIFY(!TableContext::openNode(*db, kPcNode).hasValue());
    }

    // Records visited in place match the copied listing, and the cap stops
    // the visit before it hands out more than it allows.
    void bthVisit_data()
    {
        QTest::addColumn<int>("cap");
        QTest::addColumn<bool>("fits");
        QTest::newRow("no cap") << Bth::kMaxRecords << true;
        QTest::newRow("exactly all") << 14 << true;
        QTest::newRow("one short") << 13 << false;
        QTest::newRow("three") << 3 << false;
    }
    void bthVisit()
    {
        QFETCH(int, cap);
        QFETCH(bool, fits);
        auto db = openDb(m_permute);
        QVERIFY(db);
        auto heap = heapOf(*db, kPcNode);
        QVERIFY(heap);
        auto bth = Bth::open(*heap, heap->userRoot());
        QVERIFY(bth.hasValue());
        auto copied = bth->records(*heap);
        QVERIFY(copied.hasValue());
        QCOMPARE(copied->size(), 14);  // the properties the writer gave the node
        QList<Bth::Record> visited;
        auto count = bth->visitRecords(*heap, cap, [&](const uchar *key, const uchar *data) {
            visited.append({QByteArray(reinterpret_cast<const char *>(key), bth->keySize()),
                            QByteArray(reinterpret_cast<const char *>(data), bth->dataSize())});
        });
        QVERIFY(visited.size() <= cap);
        if (!fits) {
            QVERIFY(!count.hasValue());
            QVERIFY2(count.error().text.contains(QStringLiteral("more than %1 records").arg(cap)), qPrintable(count.error().text));
            return;
        }
        QVERIFY(count.hasValue());
        QCOMPARE(*count, copied->size());
        QCOMPARE(visited.size(), copied->size());
        for (qsizetype i = 0; i < visited.size(); ++i) {
            QCOMPARE(visited[i].key, (*copied)[i].key);
            QCOMPARE(visited[i].data, (*copied)[i].data);
        }
    }

    // A row's items are read from the block the cursor holds without the
    // full checks each time: every item of the big table's heap, and ids
    // past its allocations and blocks, read the same either way, and what
    // the full read refuses the held read never gives.
    void heldItemsAgreeWithItemView()
    {
        auto db = openDb(m_plain);
        QVERIFY(db);
        auto heap = heapOf(*db, kBigTable);
        QVERIFY(heap);
        int agreed = 0, refused = 0;
        for (quint32 block = 0; block < 8; ++block) {
            for (quint32 index = 0; index < 64; ++index) {
                const quint32 hid = heap::makeHid(heap->layout(), block, index);
                Heap::Cursor cursor;
                const auto full = heap->itemView(hid, cursor);
                const auto held = heap->heldItem(hid, cursor);
                if (!full) {
                    QVERIFY2(!held, qPrintable(full.error().text));
                    ++refused;
                } else if (held) {
                    QCOMPARE(held->toByteArray(), full->toByteArray());
                    QCOMPARE(held->data(), full->data());
                    ++agreed;
                } else {
                    QCOMPARE(hid, 0u);  // the empty value is never held
                }
            }
        }
        QVERIFY(agreed > 100);
        QVERIFY(refused > 0);
        // An item of another block than the one held is not read from it.
        Heap::Cursor cursor;
        QVERIFY(heap->itemView(heap::makeHid(heap->layout(), 0, 1), cursor).hasValue());
        QVERIFY(!heap->heldItem(heap::makeHid(heap->layout(), 1, 1), cursor));
    }

    void damagedHeaps_data()
    {
        QTest::addColumn<quint32>("nid");
        QTest::addColumn<int>("at");  // offset in the node's first block
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::newRow("heap signature") << kPcNode << 2 << QByteArray(1, char(0xEB)) << "heap: bad signature 0xEB";
        QTest::newRow("page map past the block") << kPcNode << 0 << le(0xFFF0, 2) << "page map at 65520";
        QTest::newRow("page map inside the header") << kSmallTable << 0 << le(4, 2) << "page map at 4";
        QTest::newRow("user root names a missing allocation") << kPcNode << 4 << le(99 << 5, 4) << "names allocation 99";
        QTest::newRow("user root in another block") << kSmallTable << 4 << le(0x20 | (3 << 16), 4) << "names block 3 of 1";
        QTest::newRow("user root not a heap id") << kPcNode << 4 << le(0x21, 4) << "is not a heap id";
        QTest::newRow("wrong client") << kPcNode << 3 << QByteArray(1, char(0x7C)) << "property context: heap";
    }
    void damagedHeaps()
    {
        QFETCH(quint32, nid);
        QFETCH(int, at);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QByteArray file = ostrel::test::fileBytes(m_plain);
        QVERIFY(!file.isEmpty());
        {
            auto db = openDb(m_plain);
            QVERIFY(db);
            auto node = db->node(nid);
            QVERIFY(node.hasValue());
            auto entry = db->blockEntry(node->bidData);
            QVERIFY(entry.hasValue());
            QVERIFY(!bid::isInternal(node->bidData));
            const qsizetype ib = qsizetype(entry->bref.ib);
            file.replace(ib + at, bytes.size(), bytes);
            ostrel::test::resealBlock(file, quint64(ib), entry->cb);
        }
        const QString path = m_dir.filePath(QStringLiteral("damaged.pst"));
        QVERIFY(ostrel::test::writeFileBytes(path, file));
        auto db = openDb(path);
        QVERIFY(db);
        std::optional<Error> failure;
        if (nid == kPcNode) {
            auto pc = PropertyContext::openNode(*db, nid);
            if (!pc)
                failure = pc.error();
        } else {
            auto tc = TableContext::openNode(*db, nid);
            if (!tc)
                failure = tc.error();
            else if (auto rows = tc->rows(0, 10, {0x0037}); !rows) {
                failure = rows.error();
                // Packed for a listing, the same failure.
                auto packed = tc->packedRows(0, 10, {0x0037});
                QVERIFY(!packed.hasValue());
                QCOMPARE(packed.error().text, failure->text);
            }
        }
        QVERIFY2(failure.has_value(), "the damage went unnoticed");
        QVERIFY2(failure->text.contains(error), qPrintable(failure->text));
        QVERIFY2(failure->text.contains(QLatin1String(" at 0x")), qPrintable(failure->text));
        // The other nodes still read.
        auto other = TableContext::openNode(*db, kBigTable);
        QVERIFY(other.hasValue());
        QCOMPARE(other->rows(5, 1, {0x0E07})->first().cells[0]->toInteger(), std::optional<qint64>(15));
    }

    void corpusFolderTables()
    {
        OSTREL_REQUIRE_CORPUS();
        const QDir dir(*ostrel::test::corpusDir());
        int read = 0;
        int named = 0;
        for (const QString &name : dir.entryList({QStringLiteral("*.pst"), QStringLiteral("*.ost")}, QDir::Files)) {
            auto db = NodeDatabase::open(dir.filePath(name));
            if (!db)
                continue;  // the node database suite checks which open
            const auto where = [&](const Error &e) { return (name + QLatin1String(": ") + e.text).toLocal8Bit(); };
            auto store = PropertyContext::openNode(*db.value(), nid::MessageStore);
            QVERIFY2(store.hasValue(), (store ? QByteArray() : where(store.error())).constData());
            // The store's display name, in either string type.
            auto display = store->find(0x3001);
            QVERIFY2(display.has_value(), qPrintable(name));
            QVERIFY(store->read(*display).hasValue());
            auto root = PropertyContext::openNode(*db.value(), nid::RootFolder);
            QVERIFY2(root.hasValue(), (root ? QByteArray() : where(root.error())).constData());
            auto hierarchy = TableContext::openNode(*db.value(), nid::withType(nid::RootFolder, nid::HierarchyTable));
            QVERIFY2(hierarchy.hasValue(), (hierarchy ? QByteArray() : where(hierarchy.error())).constData());
            QVERIFY2(hierarchy->rowCount() >= 1, qPrintable(name));
            auto rows = hierarchy->rows(0, hierarchy->rowCount(), {0x3001, 0x3602, 0x3603, 0x360A});
            QVERIFY2(rows.hasValue(), (rows ? QByteArray() : where(rows.error())).constData());
            for (const TableRow &row : *rows) {
                // Each row is a folder below the root, whose own properties
                // open. A row may lack the name (one real archive's
                // "Content.Filter" row does, and another its count); where it
                // has one, it is the folder's.
                QVERIFY(nid::type(row.rowId) == nid::NormalFolder || nid::type(row.rowId) == nid::SearchFolder);
                if (row.cells[1])
                    QVERIFY(row.cells[1]->toInteger().has_value());
                auto folder = PropertyContext::openNode(*db.value(), row.rowId);
                QVERIFY2(folder.hasValue(), (folder ? QByteArray() : where(folder.error())).constData());
                auto sameName = folder->read(0x3001);
                QVERIFY(sameName.hasValue());
                named += row.cells[0].has_value() ? 1 : 0;
                if (row.cells[0])
                    QCOMPARE(sameName->bytes, row.cells[0]->bytes);
            }
            auto found = hierarchy->rowNumber(rows->first().rowId);
            QVERIFY2(found.hasValue() && *found == std::optional<qint64>(0), qPrintable(name));
            ++read;
        }
        QVERIFY(read >= 20);
        QVERIFY(named >= 2 * read);
    }
};

QTEST_GUILESS_MAIN(TestLtp)
#include "tst_pstltp.moc"
