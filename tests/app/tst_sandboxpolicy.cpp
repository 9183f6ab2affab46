// Whether Chromium's sandbox stays on, for root and other users, with the
// option and with Qt WebEngine's own variables; and what the user is told.
#include "SandboxPolicy.h"

#include <QTest>
#include <vector>

using namespace ostrel;
using Decision = SandboxChoice::Decision;

Q_DECLARE_METATYPE(SandboxChoice::Decision)

namespace {
bool optionIn(const QStringList &arguments)
{
    std::vector<QByteArray> bytes;
    for (const QString &a : arguments)
        bytes.push_back(a.toUtf8());
    std::vector<const char *> argv{"ostrel"};
    for (const QByteArray &b : bytes)
        argv.push_back(b.constData());
    argv.push_back(nullptr);
    return hasNoSandboxOption(static_cast<int>(argv.size() - 1), argv.data());
}
}  // namespace

class TestSandboxPolicy : public QObject {
    Q_OBJECT

private slots:
    void choice_data()
    {
        QTest::addColumn<bool>("root");
        QTest::addColumn<bool>("option");
        QTest::addColumn<bool>("disableVariable");
        QTest::addColumn<QByteArray>("flagsVariable");
        QTest::addColumn<Decision>("decision");
        QTest::addColumn<QString>("turnedOffBy");
        QTest::newRow("user") << false << false << false << QByteArray() << Decision::keep << "";
        QTest::newRow("user, other flags") << false << false << false << QByteArray("--disable-gpu") << Decision::keep << "";
        QTest::newRow("user, option") << false << true << false << QByteArray() << Decision::off << "--no-sandbox";
        QTest::newRow("root") << true << false << false << QByteArray() << Decision::refuseAsRoot << "";
        QTest::newRow("root, other flags") << true << false << false << QByteArray("--disable-gpu") << Decision::refuseAsRoot << "";
        QTest::newRow("root, a flag that only contains the words")
            << true << false << false << QByteArray("--no-sandboxes") << Decision::refuseAsRoot << "";
        QTest::newRow("root, option") << true << true << false << QByteArray() << Decision::off << "--no-sandbox";
        QTest::newRow("root, option wins over the variable")
            << true << true << true << QByteArray() << Decision::off << "--no-sandbox";
        QTest::newRow("root, variable, whatever its value") << true << false << true << QByteArray() << Decision::off
                                        << "QTWEBENGINE_DISABLE_SANDBOX";
        QTest::newRow("user, variable") << false << false << true << QByteArray() << Decision::off
                                        << "QTWEBENGINE_DISABLE_SANDBOX";
        QTest::newRow("root, flag among others") << true << false << false
                                                 << QByteArray("--disable-gpu  --no-sandbox") << Decision::off
                                                 << "QTWEBENGINE_CHROMIUM_FLAGS";
    }
    void choice()
    {
        QFETCH(bool, root);
        QFETCH(bool, option);
        QFETCH(bool, disableVariable);
        QFETCH(QByteArray, flagsVariable);
        QFETCH(Decision, decision);
        QFETCH(QString, turnedOffBy);
        const SandboxChoice choice = chooseSandbox({root, option, disableVariable, flagsVariable});
        QCOMPARE(choice.decision, decision);
        QCOMPARE(choice.turnedOffBy, turnedOffBy);
        if (decision == Decision::off)
            QVERIFY(sandboxOffNotice(choice).contains(turnedOffBy));
    }

    void option_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("found");
        QTest::newRow("none") << QStringList{} << false;
        QTest::newRow("alone") << QStringList{"--no-sandbox"} << true;
        QTest::newRow("after a file") << QStringList{"mail.pst", "--no-sandbox"} << true;
        QTest::newRow("before a file") << QStringList{"--no-sandbox", "mail.ost"} << true;
        QTest::newRow("a file of that name after --") << QStringList{"--", "--no-sandbox"} << false;
        QTest::newRow("with a value") << QStringList{"--no-sandbox=1"} << false;
        QTest::newRow("single dash") << QStringList{"-no-sandbox"} << false;
        QTest::newRow("another option") << QStringList{"--version"} << false;
    }
    void option()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, found);
        QCOMPARE(optionIn(arguments), found);
    }

    void offTellsChromiumBeforeItStarts()
    {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "");
        const char *argv[] = {"ostrel", nullptr};
        QVERIFY(SandboxInputs::ofThisProcess(1, argv).disableSandboxEnvSet);  // set though empty
        qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
        QVERIFY(!SandboxInputs::ofThisProcess(1, argv).disableSandboxEnvSet);
        applySandboxChoice({Decision::keep, {}});
        QVERIFY(!qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"));
        applySandboxChoice({Decision::refuseAsRoot, {}});
        QVERIFY(!qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"));
        applySandboxChoice({Decision::off, QStringLiteral("--no-sandbox")});
        QCOMPARE(qgetenv("QTWEBENGINE_DISABLE_SANDBOX"), QByteArray("1"));
        // What this process reads back agrees.
        QCOMPARE(chooseSandbox(SandboxInputs::ofThisProcess(1, argv)).decision, Decision::off);
        qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    }

    void theRefusalNamesTheOption()
    {
        QVERIFY(rootRefusalLine().contains(QLatin1String("--no-sandbox")));
        QVERIFY(!rootRefusalLine().contains(QLatin1Char('\n')));
        const AlertRequest alert = rootRefusalAlert();
        QVERIFY(alert.message.contains(QLatin1String("--no-sandbox")));
        QVERIFY(!alert.title.isEmpty());
        QCOMPARE(alert.buttons.size(), 1);
        QVERIFY(!sandboxOffNotice({Decision::off, QStringLiteral("--no-sandbox")}).contains(QLatin1Char('\n')));
    }
};

QTEST_GUILESS_MAIN(TestSandboxPolicy)
#include "tst_sandboxpolicy.moc"
