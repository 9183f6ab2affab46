// The desktop's alerts as people meet them: the button texts as written,
// the answer of each button, and Escape standing for the cancel button; and
// the open panel with the archive filters, showing what each filter lets through.
#include "platform/QtPlatform.h"
#include "viewmodel/ArchiveFiles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QListView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QKeySequence>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace ostrel;

class TestQtPlatform : public QObject {
    Q_OBJECT

private slots:
    void alert_data()
    {
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<int>("cancelButton");
        QTest::addColumn<int>("press");  // -1: Escape
        QTest::addColumn<int>("answer");
        const QStringList prompt{QStringLiteral("Donate & Quit"), QStringLiteral("Just Quit")};
        QTest::newRow("first") << prompt << -1 << 0 << 0;
        QTest::newRow("second") << prompt << -1 << 1 << 1;
        QTest::newRow("escape is the last") << prompt << -1 << -1 << 1;
        const QStringList update{QStringLiteral("Download"), QStringLiteral("Release Notes"), QStringLiteral("Later")};
        QTest::newRow("escape is the chosen one") << update << 2 << -1 << 2;
        QTest::newRow("middle of three") << update << 2 << 1 << 1;
        QTest::newRow("one button") << QStringList{QStringLiteral("OK")} << -1 << -1 << 0;
    }
    void alert()
    {
        QFETCH(QStringList, buttons);
        QFETCH(int, cancelButton);
        QFETCH(int, press);
        QFETCH(int, answer);

        QStringList shown;
        QStringList mnemonics;
        bool found = false;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            found = true;
            QList<QAbstractButton *> order;
            for (const QString &title : buttons) {
                for (QAbstractButton *b : box->buttons()) {
                    if (QString(b->text()).replace(QLatin1String("&&"), QLatin1String("&")) == title)
                        order.append(b);
                }
            }
            for (QAbstractButton *b : box->buttons()) {
                shown.append(QString(b->text()).replace(QLatin1String("&&"), QLatin1String("&")));
                mnemonics.append(QKeySequence::mnemonic(b->text()).toString());
            }
            if (press < 0)
                QTest::keyClick(box, Qt::Key_Escape);
            else if (press < order.size())
                order[press]->click();
            else
                box->reject();
        });

        QtPlatform platform;
        AlertRequest request;
        request.title = QStringLiteral("Support ostrel development");
        request.message = QStringLiteral("A message.");
        request.buttons = buttons;
        request.cancelButton = cancelButton;
        const int result = platform.runAlert(request);

        QVERIFY(found);
        shown.sort();
        QStringList want = buttons;
        want.sort();
        QCOMPARE(shown, want);
        // "&" is shown as written and makes no keyboard shortcut.
        for (const QString &m : std::as_const(mnemonics))
            QVERIFY2(m.isEmpty(), qPrintable(m));
        QCOMPARE(result, answer);
    }

    void openPanelFilters_data()
    {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("pick");
        QTest::newRow("archives") << 0 << QStringList{"a.ost", "B.OST", "c.pst", "D.Pst"} << "B.OST";
        QTest::newRow("all files") << 1 << QStringList{"a.ost", "B.OST", "c.pst", "D.Pst", "e.txt"} << "e.txt";
    }
    void openPanelFilters()
    {
        QFETCH(int, filter);
        QFETCH(QStringList, shown);
        QFETCH(QString, pick);
        QTemporaryDir dir;
        for (const char *name : {"a.ost", "B.OST", "c.pst", "D.Pst", "e.txt"}) {
            QFile f(dir.filePath(QString::fromLatin1(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }

        const QStringList filters = archiveNameFilters();
        QStringList listed;
        QString startFilter;
        bool loadedInTime = false;
        // The panel shows after exec() has started; look for it until it is there.
        QTimer poll;
        int tries = 0;
        connect(&poll, &QTimer::timeout, this, [&] {
            QFileDialog *dialog = nullptr;
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (auto *d = qobject_cast<QFileDialog *>(w); d && d->isVisible())
                    dialog = d;
            }
            if (!dialog) {
                if (++tries > 200)
                    poll.stop();  // no panel: the comparisons below fail
                return;
            }
            poll.stop();
            // Whatever is missing below, the panel closes, so the test fails instead of hanging.
            auto *asDialog = static_cast<QDialog *>(dialog);
            startFilter = dialog->selectedNameFilter();
            auto *list = dialog->findChild<QListView *>(QStringLiteral("listView"));
            auto *model = dialog->findChild<QFileSystemModel *>();
            if (!list || !model) {
                asDialog->reject();
                return;
            }
            // The directory is read on a worker thread; it reports when done.
            QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
            dialog->setDirectory(dir.path());
            dialog->selectNameFilter(filters.at(filter));
            const auto names = [&] {
                QStringList out;
                const QModelIndex root = list->rootIndex();
                for (int row = 0; row < list->model()->rowCount(root); ++row)
                    out << list->model()->index(row, 0, root).data().toString();
                out.sort(Qt::CaseInsensitive);
                return out;
            };
            loadedInTime = QTest::qWaitFor([&] { return loaded.contains(QVariantList{dir.path()}); }, 10000);
            // The filter is applied after loading; the list may still grow (not a timing check).
            (void)QTest::qWaitFor([&] { return names().size() >= shown.size(); }, 5000);
            listed = names();
            // Chosen as a click does: the row in the list.
            const QModelIndex root = list->rootIndex();
            for (int row = 0; row < list->model()->rowCount(root); ++row) {
                const QModelIndex index = list->model()->index(row, 0, root);
                if (index.data().toString() == pick)
                    list->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            }
            asDialog->accept();
        });
        poll.start(50);

        QtPlatform platform;
        OpenPanelRequest request;
        request.message = QStringLiteral("Select a PST file");
        request.prompt = QStringLiteral("Open");
        request.nameFilters = filters;
        const std::optional<QString> chosen = platform.runOpenPanel(request);

        QVERIFY2(loadedInTime, "the panel never listed the directory");
        QCOMPARE(startFilter, filters.constFirst());
        QCOMPARE(listed, shown);
        QCOMPARE(chosen, std::optional<QString>(dir.filePath(pick)));
    }
};

QTEST_MAIN(TestQtPlatform)
#include "tst_qtplatform.moc"
