#pragma once

// The fields a non-mail item shows beside its body: a contact's name,
// company, addresses and numbers; an appointment's or meeting request's
// times, place, organiser and attendees; a task's due date, status and
// progress; a distribution list's members. Read from the stored values, as
// the other record rules are.

#include "model/ItemKind.h"
#include "pst/engine/RawValues.h"

namespace ostrel::rules {

// The property sets the item fields live in.
struct PropertySet {
    static const QUuid appointment;  // PSETID_Appointment
    static const QUuid task;         // PSETID_Task
    static const QUuid address;      // PSETID_Address
};

// The members of a distribution list's one-off entry ids, as "Name <address>"
// (or what of the two is there). Damaged entries are skipped; at most
// maxMembers are read.
QStringList oneOffMembers(const PropertyValue &stored, qsizetype maxMembers = 10'000);

// The fields shown for an item of this kind (none for mail and reports,
// whose body says it all).
QList<ItemField> itemFields(ItemKind kind, const RawMessage &message);

}  // namespace ostrel::rules
