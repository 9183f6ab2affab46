#include "model/Attachment.h"
#include "model/FolderType.h"
#include "model/MailFolder.h"
#include "model/MailMessage.h"
#include "model/MessageRow.h"
#include "model/Text.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>
#include <algorithm>
#include <unordered_set>

using namespace ostrel;

namespace {
MailMessage messageWithBody(std::optional<QString> text, std::optional<QString> html = {})
{
    MailMessage m;
    m.id = QUuid::createUuid();
    m.bodyText = std::move(text);
    m.bodyHTML = std::move(html);
    return m;
}

Attachment attachment(const QString &name, const QString &mime = QStringLiteral("application/octet-stream"))
{
    return Attachment{QUuid::createUuid(), name, mime, 0, std::nullopt, std::nullopt};
}
}  // namespace

class TestModel : public QObject {
    Q_OBJECT
private slots:
    void preview_data()
    {
        QTest::addColumn<std::optional<QString>>("body");
        QTest::addColumn<QString>("expected");
        const QString x120(120, QLatin1Char('x'));
        QTest::newRow("absent") << std::optional<QString>() << QString();
        QTest::newRow("spaces, tabs and breaks") << std::optional<QString>(QStringLiteral("  Hello\n\n\tworld  "))
                                                 << QStringLiteral("Hello world");
        QTest::newRow("exactly 120") << std::optional<QString>(x120) << x120;
        QTest::newRow("121 cut") << std::optional<QString>(x120 + QLatin1Char('y')) << x120 + QChar(0x2026);
        QTest::newRow("collapse before counting")
            << std::optional<QString>(QString(60, QLatin1Char('a')) + QStringLiteral(" \n\n ") + QString(59, QLatin1Char('b')))
            << QString(60, QLatin1Char('a')) + QLatin1Char(' ') + QString(59, QLatin1Char('b'));
        // 121 family emoji (each one grapheme of several code points) are cut after 120.
        const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
        QString families;
        for (int i = 0; i < 121; ++i)
            families += family;
        QTest::newRow("graphemes, not code units")
            << std::optional<QString>(families) << families.left(family.size() * 120) + QChar(0x2026);
        QString accents;
        for (int i = 0; i < 120; ++i)
            accents += QStringLiteral("e\u0301");
        QTest::newRow("120 decomposed accents stay whole") << std::optional<QString>(accents) << accents;
    }
    void preview()
    {
        QFETCH(std::optional<QString>, body);
        QFETCH(QString, expected);
        QCOMPARE(messageWithBody(body).preview(), expected);
    }

    void previewIgnoresHtml()
    {
        QCOMPARE(messageWithBody(std::nullopt, QStringLiteral("<p>Hi</p>")).preview(), QString());
    }

