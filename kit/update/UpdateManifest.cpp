#include "update/UpdateManifest.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QVariant>
#include <cmath>

namespace ostrel {

QString ManifestDecodingError::description() const
{
    switch (kind) {
    case Kind::notJson:
        return QCoreApplication::translate("ostrel", "The update manifest is not valid JSON: %1").arg(detail);
    case Kind::notAnObject:
        return QCoreApplication::translate("ostrel", "The update manifest is not a JSON object.");
    case Kind::missingKey:
        return QCoreApplication::translate("ostrel", "The update manifest has no \"%1\".").arg(key);
    case Kind::wrongType:
        return QCoreApplication::translate("ostrel", "The update manifest's \"%1\" has the wrong type.").arg(key);
    case Kind::invalidURL:
        return QCoreApplication::translate("ostrel", "The update manifest's \"%1\" is not a URL.").arg(key);
    }
    return {};
}

UpdateManifest::UpdateManifest(QString version_, std::optional<qint64> build_,
                               std::optional<QString> minimumSystemVersion_, QUrl downloadURL_,
                               std::optional<QUrl> releaseNotesURL_,
                               std::optional<QMap<QString, QString>> releaseNotes_)
    : version(std::move(version_)), build(build_), minimumSystemVersion(std::move(minimumSystemVersion_)),
      downloadURL(std::move(downloadURL_)), releaseNotesURL(std::move(releaseNotesURL_)),
      releaseNotes(std::move(releaseNotes_))
{
}

namespace {

using Error = ManifestDecodingError;

std::optional<Error> readString(const QJsonObject &o, const QString &key, bool required,
                                std::optional<QString> &out)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return required ? std::optional(Error{Error::Kind::missingKey, key, {}}) : std::nullopt;
    if (!v.isString())
        return Error{Error::Kind::wrongType, key, {}};
    out = v.toString();
    return std::nullopt;
}

std::optional<Error> readUrl(const QJsonObject &o, const QString &key, bool required, std::optional<QUrl> &out)
{
    std::optional<QString> text;
    if (auto e = readString(o, key, required, text))
        return e;
    if (!text)
        return std::nullopt;
    const QUrl url(*text, QUrl::StrictMode);
    if (!url.isValid())
        return Error{Error::Kind::invalidURL, key, {}};
    out = url;
    return std::nullopt;
}

std::optional<Error> readInteger(const QJsonObject &o, const QString &key, std::optional<qint64> &out)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    if (!v.isDouble())
        return Error{Error::Kind::wrongType, key, {}};
    // Integers the parser kept exact arrive as qlonglong; a number with a
    // fraction or an exponent arrives as double.
    const QVariant variant = v.toVariant();
    if (variant.typeId() == QMetaType::LongLong) {
        out = variant.toLongLong();
        return std::nullopt;
    }
    const double d = v.toDouble();
    if (std::trunc(d) != d || d < -9.2233720368547758e18 || d >= 9.2233720368547758e18)
        return Error{Error::Kind::wrongType, key, {}};
    out = qint64(d);
    return std::nullopt;
}

std::optional<Error> readNotes(const QJsonObject &o, const QString &key, std::optional<QMap<QString, QString>> &out)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    if (!v.isObject())
        return Error{Error::Kind::wrongType, key, {}};
    QMap<QString, QString> notes;
    const QJsonObject object = v.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isString())
            return Error{Error::Kind::wrongType, key + QLatin1Char('.') + it.key(), {}};
        notes.insert(it.key(), it.value().toString());
    }
    out = std::move(notes);
    return std::nullopt;
}

}  // namespace

Expected<UpdateManifest, ManifestDecodingError> UpdateManifest::fromJson(const QByteArray &json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return Error{Error::Kind::notJson, {}, parseError.errorString()};
    if (!document.isObject())
        return Error{Error::Kind::notAnObject, {}, {}};
    const QJsonObject o = document.object();

    UpdateManifest m;
    std::optional<QString> version;
    std::optional<QUrl> download;
    if (auto e = readString(o, QStringLiteral("version"), true, version))
        return *e;
    if (auto e = readInteger(o, QStringLiteral("build"), m.build))
        return *e;
    if (auto e = readString(o, QStringLiteral("minimumSystemVersion"), false, m.minimumSystemVersion))
        return *e;
    if (auto e = readUrl(o, QStringLiteral("downloadURL"), true, download))
        return *e;
    if (auto e = readUrl(o, QStringLiteral("releaseNotesURL"), false, m.releaseNotesURL))
        return *e;
    if (auto e = readNotes(o, QStringLiteral("releaseNotes"), m.releaseNotes))
        return *e;
    m.version = *version;
    m.downloadURL = *download;
    return m;
}

std::optional<QString> UpdateManifest::localizedReleaseNotes(const QStringList &preferredLanguages) const
{
    if (!releaseNotes || releaseNotes->isEmpty())
        return std::nullopt;
    for (const QString &language : preferredLanguages) {
        if (auto it = releaseNotes->constFind(language); it != releaseNotes->constEnd())
            return *it;
        const QStringList pieces = language.split(QLatin1Char('-'), Qt::SkipEmptyParts);
        if (!pieces.isEmpty()) {
            if (auto it = releaseNotes->constFind(pieces.first()); it != releaseNotes->constEnd())
                return *it;
        }
    }
    if (auto it = releaseNotes->constFind(QStringLiteral("en")); it != releaseNotes->constEnd())
        return *it;
    // QMap keeps its keys in ascending order.
    return releaseNotes->first();
}

}  // namespace ostrel
