// Archives built through the builder API, read back by the real libpff.
#include "ArchiveBuilder.h"
#include "ArchiveVerifier.h"
#include "Damage.h"
#include "Encoding.h"
#include "FileGenerators.h"
#include "LibpffDump.h"
#include "pst/format/Lzfu.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QtEndian>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <tuple>

using namespace ostrel::pstwriter;
using ostrel::test::DumpedArchive;
using ostrel::test::DumpedFolder;
using ostrel::test::DumpedMessage;

Q_DECLARE_METATYPE(ostrel::pstwriter::Encoding)
Q_DECLARE_METATYPE(ostrel::pstwriter::ArchiveOptions)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

QDateTime utc(const char *iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

quint64 filetimeOf(const QDateTime &t)
{
    return quint64(t.toMSecsSinceEpoch() + 11644473600000LL) * 10000ULL;
}

// A node's heap as stored: its first block, read back and decoded, enough
// to check where things sit and what a small table's rows hold.
struct StoredHeap {
    QByteArray data;

    quint16 u16(qsizetype i) const { return quint16(quint8(data[i]) | quint8(data[i + 1]) << 8); }
    quint32 u32(qsizetype i) const { return quint32(u16(i)) | quint32(u16(i + 2)) << 16; }
    quint32 userRoot() const { return u32(4); }
    // Start and end of the allocation a HID names, from the page map.
    std::pair<qsizetype, qsizetype> allocation(quint32 hid) const
    {
        const qsizetype map = u16(0);
        const int index = int((hid >> 5) & 0x7FF);
        return {u16(map + 2 + 2 * index), u16(map + 4 + 2 * index)};
    }
};

std::optional<StoredHeap> readHeap(const QString &file, std::optional<quint64> at, Encoding encoding)
{
    QFile f(file);
    if (!at || !f.open(QIODevice::ReadOnly) || !f.seek(qint64(*at)))
        return std::nullopt;
    StoredHeap h{f.read(8192)};
    if (encoding == Encoding::Permute)
        permuteDecode(h.data.data(), h.data.size());
    if (h.data.size() < 8 || quint8(h.data[2]) != 0xEC)
        return std::nullopt;
    return h;
}

struct StoredRow {
    quint32 id = 0;
    QHash<quint32, QByteArray> cells;  // present cells by tag, as stored
};

// The rows of a table context whose rows lie in its heap, in storage order.
std::optional<QList<StoredRow>> readRows(const StoredHeap &h, int *columnCount = nullptr)
{
    const auto [info, infoEnd] = h.allocation(h.userRoot());
    if (quint8(h.data[info]) != 0x7C)
        return std::nullopt;
    const int columns = quint8(h.data[info + 1]);
    if (columnCount)
        *columnCount = columns;
    const int bitmapAt = h.u16(info + 6);  // the 1-byte cells end where the bitmap starts
    const int rowSize = h.u16(info + 8);
    const quint32 rowsHid = h.u32(info + 14);
    QList<StoredRow> rows;
    if (rowsHid == 0)
        return rows;
    if ((rowsHid & 0x1F) != 0)
        return std::nullopt;  // rows in a subnode: more than these tests build
    const auto [start, end] = h.allocation(rowsHid);
    for (qsizetype row = start; row + rowSize <= end; row += rowSize) {
        StoredRow r;
        r.id = h.u32(row);
        for (int c = 0; c < columns; ++c) {
            const qsizetype desc = info + 22 + 8 * c;
            const int bit = quint8(h.data[desc + 7]);
            if (quint8(h.data[row + bitmapAt + bit / 8]) & (0x80 >> (bit % 8)))
                r.cells.insert(h.u32(desc), h.data.mid(row + h.u16(desc + 4), quint8(h.data[desc + 6])));
        }
        rows.append(r);
    }
    return rows;
}

}  // namespace

