#pragma once

#include "Message.h"

#include <QDateTime>

namespace ostrel::pstwriter {

// Items that are not mail, with the properties their kind is read by
// (message class, named properties of the contact, calendar and task
// property sets, recipients as attendees or members).
enum class ItemKind {
    Contact,             // IPM.Contact
    Appointment,         // IPM.Appointment, weekly recurring when `n` is odd
    MeetingRequest,      // IPM.Schedule.Meeting.Request
    Task,                // IPM.Task
    DistributionList,    // IPM.DistList
    StickyNote,          // IPM.StickyNote
    NonDeliveryReport,   // REPORT.IPM.Note.NDR
};
constexpr int kItemKinds = 7;

// The `n`-th sample of a kind; `when` anchors its times.
Message sampleItem(ItemKind kind, int n, const QDateTime &when);
QString itemKindName(ItemKind kind);

// A one-off entry id (a recipient outside any address book), as
// distribution lists name their members.
QByteArray oneOffEntryId(const QString &name, const QString &addressType, const QString &address);

}  // namespace ostrel::pstwriter
