#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace ostrel {

// The date of a message row: a time today, "Yesterday", a weekday within the
// last seven days, else a short date. now is taken when the label is made.
QString rowDateLabel(double date, const QDateTime &now = QDateTime::currentDateTime(),
                     const QLocale &locale = QLocale());

// The full date and short time of the detail header.
QString headerDateText(double date, const QLocale &locale = QLocale());

// Byte counts the way an attachment chip shows them: decimal kilobytes,
// megabytes or gigabytes only, with adaptive precision ("Zero KB", "84 KB", "2.4 MB").
QString fileSizeText(qint64 bytes, const QLocale &locale = QLocale());

// The From line: "Name <address>", the name, the address, or an em dash.
QString senderDisplay(const QString &sender, const QString &senderEmail);

// The message count under the list title.
QString messageCountText(qsizetype count);

// The result line of an active search.
QString searchResultsText(qsizetype count, const QString &searchText);

}  // namespace ostrel
