// The record rules for what a message shows: the body chosen and decoded in
// its code page, the kind of item and its fields, attached messages named by
// their subject and opened through the actor to any depth.
#include "MemoryArchive.h"
#include "MemoryEngine.h"
#include "StoredValue.h"
#include "TestSupport.h"
#include "pst/ItemRules.h"
#include "pst/PSTActor.h"
#include "pst/RecordRules.h"

#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <cstring>
#include <functional>

using namespace ostrel;
namespace stored = ostrel::test::stored;
using rules::Tag;

Q_DECLARE_METATYPE(ostrel::ItemKind)
Q_DECLARE_METATYPE(ostrel::ShownBody)

namespace {
using OptText = std::optional<QString>;

PropertyName lid(const QUuid &set, quint32 id)
{
    return PropertyName{set, id};
}

PropertyValue boolean(bool value)
{
    return PropertyValue{PropertyType::boolean, QByteArray(1, value ? '\1' : '\0')};
}

PropertyValue float64(double value)
{
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray bytes(8, '\0');
    qToLittleEndian(bits, bytes.data());
    return PropertyValue{0x0005, bytes};
}

// An uncompressed ("MELA") compressed-RTF value around the RTF text.
PropertyValue rtf(const QByteArray &text)
{
    QByteArray value(16, '\0');
    qToLittleEndian<quint32>(quint32(text.size() + 12), value.data());
    qToLittleEndian<quint32>(quint32(text.size()), value.data() + 4);
    qToLittleEndian<quint32>(0x414C454D, value.data() + 8);
    return stored::binary(value + text);
}

// A one-off entry id: flags, the one-off provider, version, flags (Unicode),
// then name, address type and address.
QByteArray oneOff(const QString &name, const QString &address)
{
    static const QByteArray provider = QByteArray::fromHex("812B1FA4BEA310199D6E00DD010F5402");
    QByteArray entry(4, '\0');
    entry += provider;
    entry += QByteArray("\0\0\0\x80", 4);
    for (const QString &part : {name, QStringLiteral("SMTP"), address}) {
        entry += QByteArray(reinterpret_cast<const char *>(part.utf16()), part.size() * 2);
        entry += QByteArray(2, '\0');
    }
    return entry;
}

// The stored array form of a multi-valued binary: count, offsets, values.
PropertyValue multipleBinary(const QList<QByteArray> &values)
{
    QByteArray out(4 + 4 * values.size(), '\0');
    qToLittleEndian<quint32>(quint32(values.size()), out.data());
    for (qsizetype k = 0; k < values.size(); ++k) {
        qToLittleEndian<quint32>(quint32(out.size()), out.data() + 4 + 4 * k);
        out += values[k];
    }
    return PropertyValue{0x1102, out};
}

double seconds(const QDateTime &time)
{
    return double(time.toSecsSinceEpoch());
}
}  // namespace

