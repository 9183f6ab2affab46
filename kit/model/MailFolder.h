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

    friend bool operator==(const MailFolder &, const MailFolder &) = default;

    // Compact JSON object with its keys in field order: id, name, messageCount,
    // unreadCount, folderType, children (QJsonObject would sort them), then
    // subFoldersFailure and messageCountFailure, each only when present.
    QByteArray toJson() const;
    static std::optional<MailFolder> fromJson(const QByteArray &json);
    static std::optional<MailFolder> fromJsonObject(const QJsonObject &object);
};

size_t qHash(const MailFolder &folder, size_t seed = 0);

}  // namespace ostrel

// A folder holds a list of folders; Qt's detection of operator== would recurse
// into the incomplete type, so say it outright.
template <>
struct QTypeTraits::has_operator_equal<ostrel::MailFolder> : std::true_type {};

template <>
struct std::hash<ostrel::MailFolder> {
    size_t operator()(const ostrel::MailFolder &folder) const { return ostrel::qHash(folder); }
};
