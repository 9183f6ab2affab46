// ostrel-mkpst from the command line, and its archives read by libpff,
// pffexport and readpst.
#include "ArchiveVerifier.h"
#include "FileGenerators.h"
#include "LibpffDump.h"
#include "ToolsFixtures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using ostrel::test::DumpedFolder;
using ostrel::test::DumpedAttachment;
using ostrel::test::DumpedMessage;

namespace {

QByteArray readAll(const QString &path);

// The readpst message file in `dir` whose subject line is `subject`.
QByteArray readpstMessage(const QString &dir, const QByteArray &subject)
{
    for (const QFileInfo &f : QDir(dir).entryInfoList(QDir::Files)) {
        const QByteArray content = readAll(f.filePath());
        if (content.contains("\nSubject: " + subject + "\n"))
            return content;
    }
    return {};
}

// The attachment readpst saved as NUMBER-name in `dir`.
QByteArray readpstAttachment(const QString &dir, const QString &name)
{
    const QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("*-") + name}, QDir::Files);
    return files.size() == 1 ? readAll(files.first().filePath()) : QByteArray();
}

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString &program, const QStringList &arguments, const QString &workDir = QString())
{
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(program, arguments);
    Run r;
    if (!p.waitForStarted(30000) || !p.waitForFinished(240000)) {
        p.kill();
        p.waitForFinished();
        r.err = "did not finish: " + program.toUtf8();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

Run mkpst(const QStringList &arguments)
{
    return run(QStringLiteral(OSTREL_MKPST_PATH), arguments);
}

QByteArray sha(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                       : QByteArray();
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList filesUnder(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(dir).relativeFilePath(it.next()));
    files.sort();
    return files;
}

qsizetype countMessages(const DumpedFolder &f)
{
    qsizetype n = f.messageCount;
    for (const DumpedFolder &c : f.folders)
        n += countMessages(c);
    return n;
}

// readpst -S writes each message as a file named by a number, its
// attachments beside it as NUMBER-NAME.
qsizetype countReadpstMessages(const QString &dir)
{
    qsizetype n = 0;
    for (const QString &f : filesUnder(dir)) {
        bool number = false;
        QFileInfo(f).fileName().toInt(&number);
        n += number ? 1 : 0;
    }
    return n;
}



}  // namespace

class TestTools : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pffexport;
    QString m_readpst;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // One message file per message (-S), deleted items included (-D), and no
    // parallel jobs: readpst's jobs now and then lose a message file.
    Run readpst(const QString &outDir, const QString &pst) const
    {
        QDir().mkpath(outDir);
        return run(m_readpst, {QStringLiteral("-q"), QStringLiteral("-j"), QStringLiteral("0"), QStringLiteral("-D"),
                               QStringLiteral("-S"), QStringLiteral("-o"), outDir, pst});
    }

    QString writeDescription(const QString &name, const QByteArray &json)
    {
        QFile f(path(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(json) != json.size())
            return {};
        return f.fileName();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QFile::exists(QStringLiteral(OSTREL_MKPST_PATH)));
        m_pffexport = QStandardPaths::findExecutable(QStringLiteral("pffexport"));
        m_readpst = QStandardPaths::findExecutable(QStringLiteral("readpst"));
    }

    void descriptionThroughAllReaders()
    {
        const QString json = writeDescription(QStringLiteral("d.json"), ostrel::test::fixtures::kDescription);
        const QString pst = path(QStringLiteral("d.pst"));
        const Run r = mkpst({QStringLiteral("--verify"), QStringLiteral("--summary"), QStringLiteral("-d"), json, pst});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        const QJsonObject summary = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(summary.value(QStringLiteral("messages")).toInt(), 254);
        QCOMPARE(summary.value(QStringLiteral("folders")).toInt(), 4);
        QCOMPARE(summary.value(QStringLiteral("encoding")).toString(), QStringLiteral("permute"));

        // libpff
        QString error;
        const auto dump = ostrel::test::dumpArchive(pst, &error);
        QVERIFY2(dump, qPrintable(error));
        QCOMPARE(dump->root.folders.size(), 2);
        QCOMPARE(dump->root.folders[1].name, QStringLiteral("Beside the subtree"));
        const DumpedFolder *inbox = dump->root.find(QStringLiteral("Inbox"));
        QVERIFY(inbox);
        QCOMPARE(inbox->unreadCount, 5u);  // as described, not as counted
        QCOMPARE(inbox->messages[0].subject, QStringLiteral("Plain hello"));
        QCOMPARE(inbox->messages[0].recipients.size(), 2);
        QCOMPARE(inbox->messages[0].recipients[1].emailAddress, QStringLiteral("cc@example.com"));
        QCOMPARE(inbox->messages[1].attachments.size(), 3);
        QCOMPARE(inbox->messages[1].attachments[1].data, ostrel::pstwriter::makeNoise(20000, 3));
        QCOMPARE(inbox->messages[1].attachments[2].contentId, QStringLiteral("dot"));
        const DumpedFolder *copies = dump->root.find(QStringLiteral("Zweitausendvierundzwanzig – Übersicht"));
        QVERIFY(copies);
        QCOMPARE(copies->messageCount, 250);
        QCOMPARE(copies->messages[249].subject, QStringLiteral("Copy 250"));

        // pffexport
        if (m_pffexport.isEmpty())
            QSKIP("pffexport (pff-tools) is not installed");
        const Run e = run(m_pffexport, {QStringLiteral("-q"), QStringLiteral("-t"), path(QStringLiteral("export")), pst});
        QVERIFY2(e.exitCode == 0, e.err.constData());
        const QString top = path(QStringLiteral("export.export/Top of Personal Folders"));
        QVERIFY(QFileInfo(top + QStringLiteral("/Inbox/Zweitausendvierundzwanzig – Übersicht")).isDir());
        QVERIFY(QFileInfo(path(QStringLiteral("export.export/Beside the subtree"))).isDir());
        QCOMPARE(readAll(top + QStringLiteral("/Inbox/Message00002/Attachments/2_noise.bin")),
                 ostrel::pstwriter::makeNoise(20000, 3));
        QVERIFY(readAll(top + QStringLiteral("/Inbox/Message00002/Attachments/1_report.pdf")).startsWith("%PDF-1.4"));
        QVERIFY(readAll(top + QStringLiteral("/Inbox/Message00001/Message.txt")).startsWith("Hello there."));
        qsizetype exported = 0;
        for (const QString &f : filesUnder(path(QStringLiteral("export.export"))))
            exported += f.endsWith(QLatin1String("/OutlookHeaders.txt")) ? 1 : 0;
        QCOMPARE(exported, 254);

        // readpst: an independent reader; it lists the IPM subtree only.
        if (m_readpst.isEmpty())
            QSKIP("readpst (pst-utils) is not installed");
        const Run p = readpst(path(QStringLiteral("readpst")), pst);
        QVERIFY2(p.exitCode == 0, p.err.constData());
        const QString store = path(QStringLiteral("readpst/Test Store"));
        QCOMPARE(countReadpstMessages(store), 253);
        QCOMPARE(countReadpstMessages(store + QStringLiteral("/Inbox/Zweitausendvierundzwanzig – Übersicht")), 250);
        const QByteArray first = readpstMessage(store + QStringLiteral("/Inbox"), "Plain hello");
        QVERIFY(first.contains("Hello there."));
        QVERIFY(first.contains("Anna Becker"));
        QCOMPARE(readpstAttachment(store + QStringLiteral("/Inbox"), QStringLiteral("noise.bin")),
                 ostrel::pstwriter::makeNoise(20000, 3));
        QVERIFY(readpstAttachment(store + QStringLiteral("/Inbox"), QStringLiteral("dot.png")).startsWith("\x89PNG"));
    }

    void syntheticArchive()
    {
        const QString settings = QStringLiteral("folders=12,messages=300,seed=5,biggest=120,attachEvery=10,attachSize=20000");
        const QString a = path(QStringLiteral("s1.pst"));
        const QString b = path(QStringLiteral("s2.pst"));
        const QString c = path(QStringLiteral("s3.pst"));
        Run r = mkpst({QStringLiteral("--verify"), QStringLiteral("--summary"), QStringLiteral("--synthetic"), settings, a});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(QJsonDocument::fromJson(r.out).object().value(QStringLiteral("messages")).toInt(), 300);
        QVERIFY(mkpst({QStringLiteral("--synthetic"), settings, b}).exitCode == 0);
        QVERIFY(mkpst({QStringLiteral("--synthetic"), QString(settings).replace(QLatin1String("seed=5"), QLatin1String("seed=6")), c})
                    .exitCode == 0);
        QCOMPARE(sha(a), sha(b));
        QVERIFY(sha(a) != sha(c));

        QString error;
        const auto dump = ostrel::test::dumpArchive(a, &error);
        QVERIFY2(dump, qPrintable(error));
        const DumpedFolder &ipm = dump->root.folders[0];
        QCOMPARE(countMessages(ipm), 300);
        // libpff lists folders by node id, which Outlook-like ids do not keep in the order of adding.
        const DumpedFolder *inbox = ipm.find(QStringLiteral("Inbox"));
        QVERIFY(inbox);
        QCOMPARE(inbox->messageCount, 120);
        qsizetype folders = 0;
        std::function<void(const DumpedFolder &)> count = [&](const DumpedFolder &f) {
            folders += f.folders.size();
            for (const DumpedFolder &sub : f.folders)
                count(sub);
        };
        count(ipm);
        QCOMPARE(folders, 12);

        // Every fifth HTML body shows its own logo by content id.
        qsizetype html = 0;
        qsizetype inlined = 0;
        std::function<void(const DumpedFolder &)> images = [&](const DumpedFolder &f) {
            for (const DumpedMessage &m : f.messages) {
                if (!m.htmlBody)
                    continue;
                ++html;
                for (const DumpedAttachment &att : m.attachments) {
                    if (att.contentId && m.htmlBody->contains("cid:" + att.contentId->toUtf8())) {
                        QVERIFY(att.data.startsWith("\x89PNG"));
                        ++inlined;
                    }
                }
            }
            for (const DumpedFolder &sub : f.folders)
                images(sub);
        };
        images(ipm);
        QCOMPARE(html, 150);
        QCOMPARE(inlined, 30);

        if (m_readpst.isEmpty())
            QSKIP("readpst (pst-utils) is not installed");
        const Run p = readpst(path(QStringLiteral("synthetic")), a);
        QVERIFY2(p.exitCode == 0, p.err.constData());
        QCOMPARE(countReadpstMessages(path(QStringLiteral("synthetic"))), 300);
    }

    void syntheticVariety()
    {
        // Every variety setting, each on its own residue so that they overlap
        // only where meant; the counts below follow the same rule.
        const QString settings = QStringLiteral(
            "folders=8,messages=300,seed=4,attachEvery=0,itemsEvery=13,exchangeEvery=10,bccEvery=7,rtfEvery=6,"
            "codepageEvery=4,headersEvery=8,nestedEvery=9,undatedEvery=11,searchFolders=2,internal=1");
        const QString a = path(QStringLiteral("variety.pst"));
        const Run r = mkpst({QStringLiteral("--verify"), QStringLiteral("--synthetic"), settings, a});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QString error;
        const auto dump = ostrel::test::dumpArchive(a, &error);
        QVERIFY2(dump, qPrintable(error));

        auto every = [](int k, int n) { return n % k == k - 1; };
        const QStringList classes{QStringLiteral("IPM.Contact"), QStringLiteral("IPM.Appointment"),
                                  QStringLiteral("IPM.Schedule.Meeting.Request"), QStringLiteral("IPM.Task"),
                                  QStringLiteral("IPM.DistList"), QStringLiteral("IPM.StickyNote"),
                                  QStringLiteral("REPORT.IPM.Note.NDR")};
        QMap<QString, int> expectedClasses;
        QMap<QString, int> gotClasses;
        int seen = 0;
        for (int n = 0; n < 300; ++n) {
            if (every(13, n))
                ++expectedClasses[classes[(n / 13) % 7]];
        }
        std::function<void(const DumpedFolder &)> walk = [&](const DumpedFolder &f) {
            for (const DumpedMessage &m : f.messages) {
                const QString cls = m.messageClass.value_or(QString());
                if (cls != QLatin1String("IPM.Note")) {
                    ++gotClasses[cls];
                    continue;
                }
                const QString subject = m.subject.value_or(QString());
                const int n = subject.mid(subject.lastIndexOf(QLatin1Char('#')) + 1).toInt() - 1;
                QVERIFY2(n >= 0 && n < 300 && !every(13, n), qPrintable(subject));
                ++seen;
                const bool exchange = every(10, n);
                QCOMPARE(m.senderAddressType, exchange ? QStringLiteral("EX") : QStringLiteral("SMTP"));
                QCOMPARE(m.senderEmail->startsWith(QLatin1String("/O=")), exchange);
                QCOMPARE(m.senderSmtpAddress.has_value(), exchange);
                if (exchange) {
                    QVERIFY(m.senderSmtpAddress->endsWith(QLatin1String("@example.com")));
                    QCOMPARE(m.recipients[0].addressType, QStringLiteral("EX"));
                    QVERIFY(m.recipients[0].smtpAddress);
                }
                const bool bcc = std::any_of(m.recipients.begin(), m.recipients.end(),
                                             [](const auto &rec) { return rec.type == 3u; });
                QCOMPARE(bcc, every(7, n));
                const bool rtfOnly = every(6, n);
                QCOMPARE(!m.plainBody && !m.htmlBody && m.rtfBody.has_value(), rtfOnly);
                if (every(4, n) && !rtfOnly) {
                    static const quint32 pages[] = {1251, 1252, 932};
                    QCOMPARE(m.messageCodepage, std::optional<quint32>(pages[(n / 4) % 3]));
                }
                QCOMPARE(m.deliveryTime == 0, every(11, n));
                QCOMPARE(m.transportHeaders.has_value(), every(8, n));
                // Three messages deep.
                const DumpedMessage *inner = &m;
                int depth = 0;
                while (!inner->attachments.isEmpty() && inner->attachments.last().embedded) {
                    inner = inner->attachments.last().embedded.get();
                    ++depth;
                }
                QCOMPARE(depth, every(9, n) ? 3 : 0);
                if (depth)
                    QCOMPARE(inner->subject, QStringLiteral("Level 3 of message %1").arg(n + 1));
            }
            for (const DumpedFolder &c : f.folders)
                walk(c);
        };
        walk(dump->root.folders[0]);
        QCOMPARE(gotClasses, expectedClasses);
        QCOMPARE(seen, 300 - 23);  // 23 of them are items
        // Outlook's internal folders sit under the root beside the IPM subtree.
        QVERIFY(dump->root.find(QStringLiteral("Search Root")));
        QVERIFY(dump->root.find(QStringLiteral("IPM_COMMON_VIEWS")));
    }

    void corners()
    {
        const QString json = path(QStringLiteral("corners.json"));
        QFile f(json);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ostrel::test::fixtures::kCorners);
        f.close();
        const QString a = path(QStringLiteral("corners.pst"));
        const Run r = mkpst({QStringLiteral("--verify"), QStringLiteral("-d"), json, a});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QString error;
        const auto dump = ostrel::test::dumpArchive(a, &error);
        QVERIFY2(dump, qPrintable(error));
        const DumpedFolder *outbox = dump->root.find(QStringLiteral("Outbox"));
        QVERIFY(outbox);
        QCOMPARE(outbox->messages.size(), 2);
        // The message keeps what its stale contents row lacks.
        const auto queued = std::find_if(outbox->messages.begin(), outbox->messages.end(),
                                         [](const DumpedMessage &m) { return m.subject == QStringLiteral("Queued"); });
        QVERIFY(queued != outbox->messages.end());
        QCOMPARE(queued->senderName, QStringLiteral("Anna Becker"));
        const auto ex = std::find_if(outbox->messages.begin(), outbox->messages.end(),
                                     [](const DumpedMessage &m) { return m.subject == QStringLiteral("From Exchange"); });
        QVERIFY(ex != outbox->messages.end());
        QCOMPARE(ex->senderAddressType, QStringLiteral("EX"));
        QCOMPARE(ex->senderSmtpAddress, QStringLiteral("ben@example.com"));
        QCOMPARE(ex->recipients.size(), 2);
        QCOMPARE(ex->recipients[0].smtpAddress, QStringLiteral("clara@example.com"));
        QCOMPARE(ex->recipients[1].type, std::optional<quint32>(3));
        QCOMPARE(ex->attachments.size(), 1);
        QVERIFY(!ex->attachments[0].embedded);
        // A bare hierarchy row: the name comes from the folder itself.
        const DumpedFolder *bare = dump->root.find(QStringLiteral("Bare"));
        QVERIFY(bare);
        QCOMPARE(bare->messageCount, 1);
        QVERIFY(dump->root.find(QStringLiteral("Search Root")));

        const QString bad = path(QStringLiteral("unknown.json"));
        QFile b(bad);
        QVERIFY(b.open(QIODevice::WriteOnly));
        b.write(ostrel::test::fixtures::kUnknownResult);
        b.close();
        const Run failed = mkpst({QStringLiteral("-d"), bad, path(QStringLiteral("unknown.pst"))});
        QCOMPARE(failed.exitCode, 1);
        QVERIFY2(failed.err.contains("folders[0].results[0]"), failed.err.constData());
        QVERIFY(!QFile::exists(path(QStringLiteral("unknown.pst"))));
    }

    void damage_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("size");
        QTest::newRow("truncate") << QStringLiteral("truncate=1000") << qint64(0) << QByteArray("!BDN") << qint64(1000);
        QTest::newRow("magic") << QStringLiteral("overwrite=header-magic") << qint64(0) << QByteArray("XXXX")
                               << qint64(271360);
        QTest::newRow("raw bytes") << QStringLiteral("bytes=0x200:cafe") << qint64(0x200) << QByteArray("\xca\xfe")
                                   << qint64(271360);
    }
    void damage()
    {
        QFETCH(QString, damage);
        QFETCH(qint64, offset);
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, size);
        const QString pst = path(QStringLiteral("damaged.pst"));
        const Run r = mkpst({QStringLiteral("--damage"), damage, QStringLiteral("--synthetic"),
                             QStringLiteral("folders=2,messages=3"), pst});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        const QByteArray content = readAll(pst);
        QCOMPARE(content.size(), size);
        QCOMPARE(content.mid(offset, bytes.size()), bytes);
        QVERIFY(!ostrel::pstwriter::verifyArchive(pst).ok());
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("message");
        const QStringList noArgs;
        QTest::newRow("no output") << noArgs << QByteArray() << QStringLiteral("exactly one output");
        QTest::newRow("bad synthetic key") << QStringList{QStringLiteral("--synthetic"), QStringLiteral("colour=red")}
                                           << QByteArray() << QStringLiteral("Unknown synthetic setting \"colour\"");
        QTest::newRow("bad synthetic value") << QStringList{QStringLiteral("--synthetic"), QStringLiteral("messages=-4")}
                                             << QByteArray() << QStringLiteral("Bad value");
        QTest::newRow("bad damage") << QStringList{QStringLiteral("--damage"), QStringLiteral("shred=1")} << QByteArray()
                                    << QStringLiteral("Bad damage");
        QTest::newRow("no such message") << QStringList{QStringLiteral("--damage"), QStringLiteral("overwrite=message:5")}
                                         << QByteArray(ostrel::test::fixtures::kNoSuchMessage)
                                         << QStringLiteral("no message 5");
        QTest::newRow("not json") << noArgs << QByteArray("{ nope") << QStringLiteral("Not valid JSON");
        QTest::newRow("bad importance") << noArgs
                                        << QByteArray(ostrel::test::fixtures::kBadImportance)
                                        << QStringLiteral("folders[0].messages[0].importance");
        QTest::newRow("folder without name") << noArgs << QByteArray(ostrel::test::fixtures::kFolderWithoutName)
                                             << QStringLiteral("folders[0].name");
        QTest::newRow("missing file") << noArgs
                                      << QByteArray(ostrel::test::fixtures::kMissingFile)
                                      << QStringLiteral("folders[0].messages[0].attachments[0].data.file");
        QTest::newRow("bad encoding") << noArgs << QByteArray(ostrel::test::fixtures::kBadEncoding) << QStringLiteral("encoding");
    }
    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, json);
        QFETCH(QString, message);
        const QString pst = path(QStringLiteral("failed.pst"));
        QFile::remove(pst);
        if (!json.isEmpty())
            arguments << QStringLiteral("-d") << writeDescription(QStringLiteral("bad.json"), json);
        if (!message.startsWith(QLatin1String("exactly")))
            arguments << pst;
        const Run r = mkpst(arguments);
        QVERIFY(r.exitCode != 0);
        QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
        if (!arguments.contains(QStringLiteral("--damage")))
            QVERIFY(!QFile::exists(pst));  // no half-written archive is left
    }

    void demoArchive()
    {
        const QString demo = QStringLiteral(OSTREL_DEMO_ARCHIVE);
        QVERIFY2(QFile::exists(demo), qPrintable(demo));
        const auto report = ostrel::pstwriter::verifyArchive(demo);
        QVERIFY2(report.ok(), qPrintable(report.problems.join(QLatin1Char('\n'))));
        QString error;
        const auto dump = ostrel::test::dumpArchive(demo, &error);
        QVERIFY2(dump, qPrintable(error));
        QStringList top;
        for (const DumpedFolder &f : dump->root.folders)
            top.append(f.name.value_or(QString()));
        QCOMPARE(top, (QStringList{QStringLiteral("Top of Personal Folders"), QStringLiteral("Persönliche Ordner")}));
        for (const char *name : {"Inbox", "Sent Items", "Drafts", "Archive", "2024", "2023", "Deleted Items",
                                 "Junk Email", "Posteingang", "Gesendete Elemente", "Entwürfe", "Junk-E-Mail"})
            QVERIFY2(dump->root.find(QString::fromUtf8(name)), name);
        QVERIFY(dump->root.find(QStringLiteral("Entwu\u0308rfe (alt)")));  // decomposed umlaut, as written

        // What the demo is for: inline images that resolve, common file types,
        // high importance and long recipient lists.
        int inlineImages = 0;
        int bigRecipientLists = 0;
        int high = 0;
        QSet<QString> types;
        std::function<void(const DumpedFolder &)> walk = [&](const DumpedFolder &f) {
            for (const auto &m : f.messages) {
                high += m.importance == 2u ? 1 : 0;
                bigRecipientLists += m.recipients.size() >= 20 ? 1 : 0;
                for (const auto &a : m.attachments) {
                    if (a.mimeTag)
                        types.insert(*a.mimeTag);
                    if (a.contentId && m.htmlBody && m.htmlBody->contains("cid:" + a.contentId->toUtf8())) {
                        QVERIFY(a.data.startsWith("\x89PNG"));
                        ++inlineImages;
                    }
                }
            }
            for (const DumpedFolder &c : f.folders)
                walk(c);
        };
        walk(dump->root);
        QVERIFY(inlineImages >= 4);
        QVERIFY(bigRecipientLists >= 2);
        QVERIFY(high >= 2);
        for (const char *type : {"application/pdf", "image/png", "application/zip",
                                 "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"})
            QVERIFY2(types.contains(QString::fromLatin1(type)), type);

        if (m_readpst.isEmpty())
            QSKIP("readpst (pst-utils) is not installed");
        const Run p = readpst(path(QStringLiteral("demo")), demo);
        QVERIFY2(p.exitCode == 0, p.err.constData());
        QCOMPARE(countReadpstMessages(path(QStringLiteral("demo"))), countMessages(dump->root.folders[0]));
    }
};

QTEST_GUILESS_MAIN(TestTools)
#include "tst_pstwriter_tools.moc"
