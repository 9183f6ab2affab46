#pragma once

#include "platform/Platform.h"

#include <QPointer>
#include <QWidget>

namespace ostrel {

// The production platform: Qt's file dialogs and message boxes, and the
// desktop's handlers through QDesktopServices.
class QtPlatform final : public Platform {
public:
    explicit QtPlatform(QWidget *parentWindow = nullptr);

    void setParentWindow(QWidget *window) { m_parent = window; }

    std::optional<QString> runOpenPanel(const OpenPanelRequest &request) override;
    std::optional<QString> runSavePanel(const SavePanelRequest &request) override;
    int runAlert(const AlertRequest &request) override;
    void openUrl(const QUrl &url) override;
    void revealFile(const QString &path) override;

private:
    QPointer<QWidget> m_parent;
};

}  // namespace ostrel
