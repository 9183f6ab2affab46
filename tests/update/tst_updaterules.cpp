// The update rules that need no network: versions, manifests, release notes,
// the judgement of a manifest and the facts about the running application.
#include "update/RunningApplication.h"
#include "update/UpdateChecker.h"
#include "update/Version.h"

#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;

using Numbers = QList<qint64>;
using OptionalList = std::optional<QStringList>;
using OptionalText = std::optional<QString>;
using Notes = QMap<QString, QString>;
Q_DECLARE_METATYPE(OptionalList)
Q_DECLARE_METATYPE(OptionalText)
Q_DECLARE_METATYPE(ostrel::ManifestDecodingError::Kind)

namespace {
ParsedVersion v(const char *text)
{
    auto parsed = parseVersion(QString::fromUtf8(text));
    if (!parsed)
        qFatal("test version %s does not parse", text);
    return *parsed;
}

UpdateManifest manifest(const QString &version, std::optional<qint64> build = std::nullopt,
                        OptionalText minimum = std::nullopt,
                        const QString &download = QStringLiteral("https://example.org/ostrel.tar.gz"),
                        std::optional<QUrl> notesURL = std::nullopt)
{
    return UpdateManifest(version, build, minimum, QUrl(download), notesURL, std::nullopt);
}
}  // namespace

