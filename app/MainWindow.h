#pragma once

#include <QMainWindow>

class QSettings;

namespace ostrel {

class AppShell;
class ContentView;
class Platform;
class ostrelViewModel;

// A main window: the menu bar of the application around one ContentView.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(AppShell &shell, Platform &platform, QSettings *settings, QWidget *parent = nullptr);

    ContentView &content() const { return *m_content; }
    ostrelViewModel &viewModel() const;

signals:
    void firstShown();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    AppShell &m_shell;
    ContentView *m_content;
    bool m_shown = false;
};

}  // namespace ostrel
