// The two engines held to the same result: ostrel-inspect's dumps byte for
// byte on every corpus archive libpff opens and on written archives, and the
// actor's records, folder by folder and message by message, on written
// archives covering every writer feature.
#include "ArchiveBuilder.h"
#include "ManifestReader.h"
#include "Synthetic.h"
#include "TestSupport.h"
#include "pst/PSTActor.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace ostrel;
namespace pw = ostrel::pstwriter;

namespace {

using Dump = test::ToolRun;

Dump dump(const QString &archive, const QString &engine)
{
    return test::runTool(QStringLiteral(OSTREL_INSPECT_PATH),
                         {QStringLiteral("--dump"), QStringLiteral("--engine"), engine, archive}, 300000);
}

// The first line where two dumps part, for the failure text.
QString firstDifference(const QByteArray &a, const QByteArray &b)
{
    const QList<QByteArray> la = a.split('\n');
    const QList<QByteArray> lb = b.split('\n');
    for (qsizetype i = 0; i < std::max(la.size(), lb.size()); ++i) {
        const QByteArray x = i < la.size() ? la[i] : QByteArray("(end)");
        const QByteArray y = i < lb.size() ? lb[i] : QByteArray("(end)");
        if (x != y)
            return QStringLiteral("line %1\n native: %2\n libpff: %3")
                .arg(i + 1)
                .arg(QString::fromUtf8(x.left(600)), QString::fromUtf8(y.left(600)));
    }
    return {};
}

// Known difference "search folders": libpff counts no messages in a search
// folder and lists none, while the archive's hierarchy row counts its
// results (PidTagContentCount, 0x3602) and the results lie in the folder's
// search contents table (node type 0x10), not in a contents table (0x0E).
// The native engine gives the row's count and lists the results from that
// table (a table context, or the search table form). So the dumps and records are compared with
// search folders' counts and messages set aside, and each archive that has
// such a folder must show the difference (so that it is noticed when either
// engine changes).
struct SearchFolders {
    QSet<QString> paths;   // "/a/b", as the records name them
    qint64 counted = 0;    // what their hierarchy rows count, in all
};

SearchFolders searchFolders(const QString &archive)
{
    SearchFolders found;
    auto opened = EngineFactory::standard().open(archive, EngineChoice::native);
    if (!opened)
        return found;
    std::function<void(const QList<RawFolder> &, const QString &)> walk = [&](const QList<RawFolder> &folders,
                                                                              const QString &parent) {
        for (const RawFolder &f : folders) {
            const QString path = parent + QLatin1Char('/') + rules::folderRecord(f).name;
            if (f.searchFolder) {
                found.paths.insert(path);
                found.counted += rules::integer32(f.properties, 0x3602).value_or(0);
            }
            walk(f.children.value, path);
        }
    };
    walk(opened->archive.folders.value, QString());
    return found;
}

// A dump with search folders' counts blanked and their message lines left
// out; the number of lines changed.
QByteArray withoutSearchResults(const QByteArray &dump, const SearchFolders &search, int *changed)
{
    QByteArray out;
    for (const QByteArray &line : dump.split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        QString path;
        for (const QJsonValue part : o.value(o.value("type") == QLatin1String("folder") ? "path" : "folder").toArray())
            path += QLatin1Char('/') + part.toString();
        if (!line.isEmpty() && search.paths.contains(path)) {
            ++*changed;
            if (o.value("type") != QLatin1String("folder"))
                continue;
            QJsonObject blank = o;
            blank.insert("messageCount", QJsonValue());
            out += QJsonDocument(blank).toJson(QJsonDocument::Compact) + '\n';
            continue;
        }
        out += line + '\n';
    }
    return out;
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(16));
}

QString optionalText(const std::optional<QString> &text)
{
    return text ? QStringLiteral("%1:%2").arg(text->size()).arg(hex(text->toUtf8())) : QStringLiteral("-");
}

