// The messaging layer over an archive the writer makes (folder tree with
// counts, long contents tables, recipients, attachments on the heap and in
// subnodes, embedded messages, damaged tables) and over the corpus, whose
// folder and message counts libpff's tools recorded.
#include "ArchiveBuilder.h"
#include "ManifestReader.h"
#include "ReaderFixtures.h"
#include "TestSupport.h"
#include "pst/format/Bytes.h"
#include "pst/format/Crc.h"
#include "pst/format/Nid.h"
#include "pst/messaging/FolderTree.h"
#include "pst/messaging/MessageReader.h"
#include "pst/messaging/NameMap.h"
#include "pst/messaging/Store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel::pst;
using namespace ostrel::pst::bytes;
namespace pw = ostrel::pstwriter;

Q_DECLARE_METATYPE(ostrel::pst::NameMap::Name)

namespace {

constexpr int kManyMessages = 300;

QString text(const PropertyMap &p, quint16 id)
{
    const auto it = p.constFind(id);
    return it == p.cend() ? QString() : it->toUnicode().value_or(QString());
}

qint64 integer(const PropertyMap &p, quint16 id)
{
    const auto it = p.constFind(id);
    return it == p.cend() ? -1 : it->toInteger().value_or(-1);
}

const Folder *find(const QList<Folder> &folders, const QString &name)
{
    for (const Folder &f : folders) {
        if (text(f.properties, Folder::kDisplayName) == name)
            return &f;
        if (const Folder *found = find(f.children, name))
            return found;
    }
    return nullptr;
}

using ostrel::test::payload;

pw::Message message(const QString &subject) { return ostrel::test::plainMessage(subject); }

QByteArray le(quint64 v, int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char(v >> (8 * i));
    return b;
}

}  // namespace

