#include "views/FolderTreeModel.h"

#include <QAbstractItemModelTester>
#include <QTest>

using namespace ostrel;

namespace {
MailFolder folder(const QString &name, qint64 messages = 0, QList<MailFolder> children = {})
{
    MailFolder f{QUuid::createUuid(), name, messages, 0, FolderType::custom, std::move(children)};
    return f;
}

MailFolder store(MailFolder f, bool search = false)
{
    f.storeFolder = true;
    f.searchFolder = search;
    return f;
}

// The rows under parent, by name.
QStringList names(const QAbstractItemModel &model, const QModelIndex &parent = {})
{
    QStringList out;
    for (int row = 0; row < model.rowCount(parent); ++row)
        out.append(model.index(row, 0, parent).data().toString());
    return out;
}

// An archive as the reader gives it: the mailbox's root among the store's
// own folders, in stored order.
QList<MailFolder> archive(qint64 messagesInMailboxRoot)
{
    MailFolder root = folder(QStringLiteral("Top of Outlook data file"), messagesInMailboxRoot,
                             {folder(QStringLiteral("Inbox"), 1, {folder(QStringLiteral("Sub"))}),
                              folder(QStringLiteral("Sent Items"))});
    root.mailboxRoot = true;
    return {store(folder(QStringLiteral("SPAM Search Folder 2")), true), root,
            store(folder(QStringLiteral("Search Root"), 0, {folder(QStringLiteral("All Messages"), 3)})),
            store(folder(QStringLiteral("Reminders"), 1), true)};
}
}  // namespace

class TestFolderTree : public QObject {
    Q_OBJECT

private slots:
    // The mailbox first; the store's own folders in one group at the end.
    void mailboxFirstAndOneGroup_data()
    {
        QTest::addColumn<qint64>("rootMessages");
        QTest::addColumn<QStringList>("group");
        QTest::newRow("empty mailbox root")
            << qint64(0) << QStringList{"SPAM Search Folder 2", "Search Root", "Reminders"};
        QTest::newRow("mailbox root with messages")
            << qint64(2) << QStringList{"SPAM Search Folder 2", "Top of Outlook data file", "Search Root", "Reminders"};
    }
    void mailboxFirstAndOneGroup()
    {
        QFETCH(qint64, rootMessages);
        QFETCH(QStringList, group);
        FolderTreeModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QList<MailFolder> folders = archive(rootMessages);
        model.setFolders(folders);

        QCOMPARE(names(model), (QStringList{"Inbox", "Sent Items", "Other folders"}));
        const QModelIndex groupIndex = model.groupIndex();
        QCOMPARE(groupIndex, model.index(2, 0));
        QVERIFY(model.isGroup(groupIndex));
        QVERIFY(!model.folder(groupIndex));
        QVERIFY(!(model.flags(groupIndex) & Qt::ItemIsSelectable));
        QVERIFY(model.flags(model.index(0, 0)) & Qt::ItemIsSelectable);
        QVERIFY(groupIndex.data(FolderTreeModel::IdRole).isNull());
        QCOMPARE(groupIndex.data(FolderTreeModel::GroupRole).toBool(), true);
        QCOMPARE(names(model, groupIndex), group);
        // The mailbox keeps its depth; the group keeps each folder's own.
        QCOMPARE(names(model, model.index(0, 0)), QStringList{"Sub"});
        const QModelIndex searchRoot = model.index(int(group.indexOf("Search Root")), 0, groupIndex);
        QCOMPARE(names(model, searchRoot), QStringList{"All Messages"});
        QCOMPARE(model.parent(searchRoot), groupIndex);
        QCOMPARE(model.parent(model.index(0, 0, searchRoot)), searchRoot);

        // Search folders say what they are.
        const QModelIndex reminders = model.index(int(group.size() - 1), 0, groupIndex);
        QCOMPARE(reminders.data().toString(), QStringLiteral("Reminders"));
        QCOMPARE(reminders.data(FolderTreeModel::IconNameRole).toString(), QStringLiteral("magnifyingglass"));
        QVERIFY(reminders.data(Qt::ToolTipRole).toString().contains(QLatin1String("search folder")));
        QVERIFY(!model.index(0, 0).data(Qt::ToolTipRole).toString().contains(QLatin1String("search folder")));

        // Every folder is found by its id, at the place it is shown.
        QCOMPARE(model.indexForId(folders[2].id), searchRoot);
        QCOMPARE(model.indexForId(folders[1].children[0].id), model.index(0, 0));
        QCOMPARE(model.indexForId(folders[1].id).isValid(), rootMessages > 0);
        QVERIFY(!model.indexForId(QUuid()).isValid());
    }

    // Without a mailbox the tree is as stored, and there is no group.
    void noMailboxNoGroup()
    {
        FolderTreeModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setFolders({folder(QStringLiteral("Root - Public"), 0, {folder(QStringLiteral("IPM_SUBTREE"))}),
                          folder(QStringLiteral("Inbox"), 4)});
        QCOMPARE(names(model), (QStringList{"Root - Public", "Inbox"}));
        QVERIFY(!model.groupIndex().isValid());
        QCOMPARE(names(model, model.index(0, 0)), QStringList{"IPM_SUBTREE"});
        for (int row = 0; row < model.rowCount(); ++row)
            QVERIFY(!model.isGroup(model.index(row, 0)));
    }

    // A mailbox root nested in a store folder (an offline store) is left out
    // of the group's tree; its folders are the mailbox.
    void nestedMailboxRoot()
    {
        MailFolder subtree = folder(QStringLiteral("IPM_SUBTREE"), 0, {folder(QStringLiteral("Inbox"), 12)});
        subtree.mailboxRoot = true;
        FolderTreeModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setFolders({store(folder(QStringLiteral("Root - Public"))),
                          store(folder(QStringLiteral("Root - Mailbox"), 0,
                                       {folder(QStringLiteral("Finder")), subtree, folder(QStringLiteral("Views"))}))});
        QCOMPARE(names(model), (QStringList{"Inbox", "Other folders"}));
        QCOMPARE(names(model, model.groupIndex()), (QStringList{"Root - Public", "Root - Mailbox"}));
        QCOMPARE(names(model, model.index(1, 0, model.groupIndex())), (QStringList{"Finder", "Views"}));
        // Setting folders again replaces everything.
        model.setFolders({});
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!model.groupIndex().isValid());
    }
};

QTEST_MAIN(TestFolderTree)
#include "tst_foldertree.moc"
