// The update controller with injected alerts, a fixed clock and a loopback
// HTTPS server standing in for the update endpoint.
#include "FakePlatform.h"
#include "LoopbackHttpsServer.h"
#include "TestSupport.h"
#include "UpdateController.h"

#include <QNetworkAccessManager>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using ostrel::test::LoopbackHttpsServer;
using Response = LoopbackHttpsServer::Response;

namespace {
const QDateTime fixedNow = QDateTime(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);

QByteArray manifest(const QByteArray &extra, const char *version = "2.0")
{
    return "{\"version\": \"" + QByteArray(version) + "\", \"downloadURL\": \"https://example.org/ostrel-2.0.tar.gz\""
           + extra + "}";
}
}  // namespace

class TestUpdateController : public QObject {
    Q_OBJECT

    LoopbackHttpsServer *m_server = nullptr;
    std::unique_ptr<QNetworkAccessManager> m_session;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<test::FakePlatform> m_platform;
    UpdateControllerSetup m_setup;

    std::unique_ptr<UpdateController> controller()
    {
        return std::make_unique<UpdateController>(*m_platform, m_session.get(), m_settings.get(), m_setup);
    }
    void serve(Response response) { m_server->answer(QStringLiteral("/updates/latest.json"), std::move(response)); }
    int requests() const { return int(m_server->requests().size()); }
    bool run(QFuture<void> future) { return test::waitFor(future, 20000); }

private slots:
    void initTestCase()
    {
        LoopbackHttpsServer::trustInThisProcess();
        m_server = new LoopbackHttpsServer(this);
        QVERIFY(m_server->isListening());
    }
    void init()
    {
        m_session = std::make_unique<QNetworkAccessManager>();
        m_dir = std::make_unique<QTemporaryDir>();
        m_settings = std::make_unique<QSettings>(m_dir->filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
        m_platform = std::make_unique<test::FakePlatform>();
        m_setup = UpdateControllerSetup();
        m_setup.manifestURL = m_server->url(QStringLiteral("/updates/latest.json"));
        m_setup.shortVersion = QStringLiteral("1.0");
        m_setup.buildVersion = QStringLiteral("7");
        m_setup.systemVersion = {6, 1, 0};
        m_setup.preferredLanguages = {QStringLiteral("de-DE"), QStringLiteral("en")};
        m_setup.transferTimeout = std::chrono::milliseconds(2000);
        m_setup.now = [] { return fixedNow; };
        serve(Response{200, manifest({}, "1.0"), {}, false});
    }

    void manifestLocation()
    {
        QCOMPARE(UpdateControllerSetup::manifestURLForHost(QStringLiteral("updates.example.org")),
                 QUrl(QStringLiteral("https://updates.example.org/updates/latest.json")));
        QVERIFY(!UpdateControllerSetup::manifestURLForHost(QString()).isValid());
        QVERIFY(!UpdateControllerSetup::manifestURLForHost(QStringLiteral("bad host")).isValid());
    }

    void twoQuickMenuChecksMakeOneRequest()
    {
        auto updates = controller();
        QSignalSpy checking(updates.get(), &UpdateController::isCheckingChanged);
        const int before = requests();
        QFuture<void> first = updates->checkForUpdates(true);
        QVERIFY(updates->isChecking());
        QFuture<void> second = updates->checkForUpdates(true);
        QVERIFY(second.isFinished());
        QVERIFY(run(first));
        QVERIFY(!updates->isChecking());
        QCOMPARE(requests(), before + 1);
        QCOMPARE(checking.size(), 2);
        QCOMPARE(m_platform->alerts.size(), 1);
        const AlertRequest &alert = m_platform->alerts.first();
        QCOMPARE(alert.title, QStringLiteral("ostrel is up to date"));
        QCOMPARE(alert.message, QStringLiteral("You are using the latest version (1.0)."));
        QCOMPARE(alert.buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(alert.icon, AlertIcon::applicationIcon);
    }

    void startupCheckWhenDue_data()
    {
        QTest::addColumn<QVariant>("last");
        QTest::addColumn<bool>("checks");
        QTest::newRow("missing key") << QVariant() << true;
        QTest::newRow("23 hours old") << QVariant(fixedNow.addSecs(-23 * 3600)) << false;
        QTest::newRow("a second short of a day") << QVariant(fixedNow.addSecs(-86'399)) << false;
        QTest::newRow("exactly 24 hours") << QVariant(fixedNow.addSecs(-86'400)) << true;
        QTest::newRow("a week old") << QVariant(fixedNow.addDays(-7)) << true;
        QTest::newRow("in the future") << QVariant(fixedNow.addSecs(3600)) << false;
        QTest::newRow("not a date") << QVariant(QStringLiteral("yesterday")) << true;
    }
    void startupCheckWhenDue()
    {
        QFETCH(QVariant, last);
        QFETCH(bool, checks);
        if (last.isValid())
            m_settings->setValue(UpdateController::lastCheckKey, last);
        auto updates = controller();
        const int before = requests();
        QVERIFY(run(updates->checkForUpdatesIfDue()));
        QCOMPARE(requests(), before + (checks ? 1 : 0));
        QVERIFY(m_platform->alerts.isEmpty());  // up to date: an automatic check stays silent
        if (checks)
            QCOMPARE(m_settings->value(UpdateController::lastCheckKey).toDateTime(), fixedNow);
    }

    // Which results speak, and when the date is written.
    void reporting_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<bool>("userInitiated");
        QTest::addColumn<QString>("alertTitle");  // empty: no alert
        QTest::addColumn<bool>("dateWritten");
        const Response upToDate{200, manifest({}, "1.0"), {}, false};
        const Response available{200, manifest({}), {}, false};
        const Response failing{500, "oops", {}, false};
        const Response badVersion{200, manifest({}, "two"), {}, false};
        QTest::newRow("automatic, up to date") << upToDate << false << "" << true;
        QTest::newRow("menu, up to date") << upToDate << true << "ostrel is up to date" << true;
        QTest::newRow("automatic, available") << available << false << "ostrel 2.0 is available" << true;
        QTest::newRow("automatic, server error") << failing << false << "" << false;
        QTest::newRow("menu, server error") << failing << true << "Unable to check for updates" << false;
        QTest::newRow("menu, bad version") << badVersion << true << "Unable to check for updates" << false;
    }
    void reporting()
    {
        QFETCH(Response, response);
        QFETCH(bool, userInitiated);
        QFETCH(QString, alertTitle);
        QFETCH(bool, dateWritten);
        const QDateTime earlier = fixedNow.addDays(-3);
        m_settings->setValue(UpdateController::lastCheckKey, earlier);
        serve(response);
        auto updates = controller();
        QVERIFY(run(updates->checkForUpdates(userInitiated)));
        QCOMPARE(m_platform->alerts.size(), alertTitle.isEmpty() ? 0 : 1);
        if (!alertTitle.isEmpty())
            QCOMPARE(m_platform->alerts.first().title, alertTitle);
        if (alertTitle == QLatin1String("Unable to check for updates")) {
            const AlertRequest &alert = m_platform->alerts.first();
            QCOMPARE(alert.style, AlertStyle::warning);
            QCOMPARE(alert.message, QStringLiteral("Please check your internet connection and try again later."));
            QCOMPARE(alert.buttons, QStringList{QStringLiteral("OK")});
        }
        QCOMPARE(m_settings->value(UpdateController::lastCheckKey).toDateTime(), dateWritten ? fixedNow : earlier);
    }

    void silentServerEndsTheCheck()
    {
        serve(Response{200, {}, {}, true});
        m_setup.transferTimeout = std::chrono::milliseconds(300);
        auto updates = controller();
        QVERIFY(run(updates->checkForUpdates(true)));
        QVERIFY(!updates->isChecking());
        QCOMPARE(m_platform->alerts.size(), 1);
        QCOMPARE(m_platform->alerts.first().title, QStringLiteral("Unable to check for updates"));
    }

    // Alert buttons, the button pressed and what it opens.
    void alerts_data()
    {
        QTest::addColumn<QByteArray>("extra");
        QTest::addColumn<int>("pressed");  // -1: closed without choosing
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("opened");  // empty: nothing
        const QByteArray notes = ", \"releaseNotesURL\": \"https://example.org/notes\"";
        const QByteArray minimum = ", \"minimumSystemVersion\": \"7.0\"";
        const QString download = QStringLiteral("https://example.org/ostrel-2.0.tar.gz");
        const QString notesURL = QStringLiteral("https://example.org/notes");
        const QStringList two{QStringLiteral("Download Update"), QStringLiteral("Later")};
        const QStringList three = two + QStringList{QStringLiteral("Release Notes")};
        const QString available = QStringLiteral("ostrel 2.0 is available");
        const QString newer = QStringLiteral("ostrel 2.0 requires a newer Linux version");
        QTest::newRow("no notes URL: Download") << QByteArray() << 0 << available << two << download;
        QTest::newRow("no notes URL: Later") << QByteArray() << 1 << available << two << "";
        QTest::newRow("no notes URL: closed") << QByteArray() << -1 << available << two << "";
        QTest::newRow("notes URL: Release Notes") << notes << 2 << available << three << notesURL;
        QTest::newRow("notes URL: closed is Later") << notes << -1 << available << three << "";
        QTest::newRow("newer system: OK") << minimum << 0 << newer << QStringList{QStringLiteral("OK")} << "";
        QTest::newRow("newer system, notes: Release Notes")
            << minimum + notes << 1 << newer << QStringList{QStringLiteral("OK"), QStringLiteral("Release Notes")}
            << notesURL;
        QTest::newRow("met minimum") << QByteArray(", \"minimumSystemVersion\": \"6.1\"") << 1 << available << two << "";
    }
    void alerts()
    {
        QFETCH(QByteArray, extra);
        QFETCH(int, pressed);
        QFETCH(QString, title);
        QFETCH(QStringList, buttons);
        QFETCH(QString, opened);
        serve(Response{200, manifest(extra), {}, false});
        if (pressed >= 0)
            m_platform->alertAnswers.enqueue(pressed);
        auto updates = controller();
        QVERIFY(run(updates->checkForUpdatesIfDue()));  // news is reported even by the automatic check
        QCOMPARE(m_platform->alerts.size(), 1);
        const AlertRequest &alert = m_platform->alerts.first();
        QCOMPARE(alert.title, title);
        QCOMPARE(alert.buttons, buttons);
        QCOMPARE(alert.icon, AlertIcon::applicationIcon);
        if (title.contains(QLatin1String("newer")))
            QCOMPARE(alert.message, QStringLiteral("This update requires Linux 7.0 or later."));
        QCOMPARE(m_platform->openedUrls, opened.isEmpty() ? QList<QUrl>{} : QList<QUrl>{QUrl(opened)});
    }

    void releaseNotesFollowTheMessage()
    {
        serve(Response{200, manifest(", \"releaseNotes\": {\"en\": \"Faster.\", \"de\": \"Schneller.\"}"), {}, false});
        auto updates = controller();
        QVERIFY(run(updates->checkForUpdates(true)));
        QCOMPARE(m_platform->alerts.first().message, QStringLiteral("You are currently using version 1.0.\n\nSchneller."));
    }

    void runningVersionAndBuild_data()
    {
        QTest::addColumn<std::optional<QString>>("shortVersion");
        QTest::addColumn<std::optional<QString>>("build");
        QTest::addColumn<QByteArray>("offered");
        QTest::addColumn<QString>("title");
        const QString news = QStringLiteral("ostrel 1.0 is available");
        const QString current = QStringLiteral("ostrel is up to date");
        const QByteArray build5 = manifest(", \"build\": 5", "1.0");
        QTest::newRow("build 1.2 checks as 0") << std::optional<QString>("1.0") << std::optional<QString>("1.2") << build5
                                               << news;
        QTest::newRow("build 4") << std::optional<QString>("1.0") << std::optional<QString>("4") << build5 << news;
        QTest::newRow("build 5") << std::optional<QString>("1.0") << std::optional<QString>("5") << build5 << current;
        QTest::newRow("no build") << std::optional<QString>("1.0") << std::optional<QString>() << build5 << news;
        QTest::newRow("no version is 0.0.0") << std::optional<QString>() << std::optional<QString>("9")
                                             << manifest({}, "0.0.1") << QStringLiteral("ostrel 0.0.1 is available");
    }
    void runningVersionAndBuild()
    {
        QFETCH(std::optional<QString>, shortVersion);
        QFETCH(std::optional<QString>, build);
        QFETCH(QByteArray, offered);
        QFETCH(QString, title);
        m_setup.shortVersion = shortVersion;
        m_setup.buildVersion = build;
        serve(Response{200, offered, {}, false});
        m_platform->alertAnswers.enqueue(1);
        auto updates = controller();
        QVERIFY(run(updates->checkForUpdates(true)));
        QCOMPARE(m_platform->alerts.size(), 1);
        QCOMPARE(m_platform->alerts.first().title, title);
        if (!shortVersion && title.contains(QLatin1String("available")))
            QCOMPARE(m_platform->alerts.first().message, QStringLiteral("You are currently using version 0.0.0."));
    }

    void insideAStoreNothingIsAsked()
    {
        m_setup.checkingAvailable = false;
        auto updates = controller();
        const int before = requests();
        QVERIFY(run(updates->checkForUpdatesIfDue()));
        QCOMPARE(requests(), before);
        QVERIFY(m_platform->alerts.isEmpty());
        QVERIFY(!m_settings->contains(UpdateController::lastCheckKey));
    }

    void noManifestLocation()
    {
        m_setup.manifestURL = QUrl();
        auto updates = controller();
        QVERIFY(run(updates->checkForUpdates(false)));
        QVERIFY(m_platform->alerts.isEmpty());
        QVERIFY(run(updates->checkForUpdates(true)));
        QCOMPARE(m_platform->alerts.size(), 1);
        QCOMPARE(m_platform->alerts.first().title, QStringLiteral("Unable to check for updates"));
        QVERIFY(!updates->isChecking());
    }
};

QTEST_GUILESS_MAIN(TestUpdateController)
#include "tst_updatecontroller.moc"