class TestMessaging : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    pw::FolderId m_inbox = 0, m_many = 0, m_deepest = 0;
    QList<pw::MessageId> m_many_ids;
    pw::MessageId m_rich = 0;

    std::unique_ptr<NodeDatabase> openDb(const QString &path)
    {
        auto db = NodeDatabase::open(path);
        return db ? std::move(db.value()) : nullptr;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("archive.pst"));
        pw::ArchiveOptions options;
        options.encoding = pw::Encoding::Permute;
        options.storeName = QStringLiteral("Mein Archiv");
        pw::ArchiveBuilder b(options);
        QVERIFY(b.open(m_path));
        m_inbox = b.addFolder(b.ipmSubtree(), QStringLiteral("Posteingang"));
        m_many = b.addFolder(b.ipmSubtree(), QStringLiteral("Viele"));
        pw::FolderId parent = m_inbox;
        for (int depth = 1; depth <= 6; ++depth)
            parent = b.addFolder(parent, QStringLiteral("Ebene %1").arg(depth));
        m_deepest = parent;

        pw::Message rich = message(QStringLiteral("Mit Anhängen"));
        rich.addRecipient({QStringLiteral("Bernd"), QStringLiteral("bernd@example.org"), {}, {}, pw::RecipientType::To});
        rich.addRecipient({QStringLiteral("Carla"), {}, {}, {}, pw::RecipientType::Cc});
        pw::Attachment small;
        small.longFileName = QStringLiteral("klein.txt");
        small.data = payload(100, 1);
        pw::Attachment large;
        large.longFileName = QStringLiteral("gross.bin");
        large.data = payload(40000, 2);
        auto inner = std::make_shared<pw::Message>(message(QStringLiteral("Weitergeleitet")));
        pw::Attachment innerFile;
        innerFile.longFileName = QStringLiteral("innen.txt");
        innerFile.data = payload(5000, 3);
        inner->addAttachment(innerFile);
        pw::Attachment embedded;
        embedded.displayName = QStringLiteral("Weitergeleitet");
        embedded.embedded = inner;
        rich.addAttachment(small).addAttachment(large).addAttachment(embedded);
        m_rich = b.addMessage(m_inbox, rich);
        pw::Message unread = message(QStringLiteral("Ungelesen"));
        unread.flags = 0;
        b.addMessage(m_inbox, unread);
        for (int i = 0; i < kManyMessages; ++i)
            m_many_ids.append(b.addMessage(m_many, message(QStringLiteral("Nachricht %1").arg(i))));
        QVERIFY2(b.finish(), qPrintable(b.errorString()));
    }

    void store()
    {
        auto db = openDb(m_path);
        QVERIFY(db);
        auto s = Store::read(*db);
        QVERIFY2(s.hasValue(), qPrintable(s ? QString() : s.error().text));
        QCOMPARE(text(s->properties, 0x3001), QStringLiteral("Mein Archiv"));
        QCOMPARE(s->rootFolder, nid::RootFolder);
        QVERIFY(s->ipmSubtree.has_value());
    }

    void folderTree()
    {
        auto db = openDb(m_path);
        QVERIFY(db);
        auto s = Store::read(*db);
        QVERIFY(s.hasValue());
        const qsizetype before = db->cache().misses();
        auto tree = FolderTree::read(*db, s->rootFolder);
        QVERIFY2(tree.hasValue(), qPrintable(tree ? QString() : tree.error().text));
        QCOMPARE(tree->size(), 1);
        const Folder &ipm = tree->first();
        QCOMPARE(ipm.nid, *s->ipmSubtree);
        const Folder *inbox = find(*tree, QStringLiteral("Posteingang"));
        QVERIFY(inbox);
        QCOMPARE(inbox->nid, m_inbox);
        QCOMPARE(integer(inbox->properties, Folder::kContentCount), 2);
        QCOMPARE(integer(inbox->properties, Folder::kUnreadCount), 1);
        const Folder *many = find(*tree, QStringLiteral("Viele"));
        QVERIFY(many);
        QCOMPARE(integer(many->properties, Folder::kContentCount), kManyMessages);
        QVERIFY(many->children.isEmpty());
        QVERIFY(!many->childrenFailure);
        const Folder *deepest = find(*tree, QStringLiteral("Ebene 6"));
        QVERIFY(deepest);
        QCOMPARE(deepest->nid, m_deepest);
        // The tree costs reads per folder, not per message: no contents
        // table among them.
        QVERIFY2(db->cache().misses() - before < 60, qPrintable(QString::number(db->cache().misses() - before)));
    }

    void contentsRows_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::newRow("first page") << 0 << 25;
        QTest::newRow("middle") << 150 << 30;
        QTest::newRow("last") << 290 << 25;
    }
    void contentsRows()
    {
        QFETCH(int, first);
        QFETCH(int, count);
        auto db = openDb(m_path);
        QVERIFY(db);
        auto table = FolderTree::contents(*db, m_many);
        QVERIFY(table.hasValue());
        QCOMPARE(table->rowCount(), qint64(kManyMessages));
        auto rows = table->rows(first, count, {0x0037});
        QVERIFY(rows.hasValue());
        QCOMPARE(rows->size(), std::min(count, kManyMessages - first));
        for (int i = 0; i < rows->size(); ++i) {
            QCOMPARE((*rows)[i].rowId, m_many_ids[first + i]);
            QCOMPARE((*rows)[i].cells[0]->toUnicode(), std::optional<QString>(QStringLiteral("Nachricht %1").arg(first + i)));
        }
    }

    void wholeMessage()
    {
        auto db = openDb(m_path);
        QVERIFY(db);
        MessageReader reader(*db);
        auto at = reader.locate(m_rich);
        QVERIFY(at.hasValue());
        auto m = reader.read(*at, 1 << 20);
        QVERIFY2(m.hasValue(), qPrintable(m ? QString() : m.error().text));
        QCOMPARE(text(m->properties, 0x0037), QStringLiteral("Mit Anhängen"));
        QCOMPARE(text(m->properties, 0x1000), QStringLiteral("Hallo Mit Anhängen"));
        QVERIFY(!m->recipientsFailure);
        QCOMPARE(m->recipients.size(), 2);
        QCOMPARE(text(m->recipients[0], 0x3001), QStringLiteral("Bernd"));
        QCOMPARE(text(m->recipients[1], 0x3001), QStringLiteral("Carla"));
        QCOMPARE(integer(m->recipients[1], 0x0C15), 2);
        QVERIFY(!m->attachmentsFailure);
        QCOMPARE(m->attachments.size(), 3);
        QCOMPARE(text(m->attachments[0].properties, 0x3707), QStringLiteral("klein.txt"));
        QCOMPARE(m->attachments[0].dataSize, std::optional<qint64>(100));
        QCOMPARE(m->attachments[1].dataSize, std::optional<qint64>(40000));
        QVERIFY(!m->attachments[1].properties.contains(MessageReader::kAttachData));
        QVERIFY(m->attachments[2].embedded.has_value());
        for (const AttachmentRecord &a : m->attachments)
            QVERIFY(!a.failure);

        // Attachment bytes: small ones whole, large ones as a tree to read by range.
        auto small = reader.attachmentData(*at, 0);
        QVERIFY(small.hasValue());
        QCOMPARE(small->size, 100);
        QCOMPARE(small->tree ? *db->readAll(*small->tree, 1000) : small->bytes, payload(100, 1));
        auto large = reader.attachmentData(*at, 1);
        QVERIFY(large.hasValue());
        QVERIFY(large->tree.has_value());
        QCOMPARE(*db->read(*large->tree, 30000, 500), payload(40000, 2).mid(30000, 500));
        QVERIFY(!reader.attachmentData(*at, 2).hasValue());  // a message, not bytes
        QCOMPARE(reader.attachmentData(*at, 3).error().kind, Error::Kind::Missing);
        // From the records read() gave: the same bytes, sizes and refusals,
        // each attachment its own (not the first one's again).
        for (const AttachmentRecord &a : m->attachments) {
            auto byIndex = reader.attachmentData(*at, a.index);
            auto byRecord = reader.attachmentData(*at, a);
            QCOMPARE(byRecord.hasValue(), byIndex.hasValue());
            if (!byIndex) {
                QCOMPARE(byRecord.error().kind, byIndex.error().kind);
                QCOMPARE(byRecord.error().text, byIndex.error().text);
                continue;
            }
            QCOMPARE(byRecord->size, byIndex->size);
            QCOMPARE(byRecord->size, *a.dataSize);
            QCOMPARE(byRecord->bytes, byIndex->bytes);
            QCOMPARE(byRecord->tree.has_value(), byIndex->tree.has_value());
            if (byRecord->tree)
                QCOMPARE(byRecord->tree->leaves, byIndex->tree->leaves);
        }
        AttachmentRecord stray = m->attachments[0];
        stray.nid = 0x7FFFFFE5;  // no such subnode
        QCOMPARE(reader.attachmentData(*at, stray).error().kind, Error::Kind::Missing);

        // The embedded message and its own attachment.
        auto inner = reader.locateEmbedded(*at, {2});
        QVERIFY2(inner.hasValue(), qPrintable(inner ? QString() : inner.error().text));
        auto im = reader.read(*inner, 1 << 20);
        QVERIFY(im.hasValue());
        QCOMPARE(text(im->properties, 0x0037), QStringLiteral("Weitergeleitet"));
        QCOMPARE(im->attachments.size(), 1);
        auto innerBytes = reader.attachmentData(*inner, 0);
        QVERIFY(innerBytes.hasValue());
        QCOMPARE(innerBytes->size, 5000);
        QVERIFY(!reader.locateEmbedded(*at, {0}).hasValue());  // a file, not a message
        QVERIFY(!reader.locateEmbedded(*at, QList<int>(17, 2)).hasValue());

        // Some properties, cut.
        auto some = reader.readSome(*at, {0x0037, 0x1000, 0x4242}, 10);
        QVERIFY(some.hasValue());
        QCOMPARE(some->size(), 2);
        QCOMPARE(some->value(0x1000).bytes.size(), 10);
    }

    void damagedTables_data()
    {
        QTest::addColumn<quint32>("sub");  // the message's subnode to spoil; 0: the message itself
        QTest::newRow("attachment table") << nid::AttachmentTableSub;
        QTest::newRow("recipient table") << nid::RecipientTableSub;
        QTest::newRow("the message") << 0u;
    }
    void damagedTables()
    {
        QFETCH(quint32, sub);
        QByteArray file = ostrel::test::fileBytes(m_path);
        QVERIFY(!file.isEmpty());
        {
            auto db = openDb(m_path);
            QVERIFY(db);
            auto node = db->node(m_rich);
            QVERIFY(node.hasValue());
            quint64 bid = node->bidData;
            if (sub) {
                auto s = db->subnode(node->bidSub, sub);
                QVERIFY(s.hasValue());
                bid = s->bidData;
            }
            auto entry = db->blockEntry(bid);
            QVERIFY(entry.hasValue());
            // The heap's signature byte, with the block checksum made good.
            const qsizetype ib = qsizetype(entry->bref.ib);
            file[ib + 2] = char(file[ib + 2] ^ 0x55);
            ostrel::test::resealBlock(file, quint64(ib), entry->cb);
        }
        const QString path = m_dir.filePath(QStringLiteral("damaged.pst"));
        QVERIFY(ostrel::test::writeFileBytes(path, file));
        auto db = openDb(path);
        QVERIFY(db);
        MessageReader reader(*db);
        auto m = reader.read(*reader.locate(m_rich), 1 << 20);
        if (sub == 0) {
            QVERIFY(!m.hasValue());
            QVERIFY2(m.error().text.startsWith(QLatin1String("heap: bad signature")), qPrintable(m.error().text));
            return;
        }
        QVERIFY(m.hasValue());
        // The part that could not be read says so; the rest is whole.
        const std::optional<QString> &failure = sub == nid::AttachmentTableSub ? m->attachmentsFailure : m->recipientsFailure;
        QVERIFY(failure.has_value());
        QVERIFY2(failure->startsWith(QLatin1String("heap: bad signature")), qPrintable(*failure));
        QCOMPARE(text(m->properties, 0x0037), QStringLiteral("Mit Anhängen"));
        if (sub == nid::AttachmentTableSub)
            QCOMPARE(m->recipients.size(), 2);
        else
            QCOMPARE(m->attachments.size(), 3);
    }

    void nameMap_data()
    {
        QTest::addColumn<QByteArray>("guids");
        QTest::addColumn<QByteArray>("entries");
        QTest::addColumn<QByteArray>("strings");
        QTest::addColumn<quint16>("id");
        QTest::addColumn<NameMap::Name>("name");  // empty set: parsing fails
        const QUuid own(0x12345678, 0x9ABC, 0xDEF0, 1, 2, 3, 4, 5, 6, 7, 8);
        QByteArray guid = le(0x12345678, 4) + le(0x9ABC, 2) + le(0xDEF0, 2) + QByteArray::fromHex("0102030405060708");
        const QUuid mapi(0x00020328, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
        QTest::newRow("number in the mapi set") << QByteArray() << le(0x8514, 4) + le(1 << 1, 2) + le(5, 2)
                                                << QByteArray() << quint16(0x8005) << NameMap::Name{mapi, 0x8514u};
        QByteArray name = le(6, 4) + QByteArray("K\0e\0y\0", 6);
        QTest::newRow("string in an own set") << guid << le(0, 4) + le((3 << 1) | 1, 2) + le(0, 2) << name
                                              << quint16(0x8000) << NameMap::Name{own, QStringLiteral("Key")};
        QTest::newRow("set past the stream") << guid << le(0, 4) + le(4 << 1, 2) + le(0, 2) << QByteArray()
                                             << quint16(0x8000) << NameMap::Name{};
        QTest::newRow("string past the stream") << QByteArray() << le(2, 4) + le((1 << 1) | 1, 2) + le(0, 2) << name
                                                << quint16(0x8000) << NameMap::Name{};
        QTest::newRow("partial entry") << QByteArray() << QByteArray(7, '\0') << QByteArray() << quint16(0x8000)
                                       << NameMap::Name{};
    }
    void nameMap()
    {
        QFETCH(QByteArray, guids);
        QFETCH(QByteArray, entries);
        QFETCH(QByteArray, strings);
        QFETCH(quint16, id);
        QFETCH(NameMap::Name, name);
        auto map = NameMap::parse(guids, entries, strings);
        if (name.propertySet.isNull()) {
            QVERIFY(!map.hasValue());
            QVERIFY(map.error().text.startsWith(QLatin1String("name map: ")));
            return;
        }
        QVERIFY2(map.hasValue(), qPrintable(map ? QString() : map.error().text));
        QCOMPARE(map->name(id), std::optional<NameMap::Name>(name));
        QCOMPARE(map->name(quint16(id + 1)), std::nullopt);
    }

    void corpusMatchesManifest()
    {
        OSTREL_REQUIRE_CORPUS();
        const QDir dir(*ostrel::test::corpusDir());
        const auto manifest = readManifest(dir.filePath(QStringLiteral("MANIFEST.md")));
        QVERIFY(!manifest.isEmpty());
        int checked = 0;
        for (const ManifestEntry &entry : manifest) {
            if (!entry.opens)
                continue;
            auto db = openDb(dir.filePath(entry.file));
            QVERIFY2(db, qPrintable(entry.file));
            auto s = Store::read(*db);
            QVERIFY2(s.hasValue(), qPrintable(entry.file + QLatin1String(": ") + (s ? QString() : s.error().text)));
            QVERIFY2(NameMap::read(*db).hasValue(), qPrintable(entry.file));
            auto tree = FolderTree::read(*db, s->rootFolder);
            QVERIFY2(tree.hasValue(), qPrintable(entry.file + QLatin1String(": ") + (tree ? QString() : tree.error().text)));
            // Every folder, every contents row and every message reads.
            int folders = 0;
            qint64 messages = 0;
            int attachments = 0;
            MessageReader reader(*db);
            std::function<void(const QList<Folder> &)> walk = [&](const QList<Folder> &list) {
                for (const Folder &f : list) {
                    ++folders;
                    QVERIFY2(!f.childrenFailure, qPrintable(entry.file + QLatin1String(": ") + f.childrenFailure.value_or(QString())));
                    auto table = FolderTree::contents(*db, f.nid);
                    if (table) {
                        auto rows = table->rows(0, table->rowCount(), {0x0037});
                        QVERIFY2(rows.hasValue(), qPrintable(entry.file));
                        for (const TableRow &row : *rows) {
                            auto at = reader.locate(row.rowId);
                            QVERIFY2(at.hasValue(), qPrintable(entry.file + QLatin1String(": ") + (at ? QString() : at.error().text)));
                            auto m = reader.read(*at, 64 * 1024 * 1024);
                            QVERIFY2(m.hasValue(), qPrintable(entry.file + QLatin1String(": ") + (m ? QString() : m.error().text)));
                            QVERIFY2(!m->attachmentsFailure && !m->recipientsFailure, qPrintable(entry.file));
                            // A search folder's results are counted in their own folders.
                            if (f.searchFolder)
                                continue;
                            attachments += int(m->attachments.size());
                            ++messages;
                        }
                    } else {
                        QCOMPARE(table.error().kind, Error::Kind::Missing);
                    }
                    walk(f.children);
                }
            };
            walk(*tree);
            if (QTest::currentTestFailed())
                return;
            // The same counts libpff's tools found.
            QCOMPARE(folders, entry.folders);
            QCOMPARE(messages, qint64(entry.messages));
            QCOMPARE(attachments, entry.attachments);
            ++checked;
        }
        QVERIFY(checked >= 20);
    }
};

QTEST_GUILESS_MAIN(TestMessaging)
#include "tst_pstmessaging.moc"
