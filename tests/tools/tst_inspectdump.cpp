// ostrel-inspect's engine choice and its dump: a defined, stable order that
// another engine can reproduce byte for byte.
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace {
struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run inspect(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(OSTREL_INSPECT_PATH), arguments);
    Run run;
    if (!process.waitForFinished(120000))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
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
