// The application shell with an injected platform: menus, recent files,
// acknowledgements, the support prompt and the German translation.
#include "AppShell.h"
#include "FakePlatform.h"
#include "LoopbackHttpsServer.h"
#include "MainWindow.h"
#include "SandboxPolicy.h"
#include "TestSupport.h"
#include "UpdateController.h"
#include "viewmodel/ArchiveFiles.h"
#include "viewmodel/ostrelViewModel.h"
#include "views/ItemText.h"
#include "views/WebView.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QMenu>
#include <QMenuBar>
#include <QNetworkAccessManager>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTranslator>

using namespace ostrel;

namespace {
QAction *action(MainWindow &window, const QString &objectName)
{
    return window.menuBar()->findChild<QAction *>(objectName);
}

QMenu *recentMenu(MainWindow &window)
{
    return window.menuBar()->findChild<QMenu *>(QStringLiteral("openRecent"));
}

QStringList titles(QMenu *menu)
{
    QStringList out;
    for (QAction *a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("---") : a->text());
    return out;
}
}  // namespace

class TestAppShell : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<test::FakePlatform> m_platform;
    std::unique_ptr<AppShell> m_shell;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<QSettings>(m_dir->filePath("s.ini"), QSettings::IniFormat);
        m_platform = std::make_unique<test::FakePlatform>();
        m_shell = std::make_unique<AppShell>(*m_platform, m_settings.get());
    }
    void cleanup()
    {
        for (MainWindow *window : m_shell->windows())
            delete window;
        m_shell.reset();
    }

    void openActsOnItsOwnWindow()
    {
        OSTREL_REQUIRE_CORPUS();
        MainWindow *first = m_shell->newWindow();
        MainWindow *second = m_shell->newWindow();
        QCOMPARE(action(*first, "openPST")->shortcut(), QKeySequence(QKeySequence::Open));
        m_platform->openAnswers.enqueue(test::corpusFile("pstsdk_sample1.pst"));
        action(*second, "openPST")->trigger();
        QTRY_COMPARE(second->viewModel().currentFileName(), std::optional<QString>("pstsdk_sample1.pst"));
        QTRY_VERIFY(!second->viewModel().isLoading());
        QCOMPARE(first->viewModel().currentFileName(), std::nullopt);
        QCOMPARE(m_platform->openRequests.size(), 1);
    }

    // Ctrl+O reaches the active main window only; with another kind of window
    // active (the acknowledgements) it opens nothing.
    void openShortcutFollowsTheActiveWindow()
    {
        OSTREL_REQUIRE_CORPUS();
        MainWindow *first = m_shell->newWindow();
        MainWindow *second = m_shell->newWindow();
        first->show();
        second->show();
        QWidget *acknowledgements = m_shell->showAcknowledgements();

        second->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(second));
        m_platform->openAnswers.enqueue(test::corpusFile("pstsdk_sample1.pst"));
        QTest::keySequence(second, QKeySequence::Open);
        QCOMPARE(m_platform->openRequests.size(), 1);
        QTRY_COMPARE(second->viewModel().currentFileName(), std::optional<QString>("pstsdk_sample1.pst"));
        QTRY_VERIFY(!second->viewModel().isLoading());
        QCOMPARE(first->viewModel().currentFileName(), std::nullopt);

        acknowledgements->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(acknowledgements));
        QTest::keySequence(acknowledgements, QKeySequence::Open);
        QCOMPARE(m_platform->openRequests.size(), 1);
        acknowledgements->close();
    }

    void windowsOpenCentred()
    {
        MainWindow *window = m_shell->newWindow();
        QCOMPARE(window->size(), QSize(1200, 750));
        QCOMPARE(window->minimumSize(), QSize(900, 600));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(qAbs(window->geometry().center().x() - screen.center().x()) <= 1
                     && qAbs(window->geometry().center().y() - screen.center().y()) <= 1,
                 qPrintable(QStringLiteral("window centre %1,%2, screen centre %3,%4")
                                .arg(window->geometry().center().x())
                                .arg(window->geometry().center().y())
                                .arg(screen.center().x())
                                .arg(screen.center().y())));
    }

    void openRecent()
    {
        OSTREL_REQUIRE_CORPUS();
        MainWindow *window = m_shell->newWindow();
        QMenu *recent = recentMenu(*window);
        QVERIFY(recent);
        QCOMPARE(titles(recent), QStringList{"No items"});
        QVERIFY(!recent->isEnabled());
        QVERIFY(!recent->actions().constFirst()->isEnabled());

        const QStringList files{"pstsdk_sample1.pst", "pstsdk_sample2.pst", "pstsdk_test_ansi.pst",
                                "pstsdk_test_unicode.pst", "tika_testPST.pst", "gopst_32bit.pst"};
        for (const QString &file : files)
            QVERIFY(test::waitFor(window->viewModel().openPSTFile(QUrl::fromLocalFile(test::corpusFile(file)))));
        QCOMPARE(titles(recent), QStringList({"gopst_32bit.pst", "tika_testPST.pst", "pstsdk_test_unicode.pst",
                                              "pstsdk_test_ansi.pst", "pstsdk_sample2.pst", "---", "Clear Menu"}));
        QVERIFY(recent->isEnabled());

        recent->actions().at(3)->trigger();  // pstsdk_test_ansi.pst
        QTRY_COMPARE(window->viewModel().currentFileName(), std::optional<QString>("pstsdk_test_ansi.pst"));
        QTRY_VERIFY(!window->viewModel().isLoading());
        QCOMPARE(recent->actions().constFirst()->text(), QStringLiteral("pstsdk_test_ansi.pst"));

        recent->actions().constLast()->trigger();  // Clear Menu
        QCOMPARE(titles(recent), QStringList{"No items"});
        QVERIFY(!recent->isEnabled());
        QVERIFY(!m_settings->contains(ostrelViewModel::kRecentFilesKey));
    }

    void acknowledgementsWindowIsReused()
    {
        QWidget *first = m_shell->showAcknowledgements();
        QVERIFY(first);
        QCOMPARE(first->size(), QSize(720, 560));
        first->close();
        QWidget *again = m_shell->showAcknowledgements();
        QCOMPARE(again, first);
        QVERIFY(again->isVisible());
    }

    void acknowledgementsText()
    {
        QTextDocument document;
        m_shell->fillAcknowledgements(document);
        const QString text = document.toPlainText();
        const qsizetype lgplHeading = text.indexOf(QStringLiteral("\u2014 LGPL-3.0 \u2014"));
        const qsizetype gplHeading = text.indexOf(QStringLiteral("\u2014 GPL-3.0 \u2014"));
        QVERIFY(text.startsWith(QLatin1String("ostrel")));
        QVERIFY(lgplHeading > 0 && gplHeading > lgplHeading);
        QVERIFY(text.mid(lgplHeading, gplHeading - lgplHeading).contains(QLatin1String("GNU LESSER GENERAL PUBLIC LICENSE")));
        QVERIFY(text.mid(gplHeading).contains(QLatin1String("GNU GENERAL PUBLIC LICENSE")));
        QVERIFY(!text.contains(QLatin1String("not found in bundle")));
    }

    void aMissingLicenceShowsTheNotFoundText()
    {
        QTemporaryDir resources;
        QVERIFY(QDir(resources.path()).mkdir("Licenses"));
        QVERIFY(QFile::copy(":/Licenses/NOTICE.txt", resources.filePath("Licenses/NOTICE.txt")));
        QVERIFY(QFile::copy(":/Licenses/GPL-3.0.txt", resources.filePath("GPL-3.0.txt")));  // top level also counts
        QFile broken(resources.filePath("Licenses/LGPL-3.0.txt"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("\xff\xfe not UTF-8 \xc3");
        broken.close();

        AppShell shell(*m_platform, m_settings.get(), resources.path());
        QCOMPARE(shell.licenseText("LGPL-3.0", "txt"), QStringLiteral("(License text not found in bundle: LGPL-3.0.txt)"));
        QVERIFY(shell.licenseText("GPL-3.0", "txt").contains(QLatin1String("GNU GENERAL PUBLIC LICENSE")));

        QTextDocument document;
        shell.fillAcknowledgements(document);
        const QString text = document.toPlainText();
        const qsizetype missing = text.indexOf(QStringLiteral("(License text not found in bundle: LGPL-3.0.txt)"));
        QVERIFY(missing > text.indexOf(QStringLiteral("\u2014 LGPL-3.0 \u2014")));
        QVERIFY(missing < text.indexOf(QStringLiteral("\u2014 GPL-3.0 \u2014")));
        QTextCursor cursor(&document);
        cursor.setPosition(int(missing) + 2);
        QCOMPARE(cursor.charFormat().font().family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
        QCOMPARE(cursor.charFormat().font().pixelSize(), 11);
    }

    void supportPromptAtQuit_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("donationOpened");
        QTest::newRow("Donate & Quit") << 0 << true;
        QTest::newRow("Just Quit") << 1 << false;
    }
    void supportPromptAtQuit()
    {
        QFETCH(int, button);
        QFETCH(bool, donationOpened);
        MainWindow *window = m_shell->newWindow();
        window->show();
        QSignalSpy quit(m_shell.get(), &AppShell::quitRequested);
        m_platform->alertAnswers.enqueue(button);
        window->close();  // the last window
        QCOMPARE(m_platform->alerts.size(), 1);
        const AlertRequest &prompt = m_platform->alerts.constFirst();
        QCOMPARE(prompt.title, QStringLiteral("Support ostrel development"));
        QCOMPARE(prompt.buttons, QStringList({"Donate & Quit", "Just Quit"}));
        QCOMPARE(prompt.icon, AlertIcon::applicationIcon);
        QCOMPARE(quit.count(), 1);
        QCOMPARE(m_platform->openedUrls.size(), donationOpened ? 1 : 0);
        if (donationOpened)
            QCOMPARE(m_platform->openedUrls.constFirst().scheme(), QStringLiteral("https"));
        m_shell->requestQuit();  // asked once only
        QCOMPARE(m_platform->alerts.size(), 1);
    }

    void closingOneOfTwoWindowsDoesNotQuit()
    {
        MainWindow *a = m_shell->newWindow();
        MainWindow *b = m_shell->newWindow();
        a->show();
        b->show();
        QSignalSpy quit(m_shell.get(), &AppShell::quitRequested);
        a->close();
        QCOMPARE(quit.count(), 0);
        QVERIFY(m_platform->alerts.isEmpty());
        QTRY_COMPARE(m_shell->windows().size(), 1);
    }

    void updateMenuItem_data()
    {
        QTest::addColumn<bool>("available");
        QTest::newRow("available") << true;
        QTest::newRow("inside a package store") << false;
    }
    void updateMenuItem()
    {
        QFETCH(bool, available);
        test::LoopbackHttpsServer::trustInThisProcess();
        test::LoopbackHttpsServer server;
        // A server that keeps the check running until it times out.
        server.answer(QStringLiteral("/updates/latest.json"), {200, {}, {}, true});
        QNetworkAccessManager session;
        UpdateControllerSetup setup;
        setup.manifestURL = server.url(QStringLiteral("/updates/latest.json"));
        setup.checkingAvailable = available;
        setup.transferTimeout = std::chrono::milliseconds(1500);
        UpdateController updates(*m_platform, &session, m_settings.get(), setup);
        m_shell->setUpdateController(&updates);

        MainWindow *window = m_shell->newWindow();
        QAction *check = action(*window, "checkForUpdates");
        window->show();  // the start-up check runs when the window is first shown
        if (!available) {
            QVERIFY(!check);
            QVERIFY(!updates.isChecking());
            QTest::qWait(100);
            QVERIFY(server.requests().isEmpty());
            delete window;
            return;
        }
        QVERIFY(check);
        QCOMPARE(check->text(), QStringLiteral("Check for Updates\u2026"));
        QTRY_COMPARE(server.requests().size(), 1);
        QVERIFY(updates.isChecking());
        QVERIFY(!check->isEnabled());
        check->trigger();  // disabled: nothing happens
        QTRY_VERIFY_WITH_TIMEOUT(!updates.isChecking(), 10000);
        QVERIFY(check->isEnabled());
        QVERIFY(m_platform->alerts.isEmpty());  // the automatic check failed silently
        check->trigger();
        QVERIFY(updates.isChecking());
        QTRY_VERIFY_WITH_TIMEOUT(!updates.isChecking(), 10000);
        QCOMPARE(server.requests().size(), 2);
        QCOMPARE(m_platform->alerts.size(), 1);
        QCOMPARE(m_platform->alerts.first().title, QStringLiteral("Unable to check for updates"));
        delete window;
    }

    void germanTranslation()
    {
        QTranslator german;
        QVERIFY(german.load(QLocale(QLocale::German, QLocale::Germany), "ostrel", "_", ":/i18n"));
        QCoreApplication::installTranslator(&german);
        MainWindow *window = m_shell->newWindow();
        QStringList menus;
        for (QAction *a : window->menuBar()->actions())
            menus << a->text();
        QCOMPARE(menus, QStringList({"&Datei", "&Hilfe"}));
        QCOMPARE(QCoreApplication::translate("ostrel", "PST file not found."), QStringLiteral("PST-Datei nicht gefunden."));
        QCOMPARE(ostrel::describeError(PSTError::parsingFailed("x")), QStringLiteral("Lesefehler: x"));
        QCOMPARE(QCoreApplication::translate("ostrel::UpdateController", "Unable to check for updates"),
                 QStringLiteral("Suche nach Updates nicht möglich"));
        QCOMPARE(QCoreApplication::translate("ostrel", "Some properties could not be read: %1"),
                 QStringLiteral("Einige Eigenschaften konnten nicht gelesen werden: %1"));
        MailMessage unreadable;
        unreadable.readFailure = QStringLiteral("x");
        QCOMPARE(unreadableLine(unreadable), QStringLiteral("Diese Nachricht ist nicht lesbar: x"));
        MailMessage attached;
        attached.attachments.append(Attachment{});
        attached.attachments.first().filename = QStringLiteral("A");
        attached.attachments.first().failure = QStringLiteral("y");
        QCOMPARE(unreadableLine(attached), QStringLiteral("Nicht lesbar: angehängte Nachricht „A“ (y)"));
        QCOMPARE(QCoreApplication::translate("ostrel::FolderTreeModel", "Other folders"), QStringLiteral("Weitere Ordner"));
        QCOMPARE(QCoreApplication::translate("ostrel::FolderTreeModel", "%1 (search folder)"),
                 QStringLiteral("%1 (Suchordner)"));
        QCOMPARE(archiveNameFilters(), QStringList({"PST- und OST-Archive (*.pst *.ost)", "Alle Dateien (*)"}));
        const AlertRequest refusal = rootRefusalAlert();
        QCOMPARE(refusal.title, QStringLiteral("ostrel kann nicht als root laufen"));
        QVERIFY(refusal.message.contains(QLatin1String("--no-sandbox")));
        QCOMPARE(refusal.buttons, QStringList{"Beenden"});
        QVERIFY(rootRefusalLine().startsWith(QLatin1String("ostrel: Kein Start als root")));
        QVERIFY(rootRefusalLine().contains(QLatin1String("--no-sandbox")));
        QCOMPARE(sandboxOffNotice({SandboxChoice::Decision::off, QStringLiteral("--no-sandbox")}),
                 QStringLiteral("ostrel: Die Sandbox von Chromium ist aus (--no-sandbox); HTML-Mails werden ohne sie angezeigt."));
        QCoreApplication::removeTranslator(&german);
    }
};

int main(int argc, char **argv)
{
    WebView::registerUrlScheme();
    QApplication app(argc, argv);
    TestAppShell test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_appshell.moc"
