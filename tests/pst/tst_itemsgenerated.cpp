// Items the archive writer makes, read by both engines: a message nested
// three deep opens all the way down, one item of each class shows as what it
// is, RTF and code-page bodies show the body they carry, headers come along.
#include "ArchiveBuilder.h"
#include "TestSupport.h"
#include "pst/PSTActor.h"

#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
namespace pw = ostrel::pstwriter;

Q_DECLARE_METATYPE(ostrel::EngineChoice)

namespace {
const QDateTime kStart(QDate(2024, 5, 6), QTime(9, 30), Qt::UTC);

pw::Message item(const QString &messageClass, const QString &subject)
{
    pw::Message message;
    message.messageClass = messageClass;
    message.subject = subject;
    message.deliveryTime = kStart;
    return message;
}

pw::ExtraProperty named(const QUuid &set, quint32 id, quint16 type, const QVariant &value)
{
    return pw::ExtraProperty::make(pw::PropertyKey(pw::PropertyName::numbered(set, id)), type, value);
}

QString fields(const MailMessage &message)
{
    QStringList shown;
    for (const ItemField &field : message.itemFields)
        shown << field.label + QLatin1Char('=') + (field.time ? QString::number(*field.time, 'f', 0) : field.value);
    return shown.join(QLatin1Char('|'));
}
}  // namespace

