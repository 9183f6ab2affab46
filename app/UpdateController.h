#pragma once

#include "update/UpdateChecker.h"

#include <QDateTime>
#include <QFuture>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QSettings;

namespace ostrel {

class Platform;

// What the controller needs to know about the running application.
struct UpdateControllerSetup {
    QUrl manifestURL;
    std::optional<QString> shortVersion;  // the application's version text, if it has one
    std::optional<QString> buildVersion;  // the build number as text, if it has one
    SystemVersion systemVersion;
    QStringList preferredLanguages;
    bool checkingAvailable = true;
    std::chrono::milliseconds transferTimeout = UpdateChecker::defaultTimeout;
    std::function<QDateTime()> now;  // empty: the current time

    // The values of this build on this system.
    static UpdateControllerSetup forRunningApplication();
    // https://HOST/updates/latest.json; invalid when the host makes no URL.
    static QUrl manifestURLForHost(const QString &host);
};

// Decides when to check for a newer ostrel, runs the check and reports the
// outcome in alerts. Lives on the main thread for the whole application.
class UpdateController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isChecking READ isChecking NOTIFY isCheckingChanged)
public:
    static constexpr qint64 minimumAutomaticInterval = 86'400;  // seconds
    static inline const QString lastCheckKey = QStringLiteral("lastSuccessfulUpdateCheck");

    UpdateController(Platform &platform, QNetworkAccessManager *session, QSettings *settings,
                     UpdateControllerSetup setup, QObject *parent = nullptr);

    bool isUpdateCheckingAvailable() const { return m_setup.checkingAvailable; }
    bool isChecking() const { return m_checking; }
    QString currentVersionString() const;
    qint64 currentBuildNumber() const;

    // The start-up check: at most once a day, silent unless there is news.
    QFuture<void> checkForUpdatesIfDue();
    // One check; the future finishes once any alert has been dismissed.
    QFuture<void> checkForUpdates(bool userInitiated);

signals:
    void isCheckingChanged(bool checking);

private:
    QDateTime now() const;
    void setChecking(bool checking);
    void report(const UpdateCheckResult &result, bool userInitiated);
    void showFailure();

    Platform &m_platform;
    QNetworkAccessManager *m_session;
    QSettings *m_settings;
    UpdateControllerSetup m_setup;
    bool m_checking = false;
};

}  // namespace ostrel
