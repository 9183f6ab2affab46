#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QStackedWidget;

namespace ostrel {

class EmptyState;
class MessageListModel;
class MessageRowView;
class ostrelViewModel;

// The middle column: the selected folder's messages, newest first, filtered
// by the search field that the window puts in its toolbar.
class MessageListView : public QWidget {
    Q_OBJECT
public:
    explicit MessageListView(ostrelViewModel &viewModel, QWidget *parent = nullptr);

    QLineEdit *searchField() const { return m_search; }
    QLabel *title() const { return m_title; }
    QLabel *subtitle() const { return m_subtitle; }
    // The quiet line under the count: rows that could not be read, the
    // progress of a body search.
    QLabel *note() const { return m_note; }
    QPushButton *clearSearchButton() const { return m_clear; }
    QListView *list() const { return m_list; }
    EmptyState *emptyState() const { return m_empty; }
    bool showsList() const;
    MessageListModel *model() const { return m_model; }
    MessageRowView *rows() const { return m_rows; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();
    void refreshSelection();
    void refreshNote();
    void askForPreviews();

    ostrelViewModel &m_viewModel;
    MessageListModel *m_model;
    MessageRowView *m_rows;
    QLineEdit *m_search;
    QLabel *m_title;
    QLabel *m_subtitle;
    QLabel *m_note;
    QList<QUuid> m_previewsWanted;
    bool m_previewAskPending = false;
    QPushButton *m_clear;
    QStackedWidget *m_stack;
    EmptyState *m_empty;
    QListView *m_list;
    bool m_syncing = false;
};

}  // namespace ostrel