class TestItemsGenerated : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("items.pst"));
        pw::ArchiveBuilder b;
        QVERIFY2(b.open(m_path), qPrintable(b.errorString()));
        const pw::FolderId inbox = b.addFolder(b.ipmSubtree(), QStringLiteral("Posteingang"));

        pw::Message third = item(QStringLiteral("IPM.Note"), QStringLiteral("Third"));
        third.body = QStringLiteral("deepest");
        pw::Attachment file;
        file.longFileName = QStringLiteral("c.txt");
        file.data = QByteArray("c");
        third.addAttachment(file);
        pw::Message second = item(QStringLiteral("IPM.Note"), QStringLiteral("Second"));
        second.body = QStringLiteral("middle");
        pw::Attachment holdsThird;
        holdsThird.embedded = std::make_shared<const pw::Message>(third);
        second.addAttachment(holdsThird);
        pw::Message first = item(QStringLiteral("IPM.Note"), QStringLiteral("First"));
        first.body = QStringLiteral("top");
        first.transportHeaders = QStringLiteral("Received: from mx.example\r\n");
        pw::Attachment holdsSecond;
        holdsSecond.embedded = std::make_shared<const pw::Message>(second);
        first.addAttachment(holdsSecond);
        b.addMessage(inbox, first);

        pw::Message contact = item(QStringLiteral("IPM.Contact"), QStringLiteral("Ann Lee"));
        contact.properties << pw::ExtraProperty::make(pw::PropertyKey(0x3001), pw::PtUnicode, QStringLiteral("Ann Lee"))
                           << pw::ExtraProperty::make(pw::PropertyKey(0x3A16), pw::PtUnicode, QStringLiteral("Acme"))
                           << named(pw::propertySet::address(), 0x8083, pw::PtUnicode, QStringLiteral("ann@acme.example"));
        b.addMessage(inbox, contact);

        pw::Message appointment = item(QStringLiteral("IPM.Appointment"), QStringLiteral("Review"));
        appointment.senderName = QStringLiteral("Bob");
        appointment.properties << named(pw::propertySet::appointment(), 0x820D, pw::PtTime, kStart)
                               << named(pw::propertySet::appointment(), 0x820E, pw::PtTime, kStart.addSecs(3600))
                               << named(pw::propertySet::appointment(), 0x8208, pw::PtUnicode, QStringLiteral("Raum 4"));
        b.addMessage(inbox, appointment);

        pw::Message task = item(QStringLiteral("IPM.Task"), QStringLiteral("Report"));
        task.properties << named(pw::propertySet::task(), 0x8105, pw::PtTime, kStart)
                        << named(pw::propertySet::task(), 0x8101, pw::PtInt32, 2)
                        << named(pw::propertySet::task(), 0x8102, pw::PtDouble, 1.0);
        b.addMessage(inbox, task);

        pw::Message note = item(QStringLiteral("IPM.StickyNote"), QStringLiteral("Milk"));
        note.body = QStringLiteral("buy milk");
        b.addMessage(inbox, note);

        pw::Message report = item(QStringLiteral("REPORT.IPM.Note.NDR"), QStringLiteral("Undeliverable"));
        report.body = QStringLiteral("could not deliver");
        b.addMessage(inbox, report);

        pw::Message rtfOnly = item(QStringLiteral("IPM.Note"), QStringLiteral("RTF only"));
        rtfOnly.rtf = QByteArray("{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 {\\*\\htmltag <p>}Gr\\'fc\\'dfe{\\*\\htmltag </p>}}");
        b.addMessage(inbox, rtfOnly);

        pw::Message cyrillic = item(QStringLiteral("IPM.Note"), QStringLiteral("Cyrillic"));
        cyrillic.html = QByteArray::fromHex("3c703ecff0e8e2e5f23c2f703e");  // <p>Привет</p> in 1251
        cyrillic.htmlCodepage = 1251;
        b.addMessage(inbox, cyrillic);
        QVERIFY2(b.finish(), qPrintable(b.errorString()));
    }

    void itemsShowAsWhatTheyAre_data()
    {
        QTest::addColumn<EngineChoice>("engine");
        QTest::newRow("native") << EngineChoice::native;
        QTest::newRow("libpff") << EngineChoice::libpff;
    }
    void itemsShowAsWhatTheyAre()
    {
        QFETCH(EngineChoice, engine);
        PSTActor actor(engine);
        const auto tree = actor.openFile(QUrl::fromLocalFile(m_path)).result();
        QVERIFY(tree);
        const MailFolder *inbox = nullptr;
        for (const MailFolder &folder : tree.value()) {
            for (const MailFolder &child : folder.children) {
                if (child.name == QLatin1String("Posteingang"))
                    inbox = &child;
            }
            if (folder.name == QLatin1String("Posteingang"))
                inbox = &folder;
        }
        QVERIFY(inbox);
        const auto page = actor.loadMessages(*inbox, 0, 100).result();
        QVERIFY(page);
        QStringList shown;
        for (const MailMessage &message : page.value())
            shown << QStringLiteral("%1: %2 %3 %4").arg(message.subject, rawValue(message.kind),
                                                      rawValue(message.shownBody), fields(message));
        const QString start = QString::number(kStart.toSecsSinceEpoch());
        const QString end = QString::number(kStart.addSecs(3600).toSecsSinceEpoch());
        QCOMPARE(shown, (QStringList{
                            "First: mail text ",
                            "Ann Lee: contact none Name=Ann Lee|Company=Acme|E-mail=ann@acme.example",
                            "Review: appointment none Start=" + start + "|End=" + end + "|Location=Raum 4|Organiser=Bob",
                            "Report: task none Due date=" + start + "|Status=Completed|Complete=100 %",
                            "Milk: note text ",
                            "Undeliverable: report text ",
                            "RTF only: mail html-from-rtf ",
                            "Cyrillic: mail html ",
                        }));
        QCOMPARE(page.value().at(0).transportHeaders, std::optional<QString>("Received: from mx.example\r\n"));
        QCOMPARE(page.value().at(6).bodyHTML, std::optional<QString>(QStringLiteral("<p>Grüße</p>")));
        QCOMPARE(page.value().at(7).bodyHTML, std::optional<QString>(QStringLiteral("<p>Привет</p>")));

        // Three deep, all the way down; no level saves as a file.
        MailMessage current = page.value().at(0);
        QStringList levels{current.subject + QLatin1Char('/') + current.bodyText.value_or(QString())};
        while (!current.attachments.isEmpty() && current.attachments.last().isMessage) {
            const Attachment chip = current.attachments.last();
            QVERIFY(!actor.saveAttachment(chip, m_dir.filePath(QStringLiteral("never"))).result());
            const auto inner = actor.openAttachedMessage(chip).result();
            QVERIFY(inner);
            QCOMPARE(chip.filename, inner.value().subject);
            current = inner.value();
            levels << current.subject + QLatin1Char('/') + current.bodyText.value_or(QString());
        }
        // Known difference: libpff gives a message attached to an attached
        // message no attachments (a count of 0, no error), so the third level
        // cannot be reached through it; the native engine reads it.
        if (engine == EngineChoice::libpff)
            QEXPECT_FAIL("", "libpff counts no attachments in an attached message's attached message", Abort);
        QCOMPARE(levels, QStringList({"First/top", "Second/middle", "Third/deepest"}));
        QCOMPARE(current.attachments.size(), 1);
        QCOMPARE(current.attachments.at(0).filename, QStringLiteral("c.txt"));
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("never"))));
    }
};

QTEST_GUILESS_MAIN(TestItemsGenerated)
#include "tst_itemsgenerated.moc"
