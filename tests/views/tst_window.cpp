// The main window over real archives, with injected panels and alerts.
#include "FakePlatform.h"
#include "MemoryEngine.h"
#include "StoredValue.h"
#include "TestSupport.h"
#include "viewmodel/ostrelViewModel.h"
#include "views/AttachmentView.h"
#include "views/ContentView.h"
#include "views/EmptyState.h"
#include "views/FolderRow.h"
#include "views/FolderTreeModel.h"
#include "views/Formatting.h"
#include "views/MessageDetailView.h"
#include "viewmodel/SearchMatcher.h"
#include "views/MessageListModel.h"
#include "views/MessageListView.h"
#include "views/MessageRowView.h"
#include "views/SidebarView.h"
#include "views/WebView.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHBoxLayout>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QProcess>
#include <QScrollBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

using namespace ostrel;

namespace {
QUrl corpusUrl(const QString &name)
{
    return QUrl::fromLocalFile(test::corpusFile(name));
}

QModelIndex findIndex(const QAbstractItemModel &model, const QStringList &path)
{
    QModelIndex parent;
    for (const QString &name : path) {
        QModelIndex found;
        for (int row = 0; row < model.rowCount(parent); ++row) {
            const QModelIndex candidate = model.index(row, 0, parent);
            if (candidate.data().toString() == name) {
                found = candidate;
                break;
            }
        }
        if (!found.isValid())
            return {};
        parent = found;
    }
    return parent;
}

void dropUrls(QWidget *target, const QList<QUrl> &urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
}

const MessageRow *rowWithSubject(const QList<MessageRow> &rows, const QString &subject)
{
    for (const MessageRow &row : rows) {
        if (row.subject == subject)
            return &row;
    }
    return nullptr;
}
}  // namespace

class TestWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<test::FakePlatform> m_platform;
    std::unique_ptr<ContentView> m_view;

    ostrelViewModel &vm() { return m_view->viewModel(); }
    void open(const QString &file) { QVERIFY(test::waitFor(vm().openPSTFile(corpusUrl(file)))); }
    void selectFolder(const QStringList &path)
    {
        const MailFolder *folder = m_view->sidebar()->model()->folder(findIndex(*m_view->sidebar()->model(), path));
        QVERIFY2(folder, qPrintable(path.join('/')));
        QVERIFY(test::waitFor(vm().selectFolder(*folder)));
    }
    // Selects a row and waits for its record.
    void read(const QUuid &rowId)
    {
        vm().selectMessage(rowId);
        QVERIFY(test::waitFor(vm().messageRead()));
        QVERIFY(vm().selectedMessage());
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<QSettings>(m_dir->filePath("settings.ini"), QSettings::IniFormat);
        m_platform = std::make_unique<test::FakePlatform>();
        m_view = std::make_unique<ContentView>(*m_platform, m_settings.get());
        m_view->resize(1200, 750);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }
    void cleanup() { m_view.reset(); }

    // The list and the detail over an archive held in memory: the whole
    // folder newest first, unread dots from the flags, typed recipients and
    // SMTP addresses in the detail, no sideways scrolling.
    void listAndDetailOverAMemoryArchive()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        const QDateTime first(QDate(2024, 3, 1), QTime(9, 0), Qt::UTC);
        const QString x500 = QStringLiteral("/O=HOME ORGANIZATION/OU=EXCHANGE ADMINISTRATIVE GROUP/CN=RECIPIENTS/CN=ANN");
        for (int i = 0; i < 250; ++i) {
            auto message = test::mail(QStringLiteral("note %1").arg(i)).date(first.addDays(i)).flags(i % 3 ? 0x01 : 0x00);
            if (i == 40) {
                // The newest message, far down the folder's own order.
                message = test::mail(QStringLiteral("Typed recipients"))
                              .date(first.addDays(900))
                              .flags(0x00)
                              .set(0x0C1A, test::stored::text(QStringLiteral("Ann Exchange")))
                              .set(0x0C1E, test::stored::text(QStringLiteral("EX")))
                              .set(0x0C1F, test::stored::text(x500))
                              .set(0x5D01, test::stored::text(QStringLiteral("ann@example.org")))
                              .recipient(QStringLiteral("Bob"), QStringLiteral("bob@example.org"), 1)
                              .recipient(QStringLiteral("Cy"), x500, 2, QStringLiteral("cy@example.org"))
                              .recipient(QStringLiteral("Di"), {}, 3);
            }
            archive->addMessage(inbox, message);
        }
        test::FakePlatform platform;
        QSettings settings(m_dir->filePath("memory.ini"), QSettings::IniFormat);
        const QString path = m_dir->filePath("memory.pst");
        QVERIFY(test::touch(path));
        ostrelViewModel model(platform, &settings,
                              std::make_unique<PSTActor>(EngineChoice::automatic,
                                                         test::memoryEngines({{QStringLiteral("memory.pst"), archive}})));
        QWidget window;
        auto *layout = new QHBoxLayout(&window);
        auto *list = new MessageListView(model);
        auto *detail = new MessageDetailView(model, platform);
        layout->addWidget(list);
        layout->addWidget(detail, 1);
        window.resize(1200, 750);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QAbstractItemModelTester tester(list->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);

        QVERIFY(test::waitFor(model.openPSTFile(QUrl::fromLocalFile(path))));
        QCOMPARE(list->model()->rowCount(), 250);
        QCOMPARE(list->subtitle()->text(), QStringLiteral("250 messages"));
        QVERIFY(list->note()->isHidden());
        const MessageRow *newest = list->model()->row(list->model()->index(0));
        QVERIFY(newest);
        QCOMPARE(newest->subject, QStringLiteral("Typed recipients"));
        QCOMPARE(newest->senderEmail, QStringLiteral("ann@example.org"));
        for (int row = 1; row < 250; ++row) {
            const MessageRow *shown = list->model()->row(list->model()->index(row));
            const int number = shown->subject.mid(5).toInt();
            QCOMPARE(shown->isRead, number % 3 != 0);
        }
        QVERIFY(!list->list()->horizontalScrollBar()->isVisible());

        // Previews are read for the rows on screen only, and the unread dot
        // is painted where the flags say.
        QTRY_VERIFY(model.preview(newest->id).has_value());
        QCOMPARE(model.preview(list->model()->rows().constLast().id), std::nullopt);
        QVERIFY(!list->model()->rows().at(0).isRead);  // note 249 below it is unread too
        QVERIFY(list->model()->rows().at(2).isRead);  // note 248
        const QImage picture = list->list()->viewport()->grab().toImage();
        const auto dotColour = [&](int row) {
            return picture.pixelColor(
                MessageRowView::unreadDotRect(list->list()->visualRect(list->model()->index(row))).center());
        };
        QCOMPARE(dotColour(0), dotColour(1));
        QVERIFY(dotColour(0) != dotColour(2));

        model.selectMessage(newest->id);
        QVERIFY(test::waitFor(model.messageRead()));
        QTRY_VERIFY(!detail->showsWaiting());
        QCOMPARE(detail->subject()->text(), QStringLiteral("Typed recipients"));
        QCOMPARE(detail->headerValue("From"), std::optional<QString>("Ann Exchange <ann@example.org>"));
        QCOMPARE(detail->headerValue("To"), std::optional<QString>("Bob <bob@example.org>"));
        QCOMPARE(detail->headerValue("Cc"), std::optional<QString>("Cy <cy@example.org>"));
        QCOMPARE(detail->headerValue("Bcc"), std::optional<QString>("Di"));

        // A message with no recipients of a kind has no row for it.
        const MessageRow second = list->model()->rows().at(1);
        model.selectMessage(second.id);
        QVERIFY(test::waitFor(model.messageRead()));
        QTRY_COMPARE(detail->subject()->text(), second.subject);
        QCOMPARE(detail->headerValue("Cc"), std::nullopt);
        QCOMPARE(detail->headerValue("Bcc"), std::nullopt);
    }

    // A folder that arrives in several parts, with a search typed before it
    // and cleared after: the window's list reads the view model's own list
    // (never a copy of it), its signals stay sound for the model tester, and
    // every row it shows is the view model's row at that place.
    void theListReadsTheViewModelsRowsWhileTheyArrive()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        const QDateTime first(QDate(2021, 5, 1), QTime(8, 0), Qt::UTC);
        constexpr int kMessages = 1400;
        for (int i = 0; i < kMessages; ++i) {
            const QString subject = i % 50 == 9 ? QStringLiteral("Otter %1").arg(i) : QStringLiteral("note %1").arg(i);
            archive->addMessage(inbox, test::mail(subject).date(first.addSecs(3600 * ((i * 53) % 700))));
        }
        test::FakePlatform platform;
        QSettings settings(m_dir->filePath("parts.ini"), QSettings::IniFormat);
        const QString path = m_dir->filePath("parts.pst");
        QVERIFY(test::touch(path));
        ostrelViewModel model(platform, &settings,
                              std::make_unique<PSTActor>(EngineChoice::automatic,
                                                         test::memoryEngines({{QStringLiteral("parts.pst"), archive}})));
        MessageListView list(model);
        list.resize(500, 700);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QAbstractItemModelTester tester(list.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        // Each time the list changes (after the window has heard of it), the
        // window shows exactly the view model's rows.
        int checks = 0;
        connect(&model, &ostrelViewModel::rowsChanged, &list, [&] {
            ++checks;
            QCOMPARE(&list.model()->rows(), &model.shownRows());
            QCOMPARE(list.model()->rowCount(), int(model.shownRows().size()));
        });
        const auto sameRows = [&] {
            if (list.model()->rowCount() != model.shownRows().size())
                return false;
            for (int row = 0; row < list.model()->rowCount(); ++row) {
                const QModelIndex index = list.model()->index(row);
                if (index.data(MessageListModel::IdRole).toUuid() != model.shownRows().at(row).id
                    || index.data().toString() != model.shownRows().at(row).subject)
                    return false;
            }
            return true;
        };

        model.setSearchText(QStringLiteral("otter"));
        QVERIFY(test::waitFor(model.openPSTFile(QUrl::fromLocalFile(path))));
        QTRY_VERIFY(!model.isSearchingBodies());
        QCOMPARE(model.shownRows().size(), kMessages / 50);
        QVERIFY(sameRows());
        QCOMPARE(&list.model()->rows(), &model.shownRows());

        model.setSearchText(QString());
        QCOMPARE(list.model()->rowCount(), kMessages);
        QCOMPARE(&list.model()->rows(), &model.rows());
        QVERIFY(sameRows());
        QVERIFY(checks > 3);  // the parts, the search, the clearing
        // Out of range asks give nothing, not another row.
        QCOMPARE(list.model()->row(list.model()->index(kMessages)), nullptr);
        QCOMPARE(list.model()->data(list.model()->index(kMessages)), QVariant());
    }

    // A view model that goes before its list (as a window's member goes
    // before the window's children) leaves the list empty, not reading rows
    // that are gone.
    void theListLetsGoOfAViewModelThatGoesFirst()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        for (int i = 0; i < 30; ++i)
            archive->addMessage(inbox, test::mail(QStringLiteral("note %1").arg(i)));
        test::FakePlatform platform;
        QSettings settings(m_dir->filePath("gone.ini"), QSettings::IniFormat);
        const QString path = m_dir->filePath("gone.pst");
        QVERIFY(test::touch(path));
        auto model = std::make_unique<ostrelViewModel>(
            platform, &settings,
            std::make_unique<PSTActor>(EngineChoice::automatic, test::memoryEngines({{QStringLiteral("gone.pst"), archive}})));
        MessageListView list(*model);
        QAbstractItemModelTester tester(list.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(test::waitFor(model->openPSTFile(QUrl::fromLocalFile(path))));
        QCOMPARE(list.model()->rowCount(), 30);
        model.reset();
        QCOMPARE(list.model()->rowCount(), 0);
        QCOMPARE(list.model()->rows().size(), 0);
        QCOMPARE(list.model()->data(list.model()->index(0)), QVariant());
    }

    void emptyStates()
    {
        QVERIFY(m_view->sidebar()->showsEmptyState());
        QVERIFY(m_view->fileNameLabel()->text().isEmpty());
        QCOMPARE(m_view->messageList()->emptyState()->text(), QStringLiteral("Select a folder"));
        QCOMPARE(m_view->messageList()->emptyState()->symbol(), QStringLiteral("sidebar.left"));
        QCOMPARE(m_view->messageList()->title()->text(), QStringLiteral("Inbox"));
        QVERIFY(m_view->messageList()->subtitle()->isHidden());
        QVERIFY(m_view->detail()->showsPlaceholder());
        QCOMPARE(m_view->openButton()->toolTip(), QStringLiteral("Open PST file (Ctrl+O)"));

        QTest::mouseClick(m_view->sidebar()->openButton(), Qt::LeftButton);
        QCOMPARE(m_platform->openRequests.size(), 1);
        QTest::mouseClick(m_view->openButton(), Qt::LeftButton);
        QCOMPARE(m_platform->openRequests.size(), 2);
        QVERIFY(m_view->sidebar()->showsEmptyState());  // both cancelled
    }

    void openedArchive()
    {
        OSTREL_REQUIRE_CORPUS();
        open("processpst_flags_john_doe.pst");
        QVERIFY(!m_view->sidebar()->showsEmptyState());
        QCOMPARE(m_view->fileNameLabel()->text(), QStringLiteral("processpst_flags_john_doe.pst"));
        QCOMPARE(m_view->sidebar()->header()->text(), QStringLiteral("processpst_flags_john_doe.pst"));
        QCOMPARE(m_view->messageList()->title()->text(), QStringLiteral("Inbox"));
        QCOMPARE(m_view->messageList()->subtitle()->text(), QStringLiteral("3 messages"));
        QVERIFY(m_view->messageList()->showsList());
        QCOMPARE(m_view->messageList()->list()->model()->rowCount(), 3);
        const QModelIndex current = m_view->sidebar()->tree()->currentIndex();
        QCOMPARE(current.data().toString(), QStringLiteral("Inbox"));

        QAbstractItemModelTester folders(m_view->sidebar()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester messages(m_view->messageList()->model(),
                                          QAbstractItemModelTester::FailureReportingMode::QtTest);
        open("aspose_SampleOstFile.ost");  // resets both under the testers' eyes
        QVERIFY(!QTest::currentTestFailed());
    }

    void badges()
    {
        const QRect row(0, 0, 220, 28);
        QVERIFY(FolderRow::badgeRect(row, 0).isEmpty());
        QVERIFY(!FolderRow::badgeRect(row, 1).isEmpty());
        QCOMPARE(FolderRow::badgeText(1234), QStringLiteral("1234"));
        QVERIFY(FolderRow::badgeRect(row, 1234).width() > FolderRow::badgeRect(row, 1).width());
        QVERIFY(FolderRow::badgeRect(row, 5).right() <= row.right());
    }

    void clickingANestedFolderSelectsItById()
    {
        OSTREL_REQUIRE_CORPUS();
        open("aspose_SampleOstFile.ost");
        QTreeView *tree = m_view->sidebar()->tree();
        FolderTreeModel *model = m_view->sidebar()->model();
        // The mailbox comes first; the store's own folders wait in one
        // collapsed group at the end, and the mailbox's own root (an empty
        // IPM_SUBTREE) is no row of its own.
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("Deleted Items"));
        const QModelIndex group = model->groupIndex();
        QCOMPARE(group.row(), model->rowCount() - 1);
        QVERIFY(!tree->isExpanded(group));
        QVERIFY(!findIndex(*model, {"Other folders", "Root - Mailbox", "IPM_SUBTREE"}).isValid());
        const QModelIndex publicSubtree = findIndex(*model, {"Other folders", "Root - Public", "IPM_SUBTREE"});
        const QModelIndex reminders = findIndex(*model, {"Other folders", "Root - Mailbox", "Finder", "Reminders"});
        const QModelIndex sub1 = findIndex(*model, {"Inbox", "sub1"});
        QVERIFY(publicSubtree.isValid() && reminders.isValid() && sub1.isValid());
        QVERIFY(reminders.data(Qt::ToolTipRole).toString().contains(QLatin1String("search folder")));
        tree->expandAll();
        // The group is a heading: clicking it selects no folder.
        tree->scrollTo(group);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(group).center());
        QCOMPARE(vm().selectedFolder()->name, QStringLiteral("Inbox"));
        tree->scrollTo(publicSubtree);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(publicSubtree).center());
        QTRY_COMPARE(vm().selectedFolder()->id, model->folder(publicSubtree)->id);

        tree->scrollTo(sub1);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(sub1).center());
        QTRY_COMPARE(vm().selectedFolder()->name, QStringLiteral("sub1"));
        QTRY_COMPARE(vm().rows().size(), 25);
        QTRY_VERIFY(!vm().isLoading());
        QCOMPARE(m_view->messageList()->subtitle()->text(), QStringLiteral("25 messages"));
    }

    void searchSubtitleAndEmptyStates()
    {
        OSTREL_REQUIRE_CORPUS();
        open("pst2john_97_outlook_pass12345.pst");
        MessageListView *list = m_view->messageList();
        // The whole folder, not a page of 100.
        QCOMPARE(vm().rows().size(), qsizetype(vm().selectedFolder()->messageCount));
        QVERIFY(vm().rows().size() > 100);
        const QString all = messageCountText(vm().rows().size());
        QCOMPARE(list->subtitle()->text(), all);

        QTest::keyClicks(list->searchField(), QStringLiteral("lorem"));
        QCOMPARE(list->subtitle()->text(), searchResultsText(vm().shownRows().size(), QStringLiteral("lorem")));
        list->searchField()->clear();
        QCOMPARE(list->subtitle()->text(), all);

        // In a folder of varied mail, a word of some messages but not of all.
        open("aspose_SampleOstFile.ost");
        selectFolder({"Inbox", "sub2"});
        const qsizetype loaded = vm().rows().size();
        QString word;
        for (const MessageRow &m : vm().rows()) {
            for (const QString &part : m.subject.split(QLatin1Char(' '))) {
                const SearchMatcher matcher(part);
                const qsizetype n = searchRows(vm().rows(), matcher, {}).size();
                if (word.isEmpty() && part.size() > 3 && n > 0 && n < loaded)
                    word = part;
            }
        }
        QVERIFY(!word.isEmpty());
        QTest::keyClicks(list->searchField(), word);
        QCOMPARE(vm().searchText(), word);
        QVERIFY(test::waitFor(vm().bodySearch()));
        const qsizetype hits = vm().shownRows().size();
        QVERIFY(hits >= 1 && hits < loaded);
        QCOMPARE(list->subtitle()->text(), searchResultsText(hits, word));
        QCOMPARE(list->list()->model()->rowCount(), int(hits));
        QVERIFY(list->clearSearchButton()->isVisible());

        QTest::mouseClick(list->clearSearchButton(), Qt::LeftButton);
        QCOMPARE(vm().searchText(), QString());
        QCOMPARE(list->searchField()->text(), QString());
        QCOMPARE(list->subtitle()->text(), messageCountText(loaded));

        list->searchField()->setText(QStringLiteral("no message says zqxj"));
        QCOMPARE(list->subtitle()->text(), QStringLiteral("0 results for \u201Cno message says zqxj\u201D"));
        QVERIFY(!list->showsList());
        QCOMPARE(list->emptyState()->text(), QStringLiteral("No results"));
        QCOMPARE(list->emptyState()->symbol(), QStringLiteral("magnifyingglass"));
        list->searchField()->clear();

        selectFolder({"Outbox"});
        QCOMPARE(list->subtitle()->text(), QStringLiteral("No messages"));
        QCOMPARE(list->emptyState()->text(), QStringLiteral("No messages"));
        QCOMPARE(list->emptyState()->symbol(), QStringLiteral("tray"));
    }

    // A search folder lists its results; one whose results the reader
    // cannot list says so, rather than an empty list under the tree's count.
    void searchFolders()
    {
        OSTREL_REQUIRE_CORPUS();
        open("javalibpst_dist_list.pst");
        MessageListView *list = m_view->messageList();
        selectFolder({"Other folders", "Search Root", "All Messages"});
        QVERIFY(vm().selectedFolder()->searchFolder);
        QVERIFY(list->showsList());
        QCOMPARE(list->list()->model()->rowCount(), int(vm().selectedFolder()->messageCount));
        QVERIFY(list->note()->isHidden());

        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 searchRoot = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Search Root"));
        archive->setSearchFolder(archive->addFolder(searchRoot, QStringLiteral("All Messages")), 3);
        test::FakePlatform platform;
        QSettings settings(m_dir->filePath("search.ini"), QSettings::IniFormat);
        const QString path = m_dir->filePath("search.pst");
        QVERIFY(test::touch(path));
        ostrelViewModel model(platform, &settings,
                              std::make_unique<PSTActor>(EngineChoice::automatic,
                                                         test::memoryEngines({{QStringLiteral("search.pst"), archive}})));
        MessageListView unlisted(model);
        QVERIFY(test::waitFor(model.openPSTFile(QUrl::fromLocalFile(path))));
        QVERIFY(test::waitFor(model.selectFolder(model.folders().at(0).children.at(0))));
        QVERIFY(!unlisted.showsList());
        QCOMPARE(unlisted.emptyState()->text(), QStringLiteral("No results in this search folder"));
        QCOMPARE(unlisted.emptyState()->symbol(), QStringLiteral("magnifyingglass"));
        QVERIFY(!unlisted.note()->isHidden());
        QVERIFY2(unlisted.note()->text().contains(QLatin1String("search folder")), qPrintable(unlisted.note()->text()));
    }

    void arrowKeysMoveTheSelection()
    {
        OSTREL_REQUIRE_CORPUS();
        open("processpst_flags_john_doe.pst");
        selectFolder({"Sent Items"});
        QListView *list = m_view->messageList()->list();
        list->setFocus();
        const QList<MessageRow> order = vm().shownRows();
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(vm().selectedRowId(), order.at(0).id);
        QCOMPARE(list->currentIndex().row(), 0);
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(vm().selectedRowId(), order.at(0).id);
        for (int i = 0; i < 6; ++i)
            QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(vm().selectedRowId(), order.at(4).id);
        QTest::keyClick(list, Qt::Key_Left);
        QTest::keyClick(list, Qt::Key_Right);
        QCOMPARE(vm().selectedRowId(), order.at(4).id);
        QCOMPARE(list->currentIndex().row(), 4);
        QTest::keyClick(list, Qt::Key_Home);
        QCOMPARE(vm().selectedRowId(), order.at(0).id);
        QTest::keyClick(list, Qt::Key_End);
        QCOMPARE(vm().selectedRowId(), order.at(4).id);
        QTest::keyClick(list, Qt::Key_PageUp);
        QCOMPARE(vm().selectedRowId(), order.at(0).id);
        QTest::keyClick(list, Qt::Key_PageDown);
        QCOMPARE(vm().selectedRowId(), order.at(4).id);
        // Only the record where the moves stopped is shown.
        QVERIFY(test::waitFor(vm().messageRead()));
        QCOMPARE(vm().selectedMessage()->id, order.at(4).id);
        QTRY_VERIFY(!m_view->detail()->showsWaiting());
        QCOMPARE(m_view->detail()->subject()->text(), order.at(4).subject);

        // A click on a row selects that message.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(2, 0)).center());
        QCOMPARE(vm().selectedRowId(), order.at(2).id);
    }

    void rowDateLabelsFollowTheClock()
    {
        OSTREL_REQUIRE_CORPUS();
        open("processpst_flags_john_doe.pst");
        MessageRowView *rows = m_view->messageList()->rows();
        const MessageRow message = vm().rows().constFirst();
        const QDateTime sent = QDateTime::fromSecsSinceEpoch(qint64(message.date));
        rows->setClock([sent] { return sent.addSecs(60); });
        QCOMPARE(rows->dateLabel(message), QLocale().toString(sent.time(), QLocale::ShortFormat));
        rows->setClock([sent] { return sent.addDays(1); });
        QCOMPARE(rows->dateLabel(message), QStringLiteral("Yesterday"));
        rows->setClock([sent] { return sent.addDays(40); });
        QCOMPARE(rows->dateLabel(message), QLocale().toString(sent.date(), QLocale::ShortFormat));
    }

    void detailHeaderBannerAndBody()
    {
        OSTREL_REQUIRE_CORPUS();
        open("processpst_flags_john_doe.pst");
        selectFolder({"Sent Items"});
        MessageDetailView *detail = m_view->detail();
        const MessageRow *importantRow = rowWithSubject(vm().rows(), "This email is important!");
        QVERIFY(importantRow);
        read(importantRow->id);
        const MailMessage *important = &*vm().selectedMessage();
        QVERIFY(!detail->showsPlaceholder());
        QCOMPARE(detail->subject()->text(), important->subject);
        QCOMPARE(detail->headerValue("From"), std::optional<QString>("John Doe <pst-test-1@aranetic.com>"));
        QCOMPARE(detail->headerValue("To"), std::optional<QString>(important->recipients.join(", ")));
        QCOMPARE(detail->headerValue("Cc"), std::nullopt);
        QCOMPARE(detail->headerValue("Date"), std::optional<QString>(headerDateText(important->date)));
        QVERIFY(detail->showsImportanceBanner());
        QCOMPARE(detail->bodyShown(), MessageDetailView::BodyShown::html);
        QVERIFY(detail->webView()->document().contains("<style>"));

        const MessageRow *normal = rowWithSubject(vm().rows(), "Needs response");
        QVERIFY(normal);
        read(normal->id);
        QVERIFY(!detail->showsImportanceBanner());
        QVERIFY(detail->attachmentsTitle().isEmpty());

        open("tika_testPST.pst");
        // The mailbox's root holds mail of its own: it waits in the group.
        selectFolder({"Other folders", "Début du fichier de données Outlook"});
        std::optional<MailMessage> plain;
        for (const MessageRow &row : vm().rows()) {
            read(row.id);
            if (!vm().selectedMessage()->bodyHTML && vm().selectedMessage()->bodyText) {
                plain = vm().selectedMessage();
                break;
            }
        }
        QVERIFY(plain);
        QCOMPARE(detail->bodyShown(), MessageDetailView::BodyShown::plainText);
        QCOMPARE(detail->plainText(), QString(*plain->bodyText).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    }

    void attachmentStrip()
    {
        OSTREL_REQUIRE_CORPUS();
        open("rubymsg_attachAndInline.pst");
        selectFolder({"Other folders", "Outlook データ ファイルのトップ"});
        read(vm().rows().constFirst().id);
        QCOMPARE(m_view->detail()->attachmentsTitle(), QStringLiteral("Attachments (2)"));
        const auto chips = m_view->detail()->attachmentViews();
        QCOMPARE(chips.size(), 2);
        QCOMPARE(chips[0]->toolTip(), QStringLiteral("attach.png"));
        QCOMPARE(chips[0]->sizeText(), QStringLiteral("2 KB"));
    }

    void drops_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("opened");
        QTest::newRow("pst") << QStringList{"a.pst"} << "a.pst";
        QTest::newRow("PST in capitals") << QStringList{"B.PST"} << "B.PST";
        QTest::newRow("ost") << QStringList{"c.ost"} << "c.ost";
        QTest::newRow("OST in capitals") << QStringList{"C2.OST"} << "C2.OST";
        QTest::newRow("txt") << QStringList{"d.txt"} << "";
        QTest::newRow("two archives: the first") << QStringList{"e.pst", "f.ost"} << "e.pst";
        QTest::newRow("two files: only the first counts") << QStringList{"g.txt", "h.pst"} << "";
    }
    void drops()
    {
        OSTREL_REQUIRE_CORPUS();
        QFETCH(QStringList, names);
        QFETCH(QString, opened);
        QList<QUrl> urls;
        for (const QString &name : names) {
            const QString path = m_dir->filePath(name);
            QVERIFY(QFile::copy(test::corpusFile("pstsdk_sample1.pst"), path));
            urls << QUrl::fromLocalFile(path);
        }
        dropUrls(m_view.get(), urls);
        QVERIFY(!m_view->showsDropHighlight());
        if (opened.isEmpty()) {
            QVERIFY(!vm().isLoading());
            QCoreApplication::processEvents();
            QCOMPARE(vm().currentFileName(), std::nullopt);
            QVERIFY(m_platform->alerts.isEmpty());
            return;
        }
        QTRY_COMPARE(vm().currentFileName(), std::optional<QString>(opened));
        QTRY_VERIFY(!vm().isLoading());
    }

    void dragHighlight()
    {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile("/tmp/x.pst")});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(m_view.get(), &enter);
        QVERIFY(m_view->showsDropHighlight());
        QDragLeaveEvent leave;
        QApplication::sendEvent(m_view.get(), &leave);
        QVERIFY(!m_view->showsDropHighlight());

        QMimeData text;
        text.setText("not a file");
        QDragEnterEvent textEnter(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, {});
        QApplication::sendEvent(m_view.get(), &textEnter);
        QVERIFY(!m_view->showsDropHighlight());
    }

    void overlayWhileLoading()
    {
        OSTREL_REQUIRE_CORPUS();
        // Seen when loading starts: the open may end before openPSTFile returns.
        bool shown = false;
        bool takesClicks = false;
        QObject context;
        connect(&vm(), &ostrelViewModel::isLoadingChanged, &context, [&] {
            if (!vm().isLoading())
                return;
            shown = m_view->showsLoadingOverlay();
            // The dimming layer lies over the columns and takes their clicks.
            const QPoint onList = m_view->messageList()->mapTo(m_view.get(), m_view->messageList()->rect().center());
            QWidget *hit = m_view->childAt(onList);
            takesClicks = hit == m_view->loadingOverlay() || m_view->loadingOverlay()->isAncestorOf(hit);
        });
        auto opening = vm().openPSTFile(corpusUrl("aspose_SampleOstFile.ost"));
        QVERIFY(test::waitFor(opening));
        QVERIFY(shown);
        QVERIFY(takesClicks);
        QVERIFY(!m_view->showsLoadingOverlay());
    }

    void errorsAreShownUntilDismissed()
    {
        OSTREL_REQUIRE_CORPUS();
        open("pstreader_truncated_in_header.pst");
        QTRY_COMPARE(m_platform->alerts.size(), 1);
        QCOMPARE(m_platform->alerts[0].title, QStringLiteral("Error"));
        QVERIFY(m_platform->alerts[0].message.startsWith(QLatin1String("Read error: header: ")));
        QCOMPARE(m_platform->alerts[0].buttons, QStringList{"OK"});
        QCOMPARE(vm().errorMessage(), std::nullopt);

        QVERIFY(test::waitFor(vm().openPSTFile(QUrl::fromLocalFile(m_dir->filePath("gone.pst")))));
        QTRY_COMPARE(m_platform->alerts.size(), 2);
        QCOMPARE(m_platform->alerts[1].message, QStringLiteral("PST file not found."));
    }

    void savingAttachments_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("exported");
        QTest::newRow("ordinary, read on demand") << 0 << "1_attach.png";
        QTest::newRow("inline, already loaded") << 1 << "2_image001.png";
    }
    void savingAttachments()
    {
        OSTREL_REQUIRE_CORPUS();
        QFETCH(int, index);
        QFETCH(QString, exported);
        QProcess pffexport;
        pffexport.start("pffexport", {"-q", "-t", m_dir->filePath("px"), test::corpusFile("rubymsg_attachAndInline.pst")});
        QVERIFY(pffexport.waitForFinished(60000));
        QFile expected(m_dir->filePath("px.export/Outlook データ ファイルのトップ/Message00001/Attachments/" + exported));
        QVERIFY(expected.open(QIODevice::ReadOnly));

        open("rubymsg_attachAndInline.pst");
        selectFolder({"Other folders", "Outlook データ ファイルのトップ"});
        read(vm().rows().constFirst().id);
        AttachmentView *chip = m_view->detail()->attachmentViews().at(index);
        QCOMPARE(chip->attachment().data.has_value(), index == 1);
        const QString target = m_dir->filePath("saved.png");
        m_platform->saveAnswers.enqueue(target);
        QVERIFY(test::waitFor(chip->save()));
        QCOMPARE(m_platform->saveRequests.size(), 1);
        QCOMPARE(m_platform->saveRequests[0].proposedName, chip->attachment().filename);
        QVERIFY(m_platform->saveRequests[0].nameFilters.join(' ').contains("*.png"));
        QVERIFY(m_platform->alerts.isEmpty());
        QCOMPARE(m_platform->revealedFiles, QStringList{target});
        QFile saved(target);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), expected.readAll());
    }

    void savingThatDoesNotHappen()
    {
        OSTREL_REQUIRE_CORPUS();
        open("rubymsg_attachAndInline.pst");
        selectFolder({"Other folders", "Outlook データ ファイルのトップ"});
        read(vm().rows().constFirst().id);
        AttachmentView *chip = m_view->detail()->attachmentViews().at(0);

        // Cancelled: nothing written, nothing said.
        QVERIFY(test::waitFor(chip->save()));
        QVERIFY(m_platform->alerts.isEmpty());
        QVERIFY(m_platform->revealedFiles.isEmpty());

        // A folder that cannot be written (a regular file stands where the folder should be).
        QFile blocker(m_dir->filePath("not-a-folder"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString target = blocker.fileName() + "/attach.png";
        m_platform->saveAnswers.enqueue(target);
        QVERIFY(test::waitFor(chip->save()));
        QCOMPARE(m_platform->alerts.size(), 1);
        QCOMPARE(m_platform->alerts[0].title, QStringLiteral("Could not save attachment"));
        QVERIFY(!m_platform->alerts[0].message.isEmpty());
        QCOMPARE(chip->saveError(), std::nullopt);
        QVERIFY(!QFileInfo::exists(target));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList({"not-a-folder", "settings.ini"}));

        // The archive went away: the bytes can no longer be had.
        open("pstsdk_sample1.pst");
        m_platform->saveAnswers.enqueue(m_dir->filePath("late.png"));
        QVERIFY(test::waitFor(chip->save()));
        QCOMPARE(m_platform->alerts.size(), 2);
        QCOMPARE(m_platform->alerts[1].message, QStringLiteral("Attachment data is not yet loaded."));
        QVERIFY(!QFileInfo::exists(m_dir->filePath("late.png")));
    }

    // Pictures of the window for people to look at; only with OSTREL_GRAB_DIR set.
    void grabsForPeople()
    {
        OSTREL_REQUIRE_CORPUS();
        const QString out = qEnvironmentVariable("OSTREL_GRAB_DIR");
        if (out.isEmpty())
            QSKIP("set OSTREL_GRAB_DIR to write window pictures");
        const auto grab = [&](const QString &name) {
            QTest::qWait(1500);  // let Chromium paint; pictures only, nothing is asserted on timing
            QVERIFY(m_view->grab().save(QDir(out).filePath(name)));
        };
        open("aspose_SampleOstFile.ost");
        selectFolder({"Inbox"});
        for (const MessageRow &row : vm().shownRows()) {
            read(row.id);
            const MailMessage &m = *vm().selectedMessage();
            bool inlineImage = false;
            for (const Attachment &a : m.attachments)
                inlineImage = inlineImage || a.data.has_value();
            if (m.bodyHTML && inlineImage)
                break;
        }
        grab("ost-html-inline.png");
        m_view->messageList()->searchField()->setText("test");
        grab("ost-search.png");
        m_view->messageList()->searchField()->clear();
        open("processpst_flags_john_doe.pst");
        selectFolder({"Sent Items"});
        read(rowWithSubject(vm().rows(), "This email is important!")->id);
        grab("john-doe-important.png");
        open("processpst_multiple_to_cc.pst");
        grab("mailbox-first.png");
    }
};

int main(int argc, char **argv)
{
    WebView::registerUrlScheme();
    QApplication app(argc, argv);
    TestWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_window.moc"
