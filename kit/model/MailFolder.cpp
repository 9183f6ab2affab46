#include "model/MailFolder.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace ostrel {

size_t qHash(const MailFolder &folder, size_t seed)
{
    seed = qHashMulti(seed, folder.id, folder.name, folder.messageCount, folder.unreadCount,
                      folder.folderType);
    seed = qHashRange(folder.children.cbegin(), folder.children.cend(), seed);
    for (const auto *failure : {&folder.subFoldersFailure, &folder.messageCountFailure})
        seed = *failure ? qHashMulti(seed, true, **failure) : qHashMulti(seed, false);
    return qHashMulti(seed, folder.searchFolder, folder.mailboxRoot, folder.storeFolder);
}

const MailFolder *findMailboxRoot(const QList<MailFolder> &tree)
{
    for (const MailFolder &folder : tree) {
        if (folder.mailboxRoot)
            return &folder;
        if (const MailFolder *found = findMailboxRoot(folder.children))
            return found;
    }
    return nullptr;
}

namespace {
QByteArray jsonScalar(const QJsonValue &value)
{
    // A one-element array is the cheapest way to get Qt's escaping of a scalar.
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

void appendJson(const MailFolder &folder, QByteArray &out)
{
    out += "{\"id\":" + jsonScalar(folder.id.toString(QUuid::WithoutBraces).toUpper());
    out += ",\"name\":" + jsonScalar(folder.name);
    out += ",\"messageCount\":" + QByteArray::number(folder.messageCount);
    out += ",\"unreadCount\":" + QByteArray::number(folder.unreadCount);
    out += ",\"folderType\":" + jsonScalar(rawValue(folder.folderType));
    out += ",\"children\":[";
    for (qsizetype i = 0; i < folder.children.size(); ++i) {
        if (i > 0)
            out += ',';
        appendJson(folder.children.at(i), out);
    }
    out += ']';
    if (folder.subFoldersFailure)
        out += ",\"subFoldersFailure\":" + jsonScalar(*folder.subFoldersFailure);
    if (folder.messageCountFailure)
        out += ",\"messageCountFailure\":" + jsonScalar(*folder.messageCountFailure);
    if (folder.searchFolder)
        out += ",\"searchFolder\":true";
    if (folder.mailboxRoot)
        out += ",\"mailboxRoot\":true";
    if (folder.storeFolder)
        out += ",\"storeFolder\":true";
    out += '}';
}

// An optional text key: absent is fine, anything but a text is not.
bool readFailure(const QJsonObject &object, const char *key, std::optional<QString> &into)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined())
        return true;
    if (!value.isString())
        return false;
    into = value.toString();
    return true;
}

// An optional flag: absent is false, anything but a boolean is wrong.
bool readFlag(const QJsonObject &object, const char *key, bool &into)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined())
        return true;
    if (!value.isBool())
        return false;
    into = value.toBool();
    return true;
}
}  // namespace

QByteArray MailFolder::toJson() const
{
    QByteArray out;
    appendJson(*this, out);
    return out;
}

std::optional<MailFolder> MailFolder::fromJson(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return fromJsonObject(document.object());
}

std::optional<MailFolder> MailFolder::fromJsonObject(const QJsonObject &object)
{
    const QUuid id = QUuid::fromString(object.value(QStringLiteral("id")).toString());
    const auto type = folderTypeFromRaw(object.value(QStringLiteral("folderType")).toString());
    const QJsonValue name = object.value(QStringLiteral("name"));
    const QJsonValue messages = object.value(QStringLiteral("messageCount"));
    const QJsonValue unread = object.value(QStringLiteral("unreadCount"));
    const QJsonValue children = object.value(QStringLiteral("children"));
    if (id.isNull() || !type || !name.isString() || !messages.isDouble() || !unread.isDouble()
        || !children.isArray())
        return std::nullopt;
    MailFolder folder{id, name.toString(), messages.toInteger(), unread.toInteger(), *type, {}};
    if (!readFailure(object, "subFoldersFailure", folder.subFoldersFailure)
        || !readFailure(object, "messageCountFailure", folder.messageCountFailure)
        || !readFlag(object, "searchFolder", folder.searchFolder) || !readFlag(object, "mailboxRoot", folder.mailboxRoot)
        || !readFlag(object, "storeFolder", folder.storeFolder))
        return std::nullopt;
    for (const QJsonValue &child : children.toArray()) {
        auto decoded = fromJsonObject(child.toObject());
        if (!decoded)
            return std::nullopt;
        folder.children.append(std::move(*decoded));
    }
    return folder;
}

}  // namespace ostrel