// A message record without the ids the actor mints, as one line of text:
// two engines that read a message alike give the same line.
QString describe(const MailMessage &m, const std::function<QString(const Attachment &)> &attachmentBytes)
{
    QStringList parts{m.subject,
                      m.sender,
                      m.senderEmail,
                      m.recipients.join(QLatin1Char(';')),
                      m.ccRecipients.join(QLatin1Char(';')),
                      QString::number(m.date, 'f', 3),
                      m.isRead ? QStringLiteral("read") : QStringLiteral("unread"),
                      rawValue(m.importance),
                      optionalText(m.bodyText),
                      optionalText(m.bodyHTML),
                      m.bodyRTF ? QStringLiteral("%1:%2").arg(m.bodyRTF->size()).arg(hex(*m.bodyRTF)) : QStringLiteral("-"),
                      m.recipientsFailure.value_or(QString()),
                      m.attachmentsFailure.value_or(QString())};
    for (const Attachment &a : m.attachments)
        parts << QStringLiteral("[%1|%2|%3|%4|%5]")
                     .arg(a.filename, a.mimeType)
                     .arg(a.size)
                     .arg(a.contentId.value_or(QStringLiteral("-")), attachmentBytes(a));
    return parts.join(QLatin1String(" | "));
}

QString describe(const MailFolder &f)
{
    return QStringLiteral("%1 [%2] %3/%4 %5 %6")
        .arg(f.name, rawValue(f.folderType))
        .arg(f.messageCount)
        .arg(f.unreadCount)
        .arg(f.subFoldersFailure.value_or(QString()), f.messageCountFailure.value_or(QString()));
}

template <typename T>
bool settle(const QFuture<T> &future)
{
    return ostrel::test::waitFor(future, 300000);
}

// What the actor gives of a whole archive through one engine: every folder
// (path and record), every message of it (sorted: engines may page in
// different orders), attachment bytes as loaded or saved.
struct Reading {
    QString engine;
    QStringList folders;
    QHash<QString, QStringList> messages;  // by folder path
    QStringList failures;
};

Reading readThrough(EngineChoice choice, const QString &archive, const QString &scratch, const SearchFolders &search)
{
    Reading r;
    PSTActor actor(choice);
    auto opened = actor.openFile(QUrl::fromLocalFile(archive));
    if (!settle(opened) || !opened.result()) {
        r.failures << QStringLiteral("open failed");
        return r;
    }
    r.engine = actor.engineName();
    int saved = 0;
    const auto bytesOf = [&](const Attachment &a) -> QString {
        if (a.data)
            return hex(*a.data);
        const QString path = QDir(scratch).filePath(QStringLiteral("save-%1").arg(++saved));
        auto written = actor.saveAttachment(a, path);
        if (!settle(written))
            return QStringLiteral("save hung");
        // The engines word their refusals differently (an attached message
        // has no bytes to save); the kind of failure must agree.
        if (!written.result())
            return QStringLiteral("save failed (%1)").arg(int(written.result().error().kind));
        QFile f(path);
        const QString sum = f.open(QIODevice::ReadOnly) ? hex(f.readAll()) : QStringLiteral("unsaved");
        f.close();
        QFile::remove(path);
        return sum;
    };
    std::function<void(const QList<MailFolder> &, const QString &)> walk = [&](const QList<MailFolder> &folders,
                                                                              const QString &parent) {
        for (const MailFolder &folder : folders) {
            const QString path = parent + QLatin1Char('/') + folder.name;
            if (search.paths.contains(path)) {  // the known difference above
                MailFolder blank = folder;
                blank.messageCount = -1;
                r.folders << path + QLatin1String(": ") + describe(blank);
                walk(folder.children, path);
                continue;
            }
            r.folders << path + QLatin1String(": ") + describe(folder);
            QStringList &lines = r.messages[path];
            for (qint64 offset = 0; offset < folder.messageCount; offset += 100) {
                auto page = actor.loadMessages(folder, offset, 100);
                if (!settle(page) || !page.result()) {
                    r.failures << QStringLiteral("%1 at %2: %3")
                                      .arg(path)
                                      .arg(offset)
                                      .arg(page.isFinished() ? page.result().error().errorDescription()
                                                             : QStringLiteral("hung"));
                    break;
                }
                const auto messages = page.result();
                for (const MailMessage &m : messages.value())
                    lines << describe(m, bytesOf);
            }
            lines.sort();
            walk(folder.children, path);
        }
    };
    walk(opened.result().value(), QString());
    r.folders.sort();
    return r;
}

using Builder = std::function<bool(pw::ArchiveBuilder &, QString *)>;

