#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>
#include <optional>

namespace ostrel {

struct Attachment {
    QUuid id;
    QString filename;
    QString mimeType;
    qint64 size = 0;
    std::optional<QByteArray> data;  // present only when the reader loaded the bytes
    std::optional<QString> contentId;
    // An attached message: opened as a message, never saved as a file.
    bool isMessage = false;
    // Why an attached message could not be read.
    std::optional<QString> failure{};

    friend bool operator==(const Attachment &, const Attachment &) = default;

    // The file name shortened to 30 characters for an attachment chip, keeping
    // the extension.
    QString displayName() const;
    // Symbol name chosen from the MIME type and the extension.
    QString iconName() const;
};

size_t qHash(const Attachment &attachment, size_t seed = 0);

}  // namespace ostrel

template <>
struct std::hash<ostrel::Attachment> {
    size_t operator()(const ostrel::Attachment &attachment) const { return ostrel::qHash(attachment); }
};
