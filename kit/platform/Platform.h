#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

namespace ostrel {

struct OpenPanelRequest {
    QString message;            // e.g. "Select a PST file"
    QString prompt;             // title of the confirming button, e.g. "Open"
    QStringList nameFilters;    // empty: any file
};

struct SavePanelRequest {
    QString proposedName;
    bool canCreateDirectories = true;
    QStringList nameFilters;    // empty: unrestricted
};

enum class AlertStyle { informational, warning };
enum class AlertIcon { applicationIcon, standard };

struct AlertRequest {
    AlertStyle style = AlertStyle::informational;
    AlertIcon icon = AlertIcon::standard;
    QString title;
    QString message;
    QStringList buttons;        // the first is the default button; never empty
    // The button Escape or closing the alert stands for; -1: the last one.
    int cancelButton = -1;

    int cancelIndex() const
    {
        const int last = static_cast<int>(buttons.size()) - 1;
        return cancelButton >= 0 && cancelButton <= last ? cancelButton : last;
    }
};

class Platform {
public:
    virtual ~Platform();

    // A chosen local file path, or none when the user cancelled.
    virtual std::optional<QString> runOpenPanel(const OpenPanelRequest &request) = 0;
    virtual std::optional<QString> runSavePanel(const SavePanelRequest &request) = 0;
    // Runs modally; returns the index of the button pressed (closing counts as cancelIndex()).
    virtual int runAlert(const AlertRequest &request) = 0;
    virtual void openUrl(const QUrl &url) = 0;
    virtual void revealFile(const QString &path) = 0;
};

}  // namespace ostrel