// Contents no synthetic setting makes: decomposed and precomposed names,
// folders with bare hierarchy rows and without names, 8-bit and empty
// values, an attachment of several blocks beside an embedded message and
// an OLE object.
bool oddNames(pw::ArchiveBuilder &b, QString *)
{
    const pw::FolderId drafts = b.addFolder(b.ipmSubtree(), QStringLiteral("Entwu\u0308rfe"));
    b.addFolder(b.ipmSubtree(), QStringLiteral("Entw\u00fcrfe"));
    pw::FolderOptions bare;
    bare.bareHierarchyRow = true;
    const pw::FolderId hidden = b.addFolder(drafts, QStringLiteral("Nur im Ordner"), bare);
    pw::FolderOptions nameless;
    nameless.nameAbsent = true;
    b.addFolder(drafts, QStringLiteral("ignored"), nameless);
    for (int i = 0; i < 5; ++i) {
        pw::Message m;
        m.subject = QStringLiteral("Gru\u0308\u00dfe %1").arg(i);
        m.senderName = QStringLiteral("Jose\u0301");
        m.senderEmail = QStringLiteral("jose@example.org");
        m.deliveryTime = QDateTime(QDate(2023, 1, 1 + i), QTime(8, 0), Qt::UTC);
        if (i % 2) {
            m.body8bit = QByteArray("Gr\xfc\xdf" "e aus K\xf6ln ") + QByteArray::number(i);
            m.bodyCodepage = 1252;
        } else {
            m.body = QStringLiteral("Gru\u0308\u00dfe");
        }
        m.addRecipient({QStringLiteral("Zoe\u0308"), QStringLiteral("zoe@example.org"), {}, {}, pw::RecipientType::To});
        m.addRecipient({QStringLiteral("\u00c5sa"), QStringLiteral("asa@example.org"), {}, {}, pw::RecipientType::Cc});
        pw::Attachment a;
        a.longFileName = QStringLiteral("Pru\u0308fung %1.pdf").arg(i);
        QByteArray data(20000 * (i + 1), Qt::Uninitialized);
        for (qsizetype k = 0; k < data.size(); ++k)
            data[k] = char(k * 7 + i);
        a.data = data;
        m.addAttachment(a);
        auto inner = std::make_shared<pw::Message>();
        inner->subject = QStringLiteral("Innen \u00e9");
        inner->body = QStringLiteral("x");
        pw::Attachment e;
        e.embedded = inner;
        m.addAttachment(e);
        // An OLE object keeps its storage behind an object reference too,
        // but it is bytes, not a message.
        pw::Attachment ole;
        ole.longFileName = QStringLiteral("Tabelle %1.xls").arg(i);
        ole.method = pw::AttachMethod::Ole;
        ole.data = QByteArray(5000 + 700 * i, char('a' + i));
        m.addAttachment(ole);
        b.addMessage(i < 3 ? drafts : hidden, m);
    }
    pw::Message empty;
    empty.subject = QString();
    b.addMessage(drafts, empty);
    return true;
}

}  // namespace

Q_DECLARE_METATYPE(Builder)

