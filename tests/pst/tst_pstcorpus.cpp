// The reader against real archives from other parser projects, and against
// damaged copies of them made here. The manifest records libpff's view (its
// folder order and its counts), so these run on the libpff engine; the native
// engine is held to the same archives by its own suite and by the engine
// comparison.
#include "ManifestReader.h"
#include "TestSupport.h"
#include "pst/EngineFactory.h"
#include "pst/PSTActor.h"
#include "pst/RecordRules.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <unistd.h>

using namespace ostrel;

namespace {
void flatten(const QList<MailFolder> &folders, int depth, QList<ManifestFolder> &out)
{
    for (const MailFolder &folder : folders) {
        out.append({depth, folder.name, folder.messageCount});
        flatten(folder.children, depth + 1, out);
    }
}

void collect(const QList<MailFolder> &folders, QList<MailFolder> &out)
{
    for (const MailFolder &folder : folders) {
        out.append(folder);
        collect(folder.children, out);
    }
}

const MailFolder *findFolder(const QList<MailFolder> &folders, const QString &name)
{
    for (const MailFolder &folder : folders) {
        if (folder.name == name)
            return &folder;
        if (const MailFolder *found = findFolder(folder.children, name))
            return found;
    }
    return nullptr;
}

PSTResult<QList<MailFolder>> openSync(PSTActor &actor, const QString &path)
{
    return actor.openFile(QUrl::fromLocalFile(path)).result();
}

PSTResult<QList<MailMessage>> loadSync(PSTActor &actor, const MailFolder &folder, qint64 offset, qint64 limit)
{
    return actor.loadMessages(folder, offset, limit).result();
}

// A message's content without its record identity.
MailMessage withoutIds(MailMessage message)
{
    message.id = QUuid();
    for (Attachment &attachment : message.attachments)
        attachment.id = QUuid();
    return message;
}

// Step names a damaged archive may fail with; anything else is a fault.
bool namesReaderStep(const QString &message)
{
    static const QStringList steps{"file_open: ", "get_root_folder: ", "number_of_sub_folders: ",
                                   "get_sub_folder[", "number_of_sub_messages: ", "get_sub_message["};
    for (const QString &step : steps) {
        if (message.startsWith(step))
            return true;
    }
    return false;
}
}  // namespace

class TestPSTCorpus : public QObject {
    Q_OBJECT
private:
    QHash<QString, ManifestEntry> m_manifest;

private slots:
    void initTestCase()
    {
        if (const auto dir = test::corpusDir())
            m_manifest = readManifest(QDir(*dir).filePath(QStringLiteral("MANIFEST.md")));
    }

