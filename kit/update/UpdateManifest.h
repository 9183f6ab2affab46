#pragma once

#include "model/Expected.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

namespace ostrel {

// Why a manifest document could not be decoded; passed to the caller as is.
struct ManifestDecodingError {
    enum class Kind { notJson, notAnObject, missingKey, wrongType, invalidURL };
    Kind kind = Kind::notJson;
    QString key;      // the offending key; empty for the document as a whole
    QString detail;   // the JSON parser's own message for notJson

    QString description() const;
    friend bool operator==(const ManifestDecodingError &, const ManifestDecodingError &) = default;
};

// The small JSON document that announces the newest release.
struct UpdateManifest {
    QString version;
    std::optional<qint64> build;
    std::optional<QString> minimumSystemVersion;
    QUrl downloadURL;
    std::optional<QUrl> releaseNotesURL;
    std::optional<QMap<QString, QString>> releaseNotes;  // language identifier to text

    UpdateManifest() = default;
    UpdateManifest(QString version, std::optional<qint64> build, std::optional<QString> minimumSystemVersion,
                   QUrl downloadURL, std::optional<QUrl> releaseNotesURL,
                   std::optional<QMap<QString, QString>> releaseNotes);

    // Keys spelled as the fields; other keys are ignored; a missing or null
    // optional key leaves its field empty.
    static Expected<UpdateManifest, ManifestDecodingError> fromJson(const QByteArray &json);

    // The release notes for the first preferred language that has them (the
    // exact identifier, then its language part), else "en", else the first key.
    std::optional<QString> localizedReleaseNotes(const QStringList &preferredLanguages) const;

    friend bool operator==(const UpdateManifest &, const UpdateManifest &) = default;
};

}  // namespace ostrel
