// Damaged variants of every corpus archive and of written archives, read by
// the native engine: byte flips, zeroed pages, truncations and B-trees that
// loop. Each variant either reads exactly what the intact archive gives
// (same folders, messages, properties, recipients, attachments and bytes),
// or names each part it could not read. Never less data with no word.
//
// ctest runs a bounded sample (OSTREL_MUTATIONS variants per archive and
// kind, default 6); OSTREL_MUTATIONS=200 is the full run (scripts/mutate).
// Each archive's line in the output gives its counts.
#include "ArchiveBuilder.h"
#include "ManifestReader.h"
#include "ReaderFixtures.h"
#include "Synthetic.h"
#include "TestSupport.h"
#include "pst/format/Header.h"
#include "pst/format/Page.h"
#include "pst/native/NativeEngine.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>

using namespace ostrel;
namespace pw = ostrel::pstwriter;

namespace {

// Everything the engine gives of an archive, folded into one digest, with
// counts for the failure texts and every part it said it could not read.
struct Census {
    QByteArray digest;
    qint64 folders = 0;
    qint64 messages = 0;
    qint64 properties = 0;
    qint64 recipients = 0;
    qint64 attachments = 0;
    qint64 attachmentBytes = 0;
    QStringList failures;

    QString counts() const
    {
        return QStringLiteral("folders=%1 messages=%2 properties=%3 recipients=%4 attachments=%5 bytes=%6")
            .arg(folders)
            .arg(messages)
            .arg(properties)
            .arg(recipients)
            .arg(attachments)
            .arg(attachmentBytes);
    }
};

class Reader {
public:
    explicit Reader(Census &census) : m_c(census), m_hash(QCryptographicHash::Sha256) {}

    void run(const QString &path)
    {
        NativeEngine engine;
        m_engine = &engine;
        auto archive = engine.open(path);
        if (!archive) {
            m_c.failures << archive.error().message();
            return;
        }
        addBag(archive->store);
        if (archive->namedPropertiesFailure)
            m_c.failures << *archive->namedPropertiesFailure;
        if (!archive->folders.readable())
            m_c.failures << *archive->folders.failure;
        folders(archive->folders.value);
        m_c.digest = m_hash.result();
    }

private:
    void add(const QByteArray &bytes)
    {
        const qint64 n = bytes.size();
        m_hash.addData(QByteArrayView(reinterpret_cast<const char *>(&n), sizeof n));
        m_hash.addData(bytes);
    }
    void add(qint64 n) { add(QByteArray::number(n)); }

    void addBag(const PropertyBag &bag)
    {
        for (const PropertyBag::Tagged &t : bag.tagged()) {
            add(t.id);
            add(t.value.type);
            add(t.value.bytes);
        }
        QStringList named;
        for (auto it = bag.named().cbegin(); it != bag.named().cend(); ++it) {
            const QString id = std::holds_alternative<quint32>(it.key().id) ? QString::number(std::get<quint32>(it.key().id))
                                                                             : std::get<QString>(it.key().id);
            named << it.key().propertySet.toString() + id + QString::number(it.value().type)
                         + QString::fromLatin1(it.value().bytes.toHex());
        }
        named.sort();
        add(named.join(QLatin1Char('\n')).toUtf8());
        m_c.properties += bag.tagged().size() + bag.named().size();
    }

    void folders(const QList<RawFolder> &list)
    {
        for (const RawFolder &f : list) {
            ++m_c.folders;
            add(f.node);
            addBag(f.properties);
            if (f.messageCount.readable())
                add(f.messageCount.value);
            else
                m_c.failures << *f.messageCount.failure;
            if (!f.children.readable())
                m_c.failures << *f.children.failure;
            qint64 rows = 0;
            auto listing = m_engine->listFolder(f.node, [&](const QList<RawRow> &chunk) {
                rows += chunk.size();
                return true;
            });
            if (!listing)
                m_c.failures << listing.error().message();
            else if (listing->failure)
                m_c.failures << *listing->failure;
            add(rows);
            for (qint64 offset = 0;; offset += 100) {
                auto page = m_engine->readMessages(f.node, offset, 100, [](const PropertyBag &, qint64) { return false; });
                if (!page) {
                    m_c.failures << page.error().message();
                    break;
                }
                for (const RawMessage &m : *page)
                    message(m);
                if (page->size() < 100)
                    break;
            }
            folders(f.children.value);
        }
    }

