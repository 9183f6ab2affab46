// Library failures that real files rarely or never produce, made through the
// libpff engine's table of calls; plus handle accounting and thread discipline.
#include "TestSupport.h"
#include "pst/PSTActor.h"
#include "pst/libpff/LibpffCalls.h"
#include "pst/libpff/LibpffEngine.h"

#include <QDir>
#include <QMutex>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <set>

using namespace ostrel;

namespace {

// Counts handles handed out and freed, per kind, through the wrapped table.
struct HandleLedger {
    QMutex mutex;
    std::multiset<const void *> items;
    std::multiset<const void *> recordSets;
    std::multiset<const void *> recordEntries;
    int files = 0;
    QStringList problems;

    void acquire(std::multiset<const void *> &set, const void *handle)
    {
        if (handle == nullptr)
            return;
        QMutexLocker lock(&mutex);
        set.insert(handle);
    }
    void release(std::multiset<const void *> &set, const void *handle, const char *kind)
    {
        if (handle == nullptr)
            return;
        QMutexLocker lock(&mutex);
        const auto found = set.find(handle);
        if (found == set.end())
            problems << QStringLiteral("%1 freed that was not held").arg(QLatin1String(kind));
        else
            set.erase(found);
    }
    bool balanced() const { return items.empty() && recordSets.empty() && recordEntries.empty() && files == 0; }
};

std::shared_ptr<LibpffCalls> ledgerCalls(const std::shared_ptr<HandleLedger> &ledger)
{
    auto calls = std::make_shared<LibpffCalls>();
    LibpffCalls real;
    calls->file_initialize = [real, ledger](libpff_file_t **file, libpff_error_t **error) {
        const int result = real.file_initialize(file, error);
        if (result == 1 && *file)
            ++ledger->files;
        return result;
    };
    calls->file_free = [real, ledger](libpff_file_t **file, libpff_error_t **error) {
        if (*file)
            --ledger->files;
        return real.file_free(file, error);
    };
    const auto itemOut = [ledger](auto inner) {
        return [inner, ledger](auto parent, auto arg, libpff_item_t **item, libpff_error_t **error) {
            const int result = inner(parent, arg, item, error);
            ledger->acquire(ledger->items, *item);
            return result;
        };
    };
    calls->folder_get_sub_folder = itemOut(real.folder_get_sub_folder);
    calls->folder_get_sub_message = itemOut(real.folder_get_sub_message);
    calls->message_get_attachment = itemOut(real.message_get_attachment);
    const auto fileItemOut = [ledger](auto inner) {
        return [inner, ledger](libpff_file_t *file, libpff_item_t **item, libpff_error_t **error) {
            const int result = inner(file, item, error);
            ledger->acquire(ledger->items, *item);
            return result;
        };
    };
    calls->file_get_root_folder = fileItemOut(real.file_get_root_folder);
    calls->file_get_message_store = fileItemOut(real.file_get_message_store);
    calls->file_get_item_by_identifier = [real, ledger](libpff_file_t *file, uint32_t node, libpff_item_t **item,
                                                        libpff_error_t **error) {
        const int result = real.file_get_item_by_identifier(file, node, item, error);
        ledger->acquire(ledger->items, *item);
        return result;
    };
    calls->attachment_get_item = [real, ledger](libpff_item_t *a, libpff_item_t **item, libpff_error_t **error) {
        const int result = real.attachment_get_item(a, item, error);
        ledger->acquire(ledger->items, *item);
        return result;
    };
    calls->message_get_recipients = [real, ledger](libpff_item_t *m, libpff_item_t **item, libpff_error_t **error) {
        const int result = real.message_get_recipients(m, item, error);
        ledger->acquire(ledger->items, *item);
        return result;
    };
    calls->item_free = [real, ledger](libpff_item_t **item, libpff_error_t **error) {
        ledger->release(ledger->items, *item, "item");
        return real.item_free(item, error);
    };
    calls->item_get_record_set_by_index = [real, ledger](libpff_item_t *item, int index, libpff_record_set_t **set,
                                                         libpff_error_t **error) {
        const int result = real.item_get_record_set_by_index(item, index, set, error);
        ledger->acquire(ledger->recordSets, *set);
        return result;
    };
    calls->record_set_free = [real, ledger](libpff_record_set_t **set, libpff_error_t **error) {
        ledger->release(ledger->recordSets, *set, "record set");
        return real.record_set_free(set, error);
    };
    calls->record_set_get_entry_by_index = [real, ledger](libpff_record_set_t *set, int index,
                                                          libpff_record_entry_t **entry, libpff_error_t **error) {
        const int result = real.record_set_get_entry_by_index(set, index, entry, error);
        ledger->acquire(ledger->recordEntries, *entry);
        return result;
    };
    calls->record_entry_free = [real, ledger](libpff_record_entry_t **entry, libpff_error_t **error) {
        ledger->release(ledger->recordEntries, *entry, "record entry");
        return real.record_entry_free(entry, error);
    };
    return calls;
}

// An actor whose only engine is libpff over calls.
std::unique_ptr<PSTActor> actorOver(std::shared_ptr<const LibpffCalls> calls)
{
    EngineFactory factory;
    factory.libpff = [calls] { return std::make_unique<LibpffEngine>(calls); };
    return std::make_unique<PSTActor>(EngineChoice::libpff, std::move(factory));
}

QList<MailFolder> flatten(const QList<MailFolder> &folders)
{
    QList<MailFolder> all;
    for (const MailFolder &folder : folders) {
        all.append(folder);
        all.append(flatten(folder.children));
    }
    return all;
}

const MailFolder *named(const QList<MailFolder> &all, const QString &name)
{
    for (const MailFolder &folder : all) {
        if (folder.name == name)
            return &folder;
    }
    return nullptr;
}

QUrl corpusUrl(const char *name)
{
    return QUrl::fromLocalFile(test::corpusFile(QString::fromLatin1(name)));
}

// Fails the n-th call (counting from 1) of one table entry.
template <typename Fn>
auto failNth(Fn inner, int n, int failure = -1)
{
    auto calls = std::make_shared<std::atomic<int>>(0);
    return [inner, n, failure, calls](auto... args) {
        if (++*calls == n)
            return decltype(inner(args...))(failure);
        return inner(args...);
    };
}

}  // namespace