class TestItemRules : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void codePages_data()
    {
        QTest::addColumn<quint16>("property");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("codePage");  // PidTagInternetCodepage, 0 for none
        QTest::addColumn<QString>("expected");
        QTest::addColumn<ShownBody>("shown");
        const QString russian = QStringLiteral("Привет");
        const QString japanese = QStringLiteral("こんにちは");
        const QByteArray cp1251 = QByteArray::fromHex("cff0e8e2e5f2");
        const QByteArray sjis = QByteArray::fromHex("82b182f182c982bf82cd");
        QTest::newRow("text windows-1252") << Tag::body << QByteArray("a \x93q\x94 \x97 b") << 1252
                                           << QStringLiteral("a “q” — b") << ShownBody::text;
        QTest::newRow("text windows-1252 by default") << Tag::body << QByteArray("\x80 5") << 0
                                                      << QStringLiteral("€ 5") << ShownBody::text;
        QTest::newRow("text windows-1251") << Tag::body << cp1251 << 1251 << russian << ShownBody::text;
        QTest::newRow("text iso-8859-1") << Tag::body << QByteArray("caf\xe9") << 28591 << QStringLiteral("café")
                                         << ShownBody::text;
        QTest::newRow("text shift_jis") << Tag::body << sjis << 932 << japanese << ShownBody::text;
        QTest::newRow("text utf-8 first") << Tag::body << japanese.toUtf8() << 1251 << japanese << ShownBody::text;
        QTest::newRow("html windows-1251") << Tag::html << QByteArray("<p>" + cp1251 + "</p>") << 1251
                                           << QStringLiteral("<p>%1</p>").arg(russian) << ShownBody::html;
        QTest::newRow("html shift_jis") << Tag::html << QByteArray("<p>" + sjis + "</p>") << 932
                                        << QStringLiteral("<p>%1</p>").arg(japanese) << ShownBody::html;
        QTest::newRow("html meta charset over the code page")
            << Tag::html << QByteArray("<meta charset=\"windows-1251\"><p>" + cp1251) << 1252
            << QStringLiteral("<meta charset=\"windows-1251\"><p>%1").arg(russian) << ShownBody::html;
        QTest::newRow("html windows-1252 dash kept") << Tag::html << QByteArray("a\x97" "b") << 0
                                                     << QStringLiteral("a—b") << ShownBody::html;
        QTest::newRow("html utf-8") << Tag::html << QByteArray("<b>" + japanese.toUtf8()) << 1252
                                    << QStringLiteral("<b>%1").arg(japanese) << ShownBody::html;
    }
    void codePages()
    {
        QFETCH(quint16, property);
        QFETCH(QByteArray, bytes);
        QFETCH(int, codePage);
        QFETCH(QString, expected);
        QFETCH(ShownBody, shown);
        RawMessage raw;
        raw.properties.insert(property, property == Tag::body ? stored::text8(bytes) : stored::binary(bytes));
        if (codePage)
            raw.properties.insert(Tag::internetCodePage, stored::int32(quint32(codePage)));
        const MailMessage record = rules::messageRecord(raw);
        QCOMPARE(record.shownBody, shown);
        QCOMPARE(property == Tag::body ? record.bodyText : record.bodyHTML, OptText(expected));
    }

    void messageCodePageAfterInternet()
    {
        RawMessage raw;
        raw.properties.insert(Tag::body, stored::text8(QByteArray::fromHex("cff0e8e2e5f2")));
        raw.properties.insert(Tag::messageCodePage, stored::int32(1251));
        QCOMPARE(rules::messageRecord(raw).bodyText, OptText(QStringLiteral("Привет")));
        raw.properties.insert(Tag::internetCodePage, stored::int32(1252));
        QCOMPARE(rules::messageRecord(raw).bodyText, OptText(QString::fromLatin1("\xcf\xf0\xe8\xe2\xe5\xf2")));
    }

    void shownBody_data()
    {
        QTest::addColumn<RawMessage>("raw");
        QTest::addColumn<ShownBody>("shown");
        QTest::addColumn<QString>("contains");
        const auto with = [](std::initializer_list<std::pair<quint16, PropertyValue>> values) {
            RawMessage raw;
            for (const auto &[id, value] : values)
                raw.properties.insert(id, value);
            return raw;
        };
        const PropertyValue htmlInRtf = rtf("{\\rtf1\\ansi\\fromhtml1 {\\*\\htmltag <p>}Hi{\\*\\htmltag </p>}}");
        const PropertyValue plainRtf = rtf("{\\rtf1\\ansi Hello\\par {\\b world}}");
        QTest::newRow("html first") << with({{Tag::html, stored::binary("<i>h</i>")}, {Tag::body, stored::text("t")},
                                             {Tag::rtfCompressed, htmlInRtf}})
                                    << ShownBody::html << "<i>h</i>";
        QTest::newRow("html from rtf before text")
            << with({{Tag::body, stored::text("t")}, {Tag::rtfCompressed, htmlInRtf}}) << ShownBody::htmlFromRtf
            << "<p>Hi</p>";
        QTest::newRow("text before plain rtf") << with({{Tag::body, stored::text("t")}, {Tag::rtfCompressed, plainRtf}})
                                               << ShownBody::text << "t";
        QTest::newRow("text from rtf") << with({{Tag::rtfCompressed, plainRtf}}) << ShownBody::textFromRtf << "world";
        QTest::newRow("empty html falls through") << with({{Tag::html, stored::binary("")}, {Tag::body, stored::text("t")}})
                                                  << ShownBody::text << "t";
        QTest::newRow("nothing") << RawMessage() << ShownBody::none << "";
    }
    void shownBody()
    {
        QFETCH(RawMessage, raw);
        QFETCH(ShownBody, shown);
        QFETCH(QString, contains);
        const MailMessage record = rules::messageRecord(raw);
        QCOMPARE(record.shownBody, shown);
        const QString body = record.bodyHTML.value_or(QString()) + record.bodyText.value_or(QString());
        QVERIFY2(body.contains(contains), qPrintable(body));
        if (shown == ShownBody::textFromRtf) {
            QCOMPARE(record.bodyText, OptText(QStringLiteral("Hello\nworld")));
            QVERIFY(record.bodyHTML->contains(QStringLiteral("<b>world</b>")));
        }
        QVERIFY(!record.bodyFailure);
    }

    void transportHeaders()
    {
        RawMessage raw;
        QCOMPARE(rules::messageRecord(raw).transportHeaders, std::nullopt);
        raw.properties.insert(Tag::transportHeaders, stored::text("Received: from a\r\nX-Mailer: b\r\n"));
        QCOMPARE(rules::messageRecord(raw).transportHeaders, OptText("Received: from a\r\nX-Mailer: b\r\n"));
    }

    void kinds_data()
    {
        QTest::addColumn<QString>("messageClass");
        QTest::addColumn<ItemKind>("kind");
        QTest::addColumn<QString>("icon");
        QTest::newRow("mail") << "IPM.Note" << ItemKind::mail << "envelope";
        QTest::newRow("none") << "" << ItemKind::mail << "envelope";
        QTest::newRow("contact") << "IPM.Contact" << ItemKind::contact << "person.crop.circle";
        QTest::newRow("case") << "ipm.CONTACT.custom" << ItemKind::contact << "person.crop.circle";
        QTest::newRow("not a contact") << "IPM.Contacts" << ItemKind::mail << "envelope";
        QTest::newRow("appointment") << "IPM.Appointment" << ItemKind::appointment << "calendar";
        QTest::newRow("meeting request") << "IPM.Schedule.Meeting.Request" << ItemKind::meetingRequest << "calendar";
        QTest::newRow("meeting response") << "IPM.Schedule.Meeting.Resp.Pos" << ItemKind::meetingRequest << "calendar";
        QTest::newRow("task") << "IPM.Task" << ItemKind::task << "checklist";
        QTest::newRow("distribution list") << "IPM.DistList" << ItemKind::distributionList << "tablecells";
        QTest::newRow("note") << "IPM.StickyNote" << ItemKind::note << "note.text";
        QTest::newRow("delivery report") << "REPORT.IPM.Note.NDR" << ItemKind::report << "exclamationmark.octagon";
        QTest::newRow("read report") << "Report.IPM.Note.IPNRN" << ItemKind::report << "exclamationmark.octagon";
    }
    void kinds()
    {
        QFETCH(QString, messageClass);
        QFETCH(ItemKind, kind);
        QFETCH(QString, icon);
        QCOMPARE(itemKindFromClass(messageClass), kind);
        QCOMPARE(itemKindIconName(kind), icon);
        RawMessage raw;
        raw.properties.insert(Tag::messageClass, stored::text(messageClass));
        QCOMPARE(rules::messageRecord(raw).kind, kind);
    }

    void itemOfEachClass_data()
    {
        using rules::PropertySet;
        QTest::addColumn<RawMessage>("raw");
        QTest::addColumn<ItemKind>("kind");
        QTest::addColumn<QStringList>("fields");  // label=value, times in seconds since 1970
        const QDateTime start(QDate(2024, 5, 6), QTime(9, 30), Qt::UTC);
        const QDateTime end = start.addSecs(3600);
        const QString startText = QString::number(seconds(start), 'f', 0);
        const QString endText = QString::number(seconds(end), 'f', 0);

        const auto item = [](const char *messageClass) {
            return test::mail(QStringLiteral("Item")).set(Tag::messageClass, stored::text(QString::fromLatin1(messageClass)));
        };
        test::MessageBuilder contact = item("IPM.Contact");
        contact.set(0x3001, stored::text("Ann Lee"))
            .set(0x3A16, stored::text("Acme"))
            .set(0x3A08, stored::text("+49 30 1234"))
            .set(0x3A1C, stored::text("+49 170 5"))
            .set(0x3A15, stored::text("Hauptstr. 1, Berlin"));
        RawMessage contactRaw = contact.raw({1, {}});
        contactRaw.properties.insert(lid(PropertySet::address, 0x8083), stored::text("ann@acme.example"));
        QTest::newRow("contact") << contactRaw << ItemKind::contact
                                 << QStringList{"Name=Ann Lee", "Company=Acme", "E-mail=ann@acme.example",
                                                "Business phone=+49 30 1234", "Mobile phone=+49 170 5",
                                                "Address=Hauptstr. 1, Berlin"};

        RawMessage appointment = item("IPM.Appointment").from("Bob", "bob@x.example").to("Cy", "cy@x.example").raw({2, {}});
        appointment.properties.insert(lid(PropertySet::appointment, 0x820D), stored::time(start));
        appointment.properties.insert(lid(PropertySet::appointment, 0x820E), stored::time(end));
        appointment.properties.insert(lid(PropertySet::appointment, 0x8208), stored::text("Room 4"));
        appointment.properties.insert(lid(PropertySet::appointment, 0x8223), boolean(true));
        appointment.properties.insert(lid(PropertySet::appointment, 0x8232), stored::text("every Monday"));
        QTest::newRow("appointment") << appointment << ItemKind::appointment
                                     << QStringList{"Start=" + startText, "End=" + endText, "Location=Room 4",
                                                    "Organiser=Bob", "Attendees=Cy", "Recurrence=every Monday"};

        RawMessage meeting = item("IPM.Schedule.Meeting.Request").from("Bob", "bob@x.example").raw({3, {}});
        meeting.properties.insert(lid(PropertySet::appointment, 0x820D), stored::time(start));
        meeting.properties.insert(lid(PropertySet::appointment, 0x820E), stored::time(start.addDays(1)));
        meeting.properties.insert(lid(PropertySet::appointment, 0x8215), boolean(true));
        meeting.properties.insert(lid(PropertySet::appointment, 0x8223), boolean(true));
        QTest::newRow("meeting request, all day")
            << meeting << ItemKind::meetingRequest
            << QStringList{"Start date=" + startText, "End date=" + QString::number(seconds(start) + 86400, 'f', 0),
                           "All day=Yes", "Organiser=Bob", "Recurrence=Recurring"};

        RawMessage task = item("IPM.Task").raw({4, {}});
        task.properties.insert(lid(PropertySet::task, 0x8105), stored::time(end));
        task.properties.insert(lid(PropertySet::task, 0x8101), stored::int32(1));
        task.properties.insert(lid(PropertySet::task, 0x8102), float64(0.25));
        QTest::newRow("task") << task << ItemKind::task
                              << QStringList{"Due date=" + endText, "Status=In progress", "Complete=25 %"};

        RawMessage list = item("IPM.DistList").raw({5, {}});
        list.properties.insert(lid(PropertySet::address, 0x8053), stored::text("Team"));
        list.properties.insert(lid(PropertySet::address, 0x8054),
                               multipleBinary({oneOff("Ann", "ann@x.example"), QByteArray("junk"),
                                               oneOff("", "bob@x.example")}));
        QTest::newRow("distribution list") << list << ItemKind::distributionList
                                           << QStringList{"Name=Team", "Member=Ann <ann@x.example>",
                                                          "Member=bob@x.example"};

        QTest::newRow("note") << item("IPM.StickyNote").text("buy milk").raw({6, {}}) << ItemKind::note
                              << QStringList{};
        QTest::newRow("report") << item("REPORT.IPM.Note.NDR").text("could not deliver").raw({7, {}})
                                << ItemKind::report << QStringList{};
    }
    void itemOfEachClass()
    {
        QFETCH(RawMessage, raw);
        QFETCH(ItemKind, kind);
        QFETCH(QStringList, fields);
        const MailMessage record = rules::messageRecord(raw);
        QCOMPARE(record.kind, kind);
        QStringList shown;
        for (const ItemField &field : record.itemFields)
            shown.append(field.label + QLatin1Char('=')
                         + (field.time ? QString::number(*field.time, 'f', 0) : field.value));
        QCOMPARE(shown, fields);
        // Notes and reports show their text as the body.
        if (fields.isEmpty())
            QVERIFY(record.bodyText && !record.bodyText->isEmpty());
    }

    void oneOffMembersBounded_data()
    {
        QTest::addColumn<PropertyValue>("stored");
        QTest::addColumn<QStringList>("members");
        const QByteArray ann = oneOff("Ann", "a@x");
        QTest::newRow("whole") << multipleBinary({ann}) << QStringList{"Ann <a@x>"};
        QTest::newRow("cut in the address") << multipleBinary({ann.left(ann.size() - 3)}) << QStringList{};
        QTest::newRow("count beyond the bytes") << PropertyValue{0x1102, QByteArray::fromHex("ffffff7f00000000")}
                                                << QStringList{};
        QTest::newRow("offset beyond the bytes") << PropertyValue{0x1102, QByteArray::fromHex("01000000ff000000")}
                                                 << QStringList{};
        QTest::newRow("wrong type") << stored::binary(ann) << QStringList{};
        QTest::newRow("empty") << PropertyValue{0x1102, {}} << QStringList{};
    }
    void oneOffMembersBounded()
    {
        QFETCH(PropertyValue, stored);
        QFETCH(QStringList, members);
        QCOMPARE(rules::oneOffMembers(stored), members);
    }

    void attachmentNames_data()
    {
        QTest::addColumn<RawAttachment>("raw");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isMessage");
        const auto attachment = [](int index, std::initializer_list<std::pair<quint16, PropertyValue>> values) {
            RawAttachment raw;
            raw.index = index;
            for (const auto &[id, value] : values)
                raw.properties.insert(id, value);
            return raw;
        };
        RawAttachment message = attachment(3, {{Tag::attachMethod, stored::int32(5)}, {Tag::displayName, stored::text("x")}});
        message.embedded = std::make_shared<const RawMessage>(recordSource(QStringLiteral("\u0001\u0004RE: Plans")));
        QTest::newRow("attached message: its subject") << message << "RE: Plans" << true;
        RawAttachment untitled = message;
        untitled.embedded = std::make_shared<const RawMessage>();
        QTest::newRow("attached message without subject: display name") << untitled << "x" << true;
        QTest::newRow("ole: display name") << attachment(1, {{Tag::attachMethod, stored::int32(6)},
                                                             {Tag::displayName, stored::text("Picture (Device)")}})
                                           << "Picture (Device)" << false;
        QTest::newRow("file name first") << attachment(0, {{Tag::attachLongFilename, stored::text("a.pdf")},
                                                           {Tag::displayName, stored::text("A")}})
                                         << "a.pdf" << false;
        QTest::newRow("nothing: Anhang_n") << attachment(4, {}) << "Anhang_4" << false;
    }
    void attachmentNames()
    {
        QFETCH(RawAttachment, raw);
        QFETCH(QString, name);
        QFETCH(bool, isMessage);
        const Attachment record = rules::attachmentRecord(raw);
        QCOMPARE(record.filename, name);
        QCOMPARE(record.isMessage, isMessage);
        QCOMPARE(record.iconName() == QStringLiteral("envelope"), isMessage);
    }

    // A message three deep opens all the way down through the actor, each
    // level with its own subject, body and attachments; none saves as a file.
    void nestedMessagesOpen()
    {
        auto archive = std::make_shared<test::MemoryArchive>();
        const quint32 inbox = archive->addFolder(test::MemoryArchive::top, QStringLiteral("Inbox"));
        const auto third = test::mail("Third").text("deepest").attach("c.txt", "c");
        const auto second = test::mail("Second").text("middle").attachMessage(third);
        archive->addMessage(inbox, test::mail("First").text("top").attach("a.txt", "a").attachMessage(second));
        const QString path = m_dir.filePath(QStringLiteral("n.pst"));
        QVERIFY(test::touch(path));
        PSTActor actor(EngineChoice::libpff, test::memoryEngines({{QStringLiteral("n.pst"), archive}}));
        const auto opened = actor.openFile(QUrl::fromLocalFile(path)).result();
        QVERIFY(opened);
        const auto page = actor.loadMessages(opened.value().at(0), 0, 10).result();
        QVERIFY(page);
        MailMessage current = page.value().at(0);
        QStringList subjects{current.subject};
        QStringList bodies{current.bodyText.value_or(QString())};
        for (int depth = 0; depth < 2; ++depth) {
            const Attachment &chip = current.attachments.last();
            QVERIFY(chip.isMessage);
            const auto refused = actor.saveAttachment(chip, m_dir.filePath(QStringLiteral("m%1").arg(depth))).result();
            QVERIFY(!refused);
            QCOMPARE(refused.error().kind, AttachmentSaveError::Kind::readFailed);
            QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("m%1").arg(depth))));
            const auto inner = actor.openAttachedMessage(chip).result();
            QVERIFY(inner);
            current = inner.value();
            QVERIFY(!current.id.isNull());
            subjects.append(current.subject);
            bodies.append(current.bodyText.value_or(QString()));
        }
        QCOMPARE(subjects, QStringList({"First", "Second", "Third"}));
        QCOMPARE(bodies, QStringList({"top", "middle", "deepest"}));
        // The deepest message's file attachment saves.
        const QString saved = m_dir.filePath(QStringLiteral("c.txt"));
        const auto written = actor.saveAttachment(current.attachments.at(0), saved).result();
        QVERIFY(written);
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("c"));
        // A file attachment does not open as a message.
        QVERIFY(!actor.openAttachedMessage(page.value().at(0).attachments.at(0)).result());
    }

    // Corpus archives whose messages carry messages: every attached message
    // opens with its subject and a body, through the engine that reads the file.
    void corpusAttachedMessages_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("opened");  // "outer > inner: shown body"
        QTest::newRow("pstsdk_submessage")
            << "pstsdk_submessage.pst"
            << QStringList{"This is a message which has an embedded message attached > This is an embedded message: "
                           "html-from-rtf"};
        QTest::newRow("rubymsg_msgInMsg")
            << "rubymsg_msgInMsg.pst"
            << QStringList{QStringLiteral("I have attachments! > Microsoft Outlook テスト メッセージ: html-from-rtf")};
    }
    void corpusAttachedMessages()
    {
        OSTREL_REQUIRE_CORPUS();
        QFETCH(QString, file);
        QFETCH(QStringList, opened);
        PSTActor actor;
        const auto tree = actor.openFile(QUrl::fromLocalFile(test::corpusFile(file))).result();
        QVERIFY(tree);
        QStringList seen;
        std::function<void(const QList<MailFolder> &)> walk = [&](const QList<MailFolder> &folders) {
            for (const MailFolder &folder : folders) {
                const auto page = actor.loadMessages(folder, 0, 1000).result();
                QVERIFY(page);
                QList<MailMessage> pending = page.value();
                while (!pending.isEmpty()) {
                    const MailMessage outer = pending.takeFirst();
                    for (const Attachment &attachment : outer.attachments) {
                        if (!attachment.isMessage)
                            continue;
                        const auto inner = actor.openAttachedMessage(attachment).result();
                        QVERIFY(inner);
                        QCOMPARE(attachment.filename, inner.value().subject);
                        seen.append(QStringLiteral("%1 > %2: %3").arg(outer.subject, inner.value().subject,
                                                                      rawValue(inner.value().shownBody)));
                        pending.append(inner.value());
                    }
                }
                walk(folder.children);
            }
        };
        walk(tree.value());
        QCOMPARE(seen.join(QLatin1Char('|')), opened.join(QLatin1Char('|')));
    }

private:
    static RawMessage recordSource(const QString &subject)
    {
        RawMessage raw;
        raw.properties.insert(Tag::subject, stored::text(subject));
        return raw;
    }
};

QTEST_GUILESS_MAIN(TestItemRules)
#include "tst_itemrules.moc"