    void message(const RawMessage &m)
    {
        ++m_c.messages;
        add(m.key.node);
        addBag(m.properties);
        if (m.failure)
            m_c.failures << *m.failure;
        if (!m.recipients.readable())
            m_c.failures << *m.recipients.failure;
        if (!m.attachments.readable())
            m_c.failures << *m.attachments.failure;
        for (const PropertyBag &r : m.recipients.value) {
            ++m_c.recipients;
            addBag(r);
        }
        for (const RawAttachment &a : m.attachments.value) {
            ++m_c.attachments;
            add(a.index);
            addBag(a.properties);
            if (a.embeddedFailure)
                m_c.failures << *a.embeddedFailure;
            if (a.embedded) {
                message(*a.embedded);
                continue;
            }
            if (!a.dataSize)
                continue;
            QCryptographicHash bytes(QCryptographicHash::Sha256);
            auto n = m_engine->streamAttachment(AttachmentKey{m.key, a.index}, [&](QByteArrayView chunk) {
                bytes.addData(chunk);
                return true;
            });
            if (!n) {
                m_c.failures << n.error();
                continue;
            }
            m_c.attachmentBytes += *n;
            add(bytes.result());
        }
    }

    Census &m_c;
    QCryptographicHash m_hash;
    NativeEngine *m_engine = nullptr;
};

Census census(const QString &path)
{
    Census c;
    Reader(c).run(path);
    return c;
}

enum class Damage { flip, zeroPage, truncate, loop };

// A B-tree whose first child entry points back at its own page (checksum
// made good again), in whichever of the two trees has a level above the
// leaves; empty when neither has.
QByteArray withLoop(const QByteArray &good)
{
    auto header = pst::parseHeader(QByteArrayView(good).first(std::min<qsizetype>(pst::Header::kSize, good.size())));
    if (!header)
        return {};
    const pst::Layout &l = header->layout();
    for (const pst::Bref root : {header->nbtRoot, header->bbtRoot}) {
        if (root.ib + quint64(l.pageSize) > quint64(good.size()))
            continue;
        QByteArray bytes = good;
        auto *page = reinterpret_cast<uchar *>(bytes.data() + root.ib);
        if (pst::readBtPageInfo(l, page).level == 0 || pst::readBtPageInfo(l, page).count == 0)
            continue;
        const pst::PageTrailer trailer = pst::readPageTrailer(l, page);
        uchar *child = page + l.idSize;  // the first entry's child: bid, then offset
        if (l.idSize == 4) {
            qToLittleEndian(quint32(trailer.bid), child);
            qToLittleEndian(quint32(root.ib), child + 4);
        } else {
            qToLittleEndian(trailer.bid, child);
            qToLittleEndian(root.ib, child + 8);
        }
        pst::writePageTrailer(l, page, pst::PageType(trailer.type), trailer.signature, trailer.bid);
        return bytes;
    }
    return {};
}

QByteArray damaged(const QByteArray &good, Damage kind, QRandomGenerator &rng)
{
    QByteArray bytes = good;
    // Past the header, where the archive's structures lie, most of the time.
    const quint32 from = rng.bounded(4) == 0 ? 0 : quint32(std::min<qsizetype>(pst::Header::kSize, good.size() - 1));
    const auto at = qsizetype(from + rng.bounded(quint32(good.size()) - from));
    switch (kind) {
    case Damage::flip:
        bytes[at] = char(bytes[at] ^ char(1 << rng.bounded(8)));
        break;
    case Damage::zeroPage: {
        const qsizetype start = at & ~qsizetype(511);
        std::fill_n(bytes.data() + start, std::min<qsizetype>(512, bytes.size() - start), '\0');
        break;
    }
    case Damage::truncate:
        bytes.truncate(at);
        break;
    case Damage::loop:
        return withLoop(good);
    }
    return bytes;
}

// Written archives: every encoding, both layouts, embedded messages, a
// B-tree of more than one level.
const char *const kWritten[][2] = {
    {"written-permute", "folders=6,messages=60,seed=21,body=300,attachSize=9000,nestedEvery=5,htmlEvery=2"},
    {"written-cyclic", "folders=5,messages=40,seed=22,body=200,attachSize=70000,attachEvery=6,encoding=cyclic"},
    {"written-legacy", "folders=4,messages=30,seed=23,body=100,layout=legacy,encoding=none,codepageEvery=3"},
    {"written-deep", "folders=30,messages=700,seed=24,body=60,attachEvery=0,htmlEvery=0,depth=8"},
};

}  // namespace

