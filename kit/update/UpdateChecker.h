#pragma once

#include "update/UpdateCheckResult.h"

#include <QFuture>
#include <QString>
#include <QUrl>
#include <chrono>

class QNetworkAccessManager;

namespace ostrel {

struct SystemVersion {
    qint64 major = 0;
    qint64 minor = 0;
    qint64 patch = 0;
    QString toString() const;
    friend bool operator==(const SystemVersion &, const SystemVersion &) = default;
};

// Fetches the update manifest and judges it against the running version.
// A plain value: it holds where to look and which session to ask.
class UpdateChecker {
public:
    static constexpr qint64 maximumManifestSize = 1'048'576;
    static constexpr std::chrono::milliseconds defaultTimeout{15'000};

    UpdateChecker(QUrl manifestURL, QNetworkAccessManager *session,
                  std::chrono::milliseconds transferTimeout = defaultTimeout);

    const QUrl &manifestURL() const { return m_manifestURL; }
    QNetworkAccessManager *session() const { return m_session; }

    // One GET of the manifest. The future finishes in the session's thread;
    // continue on it with .then(context, ...).
    QFuture<UpdateCheckResult> check(const QString &currentVersion, qint64 currentBuild,
                                     SystemVersion currentSystemVersion) const;

    static Expected<UpdateCheckOutcome, UpdateCheckError> evaluate(const UpdateManifest &manifest,
                                                                   const QString &currentVersion,
                                                                   qint64 currentBuild,
                                                                   SystemVersion currentSystemVersion);

    // https (any case) with a host.
    static bool isSecure(const QUrl &url);

private:
    QUrl m_manifestURL;
    QNetworkAccessManager *m_session;
    std::chrono::milliseconds m_timeout;
};

}  // namespace ostrel