class TestPSTFaults : public QObject {
    Q_OBJECT
private slots:
    void init() { OSTREL_REQUIRE_CORPUS(); }

    void openFailures_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("description");
        QTest::newRow("library object") << "initialize" << "PST parser could not be initialized.";
        QTest::newRow("no root folder") << "root" << "Read error: get_root_folder: unknown";
        QTest::newRow("root's sub folder count") << "subcount" << "Read error: number_of_sub_folders: unknown";
        QTest::newRow("root's third sub folder") << "subfolder" << "Read error: get_sub_folder[2]: unknown";
    }
    void openFailures()
    {
        QFETCH(QString, which);
        QFETCH(QString, description);
        auto ledger = std::make_shared<HandleLedger>();
        auto calls = ledgerCalls(ledger);
        if (which == QLatin1String("initialize"))
            calls->file_initialize = failNth(calls->file_initialize, 1);
        if (which == QLatin1String("root"))
            calls->file_get_root_folder = [](libpff_file_t *, libpff_item_t **, libpff_error_t **) { return 0; };
        if (which == QLatin1String("subcount"))
            calls->folder_get_number_of_sub_folders = failNth(calls->folder_get_number_of_sub_folders, 1);
        if (which == QLatin1String("subfolder"))
            calls->folder_get_sub_folder = failNth(calls->folder_get_sub_folder, 3);
        {
            auto actor = actorOver(calls);
            const auto opened = actor->openFile(corpusUrl("pstsdk_sample1.pst")).result();
            QVERIFY(!opened);
            QCOMPARE(opened.error().errorDescription(), description);
            QCOMPARE(actor->engineName(), QString());
            QCOMPARE(ledger->items.size(), size_t(0));  // nothing held after a failed open
            QCOMPARE(ledger->files, 0);
        }
        QVERIFY2(ledger->problems.isEmpty(), qPrintable(ledger->problems.join(", ")));
        QVERIFY(ledger->balanced());
    }

    // Below the root, a folder whose sub folders cannot be listed says so;
    // the rest of the tree opens.
    void subFolderFailuresTravelWithTheFolder_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("failure");
        QTest::newRow("sub folder count") << "subcount" << "number_of_sub_folders: unknown";
        QTest::newRow("one sub folder") << "subfolder" << "get_sub_folder[0]: unknown";
    }
    void subFolderFailuresTravelWithTheFolder()
    {
        QFETCH(QString, which);
        QFETCH(QString, failure);
        qsizetype intact = 0;
        {
            auto actor = actorOver(std::make_shared<LibpffCalls>());
            const auto opened = actor->openFile(corpusUrl("tghanem_user1_test_lab.pst")).result();
            QVERIFY(opened);
            intact = flatten(opened.value()).size();
        }
        auto ledger = std::make_shared<HandleLedger>();
        auto calls = ledgerCalls(ledger);
        // The fourth folder read lists its sub folders: the root and three below it come first.
        if (which == QLatin1String("subcount"))
            calls->folder_get_number_of_sub_folders = failNth(calls->folder_get_number_of_sub_folders, 4);
        // Within "Top of Outlook data file", the only folder with 12 sub folders, the first fails.
        if (which == QLatin1String("subfolder"))
            calls->folder_get_sub_folder = [inner = calls->folder_get_sub_folder](libpff_item_t *f, int i,
                                                                                 libpff_item_t **item,
                                                                                 libpff_error_t **error) {
                int count = 0;
                if (i == 0 && libpff_folder_get_number_of_sub_folders(f, &count, nullptr) == 1 && count == 12)
                    return -1;
                return inner(f, i, item, error);
            };
        {
            auto actor = actorOver(calls);
            const auto opened = actor->openFile(corpusUrl("tghanem_user1_test_lab.pst")).result();
            QVERIFY(opened);
            const QList<MailFolder> all = flatten(opened.value());
            QList<MailFolder> failed;
            for (const MailFolder &folder : all) {
                if (folder.subFoldersFailure)
                    failed.append(folder);
            }
            QCOMPARE(failed.size(), 1);
            QCOMPARE(failed.constFirst().subFoldersFailure, std::optional<QString>(failure));
            QVERIFY(all.size() < intact);
            if (which == QLatin1String("subcount"))
                QVERIFY(failed.constFirst().children.isEmpty());
            else
                QCOMPARE(failed.constFirst().children.size(), 11);
        }
        QVERIFY2(ledger->problems.isEmpty(), qPrintable(ledger->problems.join(", ")));
        QVERIFY(ledger->balanced());
    }

    void codePageFailureStillOpens()
    {
        auto calls = std::make_shared<LibpffCalls>();
        int attempts = 0;
        calls->file_set_ascii_codepage = [&attempts](libpff_file_t *, int codepage, libpff_error_t **) {
            ++attempts;
            return codepage == 1252 ? -1 : 1;
        };
        auto actor = actorOver(calls);
        const auto opened = actor->openFile(corpusUrl("tika_testPST.pst")).result();
        QVERIFY(opened);
        QCOMPARE(attempts, 1);
        QCOMPARE(flatten(opened.value()).size(), 6);
        QCOMPARE(actor->engineName(), QStringLiteral("libpff"));
    }

    void unreadableCountIsZeroAndSaysWhy()
    {
        auto calls = std::make_shared<LibpffCalls>();
        // The second folder read is "Top of Outlook data file", parent of 12.
        calls->folder_get_number_of_sub_messages = failNth(calls->folder_get_number_of_sub_messages, 2);
        auto actor = actorOver(calls);
        const auto opened = actor->openFile(corpusUrl("tghanem_user1_test_lab.pst")).result();
        QVERIFY(opened);
        const MailFolder &top = opened.value().at(1);
        QCOMPARE(top.name, QStringLiteral("Top of Outlook data file"));
        QCOMPARE(top.messageCount, 0);
        QCOMPARE(top.messageCountFailure, std::optional<QString>(QStringLiteral("number_of_sub_messages: unknown")));
        QCOMPARE(top.folderType, FolderType::custom);
        QCOMPARE(top.children.size(), 12);
        QCOMPARE(top.children.at(0).name, QStringLiteral("Deleted Items"));
        QCOMPARE(top.children.at(0).folderType, FolderType::deleted);
        QCOMPARE(top.children.at(0).messageCountFailure, std::nullopt);
    }

    void pageFailures_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("wholePage");  // else only the one message, in its place
        QTest::newRow("message count") << "count" << "number_of_sub_messages: unknown" << true;
        QTest::newRow("second message") << "message" << "get_sub_message[1]: unknown" << false;
    }
    void pageFailures()
    {
        QFETCH(QString, which);
        QFETCH(QString, message);
        QFETCH(bool, wholePage);
        auto ledger = std::make_shared<HandleLedger>();
        auto calls = ledgerCalls(ledger);
        auto failing = std::make_shared<std::atomic<bool>>(false);
        if (which == QLatin1String("count"))
            calls->folder_get_number_of_sub_messages = [inner = calls->folder_get_number_of_sub_messages,
                                                        failing](libpff_item_t *f, int *n, libpff_error_t **e) {
                return *failing ? -1 : inner(f, n, e);
            };
        if (which == QLatin1String("message"))
            calls->folder_get_sub_message = [inner = calls->folder_get_sub_message, failing](
                                                libpff_item_t *f, int i, libpff_item_t **item, libpff_error_t **e) {
                return *failing && i == 1 ? -1 : inner(f, i, item, e);
            };
        {
            auto actor = actorOver(calls);
            const auto opened = actor->openFile(corpusUrl("tika_testPST.pst")).result();
            QVERIFY(opened);
            const size_t heldAfterOpen = ledger->items.size();
            *failing = true;
            const auto page = actor->loadMessages(opened.value().at(1), 0, 100).result();
            QCOMPARE(page.hasValue(), !wholePage);
            if (wholePage) {
                QCOMPARE(page.error().message(), message);
            } else {
                QCOMPARE(page.value().size(), 7);
                for (qsizetype i = 0; i < page.value().size(); ++i) {
                    const MailMessage &m = page.value().at(i);
                    QCOMPARE(m.readFailure, i == 1 ? std::optional<QString>(message) : std::nullopt);
                    QCOMPARE(m.subject.isEmpty(), false);
                    QVERIFY(!m.id.isNull());
                }
            }
            QCOMPARE(ledger->items.size(), heldAfterOpen);  // the page's messages were all freed
            *failing = false;
            const auto retry = actor->loadMessages(opened.value().at(1), 0, 100).result();
            QVERIFY(retry);
            QCOMPARE(retry.value().size(), 7);
            if (!wholePage)
                QCOMPARE(retry.value().at(1).readFailure, std::nullopt);
        }
        QVERIFY2(ledger->problems.isEmpty(), qPrintable(ledger->problems.join(", ")));
        QVERIFY(ledger->balanced());
    }

    void everyHandleIsFreedExactlyOnce()
    {
        auto ledger = std::make_shared<HandleLedger>();
        {
            auto actor = actorOver(ledgerCalls(ledger));
            for (const char *file : {"tghanem_user1_test_lab.pst", "rubymsg_200_recipients.pst",
                                     "pst2john_2003_no_encryption_quickquick.pst", "rubymsg_attachAndInline.pst"}) {
                const auto opened = actor->openFile(corpusUrl(file)).result();
                QVERIFY(opened);
                for (const MailFolder &folder : flatten(opened.value())) {
                    const auto page = actor->loadMessages(folder, 0, 100).result();
                    QVERIFY(page);
                    QTemporaryDir dir;
                    for (const MailMessage &message : page.value()) {
                        for (const Attachment &attachment : message.attachments)
                            actor->saveAttachment(attachment, dir.filePath(QStringLiteral("a"))).waitForFinished();
                    }
                }
                QVERIFY(!ledger->items.empty());  // the open archive's folders are held
                QVERIFY(ledger->recordSets.empty());
                QVERIFY(ledger->recordEntries.empty());
            }
        }
        QVERIFY2(ledger->problems.isEmpty(), qPrintable(ledger->problems.join(", ")));
        QVERIFY(ledger->balanced());
    }

    // The engine reads the size; the record rules decide on the bytes.
    void inlineDataLimit_data()
    {
        QTest::addColumn<qint64>("reportedSize");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("4,999,999") << qint64(4'999'999) << true;
        QTest::newRow("5,000,000") << qint64(5'000'000) << false;
        QTest::newRow("1") << qint64(1) << true;
        QTest::newRow("0") << qint64(0) << false;
        QTest::newRow("size unreadable") << qint64(-1) << false;
    }
    void inlineDataLimit()
    {
        QFETCH(qint64, reportedSize);
        QFETCH(bool, loaded);
        auto calls = std::make_shared<LibpffCalls>();
        calls->attachment_get_data_size = [reportedSize](libpff_item_t *, size64_t *size, libpff_error_t **) {
            if (reportedSize < 0)
                return -1;
            *size = size64_t(reportedSize);
            return 1;
        };
        auto actor = actorOver(calls);
        const auto opened = actor->openFile(corpusUrl("rubymsg_attachAndInline.pst")).result();
        QVERIFY(opened);
        const auto page = actor->loadMessages(opened.value().at(1), 0, 100).result();
        QVERIFY(page);
        const Attachment &inlineImage = page.value().at(0).attachments.at(1);
        QVERIFY(inlineImage.contentId);
        QCOMPARE(inlineImage.size, std::max<qint64>(reportedSize, 0));
        QCOMPARE(inlineImage.data.has_value(), loaded);
        if (loaded)  // one read only: a short read gives the bytes there are
            QCOMPARE(inlineImage.data->size(), std::min<qint64>(reportedSize, 809));
        QVERIFY(!page.value().at(0).attachments.at(0).data);
    }

    void attachmentsDegradeAndSayWhy()
    {
        auto calls = std::make_shared<LibpffCalls>();
        calls->message_get_attachment = [inner = calls->message_get_attachment](libpff_item_t *m, int i,
                                                                                libpff_item_t **item,
                                                                                libpff_error_t **e) {
            return i == 0 ? -1 : inner(m, i, item, e);
        };
        calls->attachment_data_read_buffer = [](libpff_item_t *, uint8_t *, size_t, libpff_error_t **) {
            return ssize_t(0);
        };
        auto actor = actorOver(calls);
        const auto opened = actor->openFile(corpusUrl("rubymsg_attachAndInline.pst")).result();
        QVERIFY(opened);
        const auto page = actor->loadMessages(opened.value().at(1), 0, 100).result();
        QVERIFY(page);
        const MailMessage &message = page.value().at(0);
        QCOMPARE(message.attachments.size(), 1);
        QCOMPARE(message.attachmentsFailure, std::optional<QString>(QStringLiteral("get_attachment[0]: unknown")));
        QVERIFY(message.attachments[0].contentId);
        QVERIFY2(!message.attachments[0].data, "a read of 0 bytes gives no data");

        auto noCount = std::make_shared<LibpffCalls>();
        noCount->message_get_number_of_attachments = [](libpff_item_t *, int *, libpff_error_t **) { return -1; };
        noCount->message_get_recipients = [](libpff_item_t *, libpff_item_t **, libpff_error_t **) { return -1; };
        auto second = actorOver(noCount);
        const auto reopened = second->openFile(corpusUrl("rubymsg_attachAndInline.pst")).result();
        QVERIFY(reopened);
        const auto plain = second->loadMessages(reopened.value().at(1), 0, 100).result();
        QVERIFY(plain);
        const MailMessage &bare = plain.value().at(0);
        QVERIFY(bare.attachments.isEmpty());
        QCOMPARE(bare.attachmentsFailure, std::optional<QString>(QStringLiteral("number_of_attachments: unknown")));
        QVERIFY(bare.recipients.isEmpty());
        QCOMPARE(bare.recipientsFailure, std::optional<QString>(QStringLiteral("get_recipients: unknown")));
        QCOMPARE(bare.subject, QStringLiteral("Attach and inline"));
    }

    // A read that fails halfway leaves the file that was there untouched.
    void aFailedReadLeavesNoPartialFile()
    {
        auto calls = std::make_shared<LibpffCalls>();
        auto reads = std::make_shared<std::atomic<int>>(0);
        calls->attachment_get_data_size = [](libpff_item_t *, size64_t *size, libpff_error_t **) {
            *size = 3 << 20;  // three chunks
            return 1;
        };
        calls->attachment_data_read_buffer = [reads](libpff_item_t *, uint8_t *buffer, size_t size, libpff_error_t **) {
            if (++*reads == 2)
                return ssize_t(-1);
            memset(buffer, 'x', size);
            return ssize_t(size);
        };
        auto actor = actorOver(calls);
        const auto opened = actor->openFile(corpusUrl("rubymsg_attachAndInline.pst")).result();
        QVERIFY(opened);
        const auto page = actor->loadMessages(opened.value().at(1), 0, 100).result();
        QVERIFY(page);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("existing.png"));
        QFile existing(path);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("before");
        existing.close();
        const auto saved = actor->saveAttachment(page.value().at(0).attachments.at(0), path).result();
        QVERIFY(!saved);
        QCOMPARE(saved.error().kind, AttachmentSaveError::Kind::readFailed);
        QCOMPARE(saved.error().detail, QStringLiteral("attachment_data: unknown"));
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), QByteArray("before"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"existing.png"});
    }

    void everyCallRunsOnTheActorsThreadInArrivalOrder()
    {
        QMutex mutex;
        std::set<std::thread::id> threads;
        int callCount = 0;
        auto calls = std::make_shared<LibpffCalls>();
        calls->observeEach([&](const char *) {
            QMutexLocker lock(&mutex);
            threads.insert(std::this_thread::get_id());
            ++callCount;
        });
        auto owned = actorOver(calls);
        PSTActor &actor = *owned;
        const auto opened = actor.openFile(corpusUrl("pst2john_97_outlook_pass12345.pst")).result();
        QVERIFY(opened);
        const QList<MailFolder> all = flatten(opened.value());
        const MailFolder *inbox = named(all, QStringLiteral("Inbox"));
        const MailFolder *deleted = named(all, QStringLiteral("Deleted Items"));
        QVERIFY(inbox && deleted);

        QStringList finished;
        const auto note = [&](const QString &what) {
            QMutexLocker lock(&mutex);
            finished << what;
        };
        // Two overlapping page loads, then an open that drops the archive and
        // a third load that therefore finds its folder gone.
        using Page = PSTResult<QList<MailMessage>>;
        using Tree = PSTResult<QList<MailFolder>>;
        auto a = actor.loadMessages(*inbox, 0, 100).then([&](Page r) { note("inbox"); return r; });
        auto b = actor.loadMessages(*deleted, 0, 100).then([&](Page r) { note("deleted"); return r; });
        auto c = actor.openFile(corpusUrl("pstsdk_sample1.pst")).then([&](Tree r) { note("reopen"); return r; });
        auto d = actor.loadMessages(*inbox, 0, 100).then([&](Page r) { note("stale"); return r; });
        QVERIFY(test::waitFor(d));
        QVERIFY(a.result() && b.result() && c.result());
        QCOMPARE(a.result().value().size(), 100);
        QCOMPARE(b.result().value().size(), 100);
        QCOMPARE(d.result().error().message(), QStringLiteral("Ordner nicht gefunden"));
        QCOMPARE(finished, QStringList({"inbox", "deleted", "reopen", "stale"}));

        QMutexLocker lock(&mutex);
        QVERIFY(callCount > 1000);
        QCOMPARE(threads.size(), size_t(1));
        QCOMPARE(*threads.begin(), actor.threadId());
        QVERIFY(actor.threadId() != std::this_thread::get_id());
    }
};

QTEST_GUILESS_MAIN(TestPSTFaults)
#include "tst_pstfaults.moc"