Q_DECLARE_METATYPE(Damage)

class TestMutation : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_variants = 6;
    qint64 m_total = 0, m_same = 0, m_reported = 0, m_refused = 0;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        bool ok = false;
        const int n = qEnvironmentVariableIntValue("OSTREL_MUTATIONS", &ok);
        if (ok && n > 0)
            m_variants = n;
    }

    void variants_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("synthetic");
        if (const auto dir = ostrel::test::corpusDir()) {
            const auto manifest = readManifest(QDir(*dir).filePath(QStringLiteral("MANIFEST.md")));
            QStringList files = manifest.keys();
            files.sort();
            for (const QString &file : files)
                if (manifest.value(file).opens)
                    QTest::newRow(qPrintable(file)) << QDir(*dir).filePath(file) << QString();
        }
        for (const auto &w : kWritten)
            QTest::newRow(w[0]) << QString() << QString::fromLatin1(w[1]);
    }
    void variants()
    {
        QFETCH(QString, source);
        QFETCH(QString, synthetic);
        if (source.isEmpty()) {
            source = m_dir.filePath(QStringLiteral("%1.pst").arg(QTest::currentDataTag()));
            QString error;
            auto settings = pw::SyntheticSettings::parse(synthetic, &error);
            QVERIFY2(settings, qPrintable(error));
            pw::ArchiveOptions options;
            settings->applyTo(options);
            pw::ArchiveBuilder b(options);
            QVERIFY(b.open(source));
            QVERIFY2(pw::buildSynthetic(*settings, b, nullptr, &error), qPrintable(error));
            QVERIFY2(b.finish(), qPrintable(b.errorString()));
        }
        const Census intact = census(source);
        QVERIFY2(intact.failures.isEmpty(), qPrintable(intact.failures.join(QLatin1String("; "))));
        const QByteArray good = ostrel::test::fileBytes(source);
        QVERIFY(!good.isEmpty());

        QRandomGenerator rng(quint32(qHash(QString::fromLatin1(QTest::currentDataTag()))));
        const QString path = m_dir.filePath(QStringLiteral("variant.pst"));
        qint64 same = 0, reported = 0, refused = 0;
        QStringList silent;
        for (Damage kind : {Damage::flip, Damage::zeroPage, Damage::truncate, Damage::loop}) {
            const int count = kind == Damage::loop ? 1 : m_variants;
            for (int i = 0; i < count; ++i) {
                const QByteArray bytes = damaged(good, kind, rng);
                if (bytes.isEmpty() || bytes == good)
                    continue;
                QVERIFY(ostrel::test::writeFileBytes(path, bytes));
                const Census c = census(path);
                if (c.digest.isEmpty() && !c.failures.isEmpty())
                    ++refused;
                else if (!c.failures.isEmpty())
                    ++reported;
                else if (c.digest == intact.digest)
                    ++same;
                else
                    silent << QStringLiteral("kind %1 variant %2 (first difference at 0x%3): %4")
                                  .arg(int(kind))
                                  .arg(i)
                                  .arg(QString::number(std::mismatch(bytes.cbegin(), bytes.cend(), good.cbegin(),
                                                                     good.cend()).first - bytes.cbegin(), 16),
                                       c.counts());
            }
        }
        m_total += same + reported + refused + silent.size();
        m_same += same;
        m_reported += reported;
        m_refused += refused;
        qInfo("%s: %lld same, %lld reported, %lld refused, %lld silent (intact %s)", QTest::currentDataTag(), same,
              reported, refused, qint64(silent.size()), qPrintable(intact.counts()));
        QVERIFY2(silent.isEmpty(), qPrintable(QLatin1String("read less with no word: ") + silent.join(QLatin1String("; "))));
    }

    void cleanupTestCase()
    {
        qInfo("all: %lld variants, %lld same, %lld reported, %lld refused", m_total, m_same, m_reported, m_refused);
    }
};

QTEST_GUILESS_MAIN(TestMutation)
#include "tst_pstmutation.moc"
