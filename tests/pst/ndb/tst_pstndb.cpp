// The node database over archives the writer makes (every encoding, deep
// node trees, XBLOCK and XXBLOCK data, SLBLOCK and SIBLOCK subnodes),
// damaged copies of them, files that are no archives, and the corpus.
#include "NdbWriter.h"
#include "ReaderFixtures.h"
#include "TestSupport.h"
#include "pst/format/Bytes.h"
#include "pst/format/Crc.h"
#include "pst/format/Inflate.h"
#include "pst/format/Nid.h"
#include "pst/ndb/NodeDatabase.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace ostrel::pst;
using namespace ostrel::pst::bytes;
namespace pw = ostrel::pstwriter;

Q_DECLARE_METATYPE(ostrel::pst::Encoding)
Q_DECLARE_METATYPE(ostrel::pst::Error::Kind)

namespace {

constexpr int kSmallNodes = 3000;          // enough for a three-level node tree
constexpr quint32 kSmallFirst = 0x10004;   // message ids, step 0x20
constexpr quint32 kXNode = 0x200024;       // 20 full blocks: one XBLOCK
constexpr quint32 kXXNode = 0x200044;      // 1030 blocks: an XXBLOCK
constexpr quint32 kUnevenNode = 0x200064;  // blocks of unequal size
constexpr quint32 kSubNode = 0x200084;     // a few subnodes, one with its own
constexpr quint32 kManySubNode = 0x2000A4; // 400 subnodes: an SIBLOCK
constexpr int kXXBlocks = 1030;

QByteArray pattern(qsizetype size, quint32 seed)
{
    QByteArray b(size, Qt::Uninitialized);
    quint32 x = seed * 2654435761u + 1;
    for (qsizetype i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        b[i] = char(x >> 24);
    }
    return b;
}

QByteArray smallData(int i) { return QByteArrayLiteral("node ") + QByteArray::number(i) + pattern(i % 300, quint32(i)); }

pw::NodeData streamNode(const QByteArray &stream)
{
    pw::NodeData d;
    d.blocks = pw::NodeData::split(stream);
    return d;
}

quint32 subnodeId(int i) { return quint32(0x8000 + i * 0x20) | 0x1F; }

// What an archive the suite writes holds, and where its blocks lie.
struct Fixture {
    QString path;
    QByteArray xData, xxData, unevenData;
    QList<QByteArray> unevenBlocks;
    quint64 xRoot = 0, xxRoot = 0, subRoot = 0, manySubRoot = 0;
    pw::BlockRecord smallBlock, xBlock, xxBlock, slBlock, siBlock;
    pw::NdbLayout layout;
};

bool write(const QString &path, pw::Encoding encoding, bool withXX, Fixture &f)
{
    pw::NdbWriter w(encoding);
    if (!w.open(path))
        return false;
    f.path = path;
    for (int i = 0; i < kSmallNodes; ++i)
        w.addNode(kSmallFirst + quint32(i) * 0x20, w.writeNode(streamNode(smallData(i))), 0);
    f.xData = pattern(20 * pw::kBlockDataMax - 77, 1);
    const pw::NodeRef x = w.writeNode(streamNode(f.xData));
    w.addNode(kXNode, x, 0);
    f.xRoot = x.bidData;
    if (withXX) {
        f.xxData = pattern(qsizetype(kXXBlocks - 1) * pw::kBlockDataMax + 5, 2);
        const pw::NodeRef xx = w.writeNode(streamNode(f.xxData));
        w.addNode(kXXNode, xx, 0);
        f.xxRoot = xx.bidData;
    }
    f.unevenBlocks = {pattern(100, 3), pattern(pw::kBlockDataMax, 4), pattern(50, 5)};
    pw::NodeData uneven;
    uneven.blocks = f.unevenBlocks;
    f.unevenData = f.unevenBlocks.join();
    w.addNode(kUnevenNode, w.writeNode(uneven), 0);

    pw::NodeData withSubs = streamNode("parent");
    for (int i = 0; i < 3; ++i) {
        pw::Subnode s{subnodeId(i), streamNode("sub " + QByteArray::number(i))};
        if (i == 1)
            s.data.subnodes.push_back({subnodeId(9), streamNode("grandchild")});
        withSubs.subnodes.push_back(std::move(s));
    }
    const pw::NodeRef sub = w.writeNode(withSubs);
    w.addNode(kSubNode, sub, 0);
    f.subRoot = sub.bidSub;
    pw::NodeData many = streamNode("many");
    for (int i = 0; i < 400; ++i)
        many.subnodes.push_back({subnodeId(i), streamNode("many " + QByteArray::number(i))});
    const pw::NodeRef manyRef = w.writeNode(many);
    w.addNode(kManySubNode, manyRef, 0);
    f.manySubRoot = manyRef.bidSub;

    pw::HeaderFields fields;
    if (!w.finish(fields))
        return false;
    f.layout = w.layout();
    f.smallBlock = *w.block(w.node(kSmallFirst + 0x20 * 7)->bidData);
    f.xBlock = *w.block(f.xRoot);
    if (withXX)
        f.xxBlock = *w.block(f.xxRoot);
    f.slBlock = *w.block(f.subRoot);
    f.siBlock = *w.block(f.manySubRoot);
    return true;
}

// Rewrites a block's stored bytes and then its checksum, so that only the
// structure is wrong, not the checksum.
void patchBlock(QByteArray &file, const pw::BlockRecord &b, qsizetype at, const QByteArray &bytes)
{
    file.replace(qsizetype(b.ib) + at, bytes.size(), bytes);
    ostrel::test::resealBlock(file, b.ib, b.cb);
}

void resealPage(QByteArray &file, quint64 ib)
{
    const Layout &l = kUnicodeLayout;
    put32(file, qsizetype(ib) + l.pageCrcAt, pstCrc(file.constData() + ib, l.pageCrcSize));
}

QByteArray le64Bytes(quint64 v)
{
    QByteArray b(8, '\0');
    put64(b, 0, v);
    return b;
}


// A minimal archive of 4 KiB pages, made here since no writer makes them:
// one node-tree leaf, one block-tree leaf, and two data blocks, the first
// zlib-compressed (its stream permuted too, or not), the second permuted.
QByteArray fourKiBArchive(const QByteArray &compressedPlain, const QByteArray &permutedPlain, bool encodeStream)
{
    const Layout &l = kUnicode4kLayout;
    const quint64 nbtAt = 0x1000, bbtAt = 0x2000, firstAt = 0x3000;
    const quint64 nbtBid = 0x100, bbtBid = 0x104, firstBid = 0x10, secondBid = 0x14;
    QByteArray file(0x5000, '\0');

    QByteArray h(Header::kSize, '\0');
    std::memcpy(h.data(), "!BDN", 4);
    put16(h, 8, Header::kClientOst);
    put16(h, 10, 36);
    put64(h, 184, quint64(file.size()));
    put64(h, 216, nbtBid);
    put64(h, 224, nbtAt);
    put64(h, 232, bbtBid);
    put64(h, 240, bbtAt);
    put8(h, 512, 0x80);
    put8(h, 513, quint8(Encoding::Permute));
    put32(h, 4, pstCrc(h.constData() + 8, 471));
    put32(h, 524, pstCrc(h.constData() + 8, 516));
    file.replace(0, h.size(), h);

    QByteArray deflated = deflateBlock(compressedPlain);
    if (encodeStream)
        encodeBlock(Encoding::Permute, deflated.data(), deflated.size(), firstBid);
    QByteArray permuted = permutedPlain;
    encodeBlock(Encoding::Permute, permuted.data(), permuted.size(), secondBid);
    const quint64 secondAt = firstAt + l.blockSize(quint32(deflated.size()));
    const struct {
        quint64 at, bid;
        QByteArray stored;
        int inflated;
    } blocks[] = {{firstAt, firstBid, deflated, int(compressedPlain.size())},
                  {secondAt, secondBid, permuted, int(permuted.size())}};
    QByteArray bbtEntries;
    for (const auto &b : blocks) {
        const auto cb = quint16(b.stored.size());
        file.replace(qsizetype(b.at), b.stored.size(), b.stored);
        auto *t = reinterpret_cast<uchar *>(file.data()) + b.at + l.blockSize(cb) - quint64(l.blockTrailerSize);
        writeBlockTrailer(l, t, cb, blockSignature(b.at, b.bid), pstCrc(file.constData() + b.at, cb), b.bid);
        qToLittleEndian(quint16(b.inflated), t + l.blockInflatedAt);
        QByteArray e(l.bbtEntrySize, '\0');
        put64(e, 0, b.bid);
        put64(e, 8, b.at);
        put16(e, 16, cb);
        put16(e, 18, 1);
        bbtEntries += e;
    }
    QByteArray nbtEntries;
    for (const auto &[node, dataBid] : {std::pair<quint32, quint64>{0x21, firstBid}, {0x61, secondBid}}) {
        QByteArray e(l.nbtEntrySize, '\0');
        put64(e, 0, node);
        put64(e, 8, dataBid);
        nbtEntries += e;
    }
    auto writePage = [&](quint64 at, quint64 pageBid, PageType type, const QByteArray &entries, int entrySize) {
        QByteArray page(l.pageSize, '\0');
        page.replace(0, entries.size(), entries);
        put16(page, l.btCountAt, quint16(entries.size() / entrySize));
        put16(page, l.btCountAt + 2, quint16(l.btEntriesSize / entrySize));
        put8(page, l.btEntrySizeAt, quint8(entrySize));
        put8(page, l.btLevelAt, 0);
        writePageTrailer(l, reinterpret_cast<uchar *>(page.data()), type, blockSignature(at, pageBid), pageBid);
        file.replace(qsizetype(at), page.size(), page);
    };
    writePage(nbtAt, nbtBid, PageType::Nbt, nbtEntries, l.nbtEntrySize);
    writePage(bbtAt, bbtBid, PageType::Bbt, bbtEntries, l.bbtEntrySize);
    return file;
}

}  // namespace