class TestRoundTrip : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_count = 0;

    // Builds an archive with `fill`, checks its structure, and reads it back
    // with libpff.
    std::optional<DumpedArchive> roundTrip(Encoding encoding, const std::function<void(ArchiveBuilder &)> &fill,
                                           QString *path = nullptr)
    {
        ArchiveOptions options;
        options.encoding = encoding;
        return roundTrip(options, fill, path);
    }
    std::optional<DumpedArchive> roundTrip(const ArchiveOptions &options,
                                           const std::function<void(ArchiveBuilder &)> &fill, QString *path = nullptr)
    {
        const QString file = m_dir.filePath(QStringLiteral("a%1.pst").arg(++m_count));
        ArchiveBuilder builder(options);
        if (!builder.open(file)) {
            qWarning() << builder.errorString();
            return std::nullopt;
        }
        fill(builder);
        if (!builder.finish()) {
            qWarning() << builder.errorString();
            return std::nullopt;
        }
        const VerifyReport report = verifyArchive(file);
        if (!report.ok()) {
            qWarning() << report.problems;
            return std::nullopt;
        }
        QString error;
        auto dump = ostrel::test::dumpArchive(file, &error);
        if (!dump)
            qWarning() << "libpff:" << error;
        if (path)
            *path = file;
        return dump;
    }

    // The one message of a one-folder archive.
    std::optional<DumpedMessage> single(Encoding encoding, const Message &m)
    {
        const auto dump = roundTrip(encoding, [&](ArchiveBuilder &b) {
            b.addMessage(b.addFolder(b.ipmSubtree(), QStringLiteral("Inbox")), m);
        });
        if (!dump)
            return std::nullopt;
        const DumpedFolder *inbox = dump->root.find(QStringLiteral("Inbox"));
        if (!inbox || inbox->messages.size() != 1)
            return std::nullopt;
        return inbox->messages.first();
    }

    static void addEncodings()
    {
        QTest::addColumn<Encoding>("encoding");
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void folderTree_data()
    {
        QTest::addColumn<ArchiveOptions>("options");
        QTest::addColumn<int>("encryption");
        ArchiveOptions legacy = ArchiveOptions::legacy();
        QTest::newRow("legacy, unencoded") << legacy << 0;
        legacy.encoding = Encoding::Permute;
        QTest::newRow("legacy, permuted") << legacy << 1;
        QTest::newRow("outlook, permuted") << ArchiveOptions() << 1;
        ArchiveOptions cyclic;
        cyclic.encoding = Encoding::Cyclic;
        QTest::newRow("outlook, cyclic") << cyclic << 2;
    }
    void folderTree()
    {
        QFETCH(ArchiveOptions, options);
        QFETCH(int, encryption);
        const QString decomposed = QStringLiteral("Entwu\u0308rfe");
        const auto dump = roundTrip(options, [&](ArchiveBuilder &b) {
            const FolderId inbox = b.addFolder(b.ipmSubtree(), QStringLiteral("Inbox"));
            FolderId deep = inbox;
            for (int level = 1; level <= 6; ++level)
                deep = b.addFolder(deep, QStringLiteral("Level %1").arg(level));
            b.addFolder(b.ipmSubtree(), QStringLiteral("Gesendete Elemente"));
            b.addFolder(b.ipmSubtree(), decomposed);
            b.addFolder(b.ipmSubtree(), QString());
            FolderOptions unnamed;
            unnamed.nameAbsent = true;
            b.addFolder(b.ipmSubtree(), QStringLiteral("ignored"), unnamed);
            b.addFolder(b.rootFolder(), QStringLiteral("Persönlicher Ordner – 日本"));
            Message m;
            m.subject = QStringLiteral("deep");
            b.addMessage(deep, m);
        });
        QVERIFY(dump);
        QCOMPARE(dump->encryption, encryption);
        const DumpedFolder &root = dump->root;
        QCOMPARE(root.folders.size(), 2);
        QCOMPARE(root.folders[0].name, QStringLiteral("Top of Personal Folders"));
        QCOMPARE(root.folders[1].name, QStringLiteral("Persönlicher Ordner – 日本"));
        const DumpedFolder &ipm = root.folders[0];
        QCOMPARE(ipm.folders.size(), 5);
        // libpff lists sub folders by node id: the order of adding only
        // where ids are handed out in order.
        QStringList names;
        for (const DumpedFolder &f : ipm.folders)
            names.append(f.name.value_or(QString()));  // absent or empty: both nameless
        const QStringList added{QStringLiteral("Inbox"), QStringLiteral("Gesendete Elemente"), decomposed, QString(),
                                QString()};
        if (options.folderIds == FolderIds::Ordered) {
            QCOMPARE(names, added);
        } else {
            QVERIFY(names != added);
            QStringList sorted = names;
            QStringList expected = added;
            sorted.sort();
            expected.sort();
            QCOMPARE(sorted, expected);  // decomposed kept as written, not normalised
        }
        const DumpedFolder *f = ipm.find(QStringLiteral("Inbox"));
        QVERIFY(f);
        for (int level = 1; level <= 6; ++level) {
            QCOMPARE(f->folders.size(), 1);
            f = &f->folders[0];
            QCOMPARE(f->name, QStringLiteral("Level %1").arg(level));
        }
        QCOMPARE(f->messageCount, 1);
        QCOMPARE(f->messages[0].subject, QStringLiteral("deep"));
    }

    void folderCounts_data()
    {
        QTest::addColumn<int>("read");
        QTest::addColumn<int>("unread");
        QTest::addColumn<std::optional<quint32>>("storedUnread");
        QTest::addColumn<std::optional<quint32>>("storedCount");
        QTest::newRow("empty") << 0 << 0 << std::optional<quint32>() << std::optional<quint32>();
        QTest::newRow("computed") << 3 << 2 << std::optional<quint32>() << std::optional<quint32>();
        // Stored counts may disagree with the messages; readers must show what is stored.
        QTest::newRow("stored unread") << 3 << 2 << std::optional<quint32>(7) << std::optional<quint32>();
        QTest::newRow("stored count") << 1 << 0 << std::optional<quint32>() << std::optional<quint32>(9);
        QTest::newRow("250 messages") << 200 << 50 << std::optional<quint32>() << std::optional<quint32>();
    }
    void folderCounts()
    {
        QFETCH(int, read);
        QFETCH(int, unread);
        QFETCH(std::optional<quint32>, storedUnread);
        QFETCH(std::optional<quint32>, storedCount);
        const auto dump = roundTrip(Encoding::None, [&](ArchiveBuilder &b) {
            FolderOptions o;
            o.unreadCount = storedUnread;
            o.contentCount = storedCount;
            const FolderId f = b.addFolder(b.ipmSubtree(), QStringLiteral("F"), o);
            for (int i = 0; i < read + unread; ++i) {
                Message m;
                m.subject = QStringLiteral("Message %1").arg(i);
                m.flags = i < read ? kFlagRead : 0;
                b.addMessage(f, m);
            }
        });
        QVERIFY(dump);
        const DumpedFolder *f = dump->root.find(QStringLiteral("F"));
        QVERIFY(f);
        QCOMPARE(f->messageCount, read + unread);
        QCOMPARE(f->unreadCount, storedUnread.value_or(quint32(unread)));
        QCOMPARE(f->contentCount, storedCount.value_or(quint32(read + unread)));
        // Storage order is the order of adding.
        for (int i = 0; i < read + unread; ++i)
            QCOMPARE(f->messages[i].subject, QStringLiteral("Message %1").arg(i));
    }

    void messageFields_data()
    {
        QTest::addColumn<std::optional<QString>>("subject");
        QTest::addColumn<std::optional<QString>>("senderName");
        QTest::addColumn<std::optional<QString>>("senderEmail");
        QTest::addColumn<std::optional<quint32>>("importance");
        QTest::addColumn<std::optional<quint32>>("flags");
        const std::optional<QString> none;
        const std::optional<quint32> noValue;
        QTest::newRow("all present") << std::optional<QString>(QStringLiteral("Quarterly report"))
                                     << std::optional<QString>(QStringLiteral("Anna Becker"))
                                     << std::optional<QString>(QStringLiteral("anna@example.com"))
                                     << std::optional<quint32>(2) << std::optional<quint32>(1);
        QTest::newRow("all absent") << none << none << none << noValue << noValue;
        QTest::newRow("empty strings") << std::optional<QString>(QString()) << std::optional<QString>(QString())
                                       << std::optional<QString>(QString()) << std::optional<quint32>(0)
                                       << std::optional<quint32>(0);
        QTest::newRow("unicode") << std::optional<QString>(QStringLiteral("Grüße aus Köln – 東京 ✓"))
                                 << std::optional<QString>(QStringLiteral("Jürgen Weiß")) << none
                                 << std::optional<quint32>(1) << std::optional<quint32>(0x19);
        // Longer than one heap allocation: the property and the contents-table
        // cell both move into subnodes.
        QTest::newRow("5000-character subject") << std::optional<QString>(QString(5000, QLatin1Char('S'))) << none
                                                << none << noValue << noValue;
    }
    void messageFields()
    {
        QFETCH(std::optional<QString>, subject);
        QFETCH(std::optional<QString>, senderName);
        QFETCH(std::optional<QString>, senderEmail);
        QFETCH(std::optional<quint32>, importance);
        QFETCH(std::optional<quint32>, flags);
        Message m;
        m.subject = subject;
        m.senderName = senderName;
        m.senderEmail = senderEmail;
        if (importance)
            m.importance = Importance(*importance);
        m.flags = flags;
        m.deliveryTime = utc("2024-03-01T09:30:15Z");
        const auto got = single(Encoding::None, m);
        QVERIFY(got);
        auto same = [](const std::optional<QString> &read, const std::optional<QString> &written) {
            // libpff reports an empty stored string as absent or empty; both mean "nothing".
            return written && !written->isEmpty() ? read == written : !read || read->isEmpty();
        };
        QVERIFY2(same(got->subject, subject), qPrintable(got->subject.value_or(QStringLiteral("(absent)")).left(80)));
        QVERIFY(same(got->senderName, senderName));
        QVERIFY(same(got->senderEmail, senderEmail));
        QCOMPARE(got->importance, importance);
        QCOMPARE(got->flags, std::optional<quint32>(m.effectiveFlags()));
        QCOMPARE(got->deliveryTime, filetimeOf(*m.deliveryTime));
    }

    void bodies_data()
    {
        addEncodings();
        QTest::addColumn<int>("length");
        for (int length : {0, 1, 1790, 1791, 4088, 4089, 20000}) {
            QTest::addRow("unencoded %d", length) << Encoding::None << length;
            QTest::addRow("permuted %d", length) << Encoding::Permute << length;
        }
    }
    void bodies()
    {
        // Lengths in UTF-16 units straddle the heap limit (3580 bytes) and
        // one block (8176 bytes).
        QFETCH(Encoding, encoding);
        QFETCH(int, length);
        QString text;
        for (int i = 0; text.size() < length; ++i)
            text += QStringLiteral("Zeile %1 – äöü €\r\n").arg(i);
        text.truncate(length);
        Message m;
        m.subject = QStringLiteral("bodies");
        m.body = text;
        m.html = (QStringLiteral("<html><body><p>") + text + QStringLiteral("</p></body></html>")).toUtf8();
        m.rtf = QByteArray("{\\rtf1\\ansi\\deff0 {\\fonttbl {\\f0 Arial;}} ") + text.toLatin1().replace('\n', ' ')
                + "\\par}";
        const auto got = single(encoding, m);
        QVERIFY(got);
        if (length == 0) {
            QVERIFY(!got->plainBody || got->plainBody->isEmpty());
        } else {
            QVERIFY(got->plainBody);
            QCOMPARE(QString::fromUtf8(*got->plainBody), text);
        }
        QCOMPARE(got->htmlBody, std::optional<QByteArray>(*m.html));
        QVERIFY(got->rtfBody);
        QCOMPARE(*got->rtfBody, *m.rtf);
    }

    void eightBitBody_data()
    {
        QTest::addColumn<quint32>("codepage");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("windows-1252") << 1252u << QByteArray("Gr\xfc\xdf" "e \x80 100 \x93quoted\x94")
                                      << QStringLiteral("Grüße € 100 “quoted”");
        QTest::newRow("ascii") << 1252u << QByteArray("plain ascii") << QStringLiteral("plain ascii");
        QTest::newRow("utf-8 bytes") << 65001u << QStringLiteral("Grüße").toUtf8() << QStringLiteral("Grüße");
    }
    void eightBitBody()
    {
        QFETCH(quint32, codepage);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        Message m;
        m.body8bit = bytes;
        m.bodyCodepage = codepage;
        const auto got = single(Encoding::None, m);
        QVERIFY(got);
        QVERIFY(got->plainBody);
        QCOMPARE(QString::fromUtf8(*got->plainBody), expected);
    }

    void recipients_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("none") << 0;
        QTest::newRow("one") << 1;
        QTest::newRow("250, rows over several blocks") << 250;
    }
    void recipients()
    {
        QFETCH(int, count);
        Message m;
        m.subject = QStringLiteral("to many");
        for (int i = 0; i < count; ++i) {
            Recipient r;
            // Every fourth recipient lacks one of its fields.
            if (i % 4 != 1)
                r.displayName = QStringLiteral("Empfänger %1").arg(i);
            if (i % 4 != 2)
                r.emailAddress = QStringLiteral("r%1@example.com").arg(i);
            if (i % 4 != 3)
                r.recipientDisplayName = QStringLiteral("R. %1").arg(i);
            r.type = i % 3 == 0 ? std::optional<RecipientType>() : RecipientType(1 + i % 3);
            m.addRecipient(r);
        }
        const auto got = single(Encoding::Permute, m);
        QVERIFY(got);
        QCOMPARE(got->recipients.size(), count);
        // An absent text cell reads as absent or empty, an absent number as 0.
        auto expectText = [](const std::optional<QString> &read, bool present, const QString &text) {
            return present ? read == text : !read || read->isEmpty();
        };
        for (int i = 0; i < count; ++i) {
            const auto &r = got->recipients[i];
            QVERIFY(expectText(r.displayName, i % 4 != 1, QStringLiteral("Empfänger %1").arg(i)));
            QVERIFY(expectText(r.emailAddress, i % 4 != 2, QStringLiteral("r%1@example.com").arg(i)));
            QVERIFY(expectText(r.recipientDisplayName, i % 4 != 3, QStringLiteral("R. %1").arg(i)));
            QCOMPARE(r.type.value_or(0), i % 3 == 0 ? 0u : quint32(1 + i % 3));
        }
    }

    void attachmentData_data()
    {
        addEncodings();
        QTest::addColumn<qsizetype>("size");
        const qsizetype xblockMax = qsizetype(8176) * 1021;
        for (qsizetype size : {qsizetype(0), qsizetype(1), qsizetype(3580), qsizetype(3581), qsizetype(8176),
                               qsizetype(8177), xblockMax, xblockMax + 1, qsizetype(16 * 1024 * 1024)}) {
            QTest::addRow("unencoded %lld", qint64(size)) << Encoding::None << size;
            if (size == 8177 || size == xblockMax + 1)
                QTest::addRow("permuted %lld", qint64(size)) << Encoding::Permute << size;
        }
    }
    void attachmentData()
    {
        QFETCH(Encoding, encoding);
        QFETCH(qsizetype, size);
        Message m;
        Attachment a;
        a.longFileName = QStringLiteral("data.bin");
        a.data = makeNoise(size, quint64(size));
        m.addAttachment(a);
        const auto got = single(encoding, m);
        QVERIFY(got);
        QCOMPARE(got->attachments.size(), 1);
        QCOMPARE(got->attachments[0].data.size(), size);
        QVERIFY(got->attachments[0].data == a.data);
    }

    void permutedBytes()
    {
        // Every byte value through the permuted encoding and back.
        QByteArray all;
        for (int round = 0; round < 4; ++round)
            for (int b = 0; b < 256; ++b)
                all.append(char(b));
        QByteArray copy = all;
        permuteEncode(copy.data(), copy.size());
        QVERIFY(copy != all);
        permuteDecode(copy.data(), copy.size());
        QCOMPARE(copy, all);

        Message m;
        m.body = QString::fromLatin1(all.left(256));
        Attachment a;
        a.longFileName = QStringLiteral("bytes.bin");
        a.data = all;
        m.addAttachment(a);
        const auto got = single(Encoding::Permute, m);
        QVERIFY(got);
        QCOMPARE(got->attachments[0].data, all);
    }

    void attachmentNames_data()
    {
        QTest::addColumn<std::optional<QString>>("longFileName");
        QTest::addColumn<std::optional<QString>>("contentId");
        QTest::addColumn<std::optional<QString>>("mimeTag");
        const std::optional<QString> none;
        QTest::newRow("all") << std::optional<QString>(QStringLiteral("Präsentation Q3.pdf"))
                             << std::optional<QString>(QStringLiteral("logo@example")) 
                             << std::optional<QString>(QStringLiteral("application/pdf"));
        QTest::newRow("no long name") << none << std::optional<QString>(QStringLiteral("img1")) << none;
        QTest::newRow("empty content id") << std::optional<QString>(QStringLiteral("a.png"))
                                          << std::optional<QString>(QString())
                                          << std::optional<QString>(QStringLiteral("image/png"));
        QTest::newRow("nothing") << none << none << none;
    }
    void attachmentNames()
    {
        QFETCH(std::optional<QString>, longFileName);
        QFETCH(std::optional<QString>, contentId);
        QFETCH(std::optional<QString>, mimeTag);
        Message m;
        Attachment a;
        a.longFileName = longFileName;
        a.contentId = contentId;
        a.mimeTag = mimeTag;
        a.data = makePng(4, 4, 0xFF0000, 0x0000FF);
        m.addAttachment(a);
        Attachment second;
        second.longFileName = QStringLiteral("second.txt");
        second.fileName = QStringLiteral("SECOND.TXT");
        second.data = "second";
        m.addAttachment(second);
        const auto got = single(Encoding::None, m);
        QVERIFY(got);
        QCOMPARE(got->attachments.size(), 2);
        const auto empty = [](const std::optional<QString> &s) { return !s || s->isEmpty(); };
        QCOMPARE(got->attachments[0].longFileName, longFileName);
        if (contentId && !contentId->isEmpty())
            QCOMPARE(got->attachments[0].contentId, contentId);
        else
            QVERIFY(empty(got->attachments[0].contentId));
        QCOMPARE(got->attachments[0].mimeTag, mimeTag);
        QCOMPARE(got->attachments[0].data, a.data);
        QCOMPARE(got->attachments[1].longFileName, QStringLiteral("second.txt"));
        QCOMPARE(got->attachments[1].fileName, QStringLiteral("SECOND.TXT"));
        QCOMPARE(got->attachments[1].data, QByteArray("second"));
    }

    void manyAttachments()
    {
        // More than one subnode block holds: the message's subnodes need an
        // intermediate level.
        Message m;
        for (int i = 0; i < 400; ++i) {
            Attachment a;
            a.longFileName = QStringLiteral("file%1.txt").arg(i);
            a.data = QByteArray::number(i);
            m.addAttachment(a);
        }
        const auto got = single(Encoding::None, m);
        QVERIFY(got);
        QCOMPARE(got->attachments.size(), 400);
        QCOMPARE(got->attachments[399].longFileName, QStringLiteral("file399.txt"));
        QCOMPARE(got->attachments[399].data, QByteArray("399"));
    }

    void embeddedMessage()
    {
        auto inner = std::make_shared<Message>();
        inner->subject = QStringLiteral("Weitergeleitet: Angebot");
        inner->body = QStringLiteral("Das Angebot im Anhang.");
        inner->addRecipient({QStringLiteral("Vera Vogel"), QStringLiteral("vera@example.com"), {}, {},
                             RecipientType::To});
        Attachment offer;
        offer.longFileName = QStringLiteral("Angebot.pdf");
        offer.data = makePdf(QStringLiteral("Angebot"), {QStringLiteral("Position 1: 100 EUR")});
        inner->addAttachment(offer);
        Message outer;
        outer.subject = QStringLiteral("FW: Angebot");
        Attachment carrier;
        carrier.longFileName = QStringLiteral("Angebot.msg");
        carrier.embedded = inner;
        outer.addAttachment(carrier);
        const auto got = single(Encoding::Permute, outer);
        QVERIFY(got);
        QCOMPARE(got->attachments.size(), 1);
        QCOMPARE(got->attachments[0].type, int('i'));
        QVERIFY(got->attachments[0].embedded);
        const DumpedMessage &e = *got->attachments[0].embedded;
        QCOMPARE(e.subject, inner->subject);
        QCOMPARE(QString::fromUtf8(e.plainBody.value_or(QByteArray())), *inner->body);
        QCOMPARE(e.recipients.size(), 1);
        QCOMPARE(e.recipients[0].emailAddress, QStringLiteral("vera@example.com"));
        QCOMPARE(e.attachments.size(), 1);
        QCOMPARE(e.attachments[0].data, offer.data);
    }

    void heapLayout_data()
    {
        QTest::addColumn<ArchiveOptions>("options");
        QTest::addColumn<QString>("node");
        QTest::addColumn<int>("columns");  // 0: a property context
        QTest::addColumn<bool>("headerFirst");
        const ArchiveOptions outlook;
        ArchiveOptions legacy = ArchiveOptions::legacy();
        legacy.encoding = Encoding::Permute;
        for (const auto &[name, options, first] : {std::tuple{"outlook", outlook, true}, std::tuple{"legacy", legacy, false}}) {
            const bool wide = options.tables == TableWidth::Outlook;
            QTest::addRow("%s store", name) << options << QStringLiteral("store") << 0 << first;
            QTest::addRow("%s message", name) << options << QStringLiteral("message") << 0 << first;
            QTest::addRow("%s hierarchy", name) << options << QStringLiteral("hierarchy") << (wide ? 13 : 7) << first;
            QTest::addRow("%s contents", name) << options << QStringLiteral("contents") << (wide ? 55 : 15) << first;
        }
    }
    void heapLayout()
    {
        // Outlook puts a property context's B-tree header, and a table
        // context's row index, at HID 0x20 (the first allocation).
        QFETCH(ArchiveOptions, options);
        QFETCH(QString, node);
        QFETCH(int, columns);
        QFETCH(bool, headerFirst);
        const QString file = m_dir.filePath(QStringLiteral("layout%1.pst").arg(++m_count));
        ArchiveBuilder b(options);
        QVERIFY(b.open(file));
        const FolderId inbox = b.addFolder(b.ipmSubtree(), QStringLiteral("Inbox"));
        Message m;
        m.subject = QStringLiteral("Hello");
        m.body = QStringLiteral("Body");
        const MessageId message = b.addMessage(inbox, m);
        QVERIFY2(b.finish(), qPrintable(b.errorString()));
        const quint32 nid = node == QLatin1String("store")       ? 0x21
                            : node == QLatin1String("message")   ? message
                            : node == QLatin1String("hierarchy") ? ((b.ipmSubtree() & ~0x1Fu) | 0x0D)
                                                                 : ((inbox & ~0x1Fu) | 0x0E);
        const auto heap = readHeap(file, b.nodeDataOffset(nid), options.encoding);
        QVERIFY(heap);
        QCOMPARE(quint8(heap->data[3]), quint8(columns ? 0x7C : 0xBC));
        const quint32 userRoot = heap->userRoot();
        const auto [start, end] = heap->allocation(userRoot);
        if (!columns) {
            QCOMPARE(userRoot == 0x20, headerFirst);
            QCOMPARE(end - start, 8);
            QCOMPARE(quint8(heap->data[start]), quint8(0xB5));  // the B-tree header
            return;
        }
        QCOMPARE(quint8(heap->data[start]), quint8(0x7C));
        QCOMPARE(int(quint8(heap->data[start + 1])), columns);
        QCOMPARE(end - start, 22 + 8 * columns);
        QCOMPARE(heap->u32(start + 10) == 0x20, headerFirst);  // the row index's B-tree header
    }

    void searchFolderErrors_data()
    {
        QTest::addColumn<int>("misuse");
        QTest::addColumn<QString>("text");
        QTest::newRow("result in a normal folder") << 0 << QStringLiteral("is not a search folder");
        QTest::newRow("message into a search folder") << 1 << QStringLiteral("Messages live in folders");
        QTest::newRow("folder under a search folder") << 2 << QStringLiteral("cannot go under a search folder");
        QTest::newRow("unknown message") << 3 << QStringLiteral("No message");
    }
    void searchFolderErrors()
    {
        QFETCH(int, misuse);
        QFETCH(QString, text);
        const QString file = m_dir.filePath(QStringLiteral("misuse%1.pst").arg(++m_count));
        ArchiveBuilder b;
        QVERIFY(b.open(file));
        const FolderId inbox = b.addFolder(b.ipmSubtree(), QStringLiteral("Inbox"));
        const MessageId m = b.addMessage(inbox, Message());
        const FolderId search = b.addSearchFolder(b.ipmSubtree(), QStringLiteral("Found"));
        QVERIFY(m && search && !b.failed());
        bool ok = true;
        switch (misuse) {
        case 0:
            ok = b.addSearchResult(inbox, m);
            break;
        case 1:
            ok = b.addMessage(search, Message()) != 0;
            break;
        case 2:
            ok = b.addFolder(search, QStringLiteral("Below")) != 0;
            break;
        default:
            ok = b.addSearchResult(search, m + 0x20);
            break;
        }
        QVERIFY(!ok);
        QVERIFY2(b.errorString().contains(text), qPrintable(b.errorString()));
        QVERIFY(!b.finish());
        QVERIFY(!QFile::exists(file));  // nothing half-written is left behind
    }

    void tableCornerRows()
    {
        const QString file = m_dir.filePath(QStringLiteral("rows%1.pst").arg(++m_count));
        ArchiveOptions options;
        options.internalFolders = true;
        ArchiveBuilder b(options);
        QVERIFY(b.open(file));
        FolderOptions reversed;
        reversed.reverseContents = true;
        const FolderId outbox = b.addFolder(b.ipmSubtree(), QStringLiteral("Outbox"), reversed);
        Message queued;
        queued.subject = QStringLiteral("Queued");
        queued.senderName = QStringLiteral("Anna Becker");
        queued.flags = 0;
        queued.row.omit = {PropertyKey(quint16(0x0042))};  // the row lacks the sender
        const MessageId q = b.addMessage(outbox, queued);
        Message sent = queued;
        sent.subject = QStringLiteral("Sent");
        sent.row = {};
        sent.flags = kFlagRead;
        const MessageId s = b.addMessage(outbox, sent);
        FolderOptions bareRow;
        bareRow.bareHierarchyRow = true;
        const FolderId bare = b.addFolder(b.ipmSubtree(), QStringLiteral("Bare"), bareRow);
        const FolderId found = b.addSearchFolder(b.ipmSubtree(), QStringLiteral("Found"));
        FolderOptions noTable;
        noTable.noContentsTable = true;
        const FolderId tableless = b.addSearchFolder(b.ipmSubtree(), QStringLiteral("Tableless"), noTable);
        QVERIFY(b.addSearchResult(found, q));
        QVERIFY(b.addSearchResult(found, s));
        QVERIFY(b.addSearchResult(tableless, s));
        QVERIFY2(b.finish(), qPrintable(b.errorString()));
        QVERIFY(verifyArchive(file).ok());
        QCOMPARE(found & 0x1F, 0x03u);  // search folders have their own node type
        auto table = [&](FolderId folder, quint32 type) { return (folder & ~0x1Fu) | type; };
        constexpr quint32 senderTag = 0x0042001F;
        constexpr quint32 parentTag = 0x67F10003;
        constexpr quint32 countTag = 0x36020003;
        constexpr quint32 nameTag = 0x3001001F;

        // Outbox: stored in the reverse order of adding; the first message's row lacks its sender.
        const auto outboxHeap = readHeap(file, b.nodeDataOffset(table(outbox, 0x0E)), options.encoding);
        QVERIFY(outboxHeap);
        int columns = 0;
        const auto outboxRows = readRows(*outboxHeap, &columns);
        QVERIFY(outboxRows);
        QCOMPARE(columns, 55);
        QCOMPARE(outboxRows->size(), 2);
        QCOMPARE(outboxRows->at(0).id, s);
        QCOMPARE(outboxRows->at(1).id, q);
        QVERIFY(outboxRows->at(0).cells.contains(senderTag));
        QVERIFY(!outboxRows->at(1).cells.contains(senderTag));

        // The IPM subtree's hierarchy: the bare row holds its row id only;
        // the search folder's row counts its results.
        const auto ipmHeap = readHeap(file, b.nodeDataOffset(table(b.ipmSubtree(), 0x0D)), options.encoding);
        QVERIFY(ipmHeap);
        const auto ipmRows = readRows(*ipmHeap, &columns);
        QVERIFY(ipmRows);
        QCOMPARE(columns, 13);
        QCOMPARE(ipmRows->size(), 4);
        for (const StoredRow &r : *ipmRows) {
            if (r.id == bare) {
                QCOMPARE(r.cells.size(), 2);  // row id and row version
                QVERIFY(!r.cells.contains(nameTag));
            } else {
                QVERIFY(r.cells.contains(nameTag));
            }
            if (r.id == found)
                QCOMPARE(r.cells.value(countTag), QByteArray("\x02\0\0\0", 4));
            if (r.id == tableless)
                QCOMPARE(r.cells.value(countTag), QByteArray("\x01\0\0\0", 4));
        }

        // The search folder's results name the folder each message lives in.
        const auto foundHeap = readHeap(file, b.nodeDataOffset(table(found, 0x10)), options.encoding);
        QVERIFY(foundHeap);
        const auto foundRows = readRows(*foundHeap);
        QVERIFY(foundRows);
        QCOMPARE(foundRows->size(), 2);
        for (const StoredRow &r : *foundRows) {
            const QByteArray parent = r.cells.value(parentTag);
            QCOMPARE(parent.size(), 4);
            QCOMPARE(qFromLittleEndian<quint32>(parent.constData()), outbox);
        }
        QVERIFY(!b.nodeDataOffset(table(tableless, 0x10)));
        QVERIFY(!b.nodeDataOffset(table(outbox, 0x10)));
    }

    void rtfCompression_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("prebuffer text") << QByteArray("{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}");
        QTest::newRow("repetitive") << QByteArray("{\\rtf1 ") + QByteArray("abcabcabc ", 10).repeated(300) + "}";
        QTest::newRow("noise") << makeNoise(5000, 9);
    }
    void rtfCompression()
    {
        QFETCH(QByteArray, rtf);
        const QByteArray compressed = ostrel::pst::compressRtf(rtf);
        const auto back = ostrel::pst::decompressRtf(compressed);
        QVERIFY(back.hasValue());
        QCOMPARE(back.value(), rtf);
        if (rtf.size() > 1000 && rtf.startsWith("{\\rtf1 a"))
            QVERIFY(compressed.size() < rtf.size() / 4);
    }

    void deterministic()
    {
        auto fill = [](ArchiveBuilder &b) {
            const FolderId f = b.addFolder(b.ipmSubtree(), QStringLiteral("Inbox"));
            for (int i = 0; i < 30; ++i) {
                Message m;
                m.subject = QStringLiteral("S%1").arg(i);
                m.body = QString(i * 100, QLatin1Char('b'));
                m.deliveryTime = utc("2023-05-01T08:00:00Z").addDays(i);
                b.addMessage(f, m);
            }
        };
        QString first;
        QString second;
        QVERIFY(roundTrip(Encoding::Permute, fill, &first));
        QVERIFY(roundTrip(Encoding::Permute, fill, &second));
        auto hash = [](const QString &path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                               : QByteArray();
        };
        QVERIFY(!hash(first).isEmpty());
        QCOMPARE(hash(first), hash(second));
    }

    void builderErrors()
    {
        ArchiveBuilder b;
        QCOMPARE(b.addMessage(b.ipmSubtree(), Message()), 0u);  // not open
        QVERIFY(b.failed());
        QVERIFY(!b.finish());

        ArchiveBuilder unknown;
        const QString path = m_dir.filePath(QStringLiteral("unknown.pst"));
        QVERIFY(unknown.open(path));
        QCOMPARE(unknown.addFolder(0x4242, QStringLiteral("orphan")), 0u);
        QVERIFY(unknown.errorString().contains(QStringLiteral("orphan")));
        QVERIFY(!unknown.finish());
        QVERIFY(!QFile::exists(path));  // nothing half-written is left behind

        ArchiveBuilder unwritable;
        QVERIFY(!unwritable.open(m_dir.filePath(QStringLiteral("no/such/dir/x.pst"))));
        QVERIFY(unwritable.errorString().contains(QStringLiteral("Cannot create")));
    }

    void verifierFindsDamage_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("problem");
        QTest::newRow("header checksum") << QStringLiteral("overwrite=header-crc") << QStringLiteral("checksum");
        QTest::newRow("node tree root") << QStringLiteral("overwrite=nbt-root") << QStringLiteral("Page at");
        QTest::newRow("allocation map") << QStringLiteral("overwrite=amap") << QStringLiteral("map");
        QTest::newRow("message block") << QStringLiteral("overwrite=message:1") << QStringLiteral("checksum");
        QTest::newRow("truncated") << QStringLiteral("truncate=100000") << QStringLiteral("bytes");
    }
    void verifierFindsDamage()
    {
        QFETCH(QString, damage);
        QFETCH(QString, problem);
        const QString path = m_dir.filePath(QStringLiteral("damaged-%1.pst").arg(++m_count));
        ArchiveBuilder b;
        QVERIFY(b.open(path));
        const MessageId id = b.addMessage(b.addFolder(b.ipmSubtree(), QStringLiteral("Inbox")), Message());
        QVERIFY(b.finish());
        QVERIFY(verifyArchive(path).ok());
        QString error;
        const auto d = Damage::parse(damage, &error);
        QVERIFY2(d, qPrintable(error));
        QVERIFY2(applyDamage(path, *d, b, {id}, &error), qPrintable(error));
        const VerifyReport report = verifyArchive(path);
        QVERIFY(!report.ok());
        QVERIFY2(report.problems.join(QLatin1Char('\n')).contains(problem), qPrintable(report.problems.join('\n')));
    }

    void libpffRejectsDamage_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("libpffSays");
        QTest::newRow("cut inside the header") << QStringLiteral("truncate=40") << QStringLiteral("file header");
        QTest::newRow("empty file") << QStringLiteral("truncate=0") << QStringLiteral("file header");
        QTest::newRow("wrong magic") << QStringLiteral("overwrite=header-magic") << QStringLiteral("signature");
        QTest::newRow("header checksum") << QStringLiteral("overwrite=header-crc") << QStringLiteral("checksum");
        QTest::newRow("block tree root") << QStringLiteral("overwrite=bbt-root") << QStringLiteral("sub nodes");
        QTest::newRow("name-to-id map") << QStringLiteral("overwrite=name-map") << QStringLiteral("name to id");
    }
    void libpffRejectsDamage()
    {
        QFETCH(QString, damage);
        QFETCH(QString, libpffSays);
        const QString path = m_dir.filePath(QStringLiteral("rejected-%1.pst").arg(++m_count));
        ArchiveBuilder b;
        QVERIFY(b.open(path));
        b.addMessage(b.addFolder(b.ipmSubtree(), QStringLiteral("Inbox")), Message());
        QVERIFY(b.finish());
        QString error;
        QVERIFY(ostrel::test::libpffOpens(path, &error));
        const auto d = Damage::parse(damage, &error);
        QVERIFY(d);
        QVERIFY2(applyDamage(path, *d, b, {}, &error), qPrintable(error));
        QVERIFY(!ostrel::test::libpffOpens(path, &error));
        QVERIFY2(error.contains(libpffSays), qPrintable(error));
    }

    void damagedMessageIsSkipped()
    {
        const QString path = m_dir.filePath(QStringLiteral("one-bad.pst"));
        ArchiveBuilder b;
        QVERIFY(b.open(path));
        const FolderId f = b.addFolder(b.ipmSubtree(), QStringLiteral("Inbox"));
        QList<MessageId> ids;
        for (int i = 0; i < 3; ++i) {
            Message m;
            m.subject = QStringLiteral("M%1").arg(i);
            ids.append(b.addMessage(f, m));
        }
        QVERIFY(b.finish());
        QString error;
        QVERIFY(applyDamage(path, *Damage::parse(QStringLiteral("overwrite=message:2"), &error), b, ids, &error));
        // The archive still opens; only the damaged message loses its properties.
        const auto dump = ostrel::test::dumpArchive(path, &error, false);
        QVERIFY2(dump, qPrintable(error));
        QCOMPARE(dump->root.find(QStringLiteral("Inbox"))->messageCount, 3);
        const auto full = ostrel::test::dumpArchive(path, &error, true);
        QVERIFY2(full, qPrintable(error));
        const auto &messages = full->root.find(QStringLiteral("Inbox"))->messages;
        QCOMPARE(messages[0].subject, QStringLiteral("M0"));
        QVERIFY(!messages[1].subject);
        QCOMPARE(messages[2].subject, QStringLiteral("M2"));
    }
};

QTEST_GUILESS_MAIN(TestRoundTrip)
#include "tst_pstwriter_roundtrip.moc"