class TestUpdateRules : public QObject {
    Q_OBJECT
private slots:
    void parsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<Numbers>("numbers");
        QTest::addColumn<OptionalList>("preRelease");
        QTest::newRow("1.2") << "1.2" << true << Numbers{1, 2} << OptionalList();
        QTest::newRow("line break") << "2.0.1\n" << true << Numbers{2, 0, 1} << OptionalList();
        QTest::newRow("spaces around") << "  \t3 " << true << Numbers{3} << OptionalList();
        QTest::newRow("beta.2") << "1.0-beta.2" << true << Numbers{1, 0} << OptionalList(QStringList{"beta", "2"});
        QTest::newRow("rc-1 one identifier") << "1.0-rc-1" << true << Numbers{1, 0} << OptionalList(QStringList{"rc-1"});
        QTest::newRow("plus in identifier") << "1.0-a+b" << true << Numbers{1, 0} << OptionalList(QStringList{"a+b"});
        QTest::newRow("many components") << "1.2.3.4.5.6" << true << Numbers{1, 2, 3, 4, 5, 6} << OptionalList();
        QTest::newRow("largest component") << "9223372036854775807" << true
                                           << Numbers{std::numeric_limits<qint64>::max()} << OptionalList();
        QTest::newRow("leading zeros") << "01.002" << true << Numbers{1, 2} << OptionalList();
        for (const char *bad : {"", "   ", "1..2", "1.2a", "1.2+5", "1.2-", "1.2-a..b", "1.2-.a", "1.2-a.",
                                "9223372036854775808", ".1", "1.", "+1.2", "1.-2", "v1.2", "1.0 (5)", "-1"})
            QTest::newRow(qPrintable(QStringLiteral("bad \"%1\"").arg(QString::fromUtf8(bad))))
                << QString::fromUtf8(bad) << false << Numbers{} << OptionalList();
    }
    void parsing()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto parsed = parseVersion(text);
        QCOMPARE(parsed.has_value(), valid);
        if (!valid)
            return;
        QFETCH(Numbers, numbers);
        QFETCH(OptionalList, preRelease);
        QCOMPARE(parsed->numbers, numbers);
        QCOMPARE(parsed->preRelease, preRelease);
    }

    // Each row: a is before b; then b is not before a, and they are not the same.
    void ordering_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        const char *pairs[][2] = {
            {"1.2", "1.3"},          {"1.2", "1.10"},          {"1.2.9", "1.3"},       {"1.2", "1.2.1"},
            {"1.0-beta.2", "1.0"},   {"1.0-rc.1", "1.0"},      {"1.0-2", "1.0-10"},    {"1.0-10", "1.0-alpha"},
            {"1.0-alpha", "1.0-alpha.1"}, {"1.0-alpha.1", "1.0-beta"}, {"1.0-01", "1.0-1"}, {"1.0--1", "1.0-0"},
            {"1.0-+1", "1.0-2"},     {"1.0-B", "1.0-a"},       {"2.0-rc", "2.0.1"},    {"1.0-a.b", "1.0-a.c"},
            {"0.9", "1.0-alpha"},
        };
        for (const auto &p : pairs)
            QTest::newRow(qPrintable(QStringLiteral("%1 < %2").arg(QLatin1String(p[0]), QLatin1String(p[1]))))
                << QString::fromLatin1(p[0]) << QString::fromLatin1(p[1]);
    }
    void ordering()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QVERIFY(isOrderedBefore(v(a.toUtf8()), v(b.toUtf8())));
        QVERIFY(!isOrderedBefore(v(b.toUtf8()), v(a.toUtf8())));
        QVERIFY(!isSameVersion(v(a.toUtf8()), v(b.toUtf8())));
    }

    void sameness_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("missing places are 0") << "1.2" << "1.2.0" << true;
        QTest::newRow("missing places are 0 (long)") << "1" << "1.0.0.0" << true;
        QTest::newRow("same identifiers") << "1.0-rc.1" << "1.0.0-rc.1" << true;
        QTest::newRow("one without identifiers") << "1.0" << "1.0-rc" << false;
        QTest::newRow("01 is not 1 as text") << "1.0-01" << "1.0-1" << false;
        QTest::newRow("different numbers") << "1.2" << "1.2.1" << false;
    }
    void sameness()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QCOMPARE(isSameVersion(v(a.toUtf8()), v(b.toUtf8())), same);
        QCOMPARE(isSameVersion(v(b.toUtf8()), v(a.toUtf8())), same);
        if (same) {
            QVERIFY(!isOrderedBefore(v(a.toUtf8()), v(b.toUtf8())));
            QVERIFY(!isOrderedBefore(v(b.toUtf8()), v(a.toUtf8())));
        }
    }

    void releaseNotes_data()
    {
        QTest::addColumn<Notes>("notes");
        QTest::addColumn<QStringList>("preferred");
        QTest::addColumn<OptionalText>("expected");
        const Notes deEn{{"de", "Deutsch"}, {"en", "English"}};
        QTest::newRow("de-AT falls back to de") << deEn << QStringList{"de-AT", "fr"} << OptionalText("Deutsch");
        QTest::newRow("exact key first") << Notes{{"de", "Deutsch"}, {"de-AT", "Österreichisch"}}
                                         << QStringList{"de-AT"} << OptionalText("Österreichisch");
        QTest::newRow("keys are case-sensitive") << deEn << QStringList{"DE"} << OptionalText("English");
        QTest::newRow("order of preference") << deEn << QStringList{"fr", "en-GB", "de"} << OptionalText("English");
        QTest::newRow("ja: first key") << Notes{{"fr", "Français"}, {"de", "Deutsch"}} << QStringList{"ja"}
                                       << OptionalText("Deutsch");
        QTest::newRow("none preferred: first key") << Notes{{"fr", "Français"}, {"de", "Deutsch"}} << QStringList{}
                                                   << OptionalText("Deutsch");
        QTest::newRow("none matching: en") << Notes{{"fr", "Français"}, {"en", "English"}} << QStringList{"ja"}
                                           << OptionalText("English");
        QTest::newRow("empty pieces dropped") << deEn << QStringList{"-de"} << OptionalText("Deutsch");
        QTest::newRow("empty map") << Notes{} << QStringList{} << OptionalText();
    }
    void releaseNotes()
    {
        QFETCH(Notes, notes);
        QFETCH(QStringList, preferred);
        QFETCH(OptionalText, expected);
        UpdateManifest m = manifest(QStringLiteral("1.0"));
        m.releaseNotes = notes;
        QCOMPARE(m.localizedReleaseNotes(preferred), expected);
        m.releaseNotes.reset();
        QCOMPARE(m.localizedReleaseNotes(preferred), OptionalText());
    }

    void decoding_data()
    {
        using Kind = ManifestDecodingError::Kind;
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("key");
        const QByteArray dl = "\"downloadURL\": \"https://example.org/dl\"";
        QTest::newRow("minimal") << "{\"version\": \"1.0\", " + dl + "}" << true << Kind::notJson << "";
        QTest::newRow("nulls and extras") << "{\"version\": \"1.0\", " + dl
                                                 + ", \"build\": null, \"minimumSystemVersion\": null,"
                                                   " \"releaseNotesURL\": null, \"releaseNotes\": null, \"x\": [1]}"
                                          << true << Kind::notJson << "";
        QTest::newRow("missing version") << "{" + dl + "}" << false << Kind::missingKey << "version";
        QTest::newRow("null version") << "{\"version\": null, " + dl + "}" << false << Kind::missingKey << "version";
        QTest::newRow("missing downloadURL") << QByteArray("{\"version\": \"1.0\"}") << false << Kind::missingKey
                                             << "downloadURL";
        QTest::newRow("version a number") << "{\"version\": 1.0, " + dl + "}" << false << Kind::wrongType << "version";
        QTest::newRow("build a string") << "{\"version\": \"1\", \"build\": \"42\", " + dl + "}" << false
                                        << Kind::wrongType << "build";
        QTest::newRow("build a fraction") << "{\"version\": \"1\", \"build\": 4.5, " + dl + "}" << false
                                          << Kind::wrongType << "build";
        QTest::newRow("downloadURL a number") << QByteArray("{\"version\": \"1\", \"downloadURL\": 5}") << false
                                              << Kind::wrongType << "downloadURL";
        QTest::newRow("downloadURL not a URL") << QByteArray("{\"version\": \"1\", \"downloadURL\": \"http://exa mple\"}")
                                               << false << Kind::invalidURL << "downloadURL";
        QTest::newRow("downloadURL empty") << QByteArray("{\"version\": \"1\", \"downloadURL\": \"\"}") << false
                                           << Kind::invalidURL << "downloadURL";
        QTest::newRow("notes not an object") << "{\"version\": \"1\", \"releaseNotes\": \"hi\", " + dl + "}" << false
                                             << Kind::wrongType << "releaseNotes";
        QTest::newRow("note not a text") << "{\"version\": \"1\", \"releaseNotes\": {\"en\": 1}, " + dl + "}" << false
                                         << Kind::wrongType << "releaseNotes.en";
        QTest::newRow("not JSON") << QByteArray("{\"version\": ") << false << Kind::notJson << "";
        QTest::newRow("empty body") << QByteArray() << false << Kind::notJson << "";
        QTest::newRow("an array") << QByteArray("[]") << false << Kind::notAnObject << "";
        QTest::newRow("snake case is not the key") << QByteArray("{\"version\": \"1\", \"download_url\": \"https://x\"}")
                                                   << false << Kind::missingKey << "downloadURL";
    }
    void decoding()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        const auto decoded = UpdateManifest::fromJson(json);
        QCOMPARE(decoded.hasValue(), valid);
        if (valid)
            return;
        QFETCH(ManifestDecodingError::Kind, kind);
        QFETCH(QString, key);
        QCOMPARE(decoded.error().kind, kind);
        QCOMPARE(decoded.error().key, key);
        QVERIFY(!decoded.error().description().isEmpty());
    }

    void decodingEveryField()
    {
        const auto decoded = UpdateManifest::fromJson(
            "{\"version\": \"2.1\", \"build\": 9007199254740993, \"minimumSystemVersion\": \"6.1\","
            " \"downloadURL\": \"https://example.org/dl\", \"releaseNotesURL\": \"https://example.org/notes\","
            " \"releaseNotes\": {\"de\": \"Neu\", \"en\": \"New\"}}");
        QVERIFY(decoded.hasValue());
        // 2^53 + 1 stays exact: integers are not taken through double.
        const UpdateManifest expected(QStringLiteral("2.1"), 9007199254740993LL, QStringLiteral("6.1"),
                                      QUrl(QStringLiteral("https://example.org/dl")),
                                      QUrl(QStringLiteral("https://example.org/notes")),
                                      Notes{{"de", "Neu"}, {"en", "New"}});
        QCOMPARE(decoded.value() == expected, true);
        UpdateManifest other = expected;
        other.releaseNotes->insert(QStringLiteral("fr"), QStringLiteral("Nouveau"));
        QVERIFY(!(other == expected));
    }

    void evaluation_data()
    {
        using Kind = UpdateCheckOutcome::Kind;
        QTest::addColumn<UpdateManifest>("m");
        QTest::addColumn<QString>("current");
        QTest::addColumn<qint64>("build");
        QTest::addColumn<QString>("system");
        QTest::addColumn<int>("outcome");  // a Kind, or -1 for an error
        QTest::addColumn<UpdateCheckError>("error");
        const UpdateCheckError none;
        const auto up = int(Kind::upToDate), avail = int(Kind::available), newer = int(Kind::requiresNewerSystem);
        const QString sys = QStringLiteral("14.6.1");
        QTest::newRow("1.2 vs 1.2.0") << manifest("1.2") << "1.2.0" << 0ll << sys << up << none;
        QTest::newRow("1.2 vs 1.2.0, equal builds") << manifest("1.2", 7) << "1.2.0" << 7ll << sys << up << none;
        QTest::newRow("build 41 < 42") << manifest("1.2", 42) << "1.2" << 41ll << sys << avail << none;
        QTest::newRow("build absent, running 0") << manifest("1.2") << "1.2" << 0ll << sys << up << none;
        QTest::newRow("build absent, running -1") << manifest("1.2") << "1.2" << -1ll << sys << avail << none;
        QTest::newRow("higher build of an older version") << manifest("1.1", 99) << "1.2" << 1ll << sys << up << none;
        QTest::newRow("beta to release") << manifest("1.0") << "1.0-beta.2" << 0ll << sys << avail << none;
        QTest::newRow("release vs rc") << manifest("1.0-rc.1") << "1.0" << 0ll << sys << up << none;
        QTest::newRow("minimum 15 on 14.6.1") << manifest("2.0", {}, "15") << "1.0" << 0ll << sys << newer << none;
        QTest::newRow("minimum 15 on 15.0.0") << manifest("2.0", {}, "15") << "1.0" << 0ll << "15.0.0" << avail << none;
        QTest::newRow("minimum 14.6.1 on 14.6.1") << manifest("2.0", {}, "14.6.1") << "1.0" << 0ll << sys << avail
                                                 << none;
        QTest::newRow("bad minimum, no update") << manifest("1.0", {}, "fifteen") << "1.0" << 0ll << sys << up << none;
        QTest::newRow("bad minimum, update") << manifest("2.0", {}, "fifteen") << "1.0" << 0ll << sys << -1
                                             << UpdateCheckError::invalidVersion("fifteen");
        QTest::newRow("http download, older") << manifest("0.1", {}, {}, "http://example.org/dl") << "1.0" << 0ll << sys
                                              << -1 << UpdateCheckError::insecureURL();
        QTest::newRow("download without host") << manifest("2.0", {}, {}, "https:///dl") << "1.0" << 0ll << sys << -1
                                               << UpdateCheckError::insecureURL();
        QTest::newRow("HTTPS download in capitals") << manifest("2.0", {}, {}, "HTTPS://EXAMPLE.ORG/dl") << "1.0" << 0ll
                                                    << sys << avail << none;
        QTest::newRow("file release notes") << manifest("2.0", {}, {}, "https://example.org/dl",
                                                        QUrl(QStringLiteral("file:///etc/passwd")))
                                            << "1.0" << 0ll << sys << -1 << UpdateCheckError::insecureURL();
        QTest::newRow("insecure URL before bad version") << manifest("x", {}, {}, "ftp://example.org") << "y" << 0ll
                                                         << sys << -1 << UpdateCheckError::insecureURL();
        QTest::newRow("bad manifest version first") << manifest("x") << "y" << 0ll << sys << -1
                                                    << UpdateCheckError::invalidVersion("x");
        QTest::newRow("bad running version") << manifest("1.0") << "1.0 (5)" << 0ll << sys << -1
                                             << UpdateCheckError::invalidVersion("1.0 (5)");
        QTest::newRow("running version kept untrimmed") << manifest("1.0") << " 1.0 (5)\n" << 0ll << sys << -1
                                                        << UpdateCheckError::invalidVersion(" 1.0 (5)\n");
    }
    void evaluation()
    {
        QFETCH(UpdateManifest, m);
        QFETCH(QString, current);
        QFETCH(qint64, build);
        QFETCH(QString, system);
        QFETCH(int, outcome);
        QFETCH(UpdateCheckError, error);
        const auto result = UpdateChecker::evaluate(m, current, build, systemVersionFromRelease(system));
        if (outcome < 0) {
            QVERIFY(!result.hasValue());
            QCOMPARE(result.error() == error, true);
            return;
        }
        QVERIFY2(result.hasValue(), result.hasValue() ? "" : qPrintable(result.error().errorDescription()));
        QCOMPARE(int(result->kind), outcome);
        // The outcome carries the manifest exactly when there is an update.
        QCOMPARE(result->manifest.has_value(), outcome != int(UpdateCheckOutcome::Kind::upToDate));
        if (result->manifest)
            QCOMPARE(*result->manifest == m, true);
    }

    void errorDescriptions()
    {
        QCOMPARE(UpdateCheckError::invalidVersion(QStringLiteral("1.0 (5)")).errorDescription(),
                 QStringLiteral("The update manifest contains an invalid version: 1.0 (5)"));
        QCOMPARE(UpdateCheckError::insecureURL().errorDescription(),
                 QStringLiteral("The update server returned an insecure URL."));
        QCOMPARE(UpdateCheckError::invalidResponse().errorDescription(),
                 QStringLiteral("The update server returned an invalid response."));
        QCOMPARE(UpdateCheckError::manifestTooLarge().errorDescription(),
                 QStringLiteral("The update manifest is unexpectedly large."));
        QVERIFY(!(UpdateCheckError::invalidVersion(QStringLiteral("a")) == UpdateCheckError::invalidVersion(QStringLiteral("b"))));
    }

    void runningApplication_data()
    {
        QTest::addColumn<OptionalText>("build");
        QTest::addColumn<qint64>("number");
        QTest::newRow("missing") << OptionalText() << 0ll;
        QTest::newRow("empty") << OptionalText("") << 0ll;
        QTest::newRow("1.2") << OptionalText("1.2") << 0ll;
        QTest::newRow("42") << OptionalText("42") << 42ll;
        QTest::newRow("+42") << OptionalText("+42") << 42ll;
        QTest::newRow("-3") << OptionalText("-3") << -3ll;
        QTest::newRow("space") << OptionalText(" 42") << 0ll;
        QTest::newRow("too large") << OptionalText("9223372036854775808") << 0ll;
    }
    void runningApplication()
    {
        QFETCH(OptionalText, build);
        QFETCH(qint64, number);
        QCOMPARE(currentBuildNumber(build), number);
    }

    void runningVersionAndSystem()
    {
        QCOMPARE(currentVersionString(std::nullopt), QStringLiteral("0.0.0"));
        QCOMPARE(currentVersionString(QStringLiteral("1.4")), QStringLiteral("1.4"));
        QCOMPARE(systemVersionFromRelease(QStringLiteral("6.1.0-18-amd64")), (SystemVersion{6, 1, 0}));
        QCOMPARE(systemVersionFromRelease(QStringLiteral("5.15")), (SystemVersion{5, 15, 0}));
        QCOMPARE(systemVersionFromRelease(QStringLiteral("unknown")), (SystemVersion{0, 0, 0}));
        QCOMPARE(systemVersionFromRelease(QStringLiteral("6.1.0-18-amd64")).toString(), QStringLiteral("6.1.0"));
        QVERIFY(runningSystemVersion().major > 0);
    }

    void availability()
    {
        QTemporaryDir dir;
        const QString flatpakInfo = dir.filePath(QStringLiteral(".flatpak-info"));
        auto env = [](QString snap) { return [snap](const char *name) { return qstrcmp(name, "SNAP") ? QString() : snap; }; };
        QVERIFY(isUpdateCheckingAvailable({true, flatpakInfo, env({})}));
        QVERIFY(!isUpdateCheckingAvailable({false, flatpakInfo, env({})}));
        QVERIFY(!isUpdateCheckingAvailable({true, flatpakInfo, env(QStringLiteral("/snap/ostrel/12"))}));
        QFile file(flatpakInfo);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(!isUpdateCheckingAvailable({true, flatpakInfo, env({})}));
    }
};

QTEST_GUILESS_MAIN(TestUpdateRules)
#include "tst_updaterules.moc"
