#include "FakePlatform.h"

namespace ostrel::test {

std::optional<QString> FakePlatform::runOpenPanel(const OpenPanelRequest &request)
{
    openRequests.append(request);
    return openAnswers.isEmpty() ? std::nullopt : openAnswers.dequeue();
}

std::optional<QString> FakePlatform::runSavePanel(const SavePanelRequest &request)
{
    saveRequests.append(request);
    return saveAnswers.isEmpty() ? std::nullopt : saveAnswers.dequeue();
}

int FakePlatform::runAlert(const AlertRequest &request)
{
    alerts.append(request);
    if (!alertAnswers.isEmpty())
        return alertAnswers.dequeue();
    return request.cancelIndex();
}

void FakePlatform::openUrl(const QUrl &url)
{
    openedUrls.append(url);
}

void FakePlatform::revealFile(const QString &path)
{
    revealedFiles.append(path);
}

}  // namespace ostrel::test
