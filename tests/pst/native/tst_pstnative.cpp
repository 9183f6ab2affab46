// The native engine behind the reader interface: the folder tree on open,
// listings in chunks, pages of whole messages, embedded messages, cut
// properties, attachment streams, refusals with their reasons, the archive
// left untouched, and the corpus's counts.
#include "ArchiveBuilder.h"
#include "ManifestReader.h"
#include "ReaderFixtures.h"
#include "TestSupport.h"
#include "pst/format/Bytes.h"
#include "pst/format/Crc.h"
#include "pst/format/Nid.h"
#include "pst/ltp/TableContext.h"
#include "pst/native/NativeEngine.h"
#include "pst/ndb/NodeDatabase.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace ostrel;
namespace pw = ostrel::pstwriter;

Q_DECLARE_METATYPE(ostrel::PSTError::Kind)

namespace {

constexpr int kMany = 300;

QString text(const PropertyBag &bag, quint16 id)
{
    const PropertyValue *v = bag.find(id);
    if (!v || v->type != 0x001F)
        return {};
    QString s;
    for (qsizetype i = 0; i + 1 < v->bytes.size(); i += 2)
        s.append(QChar(quint16(quint8(v->bytes[i]) | quint8(v->bytes[i + 1]) << 8)));
    return s;
}

const RawFolder *find(const QList<RawFolder> &folders, const QString &name)
{
    for (const RawFolder &f : folders) {
        if (text(f.properties, 0x3001) == name)
            return &f;
        if (const RawFolder *found = find(f.children.value, name))
            return found;
    }
    return nullptr;
}

using ostrel::test::payload;

pw::Message message(const QString &subject) { return ostrel::test::plainMessage(subject); }

QByteArray digest(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result();
}


// What an engine gives of a whole archive, and every part it said it could
// not read.
struct Census {
    qint64 folders = 0;
    qint64 messages = 0;
    qint64 recipients = 0;
    qint64 attachments = 0;
    qint64 attachmentBytes = 0;
    QStringList failures;
};

void countMessage(const RawMessage &m, Census &c)
{
    ++c.messages;
    if (m.failure)
        c.failures.append(*m.failure);
    if (!m.recipients.readable())
        c.failures.append(*m.recipients.failure);
    if (!m.attachments.readable())
        c.failures.append(*m.attachments.failure);
    c.recipients += m.recipients.value.size();
    for (const RawAttachment &a : m.attachments.value) {
        ++c.attachments;
        if (a.embeddedFailure)
            c.failures.append(*a.embeddedFailure);
        if (a.embedded)
            countMessage(*a.embedded, c);
        else if (a.data)
            c.attachmentBytes += a.data->size();
        else if (!a.embeddedFailure)
            c.failures.append(QStringLiteral("attachment without data"));
    }
}

Census census(const QString &path)
{
    Census c;
    NativeEngine engine;
    auto archive = engine.open(path);
    if (!archive) {
        c.failures.append(archive.error().message());
        return c;
    }
    if (!archive->folders.readable())
        c.failures.append(*archive->folders.failure);
    const InlineDataPolicy all = [](const PropertyBag &, qint64) { return true; };
    std::function<void(const QList<RawFolder> &)> walk = [&](const QList<RawFolder> &folders) {
        for (const RawFolder &f : folders) {
            ++c.folders;
            if (!f.children.readable())
                c.failures.append(*f.children.failure);
            auto page = engine.readMessages(f.node, 0, 100000, all);
            if (!page)
                c.failures.append(page.error().message());
            else
                for (const RawMessage &m : *page)
                    countMessage(m, c);
            walk(f.children.value);
        }
    };
    walk(archive->folders.value);
    return c;
}

}  // namespace

