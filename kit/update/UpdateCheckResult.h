#pragma once

#include "model/Expected.h"
#include "update/UpdateManifest.h"

#include <QNetworkReply>
#include <QString>
#include <optional>
#include <variant>

namespace ostrel {

struct UpdateCheckOutcome {
    enum class Kind { available, requiresNewerSystem, upToDate };
    Kind kind = Kind::upToDate;
    std::optional<UpdateManifest> manifest;  // for available and requiresNewerSystem

    static UpdateCheckOutcome available(UpdateManifest m) { return {Kind::available, std::move(m)}; }
    static UpdateCheckOutcome requiresNewerSystem(UpdateManifest m) { return {Kind::requiresNewerSystem, std::move(m)}; }
    static UpdateCheckOutcome upToDate() { return {Kind::upToDate, std::nullopt}; }

    friend bool operator==(const UpdateCheckOutcome &, const UpdateCheckOutcome &) = default;
};

struct UpdateCheckError {
    enum class Kind { invalidVersion, insecureURL, invalidResponse, manifestTooLarge };
    Kind kind = Kind::invalidResponse;
    QString version;  // invalidVersion: the text that failed, unchanged

    static UpdateCheckError invalidVersion(QString text) { return {Kind::invalidVersion, std::move(text)}; }
    static UpdateCheckError insecureURL() { return {Kind::insecureURL, {}}; }
    static UpdateCheckError invalidResponse() { return {Kind::invalidResponse, {}}; }
    static UpdateCheckError manifestTooLarge() { return {Kind::manifestTooLarge, {}}; }

    QString errorDescription() const;
    friend bool operator==(const UpdateCheckError &, const UpdateCheckError &) = default;
};

// A failure of the transport (no network, time-out, TLS), as the network
// layer reported it.
struct UpdateTransportError {
    QNetworkReply::NetworkError code = QNetworkReply::UnknownNetworkError;
    QString text;
    friend bool operator==(const UpdateTransportError &, const UpdateTransportError &) = default;
};

using UpdateCheckFailure = std::variant<UpdateCheckError, UpdateTransportError, ManifestDecodingError>;
using UpdateCheckResult = Expected<UpdateCheckOutcome, UpdateCheckFailure>;

}  // namespace ostrel
