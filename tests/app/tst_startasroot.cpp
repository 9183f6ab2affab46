// The real ostrel binary started on an X display the way newcomers start it:
// as root without --no-sandbox it names the option in a dialog and one line
// on standard error and exits non-zero without starting Chromium (also when
// nobody answers the message); as root
// with the option (or Qt WebEngine's own variable) the window appears with
// the sandbox off and says so; any other user keeps the sandbox. Windows are
// seen and keys pressed from outside, through xdotool, as a user would.
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>
#include <unistd.h>

namespace {
const QString kDialogTitle = QStringLiteral("ostrel cannot run as root");
constexpr int kHangGuardMs = 90'000;  // guards against a hang; no timing is asserted

enum class User { root, other };
enum class Outcome { refused, windowWithSandbox, windowWithoutSandbox };

QString run(const QString &program, const QStringList &arguments, int *exitCode = nullptr)
{
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(30'000);
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// Names of the mapped top-level windows on the display.
QStringList visibleWindows()
{
    int code = 0;
    const QString ids = run(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", "."}, &code);
    QStringList names;
    if (code != 0)
        return names;
    for (const QString &id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString name = run(QStringLiteral("xdotool"), {"getwindowname", id});
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

QString windowId(const QString &name)
{
    const QString pattern = QLatin1Char('^') + QRegularExpression::escape(name) + QLatin1Char('$');
    return run(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", pattern}).section('\n', 0, 0);
}

struct Child {
    pid_t pid;
    QString command;
    QStringList arguments;
};

// The direct children of a process, from /proc.
QList<Child> childrenOf(qint64 parent)
{
    QList<Child> out;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList({"[0-9]*"}, QDir::Dirs);
    for (const QString &entry : entries) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        const qsizetype open = line.indexOf('(');
        if (open < 0 || close < open)
            continue;
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (rest.size() < 2 || rest.at(1).toLongLong() != parent)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        QStringList arguments;
        if (cmdline.open(QIODevice::ReadOnly)) {
            for (const QByteArray &a : cmdline.readAll().split('\0'))
                arguments << QString::fromLocal8Bit(a);
        }
        out.append({static_cast<pid_t>(entry.toInt()), QString::fromLatin1(line.mid(open + 1, close - open - 1)),
                    arguments});
    }
    return out;
}

QList<Child> webEngineChildren(qint64 parent)
{
    QList<Child> out;
    for (const Child &c : childrenOf(parent)) {
        if (c.command.startsWith(QLatin1String("QtWebEngine")))
            out << c;
    }
    return out;
}
}  // namespace

Q_DECLARE_METATYPE(User)
Q_DECLARE_METATYPE(Outcome)

class TestStartAsRoot : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    QString m_archive;

    QProcessEnvironment environment(const QStringList &extra) const
    {
        // The suites' own sandbox switch must not leak in: this test is about it.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QTWEBENGINE_DISABLE_SANDBOX", "QT_QPA_PLATFORM", "LANGUAGE", "LANG", "LC_MESSAGES"})
            env.remove(QString::fromLatin1(name));
        env.insert("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");  // and Chromium then ignores --no-sandbox in argv
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("LC_ALL", "C.UTF-8");
        env.insert("HOME", m_home->path());
        env.insert("XDG_CONFIG_HOME", m_home->filePath("config"));
        env.insert("XDG_CACHE_HOME", m_home->filePath("cache"));
        env.insert("XDG_DATA_HOME", m_home->filePath("data"));
        env.insert("XDG_RUNTIME_DIR", m_home->filePath("runtime"));
        env.insert("XAUTHORITY", m_home->filePath("xauth"));
        for (const QString &assignment : extra)
            env.insert(assignment.section('=', 0, 0), assignment.section('=', 1));
        return env;
    }

    static void stop(QProcess &process)
    {
        const QList<Child> left = webEngineChildren(process.processId());
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(10'000)) {
                process.kill();
                process.waitForFinished(10'000);
            }
        }
        for (const Child &c : left)
            ::kill(c.pid, SIGKILL);
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X display (ctest runs this suite under xvfb-run)");
        QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(), "xdotool is missing: run scripts/install-deps");
        QVERIFY2(QFile::exists(OSTREL_APP_BINARY), OSTREL_APP_BINARY);
    }

    void init()
    {
        // Readable by the other user of the last row.
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        QFile::setPermissions(m_home->path(), QFileDevice::Permissions(0x7777));
        for (const char *sub : {"config/ostrel", "cache", "data", "runtime"})
            QVERIFY(QDir(m_home->path()).mkpath(QString::fromLatin1(sub)));
        for (const char *sub : {"config", "config/ostrel", "cache", "data", "runtime"})
            QFile::setPermissions(m_home->filePath(QString::fromLatin1(sub)), QFileDevice::Permissions(0x7777));
        const QString xauth = qEnvironmentVariable("XAUTHORITY");
        if (!xauth.isEmpty())
            QVERIFY(QFile::copy(xauth, m_home->filePath("xauth")));
        QFile::setPermissions(m_home->filePath("xauth"), QFileDevice::Permissions(0x6644));
        // A start-up update check counts as done today: no request leaves the machine.
        {
            QSettings settings(m_home->filePath("config/ostrel/ostrel.conf"), QSettings::IniFormat);
            settings.setValue("lastSuccessfulUpdateCheck", QDateTime::currentDateTimeUtc());
        }
        QFile::setPermissions(m_home->filePath("config/ostrel/ostrel.conf"), QFileDevice::Permissions(0x6666));
        m_archive = m_home->filePath("demo.pst");
        QVERIFY2(QFile::copy(OSTREL_DEMO_ARCHIVE, m_archive), OSTREL_DEMO_ARCHIVE);
        QFile::setPermissions(m_archive, QFileDevice::Permissions(0x6644));
    }

    void start_data()
    {
        QTest::addColumn<User>("user");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("notice");  // what the sandbox-off line names
        QTest::addColumn<bool>("answered");   // the refusal: the user presses Return, or nobody is there
        QTest::newRow("root") << User::root << QStringList{} << QStringList{} << Outcome::refused << "" << true;
        QTest::newRow("root, nobody answers")
            << User::root << QStringList{} << QStringList{} << Outcome::refused << "" << false;
        QTest::newRow("root, --no-sandbox") << User::root << QStringList{"--no-sandbox"} << QStringList{}
                                            << Outcome::windowWithoutSandbox << "--no-sandbox" << false;
        QTest::newRow("root, Qt WebEngine's variable")
            << User::root << QStringList{} << QStringList{"QTWEBENGINE_DISABLE_SANDBOX=1"}
            << Outcome::windowWithoutSandbox << "QTWEBENGINE_DISABLE_SANDBOX" << false;
        QTest::newRow("another user") << User::other << QStringList{} << QStringList{} << Outcome::windowWithSandbox
                                      << "" << false;
    }
    void start()
    {
        QFETCH(User, user);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QFETCH(Outcome, outcome);
        QFETCH(QString, notice);
        QFETCH(bool, answered);
        const bool root = geteuid() == 0;
        if (user == User::root && !root)
            QSKIP("starts ostrel as root; this test runs as another user");

        QProcess app;
        app.setProcessEnvironment(this->environment(environment));
        QStringList command{QStringLiteral(OSTREL_APP_BINARY)};
        if (user == User::other && root)  // nobody, with its own groups
            command = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"} + command;
        command << arguments << m_archive;
        app.start(command.takeFirst(), command);
        QVERIFY2(app.waitForStarted(), qPrintable(app.errorString()));
        auto cleanup = qScopeGuard([&] { stop(app); });
        QByteArray errors;
        const auto output = [&] {
            errors += app.readAllStandardError();
            return QString::fromLocal8Bit(errors);
        };

        const QString expected = outcome == Outcome::refused ? kDialogTitle : QStringLiteral("demo.pst \u2014 ostrel");
        QDeadlineTimer guard(kHangGuardMs);
        QString id;
        while (id.isEmpty() && app.state() == QProcess::Running && !guard.hasExpired()) {
            app.waitForFinished(250);
            id = windowId(expected);
        }
        QVERIFY2(!id.isEmpty(), qPrintable(QStringLiteral("no window \"%1\"; the process %2; it said:\n%3")
                                               .arg(expected, app.state() == QProcess::Running ? "runs" : "ended",
                                                    output())));

        if (outcome == Outcome::refused) {
            // Only the message: no main window and no Chromium behind it.
            QCOMPARE(visibleWindows(), QStringList{kDialogTitle});
            QVERIFY(webEngineChildren(app.processId()).isEmpty());
            QTRY_VERIFY_WITH_TIMEOUT(output().contains(QLatin1String("--no-sandbox")), 10'000);
            const QStringList lines = output().split(QLatin1Char('\n'), Qt::SkipEmptyParts).filter("--no-sandbox");
            QCOMPARE(lines.size(), 1);
            QVERIFY(lines.constFirst().startsWith(QLatin1String("ostrel: ")));
            // The user answers the message, or it closes itself when nobody
            // does; either way the process ends with an error status.
            if (answered)
                run(QStringLiteral("xdotool"), {"windowfocus", "--sync", id, "key", "Return"});
            QVERIFY2(app.waitForFinished(answered ? 30'000 : kHangGuardMs),
                     answered ? "the message was answered but ostrel went on" : "the unanswered message kept ostrel running");
            QCOMPARE(app.exitStatus(), QProcess::NormalExit);
            QCOMPARE(app.exitCode(), 1);
            return;
        }

        // Chromium started and kept running with the sandbox as chosen: its
        // helper processes carry --no-sandbox exactly when it is off.
        QList<Child> helpers;
        while (helpers.isEmpty() && app.state() == QProcess::Running && !guard.hasExpired()) {
            app.waitForFinished(250);
            helpers = webEngineChildren(app.processId());
        }
        QVERIFY2(!helpers.isEmpty(), qPrintable(output()));
        QVERIFY2(app.state() == QProcess::Running, qPrintable(output()));
        QVERIFY(visibleWindows().contains(expected));
        for (const Child &helper : webEngineChildren(app.processId()))
            QCOMPARE(helper.arguments.contains(QLatin1String("--no-sandbox")), outcome == Outcome::windowWithoutSandbox);

        const QStringList offLines = output().split(QLatin1Char('\n')).filter(QStringLiteral("Chromium's sandbox is off"));
        if (outcome == Outcome::windowWithoutSandbox) {
            QCOMPARE(offLines.size(), 1);
            QVERIFY(offLines.constFirst().contains(QStringLiteral("(%1)").arg(notice)));
        } else {
            QVERIFY2(offLines.isEmpty(), qPrintable(output()));
        }
        QVERIFY(!output().contains(QLatin1String("Running as root without --no-sandbox")));
    }

    // In a terminal without a display: the command line and the messages on
    // standard error still work, and nothing aborts.
    void withoutDisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("rootOnly");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");  // in the output, both streams
        QTest::newRow("--version") << QStringList{"--version"} << false << 0 << QStringLiteral("ostrel ");
        QTest::newRow("--help") << QStringList{"--help"} << false << 0 << QStringLiteral("--no-sandbox");
        QTest::newRow("root") << QStringList{} << true << 1 << QStringLiteral("ostrel: not starting as root");
        QTest::newRow("--no-sandbox") << QStringList{"--no-sandbox"} << false << 1
                                      << QStringLiteral("ostrel: no display to show its windows on");
    }
    void withoutDisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, rootOnly);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        if (rootOnly && geteuid() != 0)
            QSKIP("starts ostrel as root; this test runs as another user");
        QProcess app;
        QProcessEnvironment env = environment({});
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::MergedChannels);
        app.start(QStringLiteral(OSTREL_APP_BINARY), arguments << m_archive);
        auto cleanup = qScopeGuard([&] { stop(app); });
        QVERIFY2(app.waitForFinished(kHangGuardMs), "ostrel kept running without a display");
        const QString output = QString::fromLocal8Bit(app.readAll());
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), exitCode);
        QVERIFY2(output.contains(said), qPrintable(output));
        if (rootOnly) {
            QCOMPARE(output.split(QLatin1Char('\n'), Qt::SkipEmptyParts).filter("--no-sandbox").size(), 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestStartAsRoot)
#include "tst_startasroot.moc"
