// Library failures that real files rarely or never produce, made through the
// reader's table of libpff calls; plus handle accounting and thread discipline.
#include "TestSupport.h"
#include "pst/LibpffCalls.h"
#include "pst/PSTActor.h"

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
    calls->file_get_root_folder = [real, ledger](libpff_file_t *file, libpff_item_t **item, libpff_error_t **error) {
        const int result = real.file_get_root_folder(file, item, error);
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
    calls->record_set_get_entry_by_type = [real, ledger](libpff_record_set_t *set, uint32_t type, uint32_t valueType,
                                                         libpff_record_entry_t **entry, uint8_t flags,
                                                         libpff_error_t **error) {
        const int result = real.record_set_get_entry_by_type(set, type, valueType, entry, flags, error);
        ledger->acquire(ledger->recordEntries, *entry);
        return result;
    };
    calls->record_entry_free = [real, ledger](libpff_record_entry_t **entry, libpff_error_t **error) {
        ledger->release(ledger->recordEntries, *entry, "record entry");
        return real.record_entry_free(entry, error);
    };
    return calls;
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

constexpr uint32_t kSubject = 0x0037;
constexpr uint32_t kSenderName = 0x0C1A;
constexpr uint32_t kImportance = 0x0017;
constexpr uint32_t kContentId = 0x3712;
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
        QTest::newRow("sub folder count") << "subcount" << "Read error: number_of_sub_folders: unknown";
        QTest::newRow("third sub folder") << "subfolder" << "Read error: get_sub_folder[2]: unknown";
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
            calls->folder_get_number_of_sub_folders = failNth(calls->folder_get_number_of_sub_folders, 3);
        if (which == QLatin1String("subfolder"))
            calls->folder_get_sub_folder = [inner = calls->folder_get_sub_folder](libpff_item_t *f, int i,
                                                                                 libpff_item_t **item,
                                                                                 libpff_error_t **error) {
                return i == 2 ? -1 : inner(f, i, item, error);
            };
        {
            PSTActor actor(calls);
            const auto opened = actor.openFile(corpusUrl("tghanem_user1_test_lab.pst")).result();
            QVERIFY(!opened);
            QCOMPARE(opened.error().errorDescription(), description);
            QCOMPARE(ledger->items.size(), size_t(0));  // nothing held after a failed open
            QCOMPARE(ledger->files, 0);
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
        PSTActor actor(calls);
        const auto opened = actor.openFile(corpusUrl("tika_testPST.pst")).result();
        QVERIFY(opened);
        QCOMPARE(attempts, 1);
        QCOMPARE(flatten(opened.value()).size(), 6);
    }

    void folderValuesDegrade_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("messages");
        // The second folder read is "Top of Outlook data file", parent of 12.
        QTest::newRow("name unreadable") << "name" << "(unbenannt)" << qint64(0);
        QTest::newRow("name size unreadable") << "namesize" << "" << qint64(0);
        QTest::newRow("count unreadable") << "count" << "Top of Outlook data file" << qint64(0);
    }
    void folderValuesDegrade()
    {
        QFETCH(QString, which);
        QFETCH(QString, name);
        QFETCH(qint64, messages);
        auto calls = std::make_shared<LibpffCalls>();
        if (which == QLatin1String("name"))
            calls->folder_get_utf8_name = failNth(calls->folder_get_utf8_name, 2);
        if (which == QLatin1String("namesize"))
            calls->folder_get_utf8_name_size = failNth(calls->folder_get_utf8_name_size, 2);
        if (which == QLatin1String("count"))
            calls->folder_get_number_of_sub_messages = failNth(calls->folder_get_number_of_sub_messages, 2);
        PSTActor actor(calls);
        const auto opened = actor.openFile(corpusUrl("tghanem_user1_test_lab.pst")).result();
        QVERIFY(opened);
        const MailFolder &top = opened.value().at(1);
        QCOMPARE(top.name, name);
        QCOMPARE(top.messageCount, messages);
        QCOMPARE(top.folderType, FolderType::custom);
        QCOMPARE(top.children.size(), 12);
        QCOMPARE(top.children.at(0).name, QStringLiteral("Deleted Items"));
        QCOMPARE(top.children.at(0).folderType, FolderType::deleted);
    }

    void pageFailures_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("message");
        QTest::newRow("message count") << "count" << "number_of_sub_messages: unknown";
        QTest::newRow("second message") << "message" << "get_sub_message[1]: unknown";
    }
    void pageFailures()
    {
        QFETCH(QString, which);
        QFETCH(QString, message);
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
            PSTActor actor(calls);
            const auto opened = actor.openFile(corpusUrl("tika_testPST.pst")).result();
            QVERIFY(opened);
            const size_t heldAfterOpen = ledger->items.size();
            *failing = true;
            const auto page = actor.loadMessages(opened.value().at(1), 0, 100).result();
            QVERIFY(!page);
            QCOMPARE(page.error().message(), message);
            QCOMPARE(ledger->items.size(), heldAfterOpen);  // the page's messages were all freed
            *failing = false;
            const auto retry = actor.loadMessages(opened.value().at(1), 0, 100).result();
            QVERIFY(retry);
            QCOMPARE(retry.value().size(), 7);
        }
        QVERIFY2(ledger->problems.isEmpty(), qPrintable(ledger->problems.join(", ")));
        QVERIFY(ledger->balanced());
    }

    void everyHandleIsFreedExactlyOnce()
    {
        auto ledger = std::make_shared<HandleLedger>();
        {
            PSTActor actor(ledgerCalls(ledger));
            for (const char *file : {"tghanem_user1_test_lab.pst", "rubymsg_200_recipients.pst",
                                     "pst2john_2003_no_encryption_quickquick.pst"}) {
                const auto opened = actor.openFile(corpusUrl(file)).result();
                QVERIFY(opened);
                for (const MailFolder &folder : flatten(opened.value()))
                    QVERIFY(actor.loadMessages(folder, 0, 100).result());
                QVERIFY(!ledger->items.empty());  // the open archive's folders are held
                QVERIFY(ledger->recordSets.empty());
                QVERIFY(ledger->recordEntries.empty());
            }
        }
        QVERIFY2(ledger->problems.isEmpty(), qPrintable(ledger->problems.join(", ")));
        QVERIFY(ledger->balanced());
    }

    void messageFieldsDegrade()
    {
        // Per call: subject missing for the first message and empty for the
        // second, no sender name, no delivery time, importance 2 then 7.
        auto calls = std::make_shared<LibpffCalls>();
        auto subjects = std::make_shared<std::atomic<int>>(0);
        calls->item_get_entry_value_utf8_string_size = [inner = calls->item_get_entry_value_utf8_string_size,
                                                        subjects](libpff_item_t *item, int set, uint32_t type,
                                                                  size_t *size, uint8_t flags, libpff_error_t **e) {
            if (type == kSubject) {
                if (++*subjects == 1)
                    return 0;
                *size = 1;
                return 1;
            }
            if (type == kSenderName)
                return 0;
            return inner(item, set, type, size, flags, e);
        };
        calls->message_get_delivery_time = [](libpff_item_t *, uint64_t *, libpff_error_t **) { return -1; };
        auto importances = std::make_shared<std::atomic<int>>(0);
        calls->item_get_entry_value_32bit = [inner = calls->item_get_entry_value_32bit, importances](
                                                libpff_item_t *item, int set, uint32_t type, uint32_t *value,
                                                uint8_t flags, libpff_error_t **e) {
            if (type == kImportance) {
                *value = ++*importances == 1 ? 2 : 7;
                return 1;
            }
            return inner(item, set, type, value, flags, e);
        };
        PSTActor actor(calls);
        const auto opened = actor.openFile(corpusUrl("tghanem_user1_test_lab.pst")).result();
        QVERIFY(opened);
        const QList<MailFolder> all = flatten(opened.value());
        const MailFolder *folder = named(all, QStringLiteral("FolderWithMessagesWithAttachments"));
        QVERIFY(folder);
        const auto page = actor.loadMessages(*folder, 0, 100).result();
        QVERIFY(page);
        QCOMPARE(page.value().size(), 2);
        for (const MailMessage &message : page.value()) {
            QCOMPARE(message.subject, QStringLiteral("(kein Betreff)"));
            QCOMPARE(message.senderEmail, QStringLiteral("user1@test.lab"));
            QCOMPARE(message.sender, message.senderEmail);
            QCOMPARE(message.date, 0.0);
        }
        QCOMPARE(page.value()[0].importance, MessageImportance::high);
        QCOMPARE(page.value()[1].importance, MessageImportance::normal);
    }

    void bodiesDecode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<std::optional<QString>>("text");
        QTest::addColumn<std::optional<QString>>("html");
        const QByteArray cp1252("Gr\xfc\xdf" "e \x80 10", 10);
        QTest::newRow("utf-8") << QByteArray("Grüße") << std::optional<QString>(QStringLiteral("Grüße"))
                               << std::optional<QString>(QStringLiteral("Grüße"));
        QTest::newRow("windows-1252 bytes")
            << cp1252 << std::optional<QString>(QString::fromLatin1(cp1252)) << std::optional<QString>();
        QTest::newRow("trailing NULs dropped") << QByteArray("Hi\0\0\0", 5) << std::optional<QString>(QStringLiteral("Hi"))
                                               << std::optional<QString>(QStringLiteral("Hi"));
        QTest::newRow("only NULs kept") << QByteArray(3, '\0') << std::optional<QString>(QString(3, QChar(0)))
                                        << std::optional<QString>(QString(3, QChar(0)));
        QTest::newRow("no bytes") << QByteArray() << std::optional<QString>() << std::optional<QString>();
    }
    void bodiesDecode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(std::optional<QString>, text);
        QFETCH(std::optional<QString>, html);
        auto calls = std::make_shared<LibpffCalls>();
        const auto size = [bytes](libpff_item_t *, size_t *n, libpff_error_t **) {
            *n = size_t(bytes.size());
            return 1;
        };
        const auto read = [bytes](libpff_item_t *, uint8_t *buffer, size_t n, libpff_error_t **) {
            memcpy(buffer, bytes.constData(), std::min(n, size_t(bytes.size())));
            return 1;
        };
        calls->message_get_plain_text_body_size = size;
        calls->message_get_plain_text_body = read;
        calls->message_get_html_body_size = size;
        calls->message_get_html_body = read;
        PSTActor actor(calls);
        const auto opened = actor.openFile(corpusUrl("pstsdk_sample1.pst")).result();
        QVERIFY(opened);
        const QList<MailFolder> all = flatten(opened.value());
        const MailFolder *folder = named(all, QStringLiteral("Sample1"));
        QVERIFY(folder);
        const auto page = actor.loadMessages(*folder, 0, 100).result();
        QVERIFY(page);
        QCOMPARE(page.value().at(0).bodyText, text);
        QCOMPARE(page.value().at(0).bodyHTML, html);
    }

    void inlineDataLimit_data()
    {
        QTest::addColumn<qint64>("reportedSize");
        QTest::addColumn<QString>("contentId");  // "-" for the real one, "" for empty, "none" for absent
        QTest::addColumn<bool>("loaded");
        QTest::newRow("4,999,999 with id") << qint64(4'999'999) << "-" << true;
        QTest::newRow("5,000,000 with id") << qint64(5'000'000) << "-" << false;
        QTest::newRow("1 with id") << qint64(1) << "-" << true;
        QTest::newRow("0 with id") << qint64(0) << "-" << false;
        QTest::newRow("empty id") << qint64(809) << "" << false;
        QTest::newRow("no id") << qint64(809) << "none" << false;
        QTest::newRow("size unreadable") << qint64(-1) << "-" << false;
    }
    void inlineDataLimit()
    {
        QFETCH(qint64, reportedSize);
        QFETCH(QString, contentId);
        QFETCH(bool, loaded);
        auto calls = std::make_shared<LibpffCalls>();
        calls->attachment_get_data_size = [reportedSize](libpff_item_t *, size64_t *size, libpff_error_t **) {
            if (reportedSize < 0)
                return -1;
            *size = size64_t(reportedSize);
            return 1;
        };
        calls->item_get_entry_value_utf8_string_size = [inner = calls->item_get_entry_value_utf8_string_size,
                                                        contentId](libpff_item_t *item, int set, uint32_t type,
                                                                   size_t *size, uint8_t flags, libpff_error_t **e) {
            if (type == kContentId && contentId == QLatin1String("none"))
                return 0;
            if (type == kContentId && contentId.isEmpty()) {
                *size = 1;
                return 1;
            }
            return inner(item, set, type, size, flags, e);
        };
        PSTActor actor(calls);
        const auto opened = actor.openFile(corpusUrl("rubymsg_attachAndInline.pst")).result();
        QVERIFY(opened);
        const auto page = actor.loadMessages(opened.value().at(1), 0, 100).result();
        QVERIFY(page);
        const Attachment &inlineImage = page.value().at(0).attachments.at(1);
        QCOMPARE(inlineImage.size, std::max<qint64>(reportedSize, 0));
        QCOMPARE(inlineImage.data.has_value(), loaded);
        if (loaded)  // one read only: a short read gives the bytes there are
            QCOMPARE(inlineImage.data->size(), std::min<qint64>(reportedSize, 809));
        QVERIFY(!page.value().at(0).attachments.at(0).data);
    }

    void attachmentsDegrade()
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
        constexpr uint32_t kLongFilename = 0x3707;
        calls->item_get_entry_value_utf8_string_size = [inner = calls->item_get_entry_value_utf8_string_size](
                                                           libpff_item_t *item, int set, uint32_t type, size_t *size,
                                                           uint8_t flags, libpff_error_t **e) {
            return type == kLongFilename ? 0 : inner(item, set, type, size, flags, e);
        };
        PSTActor actor(calls);
        const auto opened = actor.openFile(corpusUrl("rubymsg_attachAndInline.pst")).result();
        QVERIFY(opened);
        const auto page = actor.loadMessages(opened.value().at(1), 0, 100).result();
        QVERIFY(page);
        const QList<Attachment> &attachments = page.value().at(0).attachments;
        QCOMPARE(attachments.size(), 1);
        QCOMPARE(attachments[0].filename, QStringLiteral("Anhang_1"));
        QCOMPARE(attachments[0].mimeType, QStringLiteral("application/octet-stream"));
        QVERIFY(attachments[0].contentId);
        QVERIFY2(!attachments[0].data, "a read of 0 bytes gives no data");

        auto noCount = std::make_shared<LibpffCalls>();
        noCount->message_get_number_of_attachments = [](libpff_item_t *, int *, libpff_error_t **) { return -1; };
        noCount->message_get_recipients = [](libpff_item_t *, libpff_item_t **, libpff_error_t **) { return -1; };
        PSTActor second(noCount);
        const auto reopened = second.openFile(corpusUrl("rubymsg_attachAndInline.pst")).result();
        QVERIFY(reopened);
        const auto plain = second.loadMessages(reopened.value().at(1), 0, 100).result();
        QVERIFY(plain);
        QVERIFY(plain.value().at(0).attachments.isEmpty());
        QVERIFY(plain.value().at(0).recipients.isEmpty());
        QCOMPARE(plain.value().at(0).subject, QStringLiteral("Attach and inline"));
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
        PSTActor actor(calls);
        const auto opened = actor.openFile(corpusUrl("rubymsg_attachAndInline.pst")).result();
        QVERIFY(opened);
        const auto page = actor.loadMessages(opened.value().at(1), 0, 100).result();
        QVERIFY(page);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("existing.png"));
        QFile existing(path);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("before");
        existing.close();
        const auto saved = actor.saveAttachment(page.value().at(0).attachments.at(0), path).result();
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
        PSTActor actor(calls);
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
