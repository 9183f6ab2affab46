#include "UpdateController.h"

#include "Endpoints.h"
#include "platform/Platform.h"
#include "update/RunningApplication.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPromise>
#include <QSettings>
#include <memory>

namespace ostrel {

UpdateControllerSetup UpdateControllerSetup::forRunningApplication()
{
    UpdateControllerSetup setup;
    setup.manifestURL = manifestURLForHost(QString::fromUtf8(endpoints::updateHost));
    const QString version = QString::fromUtf8(endpoints::version);
    if (!version.isEmpty())
        setup.shortVersion = version;
    const QString build = QString::fromUtf8(endpoints::buildNumber);
    if (!build.isEmpty())
        setup.buildVersion = build;
    setup.systemVersion = runningSystemVersion();
    setup.preferredLanguages = QLocale().uiLanguages();
    setup.checkingAvailable = isUpdateCheckingAvailable({endpoints::updateChecksEnabled, QStringLiteral("/.flatpak-info"), {}});
    return setup;
}

QUrl UpdateControllerSetup::manifestURLForHost(const QString &host)
{
    if (host.isEmpty())
        return {};
    return QUrl(QStringLiteral("https://%1/updates/latest.json").arg(host), QUrl::StrictMode);
}

UpdateController::UpdateController(Platform &platform, QNetworkAccessManager *session, QSettings *settings,
                                   UpdateControllerSetup setup, QObject *parent)
    : QObject(parent), m_platform(platform), m_session(session), m_settings(settings), m_setup(std::move(setup))
{
}

QString UpdateController::currentVersionString() const
{
    return ostrel::currentVersionString(m_setup.shortVersion);
}

qint64 UpdateController::currentBuildNumber() const
{
    return ostrel::currentBuildNumber(m_setup.buildVersion);
}

QDateTime UpdateController::now() const
{
    return m_setup.now ? m_setup.now() : QDateTime::currentDateTimeUtc();
}

void UpdateController::setChecking(bool checking)
{
    if (m_checking == checking)
        return;
    m_checking = checking;
    emit isCheckingChanged(checking);
}

QFuture<void> UpdateController::checkForUpdatesIfDue()
{
    if (!isUpdateCheckingAvailable())
        return QtFuture::makeReadyFuture();
    const QVariant last = m_settings ? m_settings->value(lastCheckKey) : QVariant();
    if (last.typeId() == QMetaType::QDateTime && last.toDateTime().isValid()) {
        // A date in the future is a negative age: it suppresses too.
        if (last.toDateTime().secsTo(now()) < minimumAutomaticInterval)
            return QtFuture::makeReadyFuture();
    }
    return checkForUpdates(false);
}

QFuture<void> UpdateController::checkForUpdates(bool userInitiated)
{
    if (m_checking)
        return QtFuture::makeReadyFuture();
    if (!m_setup.manifestURL.isValid()) {
        if (userInitiated)
            showFailure();
        return QtFuture::makeReadyFuture();
    }
    setChecking(true);
    auto done = std::make_shared<QPromise<void>>();
    done->start();
    QFuture<void> finished = done->future();

    const UpdateChecker checker(m_setup.manifestURL, m_session, m_setup.transferTimeout);
    checker.check(currentVersionString(), currentBuildNumber(), m_setup.systemVersion)
        .then(this, [this, userInitiated, done](const UpdateCheckResult &result) {
            report(result, userInitiated);
            setChecking(false);
            done->finish();
        })
        .onCanceled(this, [this, done] {
            // The controller went away mid-check; nothing is left to report to.
            setChecking(false);
            done->finish();
        });
    return finished;
}

void UpdateController::report(const UpdateCheckResult &result, bool userInitiated)
{
    if (!result.hasValue()) {
        // The error's own text stays out of the alert; it says nothing a user can act on.
        if (userInitiated)
            showFailure();
        return;
    }
    if (m_settings) {
        m_settings->setValue(lastCheckKey, now());
        m_settings->sync();
    }
    const UpdateCheckOutcome &outcome = result.value();
    const QString current = currentVersionString();
    switch (outcome.kind) {
    case UpdateCheckOutcome::Kind::upToDate:
        if (userInitiated)
            m_platform.runAlert({AlertStyle::informational, AlertIcon::applicationIcon, tr("ostrel is up to date"),
                                 tr("You are using the latest version (%1).").arg(current), {tr("OK")}, 0});
        return;
    case UpdateCheckOutcome::Kind::available: {
        const UpdateManifest &m = *outcome.manifest;
        QString message = tr("You are currently using version %1.").arg(current);
        if (const auto notes = m.localizedReleaseNotes(m_setup.preferredLanguages))
            message += QStringLiteral("\n\n") + *notes;
        QStringList buttons{tr("Download Update"), tr("Later")};
        if (m.releaseNotesURL)
            buttons.append(tr("Release Notes"));
        const int pressed = m_platform.runAlert({AlertStyle::informational, AlertIcon::applicationIcon,
                                                 tr("ostrel %1 is available").arg(m.version), message, buttons, 1});
        if (pressed == 0)
            m_platform.openUrl(m.downloadURL);
        else if (pressed == 2 && m.releaseNotesURL)
            m_platform.openUrl(*m.releaseNotesURL);
        return;
    }
    case UpdateCheckOutcome::Kind::requiresNewerSystem: {
        const UpdateManifest &m = *outcome.manifest;
        QStringList buttons{tr("OK")};
        if (m.releaseNotesURL)
            buttons.append(tr("Release Notes"));
        const QString message = m.minimumSystemVersion
                                    ? tr("This update requires Linux %1 or later.").arg(*m.minimumSystemVersion)
                                    : QString();
        const int pressed = m_platform.runAlert({AlertStyle::informational, AlertIcon::applicationIcon,
                                                 tr("ostrel %1 requires a newer Linux version").arg(m.version),
                                                 message, buttons, 0});
        if (pressed == 1 && m.releaseNotesURL)
            m_platform.openUrl(*m.releaseNotesURL);
        return;
    }
    }
}

void UpdateController::showFailure()
{
    m_platform.runAlert({AlertStyle::warning, AlertIcon::standard, tr("Unable to check for updates"),
                         tr("Please check your internet connection and try again later."), {tr("OK")}, 0});
}

}  // namespace ostrel
