// The rules that turn an engine's raw values into records, and the actor over
// engines held in memory: engine choice, ids, damage that travels, saving.
#include "MemoryEngine.h"
#include "StoredValue.h"
#include "TestSupport.h"
#include "pst/PSTActor.h"
#include "pst/RecordRules.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>
#include <cstring>
#include <sys/stat.h>

using namespace ostrel;
using TextProps = QList<std::pair<quint16, QString>>;
using TimeProps = QList<std::pair<quint16, quint64>>;
namespace stored = ostrel::test::stored;
using rules::Tag;

namespace {
using OptText = std::optional<QString>;

RawMessage rawWith(quint16 id, const PropertyValue &value)
{
    RawMessage message;
    message.properties.insert(id, value);
    return message;
}

RawAttachment rawAttachment(int index, const QString &name, const QString &contentId, std::optional<qint64> size,
                            std::optional<QByteArray> data)
{
    RawAttachment attachment;
    attachment.index = index;
    if (!name.isNull())
        attachment.properties.insert(Tag::attachLongFilename, stored::text(name));
    if (!contentId.isNull())
        attachment.properties.insert(Tag::attachContentId, stored::text(contentId));
    attachment.dataSize = size;
    attachment.data = std::move(data);
    return attachment;
}

RawFolder rawFolder(quint32 node, const QString &name, QList<RawFolder> children = {})
{
    RawFolder folder;
    folder.node = node;
    folder.searchFolder = (node & 0x1F) == 0x03;
    folder.properties.insert(Tag::displayName, ostrel::test::stored::text(name));
    folder.children.value = std::move(children);
    return folder;
}

// An IPM subtree entry id: flags, the store's uid, then the node.
QByteArray entryId(quint32 node, qsizetype size = 24)
{
    QByteArray id(4, '\0');
    id += QByteArray(16, '\x5A');
    char le[4];
    qToLittleEndian(node, le);
    id += QByteArray(le, 4);
    return id.left(size);
}

// The names of the folders marked mailboxRoot, anywhere in the tree.
QStringList mailboxRoots(const QList<MailFolder> &tree)
{
    QStringList found;
    for (const MailFolder &folder : tree) {
        if (folder.mailboxRoot)
            found.append(folder.name);
        found += mailboxRoots(folder.children);
    }
    return found;
}
}  // namespace

class TestRecordRules : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString placeholder(const QString &name)
    {
        const QString path = m_dir.filePath(name);
        return test::touch(path) ? path : QString();
    }

