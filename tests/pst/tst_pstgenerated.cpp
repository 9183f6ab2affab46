// The reader over archives the project's writer makes at test time, with
// contents chosen to hit the reader's edges: decomposed umlauts, 8-bit
// bodies, the inline-image size limit, pages of a long folder and damage.
#include "ArchiveBuilder.h"
#include "Damage.h"
#include "RtfEncapsulation.h"
#include "TestSupport.h"
#include "pst/PSTActor.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
namespace pw = ostrel::pstwriter;

Q_DECLARE_METATYPE(ostrel::EngineChoice)

namespace {
PSTResult<QList<MailFolder>> openSync(PSTActor &actor, const QString &path)
{
    auto future = actor.openFile(QUrl::fromLocalFile(path));
    if (!test::waitFor(future))
        return PSTError::parsingFailed(QStringLiteral("open never finished"));
    return future.result();
}

PSTResult<QList<MailMessage>> loadSync(PSTActor &actor, const MailFolder &folder, qint64 offset, qint64 limit)
{
    auto future = actor.loadMessages(folder, offset, limit);
    if (!test::waitFor(future))
        return PSTError::parsingFailed(QStringLiteral("page never finished"));
    return future.result();
}

const MailFolder *findFolder(const QList<MailFolder> &folders, const QString &name)
{
    for (const MailFolder &folder : folders) {
        if (folder.name == name)
            return &folder;
        if (const MailFolder *found = findFolder(folder.children, name))
            return found;
    }
    return nullptr;
}

pw::Message message(const QString &subject)
{
    pw::Message m;
    m.subject = subject;
    m.senderName = QStringLiteral("Anna Berger");
    m.senderEmail = QStringLiteral("anna@example.org");
    m.deliveryTime = QDateTime(QDate(2024, 3, 5), QTime(9, 30), Qt::UTC);
    m.body = QStringLiteral("Hallo");
    return m;
}

QByteArray bytes(qsizetype size, char seed)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char(seed + i * 31);
    return data;
}
}  // namespace

