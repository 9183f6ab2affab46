#pragma once

#include "model/MailMessage.h"

#include <QLocale>
#include <QString>

namespace ostrel {

// What the detail view says of an item beyond mail, in the user's language.

// "Contact", "Appointment", ...; empty for mail.
QString itemKindTitle(ItemKind kind);

// A field's label and its value as shown: times with date and hour, dates
// (a date label, or an all-day item) with the date only.
QString itemFieldLabel(const ItemField &field);
QString itemFieldValue(const ItemField &field, const QLocale &locale = QLocale());

// The one quiet line naming what of a message could not be read
// ("Could not be read: recipients, attachments"), or empty; a message that
// could not be read at all says so and why.
QString unreadableLine(const MailMessage &message);

}  // namespace ostrel
