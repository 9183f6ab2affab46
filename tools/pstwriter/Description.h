#pragma once

#include "ArchiveBuilder.h"
#include "ExtraProperty.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace ostrel::pstwriter {

// An archive described in JSON (the format is documented in README.md beside
// this file): options, folders under the IPM subtree and under the root, and
// their messages with recipients and attachments.
class Description {
public:
    static std::optional<Description> fromFile(const QString &path, QString *error);
    // `baseDir` resolves {"file": ...} data.
    static std::optional<Description> fromJson(const QByteArray &json, const QString &baseDir, QString *error);

    const ArchiveOptions &options() const { return m_options; }
    ArchiveOptions &options() { return m_options; }

    // Adds every folder and message to an open builder; `messages` receives
    // the ids in the order the description lists them.
    bool build(ArchiveBuilder &builder, QList<MessageId> *messages, QString *error) const;

    static std::optional<Message> messageFromJson(const QJsonObject &object, const QString &baseDir, QString *error);
    static std::optional<QByteArray> dataFromJson(const QJsonValue &value, const QString &baseDir, QString *error);

private:
    QJsonObject m_root;
    QString m_baseDir;
    ArchiveOptions m_options;
};

}  // namespace ostrel::pstwriter
