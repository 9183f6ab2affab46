#include "ScreenshotSamples.h"

#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace ostrel {

namespace {

// Five invented people; person 1 sends the message shown in the detail column.
struct Person {
    const char16_t *given;
    const char16_t *family;
};
constexpr Person people[] = {
    {u"Clara", u"Lindqvist"},
    {u"Marcus", u"Okonkwo"},
    {u"Helena", u"Brandt"},
    {u"Tobias", u"Reyes"},
    {u"Priya", u"Vandermeer"},
};

QString fullName(int person)
{
    const Person &p = people[person - 1];
    return QString::fromUtf16(p.given) + u' ' + QString::fromUtf16(p.family);
}

SidebarFolder folder(const char *name, const char *icon, qint64 count, qint64 unread, int depth)
{
    return SidebarFolder{QUuid::createUuid(), QString::fromUtf8(name), QString::fromUtf8(icon), count, unread, depth};
}

SampleMessage message(const QString &subject, const QString &sender, const QString &preview, const char *dateLabel,
                      bool isRead, bool hasAttachment, bool importanceHigh)
{
    return SampleMessage{QUuid::createUuid(), subject,        sender,        preview, QString::fromUtf8(dateLabel),
                         isRead,              hasAttachment, importanceHigh};
}

}  // namespace

QList<SidebarFolder> sampleFolders()
{
    return {
        folder("Inbox", "tray", 42, 3, 0),
        folder("Sent", "paperplane", 128, 0, 0),
        folder("Drafts", "doc", 4, 0, 0),
        folder("Archive", "archivebox", 0, 0, 0),
        folder("2024", "archivebox", 312, 1, 1),
        folder("2023", "archivebox", 580, 0, 1),
        folder("Deleted Items", "trash", 17, 0, 0),
        folder("Junk Email", "exclamationmark.octagon", 8, 8, 0),
    };
}

QList<SampleMessage> sampleMessages()
{
    return {
        message(u"Q1 2026 Quarterly Report"_s, fullName(1), u"Attached is the quarterly report for Q1 2026."_s,
                "14:23", false, true, true),
        message(u"Re: Project Phoenix \u2013 Status"_s, fullName(2),
                u"Quick status update on the Phoenix project."_s, "11:04", false, false, false),
        message(u"Weekly Update"_s, u"Newsletter"_s,
                u"This week in the industry \u2014 five things you should know about."_s, "Yesterday", false, false,
                false),
        message(u"Meeting moved to Thursday"_s, fullName(3), u"Hi, the strategy meeting is moved to Thursday 10am."_s,
                "Mon", true, false, false),
        message(u"Invitation: Strategy Workshop"_s, fullName(4),
                u"You're invited to the strategy workshop next month."_s, "Sun", true, true, false),
        message(u"Invoice No. 2026-0142"_s, fullName(5), u"Attached is invoice 2026-0142, due in 14 days."_s, "Sat",
                true, true, false),
        message(u"Question about your offer"_s, fullName(3), u"Hi, I had a question about the proposal you sent."_s,
                "Apr 30", true, false, false),
        message(u"Server maintenance over the weekend"_s, u"IT Support"_s,
                u"Planned maintenance window: Saturday 22:00 \u2013 Sunday 02:00."_s, "Apr 29", true, false, false),
        message(u"Draft contract for review"_s, fullName(2), u"Please review the attached contract draft."_s,
                "Apr 27", true, true, false),
        message(u"Vacation planning 2026"_s, fullName(3), u"Could you let me know your vacation plans for 2026?"_s,
                "Apr 23", true, false, false),
    };
}

DetailMessage sampleDetail()
{
    const QStringList body = {
        u"Hi,"_s,
        QString(),
        u"Attached is the quarterly report for Q1 2026. Please review by Friday."_s,
        QString(),
        u"Highlights:"_s,
        u"\u2022 Revenue: +12% versus Q4 2025"_s,
        u"\u2022 Three new enterprise customers signed"_s,
        u"\u2022 Successful product launch in DACH region"_s,
        u"\u2022 NPS up by 6 points to 47"_s,
        QString(),
        u"Let me know if anything stands out and we can discuss in our 1:1 on"_s,
        u"Thursday."_s,
        QString(),
        u"Best regards,"_s,
        QString::fromUtf16(people[0].given),
    };
    return DetailMessage{
        u"Q1 2026 Quarterly Report"_s,
        fullName(1) + u" <clara.lindqvist@northwind.example>"_s,
        u"jordan.hale@northwind.example"_s,
        u"m.castellano@northwind.example"_s,
        u"Thursday, May 7, 2026 at 14:23"_s,
        true,
        body.join(u'\n'),
        {
            DetailAttachment{QUuid::createUuid(), u"Q1_2026_Report.pdf"_s, u"doc.richtext"_s, u"2.4 MB"_s},
            DetailAttachment{QUuid::createUuid(), u"Numbers.xlsx"_s, u"tablecells"_s, u"84 KB"_s},
            DetailAttachment{QUuid::createUuid(), u"Charts.png"_s, u"photo"_s, u"612 KB"_s},
            DetailAttachment{QUuid::createUuid(), u"Re: Q4 figures"_s, u"envelope"_s, u"18 KB"_s},
        },
        QString(),
        {},
        QString(),
        true,
    };
}

DetailMessage sampleMeetingDetail()
{
    const QStringList body = {
        u"Let's walk through the Q1 numbers and agree on the plan for Q2."_s,
        QString(),
        u"The forwarded thread has the background."_s,
    };
    return DetailMessage{
        u"Q2 planning review"_s,
        fullName(1) + u" <clara.lindqvist@northwind.example>"_s,
        u"jordan.hale@northwind.example"_s,
        std::nullopt,
        u"Monday, May 4, 2026 at 09:12"_s,
        false,
        body.join(u'\n'),
        {
            DetailAttachment{QUuid::createUuid(), u"Re: Q1 numbers"_s, u"envelope"_s, u"24 KB"_s},
            DetailAttachment{QUuid::createUuid(), u"Agenda"_s, u"envelope"_s, u"6 KB"_s},
        },
        u"Meeting request"_s,
        {
            {u"Start"_s, u"Tuesday, May 12, 2026 at 10:00"_s},
            {u"End"_s, u"Tuesday, May 12, 2026 at 11:30"_s},
            {u"Location"_s, u"Room Skagen, 3rd floor"_s},
            {u"Organiser"_s, fullName(1)},
            {u"Attendees"_s, fullName(2) + u", "_s + fullName(4)},
        },
        u"Could not be read: attached message \"Agenda\" (message: attached messages nested deeper than 16)"_s,
        false,
    };
}

QList<SampleMessage> matchingSampleMessages(const QList<SampleMessage> &messages, const QString &searchText)
{
    const QString needle = searchText.toLower();
    QList<SampleMessage> result;
    for (const SampleMessage &m : messages) {
        if (m.subject.toLower().contains(needle) || m.preview.toLower().contains(needle))
            result.append(m);
    }
    return result;
}

}  // namespace ostrel
