#include "SampleItems.h"

#include "Bytes.h"
#include "PropertyIds.h"

#include <array>

namespace ostrel::pstwriter {

namespace {

const std::array<const char *, 8> kGiven{"Anna", "Ben", "Clara", "David", "Elif", "Felix", "Greta", "Jonas"};
const std::array<const char *, 8> kFamily{"Becker", "Chen", "Dubois", "Fischer", "García", "Hoffmann", "Novak", "Okafor"};
const std::array<const char *, 4> kCompanies{"Northwind Studio", "Contoso Ltd", "Fabrikam GmbH", "Tailspin Toys"};

ExtraProperty named(const QUuid &set, quint32 lid, quint16 type, const QVariant &value)
{
    return ExtraProperty::make(PropertyName::numbered(set, lid), type, value);
}

ExtraProperty tagged(quint16 id, quint16 type, const QVariant &value)
{
    return ExtraProperty::make(id, type, value);
}

QString person(int n)
{
    return QString::fromUtf8(kGiven[size_t(n) % kGiven.size()]) + QLatin1Char(' ')
           + QString::fromUtf8(kFamily[size_t(n / 3) % kFamily.size()]);
}

QString address(int n)
{
    return QString::fromUtf8(kGiven[size_t(n) % kGiven.size()]).toLower() + QStringLiteral(".%1@example.org").arg(n);
}

}  // namespace

QString itemKindName(ItemKind kind)
{
    switch (kind) {
    case ItemKind::Contact:
        return QStringLiteral("contact");
    case ItemKind::Appointment:
        return QStringLiteral("appointment");
    case ItemKind::MeetingRequest:
        return QStringLiteral("meetingRequest");
    case ItemKind::Task:
        return QStringLiteral("task");
    case ItemKind::DistributionList:
        return QStringLiteral("distributionList");
    case ItemKind::StickyNote:
        return QStringLiteral("stickyNote");
    case ItemKind::NonDeliveryReport:
        return QStringLiteral("nonDeliveryReport");
    }
    return {};
}

QByteArray oneOffEntryId(const QString &name, const QString &addressType, const QString &address)
{
    QByteArray id(4, '\0');
    id += QByteArray::fromHex("812b1fa4bea310199d6e00dd010f5402");
    bytes::add16(id, 0);       // version
    bytes::add16(id, 0x8001);  // Unicode strings, no rich text
    for (const QString &s : {name, addressType, address}) {
        for (const QChar c : s)
            bytes::add16(id, c.unicode());
        bytes::add16(id, 0);
    }
    return id;
}

Message sampleItem(ItemKind kind, int n, const QDateTime &when)
{
    Message m;
    m.deliveryTime = when;
    m.senderName = person(n + 1);
    m.senderEmail = address(n + 1);
    m.importance = Importance::Normal;
    switch (kind) {
    case ItemKind::Contact: {
        const QString given = QString::fromUtf8(kGiven[size_t(n) % kGiven.size()]);
        const QString family = QString::fromUtf8(kFamily[size_t(n / 3) % kFamily.size()]);
        const QString mail = address(n);
        m.messageClass = QStringLiteral("IPM.Contact");
        m.subject = given + QLatin1Char(' ') + family;
        m.senderName.reset();
        m.senderEmail.reset();
        m.body = QStringLiteral("Met at the spring fair.");
        m.properties = {
            tagged(PidDisplayName, PtUnicode, *m.subject),
            tagged(0x3A06, PtUnicode, given),   // given name
            tagged(0x3A11, PtUnicode, family),  // surname
            tagged(0x3A16, PtUnicode, QString::fromLatin1(kCompanies[size_t(n) % kCompanies.size()])),
            tagged(0x3A17, PtUnicode, QStringLiteral("Project lead")),      // title
            tagged(0x3A08, PtUnicode, QStringLiteral("+49 30 1234 %1").arg(100 + n)),  // business phone
            tagged(0x3A1C, PtUnicode, QStringLiteral("+49 170 555 %1").arg(1000 + n)), // mobile phone
            tagged(0x3A09, PtUnicode, QStringLiteral("+49 30 9876 %1").arg(200 + n)),  // home phone
            named(propertySet::address(), 0x8005, PtUnicode, family + QStringLiteral(", ") + given),  // file under
            named(propertySet::address(), 0x8080, PtUnicode, QStringLiteral("%1 (%2)").arg(*m.subject, mail)),
            named(propertySet::address(), 0x8082, PtUnicode, QStringLiteral("SMTP")),
            named(propertySet::address(), 0x8083, PtUnicode, mail),  // e-mail 1
            named(propertySet::address(), 0x8093, PtUnicode, QStringLiteral("private.%1@example.net").arg(n)),
            named(propertySet::address(), 0x8045, PtUnicode, QStringLiteral("Hafenstraße %1").arg(n + 1)),
            named(propertySet::address(), 0x8046, PtUnicode, QStringLiteral("Hamburg")),
            named(propertySet::address(), 0x8048, PtUnicode, QStringLiteral("20457")),
            named(propertySet::address(), 0x8049, PtUnicode, QStringLiteral("Germany")),
        };
        break;
    }
    case ItemKind::Appointment:
    case ItemKind::MeetingRequest: {
        const bool meeting = kind == ItemKind::MeetingRequest;
        const bool allDay = !meeting && n % 4 == 2;
        const bool recurring = !meeting && n % 2 == 1;
        const QDateTime start = allDay ? QDateTime(when.date(), QTime(0, 0), Qt::UTC) : when;
        const QDateTime end = allDay ? start.addDays(1) : start.addSecs(3600);
        m.messageClass = meeting ? QStringLiteral("IPM.Schedule.Meeting.Request") : QStringLiteral("IPM.Appointment");
        m.subject = meeting ? QStringLiteral("Design review %1").arg(n) : QStringLiteral("Dentist %1").arg(n);
        m.body = QStringLiteral("Please bring the printed drafts.");
        const QString location = meeting ? QStringLiteral("Room 4.12") : QStringLiteral("Praxis am Markt");
        m.properties = {
            named(propertySet::appointment(), 0x820D, PtTime, start),     // start
            named(propertySet::appointment(), 0x820E, PtTime, end),       // end
            named(propertySet::appointment(), 0x8208, PtUnicode, location),
            named(propertySet::appointment(), 0x8215, PtBool, allDay),    // all day
            named(propertySet::appointment(), 0x8205, PtInt32, 2),        // busy
            named(propertySet::appointment(), 0x8213, PtInt32, allDay ? 1440 : 60),  // minutes
            named(propertySet::appointment(), 0x8223, PtBool, recurring),
            named(propertySet::common(), 0x8516, PtTime, start),
            named(propertySet::common(), 0x8517, PtTime, end),
        };
        if (recurring)
            m.properties.append(named(propertySet::appointment(), 0x8232, PtUnicode,
                                      QStringLiteral("every Monday from 09:00 to 10:00")));
        if (meeting) {
            m.addRecipient({person(n + 2), address(n + 2), {}, {}, RecipientType::To});
            m.addRecipient({person(n + 3), address(n + 3), {}, {}, RecipientType::Cc});
            m.addRecipient({QStringLiteral("Room 4.12"), QStringLiteral("room412@example.org"), {}, {},
                            RecipientType::Bcc});
        }
        break;
    }
    case ItemKind::Task: {
        const int status = n % 3 == 0 ? 2 : 1;  // complete or in progress
        m.messageClass = QStringLiteral("IPM.Task");
        m.subject = QStringLiteral("Send the quarterly figures %1").arg(n);
        m.body = QStringLiteral("Numbers from finance first.");
        m.properties = {
            named(propertySet::task(), 0x8104, PtTime, when),               // start
            named(propertySet::task(), 0x8105, PtTime, when.addDays(7)),    // due
            named(propertySet::task(), 0x8101, PtInt32, status),
            named(propertySet::task(), 0x8102, PtDouble, status == 2 ? 1.0 : 0.25 * (n % 4)),  // percent
            named(propertySet::task(), 0x811C, PtBool, status == 2),        // complete
        };
        break;
    }
    case ItemKind::DistributionList: {
        m.messageClass = QStringLiteral("IPM.DistList");
        m.subject = QStringLiteral("Project team %1").arg(n);
        m.senderName.reset();
        m.senderEmail.reset();
        QVariantList members;
        for (int k = 0; k < 3; ++k)
            members.append(oneOffEntryId(person(n + k), QStringLiteral("SMTP"), address(n + k)));
        m.properties = {
            tagged(PidDisplayName, PtUnicode, *m.subject),
            named(propertySet::address(), 0x8053, PtUnicode, *m.subject),  // list name
            named(propertySet::address(), 0x8054, quint16(PtBinary | PtMultiple), members),  // one-off members
            named(propertySet::address(), 0x8055, quint16(PtBinary | PtMultiple), members),  // members
        };
        break;
    }
    case ItemKind::StickyNote:
        m.messageClass = QStringLiteral("IPM.StickyNote");
        m.subject = QStringLiteral("Call the printer");
        m.body = QStringLiteral("Call the printer\r\nabout the proofs, before noon.");
        m.senderName.reset();
        m.senderEmail.reset();
        m.properties = {
            named(propertySet::note(), 0x8B00, PtInt32, 3),    // yellow
            named(propertySet::note(), 0x8B02, PtInt32, 200),  // width
            named(propertySet::note(), 0x8B03, PtInt32, 166),  // height
        };
        break;
    case ItemKind::NonDeliveryReport:
        m.messageClass = QStringLiteral("REPORT.IPM.Note.NDR");
        m.subject = QStringLiteral("Undeliverable: Quarterly report %1").arg(n);
        m.senderName = QStringLiteral("Mail Delivery System");
        m.senderEmail = QStringLiteral("mailer-daemon@example.org");
        m.body = QStringLiteral("Your message did not reach some or all of the intended recipients.\r\n\r\n"
                                "      Subject:  Quarterly report %1\r\n\r\n"
                                "The following recipient(s) cannot be reached:\r\n\r\n"
                                "      nobody@example.invalid: 550 5.1.1 User unknown\r\n")
                     .arg(n);
        m.addRecipient({QStringLiteral("nobody@example.invalid"), QStringLiteral("nobody@example.invalid"), {}, {},
                        RecipientType::To});
        m.properties = {tagged(0x0049, PtUnicode, QStringLiteral("Quarterly report %1").arg(n))};  // original subject
        break;
    }
    return m;
}

}  // namespace ostrel::pstwriter
