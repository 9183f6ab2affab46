#pragma once

#include <QList>

namespace ostrel {

// The properties a folder's list shows of each message.
struct RowColumn {
    static constexpr quint16 importance = 0x0017;
    static constexpr quint16 messageClass = 0x001A;
    static constexpr quint16 subject = 0x0037;
    static constexpr quint16 submitTime = 0x0039;
    static constexpr quint16 sentRepresentingName = 0x0042;
    static constexpr quint16 senderName = 0x0C1A;
    static constexpr quint16 senderAddressType = 0x0C1E;
    static constexpr quint16 senderEmail = 0x0C1F;
    static constexpr quint16 displayCc = 0x0E03;
    static constexpr quint16 displayTo = 0x0E04;
    static constexpr quint16 deliveryTime = 0x0E06;
    static constexpr quint16 messageFlags = 0x0E07;
    static constexpr quint16 messageSize = 0x0E08;
    static constexpr quint16 hasAttachments = 0x0E1B;
    static constexpr quint16 creationTime = 0x3007;
    static constexpr quint16 senderSmtpAddress = 0x5D01;
    static constexpr quint16 sentRepresentingSmtpAddress = 0x5D02;
};

// The columns an Outlook contents table holds: where a folder's table lacks
// one, the engine reads it from the message.
inline QList<quint16> rowColumns()
{
    return {RowColumn::importance,   RowColumn::messageClass, RowColumn::subject,
            RowColumn::submitTime,   RowColumn::sentRepresentingName, RowColumn::displayCc,
            RowColumn::displayTo,    RowColumn::deliveryTime, RowColumn::messageFlags,
            RowColumn::messageSize};
}

// Columns a row carries when the table has them, never read from the
// message for a row (that would read every message of the folder).
inline QList<quint16> optionalRowColumns()
{
    return {RowColumn::senderName,        RowColumn::senderAddressType, RowColumn::senderEmail,
            RowColumn::hasAttachments,    RowColumn::creationTime,      RowColumn::senderSmtpAddress,
            RowColumn::sentRepresentingSmtpAddress};
}

}  // namespace ostrel
