// ostrel-inspect's engine choice and its dump: a defined, stable order that
// another engine can reproduce byte for byte.
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>

namespace {
using Run = ostrel::test::ToolRun;

Run inspect(const QStringList &arguments)
{
    return ostrel::test::runTool(QStringLiteral(OSTREL_INSPECT_PATH), arguments);
}

// Four messages, written out of date order; one names a zebra only in its
// body, one only in its subject.
const char *const kRowsArchive = R"({
 "seed": 7,
 "folders": [
  {"name": "Inbox", "folders": [{"name": "Archiv", "messages": [
   {"subject": "Second", "senderName": "Ann", "senderEmail": "ann@example.org",
    "deliveryTime": "2024-03-02T09:00:00Z", "body": "nothing to see"},
   {"subject": "Newest", "senderName": "Bob", "senderEmail": "bob@example.org",
    "deliveryTime": "2024-05-01T09:00:00Z", "body": "a zebra crossed the road", "read": false},
   {"subject": "Oldest", "senderName": "Cy", "senderEmail": "cy@example.org",
    "deliveryTime": "2023-01-01T09:00:00Z", "body": "old news", "importance": "high"},
   {"subject": "Zebra figures", "senderName": "Di", "senderEmail": "di@example.org",
    "deliveryTime": "2024-04-01T09:00:00Z", "body": "quarterly numbers"}
  ]}]}
 ]
})";

// A generated archive in dir, made by the writer from kRowsArchive with the
// given damage (none when empty); empty when the writer failed.
QString generatedArchive(const QString &dir, const QString &name, const QString &damage = {})
{
    const QString description = dir + QStringLiteral("/rows.json");
    QFile file(description);
    if (!file.open(QIODevice::WriteOnly) || file.write(kRowsArchive) < 0)
        return {};
    file.close();
    const QString path = dir + QLatin1Char('/') + name;
    QStringList arguments{QStringLiteral("--description"), description};
    if (!damage.isEmpty())
        arguments << QStringLiteral("--damage") << damage;
    arguments << path;
    const Run run = ostrel::test::runTool(QStringLiteral(OSTREL_MKPST_PATH), arguments);
    return run.exitCode == 0 ? path : QString();
}

QList<QJsonObject> jsonLines(const QByteArray &out)
{
    QList<QJsonObject> objects;
    for (const QByteArray &line : out.split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error{};
        objects.append(QJsonDocument::fromJson(line, &error).object());
        if (error.error != QJsonParseError::NoError)
            return {};
    }
    return objects;
}
}  // namespace

