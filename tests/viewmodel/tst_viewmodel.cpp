// A real view model over a real reader, with an injected open panel and an
// isolated settings store; over real archives, and over archives held in
// memory where the case needs no real file.
#include "FakePlatform.h"
#include "MemoryEngine.h"
#include "TestSupport.h"
#include "viewmodel/SearchMatcher.h"
#include "viewmodel/ostrelViewModel.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTest>
#include <QMutex>
#include <algorithm>
#include <atomic>

using namespace ostrel;

namespace {
// The names of the view model's change signals, in the order emitted.
class ChangeLog {
public:
    explicit ChangeLog(ostrelViewModel &vm)
    {
        const auto log = [this](const char *name) { return [this, name] { names << QString::fromLatin1(name); }; };
        QObject::connect(&vm, &ostrelViewModel::isLoadingChanged, &m_context, log("isLoading"));
        QObject::connect(&vm, &ostrelViewModel::errorMessageChanged, &m_context, log("errorMessage"));
        QObject::connect(&vm, &ostrelViewModel::foldersChanged, &m_context, log("folders"));
        QObject::connect(&vm, &ostrelViewModel::selectedFolderChanged, &m_context, log("selectedFolder"));
        QObject::connect(&vm, &ostrelViewModel::rowsChanged, &m_context, log("rows"));
        QObject::connect(&vm, &ostrelViewModel::selectedMessageChanged, &m_context, log("selectedMessage"));
        QObject::connect(&vm, &ostrelViewModel::searchTextChanged, &m_context, log("searchText"));
        QObject::connect(&vm, &ostrelViewModel::currentFileNameChanged, &m_context, log("currentFileName"));
        QObject::connect(&vm, &ostrelViewModel::recentFilesChanged, &m_context, log("recentFiles"));
    }
    QStringList names;

private:
    QObject m_context;
};

QUrl corpusUrl(const QString &name)
{
    return QUrl::fromLocalFile(test::corpusFile(name));
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

// An actor over archives held in memory; log sees every engine call.
std::unique_ptr<PSTActor> memoryActor(const test::MemoryShelf &shelf, std::shared_ptr<test::MemoryEngineLog> log)
{
    return std::make_unique<PSTActor>(EngineChoice::automatic, test::memoryEngines(shelf, std::move(log)));
}

qsizetype listings(const test::MemoryEngineLog &log)
{
    return log.callsSoFar().filter(QStringLiteral(".listFolder")).size();
}

// Messages one day apart, newest last.
void addMessages(test::MemoryArchive &archive, quint32 folder, int count, const QString &prefix)
{
    const QDateTime first(QDate(2024, 3, 1), QTime(9, 0), Qt::UTC);
    for (int i = 0; i < count; ++i)
        archive.addMessage(folder, test::mail(prefix + QString::number(i)).date(first.addDays(i)));
}
}  // namespace

class TestViewModel : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_settings;
    test::FakePlatform m_platform;

    std::unique_ptr<ostrelViewModel> makeViewModel(std::unique_ptr<PSTActor> actor = nullptr)
    {
        return std::make_unique<ostrelViewModel>(m_platform, m_settings.get(), std::move(actor));
    }

    void open(ostrelViewModel &vm, const QUrl &url) { QVERIFY(test::waitFor(vm.openPSTFile(url))); }