class TestNative : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    pw::FolderId m_inbox = 0, m_many = 0;
    pw::MessageId m_rich = 0;
    QList<pw::MessageId> m_manyIds;

    // A copy of the archive, named name, with one byte of the block bid
    // flipped so that its checksum fails; empty when that cannot be made.
    QString withDamagedBlock(quint64 bid, const QString &name)
    {
        QByteArray file = ostrel::test::fileBytes(m_path);
        auto db = pst::NodeDatabase::open(m_path);
        if (file.isEmpty() || !db)
            return {};
        auto block = db.value()->blockEntry(bid);
        if (!block || qsizetype(block->bref.ib) + 4 >= file.size())
            return {};
        const qsizetype ib = qsizetype(block->bref.ib);
        file[ib + 4] = char(file[ib + 4] ^ 0x5A);
        const QString path = m_dir.filePath(name);
        return ostrel::test::writeFileBytes(path, file) ? path : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("archive.pst"));
        pw::ArchiveOptions options;
        options.encoding = pw::Encoding::Cyclic;
        pw::ArchiveBuilder b(options);
        QVERIFY(b.open(m_path));
        m_inbox = b.addFolder(b.ipmSubtree(), QStringLiteral("Posteingang"));
        m_many = b.addFolder(b.ipmSubtree(), QStringLiteral("Viele"));
        b.addFolder(m_inbox, QStringLiteral("Unterordner"));
        pw::Message rich = message(QStringLiteral("Mit Anhängen"));
        rich.addRecipient({QStringLiteral("Bernd"), QStringLiteral("bernd@example.org"), {}, {}, pw::RecipientType::To});
        pw::Attachment small;
        small.longFileName = QStringLiteral("klein.txt");
        small.data = payload(300, 1);
        pw::Attachment large;
        large.longFileName = QStringLiteral("gross.bin");
        large.data = payload(70000, 2);
        auto inner = std::make_shared<pw::Message>(message(QStringLiteral("Weitergeleitet")));
        pw::Attachment innerFile;
        innerFile.longFileName = QStringLiteral("innen.txt");
        innerFile.data = payload(900, 3);
        inner->addAttachment(innerFile);
        pw::Attachment embedded;
        embedded.embedded = inner;
        rich.addAttachment(small).addAttachment(large).addAttachment(embedded);
        m_rich = b.addMessage(m_inbox, rich);
        b.addMessage(m_inbox, message(QStringLiteral("Zweite")));
        // Every third names its sender: rows differ in the cells they hold.
        for (int i = 0; i < kMany; ++i) {
            pw::Message m = message(QStringLiteral("Nachricht %1").arg(i));
            if (i % 3 == 0)
                m.senderName = QStringLiteral("Absender %1").arg(i);
            m_manyIds.append(b.addMessage(m_many, m));
        }
        QVERIFY2(b.finish(), qPrintable(b.errorString()));
    }

    void opensTheTree()
    {
        NativeEngine engine;
        QCOMPARE(engine.name(), QStringLiteral("native"));
        auto archive = engine.open(m_path);
        QVERIFY(archive.hasValue());
        QVERIFY(archive->folders.readable());
        QCOMPARE(archive->rootFolder, 0x122u);
        QCOMPARE(text(archive->store, 0x3001), QStringLiteral("Personal Folders"));
        const RawFolder *inbox = find(archive->folders.value, QStringLiteral("Posteingang"));
        QVERIFY(inbox);
        QCOMPARE(inbox->node, m_inbox);
        QCOMPARE(inbox->messageCount.value, qint64(2));
        QVERIFY(inbox->messageCount.readable());
        QVERIFY(inbox->children.readable());
        QCOMPARE(inbox->children.value.size(), 1);
        const RawFolder *many = find(archive->folders.value, QStringLiteral("Viele"));
        QVERIFY(many);
        QCOMPARE(many->messageCount.value, qint64(kMany));
        QVERIFY(!many->searchFolder);
    }

    void listsInChunks_data()
    {
        QTest::addColumn<qsizetype>("cacheBytes");
        QTest::addColumn<bool>("scanned");
        // The folder's rows take some 70 KiB.
        QTest::newRow("table kept in the cache") << qsizetype(32 * 1024 * 1024) << false;
        QTest::newRow("table too large for it, read as a scan") << qsizetype(64 * 1024) << true;
    }

    void listsInChunks()
    {
        QFETCH(qsizetype, cacheBytes);
        QFETCH(bool, scanned);
        NativeEngine engine(cacheBytes);
        QVERIFY(engine.open(m_path).hasValue());
        QCOMPARE(engine.cacheUse().readOnceBytes, qsizetype(0));
        QList<RawRow> rows;
        int chunks = 0;
        auto listing = engine.listFolder(m_many, [&](const QList<RawRow> &chunk) {
            ++chunks;
            rows += chunk;
            return true;
        });
        QVERIFY(listing.hasValue());
        QCOMPARE(listing->rows, qint64(kMany));
        QCOMPARE(listing->unreadable, qint64(0));
        QVERIFY(!listing->failure);
        QVERIFY(chunks >= 2);
        QCOMPARE(rows.size(), kMany);
        for (int i = 0; i < kMany; ++i) {
            QCOMPARE(rows[i].node, m_manyIds[i]);
            QCOMPARE(text(rows[i].columns, 0x0037), QStringLiteral("Nachricht %1").arg(i));
            // A row holds its own cells only, never one left from the row before.
            QCOMPARE(rows[i].columns.contains(0x0042), i % 3 == 0);
            if (i % 3 == 0)
                QCOMPARE(text(rows[i].columns, 0x0042), QStringLiteral("Absender %1").arg(i));
        }
        // A scan's blocks pass through the read-once cache only.
        QCOMPARE(engine.cacheUse().readOnceBytes > 0, scanned);
        QVERIFY(engine.cacheUse().mainBytes <= cacheBytes);
        // A sink that has enough stops the listing.
        int delivered = 0;
        auto stopped = engine.listFolder(m_many, [&](const QList<RawRow> &chunk) {
            delivered += int(chunk.size());
            return false;
        });
        QVERIFY(stopped.hasValue());
        QCOMPARE(stopped->rows, qint64(delivered));
        QVERIFY(delivered < kMany);
    }

    void aDamagedTableBlockEndsTheListingSayingHowManyRowsAreLost()
    {
        // The last block of the folder's row matrix fails its checksum. The
        // rows before the chunk that needs it arrive in order; the rest are
        // counted as unreadable, with a reason that names the offset.
        qint64 damagedFirstRow = 0;
        quint64 damagedBlock = 0;
        {
            auto db = pst::NodeDatabase::open(m_path);
            QVERIFY(db.hasValue());
            const quint32 contents = pst::nid::withType(m_many, pst::nid::ContentsTable);
            auto table = pst::TableContext::openNode(*db.value(), contents);
            QVERIFY(table.hasValue());
            const quint32 matrix = table->info().rows;
            QVERIFY(pst::nid::type(matrix) != pst::nid::Hid);  // in a subnode: many blocks
            auto node = db.value()->node(contents);
            QVERIFY(node.hasValue());
            auto sub = db.value()->subnode(node->bidSub, matrix);
            QVERIFY(sub.hasValue());
            auto tree = db.value()->dataTree(sub->bidData);
            QVERIFY(tree.hasValue());
            // Not the last block: opening the table reads that one's size.
            QVERIFY(tree->leaves.size() >= 3);
            const int damaged = int(tree->leaves.size()) - 2;
            auto firstLeaf = db.value()->leaf(*tree, 0);
            QVERIFY(firstLeaf.hasValue());
            const qint64 rowsPerBlock = firstLeaf->size() / table->info().rowSize;
            damagedFirstRow = damaged * rowsPerBlock;
            QVERIFY(damagedFirstRow >= 256);  // beyond the first chunk a listing hands on
            damagedBlock = tree->leaves[damaged];
        }
        const QString path = withDamagedBlock(damagedBlock, QStringLiteral("table-damaged.pst"));
        QVERIFY(!path.isEmpty());
        NativeEngine engine;
        QVERIFY(engine.open(path).hasValue());
        QList<quint32> nodes;
        auto listing = engine.listFolder(m_many, [&](const QList<RawRow> &chunk) {
            for (const RawRow &row : chunk)
                nodes.append(row.node);
            return true;
        });
        QVERIFY(listing.hasValue());
        QVERIFY(listing->failure.has_value());
        QVERIFY2(listing->failure->contains(QLatin1String("0x")), qPrintable(*listing->failure));
        QVERIFY(listing->unreadable > 0);
        QCOMPARE(listing->rows + listing->unreadable, qint64(kMany));
        QCOMPARE(nodes.size(), listing->rows);
        QVERIFY(!nodes.isEmpty());  // the first chunk's rows lie in intact blocks
        QVERIFY(nodes.size() <= damagedFirstRow);
        QCOMPARE(nodes, m_manyIds.mid(0, nodes.size()));
    }

    void messagesReadOnceLeaveTheFolderTableCached()
    {
        // A cache that holds the folder's table, not the table and its messages.
        constexpr qsizetype kBound = 160 * 1024;
        const quint32 contents = pst::nid::withType(m_many, pst::nid::ContentsTable);
        // Blocks read for the table, and the cache misses that took.
        const auto readTable = [&](pst::NodeDatabase &db) {
            const qsizetype before = db.cache().misses();
            auto table = pst::TableContext::openNode(db, contents);
            auto rows = table ? table->rows(0, kMany, {0x0037}) : pst::Result<QList<pst::TableRow>>(table.error());
            return rows && rows->size() == kMany ? db.cache().misses() - before : qsizetype(-1);
        };
        const auto readMessages = [&](pst::NodeDatabase &db) {
            qint64 bytes = 0;
            for (const pw::MessageId id : std::as_const(m_manyIds)) {
                auto node = db.node(id);
                auto data = node ? db.block(node->bidData) : pst::Result<QByteArray>(node.error());
                if (!data)
                    return qint64(-1);
                bytes += data->size();
            }
            return bytes;
        };
        for (const bool once : {false, true}) {
            auto opened = pst::NodeDatabase::open(m_path, kBound);
            QVERIFY(opened.hasValue());
            pst::NodeDatabase &db = *opened.value();
            QVERIFY(readTable(db) > 0);
            QCOMPARE(readTable(db), qsizetype(0));  // now cached
            const qsizetype tableBytes = db.cache().bytes();
            std::optional<pst::NodeDatabase::ReadOnce> scope;
            if (once)
                scope.emplace(db);
            const qint64 bytes = readMessages(db);
            QVERIFY(tableBytes + bytes > kBound);  // together, more than the main cache holds
            if (once) {
                QVERIFY(db.readOnceCache().bytes() > 0);
                QVERIFY(db.readOnceCache().bytes() <= pst::NodeDatabase::kReadOnceBound);
                QCOMPARE(readTable(db), qsizetype(0));  // kept, and found while the scope lasts
                scope.reset();
                QCOMPARE(readTable(db), qsizetype(0));
            } else {
                QCOMPARE(db.readOnceCache().bytes(), qsizetype(0));
                QVERIFY(readTable(db) > 0);  // the messages pushed it out
            }
        }
    }

    void pagesOfMessages()
    {
        NativeEngine engine;
        QVERIFY(engine.open(m_path).hasValue());
        auto page = engine.readMessages(m_many, 100, 10, {});
        QVERIFY(page.hasValue());
        QCOMPARE(page->size(), 10);
        for (int i = 0; i < 10; ++i) {
            QCOMPARE((*page)[i].key, (MessageKey{m_manyIds[100 + i], {}}));
            QCOMPARE(text((*page)[i].properties, 0x0037), QStringLiteral("Nachricht %1").arg(100 + i));
        }
        QCOMPARE(engine.readMessages(m_many, 295, 10, {})->size(), 5);
        QVERIFY(engine.readMessages(m_many, 400, 10, {})->isEmpty());

        // Attachment bytes only where the policy asks for them.
        const InlineDataPolicy smallOnly = [](const PropertyBag &, qint64 size) { return size < 1000; };
        auto inbox = engine.readMessages(m_inbox, 0, 1, smallOnly);
        QVERIFY(inbox.hasValue());
        const RawMessage &rich = inbox->first();
        QVERIFY(rich.attachments.readable());
        QCOMPARE(rich.attachments.value.size(), 3);
        QCOMPARE(rich.attachments.value[0].data, std::optional<QByteArray>(payload(300, 1)));
        QCOMPARE(rich.attachments.value[1].dataSize, std::optional<qint64>(70000));
        QVERIFY(!rich.attachments.value[1].data);
        const auto &embedded = rich.attachments.value[2].embedded;
        QVERIFY(embedded);
        QCOMPARE(embedded->key, (MessageKey{m_rich, {2}}));
        QCOMPARE(text(embedded->properties, 0x0037), QStringLiteral("Weitergeleitet"));
        QCOMPARE(embedded->attachments.value.first().data, std::optional<QByteArray>(payload(900, 3)));
        QCOMPARE(rich.recipients.value.size(), 1);
    }

    void messagesByKey()
    {
        NativeEngine engine;
        QVERIFY(engine.open(m_path).hasValue());
        auto inner = engine.readMessage(MessageKey{m_rich, {2}}, {});
        QVERIFY(inner.hasValue());
        QCOMPARE(text(inner->properties, 0x0037), QStringLiteral("Weitergeleitet"));
        QCOMPARE(inner->key, (MessageKey{m_rich, {2}}));
        auto cut = engine.readProperties(MessageKey{m_rich, {}}, {0x0037, 0x1000}, 8);
        QVERIFY(cut.hasValue());
        QCOMPARE(cut->find(0x1000)->bytes.size(), 8);
        QCOMPARE(cut->find(0x0037)->bytes.size(), 8);
        auto missing = engine.readMessage(MessageKey{0x7FFFFFE4, {}}, {});
        QVERIFY(!missing.hasValue());
        QCOMPARE(missing.error().kind(), PSTError::Kind::parsingFailed);
        QVERIFY(missing.error().message().startsWith(QLatin1String("nbt: no entry")));
        QVERIFY(!engine.readMessage(MessageKey{m_rich, {0}}, {}).hasValue());
    }

    void streamsAttachments()
    {
        NativeEngine engine;
        QVERIFY(engine.open(m_path).hasValue());
        QByteArray got;
        int chunks = 0;
        auto n = engine.streamAttachment(AttachmentKey{MessageKey{m_rich, {}}, 1}, [&](QByteArrayView chunk) {
            got += chunk;
            ++chunks;
            return true;
        });
        QVERIFY2(n.hasValue(), qPrintable(n ? QString() : n.error()));
        QCOMPARE(*n, qint64(70000));
        QCOMPARE(got, payload(70000, 2));
        QVERIFY(chunks > 1);
        got.clear();
        auto innerFile = engine.streamAttachment(AttachmentKey{MessageKey{m_rich, {2}}, 0}, [&](QByteArrayView chunk) {
            got += chunk;
            return true;
        });
        QVERIFY(innerFile.hasValue());
        QCOMPARE(got, payload(900, 3));
        qint64 seen = 0;
        auto stopped = engine.streamAttachment(AttachmentKey{MessageKey{m_rich, {}}, 1}, [&](QByteArrayView chunk) {
            seen += chunk.size();
            return false;
        });
        QVERIFY(stopped.hasValue());
        QCOMPARE(*stopped, seen);
        QVERIFY(seen < 70000);
        QVERIFY(!engine.streamAttachment(AttachmentKey{MessageKey{m_rich, {}}, 7}, [](QByteArrayView) { return true; }).hasValue());
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<PSTError::Kind>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("no such file") << "nothing.pst" << PSTError::Kind::fileNotFound << QString();
        QTest::newRow("a fifo") << "fifo" << PSTError::Kind::parsingFailed << "file: not a regular file";
        QTest::newRow("a folder") << "folder" << PSTError::Kind::parsingFailed << "file: a folder, not a file";
        QTest::newRow("a text file") << "text.pst" << PSTError::Kind::invalidFormat << QString();
        QTest::newRow("cut in the header") << "short.pst" << PSTError::Kind::parsingFailed
                                           << "header: file of 100 bytes ends inside the header";
    }
    void refusals()
    {
        QFETCH(QString, name);
        QFETCH(PSTError::Kind, kind);
        QFETCH(QString, message);
        const QString path = m_dir.filePath(name);
        if (name == QLatin1String("fifo") && !QFile::exists(path))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        if (name == QLatin1String("folder"))
            QVERIFY(QDir(m_dir.path()).mkpath(name));
        if (name == QLatin1String("text.pst")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("Dies ist kein Archiv.\n");
        }
        if (name == QLatin1String("short.pst")) {
            QFile src(m_path);
            QVERIFY(src.open(QIODevice::ReadOnly));
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(src.read(100));
        }
        NativeEngine engine;
        auto archive = engine.open(path);
        QVERIFY(!archive.hasValue());
        QCOMPARE(archive.error().kind(), kind);
        QCOMPARE(archive.error().message(), message);
        // Nothing open: requests say so instead of reading.
        QVERIFY(!engine.readMessages(m_many, 0, 1, {}).hasValue());
    }

    void attachedMessageInItself()
    {
        // The attached message's subnode is pointed at its parent's own
        // properties: reading it would never end.
        QByteArray file = ostrel::test::fileBytes(m_path);
        QVERIFY(!file.isEmpty());
        {
            auto db = pst::NodeDatabase::open(m_path);
            QVERIFY(db.hasValue());
            pst::NodeDatabase &ndb = *db.value();
            auto message = ndb.node(m_rich);
            QVERIFY(message.hasValue());
            auto subs = ndb.subnodes(message->bidSub);
            QVERIFY(subs.hasValue());
            std::optional<pst::SlEntry> attachment;
            for (const pst::SlEntry &e : *subs)
                if (pst::nid::type(e.nid) == pst::nid::Attachment && e.bidSub != 0)
                    attachment = e;
            QVERIFY(attachment);
            auto block = ndb.blockEntry(attachment->bidSub);
            QVERIFY(block.hasValue());
            const pst::Layout &l = pst::kUnicodeLayout;
            const qsizetype ib = qsizetype(block->bref.ib);
            QCOMPARE(pst::bytes::get16(file, ib + 2), quint16(1));  // one entry: the attached message
            pst::bytes::put64(file, ib + l.slHeaderSize + 8, message->bidData);
            pst::bytes::put64(file, ib + l.slHeaderSize + 16, message->bidSub);
            ostrel::test::resealBlock(file, quint64(ib), block->cb);
        }
        const QString path = m_dir.filePath(QStringLiteral("loop.pst"));
        QVERIFY(ostrel::test::writeFileBytes(path, file));
        NativeEngine engine;
        QVERIFY(engine.open(path).hasValue());
        auto m = engine.readMessage(MessageKey{m_rich, {}}, {});
        QVERIFY(m.hasValue());
        const RawAttachment &a = m->attachments.value[2];
        QVERIFY(!a.embedded);
        QVERIFY(a.embeddedFailure.has_value());
        QVERIFY2(a.embeddedFailure->contains(QLatin1String("lies in itself")), qPrintable(*a.embeddedFailure));
        QCOMPARE(text(m->properties, 0x0037), QStringLiteral("Mit Anhängen"));
    }

    void aDamagedMessageKeepsItsPlaceInThePage()
    {
        // One message's property block fails its checksum: the page still
        // holds every message, that one saying why.
        quint64 damagedBlock = 0;
        {
            auto db = pst::NodeDatabase::open(m_path);
            QVERIFY(db.hasValue());
            auto node = db.value()->node(m_manyIds[103]);
            QVERIFY(node.hasValue());
            damagedBlock = node->bidData;
        }
        const QString path = withDamagedBlock(damagedBlock, QStringLiteral("one-damaged.pst"));
        QVERIFY(!path.isEmpty());
        NativeEngine engine;
        QVERIFY(engine.open(path).hasValue());
        auto page = engine.readMessages(m_many, 100, 10, {});
        QVERIFY(page.hasValue());
        QCOMPARE(page->size(), 10);
        for (int i = 0; i < 10; ++i) {
            const RawMessage &m = (*page)[i];
            QCOMPARE(m.key, (MessageKey{m_manyIds[100 + i], {}}));
            if (i == 3) {
                QVERIFY(m.failure.has_value());
                QVERIFY2(m.failure->contains(QLatin1String("0x")), qPrintable(*m.failure));  // names the offset
                QVERIFY(m.properties.isEmpty());
            } else {
                QCOMPARE(m.failure, std::nullopt);
                QCOMPARE(text(m.properties, 0x0037), QStringLiteral("Nachricht %1").arg(100 + i));
            }
        }
    }

    void leavesTheArchiveUntouched()
    {
        const QByteArray before = digest(m_path);
        const QDateTime modified = QFileInfo(m_path).lastModified();
        {
            NativeEngine engine;
            auto archive = engine.open(m_path);
            QVERIFY(archive.hasValue());
            QVERIFY(engine.readMessages(m_inbox, 0, 10, [](const PropertyBag &, qint64) { return true; }).hasValue());
            QVERIFY(engine.streamAttachment(AttachmentKey{MessageKey{m_rich, {}}, 1}, [](QByteArrayView) { return true; }));
        }
        QCOMPARE(digest(m_path), before);
        QCOMPARE(QFileInfo(m_path).lastModified(), modified);
    }

    void damagedVariantsNeverLoseDataSilently()
    {
        // Byte flips, zeroed runs and truncations of the written archive:
        // each variant reads what the intact one gives, or says what it
        // could not read.
        const Census intact = census(m_path);
        QVERIFY2(intact.failures.isEmpty(), qPrintable(intact.failures.join(QLatin1String("; "))));
        QCOMPARE(intact.messages, qint64(kMany + 3));
        const QByteArray good = ostrel::test::fileBytes(m_path);
        QRandomGenerator rng(20261207);
        const QString path = m_dir.filePath(QStringLiteral("variant.pst"));
        int reported = 0;
        for (int variant = 0; variant < 150; ++variant) {
            QByteArray bytes = good;
            const int kind = variant % 3;
            const auto at = qsizetype(rng.bounded(quint32(good.size())));
            if (kind == 0) {
                bytes[at] = char(bytes[at] ^ char(1 << rng.bounded(8)));
            } else if (kind == 1) {
                const qsizetype n = std::min<qsizetype>(512, bytes.size() - at);
                std::fill_n(bytes.data() + at, n, '\0');
            } else {
                bytes.truncate(at);
            }
            QVERIFY(ostrel::test::writeFileBytes(path, bytes));
            const Census c = census(path);
            if (!c.failures.isEmpty()) {
                ++reported;
                continue;
            }
            const QString what = QStringLiteral("variant %1 (kind %2 at %3)").arg(variant).arg(kind).arg(at);
            QVERIFY2(c.folders == intact.folders && c.messages == intact.messages && c.recipients == intact.recipients
                         && c.attachments == intact.attachments && c.attachmentBytes == intact.attachmentBytes,
                     qPrintable(what));
        }
        // Most damage meets a checksum; some lands where nothing is read.
        QVERIFY(reported > 0 && reported < 150);
    }

    void corpus()
    {
        OSTREL_REQUIRE_CORPUS();
        const QDir dir(*ostrel::test::corpusDir());
        const auto manifest = readManifest(dir.filePath(QStringLiteral("MANIFEST.md")));
        int checked = 0;
        for (const ManifestEntry &entry : manifest) {
            NativeEngine engine;
            auto archive = engine.open(dir.filePath(entry.file));
            QCOMPARE(archive.hasValue(), entry.opens);
            if (!archive)
                continue;
            QVERIFY2(archive->folders.readable(), qPrintable(entry.file));
            qint64 messages = 0;
            qint64 attachments = 0;
            std::function<void(const QList<RawFolder> &)> walk = [&](const QList<RawFolder> &folders) {
                for (const RawFolder &f : folders) {
                    QVERIFY2(f.children.readable(), qPrintable(entry.file));
                    qint64 listed = 0;
                    auto listing = engine.listFolder(f.node, [&](const QList<RawRow> &chunk) {
                        listed += chunk.size();
                        return true;
                    });
                    QVERIFY2(listing.hasValue() && !listing->failure, qPrintable(entry.file));
                    auto page = engine.readMessages(f.node, 0, listed + 1, {});
                    QVERIFY2(page.hasValue(), qPrintable(entry.file + QLatin1String(": ") + (page ? QString() : page.error().message())));
                    QCOMPARE(qint64(page->size()), listed);
                    // A search folder's results are messages of other folders,
                    // counted there; they read all the same.
                    if (f.searchFolder) {
                        walk(f.children.value);
                        continue;
                    }
                    for (const RawMessage &m : *page) {
                        QVERIFY2(m.recipients.readable() && m.attachments.readable(), qPrintable(entry.file));
                        for (const RawAttachment &a : m.attachments.value) {
                            ++attachments;
                            if (a.embedded || !a.dataSize)
                                continue;
                            auto n = engine.streamAttachment(AttachmentKey{m.key, a.index}, [](QByteArrayView) { return true; });
                            QVERIFY2(n.hasValue(), qPrintable(entry.file + QLatin1String(": ") + (n ? QString() : n.error())));
                            QCOMPARE(*n, *a.dataSize);
                        }
                    }
                    messages += listed;
                    walk(f.children.value);
                }
            };
            walk(archive->folders.value);
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(messages, qint64(entry.messages));
            QCOMPARE(attachments, qint64(entry.attachments));
            ++checked;
        }
        QVERIFY(checked >= 20);
    }
};

QTEST_GUILESS_MAIN(TestNative)
#include "tst_pstnative.moc"