class TestEngineCompare : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    void compareDumps(const QString &archive, const QString &file)
    {
        const Dump native = dump(archive, QStringLiteral("native"));
        const Dump libpff = dump(archive, QStringLiteral("libpff"));
        QVERIFY2(native.err.startsWith("Read by the native engine."), native.err.constData());
        QVERIFY2(libpff.err.startsWith("Read by the libpff engine."), libpff.err.constData());
        QVERIFY2(native.out.count('\n') > 0, native.err.constData());
        QByteArray nativeOut = native.out;
        QByteArray libpffOut = libpff.out;
        const SearchFolders search = searchFolders(archive);
        if (search.counted > 0) {
            // The known difference still shows, and nothing else differs.
            QVERIFY2(native.out != libpff.out, qPrintable(file + QLatin1String(": search folders read alike now")));
            int changed = 0;
            nativeOut = withoutSearchResults(native.out, search, &changed);
            libpffOut = withoutSearchResults(libpff.out, search, &changed);
            QVERIFY(changed > 0);
        }
        QVERIFY2(nativeOut == libpffOut, qPrintable(file + QLatin1Char(' ') + firstDifference(nativeOut, libpffOut)
                                                      + QLatin1String("\nnative says: ") + QString::fromUtf8(native.err.left(800))
                                                      + QLatin1String("\nlibpff says: ") + QString::fromUtf8(libpff.err.left(800))));
        QCOMPARE(native.exitCode, libpff.exitCode);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void corpusDumps_data()
    {
        QTest::addColumn<QString>("file");
        if (!ostrel::test::corpusDir())
            return;
        const auto manifest = readManifest(QDir(*ostrel::test::corpusDir()).filePath(QStringLiteral("MANIFEST.md")));
        QStringList files = manifest.keys();
        files.sort();
        for (const QString &file : files)
            if (manifest.value(file).opens)
                QTest::newRow(qPrintable(file)) << file;
    }
    void corpusDumps()
    {
        OSTREL_REQUIRE_CORPUS();
        QFETCH(QString, file);
        compareDumps(ostrel::test::corpusFile(file), file);
    }

    void generated_data()
    {
        QTest::addColumn<QString>("synthetic");
        QTest::addColumn<Builder>("builder");
        const Builder none;
        // Every row keeps the Outlook-like layout unless it says otherwise.
        QTest::newRow("permute") << "folders=8,messages=120,seed=3" << none;
        QTest::newRow("cyclic") << "folders=8,messages=120,seed=4,encoding=cyclic" << none;
        QTest::newRow("no encoding, legacy layout") << "folders=8,messages=80,seed=5,layout=legacy" << none;
        QTest::newRow("large attachments") << "folders=3,messages=9,seed=6,attachEvery=2,attachSize=2500000" << none;
        QTest::newRow("embedded messages") << "folders=4,messages=40,seed=7,nestedEvery=2" << none;
        QTest::newRow("8-bit bodies") << "folders=4,messages=45,seed=8,codepageEvery=1,htmlEvery=3" << none;
        QTest::newRow("rtf, items, headers, undated")
            << "folders=5,messages=70,seed=9,rtfEvery=2,itemsEvery=3,headersEvery=4,undatedEvery=5" << none;
        QTest::newRow("deep tree") << "folders=40,messages=60,seed=10,depth=14" << none;
        QTest::newRow("folder of 300") << "folders=6,messages=320,seed=11,biggest=300,body=200,attachEvery=0" << none;
        QTest::newRow("internal and search folders")
            << "folders=6,messages=200,seed=12,internal=1,searchFolders=2,body=200" << none;
        QTest::newRow("decomposed names, bare rows") << QString() << Builder(oddNames);
    }
    void generated()
    {
        QFETCH(QString, synthetic);
        QFETCH(Builder, builder);
        const QString path = m_dir.filePath(QStringLiteral("%1.pst").arg(QTest::currentDataTag()));
        {
            pw::ArchiveOptions options;
            QString error;
            std::optional<pw::SyntheticSettings> settings;
            if (!synthetic.isEmpty()) {
                settings = pw::SyntheticSettings::parse(synthetic, &error);
                QVERIFY2(settings, qPrintable(error));
                settings->applyTo(options);
            }
            pw::ArchiveBuilder b(options);
            QVERIFY(b.open(path));
            const bool built = settings ? pw::buildSynthetic(*settings, b, nullptr, &error) : builder(b, &error);
            QVERIFY2(built, qPrintable(error));
            QVERIFY2(b.finish(), qPrintable(b.errorString()));
        }

        compareDumps(path, QString());
        if (QTest::currentTestFailed())
            return;

        const SearchFolders search = searchFolders(path);
        const Reading native = readThrough(EngineChoice::native, path, m_dir.path(), search);
        const Reading libpff = readThrough(EngineChoice::libpff, path, m_dir.path(), search);
        QCOMPARE(native.engine, QStringLiteral("native"));
        QCOMPARE(libpff.engine, QStringLiteral("libpff"));
        QVERIFY2(native.failures.isEmpty(), qPrintable(native.failures.join(QLatin1Char('\n'))));
        QVERIFY2(libpff.failures.isEmpty(), qPrintable(libpff.failures.join(QLatin1Char('\n'))));
        QCOMPARE(native.folders, libpff.folders);
        qint64 messages = 0;
        for (auto it = native.messages.cbegin(); it != native.messages.cend(); ++it) {
            const QStringList other = libpff.messages.value(it.key());
            QCOMPARE(it.value().size(), other.size());
            for (qsizetype i = 0; i < other.size(); ++i)
                QVERIFY2(it.value()[i] == other[i],
                         qPrintable(it.key() + QLatin1String("\n native: ") + it.value()[i] + QLatin1String("\n libpff: ") + other[i]));
            messages += other.size();
        }
        QVERIFY(messages > 0);
    }
};

QTEST_GUILESS_MAIN(TestEngineCompare)
#include "tst_enginecompare.moc"