    // A placeholder file named name in the test's directory, for a memory archive of that name.
    QUrl placeholder(const QString &name)
    {
        const QString path = m_dir->filePath(name);
        return test::touch(path) ? QUrl::fromLocalFile(path) : QUrl();
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<QSettings>(m_dir->filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        m_platform = test::FakePlatform();
    }

    void freshState()
    {
        auto vm = makeViewModel();
        QCOMPARE(vm->searchText(), QString());
        QCOMPARE(vm->errorMessage(), std::nullopt);
        QVERIFY(!vm->isLoading());
        QVERIFY(vm->folders().isEmpty());
        QCOMPARE(vm->currentFileName(), std::nullopt);
        QVERIFY(vm->recentFiles().isEmpty());
    }

    void cancellingThePanelChangesNothing()
    {
        OSTREL_REQUIRE_CORPUS();
        auto vm = makeViewModel();
        open(*vm, corpusUrl("processpst_flags_john_doe.pst"));
        const auto folders = vm->folders();
        const auto selected = vm->selectedFolder();
        ChangeLog log(*vm);
        QVERIFY(test::waitFor(vm->openPSTFile()));
        QCOMPARE(m_platform.openRequests.size(), 1);
        QCOMPARE(m_platform.openRequests[0].message, QStringLiteral("Select a PST file"));
        QCOMPARE(m_platform.openRequests[0].prompt, QStringLiteral("Open"));
        QVERIFY(m_platform.openRequests[0].nameFilters.join(' ').contains(QLatin1String("*.pst")));
        QCOMPARE(log.names, QStringList());
        QCOMPARE(vm->folders(), folders);
        QCOMPARE(vm->selectedFolder(), selected);
    }

    void openingThroughThePanel()
    {
        OSTREL_REQUIRE_CORPUS();
        auto vm = makeViewModel();
        m_platform.openAnswers.enqueue(test::corpusFile("tika_testPST.pst"));
        QVERIFY(test::waitFor(vm->openPSTFile()));
        QCOMPARE(vm->currentFileName(), std::optional<QString>("tika_testPST.pst"));
        QCOMPARE(vm->recentFiles(), QList<QUrl>{corpusUrl("tika_testPST.pst")});
    }

    void openSelectsTheNestedInboxInOrder()
    {
        OSTREL_REQUIRE_CORPUS();
        auto vm = makeViewModel();
        vm->setSearchText(QStringLiteral("kept"));
        ChangeLog log(*vm);
        QSignalSpy loading(vm.get(), &ostrelViewModel::isLoadingChanged);
        open(*vm, corpusUrl("processpst_flags_john_doe.pst"));
        // Rows arrive in one or more parts; a body scan for the search text
        // may add its matches after loading ends.
        QStringList names;
        for (const QString &name : std::as_const(log.names)) {
            if (names.isEmpty() || names.constLast() != name)
                names.append(name);
        }
        while (names.constLast() == QLatin1String("rows"))
            names.removeLast();
        QCOMPARE(names, QStringList({"isLoading", "rows", "folders", "currentFileName", "recentFiles",
                                     "selectedFolder", "rows", "isLoading"}));
        QCOMPARE(loading.count(), 2);
        QVERIFY(!vm->isLoading());
        QVERIFY(vm->selectedFolder());
        QCOMPARE(vm->selectedFolder()->name, QStringLiteral("Inbox"));
        QCOMPARE(vm->selectedFolder()->folderType, FolderType::inbox);
        QCOMPARE(vm->rows().size(), 3);
        QCOMPARE(vm->selectedMessage(), std::nullopt);
        QCOMPARE(vm->searchText(), QStringLiteral("kept"));
        QCOMPARE(vm->currentFileName(), std::optional<QString>("processpst_flags_john_doe.pst"));
        QCOMPARE(vm->errorMessage(), std::nullopt);
    }

    void withoutInboxTheFirstRootFolderIsSelected()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        archive->addFolder(test::MemoryArchive::top, QStringLiteral("SPAM Search Folder 2"));
        const quint32 outbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Outbox"));
        addMessages(*archive, outbox, 2, QStringLiteral("waiting "));
        auto log = std::make_shared<test::MemoryEngineLog>();
        auto vm = makeViewModel(memoryActor({{QStringLiteral("noinbox.pst"), archive}}, log));
        open(*vm, placeholder(QStringLiteral("noinbox.pst")));
        QVERIFY(vm->selectedFolder());
        QCOMPARE(vm->selectedFolder()->id, vm->folders().constFirst().id);
        QCOMPARE(vm->selectedFolder()->name, QStringLiteral("SPAM Search Folder 2"));
        // It holds no message, so nothing was asked of the reader.
        QCOMPARE(listings(*log), 0);
        QVERIFY(vm->rows().isEmpty());
        QVERIFY(!vm->isLoading());
    }

    // The mailbox's inbox is chosen over one among the store's own folders;
    // a search folder that counts results but lists none says what it is.
    void theMailboxInboxAndSearchFolders()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 searchRoot = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Search Root"));
        const quint32 storeInbox = archive->addFolder(searchRoot, QStringLiteral("Inbox"));
        addMessages(*archive, storeInbox, 1, QStringLiteral("store "));
        const quint32 results = archive->addFolder(searchRoot, QStringLiteral("All Messages"));
        archive->setSearchFolder(results, 3);
        const quint32 empty = archive->addFolder(searchRoot, QStringLiteral("Nothing"));
        archive->setSearchFolder(empty, 0);
        const quint32 top = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Top of Personal Folders"));
        const quint32 inbox = archive->addFolder(top, QStringLiteral("Inbox"));
        addMessages(*archive, inbox, 2, QStringLiteral("mailbox "));
        archive->addFolder(top, QStringLiteral("Empty"));
        auto vm = makeViewModel(memoryActor({{QStringLiteral("mailbox.pst"), archive}},
                                            std::make_shared<test::MemoryEngineLog>()));
        open(*vm, placeholder(QStringLiteral("mailbox.pst")));
        QVERIFY(vm->selectedFolder());
        QCOMPARE(vm->rows().size(), 2);
        QVERIFY(vm->rows().constFirst().subject.startsWith(QLatin1String("mailbox ")));
        QCOMPARE(vm->folders().size(), 2);
        QVERIFY(vm->folders().at(0).storeFolder);
        QVERIFY(vm->folders().at(1).mailboxRoot);
        QCOMPARE(vm->listingNote(), QString());