class TestInspectDump : public QObject {
    Q_OBJECT
private slots:
    void engineChoice_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        QTest::newRow("libpff") << "libpff" << 0 << "Read by the libpff engine.";
        QTest::newRow("automatic") << "automatic" << 0 << "Read by the native engine.";
        QTest::newRow("native") << "native" << 0 << "Read by the native engine.";
        QTest::newRow("unknown") << "fast" << 2 << "--engine";
    }
    void engineChoice()
    {
        OSTREL_REQUIRE_CORPUS();
        QFETCH(QString, engine);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        const Run run = inspect({QStringLiteral("--engine"), engine, ostrel::test::corpusFile("pstsdk_sample1.pst")});
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(QString::fromUtf8(run.err).contains(says), run.err.constData());
    }

    // The rows of a folder as the list shows them: newest first, every
    // field, and a search that keeps only what it finds (subject or body).
    void rowsOfAGeneratedFolder_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("subjects");
        QTest::newRow("all, newest first") << QString() << QStringList{"Newest", "Zebra figures", "Second", "Oldest"};
        QTest::newRow("by subject and body") << "zebra" << QStringList{"Newest", "Zebra figures"};
        QTest::newRow("by sender") << "Cy" << QStringList{"Oldest"};
        QTest::newRow("nothing") << "walrus" << QStringList{};
    }
    void rowsOfAGeneratedFolder()
    {
        QFETCH(QString, search);
        QFETCH(QStringList, subjects);
        QTemporaryDir dir;
        const QString archive = generatedArchive(dir.path(), QStringLiteral("rows.pst"));
        QVERIFY(!archive.isEmpty());
        QStringList arguments{archive, QStringLiteral("--folder"), QStringLiteral("Top of Personal Folders/Inbox/Archiv"), QStringLiteral("--rows")};
        if (!search.isEmpty())
            arguments << QStringLiteral("--search") << search;
        const Run run = inspect(arguments);
        QCOMPARE(run.exitCode, 0);
        const QList<QJsonObject> rows = jsonLines(run.out);
        QStringList seen;
        for (const QJsonObject &row : rows)
            seen << row.value("subject").toString();
        QCOMPARE(seen, subjects);
        const QStringList keys{"index", "subject", "senderName", "senderEmail", "date", "isRead", "importance",
                               "hasAttachments", "messageClass", "size", "to", "cc"};
        for (const QJsonObject &row : rows) {
            for (const QString &key : keys)
                QVERIFY2(row.contains(key), qPrintable(key));
            if (row.value("subject") == QLatin1String("Newest")) {
                QCOMPARE(row.value("senderName").toString(), QStringLiteral("Bob"));
                QCOMPARE(row.value("date").toString(), QStringLiteral("2024-05-01T09:00:00Z"));
                QCOMPARE(row.value("isRead").toBool(), false);
                QCOMPARE(row.value("index").toInteger(), 1);  // its place in the folder
            }
            if (row.value("subject") == QLatin1String("Oldest"))
                QCOMPARE(row.value("importance").toString(), QStringLiteral("high"));
        }
    }

    void rowsOfACorpusFolder()
    {
        OSTREL_REQUIRE_CORPUS();
        const QString file = ostrel::test::corpusFile("tika_testPST.pst");
        const Run tree = inspect({QStringLiteral("--json"), file});
        QCOMPARE(tree.exitCode, 0);
        // The first folder with messages, by its path.
        QString path;
        qint64 count = 0;
        std::function<void(const QJsonArray &, const QString &)> find = [&](const QJsonArray &level, const QString &at) {
            for (const QJsonValue v : level) {
                const QJsonObject f = v.toObject();
                const QString here = at.isEmpty() ? f.value("name").toString() : at + '/' + f.value("name").toString();
                if (path.isEmpty() && f.value("messageCount").toInteger() > 1) {
                    path = here;
                    count = f.value("messageCount").toInteger();
                }
                find(f.value("children").toArray(), here);
            }
        };
        find(QJsonDocument::fromJson(tree.out).array(), QString());
        QVERIFY(!path.isEmpty());
        const Run run = inspect({file, QStringLiteral("--folder"), path, QStringLiteral("--rows")});
        QCOMPARE(run.exitCode, 0);
        const QList<QJsonObject> rows = jsonLines(run.out);
        QCOMPARE(qint64(rows.size()), count);
        QSet<qint64> indexes;
        for (qsizetype i = 0; i < rows.size(); ++i) {
            indexes.insert(rows[i].value("index").toInteger());
            QVERIFY(!rows[i].value("subject").toString().isEmpty());
            if (i > 0 && !rows[i].value("date").isNull())
                QVERIFY2(rows[i - 1].value("date").toString() >= rows[i].value("date").toString(),
                         qPrintable(rows[i].value("subject").toString()));
        }
        QCOMPARE(qint64(indexes.size()), count);  // each row once
        // A search for the first row's subject finds that row.
        const QString subject = rows.first().value("subject").toString();
        const Run found = inspect({file, QStringLiteral("--folder"), path, QStringLiteral("--rows"),
                                   QStringLiteral("--search"), subject});
        QCOMPARE(found.exitCode, 0);
        const QList<QJsonObject> matches = jsonLines(found.out);
        QVERIFY(!matches.isEmpty() && matches.size() <= rows.size());
        QVERIFY(std::any_of(matches.cbegin(), matches.cend(),
                            [&](const QJsonObject &r) { return r.value("subject").toString() == subject; }));
    }

    // Named properties that could not be read are said, both in the dump
    // and when the inspector opens the archive; the rest still reads.
    void unreadableNamedPropertiesAreSaid()
    {
        QTemporaryDir dir;
        const QString archive = generatedArchive(dir.path(), QStringLiteral("names.pst"), QStringLiteral("overwrite=name-map"));
        QVERIFY(!archive.isEmpty());
        const Run dump = inspect({QStringLiteral("--dump"), QStringLiteral("--engine"), QStringLiteral("native"), archive});
        QCOMPARE(dump.exitCode, 3);
        QVERIFY2(dump.err.contains("/: named properties could not be read: "), dump.err.constData());
        const QList<QJsonObject> lines = jsonLines(dump.out);
        QCOMPARE(std::count_if(lines.cbegin(), lines.cend(),
                               [](const QJsonObject &l) { return l.value("type") == QLatin1String("message"); }),
                 4);
        const Run opened = inspect({QStringLiteral("--engine"), QStringLiteral("native"), archive});
        QCOMPARE(opened.exitCode, 0);
        QVERIFY2(opened.err.contains("Some properties could not be read: "), opened.err.constData());
        const QTemporaryDir intactDir;
        const QString intact = generatedArchive(intactDir.path(), QStringLiteral("intact.pst"));
        QVERIFY(!intact.isEmpty());
        QVERIFY(!inspect({QStringLiteral("--engine"), QStringLiteral("native"), intact}).err.contains("Some properties"));
    }

    void dumpIsOrderedAndStable_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("attachments and inline images") << "rubymsg_attachAndInline.pst";
        QTest::newRow("nested folders") << "tghanem_user1_test_lab.pst";
        QTest::newRow("ANSI") << "pstsdk_test_ansi.pst";
    }
    void dumpIsOrderedAndStable()
    {
        OSTREL_REQUIRE_CORPUS();
        QFETCH(QString, file);
        const QStringList arguments{QStringLiteral("--dump"), QStringLiteral("--engine"), QStringLiteral("libpff"),
                                    ostrel::test::corpusFile(file)};
        const Run first = inspect(arguments);
        QVERIFY2(first.exitCode == 0 || first.exitCode == 3, first.err.constData());
        QVERIFY(first.err.startsWith("Read by the libpff engine.\n"));
        QCOMPARE(inspect(arguments).out, first.out);

        // Every line one object; a folder's messages follow it, as many as
        // its count and indexed from 0.
        QJsonArray path;
        qint64 expected = 0;
        qint64 seen = 0;
        int folders = 0;
        int messages = 0;
        const QList<QByteArray> lines = first.out.split('\n');
        QVERIFY(lines.constLast().isEmpty());
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            QJsonParseError error{};
            const QJsonObject line = QJsonDocument::fromJson(lines[i], &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError, lines[i].constData());
            if (line.value("type") == QLatin1String("folder")) {
                if (first.exitCode == 0)  // else a page may have failed, and said so
                    QCOMPARE(seen, expected);
                path = line.value("path").toArray();
                QCOMPARE(path.last().toString(), line.value("name").toString());
                expected = line.value("messageCount").toInteger();
                seen = 0;
                ++folders;
                continue;
            }
            QCOMPARE(line.value("type").toString(), QStringLiteral("message"));
            QCOMPARE(line.value("folder").toArray(), path);
            QCOMPARE(line.value("index").toInteger(), seen);
            QVERIFY(!line.value("subject").toString().isEmpty());
            QVERIFY(line.value("date").toString().endsWith(QLatin1Char('Z')));
            // The body shown is named; a message with a text or HTML body never shows none.
            const QString shown = line.value("shownBody").toString();
            QVERIFY2(QStringList({"html", "html-from-rtf", "text", "text-from-rtf", "none"}).contains(shown),
                     qPrintable(shown));
            const QJsonObject bodies = line.value("bodies").toObject();
            const bool stored = bodies.value("text").toObject().value("size").toInteger() > 0
                                || bodies.value("html").toObject().value("size").toInteger() > 0;
            QVERIFY2(!stored || shown != QLatin1String("none"), qPrintable(line.value("subject").toString()));
            for (const QJsonValue attachment : line.value("attachments").toArray()) {
                const QJsonValue sha = attachment.toObject().value("sha256");
                QVERIFY(sha.isNull() || sha.toString().size() == 64);
            }
            ++seen;
            ++messages;
        }
        if (first.exitCode == 0)
            QCOMPARE(seen, expected);
        QVERIFY(folders > 0);
        QVERIFY(messages > 0);
        // Keys in the documented order, so that dumps diff line by line.
        const QByteArray firstMessage = *std::find_if(lines.cbegin(), lines.cend(), [](const QByteArray &l) {
            return l.startsWith("{\"type\":\"message\"");
        });
        const QStringList keys{"\"folder\"", "\"index\"", "\"subject\"", "\"sender\"", "\"senderEmail\"", "\"date\"",
                               "\"importance\"", "\"recipients\"", "\"bodies\"", "\"shownBody\"", "\"kind\"",
                               "\"attachments\"", "\"unreadable\""};
        qsizetype at = 0;
        for (const QString &key : keys) {
            const qsizetype found = firstMessage.indexOf(key.toUtf8(), at);
            QVERIFY2(found > at, qPrintable(key));
            at = found;
        }
    }
};

QTEST_GUILESS_MAIN(TestInspectDump)
#include "tst_inspectdump.moc"