    void everyArchiveMatchesTheManifest_data()
    {
        QTest::addColumn<QString>("file");
        if (m_manifest.isEmpty())
            QTest::newRow("no corpus") << QString();
        QStringList files = m_manifest.keys();
        files.sort();
        for (const QString &file : files) {
            if (m_manifest.value(file).opens)
                QTest::newRow(file.toUtf8().constData()) << file;
        }
    }
    void everyArchiveMatchesTheManifest()
    {
        OSTREL_REQUIRE_CORPUS();
        QFETCH(QString, file);
        const ManifestEntry entry = m_manifest.value(file);
        QVERIFY2(!entry.tree.isEmpty(), "manifest has a folder tree for this file");

        PSTActor actor(EngineChoice::libpff);
        const auto opened = openSync(actor, test::corpusFile(file));
        QVERIFY2(opened, opened ? "" : qPrintable(opened.error().errorDescription()));
        QList<ManifestFolder> tree;
        flatten(opened.value(), 0, tree);
        QCOMPARE(tree.size(), entry.folders);
        qint64 messages = 0;
        for (qsizetype i = 0; i < tree.size(); ++i) {
            const ManifestFolder &want = entry.tree.value(i);
            QCOMPARE(tree[i].name, want.name);
            QCOMPARE(tree[i].depth, want.depth);
            QCOMPARE(tree[i].messageCount, want.messageCount);
            messages += tree[i].messageCount;
        }
        QCOMPARE(messages, qint64(entry.messages));

        // The first page of every folder loads, with every message complete.
        QList<MailFolder> all;
        collect(opened.value(), all);
        int loaded = 0;
        int withText = 0;
        for (const MailFolder &folder : std::as_const(all)) {
            const auto page = loadSync(actor, folder, 0, 100);
            QVERIFY2(page, page ? "" : qPrintable(folder.name + ": " + page.error().errorDescription()));
            QCOMPARE(page.value().size(), std::min<qint64>(folder.messageCount, 100));
            for (const MailMessage &message : page.value()) {
                QVERIFY(!message.subject.isEmpty());
                QVERIFY2(!message.subject.startsWith(QChar(0x0001)), "subject prefix markers are not text");
                // The manifest counts stored plain-text bodies, not text read from RTF.
                withText += message.bodyText.has_value() && message.shownBody != ShownBody::textFromRtf;
            }
            loaded += int(page.value().size());
        }
        if (loaded == entry.messages)
            QCOMPARE(withText, entry.text);

        // The inspector pages through everything and counts what the manifest counts.
        QProcess inspect;
        inspect.start(QStringLiteral(OSTREL_INSPECT_PATH),
                      {QStringLiteral("--engine"), QStringLiteral("libpff"), QStringLiteral("--all"), test::corpusFile(file)});
        QVERIFY(inspect.waitForFinished(60000));
        const QByteArray totals = inspect.readAllStandardOutput();
        QVERIFY2(inspect.exitCode() == 0, inspect.readAllStandardError().constData());
        QVERIFY2(totals.startsWith(QStringLiteral("folders=%1 messages=%2 ").arg(entry.folders).arg(entry.messages).toUtf8()),
                 totals.constData());
    }

    // Every message of every folder has a row, in the folder's order, with
    // the subject, read state and kinds of recipients its record gives.
    void everyRowMatchesItsMessage_data() { everyArchiveMatchesTheManifest_data(); }
    void everyRowMatchesItsMessage()
    {
        OSTREL_REQUIRE_CORPUS();
        QFETCH(QString, file);
        PSTActor actor;
        const auto opened = openSync(actor, test::corpusFile(file));
        QVERIFY(opened);
        QList<MailFolder> all;
        collect(opened.value(), all);
        for (const MailFolder &folder : std::as_const(all)) {
            QFuture<RowChunk> listing = actor.listFolder(folder);
            for (const RowChunk &chunk : listing.results()) {
                QVERIFY2(!chunk.error, qPrintable(folder.name));
                QCOMPARE(chunk.unreadable, qint64(0));
            }
            QList<MessageRow> rows = listedRows(listing.results());
            // Parts come in list order; the records come in storage order.
            std::sort(rows.begin(), rows.end(),
                      [](const MessageRow &a, const MessageRow &b) { return a.storageIndex < b.storageIndex; });
            const auto records = loadSync(actor, folder, 0, std::numeric_limits<qint64>::max());
            QVERIFY(records);
            const QString where = file + QLatin1Char('/') + folder.name;
            QVERIFY2(rows.size() == records.value().size(), qPrintable(where));
            for (qsizetype i = 0; i < rows.size(); ++i) {
                const MailMessage &record = records.value().at(i);
                const QString at = where + QStringLiteral(" #%1").arg(i);
                QVERIFY2(rows[i].subject == record.subject, qPrintable(at + ": " + rows[i].subject));
                QVERIFY2(rows[i].isRead == record.isRead, qPrintable(at));
                QVERIFY2(rows[i].storageIndex == i, qPrintable(at));
                // The list's display texts name recipients of the kinds the message has.
                if (!record.ccRecipients.isEmpty())
                    QVERIFY2(!rows[i].displayCc.isEmpty(), qPrintable(at + ": no Cc text"));
            }
        }
    }

