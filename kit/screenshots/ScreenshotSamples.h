#pragma once

#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

namespace ostrel {

// The built-in sample data the pictures show. Names and addresses are invented.

struct SidebarFolder {
    QUuid id;
    QString name;
    QString icon;  // symbol name
    qint64 count = 0;
    qint64 unread = 0;
    int depth = 0;  // 0 = top level
};

struct SampleMessage {
    QUuid id;
    QString subject;
    QString sender;
    QString preview;
    QString dateLabel;
    bool isRead = false;
    bool hasAttachment = false;
    bool importanceHigh = false;
};

struct DetailAttachment {
    QUuid id;
    QString filename;
    QString icon;  // symbol name
    QString size;  // already formatted
};

struct DetailMessage {
    QString subject;
    QString from;
    QString to;
    std::optional<QString> cc;
    QString dateLabel;
    bool importanceHigh = false;
    QString body;
    QList<DetailAttachment> attachments;
    // What the item is when it is not mail ("Meeting request"), else empty.
    QString kind{};
    // The item's own fields, shown as header rows after the date.
    QList<std::pair<QString, QString>> fields{};
    // The quiet line naming what could not be read, else empty.
    QString unreadable{};
    // Whether the message kept its internet headers (the Show Headers action).
    bool hasHeaders = false;
};

// Each call builds fresh records with fresh ids.
QList<SidebarFolder> sampleFolders();
QList<SampleMessage> sampleMessages();
DetailMessage sampleDetail();
// A meeting request with its fields, an attached message and one that could
// not be read.
DetailMessage sampleMeetingDetail();

// The messages, in order, whose subject or preview contains the search text,
// compared in lower case.
QList<SampleMessage> matchingSampleMessages(const QList<SampleMessage> &messages, const QString &searchText);

}  // namespace ostrel
