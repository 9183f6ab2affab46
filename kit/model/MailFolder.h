#pragma once

#include "model/FolderType.h"

#include <QByteArray>
#include <QJsonObject>
#include <optional>
#include <QList>
#include <QTypeInfo>
#include <QString>
#include <QUuid>

namespace ostrel {

struct MailFolder {
    QUuid id;
    QString name;
    qint64 messageCount = 0;
    qint64 unreadCount = 0;
    FolderType folderType = FolderType::custom;
    QList<MailFolder> children;
    // Why the archive would not give this folder's sub folders (those in
    // children are the ones it did give), or its message count (then 0).
    std::optional<QString> subFoldersFailure{};
    std::optional<QString> messageCountFailure{};
    // A search folder: its messages are results stored in other folders.
    bool searchFolder = false;
    // Where a top-level folder stands in the tree people know: the folder
    // whose sub folders are the mailbox, or one of the store's own folders
    // beside it (search roots, views, reminders, ...). Neither when the
    // archive names no mailbox.
    bool mailboxRoot = false;
    bool storeFolder = false;

    friend bool operator==(const MailFolder &, const MailFolder &) = default;

    // Compact JSON object with its keys in field order: id, name, messageCount,
    // unreadCount, folderType, children (QJsonObject would sort them), then
    // subFoldersFailure and messageCountFailure, each only when present,
    // and searchFolder, mailboxRoot and storeFolder, each only when true.
    QByteArray toJson() const;
    static std::optional<MailFolder> fromJson(const QByteArray &json);
    static std::optional<MailFolder> fromJsonObject(const QJsonObject &object);
};

size_t qHash(const MailFolder &folder, size_t seed = 0);

// The folder marked mailboxRoot, at any depth, in pre-order; null when none is.
const MailFolder *findMailboxRoot(const QList<MailFolder> &tree);

}  // namespace ostrel

// A folder holds a list of folders; Qt's detection of operator== would recurse
// into the incomplete type, so say it outright.
template <>
struct QTypeTraits::has_operator_equal<ostrel::MailFolder> : std::true_type {};

template <>
struct std::hash<ostrel::MailFolder> {
    size_t operator()(const ostrel::MailFolder &folder) const { return ostrel::qHash(folder); }
};