    // Both engines find the mailbox, and the store's own folders are
    // marked for the group beside it.
    void theMailboxAndTheStoreFolders_data()
    {
        QTest::addColumn<EngineChoice>("engine");
        QTest::newRow("native") << EngineChoice::native;
        QTest::newRow("libpff") << EngineChoice::libpff;
    }
    void theMailboxAndTheStoreFolders()
    {
        OSTREL_REQUIRE_CORPUS();
        QFETCH(EngineChoice, engine);
        PSTActor actor(engine);
        const auto opened = openSync(actor, test::corpusFile(QStringLiteral("processpst_multiple_to_cc.pst")));
        QVERIFY(opened);
        QStringList mailbox;
        QStringList store;
        for (const MailFolder &folder : opened.value()) {
            if (folder.mailboxRoot) {
                mailbox.append(folder.name);
                QVERIFY(!folder.storeFolder);
                QVERIFY(findFolder(folder.children, QStringLiteral("Inbox")));
            } else {
                QVERIFY2(folder.storeFolder, qPrintable(folder.name));
                store.append(folder.name);
            }
        }
        QCOMPARE(mailbox, QStringList{"Top of Outlook data file"});
        store.sort();
        QCOMPARE(store, (QStringList{"IPM_COMMON_VIEWS", "ItemProcSearch", "Reminders", "SPAM Search Folder 2",
                                     "Search Root", "To-Do Search", "Tracked Mail Processing"}));
        const MailFolder *reminders = findFolder(opened.value(), QStringLiteral("Reminders"));
        QVERIFY(reminders && reminders->searchFolder);
        const MailFolder *views = findFolder(opened.value(), QStringLiteral("IPM_COMMON_VIEWS"));
        QVERIFY(views && !views->searchFolder);

        // The store's own entry id names it, not only its name.
        auto raw = EngineFactory::standard().open(test::corpusFile(QStringLiteral("processpst_multiple_to_cc.pst")), engine);
        QVERIFY(raw);
        const PropertyValue *entry = raw->archive.store.find(rules::Tag::ipmSubtreeEntryId);
        QVERIFY(entry);
        const auto node = rules::entryIdNode(*entry);
        QVERIFY(node);
        QCOMPARE(rules::mailboxRootNode(raw->archive), node);
    }

