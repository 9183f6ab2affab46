// A real view model over a real reader, with an injected open panel and an
// isolated settings store; over real archives, and over archives held in
// memory where the case needs no real file.
#include "FakePlatform.h"
#include "MemoryEngine.h"
#include "TestSupport.h"
#include "viewmodel/ostrelViewModel.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
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
        QObject::connect(&vm, &ostrelViewModel::messagesChanged, &m_context, log("messages"));
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

qsizetype pageReads(const test::MemoryEngineLog &log)
{
    return log.callsSoFar().filter(QStringLiteral(".readMessages")).size();
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
        QCOMPARE(vm->pageSize(), 100);
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
        QCOMPARE(log.names, QStringList({"isLoading", "folders", "currentFileName", "recentFiles", "selectedFolder",
                                         "messages", "isLoading"}));
        QCOMPARE(loading.count(), 2);
        QVERIFY(!vm->isLoading());
        QVERIFY(vm->selectedFolder());
        QCOMPARE(vm->selectedFolder()->name, QStringLiteral("Inbox"));
        QCOMPARE(vm->selectedFolder()->folderType, FolderType::inbox);
        QCOMPARE(vm->messages().size(), 3);
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
        QCOMPARE(pageReads(*log), 0);
        QVERIFY(vm->messages().isEmpty());
        QVERIFY(!vm->isLoading());
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
        vm->selectMessage(vm->messages().constFirst());

        ChangeLog log(*vm);
        open(*vm, corpusUrl("pstreader_truncated_in_header.pst"));
        QCOMPARE(log.names, QStringList({"isLoading", "selectedFolder", "selectedMessage", "messages", "errorMessage",
                                         "isLoading"}));
        QCOMPARE(vm->folders(), firstTree);
        QCOMPARE(vm->currentFileName(), std::optional<QString>("processpst_flags_john_doe.pst"));
        QCOMPARE(vm->selectedFolder(), std::nullopt);
        QCOMPARE(vm->selectedMessage(), std::nullopt);
        QVERIFY(vm->messages().isEmpty());
        QVERIFY(vm->errorMessage());
        QVERIFY(vm->errorMessage()->startsWith(QLatin1String("Read error: file_open: ")));
        QCOMPARE(vm->recentFiles().size(), 1);

        // Its folders belong to no open archive any more.
        const MailFolder *inbox = findFolder(vm->folders(), QStringLiteral("Inbox"));
        QVERIFY(inbox);
        vm->clearError();
        QVERIFY(test::waitFor(vm->selectFolder(*inbox)));
        QCOMPARE(vm->errorMessage(), std::optional<QString>("Read error: Ordner nicht gefunden"));
        QVERIFY(vm->messages().isEmpty());
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

    void aPageHoldsAtMostOneHundred()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        addMessages(*archive, inbox, 170, QStringLiteral("note "));
        auto log = std::make_shared<test::MemoryEngineLog>();
        auto vm = makeViewModel(memoryActor({{QStringLiteral("big.pst"), archive}}, log));
        open(*vm, placeholder(QStringLiteral("big.pst")));
        QCOMPARE(vm->selectedFolder()->name, QStringLiteral("Inbox"));
        QCOMPARE(vm->selectedFolder()->messageCount, qint64(170));
        QCOMPARE(vm->messages().size(), 100);
        QCOMPARE(pageReads(*log), 1);
        // The first hundred in the folder's order, whatever their dates.
        QCOMPARE(vm->messages().constFirst().subject, QStringLiteral("note 0"));
        QCOMPARE(vm->messages().constLast().subject, QStringLiteral("note 99"));
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
        QCOMPARE(vm->messages().size(), 3);
        const qsizetype before = pageReads(*log);
        QCOMPARE(before, 1);
        const MailFolder *junk = findFolder(vm->folders(), QStringLiteral("Junk E-mail"));
        QVERIFY(junk);
        QCOMPARE(junk->folderType, FolderType::spam);
        ChangeLog log2(*vm);
        QVERIFY(test::waitFor(vm->selectFolder(*junk)));
        QCOMPARE(log2.names, QStringList({"selectedFolder", "messages"}));
        QCOMPARE(pageReads(*log), before);
        QVERIFY(vm->messages().isEmpty());
    }

    void selectingAMessageTouchesNothingElse()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        addMessages(*archive, inbox, 3, QStringLiteral("hello "));
        auto log = std::make_shared<test::MemoryEngineLog>();
        auto vm = makeViewModel(memoryActor({{QStringLiteral("small.pst"), archive}}, log));
        open(*vm, placeholder(QStringLiteral("small.pst")));
        const QStringList before = log->callsSoFar();
        ChangeLog changes(*vm);
        vm->selectMessage(vm->messages().at(1));
        QCOMPARE(changes.names, QStringList({"selectedMessage"}));
        QCOMPARE(vm->selectedMessage()->id, vm->messages().at(1).id);
        QCOMPARE(log->callsSoFar(), before);
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
        QCOMPARE(vm->messages().size(), 2);
    }

    void overlappingSelectionsEachPublish()
    {
        OSTREL_REQUIRE_CORPUS();
        auto vm = makeViewModel();
        open(*vm, corpusUrl("processpst_flags_john_doe.pst"));
        const MailFolder sent = *findFolder(vm->folders(), QStringLiteral("Sent Items"));
        const MailFolder deleted = *findFolder(vm->folders(), QStringLiteral("Deleted Items"));
        QSignalSpy messages(vm.get(), &ostrelViewModel::messagesChanged);
        QSignalSpy loading(vm.get(), &ostrelViewModel::isLoadingChanged);
        auto first = vm->selectFolder(sent);
        auto second = vm->selectFolder(deleted);
        QVERIFY(test::waitFor(second));
        QVERIFY(first.isFinished());
        // Both pages were published, each when its own request returned;
        // the later selection's page is what stays.
        QCOMPARE(vm->selectedFolder()->id, deleted.id);
        QCOMPARE(vm->messages().size(), 2);
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
        const QList<MailMessage> list = vm->messagesInListOrder();
        QCOMPARE(list.size(), 5);
        for (qsizetype i = 1; i < list.size(); ++i)
            QVERIFY(list[i - 1].date >= list[i].date);

        vm->moveSelection(+1);
        QCOMPARE(vm->selectedMessage()->id, list[0].id);
        vm->moveSelection(-1);
        QCOMPARE(vm->selectedMessage()->id, list[0].id);  // at the top, up does nothing
        for (int i = 0; i < 10; ++i)
            vm->moveSelection(+1);
        QCOMPARE(vm->selectedMessage()->id, list[4].id);  // stops at the end
        vm->moveSelection(-1);
        QCOMPARE(vm->selectedMessage()->id, list[3].id);

        // A search that hides the selection keeps it; the next move, either
        // way, starts at the top of what is shown.
        const MailMessage hidden = list[3];
        QCOMPARE(hidden.subject, QStringLiteral("Needs response"));
        vm->setSearchText(QStringLiteral("IMPORTANT"));
        QCOMPARE(vm->filteredMessages().size(), 1);
        QCOMPARE(vm->selectedMessage()->id, hidden.id);
        vm->moveSelection(-1);
        QCOMPARE(vm->selectedMessage()->subject, QStringLiteral("This email is important!"));

        vm->setSearchText(QStringLiteral("no message says this"));
        const auto before = vm->selectedMessage();
        vm->moveSelection(+1);
        QCOMPARE(vm->selectedMessage(), before);
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
