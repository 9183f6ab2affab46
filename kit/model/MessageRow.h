#pragma once

#include "model/MailMessage.h"

#include <QString>
#include <QUuid>

#include <bit>
#include <cmath>
#include <limits>

namespace ostrel {

// One message as a folder's list shows it: light enough to hold every row of
// a large folder. id is minted by the reader and reads the whole message
// again; storageIndex is the row's position in the folder's own order.
struct MessageRow {
    QUuid id;
    qint64 storageIndex = 0;
    QString subject;
    QString senderName;
    QString senderEmail;
    double date = 0;  // seconds since 1970-01-01 00:00:00 UTC; 0: the message has no date
    bool isRead = true;
    MessageImportance importance = MessageImportance::normal;
    bool hasAttachments = false;
    QString messageClass;
    qint64 size = 0;
    QString displayTo;
    QString displayCc;

    friend bool operator==(const MessageRow &, const MessageRow &) = default;

    // The sender as one line: the name, else the address.
    QString sender() const { return senderName.isEmpty() ? senderEmail : senderName; }
};

}  // namespace ostrel

// Every member moves as its bytes: a list of rows grows and merges without
// running constructors.
Q_DECLARE_TYPEINFO(ostrel::MessageRow, Q_RELOCATABLE_TYPE);

namespace ostrel {

// A row's date as a number that orders rows newest first: a date before
// 1970 is still a date, and comes before a row without one.
inline quint64 newestFirstKey(double date)
{
    if (date == 0 || std::isnan(date))  // no date; -0 too
        return std::numeric_limits<quint64>::max();
    // The bits of a double order like the number once the sign is folded
    // in; only a NaN would map to the largest key.
    const auto bits = std::bit_cast<quint64>(date);
    constexpr quint64 kSign = quint64(1) << 63;
    const quint64 ascending = (bits & kSign) ? ~bits : bits | kSign;
    return ~ascending;
}

// List order: newest first, a row without a date last, equal dates in
// storage order.
inline bool listsBefore(const MessageRow &a, const MessageRow &b)
{
    const quint64 ka = newestFirstKey(a.date);
    const quint64 kb = newestFirstKey(b.date);
    if (ka != kb)
        return ka < kb;
    return a.storageIndex < b.storageIndex;
}

// Makes room for n rows. A large list asks the system for huge pages where
// it has them: touching tens of megabytes of new rows page by page costs
// more than building them.
void reserveRows(QList<MessageRow> &rows, qsizetype n);

// Puts rows in list order. The keys are sorted, not the rows: each row then
// moves once rather than at every step of the sort. Rows in storage order
// (as a listing makes them) are sorted by their dates a byte at a time,
// which keeps equal dates in storage order.
void sortRows(QList<MessageRow> &rows);

// Lets rows go. Rows of one listing are freed in the order they were made,
// which is where their texts lie on the heap.
void freeRows(QList<MessageRow> &&rows);

}  // namespace ostrel
