#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

// What libpff itself reads from an archive, as plain values, so that the
// writer's tests compare a description with the real library's view.
namespace ostrel::test {

struct DumpedMessage;

struct DumpedRecipient {
    std::optional<QString> displayName;
    std::optional<QString> emailAddress;
    std::optional<QString> recipientDisplayName;
    std::optional<quint32> type;
    std::optional<QString> addressType;
    std::optional<QString> smtpAddress;
};

struct DumpedAttachment {
    int type = 0;  // libpff's 'd' (data), 'i' (item)
    std::optional<QString> longFileName;
    std::optional<QString> fileName;
    std::optional<QString> mimeTag;
    std::optional<QString> contentId;
    QByteArray data;
    std::shared_ptr<DumpedMessage> embedded;
};

struct DumpedMessage {
    std::optional<QString> subject;
    std::optional<QString> senderName;
    std::optional<QString> senderEmail;
    std::optional<QString> messageClass;
    std::optional<QString> senderAddressType;
    std::optional<QString> senderSmtpAddress;
    std::optional<QString> transportHeaders;
    std::optional<quint32> messageCodepage;
    std::optional<quint32> importance;
    std::optional<quint32> flags;
    quint64 deliveryTime = 0;  // FILETIME; 0 when absent
    std::optional<QByteArray> plainBody;  // as libpff gives it (UTF-8), trailing NULs dropped
    std::optional<QByteArray> htmlBody;
    std::optional<QByteArray> rtfBody;
    QList<DumpedRecipient> recipients;
    QList<DumpedAttachment> attachments;
};

struct DumpedFolder {
    std::optional<QString> name;
    std::optional<quint32> contentCount;
    std::optional<quint32> unreadCount;
    qsizetype messageCount = 0;  // libpff's count of sub messages
    QList<DumpedFolder> folders;
    QList<DumpedMessage> messages;

    // The sub folder with this name, depth first; nullptr when none.
    const DumpedFolder *find(const QString &folderName) const;
};

struct DumpedArchive {
    int encryption = -1;
    DumpedFolder root;
};

// Reads everything (messages too unless `withMessages` is false); on
// failure returns nothing and libpff's error text in `error`.
std::optional<DumpedArchive> dumpArchive(const QString &path, QString *error, bool withMessages = true);

// Whether libpff opens the file at all, with its error text when not.
bool libpffOpens(const QString &path, QString *error);

}  // namespace ostrel::test
