#include "views/SidebarView.h"

#include "icons/SymbolIcons.h"
#include "viewmodel/ostrelViewModel.h"
#include "views/FolderRow.h"
#include "views/FolderTreeModel.h"
#include "views/Style.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeView>
#include <QVBoxLayout>

namespace ostrel {

SidebarView::SidebarView(ostrelViewModel &viewModel, QWidget *parent)
    : QWidget(parent),
      m_viewModel(viewModel),
      m_model(new FolderTreeModel(this)),
      m_stack(new QStackedWidget(this)),
      m_tree(new QTreeView),
      m_header(new QLabel),
      m_openButton(new QPushButton(tr("Open PST File")))
{
    setMinimumWidth(200);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_stack);

    // No archive: the invitation.
    auto *empty = new QWidget;
    auto *emptyLayout = new QVBoxLayout(empty);
    emptyLayout->setContentsMargins(16, 16, 16, 16);
    emptyLayout->setSpacing(16);
    emptyLayout->addStretch();
    auto *tray = new QLabel;
    tray->setPixmap(symbolIcon(QStringLiteral("tray"), style::secondary(palette())).pixmap(42, 42));
    emptyLayout->addWidget(tray, 0, Qt::AlignHCenter);
    auto *invitation = new QLabel(tr("No PST file open"));
    invitation->setFont(style::headline());
    QPalette secondary = invitation->palette();
    secondary.setColor(QPalette::WindowText, style::secondary(secondary));
    invitation->setPalette(secondary);
    emptyLayout->addWidget(invitation, 0, Qt::AlignHCenter);
    m_openButton->setDefault(true);
    emptyLayout->addWidget(m_openButton, 0, Qt::AlignHCenter);
    emptyLayout->addStretch();
    m_stack->addWidget(empty);

    // An archive: the file name over the outline.
    auto *list = new QWidget;
    auto *listLayout = new QVBoxLayout(list);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(0);
    m_header->setFont(style::headline());
    m_header->setContentsMargins(12, 8, 12, 2);
    m_header->setTextFormat(Qt::PlainText);
    listLayout->addWidget(m_header);
    m_tree->setModel(m_model);
    m_tree->setItemDelegate(new FolderRow(m_tree));
    m_tree->setHeaderHidden(true);
    m_tree->setFrameShape(QFrame::NoFrame);
    m_tree->setUniformRowHeights(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setTextElideMode(Qt::ElideRight);
    m_tree->setAttribute(Qt::WA_MacShowFocusRect, false);
    listLayout->addWidget(m_tree);
    m_stack->addWidget(list);

    connect(m_openButton, &QPushButton::clicked, this, [this] { m_viewModel.openPSTFile(); });
    connect(&m_viewModel, &ostrelViewModel::foldersChanged, this, &SidebarView::refreshFolders);
    connect(&m_viewModel, &ostrelViewModel::currentFileNameChanged, this, &SidebarView::refreshHeader);
    connect(&m_viewModel, &ostrelViewModel::selectedFolderChanged, this, &SidebarView::refreshSelection);
    connect(m_tree->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList chosen = m_tree->selectionModel()->selectedIndexes();
        if (!chosen.isEmpty())
            userChose(chosen.constFirst());
    });
    refreshFolders();
    refreshHeader();
}

bool SidebarView::showsEmptyState() const
{
    return m_stack->currentIndex() == 0;
}

void SidebarView::refreshFolders()
{
    m_syncing = true;
    m_model->setFolders(m_viewModel.folders());
    m_syncing = false;
    m_stack->setCurrentIndex(m_viewModel.folders().isEmpty() ? 0 : 1);
    refreshSelection();
}

void SidebarView::refreshHeader()
{
    const auto name = m_viewModel.currentFileName();
    m_header->setText(name.value_or(QString()));
    m_header->setVisible(name.has_value());
}

void SidebarView::refreshSelection()
{
    m_syncing = true;
    const auto selected = m_viewModel.selectedFolder();
    const QModelIndex index = selected ? m_model->indexForId(selected->id) : QModelIndex();
    if (index.isValid())
        m_tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    else
        m_tree->selectionModel()->clear();
    m_syncing = false;
}

void SidebarView::userChose(const QModelIndex &index)
{
    if (m_syncing || !index.isValid())
        return;
    const QUuid id = index.data(FolderTreeModel::IdRole).toUuid();
    const QModelIndex found = m_model->indexForId(id);
    if (const MailFolder *folder = m_model->folder(found))
        m_viewModel.selectFolder(*folder);
}

}  // namespace ostrel
