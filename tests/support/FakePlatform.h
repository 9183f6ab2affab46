#pragma once

#include "platform/Platform.h"

#include <QList>
#include <QQueue>
#include <QUrl>

namespace ostrel::test {

// Records every request and answers from scripted queues; an empty queue
// answers "cancelled" (panels) or the cancel button (alerts).
class FakePlatform final : public Platform {
public:
    QQueue<std::optional<QString>> openAnswers;
    QQueue<std::optional<QString>> saveAnswers;
    QQueue<int> alertAnswers;

    QList<OpenPanelRequest> openRequests;
    QList<SavePanelRequest> saveRequests;
    QList<AlertRequest> alerts;
    QList<QUrl> openedUrls;
    QStringList revealedFiles;

    std::optional<QString> runOpenPanel(const OpenPanelRequest &request) override;
    std::optional<QString> runSavePanel(const SavePanelRequest &request) override;
    int runAlert(const AlertRequest &request) override;
    void openUrl(const QUrl &url) override;
    void revealFile(const QString &path) override;
};

}  // namespace ostrel::test
