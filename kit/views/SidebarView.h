#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QStackedWidget;
class QTreeView;

namespace ostrel {

class FolderTreeModel;
class ostrelViewModel;

// The first column: the archive's folder tree, or an invitation to open one.
class SidebarView : public QWidget {
    Q_OBJECT
public:
    explicit SidebarView(ostrelViewModel &viewModel, QWidget *parent = nullptr);

    QTreeView *tree() const { return m_tree; }
    QLabel *header() const { return m_header; }
    QPushButton *openButton() const { return m_openButton; }
    bool showsEmptyState() const;
    FolderTreeModel *model() const { return m_model; }

private:
    void refreshFolders();
    void refreshHeader();
    void refreshSelection();
    void userChose(const QModelIndex &index);

    ostrelViewModel &m_viewModel;
    FolderTreeModel *m_model;
    QStackedWidget *m_stack;
    QTreeView *m_tree;
    QLabel *m_header;
    QPushButton *m_openButton;
    bool m_syncing = false;
};

}  // namespace ostrel
