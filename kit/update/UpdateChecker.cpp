#include "update/UpdateChecker.h"

#include "update/Version.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QPromise>
#include <memory>

namespace ostrel {

QString SystemVersion::toString() const
{
    return QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(patch);
}

UpdateChecker::UpdateChecker(QUrl manifestURL, QNetworkAccessManager *session, std::chrono::milliseconds transferTimeout)
    : m_manifestURL(std::move(manifestURL)), m_session(session), m_timeout(transferTimeout)
{
}

bool UpdateChecker::isSecure(const QUrl &url)
{
    return url.scheme().toLower() == QLatin1String("https") && !url.host().isEmpty();
}

Expected<UpdateCheckOutcome, UpdateCheckError> UpdateChecker::evaluate(const UpdateManifest &manifest,
                                                                        const QString &currentVersion,
                                                                        qint64 currentBuild,
                                                                        SystemVersion currentSystemVersion)
{
    if (!isSecure(manifest.downloadURL))
        return UpdateCheckError::insecureURL();
    if (manifest.releaseNotesURL && !isSecure(*manifest.releaseNotesURL))
        return UpdateCheckError::insecureURL();
    const auto offered = parseVersion(manifest.version);
    if (!offered)
        return UpdateCheckError::invalidVersion(manifest.version);
    const auto running = parseVersion(currentVersion);
    if (!running)
        return UpdateCheckError::invalidVersion(currentVersion);

    const bool newer = isOrderedBefore(*running, *offered)
                       || (isSameVersion(*running, *offered) && currentBuild < manifest.build.value_or(0));
    if (!newer)
        return UpdateCheckOutcome::upToDate();
    if (!manifest.minimumSystemVersion)
        return UpdateCheckOutcome::available(manifest);

    const auto minimum = parseVersion(*manifest.minimumSystemVersion);
    if (!minimum)
        return UpdateCheckError::invalidVersion(*manifest.minimumSystemVersion);
    const auto system = parseVersion(currentSystemVersion.toString());
    if (system && isOrderedBefore(*system, *minimum))
        return UpdateCheckOutcome::requiresNewerSystem(manifest);
    return UpdateCheckOutcome::available(manifest);
}

namespace {

// One request in flight: the body read so far and the promise to keep.
struct Transfer {
    QPromise<UpdateCheckResult> promise;
    QByteArray body;
    bool finished = false;
    QString currentVersion;
    qint64 currentBuild = 0;
    SystemVersion system;

    void finish(UpdateCheckResult result)
    {
        if (finished)
            return;
        finished = true;
        promise.addResult(std::move(result));
        promise.finish();
    }
    void fail(UpdateCheckFailure failure) { finish(UpdateCheckResult(std::move(failure))); }
};

// The response checks that come before the size and the body: an HTTP
// status in 200..299 and a secure final address.
std::optional<UpdateCheckFailure> responseFault(QNetworkReply &reply)
{
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        if (reply.error() != QNetworkReply::NoError)
            return UpdateTransportError{reply.error(), reply.errorString()};
        return UpdateCheckError::invalidResponse();
    }
    const int code = status.toInt();
    if (code < 200 || code > 299)
        return UpdateCheckError::invalidResponse();
    if (reply.url().isEmpty())
        return UpdateCheckError::invalidResponse();
    if (!UpdateChecker::isSecure(reply.url()))
        return UpdateCheckError::insecureURL();
    return std::nullopt;
}

void readAvailable(QNetworkReply &reply, QByteArray &body)
{
    // Never more than one byte past the limit: that byte is enough to know.
    const qint64 room = UpdateChecker::maximumManifestSize + 1 - body.size();
    if (room > 0 && reply.isOpen())
        body.append(reply.read(room));
}

}  // namespace

QFuture<UpdateCheckResult> UpdateChecker::check(const QString &currentVersion, qint64 currentBuild,
                                                SystemVersion currentSystemVersion) const
{
    auto transfer = std::make_shared<Transfer>();
    transfer->currentVersion = currentVersion;
    transfer->currentBuild = currentBuild;
    transfer->system = currentSystemVersion;
    transfer->promise.start();
    QFuture<UpdateCheckResult> future = transfer->promise.future();

    if (!isSecure(m_manifestURL) || !m_session) {
        transfer->fail(UpdateCheckError::insecureURL());
        return future;
    }

    QNetworkRequest request(m_manifestURL);
    request.setRawHeader("Accept", "application/json");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // Each hop is looked at before it is followed, so no request ever
    // leaves over plain http.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setTransferTimeout(int(m_timeout.count()));

    QNetworkReply *reply = m_session->get(request);
    reply->setReadBufferSize(maximumManifestSize + 1);

    QObject::connect(reply, &QNetworkReply::redirected, reply, [reply, transfer](const QUrl &target) {
        if (!isSecure(target)) {
            transfer->fail(UpdateCheckError::insecureURL());
            reply->abort();
            return;
        }
        emit reply->redirectAllowed();
    });
    QObject::connect(reply, &QIODevice::readyRead, reply, [reply, transfer] {
        if (transfer->finished)
            return;
        readAvailable(*reply, transfer->body);
        if (transfer->body.size() > maximumManifestSize) {
            auto fault = responseFault(*reply);
            transfer->fail(fault ? *fault : UpdateCheckFailure(UpdateCheckError::manifestTooLarge()));
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, transfer] {
        reply->deleteLater();
        if (transfer->finished)
            return;
        readAvailable(*reply, transfer->body);
        if (auto fault = responseFault(*reply))
            return transfer->fail(*fault);
        if (reply->error() != QNetworkReply::NoError)
            return transfer->fail(UpdateTransportError{reply->error(), reply->errorString()});
        if (transfer->body.size() > maximumManifestSize)
            return transfer->fail(UpdateCheckError::manifestTooLarge());
        auto manifest = UpdateManifest::fromJson(transfer->body);
        if (!manifest)
            return transfer->fail(manifest.error());
        auto judged = evaluate(*manifest, transfer->currentVersion, transfer->currentBuild, transfer->system);
        if (!judged)
            return transfer->fail(judged.error());
        transfer->finish(judged.value());
    });
    return future;
}

}  // namespace ostrel
