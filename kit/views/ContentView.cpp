#include "views/ContentView.h"

#include "icons/SymbolIcons.h"
#include "platform/Platform.h"
#include "viewmodel/ArchiveFiles.h"
#include "viewmodel/ostrelViewModel.h"
#include "views/MessageDetailView.h"
#include "views/MessageListView.h"
#include "views/SidebarView.h"
#include "views/Style.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace ostrel {

namespace {
// Dims the window and takes every click while an archive loads.
class LoadingOverlay : public QWidget {
public:
    explicit LoadingOverlay(QWidget *parent) : QWidget(parent)
    {
        auto *layout = new QVBoxLayout(this);
        auto *panel = new QWidget;
        panel->setObjectName(QStringLiteral("loadingPanel"));
        panel->setAttribute(Qt::WA_StyledBackground);
        panel->setStyleSheet(QStringLiteral("#loadingPanel { background: palette(window); border-radius: 12px; }"));
        auto *panelLayout = new QVBoxLayout(panel);
        panelLayout->setContentsMargins(20, 20, 20, 20);
        auto *progress = new QProgressBar;
        progress->setRange(0, 0);
        progress->setTextVisible(false);
        progress->setFixedWidth(160);
        auto *label = new QLabel(QCoreApplication::translate("ostrel", "Loading PST file\u2026"));
        label->setAlignment(Qt::AlignCenter);
        panelLayout->addWidget(progress, 0, Qt::AlignHCenter);
        panelLayout->addWidget(label);
        layout->addStretch();
        layout->addWidget(panel, 0, Qt::AlignCenter);
        layout->addStretch();
        setAttribute(Qt::WA_NoMousePropagation);
    }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), QColor(0, 0, 0, 51)); }
    void mousePressEvent(QMouseEvent *event) override { event->accept(); }
    void mouseReleaseEvent(QMouseEvent *event) override { event->accept(); }
    void mouseDoubleClickEvent(QMouseEvent *event) override { event->accept(); }
    void wheelEvent(QWheelEvent *event) override { event->accept(); }
};

// The accent outline while files are dragged over the window; takes no clicks.
class DropHighlight : public QWidget {
public:
    explicit DropHighlight(QWidget *parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        // Stroked inside the edge of a rectangle inset 8 from the window's content.
        const QRectF outline = QRectF(rect()).adjusted(8 + 1.5, 8 + 1.5, -8 - 1.5, -8 - 1.5);
        painter.setPen(QPen(style::accent(palette()), 3));
        painter.drawRoundedRect(outline, 12 - 1.5, 12 - 1.5);
    }
};

bool carriesFileUrls(const QMimeData *mime)
{
    if (!mime || !mime->hasUrls())
        return false;
    for (const QUrl &url : mime->urls()) {
        if (url.isLocalFile())
            return true;
    }
    return false;
}
}  // namespace

ContentView::ContentView(Platform &platform, QSettings *settings, QWidget *parent)
    : QWidget(parent),
      m_platform(platform),
      m_viewModel(std::make_unique<ostrelViewModel>(platform, settings)),
      m_toolbar(new QToolBar),
      m_openButton(new QToolButton),
      m_fileName(new QLabel),
      m_splitter(new QSplitter(Qt::Horizontal))
{
    setAcceptDrops(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Toolbar: open button at the leading edge, the file name in the centre,
    // the search field at the trailing edge.
    m_openButton->setText(tr("Open PST File"));
    m_openButton->setIcon(symbolIcon(QStringLiteral("folder.badge.plus"), style::primary(palette())));
    m_openButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_openButton->setToolTip(tr("Open PST file (Ctrl+O)"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->addWidget(m_openButton);
    auto *leading = new QWidget;
    leading->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolbar->addWidget(leading);
    m_fileName->setFont(style::headline());
    m_fileName->setTextFormat(Qt::PlainText);
    m_toolbar->addWidget(m_fileName);
    auto *trailing = new QWidget;
    trailing->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolbar->addWidget(trailing);
    layout->addWidget(m_toolbar);

    m_sidebar = new SidebarView(*m_viewModel);
    m_messageList = new MessageListView(*m_viewModel);
    m_detail = new MessageDetailView(*m_viewModel, m_platform);
    m_toolbar->addWidget(m_messageList->searchField());
    m_sidebar->setMinimumWidth(200);
    m_sidebar->setMaximumWidth(300);
    m_messageList->setMinimumWidth(280);
    m_messageList->setMaximumWidth(500);
    m_splitter->addWidget(m_sidebar);
    m_splitter->addWidget(m_messageList);
    m_splitter->addWidget(m_detail);
    m_splitter->setChildrenCollapsible(true);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 0);
    m_splitter->setStretchFactor(2, 1);
    m_splitter->setSizes({220, 350, 630});
    layout->addWidget(m_splitter, 1);

    m_overlay = new LoadingOverlay(this);
    m_overlay->hide();
    m_dropHighlight = new DropHighlight(this);
    m_dropHighlight->hide();

    connect(m_openButton, &QToolButton::clicked, this, [this] { m_viewModel->openPSTFile(); });
    connect(m_viewModel.get(), &ostrelViewModel::currentFileNameChanged, this,
            [this] { m_fileName->setText(m_viewModel->currentFileName().value_or(QString())); });
    connect(m_viewModel.get(), &ostrelViewModel::isLoadingChanged, this, [this] {
        m_overlay->setVisible(m_viewModel->isLoading());
        if (m_viewModel->isLoading())
            m_overlay->raise();
    });
    // Queued, so the alert runs after the operation that set the error has
    // finished publishing.
    connect(m_viewModel.get(), &ostrelViewModel::errorMessageChanged, this, &ContentView::showErrorIfAny,
            Qt::QueuedConnection);
}

ContentView::~ContentView() = default;

bool ContentView::showsLoadingOverlay() const
{
    return !m_overlay->isHidden();
}

bool ContentView::showsDropHighlight() const
{
    return m_isDropTargeted && !m_dropHighlight->isHidden();
}

void ContentView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_overlay->setGeometry(rect());
    m_dropHighlight->setGeometry(rect());
}

void ContentView::setDropTargeted(bool targeted)
{
    m_isDropTargeted = targeted;
    m_dropHighlight->setVisible(targeted);
    if (targeted)
        m_dropHighlight->raise();
}

void ContentView::dragEnterEvent(QDragEnterEvent *event)
{
    if (!carriesFileUrls(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    setDropTargeted(true);
}

void ContentView::dragMoveEvent(QDragMoveEvent *event)
{
    if (carriesFileUrls(event->mimeData()))
        event->acceptProposedAction();
}

void ContentView::dragLeaveEvent(QDragLeaveEvent *event)
{
    setDropTargeted(false);
    event->accept();
}

void ContentView::dropEvent(QDropEvent *event)
{
    setDropTargeted(false);
    const QList<QUrl> urls = event->mimeData() ? event->mimeData()->urls() : QList<QUrl>();
    if (urls.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (const std::optional<QUrl> archive = droppedArchive(urls))
        m_viewModel->openPSTFile(*archive);
}

void ContentView::showErrorIfAny()
{
    if (m_alertShowing || !m_viewModel->errorMessage())
        return;
    m_alertShowing = true;
    AlertRequest alert;
    alert.style = AlertStyle::warning;
    alert.title = tr("Error");
    alert.message = m_viewModel->errorMessage().value_or(QString());
    alert.buttons = {tr("OK")};
    m_platform.runAlert(alert);
    m_alertShowing = false;
    // OK and every other way of closing the alert clear the error.
    m_viewModel->clearError();
}

}  // namespace ostrel