private slots:
    void subjects_data()
    {
        QTest::addColumn<std::optional<PropertyValue>>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("missing") << std::optional<PropertyValue>() << "(kein Betreff)";
        QTest::newRow("empty") << std::optional(stored::text({})) << "(kein Betreff)";
        QTest::newRow("unicode") << std::optional(stored::text("Grüße")) << "Grüße";
        QTest::newRow("8-bit is code page 1252") << std::optional(stored::text8("Gr\xfc\xdf" "e \x80")) << "Grüße €";
        QTest::newRow("prefix marker dropped") << std::optional(stored::text(QStringLiteral("\u0001\u0004RE: Hi")))
                                               << "RE: Hi";
        QTest::newRow("only a marker") << std::optional(stored::text(QStringLiteral("\u0001\u0004"))) << "(kein Betreff)";
        QTest::newRow("stops at NUL") << std::optional(stored::text(QStringLiteral("a\u0000b"))) << "a";
        QTest::newRow("not a text") << std::optional(stored::int32(7)) << "(kein Betreff)";
    }
    void subjects()
    {
        QFETCH(std::optional<PropertyValue>, stored);
        QFETCH(QString, shown);
        RawMessage message;
        if (stored)
            message.properties.insert(Tag::subject, *stored);
        QCOMPARE(rules::messageRecord(message).subject, shown);
    }

    void senders_data()
    {
        QTest::addColumn<OptText>("name");
        QTest::addColumn<OptText>("email");
        QTest::addColumn<QString>("sender");
        QTest::newRow("both") << OptText("Ann") << OptText("ann@x.org") << "Ann";
        QTest::newRow("address only") << OptText() << OptText("ann@x.org") << "ann@x.org";
        QTest::newRow("empty name") << OptText("") << OptText("ann@x.org") << "ann@x.org";
        QTest::newRow("neither") << OptText() << OptText() << "";
    }
    void senders()
    {
        QFETCH(OptText, name);
        QFETCH(OptText, email);
        QFETCH(QString, sender);
        RawMessage message;
        if (name)
            message.properties.insert(Tag::senderName, stored::text(*name));
        if (email)
            message.properties.insert(Tag::senderEmail, stored::text(*email));
        const MailMessage record = rules::messageRecord(message);
        QCOMPARE(record.sender, sender);
        QCOMPARE(record.senderEmail, email.value_or(QString()));
    }

    void datesAndImportance_data()
    {
        QTest::addColumn<std::optional<PropertyValue>>("time");
        QTest::addColumn<double>("date");
        QTest::addColumn<std::optional<PropertyValue>>("importance");
        QTest::addColumn<MessageImportance>("shown");
        QTest::newRow("none") << std::optional<PropertyValue>() << 0.0 << std::optional<PropertyValue>()
                              << MessageImportance::normal;
        QTest::newRow("filetime 0 is none") << std::optional(stored::filetime(0)) << 0.0
                                            << std::optional(stored::int32(0)) << MessageImportance::low;
        QTest::newRow("epoch") << std::optional(stored::filetime(116444736000000000ULL)) << 0.0
                               << std::optional(stored::int32(2)) << MessageImportance::high;
        QTest::newRow("2024-03-01 09:00:00.5") << std::optional(stored::filetime(133537572005000000ULL))
                                               << 1709283600.5 << std::optional(stored::int32(1))
                                               << MessageImportance::normal;
        QTest::newRow("before 1970") << std::optional(stored::filetime(116444736000000000ULL - 10'000'000)) << -1.0
                                     << std::optional(stored::int32(7)) << MessageImportance::normal;
        QTest::newRow("wrong types") << std::optional(stored::int32(5)) << 0.0
                                     << std::optional(stored::text("2")) << MessageImportance::normal;
    }
    void datesAndImportance()
    {
        QFETCH(std::optional<PropertyValue>, time);
        QFETCH(double, date);
        QFETCH(std::optional<PropertyValue>, importance);
        QFETCH(MessageImportance, shown);
        RawMessage message;
        if (time)
            message.properties.insert(Tag::deliveryTime, *time);
        if (importance)
            message.properties.insert(Tag::importance, *importance);
        const MailMessage record = rules::messageRecord(message);
        QCOMPARE(record.date, date);
        QCOMPARE(record.importance, shown);
    }

    void bodies_data()
    {
        QTest::addColumn<PropertyValue>("stored");
        QTest::addColumn<OptText>("text");
        QTest::addColumn<OptText>("html");
        const QByteArray cp1252("Gr\xfc\xdf" "e \x80 10", 10);
        QTest::newRow("utf-8 bytes") << stored::binary("Grüße") << OptText("Grüße") << OptText("Grüße");
        // Bytes that are not UTF-8 are read in the message's code page, 1252 when it names none.
        QTest::newRow("8-bit bytes: code page 1252")
            << stored::binary(cp1252) << OptText(QStringLiteral("Grüße € 10")) << OptText(QStringLiteral("Grüße € 10"));
        QTest::newRow("trailing NULs dropped") << stored::binary(QByteArray("Hi\0\0\0", 5)) << OptText("Hi")
                                               << OptText("Hi");
        QTest::newRow("only NULs: nothing to show") << stored::binary(QByteArray(3, '\0')) << OptText() << OptText();
        QTest::newRow("no bytes") << stored::binary({}) << OptText() << OptText();
        QTest::newRow("unicode text") << stored::text("Grüße") << OptText("Grüße") << OptText("Grüße");
        QTest::newRow("8-bit text is code page 1252") << stored::text8(cp1252)
                                                      << OptText(QStringLiteral("Grüße € 10"))
                                                      << OptText(QStringLiteral("Grüße € 10"));
        QTest::newRow("a number is no body") << stored::int32(3) << OptText() << OptText();
    }
    void bodies()
    {
        QFETCH(PropertyValue, stored);
        QFETCH(OptText, text);
        QFETCH(OptText, html);
        QCOMPARE(rules::messageRecord(rawWith(Tag::body, stored)).bodyText, text);
        QCOMPARE(rules::messageRecord(rawWith(Tag::html, stored)).bodyHTML, html);
    }

    void rtfBody()
    {
        // An uncompressed ("MELA") value: sizes, magic, CRC 0, then the text.
        const QByteArray text("{\\rtf1 hi}");
        QByteArray value(16, '\0');
        qToLittleEndian<quint32>(quint32(text.size() + 12), value.data());
        qToLittleEndian<quint32>(quint32(text.size()), value.data() + 4);
        qToLittleEndian<quint32>(0x414C454D, value.data() + 8);
        value += text;
        QCOMPARE(rules::messageRecord(rawWith(Tag::rtfCompressed, stored::binary(value))).bodyRTF,
                 std::optional<QByteArray>(text));
        QCOMPARE(rules::messageRecord(rawWith(Tag::rtfCompressed, stored::binary("garbage"))).bodyRTF, std::nullopt);
    }

    void recipients()
    {
        RawMessage message;
        PropertyBag both;
        both.insert(Tag::displayName, stored::text("Ann"));
        both.insert(Tag::emailAddress, stored::text("ann@x.org"));
        PropertyBag nameOnly;
        nameOnly.insert(Tag::displayName, stored::text("Bob"));
        PropertyBag recipientName;
        recipientName.insert(Tag::recipientDisplayName, stored::text("Cy"));
        PropertyBag emptyAddress;
        emptyAddress.insert(Tag::emailAddress, stored::text(""));
        emptyAddress.insert(Tag::displayName, stored::text("Di"));
        message.recipients.value = {both, nameOnly, PropertyBag(), recipientName, emptyAddress};
        message.recipients.failure = QStringLiteral("recipient[5]: unknown");
        const MailMessage record = rules::messageRecord(message);
        QCOMPARE(record.recipients, QStringList({"Ann <ann@x.org>", "Bob", "Cy", "Di"}));
        QCOMPARE(record.recipientsFailure, OptText("recipient[5]: unknown"));
        QVERIFY(record.ccRecipients.isEmpty());
        QVERIFY(record.isRead);
    }

    // Recipients go under their kind; each shows as "Name <address>" with
    // the SMTP address preferred to an Exchange one.
    void recipientKindsAndAddresses_data()
    {
        QTest::addColumn<std::optional<quint32>>("kind");
        QTest::addColumn<OptText>("name");
        QTest::addColumn<OptText>("address");
        QTest::addColumn<OptText>("smtp");
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("shown");
        const QString x500 = QStringLiteral("/O=HOME ORGANIZATION/OU=EXCHANGE/CN=RECIPIENTS/CN=ANN");
        QTest::newRow("to") << std::optional<quint32>(1) << OptText("Ann") << OptText("ann@x.org") << OptText()
                            << "to" << "Ann <ann@x.org>";
        QTest::newRow("cc") << std::optional<quint32>(2) << OptText("Ann") << OptText("ann@x.org") << OptText()
                            << "cc" << "Ann <ann@x.org>";
        QTest::newRow("bcc") << std::optional<quint32>(3) << OptText("Ann") << OptText() << OptText() << "bcc"
                             << "Ann";
        QTest::newRow("resent cc keeps its kind") << std::optional<quint32>(0x10000002) << OptText("Ann")
                                                  << OptText() << OptText() << "cc" << "Ann";
        QTest::newRow("no kind is to") << std::optional<quint32>() << OptText() << OptText("ann@x.org")
                                       << OptText() << "to" << "ann@x.org";
        QTest::newRow("unknown kind is to") << std::optional<quint32>(9) << OptText("Ann") << OptText()
                                            << OptText() << "to" << "Ann";
        QTest::newRow("exchange with smtp") << std::optional<quint32>(1) << OptText("Ann") << OptText(x500)
                                            << OptText("ann@x.org") << "to" << "Ann <ann@x.org>";
        QTest::newRow("exchange alone") << std::optional<quint32>(2) << OptText("Ann") << OptText(x500)
                                        << OptText() << "cc" << "Ann <" + x500 + ">";
        QTest::newRow("name equals address") << std::optional<quint32>(1) << OptText("ann@x.org")
                                             << OptText("ann@x.org") << OptText() << "to" << "ann@x.org";
    }
    void recipientKindsAndAddresses()
    {
        QFETCH(std::optional<quint32>, kind);
        QFETCH(OptText, name);
        QFETCH(OptText, address);
        QFETCH(OptText, smtp);
        QFETCH(QString, list);
        QFETCH(QString, shown);
        PropertyBag recipient;
        if (kind)
            recipient.insert(Tag::recipientType, stored::int32(*kind));
        if (name)
            recipient.insert(Tag::displayName, stored::text(*name));
        if (address)
            recipient.insert(Tag::emailAddress, stored::text(*address));
        if (smtp)
            recipient.insert(Tag::smtpAddress, stored::text(*smtp));
        RawMessage message;
        message.recipients.value = {recipient};
        const MailMessage record = rules::messageRecord(message);
        const QStringList expected{shown};
        QCOMPARE(record.recipients, list == QLatin1String("to") ? expected : QStringList());
        QCOMPARE(record.ccRecipients, list == QLatin1String("cc") ? expected : QStringList());
        QCOMPARE(record.bccRecipients, list == QLatin1String("bcc") ? expected : QStringList());
    }

    // The sender's address prefers SMTP; the name falls back to the
    // represented sender's.
    void senderAddresses_data()
    {
        QTest::addColumn<TextProps>("properties");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("senderEmail");
        const QString x500 = QStringLiteral("/O=HOME ORGANIZATION/OU=EXCHANGE/CN=RECIPIENTS/CN=BOB");
        QTest::newRow("smtp type") << TextProps{{0x0C1A, "Bob"}, {0x0C1E, "SMTP"}, {0x0C1F, "bob@x.org"}} << "Bob"
                                   << "bob@x.org";
        QTest::newRow("exchange with sender smtp")
            << TextProps{{0x0C1A, "Bob"}, {0x0C1E, "EX"}, {0x0C1F, x500}, {0x5D01, "bob@x.org"}} << "Bob" << "bob@x.org";
        QTest::newRow("exchange with represented smtp")
            << TextProps{{0x0C1A, "Bob"}, {0x0C1E, "EX"}, {0x0C1F, x500}, {0x5D02, "boss@x.org"}} << "Bob"
            << "boss@x.org";
        QTest::newRow("sender smtp before represented")
            << TextProps{{0x0C1F, x500}, {0x5D01, "bob@x.org"}, {0x5D02, "boss@x.org"}} << "bob@x.org" << "bob@x.org";
        QTest::newRow("exchange alone") << TextProps{{0x0C1A, "Bob"}, {0x0C1E, "EX"}, {0x0C1F, x500}} << "Bob" << x500;
        QTest::newRow("represented name") << TextProps{{0x0042, "Boss"}, {0x5D02, "boss@x.org"}} << "Boss"
                                          << "boss@x.org";
    }
    void senderAddresses()
    {
        QFETCH(TextProps, properties);
        QFETCH(QString, sender);
        QFETCH(QString, senderEmail);
        RawMessage message;
        RawRow row;
        for (const auto &[id, value] : properties) {
            message.properties.insert(id, stored::text(value));
            row.columns.insert(id, stored::text(value));
        }
        const MailMessage record = rules::messageRecord(message);
        QCOMPARE(record.sender, sender);
        QCOMPARE(record.senderEmail, senderEmail);
        const MessageRow listed = rules::rowRecord(row, 0);
        QCOMPARE(listed.sender(), sender);
        QCOMPARE(listed.senderEmail, senderEmail);
    }

    // Delivery, else submit, else creation time; none is no date (not 1970).
    // The read state follows the flags, in records and rows alike.
    void datesAndReadState_data()
    {
        QTest::addColumn<TimeProps>("times");
        QTest::addColumn<std::optional<quint32>>("flags");
        QTest::addColumn<double>("date");
        QTest::addColumn<bool>("isRead");
        QTest::addColumn<bool>("hasAttachments");
        const quint64 march = 133537572000000000ULL;  // 2024-03-01 09:00 UTC
        const quint64 day = 864000000000ULL;
        QTest::newRow("delivery") << TimeProps{{0x0E06, march}, {0x0039, march - day}, {0x3007, march - 2 * day}}
                                  << std::optional<quint32>(0x01) << 1709283600.0 << true << false;
        QTest::newRow("submit") << TimeProps{{0x0039, march - day}, {0x3007, march - 2 * day}}
                                << std::optional<quint32>(0x00) << 1709283600.0 - 86400 << false << false;
        QTest::newRow("creation") << TimeProps{{0x3007, march - 2 * day}} << std::optional<quint32>(0x10)
                                  << 1709283600.0 - 2 * 86400 << false << true;
        QTest::newRow("zero delivery falls back") << TimeProps{{0x0E06, 0}, {0x0039, march}}
                                                  << std::optional<quint32>(0x11) << 1709283600.0 << true << true;
        QTest::newRow("none") << TimeProps{} << std::optional<quint32>() << 0.0 << true << false;
    }
    void datesAndReadState()
    {
        QFETCH(TimeProps, times);
        QFETCH(std::optional<quint32>, flags);
        QFETCH(double, date);
        QFETCH(bool, isRead);
        QFETCH(bool, hasAttachments);
        RawMessage message;
        RawRow row;
        for (const auto &[id, value] : times) {
            message.properties.insert(id, stored::filetime(value));
            row.columns.insert(id, stored::filetime(value));
        }
        if (flags) {
            message.properties.insert(0x0E07, stored::int32(*flags));
            row.columns.insert(0x0E07, stored::int32(*flags));
        }
        const MailMessage record = rules::messageRecord(message);
        QCOMPARE(record.date, date);
        QCOMPARE(record.isRead, isRead);
        const MessageRow listed = rules::rowRecord(row, 7);
        QCOMPARE(listed.date, date);
        QCOMPARE(listed.isRead, isRead);
        QCOMPARE(listed.hasAttachments, hasAttachments);
        QCOMPARE(listed.storageIndex, qint64(7));
        QVERIFY(listed.id.isNull());
    }

    void rowFields()
    {
        RawRow row;
        row.columns.insert(Tag::subject, stored::text(QStringLiteral("\u0001\u0004RE: plans")));
        row.columns.insert(0x001A, stored::text(QStringLiteral("IPM.Note")));
        row.columns.insert(0x0E08, stored::int32(4096));
        row.columns.insert(0x0E04, stored::text(QStringLiteral("Ann; Bob")));
        row.columns.insert(0x0E03, stored::text(QStringLiteral("Cy")));
        row.columns.insert(Tag::importance, stored::int32(2));
        const MessageRow listed = rules::rowRecord(row, 0);
        QCOMPARE(listed.subject, QStringLiteral("RE: plans"));
        QCOMPARE(listed.messageClass, QStringLiteral("IPM.Note"));
        QCOMPARE(listed.size, qint64(4096));
        QCOMPARE(listed.displayTo, QStringLiteral("Ann; Bob"));
        QCOMPARE(listed.displayCc, QStringLiteral("Cy"));
        QCOMPARE(listed.importance, MessageImportance::high);
        QCOMPARE(rules::rowRecord(RawRow(), 0).subject, QStringLiteral("(kein Betreff)"));
    }

    // Rows of one listing share the texts they repeat, yet each row keeps
    // its own values: sharing never hands one row another's text.
    void sharedRowTexts()
    {
        const auto raw = [](const QString &sender, const QString &to, const QString &messageClass) {
            RawRow row;
            row.columns.insert(Tag::senderName, stored::text(sender));
            row.columns.insert(0x0E04, stored::text(to));
            row.columns.insert(0x001A, stored::text(messageClass));
            row.columns.insert(Tag::subject, stored::text(sender + QStringLiteral(" writes")));
            return row;
        };
        TextPool pool;
        const MessageRow a = rules::rowRecord(raw(QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("IPM.Note")), 0, &pool);
        const MessageRow b = rules::rowRecord(raw(QStringLiteral("Ann"), QStringLiteral("Cy"), QStringLiteral("IPM.Note")), 1, &pool);
        const MessageRow c = rules::rowRecord(raw(QStringLiteral("Anne"), QStringLiteral("Bob"), QStringLiteral("IPM.Note.SMIME")), 2, &pool);
        QCOMPARE(a.senderName, QStringLiteral("Ann"));
        QCOMPARE(b.senderName, QStringLiteral("Ann"));
        QCOMPARE(c.senderName, QStringLiteral("Anne"));
        QCOMPARE(b.displayTo, QStringLiteral("Cy"));
        QCOMPARE(c.displayTo, QStringLiteral("Bob"));
        QCOMPARE(c.messageClass, QStringLiteral("IPM.Note.SMIME"));
        // Equal texts are one copy.
        QCOMPARE(a.senderName.constData(), b.senderName.constData());
        QCOMPARE(a.displayTo.constData(), c.displayTo.constData());
        QCOMPARE(a.messageClass.constData(), b.messageClass.constData());
        QVERIFY(a.senderName.constData() != c.senderName.constData());
        // The rows are the rows made without a pool.
        MessageRow unshared = rules::rowRecord(raw(QStringLiteral("Ann"), QStringLiteral("Cy"), QStringLiteral("IPM.Note")), 1);
        QCOMPARE(b, unshared);
        // Changing one row's text leaves the row it shares with alone.
        MessageRow changed = b;
        changed.senderName.append(QLatin1Char('!'));
        QCOMPARE(a.senderName, QStringLiteral("Ann"));
        // Texts are known by their type and bytes: the bytes "AB" are "AB"
        // stored 8-bit and U+4241 stored as UTF-16, whichever came first.
        RawRow narrow;
        narrow.columns.insert(Tag::senderName, PropertyValue{PropertyType::string8, QByteArrayLiteral("AB")});
        RawRow wide;
        wide.columns.insert(Tag::senderName, PropertyValue{PropertyType::string, QByteArrayLiteral("AB")});
        QCOMPARE(rules::rowRecord(narrow, 3, &pool).senderName, QStringLiteral("AB"));
        QCOMPARE(rules::rowRecord(wide, 4, &pool).senderName, QString(QChar(0x4241)));
    }

    // A listing's values point into a buffer that goes with its chunk: the
    // pool keeps its own copy of what it saw (a dangling one is a
    // use-after-free for the sanitizer build), and a later equal value finds it.
    void sharedTextsOutliveTheirBuffer()
    {
        TextPool pool;
        QString first;
        {
            const QByteArray buffer = stored::text(QStringLiteral("Ann")).bytes;
            RawRow r;
            r.columns.insert(Tag::senderName,
                             PropertyValue{PropertyType::string, QByteArray::fromRawData(buffer.constData(), buffer.size())});
            first = rules::rowRecord(r, 0, &pool).senderName;
        }
        RawRow again;
        again.columns.insert(Tag::senderName, stored::text(QStringLiteral("Ann")));
        const QString second = rules::rowRecord(again, 1, &pool).senderName;
        QCOMPARE(second, QStringLiteral("Ann"));
        QCOMPARE(second.constData(), first.constData());
    }

    void textPoolIsBounded()
    {
        TextPool pool;
        int decoded = 0;
        const auto fromStored = [&pool, &decoded](qsizetype i) {
            const QString text = QString::number(i);
            return pool.fromStored(PropertyType::string8, text.toLatin1(), [&decoded, &text] {
                ++decoded;
                return text;
            });
        };
        for (qsizetype i = 0; i < TextPool::kMaxTexts + 10; ++i)
            fromStored(i);
        QCOMPARE(pool.size(), TextPool::kMaxTexts);
        QCOMPARE(decoded, TextPool::kMaxTexts + 10);
        // Past the bound texts still come back right, decoded each time.
        QCOMPARE(fromStored(TextPool::kMaxTexts + 5), QString::number(TextPool::kMaxTexts + 5));
        QCOMPARE(decoded, TextPool::kMaxTexts + 11);
        // Within it, a repeated text is the one copy, decoded once.
        QCOMPARE(fromStored(0).constData(), fromStored(0).constData());
        QCOMPARE(decoded, TextPool::kMaxTexts + 11);
    }

    // Unicode texts are the stored code units, pairs and unpaired
    // surrogates alike, up to a NUL.
    void unicodeTexts_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("text");
        const auto utf16 = [](const QString &t) {
            QByteArray b;
            for (const QChar c : t) {
                b.append(char(c.unicode() & 0xFF));
                b.append(char(c.unicode() >> 8));
            }
            return b;
        };
        QTest::newRow("plain") << utf16(QStringLiteral("Grüße")) << QStringLiteral("Grüße");
        QTest::newRow("pair") << utf16(QStringLiteral("a😀b")) << QStringLiteral("a😀b");
        QTest::newRow("lone high") << utf16(QStringLiteral("a")) + QByteArray("\x00\xD8", 2) + utf16(QStringLiteral("b"))
                                   << QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b");
        QTest::newRow("lone low") << QByteArray("\x00\xDC", 2) << QString(QChar(0xDC00));
        // A stored mark is a unit like any other, whether or not surrogates follow.
        QTest::newRow("mark, then a pair") << QByteArray("\xFF\xFE", 2) + utf16(QStringLiteral("a😀"))
                                           << QChar(0xFEFF) + QStringLiteral("a😀");
        QTest::newRow("mark, then text") << QByteArray("\xFF\xFE", 2) + utf16(QStringLiteral("ab"))
                                         << QChar(0xFEFF) + QStringLiteral("ab");
        QTest::newRow("odd byte dropped") << utf16(QStringLiteral("ab")) + QByteArray("x") << QStringLiteral("ab");
        QTest::newRow("NUL ends") << utf16(QStringLiteral("ab")) + QByteArray(2, '\0') + utf16(QStringLiteral("c"))
                                  << QStringLiteral("ab");
    }
    void unicodeTexts()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, text);
        QCOMPARE(rules::text(PropertyValue{PropertyType::string, stored}), std::optional<QString>(text));
    }

    void attachments_data()
    {
        QTest::addColumn<RawAttachment>("raw");
        QTest::addColumn<QString>("filename");
        QTest::addColumn<QString>("mime");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("hasData");
        const QByteArray bytes(16, 'x');
        QTest::newRow("named file") << rawAttachment(0, "REPORT.PDF", {}, 16, std::nullopt) << "REPORT.PDF"
                                    << "application/pdf" << qint64(16) << false;
        QTest::newRow("no name: index") << rawAttachment(2, {}, {}, 16, std::nullopt) << "Anhang_2"
                                        << "application/octet-stream" << qint64(16) << false;
        QTest::newRow("empty name: index") << rawAttachment(0, "", {}, 16, std::nullopt) << "Anhang_0"
                                           << "application/octet-stream" << qint64(16) << false;
        QTest::newRow("inline image") << rawAttachment(1, "a.png", "img1", 16, bytes) << "a.png" << "image/png"
                                      << qint64(16) << true;
        QTest::newRow("bytes without content id are dropped")
            << rawAttachment(1, "a.png", {}, 16, bytes) << "a.png" << "image/png" << qint64(16) << false;
        QTest::newRow("bytes at the limit are dropped")
            << rawAttachment(1, "a.png", "img1", rules::kInlineDataLimit, bytes) << "a.png" << "image/png"
            << rules::kInlineDataLimit << false;
        QTest::newRow("size unreadable") << rawAttachment(0, "a.gif", "img1", std::nullopt, std::nullopt) << "a.gif"
                                         << "image/gif" << qint64(0) << false;
    }
    void attachments()
    {
        QFETCH(RawAttachment, raw);
        QFETCH(QString, filename);
        QFETCH(QString, mime);
        QFETCH(qint64, size);
        QFETCH(bool, hasData);
        const Attachment record = rules::attachmentRecord(raw);
        QCOMPARE(record.filename, filename);
        QCOMPARE(record.mimeType, mime);
        QCOMPARE(record.size, size);
        QCOMPARE(record.data.has_value(), hasData);
        QVERIFY(record.id.isNull());  // the actor mints ids
    }

    // What could not be read reaches the record with its reason: the whole
    // message, or an attached message.
    void failuresReachTheRecord_data()
    {
        QTest::addColumn<RawMessage>("raw");
        QTest::addColumn<OptText>("messageFailure");
        QTest::addColumn<OptText>("attachmentFailure");
        RawMessage unreadable;
        unreadable.key = MessageKey{0x200024, {}};
        unreadable.failure = QStringLiteral("block: bad checksum at 0x4400");
        QTest::newRow("unreadable message") << unreadable << OptText("block: bad checksum at 0x4400") << OptText();
        RawMessage outer;
        outer.properties.insert(Tag::subject, stored::text("Außen"));
        RawAttachment attached;
        attached.index = 1;
        attached.properties.insert(Tag::attachMethod, stored::int32(5));
        attached.embeddedFailure = QStringLiteral("message: attached message 0x8022 lies in itself");
        outer.attachments.value = {attached};
        QTest::newRow("unreadable attached message")
            << outer << OptText() << OptText("message: attached message 0x8022 lies in itself");
        RawMessage intact = outer;
        intact.attachments.value.first().embeddedFailure.reset();
        QTest::newRow("nothing missing") << intact << OptText() << OptText();
    }
    void failuresReachTheRecord()
    {
        QFETCH(RawMessage, raw);
        QFETCH(OptText, messageFailure);
        QFETCH(OptText, attachmentFailure);
        const MailMessage record = rules::messageRecord(raw);
        QCOMPARE(record.readFailure, messageFailure);
        QCOMPARE(record.attachments.isEmpty() ? OptText() : record.attachments.first().failure, attachmentFailure);
        if (messageFailure) {
            QCOMPARE(record.subject, rules::subject(std::nullopt));
            QVERIFY(record.attachments.isEmpty() && record.recipients.isEmpty());
        } else {
            QCOMPARE(record.attachments.size(), 1);
            QVERIFY(record.attachments.first().isMessage);
        }
    }

    void inlinePolicy_data()
    {
        QTest::addColumn<QString>("contentId");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("wanted");
        QTest::newRow("4,999,999") << "id" << qint64(4'999'999) << true;
        QTest::newRow("5,000,000") << "id" << qint64(5'000'000) << false;
        QTest::newRow("1") << "id" << qint64(1) << true;
        QTest::newRow("0") << "id" << qint64(0) << false;
        QTest::newRow("empty id") << "" << qint64(809) << false;
        QTest::newRow("no id") << QString() << qint64(809) << false;
    }
    void inlinePolicy()
    {
        QFETCH(QString, contentId);
        QFETCH(qint64, size);
        QFETCH(bool, wanted);
        const RawAttachment raw = rawAttachment(0, "a.png", contentId, size, std::nullopt);
        QCOMPARE(rules::inlineDataPolicy()(raw.properties, size), wanted);
    }

    void folders_data()
    {
        QTest::addColumn<std::optional<PropertyValue>>("name");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<FolderType>("type");
        QTest::newRow("missing") << std::optional<PropertyValue>() << "(unbenannt)" << FolderType::custom;
        QTest::newRow("stored empty stays empty") << std::optional(stored::text("")) << "" << FolderType::custom;
        QTest::newRow("8-bit") << std::optional(stored::text8("Entw\xfcrfe")) << "Entwürfe" << FolderType::drafts;
        QTest::newRow("unicode") << std::optional(stored::text("Posteingang")) << "Posteingang" << FolderType::inbox;
    }
    void folders()
    {
        QFETCH(std::optional<PropertyValue>, name);
        QFETCH(QString, shown);
        QFETCH(FolderType, type);
        RawFolder raw;
        if (name)
            raw.properties.insert(Tag::displayName, *name);
        raw.properties.insert(Tag::contentUnreadCount, stored::int32(4));
        raw.messageCount.failure = QStringLiteral("number_of_sub_messages: unknown");
        const MailFolder record = rules::folderRecord(raw);
        QCOMPARE(record.name, shown);
        QCOMPARE(record.folderType, type);
        QCOMPARE(record.unreadCount, 4);
        QCOMPARE(record.messageCount, 0);
        QCOMPARE(record.messageCountFailure, OptText("number_of_sub_messages: unknown"));
    }

    // Which folder's sub folders are the mailbox, and which top-level
    // folders are the store's own, over raw trees.
    void mailboxInTheTree_data()
    {
        QTest::addColumn<QString>("topName");
        QTest::addColumn<bool>("offline");  // an offline store's "Root - Mailbox"/"IPM_SUBTREE" beside
        QTest::addColumn<std::optional<QByteArray>>("entry");
        QTest::addColumn<QString>("mailbox");  // the marked folder's name; empty for none
        const auto none = std::optional<QByteArray>();
        QTest::newRow("entry id names the top folder")
            << "Mailbox of Ann" << false << std::optional(entryId(0x8042)) << "Mailbox of Ann";
        QTest::newRow("entry id wins over a name")
            << "Top of Personal Folders" << true << std::optional(entryId(0x8122)) << "IPM_SUBTREE";
        QTest::newRow("entry id names a nested folder")
            << "Mailbox of Ann" << false << std::optional(entryId(0x8082)) << "Nested";
        QTest::newRow("English name") << "Top of Personal Folders" << false << none << "Top of Personal Folders";
        QTest::newRow("newer English name") << "Top of Outlook data file" << false << none << "Top of Outlook data file";
        QTest::newRow("German name") << "Oberste Ebene der persönlichen Ordner" << false << none
                                     << "Oberste Ebene der persönlichen Ordner";
        QTest::newRow("French name") << "Début du fichier de données Outlook" << false << none
                                     << "Début du fichier de données Outlook";
        QTest::newRow("Japanese name") << "Outlook データ ファイルのトップ" << false << none
                                       << "Outlook データ ファイルのトップ";
        QTest::newRow("entry id shorter than 24 bytes")
            << "Top of Personal Folders" << false << std::optional(entryId(0x8082, 23)) << "Top of Personal Folders";
        QTest::newRow("entry id naming no folder")
            << "Dossiers personnels" << false << std::optional(entryId(0x9999)) << "Dossiers personnels";
        QTest::newRow("entry id naming a search folder")
            << "Mailbox of Ann" << true << std::optional(entryId(0x80E3)) << "IPM_SUBTREE";
        QTest::newRow("offline store") << "Mailbox of Ann" << true << none << "IPM_SUBTREE";
        QTest::newRow("none found") << "Mailbox of Ann" << false << none << "";
        QTest::newRow("damaged entry id, no name") << "Mailbox of Ann" << false << std::optional(QByteArray(8, '\1')) << "";
    }
    void mailboxInTheTree()
    {
        QFETCH(QString, topName);
        QFETCH(bool, offline);
        QFETCH(std::optional<QByteArray>, entry);
        QFETCH(QString, mailbox);
        RawArchive archive;
        if (entry)
            archive.store.insert(Tag::ipmSubtreeEntryId, stored::binary(*entry));
        archive.folders.value = {
            rawFolder(0x8023, QStringLiteral("SPAM Search Folder 2")),
            rawFolder(0x8042, topName,
                      {rawFolder(0x8062, QStringLiteral("Inbox")),
                       rawFolder(0x8082, QStringLiteral("Nested"), {rawFolder(0x80A2, QStringLiteral("Deep"))})}),
            rawFolder(0x80C2, QStringLiteral("Search Root"), {rawFolder(0x80E3, QStringLiteral("All Messages"))}),
        };
        if (offline)
            archive.folders.value.append(rawFolder(
                0x8102, QStringLiteral("Root - Mailbox"),
                {rawFolder(0x8122, QStringLiteral("IPM_SUBTREE"), {rawFolder(0x8142, QStringLiteral("Inbox"))})}));
        const QList<MailFolder> tree = rules::folderTree(archive);
        QCOMPARE(tree.size(), archive.folders.value.size());
        QCOMPARE(mailboxRoots(tree), mailbox.isEmpty() ? QStringList() : QStringList{mailbox});
        QCOMPARE(rules::mailboxRootNode(archive).has_value(), !mailbox.isEmpty());
        for (const MailFolder &top : tree)
            QVERIFY2(top.storeFolder == (!mailbox.isEmpty() && !top.mailboxRoot), qPrintable(top.name));
        // The shape stays as stored, and search folders say what they are.
        QCOMPARE(tree.at(1).children.size(), 2);
        QCOMPARE(tree.at(1).children.at(1).children.at(0).name, QStringLiteral("Deep"));
        QVERIFY(tree.at(0).searchFolder);
        QVERIFY(tree.at(2).children.at(0).searchFolder);
        QVERIFY(!tree.at(1).searchFolder);
    }

    void entryIdNodes_data()
    {
        QTest::addColumn<PropertyValue>("value");
        QTest::addColumn<std::optional<quint32>>("node");
        QTest::newRow("24 bytes") << stored::binary(entryId(0x12345678)) << std::optional<quint32>(0x12345678);
        QTest::newRow("longer") << stored::binary(entryId(0x8022) + "xx") << std::optional<quint32>(0x8022);
        QTest::newRow("23 bytes") << stored::binary(entryId(0x8022, 23)) << std::optional<quint32>();
        QTest::newRow("empty") << stored::binary({}) << std::optional<quint32>();
        QTest::newRow("not binary") << stored::text(QStringLiteral("abcdefghijklmnop")) << std::optional<quint32>();
    }
    void entryIdNodes()
    {
        QFETCH(PropertyValue, value);
        QFETCH(std::optional<quint32>, node);
        QCOMPARE(rules::entryIdNode(value), node);
    }

    // automatic: native first, libpff when native cannot open the file.
    void engineChoice_data()
    {
        QTest::addColumn<EngineChoice>("choice");
        QTest::addColumn<bool>("nativeReads");
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QStringList>("opens");
        QTest::newRow("automatic, native reads") << EngineChoice::automatic << true << "native"
                                                 << QStringList{"native.open a.pst"};
        QTest::newRow("automatic, native cannot") << EngineChoice::automatic << false << "libpff"
                                                  << QStringList{"native.open a.pst", "libpff.open a.pst"};
        QTest::newRow("libpff forced") << EngineChoice::libpff << true << "libpff" << QStringList{"libpff.open a.pst"};
        QTest::newRow("native forced, cannot") << EngineChoice::native << false << "" << QStringList{"native.open a.pst"};
    }
    void engineChoice()
    {
        QFETCH(EngineChoice, choice);
        QFETCH(bool, nativeReads);
        QFETCH(QString, engine);
        QFETCH(QStringList, opens);
        auto archive = std::make_shared<test::MemoryArchive>();
        archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        const test::MemoryShelf shelf{{QStringLiteral("a.pst"), archive}};
        auto log = std::make_shared<test::MemoryEngineLog>();
        EngineFactory factory = test::memoryEngines(shelf, log, true);
        if (!nativeReads)
            factory.native = [log] { return std::make_unique<test::MemoryEngine>(test::MemoryShelf(), "native", log); };
        PSTActor actor(choice, factory);
        const auto opened = actor.openFile(QUrl::fromLocalFile(placeholder("a.pst"))).result();
        QCOMPARE(bool(opened), !engine.isEmpty());
        QCOMPARE(actor.engineName(), engine);
        QCOMPARE(log->callsSoFar(), opens);
        if (!opened)  // the native engine's own text, not a fallback's
            QVERIFY(opened.error().message().startsWith(QLatin1String("file_open: native")));
    }

    void nativeMissingFromAFactory()
    {
        EngineFactory factory;
        factory.libpff = [] { return std::unique_ptr<ArchiveEngine>(); };
        PSTActor actor(EngineChoice::native, factory);
        const auto opened = actor.openFile(QUrl::fromLocalFile(placeholder("b.pst"))).result();
        QVERIFY(!opened);
        QCOMPARE(opened.error().message(), QStringLiteral("the native engine is not available yet"));
    }

    void pathsRefusedBeforeAnyEngine_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("description");
        QTest::newRow("nothing there") << "missing" << "PST file not found.";
        QTest::newRow("a directory") << "directory" << "Read error: file_open: not a regular file (a directory)";
        QTest::newRow("a named pipe") << "fifo" << "Read error: file_open: not a regular file (a named pipe)";
    }
    void pathsRefusedBeforeAnyEngine()
    {
        QFETCH(QString, kind);
        QFETCH(QString, description);
        const QString path = m_dir.filePath(QStringLiteral("refused-") + kind);
        if (kind == QLatin1String("directory"))
            QVERIFY(QDir().mkpath(path));
        if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        auto log = std::make_shared<test::MemoryEngineLog>();
        PSTActor actor(EngineChoice::automatic, test::memoryEngines({}, log, true));
        const auto opened = actor.openFile(QUrl::fromLocalFile(path)).result();
        QVERIFY(!opened);
        QCOMPARE(opened.error().errorDescription(), description);
        QVERIFY(log->callsSoFar().isEmpty());
    }

    void idsAreMintedPerLoadAndDamageTravels()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        const quint32 old = archive->addFolder(inbox, QStringLiteral("Old"));
        archive->setMessageCountUnreadable(old, QStringLiteral("contents: bad row at 0x1200"));
        archive->addMessage(inbox, test::mail("Hi").attach("a.png", "PNG", "img").recipientsUnreadable("gone"));
        PSTActor actor(EngineChoice::libpff, test::memoryEngines({{QStringLiteral("c.pst"), archive}}));
        const auto opened = actor.openFile(QUrl::fromLocalFile(placeholder("c.pst"))).result();
        QVERIFY(opened);
        const MailFolder &top = opened.value().at(0);
        QVERIFY(!top.id.isNull());
        QVERIFY(!top.children.at(0).id.isNull());
        QCOMPARE(top.children.at(0).messageCountFailure, OptText("contents: bad row at 0x1200"));
        const auto first = actor.loadMessages(top, 0, 100).result();
        const auto second = actor.loadMessages(top, 0, 100).result();
        QVERIFY(first && second);
        QCOMPARE(first.value().at(0).subject, second.value().at(0).subject);
        QVERIFY(first.value().at(0).id != second.value().at(0).id);
        QVERIFY(first.value().at(0).attachments.at(0).id != second.value().at(0).attachments.at(0).id);
        QVERIFY(first.value() != second.value());
        QCOMPARE(first.value().at(0).recipientsFailure, OptText("gone"));
        QCOMPARE(first.value().at(0).attachments.at(0).data, std::optional<QByteArray>("PNG"));

        // A folder of an archive that is no longer open.
        QVERIFY(actor.openFile(QUrl::fromLocalFile(placeholder("c.pst"))).result());
        const auto stale = actor.loadMessages(top, 0, 100).result();
        QVERIFY(!stale);
        QCOMPARE(stale.error().message(), QStringLiteral("Ordner nicht gefunden"));
    }

    void savingAnAttachment()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        const QByteArray big(200'000, 'b');
        archive->addMessage(inbox, test::mail("Files")
                                       .attach("big.bin", big)
                                       .attachUnreadable("lost.bin", 10, "data tree: bad block at 0x8000")
                                       .attachMessage(test::mail("Inner")));
        PSTActor actor(EngineChoice::libpff, test::memoryEngines({{QStringLiteral("d.pst"), archive}}));
        const auto opened = actor.openFile(QUrl::fromLocalFile(placeholder("d.pst"))).result();
        QVERIFY(opened);
        const auto page = actor.loadMessages(opened.value().at(0), 0, 100).result();
        QVERIFY(page);
        const QList<Attachment> &attachments = page.value().at(0).attachments;
        QCOMPARE(attachments.size(), 3);
        QCOMPARE(attachments.at(2).filename, QStringLiteral("Inner"));  // an attached message: its subject
        QVERIFY(attachments.at(2).isMessage);
        QCOMPARE(attachments.at(2).size, 4096);  // an attached message: the archive's own size

        const QString target = m_dir.filePath(QStringLiteral("big.bin"));
        const auto saved = actor.saveAttachment(attachments.at(0), target).result();
        QVERIFY(saved);
        QCOMPARE(saved.value(), big.size());
        QFile written(target);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), big);

        const QString lost = m_dir.filePath(QStringLiteral("lost.bin"));
        const auto failed = actor.saveAttachment(attachments.at(1), lost).result();
        QVERIFY(!failed);
        QCOMPARE(failed.error().kind, AttachmentSaveError::Kind::readFailed);
        QCOMPARE(failed.error().detail, QStringLiteral("data tree: bad block at 0x8000"));
        QVERIFY(!QFile::exists(lost));

        const auto inner = actor.saveAttachment(attachments.at(2), m_dir.filePath(QStringLiteral("inner"))).result();
        QVERIFY(!inner);
        QCOMPARE(inner.error().kind, AttachmentSaveError::Kind::readFailed);

        Attachment foreign = attachments.at(0);
        foreign.id = QUuid::createUuid();
        const auto unknown = actor.saveAttachment(foreign, target).result();
        QVERIFY(!unknown);
        QCOMPARE(unknown.error().kind, AttachmentSaveError::Kind::notLoaded);
    }
};

QTEST_GUILESS_MAIN(TestRecordRules)
#include "tst_recordrules.moc"
