#include "MainWindow.h"

#include "AppShell.h"
#include "viewmodel/ostrelViewModel.h"
#include "views/ContentView.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>

namespace ostrel {

MainWindow::MainWindow(AppShell &shell, Platform &platform, QSettings *settings, QWidget *parent)
    : QMainWindow(parent), m_shell(shell), m_content(new ContentView(platform, settings))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("ostrel"));
    setCentralWidget(m_content);
    setMinimumSize(900, 600);
    // Centred on the screen it opens on; window managers that place windows
    // themselves may still move it.
    const QScreen *screen = QGuiApplication::primaryScreen();
    setGeometry(screen ? QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, QSize(1200, 750), screen->availableGeometry())
                       : QRect(0, 0, 1200, 750));
    m_shell.buildMenus(*this, *menuBar());
    connect(&viewModel(), &ostrelViewModel::currentFileNameChanged, this, [this] {
        const auto name = viewModel().currentFileName();
        setWindowTitle(name ? *name + QStringLiteral(" \u2014 ostrel") : QStringLiteral("ostrel"));
    });
}

ostrelViewModel &MainWindow::viewModel() const
{
    return m_content->viewModel();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        emit firstShown();
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing the last window quits, and quitting asks its question first.
    if (!m_shell.isQuitting() && m_shell.windows().size() == 1) {
        event->ignore();
        m_shell.requestQuit();
        return;
    }
    event->accept();
}

}  // namespace ostrel