    // The native engine lists a search folder's results from its own
    // table: as many rows as its count, each message readable.
    void searchFoldersListTheirResults_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("folder");
        QTest::newRow("to-do search") << "hughbe_hughbe_Outlook.pst" << "To-Do Search";
        QTest::newRow("reminders") << "javalibpst_dist_list.pst" << "Reminders";
        QTest::newRow("all messages (search table form)") << "javalibpst_dist_list.pst" << "All Messages";
        QTest::newRow("all messages, seven") << "hughbe_hughbe_Outlook.pst" << "All Messages";
        QTest::newRow("offline store") << "aspose_SampleOstFile.ost"
                                       << "MS-OLK-BGPooledSearchFolderEBE0F70B1C85B64A8D846B6E1C667354";
    }
    void searchFoldersListTheirResults()
    {
        OSTREL_REQUIRE_CORPUS();
        QFETCH(QString, file);
        QFETCH(QString, folder);
        PSTActor actor(EngineChoice::native);
        const auto opened = openSync(actor, test::corpusFile(file));
        QVERIFY(opened);
        const MailFolder *search = findFolder(opened.value(), folder);
        QVERIFY(search);
        QVERIFY(search->searchFolder);
        QVERIFY(search->messageCount > 0);
        const QList<RowChunk> parts = actor.listFolder(*search).results();
        for (const RowChunk &chunk : parts) {
            QVERIFY(!chunk.error);
            QCOMPARE(chunk.unreadable, qint64(0));
        }
        const QList<MessageRow> rows = listedRows(parts);
        QCOMPARE(rows.size(), search->messageCount);
        for (const MessageRow &row : std::as_const(rows)) {
            const auto message = actor.readMessage(row.id).result();
            QVERIFY2(message, qPrintable(row.subject));
            QCOMPARE(message.value().subject, row.subject);
        }
        const auto page = loadSync(actor, *search, 0, 100);
        QVERIFY(page);
        QCOMPARE(page.value().size(), search->messageCount);
    }

    void inputsThatAreNoArchive_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("text file") << QByteArray("Dear diary,\nthis is not an archive.\n")
                                   << QStringLiteral("Read error: file_open: ");
        QTest::newRow("empty file") << QByteArray() << QStringLiteral("Read error: file_open: ");
        QTest::newRow("only the magic") << QByteArray("!BDN") << QStringLiteral("Read error: file_open: ");
    }
    void inputsThatAreNoArchive()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("input.pst"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content);
        out.close();
        PSTActor actor(EngineChoice::libpff);
        const auto opened = openSync(actor, path);
        QVERIFY(!opened);
        QCOMPARE(opened.error().kind(), PSTError::Kind::parsingFailed);
        QVERIFY2(opened.error().errorDescription().startsWith(expected),
                 qPrintable(opened.error().errorDescription()));
        QVERIFY(opened.error().errorDescription().contains(QLatin1String("libpff_file_open")));
    }

    void pathsThatAreNoFile()
    {
        PSTActor actor(EngineChoice::libpff);
        QTemporaryDir dir;
        const auto missing = openSync(actor, dir.filePath(QStringLiteral("gone.pst")));
        QVERIFY(!missing);
        QCOMPARE(missing.error().errorDescription(), QStringLiteral("PST file not found."));

        const auto directory = openSync(actor, dir.path());
        QVERIFY(!directory);
        QVERIFY(directory.error().errorDescription().startsWith(QLatin1String("Read error: file_open: ")));

        const auto notLocal = actor.openFile(QUrl(QStringLiteral("https://example.org/a.pst"))).result();
        QVERIFY(!notLocal);
        QCOMPARE(notLocal.error().kind(), PSTError::Kind::fileNotFound);
    }

    void truncatedArchives_data()
    {
        QTest::addColumn<qint64>("length");
        QTest::newRow("inside the header") << qint64(40);
        QTest::newRow("after the header") << qint64(1024);
        QTest::newRow("a quarter") << qint64(271360 / 4);
        QTest::newRow("all but one page") << qint64(271360 - 512);
    }
    void truncatedArchives()
    {
        OSTREL_REQUIRE_CORPUS();
        QFETCH(qint64, length);
        QFile source(test::corpusFile(QStringLiteral("tghanem_user1_test_lab.pst")));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cut.pst"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(source.read(length));
        out.close();

        PSTActor actor(EngineChoice::libpff);
        const auto opened = openSync(actor, path);
        if (!opened) {
            QCOMPARE(opened.error().kind(), PSTError::Kind::parsingFailed);
            QVERIFY2(namesReaderStep(opened.error().message()), qPrintable(opened.error().message()));
            return;
        }
        QList<MailFolder> all;
        collect(opened.value(), all);
        for (const MailFolder &folder : std::as_const(all)) {
            const auto page = loadSync(actor, folder, 0, 100);
            if (!page)
                QVERIFY2(namesReaderStep(page.error().message()), qPrintable(page.error().message()));
        }
    }

    void unopenableCorpusFile()
    {
        OSTREL_REQUIRE_CORPUS();
        PSTActor actor(EngineChoice::libpff);
        const auto opened = openSync(actor, test::corpusFile(QStringLiteral("pstreader_truncated_in_header.pst")));
        QVERIFY(!opened);
        QVERIFY(opened.error().errorDescription().startsWith(QLatin1String("Read error: file_open: ")));
    }

    // Root can read anything, so the unreadable case runs the inspector as an
    // unprivileged user there.
    void unreadableFile()
    {
        OSTREL_REQUIRE_CORPUS();
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                      | QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup
                                                      | QFile::ExeGroup));
        const QString path = dir.filePath(QStringLiteral("locked.pst"));
        QVERIFY(QFile::copy(test::corpusFile(QStringLiteral("pstsdk_sample1.pst")), path));
        QVERIFY(QFile::setPermissions(path, QFile::Permissions()));

        if (::geteuid() != 0) {
            PSTActor actor(EngineChoice::libpff);
            const auto opened = openSync(actor, path);
            QVERIFY(!opened);
            QCOMPARE(opened.error().errorDescription(), QStringLiteral("No read permission for this file."));
            return;
        }
        const QString inspector = QStringLiteral(OSTREL_INSPECT_PATH);
        QProcess process;
        process.start(QStringLiteral("setpriv"), {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                                   inspector, path});
        QVERIFY(process.waitForFinished(30000));
        const QString stderrText = QString::fromUtf8(process.readAllStandardError()).trimmed();
        if (stderrText.contains(QLatin1String("Permission denied")) && !stderrText.contains(QLatin1String("PST")))
            QSKIP("the inspector itself is not reachable by an unprivileged user here");
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(stderrText, QStringLiteral("No read permission for this file."));
    }

    void pagesAreRangesOfTheFolder_data()
    {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("count");
        // The Inbox of this archive holds 170 messages.
        QTest::newRow("first page") << qint64(0) << qint64(100) << qint64(0) << qint64(100);
        QTest::newRow("95 + 10") << qint64(95) << qint64(10) << qint64(95) << qint64(10);
        QTest::newRow("clipped at the end") << qint64(165) << qint64(10) << qint64(165) << qint64(5);
        QTest::newRow("beyond the end") << qint64(170) << qint64(10) << qint64(0) << qint64(0);
        QTest::newRow("negative offset") << qint64(-5) << qint64(3) << qint64(0) << qint64(3);
        QTest::newRow("zero limit") << qint64(0) << qint64(0) << qint64(0) << qint64(0);
        QTest::newRow("negative limit") << qint64(10) << qint64(-1) << qint64(0) << qint64(0);
        QTest::newRow("huge limit") << qint64(160) << std::numeric_limits<qint64>::max() << qint64(160) << qint64(10);
    }
    void pagesAreRangesOfTheFolder()
    {
        OSTREL_REQUIRE_CORPUS();
        QFETCH(qint64, offset);
        QFETCH(qint64, limit);
        QFETCH(qint64, first);
        QFETCH(qint64, count);
        PSTActor actor(EngineChoice::libpff);
        const auto opened = openSync(actor, test::corpusFile(QStringLiteral("pst2john_97_outlook_pass12345.pst")));
        QVERIFY(opened);
        const MailFolder *inbox = findFolder(opened.value(), QStringLiteral("Inbox"));
        QVERIFY(inbox);
        QCOMPARE(inbox->messageCount, qint64(170));
        const auto whole = loadSync(actor, *inbox, 0, 170);
        QVERIFY(whole);
        const auto page = loadSync(actor, *inbox, offset, limit);
        QVERIFY(page);
        QCOMPARE(page.value().size(), count);
        for (qint64 i = 0; i < count; ++i)
            QCOMPARE(withoutIds(page.value()[i]), withoutIds(whole.value()[first + i]));
    }

    void loadingTwiceGivesNewRecords()
    {
        OSTREL_REQUIRE_CORPUS();
        PSTActor actor(EngineChoice::libpff);
        const auto opened = openSync(actor, test::corpusFile(QStringLiteral("rubymsg_attachAndInline.pst")));
        QVERIFY(opened);
        const MailFolder &top = opened.value().at(1);
        const auto a = loadSync(actor, top, 0, 100);
        const auto b = loadSync(actor, top, 0, 100);
        QVERIFY(a && b);
        QCOMPARE(a.value().size(), 1);
        QVERIFY(a.value()[0] != b.value()[0]);
        QVERIFY(a.value()[0].id != b.value()[0].id);
        QCOMPARE(withoutIds(a.value()[0]), withoutIds(b.value()[0]));

        // Reopening the same archive gives folders of new identity.
        const auto again = openSync(actor, test::corpusFile(QStringLiteral("rubymsg_attachAndInline.pst")));
        QVERIFY(again);
        QCOMPARE(again.value().size(), opened.value().size());
        QVERIFY(again.value().at(1) != opened.value().at(1));
    }

    void inlineImagesCarryTheirBytes()
    {
        OSTREL_REQUIRE_CORPUS();
        PSTActor actor(EngineChoice::libpff);
        const auto opened = openSync(actor, test::corpusFile(QStringLiteral("rubymsg_attachAndInline.pst")));
        QVERIFY(opened);
        const auto page = loadSync(actor, opened.value().at(1), 0, 100);
        QVERIFY(page);
        const QList<Attachment> &attachments = page.value().at(0).attachments;
        QCOMPARE(attachments.size(), 2);
        QCOMPARE(attachments[0].filename, QStringLiteral("attach.png"));
        QCOMPARE(attachments[0].mimeType, QStringLiteral("image/png"));
        QVERIFY2(!attachments[0].data, "an attachment without content id is not read with the page");
        QCOMPARE(attachments[1].contentId, std::optional<QString>(QStringLiteral("image001.png@01D78380.EF6DC500")));
        QVERIFY(attachments[1].data);
        QCOMPARE(attachments[1].data->size(), attachments[1].size);
        QVERIFY(attachments[1].data->startsWith("\x89PNG"));
    }

    void openingAnotherArchiveForgetsTheFirst()
    {
        OSTREL_REQUIRE_CORPUS();
        PSTActor actor(EngineChoice::libpff);
        const auto first = openSync(actor, test::corpusFile(QStringLiteral("tika_testPST.pst")));
        QVERIFY(first);
        const MailFolder top = first.value().at(1);
        QVERIFY(loadSync(actor, top, 0, 100));

        const auto second = openSync(actor, test::corpusFile(QStringLiteral("pstsdk_sample1.pst")));
        QVERIFY(second);
        const auto stale = loadSync(actor, top, 0, 100);
        QVERIFY(!stale);
        QCOMPARE(stale.error().errorDescription(), QStringLiteral("Read error: Ordner nicht gefunden"));
        QList<MailFolder> secondFolders;
        collect(second.value(), secondFolders);
        for (const MailFolder &folder : std::as_const(secondFolders))
            QVERIFY(loadSync(actor, folder, 0, 100));

        // A failed open leaves no archive behind.
        QVERIFY(!openSync(actor, QStringLiteral("/nonexistent/archive.pst")));
        const auto afterFailure = loadSync(actor, secondFolders.constFirst(), 0, 100);
        QVERIFY(!afterFailure);
        QCOMPARE(afterFailure.error().message(), QStringLiteral("Ordner nicht gefunden"));
    }

    void savingAnAttachmentStreamsItsBytes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("message");
        QTest::addColumn<int>("attachment");
        QTest::addColumn<QString>("exported");  // pffexport's file below <name>.export/
        QTest::newRow("plain png") << "rubymsg_attachAndInline.pst" << "Outlook データ ファイルのトップ" << 0 << 0
                                   << "Outlook データ ファイルのトップ/Message00001/Attachments/1_attach.png";
        QTest::newRow("inline png") << "rubymsg_attachAndInline.pst" << "Outlook データ ファイルのトップ" << 0 << 1
                                    << "Outlook データ ファイルのトップ/Message00001/Attachments/2_image001.png";
        QTest::newRow("text file") << "tghanem_user1_test_lab.pst" << "FolderWithMessagesWithAttachments" << 0 << 0
                                   << "Top of Outlook data file/FolderWithMessagesWithAttachments/Message00001/"
                                      "Attachments/1_TextFile.txt";
    }
    void savingAnAttachmentStreamsItsBytes()
    {
        OSTREL_REQUIRE_CORPUS();
        QFETCH(QString, file);
        QFETCH(QString, folder);
        QFETCH(int, message);
        QFETCH(int, attachment);
        QFETCH(QString, exported);
        QTemporaryDir dir;
        QProcess pffexport;
        pffexport.start(QStringLiteral("pffexport"), {"-q", "-t", dir.filePath("px"), test::corpusFile(file)});
        QVERIFY(pffexport.waitForFinished(60000));
        QFile expectedFile(dir.filePath("px.export/" + exported));
        QVERIFY2(expectedFile.open(QIODevice::ReadOnly), qPrintable(expectedFile.fileName()));
        const QByteArray expected = expectedFile.readAll();

        PSTActor actor(EngineChoice::libpff);
        const auto opened = openSync(actor, test::corpusFile(file));
        QVERIFY(opened);
        const MailFolder *target = findFolder(opened.value(), folder);
        QVERIFY(target);
        const auto page = loadSync(actor, *target, 0, 100);
        QVERIFY(page);
        const Attachment record = page.value().at(message).attachments.at(attachment);
        const QString out = dir.filePath(QStringLiteral("saved.bin"));
        const auto saved = actor.saveAttachment(record, out).result();
        QVERIFY(saved);
        QCOMPARE(saved.value(), qint64(expected.size()));
        QFile written(out);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), expected);
        QCOMPARE(record.size, qint64(expected.size()));
    }

    void savingFailsCleanly()
    {
        OSTREL_REQUIRE_CORPUS();
        QTemporaryDir dir;
        PSTActor actor(EngineChoice::libpff);
        const auto opened = openSync(actor, test::corpusFile(QStringLiteral("rubymsg_attachAndInline.pst")));
        QVERIFY(opened);
        const auto page = loadSync(actor, opened.value().at(1), 0, 100);
        QVERIFY(page);
        const Attachment record = page.value().at(0).attachments.at(0);

        // A folder that cannot be written: the write error, and no file.
        const QString locked = dir.filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkdir(locked));
        const QString blocked = locked + QStringLiteral("/x/attach.png");  // parent does not exist
        const auto denied = actor.saveAttachment(record, blocked).result();
        QVERIFY(!denied);
        QCOMPARE(denied.error().kind, AttachmentSaveError::Kind::writeFailed);
        QVERIFY(!denied.error().detail.isEmpty());
        QVERIFY(!QFileInfo::exists(blocked));

        // A record of an archive that is no longer open.
        QVERIFY(openSync(actor, test::corpusFile(QStringLiteral("pstsdk_sample1.pst"))));
        const QString target = dir.filePath(QStringLiteral("stale.png"));
        const auto stale = actor.saveAttachment(record, target).result();
        QVERIFY(!stale);
        QCOMPARE(stale.error().kind, AttachmentSaveError::Kind::notLoaded);
        QVERIFY(!QFileInfo::exists(target));
    }

    // Bytes overwritten inside the folder and message structures: the archive
    // opens and shows what can be read, or fails naming the step.
    void damagedArchives_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<quint32>("seed");
        for (const char *file : {"tika_testPST.pst", "tghanem_user1_test_lab.pst", "pstsdk_sample2.pst",
                                 "pst2john_2003_high_quickquick.pst"}) {
            for (quint32 seed = 1; seed <= 12; ++seed)
                QTest::addRow("%s/%u", file, seed) << QString::fromLatin1(file) << seed;
        }
    }
    void damagedArchives()
    {
        OSTREL_REQUIRE_CORPUS();
        QFETCH(QString, file);
        QFETCH(quint32, seed);
        QFile source(test::corpusFile(file));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QByteArray bytes = source.readAll();
        QRandomGenerator random(seed);
        for (int run = 0; run < 24; ++run) {
            const qsizetype at = 512 + qsizetype(random.bounded(quint32(bytes.size() - 600)));
            const int length = 1 + int(random.bounded(32u));
            for (int k = 0; k < length; ++k)
                bytes[at + k] = char(random.bounded(256u));
        }
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("damaged.pst"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();

        PSTActor actor(EngineChoice::libpff);
        const auto opened = openSync(actor, path);
        if (!opened) {
            QCOMPARE(opened.error().kind(), PSTError::Kind::parsingFailed);
            QVERIFY2(namesReaderStep(opened.error().message()), qPrintable(opened.error().message()));
            return;
        }
        QList<MailFolder> all;
        collect(opened.value(), all);
        for (const MailFolder &folder : std::as_const(all)) {
            const auto page = loadSync(actor, folder, 0, 100);
            if (!page) {
                QCOMPARE(page.error().kind(), PSTError::Kind::parsingFailed);
                QVERIFY2(namesReaderStep(page.error().message()), qPrintable(page.error().message()));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestPSTCorpus)
#include "tst_pstcorpus.moc"
