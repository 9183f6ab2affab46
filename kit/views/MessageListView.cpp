#include "views/MessageListView.h"

#include "viewmodel/ostrelViewModel.h"
#include "views/EmptyState.h"
#include "views/Formatting.h"
#include "views/MessageListModel.h"
#include "views/MessageRowView.h"
#include "views/Style.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace ostrel {

MessageListView::MessageListView(ostrelViewModel &viewModel, QWidget *parent)
    : QWidget(parent),
      m_viewModel(viewModel),
      m_model(new MessageListModel(this)),
      m_rows(new MessageRowView(this)),
      m_search(new QLineEdit),
      m_title(new QLabel),
      m_subtitle(new QLabel),
      m_note(new QLabel),
      m_clear(new QPushButton(tr("Clear search"))),
      m_stack(new QStackedWidget),
      m_empty(new EmptyState(QStringLiteral("sidebar.left"), tr("Select a folder"), 32)),
      m_list(new QListView)
{
    setMinimumWidth(320);
    m_search->setPlaceholderText(tr("Search messages"));
    m_search->setClearButtonEnabled(true);
    m_search->setMinimumWidth(180);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *header = new QWidget;
    auto *headerLayout = new QVBoxLayout(header);
    headerLayout->setContentsMargins(12, 10, 12, 10);
    headerLayout->setSpacing(2);
    m_title->setFont(style::headline());
    m_title->setTextFormat(Qt::PlainText);
    headerLayout->addWidget(m_title);
    auto *subtitleRow = new QHBoxLayout;
    subtitleRow->setSpacing(6);
    m_subtitle->setFont(style::caption());
    m_subtitle->setTextFormat(Qt::PlainText);
    QPalette secondary = m_subtitle->palette();
    secondary.setColor(QPalette::WindowText, style::secondary(secondary));
    m_subtitle->setPalette(secondary);
    subtitleRow->addWidget(m_subtitle);
    m_clear->setFlat(true);
    m_clear->setFont(style::caption());
    m_clear->setCursor(Qt::PointingHandCursor);
    QPalette link = m_clear->palette();
    link.setColor(QPalette::ButtonText, link.color(QPalette::Link));
    m_clear->setPalette(link);
    m_clear->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0; text-decoration: none; }"));
    subtitleRow->addWidget(m_clear);
    subtitleRow->addStretch();
    headerLayout->addLayout(subtitleRow);
    m_note->setFont(style::caption());
    m_note->setTextFormat(Qt::PlainText);
    m_note->setPalette(secondary);
    m_note->setWordWrap(true);
    m_note->setVisible(false);
    headerLayout->addWidget(m_note);
    layout->addWidget(header);

    auto *divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setForegroundRole(QPalette::Mid);
    layout->addWidget(divider);

    m_list->setModel(m_model);
    m_list->setItemDelegate(m_rows);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setMouseTracking(true);
    m_list->viewport()->setAttribute(Qt::WA_Hover);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Every row has the same height: the list lays out 200,000 rows without
    // asking each one, and paints only those on screen.
    m_list->setUniformItemSizes(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_rows->setPreviewSource([this](const QUuid &id) {
        auto line = m_viewModel.preview(id);
        if (!line) {
            m_previewsWanted.append(id);
            if (!m_previewAskPending) {
                m_previewAskPending = true;
                QMetaObject::invokeMethod(this, &MessageListView::askForPreviews, Qt::QueuedConnection);
            }
        }
        return line;
    });
    m_list->installEventFilter(this);
    m_stack->addWidget(m_empty);
    m_stack->addWidget(m_list);
    layout->addWidget(m_stack, 1);

    connect(m_search, &QLineEdit::textChanged, &m_viewModel, &ostrelViewModel::setSearchText);
    connect(m_clear, &QPushButton::clicked, this, [this] { m_viewModel.setSearchText(QString()); });
    connect(&m_viewModel, &ostrelViewModel::searchTextChanged, this, [this] {
        if (m_search->text() != m_viewModel.searchText())
            m_search->setText(m_viewModel.searchText());
        refresh();
    });
    connect(&m_viewModel, &ostrelViewModel::rowsChanged, this, &MessageListView::refresh);
    // The list reads the view model's rows in place: when the view model
    // goes first (a window's children outlive its members), the list stops
    // reading them.
    connect(&m_viewModel, &QObject::destroyed, m_model, &MessageListModel::clear);
    connect(&m_viewModel, &ostrelViewModel::previewsChanged, m_list->viewport(), qOverload<>(&QWidget::update));
    connect(&m_viewModel, &ostrelViewModel::bodySearchChanged, this, &MessageListView::refreshNote);
    connect(&m_viewModel, &ostrelViewModel::selectedFolderChanged, this, &MessageListView::refresh);
    connect(&m_viewModel, &ostrelViewModel::selectedRowChanged, this, &MessageListView::refreshSelection);
    // Selection, not the current row: focusing the list makes a row current
    // without choosing it.
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList chosen = m_list->selectionModel()->selectedIndexes();
        if (m_syncing || chosen.isEmpty())
            return;
        m_viewModel.selectMessage(chosen.constFirst().data(MessageListModel::IdRole).toUuid());
    });
    refresh();
}

