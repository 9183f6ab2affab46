#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QMenu;
class QMenuBar;
class QSettings;
class QTextDocument;
class QWidget;

namespace ostrel {

class MainWindow;
class Platform;
class UpdateController;

// The application around its windows: one per archive window, menus, the
// about panel, the acknowledgements window and the support prompt at quit.
class AppShell : public QObject {
    Q_OBJECT
public:
    // resourceRoot: where the licence texts are looked up (":/" in the application).
    AppShell(Platform &platform, QSettings *settings = nullptr, QString resourceRoot = QStringLiteral(":/"),
             QObject *parent = nullptr);
    ~AppShell() override;

    // The application's one update controller; set before the first window.
    // Without one there is no update menu item and no start-up check.
    void setUpdateController(UpdateController *controller) { m_updates = controller; }
    UpdateController *updateController() const { return m_updates; }

    MainWindow *newWindow();
    QList<MainWindow *> windows() const;

    void showAboutPanel();
    QWidget *showAcknowledgements();
    QWidget *acknowledgementsWindow() const { return m_acknowledgements; }
    // The five parts of the acknowledgements, with their fonts and colours.
    void fillAcknowledgements(QTextDocument &document) const;
    QString licenseText(const QString &name, const QString &extension) const;
    void openDonationPage();
    void openProductSite();
    void contactSupport();
    // Asks for a voluntary donation; never prevents quitting.
    void showSupportPrompt();
    // Every way of quitting comes here: the prompt once, then the windows close.
    void requestQuit();
    bool isQuitting() const { return m_quitting; }

    void buildMenus(MainWindow &window, QMenuBar &bar);

signals:
    void quitRequested();

private:
    void fillRecentMenu(MainWindow &window, QMenu &menu);

    Platform &m_platform;
    QSettings *m_settings;
    QString m_resourceRoot;
    QList<QPointer<MainWindow>> m_windows;
    QPointer<QWidget> m_acknowledgements;
    UpdateController *m_updates = nullptr;
    bool m_quitting = false;
};

}  // namespace ostrel