class TestNdb : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    Fixture m_none, m_permute, m_cyclic;

    const Fixture &fixture(Encoding encoding) const
    {
        return encoding == Encoding::None ? m_none : encoding == Encoding::Permute ? m_permute : m_cyclic;
    }

    std::unique_ptr<NodeDatabase> openOk(const QString &path, qsizetype bound = BlockCache::kDefaultBound)
    {
        auto db = NodeDatabase::open(path, bound);
        if (!db) {
            qWarning("%s", qPrintable(db.error().text));
            return nullptr;
        }
        return std::move(db.value());
    }

    QString damagedCopy(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        return ostrel::test::writeFileBytes(path, bytes) ? path : QString();
    }

    static QList<quint64> nbtRootEntries(const QByteArray &file, quint64 rootIb)
    {
        QList<quint64> out;
        const uchar *p = data(file) + rootIb;
        const BtPageInfo info = readBtPageInfo(kUnicodeLayout, p);
        for (int i = 0; i < info.count; ++i)
            out.append(qsizetype(rootIb) + i * info.entrySize);
        return out;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(write(m_dir.filePath("none.pst"), Encoding::None, true, m_none));
        QVERIFY(write(m_dir.filePath("permute.pst"), Encoding::Permute, false, m_permute));
        QVERIFY(write(m_dir.filePath("cyclic.pst"), Encoding::Cyclic, false, m_cyclic));
    }

    void opens_data()
    {
        QTest::addColumn<Encoding>("encoding");
        QTest::newRow("none") << Encoding::None;
        QTest::newRow("permute") << Encoding::Permute;
        QTest::newRow("cyclic") << Encoding::Cyclic;
    }
    void opens()
    {
        QFETCH(Encoding, encoding);
        auto db = openOk(fixture(encoding).path);
        QVERIFY(db);
        QCOMPARE(db->header().variant, Variant::Unicode);
        QCOMPARE(db->header().encoding, encoding);
        QCOMPARE(db->fileSize(), fixture(encoding).layout.fileSize);
    }

    void everyNodeReads_data() { opens_data(); }
    void everyNodeReads()
    {
        QFETCH(Encoding, encoding);
        auto db = openOk(fixture(encoding).path);
        QVERIFY(db);
        for (int i = 0; i < kSmallNodes; ++i) {
            const quint32 nid = kSmallFirst + quint32(i) * 0x20;
            auto node = db->node(nid);
            QVERIFY2(node.hasValue(), qPrintable(node ? QString() : node.error().text));
            QCOMPARE(node->nid, nid);
            auto tree = db->dataTree(node->bidData);
            QVERIFY(tree.hasValue());
            auto bytes = db->readAll(*tree, 1 << 20);
            QVERIFY(bytes.hasValue());
            QCOMPARE(*bytes, smallData(i));
        }
    }

    void absentNodes_data()
    {
        QTest::addColumn<quint32>("nid");
        QTest::newRow("below every node") << 0x21u;
        QTest::newRow("between two nodes") << kSmallFirst + 0x10;
        QTest::newRow("above every node") << 0xFFFFFFF4u;
    }
    void absentNodes()
    {
        QFETCH(quint32, nid);
        auto db = openOk(m_none.path);
        QVERIFY(db);
        auto node = db->node(nid);
        QVERIFY(!node.hasValue());
        QCOMPARE(node.error().kind, Error::Kind::Missing);
        QVERIFY(node.error().text.startsWith(QLatin1String("nbt: no entry for ")));
        QVERIFY(!db->block(0).hasValue());
    }

    void dataTrees_data()
    {
        QTest::addColumn<Encoding>("encoding");
        QTest::addColumn<quint32>("nid");
        QTest::addColumn<int>("leaves");
        QTest::newRow("xblock, none") << Encoding::None << kXNode << 20;
        QTest::newRow("xblock, permute") << Encoding::Permute << kXNode << 20;
        QTest::newRow("xblock, cyclic") << Encoding::Cyclic << kXNode << 20;
        QTest::newRow("xxblock") << Encoding::None << kXXNode << kXXBlocks;
        QTest::newRow("uneven blocks") << Encoding::Cyclic << kUnevenNode << 3;
    }
    void dataTrees()
    {
        QFETCH(Encoding, encoding);
        QFETCH(quint32, nid);
        QFETCH(int, leaves);
        const Fixture &f = fixture(encoding);
        const QByteArray expected = nid == kXNode ? f.xData : nid == kXXNode ? f.xxData : f.unevenData;
        auto db = openOk(f.path);
        QVERIFY(db);
        auto node = db->node(nid);
        QVERIFY(node.hasValue());
        auto tree = db->dataTree(node->bidData);
        QVERIFY2(tree.hasValue(), qPrintable(tree ? QString() : tree.error().text));
        QCOMPARE(tree->leaves.size(), leaves);
        QCOMPARE(tree->total, quint64(expected.size()));
        QCOMPARE(tree->fullBlock == 0, nid == kUnevenNode);

        // Ranges: the start, across a block boundary, the last byte, the whole.
        const qsizetype b = pw::kBlockDataMax;
        const QList<std::pair<qsizetype, qsizetype>> ranges = {
            {0, 10}, {b - 3, 7}, {expected.size() - 1, 1}, {expected.size() / 2, 0}, {90, 80}};
        for (const auto &[offset, size] : ranges) {
            auto part = db->read(*tree, quint64(offset), size);
            QVERIFY2(part.hasValue(), qPrintable(part ? QString() : part.error().text));
            QCOMPARE(*part, expected.mid(offset, size));
        }
        if (nid != kXXNode) {
            auto all = db->readAll(*tree, 1 << 24);
            QVERIFY(all.hasValue());
            QCOMPARE(*all, expected);
        }
        auto last = db->leaf(*tree, leaves - 1);
        QVERIFY(last.hasValue());
        QVERIFY(expected.endsWith(*last));
        QVERIFY(!db->leaf(*tree, leaves).hasValue());
        QVERIFY(!db->leaf(*tree, -1).hasValue());

        // Outside the data, or over a limit: refused, not read.
        QVERIFY(!db->read(*tree, quint64(expected.size()) - 2, 3).hasValue());
        QVERIFY(!db->read(*tree, ~quint64(0), 1).hasValue());
        auto capped = db->readAll(*tree, 1000);
        QVERIFY(!capped.hasValue());
        QVERIFY(capped.error().text.contains(QLatin1String("exceed the limit of 1000")));
    }

    void rangeReadsOnlyItsBlocks()
    {
        // A few bytes from the middle of 8 MiB of data (1030 leaves) read
        // one leaf and the block-tree pages that lead to it, not the whole.
        auto db = openOk(m_none.path);
        QVERIFY(db);
        auto node = db->node(kXXNode);
        QVERIFY(node.hasValue());
        auto tree = db->dataTree(node->bidData);
        QVERIFY(tree.hasValue());
        const qsizetype before = db->cache().misses();
        const quint64 offset = quint64(m_none.xxData.size() / 2) + 11;
        auto part = db->read(*tree, offset, 20);
        QVERIFY(part.hasValue());
        QCOMPARE(*part, m_none.xxData.mid(qsizetype(offset), 20));
        const qsizetype reads = db->cache().misses() - before;
        QVERIFY2(reads >= 1 && reads <= 1 + NodeDatabase::kMaxBtreeDepth / 4, qPrintable(QString::number(reads)));
    }

    void cacheStaysBounded()
    {
        const qsizetype bound = 64 * 1024;
        auto db = openOk(m_none.path, bound);
        QVERIFY(db);
        auto node = db->node(kXNode);
        QVERIFY(node.hasValue());
        auto tree = db->dataTree(node->bidData);
        QVERIFY(tree.hasValue());
        auto all = db->readAll(*tree, 1 << 24);
        QVERIFY(all.hasValue());
        QCOMPARE(*all, m_none.xData);
        QVERIFY(db->cache().bytes() <= bound);
        QCOMPARE(db->cache().bound(), bound);
        // A block just read comes from the cache the second time.
        const qsizetype hits = db->cache().hits();
        QVERIFY(db->leaf(*tree, 19).hasValue());
        QCOMPARE(db->cache().hits(), hits + 1);
    }

    void subnodes_data() { opens_data(); }
    void subnodes()
    {
        QFETCH(Encoding, encoding);
        auto db = openOk(fixture(encoding).path);
        QVERIFY(db);
        auto parent = db->node(kSubNode);
        QVERIFY(parent.hasValue());
        auto list = db->subnodes(parent->bidSub);
        QVERIFY(list.hasValue());
        QCOMPARE(list->size(), 3);
        for (int i = 0; i < 3; ++i) {
            auto s = db->subnode(parent->bidSub, subnodeId(i));
            QVERIFY(s.hasValue());
            QCOMPARE((*list)[i].nid, subnodeId(i));
            auto tree = db->dataTree(s->bidData);
            QVERIFY(tree.hasValue());
            QCOMPARE(*db->readAll(*tree, 100), "sub " + QByteArray::number(i));
            QCOMPARE(s->bidSub != 0, i == 1);
        }
        // A subnode's own subnodes.
        auto middle = db->subnode(parent->bidSub, subnodeId(1));
        auto grandchild = db->subnode(middle->bidSub, subnodeId(9));
        QVERIFY(grandchild.hasValue());
        QCOMPARE(*db->readAll(*db->dataTree(grandchild->bidData), 100), QByteArray("grandchild"));

        auto absent = db->subnode(parent->bidSub, subnodeId(5));
        QVERIFY(!absent.hasValue());
        QCOMPARE(absent.error().kind, Error::Kind::Missing);
        QCOMPARE(db->subnode(0, subnodeId(0)).error().kind, Error::Kind::Missing);
        QVERIFY(db->subnodes(0)->isEmpty());
    }

    void subnodeIndex()
    {
        // 400 subnodes need two SLBLOCKs under an SIBLOCK.
        auto db = openOk(m_cyclic.path);
        QVERIFY(db);
        auto parent = db->node(kManySubNode);
        QVERIFY(parent.hasValue());
        auto list = db->subnodes(parent->bidSub);
        QVERIFY(list.hasValue());
        QCOMPARE(list->size(), 400);
        for (int i : {0, 1, 339, 340, 341, 399}) {
            auto s = db->subnode(parent->bidSub, subnodeId(i));
            QVERIFY2(s.hasValue(), qPrintable(QString::number(i)));
            QCOMPARE((*list)[i].nid, subnodeId(i));
            QCOMPARE(*db->readAll(*db->dataTree(s->bidData), 100), "many " + QByteArray::number(i));
        }
        QCOMPARE(db->subnode(parent->bidSub, 0x1F).error().kind, Error::Kind::Missing);
        QCOMPARE(db->subnode(parent->bidSub, subnodeId(400)).error().kind, Error::Kind::Missing);
    }

    void fourKiBPages()
    {
        // The variant of later OST files, which no file here exercises: the
        // layout, the 2-byte entry counts, 512-byte block alignment and
        // compressed blocks, as the code reads them.
        const QByteArray text = QByteArray("Komprimierter Block ").repeated(200);
        const QByteArray plain = pattern(700, 11);
        const QString path = m_dir.filePath(QStringLiteral("pages4k.ost"));
        for (const bool encodeStream : {false, true}) {
            QVERIFY(ostrel::test::writeFileBytes(path, fourKiBArchive(text, plain, encodeStream)));
            auto db = openOk(path);
            QVERIFY(db);
            QCOMPARE(db->header().variant, Variant::Unicode4k);
            QCOMPARE(db->header().client, Header::kClientOst);
            for (const auto &[node, expected] : {std::pair<quint32, QByteArray>{0x21, text}, {0x61, plain}}) {
                auto entry = db->node(node);
                QVERIFY2(entry.hasValue(), qPrintable(entry ? QString() : entry.error().text));
                auto tree = db->dataTree(entry->bidData);
                QVERIFY2(tree.hasValue(), qPrintable(tree ? QString() : tree.error().text));
                QCOMPARE(tree->total, quint64(expected.size()));
                QCOMPARE(*db->readAll(*tree, 1 << 20), expected);
            }
        }
        // A compressed block that does not inflate to its declared size is damage.
        QByteArray bad = fourKiBArchive(text, plain, false);
        const Layout &l = kUnicode4kLayout;
        const auto cb = quint16(deflateBlock(text).size());
        const qsizetype trailer = 0x3000 + qsizetype(l.blockSize(cb)) - l.blockTrailerSize;
        put16(bad, trailer + l.blockInflatedAt, quint16(text.size() + 1));
        QVERIFY(ostrel::test::writeFileBytes(path, bad));
        auto damaged = openOk(path);
        QVERIFY(damaged);
        auto tree = damaged->dataTree(damaged->node(0x21)->bidData);
        QVERIFY(!tree.hasValue());
        QVERIFY2(tree.error().text.contains(QLatin1String("do not inflate to")), qPrintable(tree.error().text));
    }

    void notAnArchive_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<Error::Kind>("kind");
        QTest::newRow("no such file") << QStringLiteral("no-such.pst") << Error::Kind::NotFound;
        QTest::newRow("a folder") << QStringLiteral(".") << Error::Kind::NotRegularFile;
        QTest::newRow("a fifo") << QStringLiteral("fifo") << Error::Kind::NotRegularFile;
        QTest::newRow("empty file") << QStringLiteral("empty.pst") << Error::Kind::NotAnArchive;
    }
    void notAnArchive()
    {
        QFETCH(QString, path);
        QFETCH(Error::Kind, kind);
        const QString full = m_dir.filePath(path);
        if (path == QLatin1String("fifo") && !QFile::exists(full))
            QCOMPARE(::mkfifo(QFile::encodeName(full).constData(), 0600), 0);
        if (path == QLatin1String("empty.pst"))
            QVERIFY(ostrel::test::writeFileBytes(full, QByteArray()));
        auto db = NodeDatabase::open(full);
        QVERIFY(!db.hasValue());
        QCOMPARE(db.error().kind, kind);
    }

    void damage_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<quint32>("nid");  // 0: opening fails
        QTest::addColumn<QString>("error");

        const Fixture &f = m_none;
        const QByteArray good = ostrel::test::fileBytes(f.path);
        QVERIFY(!good.isEmpty());
        const Layout &l = kUnicodeLayout;

        QTest::newRow("cut in half") << good.left(good.size() / 2) << 0u
                                     << QStringLiteral("nbt: 512 bytes lie past the end of the file");
        QByteArray rootCrc = good;
        rootCrc[qsizetype(f.layout.nbtRoot) + 3] = char(rootCrc[qsizetype(f.layout.nbtRoot) + 3] ^ 0x40);
        QTest::newRow("node tree root checksum") << rootCrc << 0u
                                                 << QStringLiteral("nbt: page checksum mismatch at %1").arg(hex(f.layout.nbtRoot));
        QByteArray bbtType = good;
        bbtType[qsizetype(f.layout.bbtRoot) + l.pageTrailerAt] = char(0x81);
        QTest::newRow("block tree root of the wrong type") << bbtType << 0u
                                                           << QStringLiteral("bbt: page of type 0x81, expected 0x80 at %1")
                                                                  .arg(hex(f.layout.bbtRoot));

        QByteArray blockCrc = good;
        blockCrc[qsizetype(f.smallBlock.ib) + 2] = char(blockCrc[qsizetype(f.smallBlock.ib) + 2] ^ 1);
        QTest::newRow("data block checksum") << blockCrc << kSmallFirst + 0x20 * 7
                                             << QStringLiteral("block: %1: checksum mismatch at %2")
                                                    .arg(hex(f.smallBlock.bid), hex(f.smallBlock.ib));
        QByteArray blockId = good;
        const quint64 trailer = f.smallBlock.ib + l.blockSize(f.smallBlock.cb) - quint64(l.blockTrailerSize);
        put64(blockId, qsizetype(trailer) + l.blockBidAt, f.smallBlock.bid + 4);
        QTest::newRow("block trailer names another block") << blockId << kSmallFirst + 0x20 * 7
                                                           << QStringLiteral("trailer says block %1").arg(hex(f.smallBlock.bid + 4));

        // An XBLOCK that names itself: a cycle.
        QByteArray selfRef = good;
        patchBlock(selfRef, f.xBlock, l.xHeaderSize + 3 * 8, le64Bytes(f.xBlock.bid));
        QTest::newRow("xblock names itself") << selfRef << kXNode
                                             << QStringLiteral("entry 3 (%1) is of the wrong kind").arg(hex(f.xBlock.bid));
        QByteArray twice = good;
        const QByteArray secondLeaf = good.mid(qsizetype(f.xBlock.ib) + l.xHeaderSize + 2 * 8, 8);
        patchBlock(twice, f.xBlock, l.xHeaderSize + 3 * 8, secondLeaf);
        QTest::newRow("xblock names a block twice") << twice << kXNode
                                                    << QStringLiteral("names block %1 twice").arg(hex(get64(secondLeaf, 0)));
        QByteArray xCount = good;
        QByteArray count(2, '\0');
        put16(count, 0, 2000);
        patchBlock(xCount, f.xBlock, 2, count);
        QTest::newRow("xblock count overflows") << xCount << kXNode << QStringLiteral("2000 entries overflow it");
        QByteArray xLevel = good;
        patchBlock(xLevel, f.xBlock, 1, QByteArray(1, char(3)));
        QTest::newRow("xblock level") << xLevel << kXNode << QStringLiteral("on level 3");
        QByteArray xTotal = good;
        QByteArray total(4, '\0');
        put32(total, 0, 20 * quint32(l.maxBlockData) + 100);
        patchBlock(xTotal, f.xBlock, 4, total);
        QTest::newRow("xblock total past its blocks") << xTotal << kXNode << QStringLiteral("leaves hold fewer bytes");
        QByteArray xxTotal = good;
        put32(total, 0, 12345);
        patchBlock(xxTotal, f.xxBlock, 4, total);
        QTest::newRow("xxblock total unlike its parts") << xxTotal << kXXNode << QStringLiteral("declares 12345 bytes");
        // An XXBLOCK entry that names the XXBLOCK itself: level 2 where 1 is due.
        QByteArray xxSelf = good;
        patchBlock(xxSelf, f.xxBlock, l.xHeaderSize, le64Bytes(f.xxBlock.bid));
        QTest::newRow("xxblock names itself") << xxSelf << kXXNode << QStringLiteral("on level 2, expected 1");

        QByteArray slCount = good;
        put16(count, 0, 500);
        patchBlock(slCount, f.slBlock, 2, count);
        QTest::newRow("slblock count overflows") << slCount << kSubNode << QStringLiteral("500 entries overflow it");
        QByteArray siSelf = good;
        patchBlock(siSelf, f.siBlock, l.slHeaderSize + 8, le64Bytes(f.siBlock.bid));
        QTest::newRow("siblock names itself") << siSelf << kManySubNode << QStringLiteral("on level 1, expected 0");

        // The node tree's root names itself as a child: the descent ends at
        // a level mismatch, never loops.
        QByteArray loop = good;
        const QList<quint64> entries = nbtRootEntries(good, f.layout.nbtRoot);
        QVERIFY(!entries.isEmpty());
        const PageTrailer rootTrailer = readPageTrailer(l, data(good) + f.layout.nbtRoot);
        put64(loop, qsizetype(entries.first()) + 8, rootTrailer.bid);
        put64(loop, qsizetype(entries.first()) + 16, f.layout.nbtRoot);
        resealPage(loop, f.layout.nbtRoot);
        QTest::newRow("node tree loops") << loop << kSmallFirst << QStringLiteral("nbt: page on level");
        QByteArray entrySize = good;
        entrySize[qsizetype(f.layout.nbtRoot) + l.btEntrySizeAt] = char(16);
        resealPage(entrySize, f.layout.nbtRoot);
        QTest::newRow("node tree entry size") << entrySize << kSmallFirst << QStringLiteral("nbt: entries of 16 bytes, expected 24");
    }
    void damage()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(quint32, nid);
        QFETCH(QString, error);
        const QString path = damagedCopy(QStringLiteral("damaged.pst"), bytes);
        QVERIFY(!path.isEmpty());
        auto db = NodeDatabase::open(path);
        if (nid == 0) {
            QVERIFY(!db.hasValue());
            QVERIFY2(db.error().text.contains(error), qPrintable(db.error().text));
            QCOMPARE(db.error().kind, Error::Kind::Damaged);
            return;
        }
        QVERIFY2(db.hasValue(), qPrintable(db ? QString() : db.error().text));
        NodeDatabase &ndb = *db.value();
        // Walk the node as a reader would: its data, then its subnodes.
        std::optional<Error> failure;
        auto node = ndb.node(nid);
        if (!node) {
            failure = node.error();
        } else {
            auto tree = ndb.dataTree(node->bidData);
            if (!tree) {
                failure = tree.error();
            } else if (auto all = ndb.read(*tree, 0, qsizetype(tree->total)); !all) {
                failure = all.error();
            } else if (auto subs = ndb.subnodes(node->bidSub); !subs) {
                failure = subs.error();
            } else {
                for (const SlEntry &s : *subs) {
                    if (auto one = ndb.subnode(node->bidSub, s.nid); !one) {
                        failure = one.error();
                        break;
                    }
                }
            }
        }
        QVERIFY2(failure.has_value(), "the damage went unnoticed");
        QVERIFY2(failure->text.contains(error), qPrintable(failure->text));
        QCOMPARE(failure->kind, Error::Kind::Damaged);
        if (nid == kSmallFirst)
            return;  // the node tree itself is damaged: no lookup can pass it
        // Other nodes still read.
        auto other = ndb.node(kSmallFirst + 0x20 * 100);
        QVERIFY(other.hasValue());
        auto otherTree = ndb.dataTree(other->bidData);
        QVERIFY(otherTree.hasValue());
        QCOMPARE(*ndb.readAll(*otherTree, 1000), smallData(100));
    }

    void corpusArchives()
    {
        OSTREL_REQUIRE_CORPUS();
        const QDir dir(*ostrel::test::corpusDir());
        int opened = 0;
        for (const QString &name : dir.entryList({QStringLiteral("*.pst"), QStringLiteral("*.ost")}, QDir::Files)) {
            auto db = NodeDatabase::open(dir.filePath(name));
            if (name.startsWith(QLatin1String("pstreader_truncated"))) {
                QVERIFY(!db.hasValue());
                QVERIFY2(db.error().text.startsWith(QLatin1String("header: ")), qPrintable(db.error().text));
                continue;
            }
            QVERIFY2(db.hasValue(), qPrintable(name + QLatin1String(": ") + (db ? QString() : db.error().text)));
            ++opened;
            NodeDatabase &ndb = *db.value();
            // The store, the name map, the root folder and its hierarchy table.
            for (quint32 nid : {nid::MessageStore, nid::NameToIdMap, nid::RootFolder,
                                nid::withType(nid::RootFolder, nid::HierarchyTable)}) {
                auto node = ndb.node(nid);
                QVERIFY2(node.hasValue(), qPrintable(name + QLatin1String(": ") + (node ? QString() : node.error().text)));
                auto tree = ndb.dataTree(node->bidData);
                QVERIFY2(tree.hasValue(), qPrintable(name + QLatin1String(": ") + (tree ? QString() : tree.error().text)));
                auto bytes = ndb.readAll(*tree, 64 * 1024 * 1024);
                QVERIFY2(bytes.hasValue(), qPrintable(name + QLatin1String(": ") + (bytes ? QString() : bytes.error().text)));
                // Every node's data here is a heap: its first block starts
                // with the heap signature.
                QVERIFY2(quint8(ndb.leaf(*tree, 0)->at(2)) == 0xEC, qPrintable(name));
                if (auto subs = ndb.subnodes(node->bidSub); !subs)
                    QFAIL(qPrintable(name + QLatin1String(": ") + subs.error().text));
            }
        }
        QVERIFY(opened >= 20);
    }
};

QTEST_GUILESS_MAIN(TestNdb)
#include "tst_pstndb.moc"
