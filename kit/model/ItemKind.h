#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace ostrel {

// What an item of an archive is, from its message class. Anything the viewer
// does not know is shown as mail.
enum class ItemKind { mail, contact, appointment, meetingRequest, task, distributionList, note, report };

// "mail", "contact", "appointment", "meeting-request", "task",
// "distribution-list", "note" or "report".
QString rawValue(ItemKind kind);

// The kind for a stored message class ("IPM.Contact", "IPM.Appointment.X",
// "REPORT.IPM.Note.NDR", ...), compared without case.
ItemKind itemKindFromClass(const QString &messageClass);

// The symbol the message list shows for an item of this kind.
QString itemKindIconName(ItemKind kind);

// One labelled value a non-mail item shows ("Company", "Start", ...). The
// label is the English text; views translate it in the "ItemField" context,
// and the value too when it is one of the viewer's own words ("Yes", "In
// progress"). A time is kept as an instant for views to format.
struct ItemField {
    QString label;
    QString value;
    std::optional<double> time{};  // seconds since 1970, for times and dates
    bool ownWords = false;         // value is the viewer's text, not the archive's

    friend bool operator==(const ItemField &, const ItemField &) = default;
};

// Which body the detail view shows, in the order it is looked for.
enum class ShownBody { html, htmlFromRtf, text, textFromRtf, none };

// "html", "html-from-rtf", "text", "text-from-rtf" or "none".
QString rawValue(ShownBody body);

}  // namespace ostrel