class TestPSTGenerated : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    QList<pw::MessageId> m_written;
    std::unique_ptr<pw::ArchiveBuilder> m_builder;

    const QString decomposed = QStringLiteral("Entwu\u0308rfe");
    const QString posteingang = QStringLiteral("Posteingang");

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("made.pst"));
        m_builder = std::make_unique<pw::ArchiveBuilder>();
        pw::ArchiveBuilder &b = *m_builder;
        QVERIFY2(b.open(m_path), qPrintable(b.errorString()));
        const pw::FolderId inbox = b.addFolder(b.ipmSubtree(), posteingang);
        const pw::FolderId drafts = b.addFolder(inbox, decomposed);
        const pw::FolderId many = b.addFolder(b.ipmSubtree(), QStringLiteral("Viele"));

        pw::Message plain = message(QStringLiteral("Grüße aus Köln"));
        plain.body.reset();
        plain.body8bit = QByteArray("Gr\xfc\xdf" "e \x80 5");  // Windows-1252
        plain.bodyCodepage = 1252;
        plain.importance = pw::Importance::High;
        plain.flags = 0;  // unread
        plain.addRecipient({QStringLiteral("Bernd"), QStringLiteral("bernd@example.org"), {}, {}, pw::RecipientType::To});
        plain.addRecipient({QStringLiteral("Nur Name"), {}, {}, {}, pw::RecipientType::To});
        plain.addRecipient({{}, {}, {}, {}, pw::RecipientType::To});  // nothing to show
        m_written.append(b.addMessage(inbox, plain));

        pw::Message html = message(QStringLiteral("Newsletter"));
        html.html = QByteArray("<html><body><img src=\"cid:small\"><img src=\"cid:large\"></body></html>");
        pw::Attachment small;
        small.longFileName = QStringLiteral("small.png");
        small.contentId = QStringLiteral("small");
        small.data = bytes(4'999'999, 1);
        pw::Attachment large = small;
        large.longFileName = QStringLiteral("large.png");
        large.contentId = QStringLiteral("large");
        large.data = bytes(5'000'000, 2);
        pw::Attachment report;
        report.longFileName = QStringLiteral("Bericht.pdf");
        report.data = bytes(1234, 3);
        pw::Attachment unnamed;
        unnamed.data = bytes(10, 4);
        html.addAttachment(small).addAttachment(large).addAttachment(report).addAttachment(unnamed);
        m_written.append(b.addMessage(inbox, html));

        pw::Message noSubject = message({});
        noSubject.subject.reset();
        m_written.append(b.addMessage(drafts, noSubject));
        pw::Message marked = message(QStringLiteral("\u0001\u0004RE: Angebot"));
        m_written.append(b.addMessage(drafts, marked));

        for (int i = 1; i <= 250; ++i)
            m_written.append(b.addMessage(many, message(QStringLiteral("Nachricht %1").arg(i, 3, 10, QLatin1Char('0')))));
        QVERIFY2(b.finish(), qPrintable(b.errorString()));
    }

    void folderTree()
    {
        PSTActor actor;
        const auto opened = openSync(actor, m_path);
        QVERIFY2(opened.hasValue(), qPrintable(opened.hasValue() ? QString() : opened.error().errorDescription()));
        const MailFolder *inbox = findFolder(opened.value(), posteingang);
        QVERIFY(inbox);
        QCOMPARE(inbox->folderType, FolderType::inbox);
        QCOMPARE(inbox->messageCount, 2);
        QCOMPARE(inbox->unreadCount, 1);
        // Names stay as written: the decomposed umlaut is not composed.
        QCOMPARE(inbox->children.size(), 1);
        QCOMPARE(inbox->children.first().name, decomposed);
        QCOMPARE(inbox->children.first().folderType, FolderType::drafts);
        QCOMPARE(findFolder(opened.value(), QStringLiteral("Viele"))->messageCount, 250);
    }

    void messageFields()
    {
        PSTActor actor;
        const auto opened = openSync(actor, m_path);
        QVERIFY(opened.hasValue());
        const auto page = loadSync(actor, *findFolder(opened.value(), posteingang), 0, 100);
        QVERIFY(page.hasValue());
        QCOMPARE(page->size(), 2);
        const MailMessage &plain = page->at(0);
        QCOMPARE(plain.subject, QStringLiteral("Grüße aus Köln"));
        QCOMPARE(plain.sender, QStringLiteral("Anna Berger"));
        QCOMPARE(plain.senderEmail, QStringLiteral("anna@example.org"));
        QCOMPARE(plain.importance, MessageImportance::high);
        QCOMPARE(plain.date, double(QDateTime(QDate(2024, 3, 5), QTime(9, 30), Qt::UTC).toSecsSinceEpoch()));
        // "Name <address>", or the name alone; a row with neither is left out.
        QCOMPARE(plain.recipients,
                 (QStringList{QStringLiteral("Bernd <bernd@example.org>"), QStringLiteral("Nur Name")}));
        QVERIFY(plain.bodyText);
        QCOMPARE(*plain.bodyText, QStringLiteral("Grüße € 5"));

        const MailMessage &html = page->at(1);
        QVERIFY(html.bodyHTML);
        QVERIFY(html.bodyHTML->contains(QLatin1String("cid:small")));
        QCOMPARE(html.attachments.size(), 4);
        const Attachment &small = html.attachments.at(0);
        const Attachment &large = html.attachments.at(1);
        QCOMPARE(small.filename, QStringLiteral("small.png"));
        QCOMPARE(small.size, 4'999'999);
        QCOMPARE(small.contentId, std::optional<QString>(QStringLiteral("small")));
        // Inline images are loaded with the page only below 5,000,000 bytes.
        QVERIFY(small.data);
        QCOMPARE(*small.data, bytes(4'999'999, 1));
        QCOMPARE(large.size, 5'000'000);
        QVERIFY(!large.data);
        QCOMPARE(html.attachments.at(2).filename, QStringLiteral("Bericht.pdf"));
        QCOMPARE(html.attachments.at(2).mimeType, QStringLiteral("application/pdf"));
        QVERIFY(!html.attachments.at(2).data);
        QCOMPARE(html.attachments.at(3).filename, QStringLiteral("Anhang_3"));

        // Saving reads the bytes on demand, the large one too.
        const QString target = m_dir.filePath(QStringLiteral("large.png"));
        auto saved = actor.saveAttachment(large, target);
        QVERIFY(test::waitFor(saved));
        QVERIFY(saved.result().hasValue());
        QCOMPARE(saved.result().value(), 5'000'000);
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes(5'000'000, 2));
    }

    void subjects()
    {
        PSTActor actor;
        const auto opened = openSync(actor, m_path);
        QVERIFY(opened.hasValue());
        const auto page = loadSync(actor, findFolder(opened.value(), posteingang)->children.first(), 0, 100);
        QVERIFY(page.hasValue());
        QCOMPARE(page->size(), 2);
        QCOMPARE(page->at(0).subject, QStringLiteral("(kein Betreff)"));
        QCOMPARE(page->at(1).subject, QStringLiteral("RE: Angebot"));
    }

    void pages_data()
    {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("first");
        QTest::newRow("first page") << qint64(0) << qint64(100) << 100 << 1;
        QTest::newRow("second page") << qint64(100) << qint64(100) << 100 << 101;
        QTest::newRow("last, short page") << qint64(200) << qint64(100) << 50 << 201;
        QTest::newRow("past the end") << qint64(250) << qint64(100) << 0 << 0;
        QTest::newRow("all at once") << qint64(0) << qint64(1000) << 250 << 1;
    }
    void pages()
    {
        QFETCH(qint64, offset);
        QFETCH(qint64, limit);
        QFETCH(int, count);
        QFETCH(int, first);
        PSTActor actor;
        const auto opened = openSync(actor, m_path);
        QVERIFY(opened.hasValue());
        const auto page = loadSync(actor, *findFolder(opened.value(), QStringLiteral("Viele")), offset, limit);
        QVERIFY(page.hasValue());
        QCOMPARE(page->size(), count);
        for (int i = 0; i < count; ++i)
            QCOMPARE(page->at(i).subject, QStringLiteral("Nachricht %1").arg(first + i, 3, 10, QLatin1Char('0')));
    }

    void damaged_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("step");  // the structure the open fails in; empty: it opens
        QTest::addColumn<PSTError::Kind>("kind");
        const auto parsing = PSTError::Kind::parsingFailed;
        QTest::newRow("header magic") << "overwrite=header-magic" << "" << PSTError::Kind::invalidFormat;
        QTest::newRow("header checksum") << "overwrite=header-crc" << "header: checksum mismatch at 0x4" << parsing;
        QTest::newRow("cut in the header") << "truncate=100" << "header: " << parsing;
        QTest::newRow("empty file") << "truncate=0" << "" << PSTError::Kind::invalidFormat;
        QTest::newRow("node tree root") << "overwrite=nbt-root" << "" << parsing;
        QTest::newRow("root folder") << "overwrite=root-folder" << "" << parsing;
        QTest::newRow("a message") << "overwrite=message:3" << "" << parsing;
    }
    void damaged()
    {
        QFETCH(QString, damage);
        QFETCH(QString, step);
        QFETCH(PSTError::Kind, kind);
        const QString path = m_dir.filePath(QStringLiteral("damaged.pst"));
        QFile::remove(path);
        QVERIFY(QFile::copy(m_path, path));
        QString error;
        const auto parsed = pw::Damage::parse(damage, &error);
        QVERIFY2(parsed, qPrintable(error));
        QVERIFY2(pw::applyDamage(path, *parsed, *m_builder, m_written, &error), qPrintable(error));

        PSTActor actor;
        const auto opened = openSync(actor, path);
        if (!step.isEmpty() || kind != PSTError::Kind::parsingFailed || !opened.hasValue()) {
            // A file no engine will take: not an archive at all, or a read
            // error naming the structure and where it broke.
            QVERIFY(!opened.hasValue());
            QCOMPARE(opened.error().kind(), kind);
            QVERIFY2(step.isEmpty() || opened.error().message().startsWith(step), qPrintable(opened.error().message()));
            return;
        }
        // One spoilt message: the archive opens; its folder's page either
        // fails as a whole with a read error or still brings the intact
        // neighbour whole (the spoilt one skipped or left blank).
        QVERIFY(opened.hasValue());
        const MailFolder *drafts = findFolder(opened.value(), decomposed);
        QVERIFY(drafts);
        const auto page = loadSync(actor, *drafts, 0, 100);
        if (page.hasValue()) {
            QVERIFY(page->size() <= 2);
            QCOMPARE(page->last().subject, QStringLiteral("RE: Angebot"));
            QCOMPARE(page->last().bodyText, std::optional<QString>(QStringLiteral("Hallo")));
        }
        else
            QCOMPARE(page.error().kind(), PSTError::Kind::parsingFailed);
        const auto other = loadSync(actor, *findFolder(opened.value(), posteingang), 0, 100);
        QVERIFY(other.hasValue());
        QCOMPARE(other->size(), 2);
    }

    void previewsWithoutPlainBody_data()
    {
        QTest::addColumn<EngineChoice>("engine");
        QTest::newRow("native") << EngineChoice::native;
        QTest::newRow("libpff") << EngineChoice::libpff;
    }
    void previewsWithoutPlainBody()
    {
        // A message with only an HTML or only an RTF body previews the text
        // its detail shows; markup, hidden parts and remote addresses are no
        // text, and the body-word scan searches the same previews.
        QFETCH(EngineChoice, engine);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("bodies.pst"));
        pw::ArchiveBuilder b;
        QVERIFY2(b.open(path), qPrintable(b.errorString()));
        const pw::FolderId folder = b.addFolder(b.ipmSubtree(), QStringLiteral("Bodies"));
        const auto only = [](const QString &subject) {
            pw::Message m = message(subject);
            m.body.reset();
            return m;
        };
        pw::Message html = only(QStringLiteral("html"));
        html.html = QByteArray("<html><head><title>Kopf</title><style>p { color: red }</style></head>"
                               "<body><p>Caf&eacute; &amp; Kuchen&nbsp;um&#160;<b>drei</b><br>Uhr "
                               "&#x20AC;&#8364; <img src=\"http://tracker.example/pixel.gif\"></p>"
                               "<script>var secret = 1;</script><!-- versteckt --></body></html>");
        b.addMessage(folder, html);
        pw::Message latin = only(QStringLiteral("html-1252"));
        latin.html = QByteArray("<p>Gr\xfc\xdf" "e</p>");
        latin.htmlCodepage = 1252;
        b.addMessage(folder, latin);
        pw::Message rtfHtml = only(QStringLiteral("rtf-html"));
        rtfHtml.rtf = pw::encapsulateHtml(QStringLiteral("<html><body><p>Angebot <i>anbei</i></p></body></html>"));
        b.addMessage(folder, rtfHtml);
        pw::Message rtfText = only(QStringLiteral("rtf-text"));
        rtfText.rtf = pw::encapsulateText(QStringLiteral("Nur Text aus RTF"));
        b.addMessage(folder, rtfText);
        b.addMessage(folder, only(QStringLiteral("none")));
        b.addMessage(folder, message(QStringLiteral("plain")));
        QVERIFY2(b.finish(), qPrintable(b.errorString()));

        PSTActor actor(engine);
        const auto opened = openSync(actor, path);
        QVERIFY(opened.hasValue());
        const MailFolder *bodies = findFolder(opened.value(), QStringLiteral("Bodies"));
        QVERIFY(bodies);
        auto listing = actor.listFolder(*bodies);
        QVERIFY(test::waitFor(listing));
        QHash<QString, QUuid> ids;
        for (const MessageRow &row : listedRows(listing.results()))
            ids.insert(row.subject, row.id);
        QCOMPARE(ids.size(), 6);
        auto previews = actor.readPreviews(ids.values());
        QVERIFY(test::waitFor(previews));
        const QHash<QUuid, QString> lines = previews.result();
        // The line collapses white space, no-break spaces included.
        QCOMPARE(lines.value(ids[QStringLiteral("html")]), QStringLiteral("Café & Kuchen um drei Uhr €€"));
        QCOMPARE(lines.value(ids[QStringLiteral("html-1252")]), QStringLiteral("Grüße"));
        QCOMPARE(lines.value(ids[QStringLiteral("rtf-html")]), QStringLiteral("Angebot anbei"));
        QCOMPARE(lines.value(ids[QStringLiteral("rtf-text")]), QStringLiteral("Nur Text aus RTF"));
        QVERIFY(lines.contains(ids[QStringLiteral("none")]));
        QCOMPARE(lines.value(ids[QStringLiteral("none")]), QString());
        QCOMPARE(lines.value(ids[QStringLiteral("plain")]), QStringLiteral("Hallo"));

        const auto scan = [&](const QString &word) {
            auto found = actor.searchPreviews(ids.values(), [word](const QString &text) { return text.contains(word); });
            return test::waitFor(found) ? found.results() : QList<QUuid>{QUuid()};
        };
        QCOMPARE(scan(QStringLiteral("Kuchen")), QList<QUuid>{ids[QStringLiteral("html")]});
        QCOMPARE(scan(QStringLiteral("anbei")), QList<QUuid>{ids[QStringLiteral("rtf-html")]});
        for (const QString &hidden : {QStringLiteral("Kopf"), QStringLiteral("color"), QStringLiteral("secret"),
                                      QStringLiteral("versteckt"), QStringLiteral("tracker")})
            QVERIFY2(scan(hidden).isEmpty(), qPrintable(hidden));
    }

    void rowIdsOfOneListing()
    {
        // Row ids count up from one random id per listing: a row reads its
        // own message, an id of an earlier listing or a forged one reads
        // nothing.
        PSTActor actor;
        const auto opened = openSync(actor, m_path);
        QVERIFY(opened.hasValue());
        const MailFolder *many = findFolder(opened.value(), QStringLiteral("Viele"));
        QVERIFY(many);
        const auto list = [&actor](const MailFolder &folder) {
            auto listing = actor.listFolder(folder);
            return test::waitFor(listing) ? listedRows(listing.results()) : QList<MessageRow>();
        };
        const QList<MessageRow> first = list(*many);
        QCOMPARE(first.size(), 250);
        QSet<QUuid> distinct;
        for (const MessageRow &row : first)
            distinct.insert(row.id);
        QCOMPARE(distinct.size(), 250);
        const auto read = [&actor](const QUuid &id) {
            auto future = actor.readMessage(id);
            return test::waitFor(future) ? future.result() : PSTResult<MailMessage>(PSTError::parsingFailed({}));
        };
        for (const qsizetype at : {qsizetype(0), qsizetype(117), qsizetype(249)}) {
            const auto message = read(first[at].id);
            QVERIFY(message.hasValue());
            QCOMPARE(message->subject, first[at].subject);
        }
        QUuid beyond = first.constFirst().id;
        beyond.data1 = 250;
        QVERIFY(!read(beyond).hasValue());
        QUuid forged = first.constFirst().id;
        forged.data4[7] ^= 0x01;
        QVERIFY(!read(forged).hasValue());

        const QList<MessageRow> second = list(*many);
        QCOMPARE(second.size(), 250);
        QVERIFY(second.constFirst().id != first.constFirst().id);
        QVERIFY(!read(first.constFirst().id).hasValue());
        QVERIFY(read(second.constFirst().id).hasValue());
    }

    void leavesTheArchiveUntouched_data()
    {
        QTest::addColumn<EngineChoice>("engine");
        QTest::newRow("native") << EngineChoice::native;
        QTest::newRow("libpff") << EngineChoice::libpff;
    }
    void leavesTheArchiveUntouched()
    {
        // Open, every page of every folder, every attachment saved: the
        // archive's bytes and modification time stay as they were, even
        // where the file may be written.
        QFETCH(EngineChoice, engine);
        const auto digest = [this] {
            QFile f(m_path);
            QCryptographicHash h(QCryptographicHash::Sha256);
            return f.open(QIODevice::ReadOnly) && h.addData(&f) ? h.result() : QByteArray();
        };
        const QByteArray before = digest();
        QVERIFY(!before.isEmpty());
        const QDateTime modified = QFileInfo(m_path).lastModified();
        const QFileDevice::Permissions permissions = QFile::permissions(m_path);
        QVERIFY(permissions & QFileDevice::WriteOwner);
        int saved = 0;
        {
            PSTActor actor(engine);
            const auto opened = openSync(actor, m_path);
            QVERIFY(opened.hasValue());
            QCOMPARE(actor.engineName(), engine == EngineChoice::native ? QStringLiteral("native") : QStringLiteral("libpff"));
            std::function<void(const QList<MailFolder> &)> walk = [&](const QList<MailFolder> &folders) {
                for (const MailFolder &folder : folders) {
                    for (qint64 offset = 0; offset < folder.messageCount; offset += 100) {
                        const auto page = loadSync(actor, folder, offset, 100);
                        QVERIFY(page.hasValue());
                        for (const MailMessage &m : *page) {
                            for (const Attachment &a : m.attachments) {
                                const QString to = m_dir.filePath(QStringLiteral("saved-%1").arg(++saved));
                                auto written = actor.saveAttachment(a, to);
                                QVERIFY(test::waitFor(written));
                                QVERIFY(written.result().hasValue());
                                QCOMPARE(written.result().value(), a.size);
                                QFile::remove(to);
                            }
                        }
                    }
                    walk(folder.children);
                }
            };
            walk(opened.value());
        }
        QCOMPARE(saved, 4);
        QCOMPARE(digest(), before);
        QCOMPARE(QFileInfo(m_path).lastModified(), modified);
        QCOMPARE(QFile::permissions(m_path), permissions);
    }
};

QTEST_GUILESS_MAIN(TestPSTGenerated)
#include "tst_pstgenerated.moc"