    void displayName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        const QString ell(QChar(0x2026));
        QTest::newRow("30 unchanged") << QString(26, QLatin1Char('a')) + QStringLiteral(".pdf")
                                      << QString(26, QLatin1Char('a')) + QStringLiteral(".pdf");
        QTest::newRow("31 shortened") << QString(27, QLatin1Char('a')) + QStringLiteral(".pdf")
                                      << QString(25, QLatin1Char('a')) + ell + QStringLiteral(".pdf");
        QTest::newRow("44 with pdf") << QString(40, QLatin1Char('b')) + QStringLiteral(".pdf")
                                     << QString(25, QLatin1Char('b')) + ell + QStringLiteral(".pdf");
        QTest::newRow("40 without dot") << QString(40, QLatin1Char('c')) << QString(28, QLatin1Char('c')) + ell;
        const QString longExt(28, QLatin1Char('e'));
        QTest::newRow("extension of 28") << QStringLiteral("base.") + longExt << ell + QLatin1Char('.') + longExt;
        QTest::newRow("extension of 40")
            << QStringLiteral("b.") + QString(40, QLatin1Char('e')) << ell + QLatin1Char('.') + QString(40, QLatin1Char('e'));
        QTest::newRow("trailing dot") << QString(35, QLatin1Char('d')) + QLatin1Char('.')
                                      << QString(28, QLatin1Char('d')) + ell;
        QTest::newRow("umlauts counted as characters")
            << QStringLiteral("Ü") + QString(29, QLatin1Char('x')) << QStringLiteral("Ü") + QString(29, QLatin1Char('x'));
    }
    void displayName()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(attachment(name).displayName(), expected);
    }

    void attachmentIcon_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("mime");
        QTest::addColumn<QString>("icon");
        QTest::newRow("Scan.PDF") << "Scan.PDF" << "application/octet-stream" << "doc.richtext";
        QTest::newRow("HEIC") << "IMG_1.HEIC" << "application/pdf" << "photo";
        QTest::newRow("IMAGE/JPEG") << "file.pdf" << "IMAGE/JPEG" << "photo";
        QTest::newRow("video mime") << "x.bin" << "video/mp4" << "film";
        QTest::newRow("mkv") << "x.mkv" << "application/octet-stream" << "film";
        QTest::newRow("flac") << "x.flac" << "" << "music.note";
        QTest::newRow("pdf in mime") << "x" << "application/x-pdf" << "doc.richtext";
        QTest::newRow("docx") << "a.docx" << "" << "doc.text";
        QTest::newRow("csv") << "a.csv" << "" << "tablecells";
        QTest::newRow("key") << "a.key" << "" << "rectangle.on.rectangle";
        QTest::newRow("tar.gz") << "a.tar.gz" << "" << "doc.zipper";
        QTest::newRow("md") << "README.md" << "" << "doc.plaintext";
        QTest::newRow("unknown") << "a.xyz" << "application/octet-stream" << "doc";
        QTest::newRow("image before pdf") << "a.pdf" << "image/png" << "photo";
    }
    void attachmentIcon()
    {
        QFETCH(QString, name);
        QFETCH(QString, mime);
        QFETCH(QString, icon);
        QCOMPARE(attachment(name, mime).iconName(), icon);
    }

    void folderTypes()
    {
        const QStringList raws{"inbox", "sent", "drafts", "deleted", "archive", "spam",
                               "calendar", "contacts", "notes", "tasks", "custom"};
        const QStringList icons{"tray", "paperplane", "doc", "trash", "archivebox", "exclamationmark.octagon",
                                "calendar", "person.crop.circle", "note.text", "checklist", "folder"};
        const QList<FolderType> all = allFolderTypes();
        QCOMPARE(all.size(), raws.size());
        for (qsizetype i = 0; i < all.size(); ++i) {
            QCOMPARE(rawValue(all[i]), raws[i]);
            QCOMPARE(iconName(all[i]), icons[i]);
            QCOMPARE(folderTypeFromRaw(raws[i]), std::optional<FolderType>(all[i]));
        }
        QCOMPARE(folderTypeFromRaw(QStringLiteral("Inbox")), std::nullopt);
        QCOMPARE(folderTypeFromRaw(QString()), std::nullopt);
        QCOMPARE(messageImportanceFromRaw(QStringLiteral("high")), std::optional(MessageImportance::high));
        QCOMPARE(messageImportanceFromRaw(QStringLiteral("High")), std::nullopt);
    }

    void equalityCoversEveryField()
    {
        MailMessage a = messageWithBody(QStringLiteral("body"));
        a.attachments.append(attachment(QStringLiteral("a.png")));
        MailMessage b = a;
        QCOMPARE(a, b);
        QCOMPARE(qHash(a), qHash(b));
        b.isRead = false;
        QVERIFY(a != b);
        b = a;
        b.attachments[0].data = QByteArray();
        QVERIFY2(a != b, "an empty buffer differs from an absent one");
        b = a;
        b.bodyRTF = QByteArray("{\\rtf1}");
        QVERIFY(a != b);

        std::unordered_set<MailMessage> set{a, b};
        QCOMPARE(set.size(), size_t(2));
        QSet<Attachment> attachments{a.attachments[0], a.attachments[0]};
        QCOMPARE(attachments.size(), 1);
    }

    void folderEqualityIsRecursive()
    {
        MailFolder child{QUuid::createUuid(), QStringLiteral("Child"), 1, 0, FolderType::custom, {}};
        MailFolder parent{QUuid::createUuid(), QStringLiteral("Parent"), 0, 0, FolderType::inbox, {child}};
        MailFolder other = parent;
        QCOMPARE(parent, other);
        other.children[0].unreadCount = 3;
        QVERIFY(parent != other);
        QVERIFY(qHash(parent) != qHash(other));
        MailFolder sameButNewId = parent;
        sameButNewId.id = QUuid::createUuid();
        QVERIFY(parent != sameButNewId);
    }

    void folderJsonKeepsFieldOrderAndRoundTrips()
    {
        MailFolder child{QUuid::createUuid(), QStringLiteral("Entwürfe \"neu\""), 2, 1, FolderType::drafts, {}};
        MailFolder root{QUuid::createUuid(), QStringLiteral("Posteingang"), 5, 3, FolderType::inbox, {child}};
        const QByteArray json = root.toJson();
        const QList<QByteArray> keys{"\"id\"", "\"name\"", "\"messageCount\"", "\"unreadCount\"",
                                     "\"folderType\"", "\"children\""};
        qsizetype last = -1;
        for (const QByteArray &key : keys) {
            const qsizetype at = json.indexOf(key);
            QVERIFY2(at > last, key.constData());
            last = at;
        }
        QVERIFY(json.contains("\"folderType\":\"inbox\""));
        QCOMPARE(MailFolder::fromJson(json), std::optional<MailFolder>(root));
        QCOMPARE(MailFolder::fromJson("{\"id\":\"x\"}"), std::nullopt);
    }

    // The tree flags travel in JSON only when set, and come back as they went.
    void folderFlagsInJson_data()
    {
        QTest::addColumn<bool>("search");
        QTest::addColumn<bool>("mailboxRoot");
        QTest::addColumn<bool>("store");
        QTest::newRow("none") << false << false << false;
        QTest::newRow("search folder") << true << false << false;
        QTest::newRow("mailbox root") << false << true << false;
        QTest::newRow("store's search folder") << true << false << true;
    }
    void folderFlagsInJson()
    {
        QFETCH(bool, search);
        QFETCH(bool, mailboxRoot);
        QFETCH(bool, store);
        MailFolder folder{QUuid::createUuid(), QStringLiteral("Search Root"), 4, 0, FolderType::custom, {}};
        folder.searchFolder = search;
        folder.mailboxRoot = mailboxRoot;
        folder.storeFolder = store;
        const QByteArray json = folder.toJson();
        QCOMPARE(json.contains("\"searchFolder\":true"), search);
        QCOMPARE(json.contains("\"mailboxRoot\":true"), mailboxRoot);
        QCOMPARE(json.contains("\"storeFolder\":true"), store);
        QVERIFY(!json.contains(":false"));
        QCOMPARE(MailFolder::fromJson(json), std::optional<MailFolder>(folder));
        MailFolder plain = folder;
        plain.searchFolder = !search;
        QVERIFY(plain != folder);
        QVERIFY(qHash(plain) != qHash(folder));
        // A flag that is not a boolean is no folder.
        QByteArray wrong = json;
        wrong.chop(1);
        wrong += ",\"storeFolder\":\"yes\"}";
        QCOMPARE(MailFolder::fromJson(wrong), std::nullopt);
    }

    // List order over whole parts: newest first, rows without a date last,
    // equal dates in storage order; every row kept with its own fields.
    void sortRowsGivesListOrder_data()
    {
        QTest::addColumn<QList<double>>("dates");  // in storage order
        QTest::newRow("empty") << QList<double>{};
        QTest::newRow("one") << QList<double>{5};
        QTest::newRow("already newest first") << QList<double>{9, 7, 7, 3, 0};
        QTest::newRow("oldest first") << QList<double>{1, 2, 3, 4, 5, 6};
        QTest::newRow("ties keep storage order") << QList<double>{4, 8, 4, 8, 4, 8};
        QTest::newRow("no date goes last") << QList<double>{0, 3, 0, 7, 0};
        QTest::newRow("before 1970 is still a date") << QList<double>{0, -5, 3, -1e9, -0.0, -5};
        QTest::newRow("fractions of a second") << QList<double>{1.25, 1.5, 1.0, 1.5, 1e-300};
        QList<double> shuffled;
        QRandomGenerator random(7);
        for (int i = 0; i < 3000; ++i)
            shuffled.append(double(random.bounded(200)));  // many ties
        QTest::newRow("3000 with ties") << shuffled;
        // Dates of a real span, where the bytes differ from the lowest up.
        QList<double> spread;
        for (int i = 0; i < 5000; ++i)
            spread.append(i % 97 == 0 ? 0.0 : 1.6e9 + random.generateDouble() * 3e8 - (i % 13 == 0 ? 3e9 : 0));
        QTest::newRow("5000 across decades") << spread;
        // Dates a few ulps apart, where only the lowest bytes differ.
        QList<double> close;
        for (int i = 0; i < 3000; ++i)
            close.append(1.6e9 + double(random.bounded(1 << 26)) * 2.384185791015625e-7);
        QTest::newRow("3000 within seconds") << close;
    }

    void sortRowsGivesListOrder()
    {
        QFETCH(QList<double>, dates);
        QList<MessageRow> rows;
        for (qsizetype i = 0; i < dates.size(); ++i) {
            MessageRow row;
            row.id = QUuid::createUuid();
            row.storageIndex = i;
            row.date = dates[i];
            row.subject = QStringLiteral("message %1").arg(i);
            rows.append(row);
        }
        QList<MessageRow> expected = rows;
        std::stable_sort(expected.begin(), expected.end(), [](const MessageRow &a, const MessageRow &b) {
            const bool aDated = a.date != 0;
            const bool bDated = b.date != 0;
            if (aDated != bDated)
                return aDated;
            return a.date > b.date;
        });
        QVERIFY(std::is_sorted(expected.cbegin(), expected.cend(), listsBefore));
        // Rows as a listing makes them, and the same rows in another order.
        QList<MessageRow> reversed(rows.crbegin(), rows.crend());
        sortRows(rows);
        QCOMPARE(rows, expected);
        sortRows(reversed);
        QCOMPARE(reversed, expected);
    }

    // Whatever rows are let go, each row's texts are let go too.
    void freeRowsLetsEveryRowGo_data()
    {
        QTest::addColumn<QList<qint64>>("storageIndexes");
        QTest::newRow("a whole listing in list order") << QList<qint64>{3, 0, 4, 1, 2};
        QTest::newRow("a search's matches") << QList<qint64>{7, 2, 40};
        QTest::newRow("an index twice") << QList<qint64>{0, 1, 1, 2};
        QTest::newRow("an index out of range") << QList<qint64>{0, -1, 2};
        QTest::newRow("none") << QList<qint64>{};
    }

    void freeRowsLetsEveryRowGo()
    {
        QFETCH(QList<qint64>, storageIndexes);
        QList<MessageRow> rows;
        QStringList held;  // each row's subject, shared with the row
        for (const qint64 index : storageIndexes) {
            MessageRow row;
            row.storageIndex = index;
            row.subject = QStringLiteral("message %1").arg(index);
            held.append(row.subject);
            rows.append(std::move(row));
        }
        QList<MessageRow> other = rows;
        freeRows(std::move(rows));
        // Still held by another list: only that hold goes.
        QCOMPARE(other.size(), storageIndexes.size());
        for (qsizetype i = 0; i < other.size(); ++i) {
            QCOMPARE(other[i].subject, held[i]);
            QVERIFY(!held[i].isDetached());
        }
        freeRows(std::move(other));
        for (const QString &subject : std::as_const(held))
            QVERIFY(subject.isDetached());
    }

    void blanksAreNotLineBreaks()
    {
        QCOMPARE(trimBlanks(QStringLiteral("\t\u00A0 name \u2003")), QStringLiteral("name"));
        QCOMPARE(trimBlanks(QStringLiteral("\nname\n")), QStringLiteral("\nname\n"));
    }
};

QTEST_GUILESS_MAIN(TestModel)
#include "tst_model.moc"