        const MailFolder &all = vm->folders().at(0).children.at(1);
        QVERIFY(all.searchFolder);
        QCOMPARE(all.messageCount, 3);
        QVERIFY(test::waitFor(vm->selectFolder(all)));
        QVERIFY(vm->rows().isEmpty());
        QVERIFY2(vm->listingNote().contains(QLatin1String("search folder")), qPrintable(vm->listingNote()));
        // One that counts nothing, or a plain folder, needs no word.
        QVERIFY(test::waitFor(vm->selectFolder(vm->folders().at(0).children.at(2))));
        QCOMPARE(vm->listingNote(), QString());
        QVERIFY(test::waitFor(vm->selectFolder(vm->folders().at(1).children.at(1))));
        QCOMPARE(vm->listingNote(), QString());
    }

    void anEmptyTreeOpensWithNothingSelected()
    {
        auto log = std::make_shared<test::MemoryEngineLog>();
        auto vm = makeViewModel(memoryActor({{QStringLiteral("empty.pst"), std::make_shared<test::MemoryArchive>()}}, log));
        open(*vm, placeholder(QStringLiteral("empty.pst")));
        QVERIFY(vm->folders().isEmpty());
        QCOMPARE(vm->selectedFolder(), std::nullopt);
        QVERIFY(!vm->isLoading());
        QCOMPARE(vm->errorMessage(), std::nullopt);
        QCOMPARE(vm->currentFileName(), std::optional<QString>("empty.pst"));
        QCOMPARE(log->callsSoFar(), QStringList{QStringLiteral("libpff.open empty.pst")});
    }

    void aFailedSecondOpenKeepsTheFirstTree()
    {
        OSTREL_REQUIRE_CORPUS();
        auto vm = makeViewModel();
        open(*vm, corpusUrl("processpst_flags_john_doe.pst"));
        const QList<MailFolder> firstTree = vm->folders();
        vm->selectMessage(vm->rows().constFirst().id);
        QVERIFY(test::waitFor(vm->messageRead()));
        QVERIFY(vm->selectedMessage());

        ChangeLog log(*vm);
        open(*vm, corpusUrl("pstreader_truncated_in_header.pst"));
        QCOMPARE(log.names, QStringList({"isLoading", "selectedFolder", "selectedMessage", "rows", "errorMessage",
                                         "isLoading"}));
        QCOMPARE(vm->folders(), firstTree);
        QCOMPARE(vm->currentFileName(), std::optional<QString>("processpst_flags_john_doe.pst"));
        QCOMPARE(vm->selectedFolder(), std::nullopt);
        QCOMPARE(vm->selectedMessage(), std::nullopt);
        QVERIFY(vm->rows().isEmpty());
        QVERIFY(vm->errorMessage());
        QVERIFY(vm->errorMessage()->startsWith(QLatin1String("Read error: header: ")));
        QCOMPARE(vm->recentFiles().size(), 1);

        // Its folders belong to no open archive any more.
        const MailFolder *inbox = findFolder(vm->folders(), QStringLiteral("Inbox"));
        QVERIFY(inbox);
        vm->clearError();
        QVERIFY(test::waitFor(vm->selectFolder(*inbox)));
        QCOMPARE(vm->errorMessage(), std::optional<QString>("Read error: Ordner nicht gefunden"));
        QVERIFY(vm->rows().isEmpty());
        QVERIFY(!vm->isLoading());
    }

    void aMissingFileIsReported()
    {
        auto vm = makeViewModel();
        open(*vm, QUrl::fromLocalFile(m_dir->filePath(QStringLiteral("gone.pst"))));
        QCOMPARE(vm->errorMessage(), std::optional<QString>("PST file not found."));
        QVERIFY(!vm->isLoading());
        QVERIFY(vm->recentFiles().isEmpty());
        vm->clearError();
        QCOMPARE(vm->errorMessage(), std::nullopt);
    }

    // The whole folder is listed, newest first, whatever the storage order;
    // equal dates keep storage order.
    void aFolderListsEveryMessageNewestFirst()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        const QDateTime first(QDate(2024, 3, 1), QTime(9, 0), Qt::UTC);
        for (int i = 0; i < 250; ++i) {
            // The newest message lies in the middle of the folder; two share a date.
            const int day = i == 137 ? 400 : i == 200 ? 150 : i;
            archive->addMessage(inbox, test::mail(QStringLiteral("note %1").arg(i)).date(first.addDays(day)));
        }
        auto log = std::make_shared<test::MemoryEngineLog>();
        auto vm = makeViewModel(memoryActor({{QStringLiteral("big.pst"), archive}}, log));
        open(*vm, placeholder(QStringLiteral("big.pst")));
        QCOMPARE(vm->selectedFolder()->messageCount, qint64(250));
        QCOMPARE(vm->rows().size(), 250);
        QCOMPARE(vm->shownRows().size(), 250);
        QVERIFY(vm->isListingComplete());
        QCOMPARE(vm->listingNote(), QString());
        QCOMPARE(listings(*log), 1);
        QCOMPARE(log->callsSoFar().filter(QStringLiteral(".readMessage")).size(), 0);
        QCOMPARE(vm->rows().at(0).subject, QStringLiteral("note 137"));
        QCOMPARE(vm->rows().at(1).subject, QStringLiteral("note 249"));
        // note 150 and note 200 share a date: storage order.
        qsizetype at150 = -1, at200 = -1;
        for (qsizetype i = 0; i < vm->rows().size(); ++i) {
            if (vm->rows().at(i).subject == QLatin1String("note 150"))
                at150 = i;
            if (vm->rows().at(i).subject == QLatin1String("note 200"))
                at200 = i;
        }
        QCOMPARE(at200, at150 + 1);
        for (qsizetype i = 1; i < vm->rows().size(); ++i)
            QVERIFY(vm->rows().at(i - 1).date >= vm->rows().at(i).date);
        QCOMPARE(vm->rows().constLast().subject, QStringLiteral("note 0"));
    }

    // Named properties that could not be read are said once for the archive,
    // and no more once an intact archive is open.
    void unreadableNamedPropertiesAreSaid()
    {
        auto damaged = std::make_shared<test::MemoryArchive>();
        addMessages(*damaged, damaged->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox")), 3, "m");
        damaged->setNamedPropertiesUnreadable(QStringLiteral("name map: bad block signature at 0x1200"));
        auto intact = std::make_shared<test::MemoryArchive>();
        addMessages(*intact, intact->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox")), 3, "m");
        auto log = std::make_shared<test::MemoryEngineLog>();
        auto vm = makeViewModel(memoryActor({{QStringLiteral("damaged.pst"), damaged}, {QStringLiteral("intact.pst"), intact}}, log));
        QCOMPARE(vm->archiveNote(), QString());
        open(*vm, placeholder(QStringLiteral("damaged.pst")));
        QCOMPARE(vm->rows().size(), 3);
        QCOMPARE(vm->archiveNote(),
                 QStringLiteral("Some properties could not be read: name map: bad block signature at 0x1200"));
        QCOMPARE(vm->listingNote(), QString());
        open(*vm, placeholder(QStringLiteral("intact.pst")));
        QCOMPARE(vm->archiveNote(), QString());
    }

    // A folder large enough to arrive in several parts, searched while it
    // arrives: every part merges into newest-first order, and the shown rows
    // are what one search over the whole folder gives.
    void partsMergeAndSearchWhileListing()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        const QDateTime first(QDate(2020, 1, 1), QTime(9, 0), Qt::UTC);
        constexpr int kMessages = 1500;
        for (int i = 0; i < kMessages; ++i) {
            // Dates scattered over the storage order; some repeat.
            const int hour = (i * 7919) % 1200;
            const QString subject = i % 100 == 7 ? QStringLiteral("Zebra %1").arg(i) : QStringLiteral("note %1").arg(i);
            archive->addMessage(inbox, test::mail(subject).date(first.addSecs(3600 * hour)));
        }
        auto vm = makeViewModel(memoryActor({{QStringLiteral("parts.pst"), archive}}, {}));
        vm->setSearchText(QStringLiteral("zebra"));
        open(*vm, placeholder(QStringLiteral("parts.pst")));
        QVERIFY(vm->isListingComplete());
        QCOMPARE(vm->rows().size(), kMessages);
        for (qsizetype i = 1; i < vm->rows().size(); ++i)
            QVERIFY(listsBefore(vm->rows().at(i - 1), vm->rows().at(i)));
        const QList<MessageRow> expected = searchRows(vm->rows(), SearchMatcher(QStringLiteral("zebra")), {});
        QCOMPARE(expected.size(), kMessages / 100);
        QCOMPARE(vm->shownRows(), expected);
        QVERIFY(test::waitFor(vm->bodySearch()));
        QCOMPARE(vm->shownRows(), expected);

        // Cleared, every row shows again, in the same order.
        vm->setSearchText(QString());
        QCOMPARE(vm->shownRows(), vm->rows());
    }

    // Parts go ahead while much of the folder is still to read: the first
    // screen always, a larger part only when the rest is several times
    // larger than it. Rows reach the reader 200 at a time here.
    void partsGoAheadWhileTheRestIsFarOff_data()
    {
        QTest::addColumn<int>("messages");
        QTest::addColumn<QList<qsizetype>>("ahead");
        QTest::newRow("one screen") << 150 << QList<qsizetype>{};
        QTest::newRow("1,400") << 1400 << QList<qsizetype>{400};
        QTest::newRow("6,000") << 6000 << QList<qsizetype>{400, 1200};
        QTest::newRow("30,000") << 30000 << QList<qsizetype>{400, 1200, 4200};
    }

    void partsGoAheadWhileTheRestIsFarOff()
    {
        QFETCH(int, messages);
        QFETCH(QList<qsizetype>, ahead);
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        for (int i = 0; i < messages; ++i)
            archive->addMessage(inbox, test::mail(QStringLiteral("note %1").arg(i)));
        auto actor = memoryActor({{QStringLiteral("parts.pst"), archive}}, {});
        auto opened = actor->openFile(placeholder(QStringLiteral("parts.pst")));
        QVERIFY(test::waitFor(opened));
        QVERIFY(opened.result());
        const auto inboxFolder = ostrelViewModel::firstInbox(opened.result().value());
        QVERIFY(inboxFolder);
        QFuture<RowChunk> listing = actor->listFolder(*inboxFolder);
        QVERIFY(test::waitFor(listing));
        QList<qsizetype> sent;
        for (int i = 0; i + 1 < listing.resultCount(); ++i)
            sent.append(listing.resultAt(i).rows->size());
        QCOMPARE(sent, ahead);
        QVERIFY(listing.resultAt(listing.resultCount() - 1).whole);
        QCOMPARE(listing.resultAt(listing.resultCount() - 1).rows->size(), messages);
    }

    // A listing's rows are held once: each part comes sorted, the future
    // that delivered a part lets go of it once its rows are taken, and the
    // rows shown without a search are the rows themselves.
    void aListingHoldsItsRowsOnce()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        const QDateTime first(QDate(2020, 1, 1), QTime(9, 0), Qt::UTC);
        constexpr int kMessages = 1400;
        for (int i = 0; i < kMessages; ++i)
            archive->addMessage(inbox, test::mail(QStringLiteral("note %1").arg(i)).date(first.addSecs(3600 * ((i * 37) % 500))));
        auto actor = memoryActor({{QStringLiteral("once.pst"), archive}}, {});
        auto opened = actor->openFile(placeholder(QStringLiteral("once.pst")));
        QVERIFY(test::waitFor(opened));
        const auto folders = opened.result();
        QVERIFY(folders);
        const auto inboxFolder = ostrelViewModel::firstInbox(folders.value());
        QVERIFY(inboxFolder);
        QFuture<RowChunk> listing = actor->listFolder(*inboxFolder);
        QVERIFY(test::waitFor(listing));
        QVERIFY(listing.resultCount() >= 2);  // more than one part
        // Parts sent ahead hold distinct rows; the last holds every row, and
        // each row sent ahead is in it as it was sent.
        QHash<QUuid, MessageRow> ahead;
        QList<MessageRow> whole;
        for (int i = 0; i < listing.resultCount(); ++i) {
            const QList<MessageRow> part = listing.resultAt(i).takeRows();
            QVERIFY(std::is_sorted(part.cbegin(), part.cend(), listsBefore));
            QCOMPARE(listing.resultAt(i).whole, listing.resultAt(i).last);
            if (listing.resultAt(i).whole) {
                whole = part;
            } else {
                QVERIFY(!part.isEmpty());
                for (const MessageRow &row : part) {
                    QVERIFY(!ahead.contains(row.id));
                    ahead.insert(row.id, row);
                }
            }
            // Taken once: the future's own copy is empty now.
            QVERIFY(listing.resultAt(i).rows->isEmpty());
            QVERIFY(listing.resultAt(i).takeRows().isEmpty());
        }
        QCOMPARE(whole.size(), kMessages);
        QVERIFY(!ahead.isEmpty() && ahead.size() < kMessages);
        qsizetype found = 0;
        for (const MessageRow &row : std::as_const(whole)) {
            if (const auto it = ahead.constFind(row.id); it != ahead.cend()) {
                QCOMPARE(*it, row);
                ++found;
            }
        }
        QCOMPARE(found, ahead.size());

        auto vm = makeViewModel(memoryActor({{QStringLiteral("once.pst"), archive}}, {}));
        open(*vm, placeholder(QStringLiteral("once.pst")));
        QCOMPARE(vm->rows().size(), kMessages);
        for (qsizetype i = 1; i < vm->rows().size(); ++i)
            QVERIFY(listsBefore(vm->rows().at(i - 1), vm->rows().at(i)));
        QCOMPARE(&vm->shownRows(), &vm->rows());
        vm->setSearchText(QStringLiteral("note 13"));
        QVERIFY(&vm->shownRows() != &vm->rows());
        QCOMPARE(vm->shownRows(), searchRows(vm->rows(), SearchMatcher(QStringLiteral("note 13")), {}));
        vm->setSearchText(QString());
        QCOMPARE(&vm->shownRows(), &vm->rows());
    }

    // A folder larger than a slice is searched a slice per turn of the
    // event loop: matches from the top show at once, the rest follow, and
    // the end result is the whole folder's; a new text restarts it.
    void aLargeFolderIsSearchedInSlices()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        const QDateTime first(QDate(2020, 1, 1), QTime(9, 0), Qt::UTC);
        const qsizetype total = 2 * ostrelViewModel::kSearchSlice + 100;
        for (qsizetype i = 0; i < total; ++i) {
            const QString subject = i % 500 == 3 ? QStringLiteral("Zebra %1").arg(i) : QStringLiteral("note %1").arg(i);
            archive->addMessage(inbox, test::mail(subject).date(first.addSecs(60 * i)).text(QStringLiteral("body")));
        }
        auto vm = makeViewModel(memoryActor({{QStringLiteral("large.pst"), archive}}, {}));
        open(*vm, placeholder(QStringLiteral("large.pst")));
        QCOMPARE(vm->rows().size(), total);
        const QList<MessageRow> expected = searchRows(vm->rows(), SearchMatcher(QStringLiteral("zebra")), {});
        QCOMPARE(expected.size(), (total + 496) / 500);

        vm->setSearchText(QStringLiteral("zebr"));
        QVERIFY(vm->isSearchingRows());
        vm->setSearchText(QStringLiteral("zebra"));
        QVERIFY(vm->isSearchingRows());
        // The first slice is in: the top of the list, in order.
        QVERIFY(!vm->shownRows().isEmpty());
        QVERIFY(vm->shownRows().size() < expected.size());
        QCOMPARE(vm->shownRows(), expected.first(vm->shownRows().size()));
        QTRY_VERIFY(!vm->isSearchingRows());
        QCOMPARE(vm->shownRows(), expected);
        QVERIFY(test::waitFor(vm->bodySearch()));
        QCOMPARE(vm->shownRows(), expected);

        vm->setSearchText(QString());
        QVERIFY(!vm->isSearchingRows());
        QCOMPARE(vm->shownRows(), vm->rows());
    }

    // A search finds a message far beyond the first hundred rows by a row
    // field at once, and by a word of its body through the scan.
    void searchCoversTheWholeFolder()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        const QDateTime first(QDate(2024, 3, 1), QTime(9, 0), Qt::UTC);
        for (int i = 0; i < 240; ++i) {
            auto message = test::mail(QStringLiteral("note %1").arg(i)).date(first.addDays(-i)).text(QStringLiteral("nothing here"));
            if (i == 230)
                message = test::mail(QStringLiteral("Quarterly Zebra figures")).date(first.addDays(-i));
            if (i == 231)
                message = test::mail(QStringLiteral("plain")).date(first.addDays(-i)).text(QStringLiteral("the Okapi report is late"));
            archive->addMessage(inbox, message);
        }
        auto vm = makeViewModel(memoryActor({{QStringLiteral("search.pst"), archive}}, {}));
        open(*vm, placeholder(QStringLiteral("search.pst")));
        vm->setSearchText(QStringLiteral("zebra"));
        QCOMPARE(vm->shownRows().size(), 1);  // at once, from the row
        QCOMPARE(vm->shownRows().constFirst().subject, QStringLiteral("Quarterly Zebra figures"));
        QVERIFY(test::waitFor(vm->bodySearch()));
        QCOMPARE(vm->shownRows().size(), 1);

        vm->setSearchText(QStringLiteral("okapi"));
        QVERIFY(test::waitFor(vm->bodySearch()));
        QCOMPARE(vm->shownRows().size(), 1);
        QCOMPARE(vm->shownRows().constFirst().subject, QStringLiteral("plain"));
        // It was found by its body: no field of its row holds the word.
        QVERIFY(!rowMatches(vm->shownRows().constFirst(), SearchMatcher(QStringLiteral("okapi"))));
        QCOMPARE(vm->bodySearchScanned(), 240);

        // A new text cancels the old scan and its matches.
        vm->setSearchText(QStringLiteral("okap"));
        vm->setSearchText(QStringLiteral("figures"));
        QVERIFY(test::waitFor(vm->bodySearch()));
        QCOMPARE(vm->shownRows().size(), 1);
        QCOMPARE(vm->shownRows().constFirst().subject, QStringLiteral("Quarterly Zebra figures"));
    }

    // Fast moves read only where the selection stops; a stale read never
    // shows.
    void theNewestSelectionWins()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        addMessages(*archive, inbox, 30, QStringLiteral("item "));
        auto log = std::make_shared<test::MemoryEngineLog>();
        auto vm = makeViewModel(memoryActor({{QStringLiteral("keys.pst"), archive}}, log));
        open(*vm, placeholder(QStringLiteral("keys.pst")));
        // Hold the reader so the moves pile up behind one read.
        QMutex gate;
        gate.lock();
        log->onCall = [&gate](const QString &call) {
            if (call.endsWith(QLatin1String(".readMessage"))) {
                gate.lock();
                gate.unlock();
            }
        };
        for (int i = 0; i < 12; ++i)
            vm->moveSelection(+1);
        QVERIFY(vm->isReadingMessage());
        QCOMPARE(vm->selectedMessage(), std::nullopt);
        gate.unlock();
        QVERIFY(test::waitFor(vm->messageRead()));
        QVERIFY(vm->selectedMessage());
        QCOMPARE(vm->selectedMessage()->id, vm->shownRows().at(11).id);
        QCOMPARE(vm->selectedMessage()->subject, vm->shownRows().at(11).subject);
        QVERIFY(!vm->isReadingMessage());
        // The reads that were still queued when a newer move came were skipped.
        QVERIFY(log->callsSoFar().filter(QStringLiteral(".readMessage")).size() < 12);
        log->onCall = nullptr;
    }

    // A large folder's rows, let go for another folder, are freed on the
    // reader's thread in turn with its work, so the next listing can reuse
    // their memory; never on the main thread.
    void droppedRowsAreFreedByTheReaderInTurn()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        addMessages(*archive, inbox, 9000, QStringLiteral("bulk "));
        const quint32 other = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Other"));
        addMessages(*archive, other, 2, QStringLiteral("other "));
        auto log = std::make_shared<test::MemoryEngineLog>();
        auto vm = makeViewModel(memoryActor({{QStringLiteral("bulk.pst"), archive}}, log));
        open(*vm, placeholder(QStringLiteral("bulk.pst")));
        QCOMPARE(vm->rows().size(), 9000);
        const QString held = vm->rows().constFirst().subject;  // shares the row's text
        QVERIFY(!held.isDetached());
        // Hold the reader in a message read, then choose the other folder.
        // The gate opens however the test ends, so the reader never hangs.
        QSemaphore gate;
        const auto opens = qScopeGuard([&] {
            gate.release(1000);
            log->onCall = nullptr;
        });
        log->onCall = [&gate](const QString &call) {
            if (call.endsWith(QLatin1String(".readMessage"))) {
                gate.acquire();
                gate.release();
            }
        };
        vm->moveSelection(+1);
        QTRY_VERIFY(log->callsSoFar().filter(QStringLiteral(".readMessage")).size() == 1);
        const MailFolder *target = findFolder(vm->folders(), QStringLiteral("Other"));
        QVERIFY(target);
        QFuture<void> selected = vm->selectFolder(*target);
        QVERIFY(vm->rows().isEmpty());
        QVERIFY(!held.isDetached());  // not freed here: the rows wait for the reader
        gate.release();
        QVERIFY(test::waitFor(selected));
        QCOMPARE(vm->rows().size(), 2);
        QVERIFY(held.isDetached());  // freed before the listing that followed
    }

    void selectingAnEmptyFolderAsksNothing()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        addMessages(*archive, inbox, 3, QStringLiteral("hello "));
        archive->addFolder(test::MemoryArchive::top, QStringLiteral("Junk E-mail"));
        auto log = std::make_shared<test::MemoryEngineLog>();
        auto vm = makeViewModel(memoryActor({{QStringLiteral("small.pst"), archive}}, log));
        open(*vm, placeholder(QStringLiteral("small.pst")));
        QCOMPARE(vm->rows().size(), 3);
        const qsizetype before = listings(*log);
        QCOMPARE(before, 1);
        const MailFolder *junk = findFolder(vm->folders(), QStringLiteral("Junk E-mail"));
        QVERIFY(junk);
        QCOMPARE(junk->folderType, FolderType::spam);
        ChangeLog log2(*vm);
        QVERIFY(test::waitFor(vm->selectFolder(*junk)));
        QCOMPARE(log2.names, QStringList({"selectedFolder", "rows"}));
        QCOMPARE(listings(*log), before);
        QVERIFY(vm->rows().isEmpty());
    }

    void selectingAMessageReadsItAlone()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        addMessages(*archive, inbox, 3, QStringLiteral("hello "));
        auto log = std::make_shared<test::MemoryEngineLog>();
        auto vm = makeViewModel(memoryActor({{QStringLiteral("small.pst"), archive}}, log));
        open(*vm, placeholder(QStringLiteral("small.pst")));
        const QStringList before = log->callsSoFar();
        ChangeLog changes(*vm);
        vm->selectMessage(vm->rows().at(1).id);
        QVERIFY(test::waitFor(vm->messageRead()));
        QCOMPARE(changes.names, QStringList({"selectedMessage"}));
        QCOMPARE(vm->selectedMessage()->id, vm->rows().at(1).id);
        QCOMPARE(vm->selectedMessage()->subject, vm->rows().at(1).subject);
        QCOMPARE(log->callsSoFar().mid(before.size()), QStringList{QStringLiteral("libpff.readMessage")});
    }

    // Damage below the top of the tree reaches the view model as the
    // folders say it, not as an empty tree or a failed open.
    void damagedFoldersStillOpen()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"), 2);
        addMessages(*archive, inbox, 2, QStringLiteral("hi "));
        const quint32 projects = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Projects"));
        archive->setSubFoldersUnreadable(projects, QStringLiteral("nbt: bad page signature at 0x4400"));
        auto log = std::make_shared<test::MemoryEngineLog>();
        auto vm = makeViewModel(memoryActor({{QStringLiteral("damaged.pst"), archive}}, log));
        open(*vm, placeholder(QStringLiteral("damaged.pst")));
        QCOMPARE(vm->errorMessage(), std::nullopt);
        QCOMPARE(vm->folders().size(), 2);
        QCOMPARE(vm->folders().at(1).subFoldersFailure,
                 std::optional<QString>(QStringLiteral("nbt: bad page signature at 0x4400")));
        QCOMPARE(vm->folders().at(0).unreadCount, 2);
        QCOMPARE(vm->rows().size(), 2);
    }

    void overlappingSelectionsEachPublish()
    {
        OSTREL_REQUIRE_CORPUS();
        auto vm = makeViewModel();
        open(*vm, corpusUrl("processpst_flags_john_doe.pst"));
        const MailFolder sent = *findFolder(vm->folders(), QStringLiteral("Sent Items"));
        const MailFolder deleted = *findFolder(vm->folders(), QStringLiteral("Deleted Items"));
        QSignalSpy messages(vm.get(), &ostrelViewModel::rowsChanged);
        QSignalSpy loading(vm.get(), &ostrelViewModel::isLoadingChanged);
        auto first = vm->selectFolder(sent);
        auto second = vm->selectFolder(deleted);
        QVERIFY(test::waitFor(second));
        QVERIFY(first.isFinished());
        // The earlier listing was cancelled; the later selection's rows stay.
        QCOMPARE(vm->selectedFolder()->id, deleted.id);
        QCOMPARE(vm->rows().size(), 2);
        QVERIFY(messages.count() >= 3);
        QVERIFY(!vm->isLoading());
        QVERIFY(loading.count() >= 2 && loading.count() % 2 == 0);  // each change comes back to not loading
    }

    void moveSelectionWalksTheShownList()
    {
        OSTREL_REQUIRE_CORPUS();
        auto vm = makeViewModel();
        open(*vm, corpusUrl("processpst_flags_john_doe.pst"));
        const MailFolder sent = *findFolder(vm->folders(), QStringLiteral("Sent Items"));
        QVERIFY(test::waitFor(vm->selectFolder(sent)));
        const QList<MessageRow> list = vm->shownRows();
        QCOMPARE(list.size(), 5);
        for (qsizetype i = 1; i < list.size(); ++i)
            QVERIFY(list[i - 1].date >= list[i].date);

        vm->moveSelection(+1);
        QCOMPARE(vm->selectedRowId(), list[0].id);
        vm->moveSelection(-1);
        QCOMPARE(vm->selectedRowId(), list[0].id);  // at the top, up does nothing
        for (int i = 0; i < 10; ++i)
            vm->moveSelection(+1);
        QCOMPARE(vm->selectedRowId(), list[4].id);  // stops at the end
        vm->moveSelection(-1);
        QCOMPARE(vm->selectedRowId(), list[3].id);
        QVERIFY(test::waitFor(vm->messageRead()));
        QCOMPARE(vm->selectedMessage()->id, list[3].id);

        // A search that hides the selection keeps it; the next move, either
        // way, starts at the top of what is shown.
        QCOMPARE(list[3].subject, QStringLiteral("Needs response"));
        vm->setSearchText(QStringLiteral("IMPORTANT"));
        QCOMPARE(vm->shownRows().size(), 1);
        QCOMPARE(vm->selectedRowId(), list[3].id);
        vm->moveSelection(-1);
        QVERIFY(test::waitFor(vm->messageRead()));
        QCOMPARE(vm->selectedMessage()->subject, QStringLiteral("This email is important!"));

        vm->setSearchText(QStringLiteral("no message says this"));
        QVERIFY(test::waitFor(vm->bodySearch()));
        const auto before = vm->selectedRowId();
        vm->moveSelection(+1);
        QCOMPARE(vm->selectedRowId(), before);
    }

    void recentFiles()
    {
        OSTREL_REQUIRE_CORPUS();
        const QStringList files{"pstsdk_sample1.pst", "pstsdk_sample2.pst", "pstsdk_test_ansi.pst",
                                "pstsdk_test_unicode.pst", "tika_testPST.pst", "gopst_32bit.pst"};
        auto vm = makeViewModel();
        for (const QString &file : files)
            open(*vm, corpusUrl(file));
        QList<QUrl> expected;
        for (qsizetype i = files.size() - 1; i >= 1; --i)
            expected << corpusUrl(files[i]);
        QCOMPARE(vm->recentFiles(), expected);
        QStringList storedPaths;
        for (const QUrl &url : expected)
            storedPaths << url.toLocalFile();
        QCOMPARE(m_settings->value(ostrelViewModel::kRecentFilesKey).toStringList(), storedPaths);

        // Reopening one moves it to the front without a duplicate.
        open(*vm, corpusUrl(files[3]));
        QCOMPARE(vm->recentFiles().size(), 5);
        QCOMPARE(vm->recentFiles().constFirst(), corpusUrl(files[3]));
        QCOMPARE(vm->recentFiles().count(corpusUrl(files[3])), 1);

        // A failed open is not added.
        open(*vm, corpusUrl("pstreader_truncated_in_header.pst"));
        QVERIFY(!vm->recentFiles().contains(corpusUrl("pstreader_truncated_in_header.pst")));

        // A second window starts from the store.
        auto other = makeViewModel();
        QCOMPARE(other->recentFiles(), vm->recentFiles());

        vm->clearRecentFiles();
        QVERIFY(vm->recentFiles().isEmpty());
        QVERIFY(!m_settings->contains(ostrelViewModel::kRecentFilesKey));
        QVERIFY(makeViewModel()->recentFiles().isEmpty());
    }

    void recentFilesKeepBothKinds()
    {
        OSTREL_REQUIRE_CORPUS();
        // An OST file, and PST content under an OST name in capitals.
        const QUrl ost = corpusUrl("aspose_SampleOstFile.ost");
        const QString capitals = m_dir->filePath(QStringLiteral("MAILBOX.OST"));
        QVERIFY(QFile::copy(test::corpusFile("pstsdk_sample1.pst"), capitals));
        const QUrl pst = corpusUrl("pstsdk_sample2.pst");
        {
            auto vm = makeViewModel();
            open(*vm, ost);
            open(*vm, QUrl::fromLocalFile(capitals));
            open(*vm, pst);
            QCOMPARE(vm->errorMessage(), std::nullopt);
        }
        const QList<QUrl> expected{pst, QUrl::fromLocalFile(capitals), ost};
        QCOMPARE(makeViewModel()->recentFiles(), expected);
    }

    void aDeletedFileIsHiddenButStaysStored()
    {
        OSTREL_REQUIRE_CORPUS();
        const QString copy = m_dir->filePath(QStringLiteral("copy.pst"));
        QVERIFY(QFile::copy(test::corpusFile("pstsdk_sample1.pst"), copy));
        {
            auto vm = makeViewModel();
            open(*vm, QUrl::fromLocalFile(copy));
            open(*vm, corpusUrl("pstsdk_sample2.pst"));
            QCOMPARE(vm->recentFiles().size(), 2);
        }
        QVERIFY(QFile::remove(copy));
        auto vm = makeViewModel();
        QCOMPARE(vm->recentFiles(), QList<QUrl>{corpusUrl("pstsdk_sample2.pst")});
        QCOMPARE(m_settings->value(ostrelViewModel::kRecentFilesKey).toStringList().size(), 2);
        open(*vm, corpusUrl("tika_testPST.pst"));
        QCOMPARE(m_settings->value(ostrelViewModel::kRecentFilesKey).toStringList().size(), 2);
    }

    void malformedStoredValues_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("a number") << QVariant(42);
        QTest::newRow("a map") << QVariant(QVariantMap{{"a", "b"}});
        QTest::newRow("a list with a number") << QVariant(QVariantList{QString("/tmp"), 7});
    }
    void malformedStoredValues()
    {
        QFETCH(QVariant, stored);
        m_settings->setValue(ostrelViewModel::kRecentFilesKey, stored);
        m_settings->sync();
        QVERIFY(makeViewModel()->recentFiles().isEmpty());
    }

    void aSingleStoredPathSurvivesRestart()
    {
        // The INI store writes a one-element list as a single text.
        m_settings->setValue(ostrelViewModel::kRecentFilesKey, QStringList{m_dir->path()});
        m_settings->sync();
        QSettings reread(m_settings->fileName(), QSettings::IniFormat);
        auto vm = std::make_unique<ostrelViewModel>(m_platform, &reread);
        QCOMPARE(vm->recentFiles(), QList<QUrl>{QUrl::fromLocalFile(m_dir->path())});
    }

    void openRecentFileReturnsAtOnce()
    {
        OSTREL_REQUIRE_CORPUS();
        auto vm = makeViewModel();
        QSignalSpy names(vm.get(), &ostrelViewModel::currentFileNameChanged);
        vm->openRecentFile(corpusUrl("pstsdk_sample1.pst"));
        QVERIFY(vm->isLoading());  // started, not finished
        QVERIFY(names.wait(20000));
        QTRY_VERIFY(!vm->isLoading());
        QCOMPARE(vm->currentFileName(), std::optional<QString>("pstsdk_sample1.pst"));

        vm->openRecentFile(QUrl::fromLocalFile(m_dir->filePath("vanished.pst")));
        QTRY_VERIFY(vm->errorMessage().has_value());
        QCOMPARE(*vm->errorMessage(), QStringLiteral("PST file not found."));
        QCOMPARE(vm->recentFiles().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestViewModel)
#include "tst_viewmodel.moc"