bool MessageListView::showsList() const
{
    return m_stack->currentWidget() == m_list;
}

void MessageListView::refresh()
{
    // One computation feeds the count, the empty state and the rows, so they agree.
    const QList<MessageRow> &shown = m_viewModel.shownRows();
    const auto folder = m_viewModel.selectedFolder();
    m_title->setText(folder ? folder->name : tr("Inbox"));
    const bool searching = !m_viewModel.searchText().isEmpty();
    if (searching)
        m_subtitle->setText(searchResultsText(shown.size(), m_viewModel.searchText()));
    else if (folder)
        m_subtitle->setText(messageCountText(m_viewModel.rows().size()));
    m_subtitle->setVisible(searching || folder.has_value());
    m_clear->setVisible(searching);

    m_syncing = true;
    m_model->setRows(shown);
    m_syncing = false;
    refreshNote();
    if (!folder) {
        m_empty->setContent(QStringLiteral("sidebar.left"), tr("Select a folder"));
        m_stack->setCurrentWidget(m_empty);
    } else if (shown.isEmpty() && searching) {
        m_empty->setContent(QStringLiteral("magnifyingglass"), tr("No results"));
        m_stack->setCurrentWidget(m_empty);
    } else if (shown.isEmpty() && folder->searchFolder) {
        m_empty->setContent(QStringLiteral("magnifyingglass"), tr("No results in this search folder"));
        m_stack->setCurrentWidget(m_empty);
    } else if (shown.isEmpty()) {
        m_empty->setContent(QStringLiteral("tray"), tr("No messages"));
        m_stack->setCurrentWidget(m_empty);
    } else {
        m_stack->setCurrentWidget(m_list);
    }
    refreshSelection();
}

void MessageListView::refreshSelection()
{
    m_syncing = true;
    const auto selected = m_viewModel.selectedRowId();
    const QModelIndex index = selected ? m_model->indexForId(*selected) : QModelIndex();
    if (index.isValid()) {
        m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        m_list->scrollTo(index);
    } else {
        m_list->selectionModel()->clear();
    }
    m_syncing = false;
}

void MessageListView::refreshNote()
{
    QStringList lines;
    const QString archive = m_viewModel.archiveNote();
    if (!archive.isEmpty())
        lines.append(archive);
    const QString listing = m_viewModel.listingNote();
    if (!listing.isEmpty())
        lines.append(listing);
    if (m_viewModel.isSearchingBodies())
        lines.append(tr("Searching message text: %1 of %2")
                         .arg(QLocale().toString(m_viewModel.bodySearchScanned()),
                              QLocale().toString(m_viewModel.bodySearchTotal())));
    m_note->setText(lines.join(QLatin1Char('\n')));
    m_note->setVisible(!lines.isEmpty());
}

void MessageListView::askForPreviews()
{
    m_previewAskPending = false;
    m_viewModel.requestPreviews(std::exchange(m_previewsWanted, {}));
}

bool MessageListView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        switch (key->key()) {
        case Qt::Key_Up:
            m_viewModel.moveSelection(-1);
            return true;
        case Qt::Key_Down:
            m_viewModel.moveSelection(+1);
            return true;
        case Qt::Key_PageUp:
        case Qt::Key_PageDown: {
            const int rowHeight = std::max(1, m_list->sizeHintForRow(0));
            const int page = std::max(1, m_list->viewport()->height() / rowHeight - 1);
            m_viewModel.moveSelection(key->key() == Qt::Key_PageUp ? -page : page);
            return true;
        }
        case Qt::Key_Home:
            m_viewModel.moveSelection(-int(m_viewModel.shownRows().size()));
            return true;
        case Qt::Key_End:
            m_viewModel.moveSelection(int(m_viewModel.shownRows().size()));
            return true;
        case Qt::Key_Left:
        case Qt::Key_Right:
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace ostrel
