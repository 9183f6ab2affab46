#pragma once

#include <QWidget>
#include <memory>

class QLabel;
class QSettings;
class QSplitter;
class QToolBar;
class QToolButton;

namespace ostrel {

class MessageDetailView;
class MessageListView;
class Platform;
class SidebarView;
class ostrelViewModel;

// The content of a main window: toolbar, the three columns, the loading
// overlay, the drop highlight and the error alert. Owns the window's view model.
class ContentView : public QWidget {
    Q_OBJECT
public:
    ContentView(Platform &platform, QSettings *settings = nullptr, QWidget *parent = nullptr);
    ~ContentView() override;

    ostrelViewModel &viewModel() { return *m_viewModel; }
    SidebarView *sidebar() const { return m_sidebar; }
    MessageListView *messageList() const { return m_messageList; }
    MessageDetailView *detail() const { return m_detail; }
    QToolButton *openButton() const { return m_openButton; }
    QLabel *fileNameLabel() const { return m_fileName; }
    QSplitter *splitter() const { return m_splitter; }
    bool showsLoadingOverlay() const;
    bool showsDropHighlight() const;
    QWidget *loadingOverlay() const { return m_overlay; }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void setDropTargeted(bool targeted);
    void showErrorIfAny();

    Platform &m_platform;
    std::unique_ptr<ostrelViewModel> m_viewModel;
    QToolBar *m_toolbar;
    QToolButton *m_openButton;
    QLabel *m_fileName;
    QSplitter *m_splitter;
    SidebarView *m_sidebar;
    MessageListView *m_messageList;
    MessageDetailView *m_detail;
    QWidget *m_overlay;
    QWidget *m_dropHighlight;
    bool m_isDropTargeted = false;
    bool m_alertShowing = false;
};

}  // namespace ostrel
