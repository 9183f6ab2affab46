#include "AppShell.h"

#include "Endpoints.h"
#include "MainWindow.h"
#include "UpdateController.h"
#include "icons/SymbolIcons.h"
#include "platform/Platform.h"
#include "viewmodel/ostrelViewModel.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

namespace ostrel {

namespace {
QUrl urlOf(const char *text)
{
    const QUrl url(QString::fromUtf8(text), QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() ? url : QUrl();
}

// Appends text with a format, turning the web addresses in it into links.
void appendLinked(QTextCursor &cursor, const QString &text, const QTextCharFormat &format)
{
    static const QRegularExpression address(QStringLiteral("(https?://[^\\s<>()\"]+[^\\s<>()\".,;:])"));
    qsizetype position = 0;
    auto matches = address.globalMatch(text);
    while (matches.hasNext()) {
        const auto match = matches.next();
        cursor.insertText(text.mid(position, match.capturedStart() - position), format);
        QTextCharFormat link = format;
        link.setAnchor(true);
        link.setAnchorHref(match.captured(1));
        link.setForeground(QApplication::palette().color(QPalette::Link));
        link.setFontUnderline(true);
        cursor.insertText(match.captured(1), link);
        position = match.capturedEnd();
    }
    cursor.insertText(text.mid(position), format);
}

QTextCharFormat textFormat(const QFont &font, const QColor &colour)
{
    QTextCharFormat format;
    format.setFont(font);
    format.setForeground(colour);
    return format;
}

QFont sized(QFont font, int pixels, QFont::Weight weight = QFont::Normal)
{
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}
}  // namespace

AppShell::AppShell(Platform &platform, QSettings *settings, QString resourceRoot, QObject *parent)
    : QObject(parent), m_platform(platform), m_settings(settings), m_resourceRoot(std::move(resourceRoot))
{
}

AppShell::~AppShell()
{
    delete m_acknowledgements;
}

MainWindow *AppShell::newWindow()
{
    auto *window = new MainWindow(*this, m_platform, m_settings);
    m_windows.append(window);
    connect(window, &QObject::destroyed, this, [this] { m_windows.removeAll(nullptr); });
    if (m_updates)
        connect(window, &MainWindow::firstShown, m_updates, [updates = m_updates] { updates->checkForUpdatesIfDue(); });
    return window;
}

QList<MainWindow *> AppShell::windows() const
{
    QList<MainWindow *> alive;
    for (const auto &window : m_windows) {
        if (window)
            alive.append(window);
    }
    return alive;
}

void AppShell::buildMenus(MainWindow &window, QMenuBar &bar)
{
    QMenu *file = bar.addMenu(tr("&File"));
    QAction *open = file->addAction(tr("Open PST\u2026"));
    open->setShortcut(QKeySequence::Open);
    open->setObjectName(QStringLiteral("openPST"));
    connect(open, &QAction::triggered, &window, [&window] { window.viewModel().openPSTFile(); });

    QMenu *recent = file->addMenu(tr("Open Recent"));
    recent->setObjectName(QStringLiteral("openRecent"));
    fillRecentMenu(window, *recent);
    connect(&window.viewModel(), &ostrelViewModel::recentFilesChanged, recent,
            [this, &window, recent] { fillRecentMenu(window, *recent); });

    file->addSeparator();
    QAction *newWindow = file->addAction(tr("New Window"));
    newWindow->setShortcut(QKeySequence::New);
    connect(newWindow, &QAction::triggered, this, [this] { this->newWindow()->show(); });
    QAction *close = file->addAction(tr("Close Window"));
    close->setShortcut(QKeySequence::Close);
    connect(close, &QAction::triggered, &window, &QWidget::close);
    file->addSeparator();
    QAction *quit = file->addAction(tr("Quit"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, &AppShell::requestQuit);

    QMenu *help = bar.addMenu(tr("&Help"));
    connect(help->addAction(tr("ostrel Website")), &QAction::triggered, this, &AppShell::openProductSite);
    connect(help->addAction(tr("Contact Support")), &QAction::triggered, this, &AppShell::contactSupport);
    QAction *donate = help->addAction(symbolIcon(QStringLiteral("heart"), bar.palette().color(QPalette::WindowText)),
                                      tr("Support ostrel\u2026"));
    connect(donate, &QAction::triggered, this, &AppShell::openDonationPage);
    help->addSeparator();
    connect(help->addAction(tr("Acknowledgements")), &QAction::triggered, this, [this] { showAcknowledgements(); });
    help->addSeparator();
    QAction *about = help->addAction(tr("About ostrel"));
    about->setMenuRole(QAction::AboutRole);
    about->setObjectName(QStringLiteral("about"));
    connect(about, &QAction::triggered, this, &AppShell::showAboutPanel);

    if (m_updates && m_updates->isUpdateCheckingAvailable()) {
        QAction *check = help->addAction(tr("Check for Updates\u2026"));
        check->setObjectName(QStringLiteral("checkForUpdates"));
        check->setMenuRole(QAction::ApplicationSpecificRole);
        check->setEnabled(!m_updates->isChecking());
        connect(m_updates, &UpdateController::isCheckingChanged, check, [check](bool checking) { check->setEnabled(!checking); });
        connect(check, &QAction::triggered, m_updates, [updates = m_updates] {
            if (updates->isUpdateCheckingAvailable())
                updates->checkForUpdates(true);
        });
    }
}

void AppShell::fillRecentMenu(MainWindow &window, QMenu &menu)
{
    menu.clear();
    const QList<QUrl> files = window.viewModel().recentFiles();
    if (files.isEmpty()) {
        menu.addAction(tr("No items"))->setEnabled(false);
        menu.setEnabled(false);
        return;
    }
    menu.setEnabled(true);
    for (const QUrl &url : files) {
        QAction *entry = menu.addAction(url.fileName());  // as written, never translated
        entry->setData(url);
        connect(entry, &QAction::triggered, &window, [&window, url] { window.viewModel().openRecentFile(url); });
    }
    menu.addSeparator();
    QAction *clear = menu.addAction(tr("Clear Menu"));
    connect(clear, &QAction::triggered, &window, [&window] { window.viewModel().clearRecentFiles(); });
}

void AppShell::showAboutPanel()
{
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(tr("About ostrel"));
    auto *layout = new QVBoxLayout(&dialog);
    auto *icon = new QLabel;
    icon->setPixmap(applicationIcon().pixmap(96, 96));
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    auto *name = new QLabel(QStringLiteral("<b style='font-size:16px'>ostrel</b><br>")
                            + tr("Version %1").arg(QString::fromLatin1(endpoints::version)));
    name->setAlignment(Qt::AlignCenter);
    layout->addWidget(name);

    const auto link = [](const QString &text, const QUrl &url) {
        return url.isValid() ? QStringLiteral("<a href=\"%1\">%2</a>").arg(url.toString(QUrl::FullyEncoded), text.toHtmlEscaped())
                             : text.toHtmlEscaped();
    };
    const QString support = QString::fromUtf8(endpoints::supportEmail);
    const QString credits = QString::fromUtf8(endpoints::creditLine).toHtmlEscaped() + QStringLiteral("<br>")
                            + link(QString::fromUtf8(endpoints::developerSiteDisplay), urlOf(endpoints::developerSite))
                            + QStringLiteral("<br>") + link(support, QUrl(QStringLiteral("mailto:") + support))
                            + QStringLiteral("<br><br>")
                            + link(QString::fromUtf8(endpoints::productHost), urlOf(endpoints::productSite))
                            + QStringLiteral("<br><br><small>%1</small>")
                                  .arg(QString::fromUtf8(endpoints::copyrightLine).toHtmlEscaped());
    auto *text = new QLabel(credits);
    text->setObjectName(QStringLiteral("credits"));
    text->setAlignment(Qt::AlignCenter);
    text->setTextFormat(Qt::RichText);
    text->setOpenExternalLinks(false);
    connect(text, &QLabel::linkActivated, this, [this](const QString &href) { m_platform.openUrl(QUrl(href)); });
    layout->addWidget(text);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.exec();
}

QString AppShell::licenseText(const QString &name, const QString &extension) const
{
    const QString file = name + QLatin1Char('.') + extension;
    const QDir root(m_resourceRoot);
    for (const QString &candidate : {root.filePath(QStringLiteral("Licenses/") + file), root.filePath(file)}) {
        QFile in(candidate);
        if (!in.open(QIODevice::ReadOnly))
            continue;
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = decoder.decode(in.readAll());
        if (!decoder.hasError())
            return text;
    }
    return tr("(License text not found in bundle: %1)").arg(file);
}

void AppShell::fillAcknowledgements(QTextDocument &document) const
{
    document.clear();
    QTextCursor cursor(&document);
    const QPalette palette = QApplication::palette();
    const QFont system = QApplication::font();
    const QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QColor label = palette.color(QPalette::WindowText);
    QColor secondary = label;
    secondary.setAlphaF(0.7f);
    const QString dash(QChar(0x2014));

    appendLinked(cursor, licenseText(QStringLiteral("NOTICE"), QStringLiteral("txt")) + QLatin1Char('\n'),
                 textFormat(sized(system, 12), label));
    cursor.insertText(QStringLiteral("\n%1 LGPL-3.0 %1\n\n").arg(dash), textFormat(sized(system, 14, QFont::DemiBold), label));
    appendLinked(cursor, licenseText(QStringLiteral("LGPL-3.0"), QStringLiteral("txt")) + QLatin1Char('\n'),
                 textFormat(sized(mono, 11), secondary));
    cursor.insertText(QStringLiteral("\n%1 GPL-3.0 %1\n\n").arg(dash), textFormat(sized(system, 14, QFont::DemiBold), label));
    appendLinked(cursor, licenseText(QStringLiteral("GPL-3.0"), QStringLiteral("txt")), textFormat(sized(mono, 11), secondary));
}

QWidget *AppShell::showAcknowledgements()
{
    if (!m_acknowledgements) {
        auto *window = new QWidget(nullptr, Qt::Window);
        window->setObjectName(QStringLiteral("acknowledgements"));
        window->setWindowTitle(tr("Acknowledgements"));
        window->resize(720, 560);
        auto *layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *text = new QTextBrowser;
        text->setFrameShape(QFrame::NoFrame);
        text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        text->setOpenLinks(false);
        text->setContentsMargins(24, 20, 24, 20);
        fillAcknowledgements(*text->document());
        connect(text, &QTextBrowser::anchorClicked, this, [this](const QUrl &url) { m_platform.openUrl(url); });
        layout->addWidget(text);
        m_acknowledgements = window;  // kept when closed, brought back on the next request
    }
    m_acknowledgements->show();
    m_acknowledgements->raise();
    m_acknowledgements->activateWindow();
    return m_acknowledgements;
}

void AppShell::openDonationPage()
{
    const QUrl url = urlOf(endpoints::donationPage);
    if (url.isValid())
        m_platform.openUrl(url);
}

void AppShell::openProductSite()
{
    const QUrl url = urlOf(endpoints::productSite);
    if (url.isValid())
        m_platform.openUrl(url);
}

void AppShell::contactSupport()
{
    const QUrl url(QStringLiteral("mailto:") + QString::fromUtf8(endpoints::supportEmail));
    if (url.isValid())
        m_platform.openUrl(url);
}

void AppShell::showSupportPrompt()
{
    AlertRequest alert;
    alert.style = AlertStyle::informational;
    alert.icon = AlertIcon::applicationIcon;
    alert.title = tr("Support ostrel development");
    alert.message = tr("ostrel is developed independently and provided free of charge. If the app has helped you, "
                       "you can support its continued development with a voluntary donation.");
    alert.buttons = {tr("Donate & Quit"), tr("Just Quit")};
    if (m_platform.runAlert(alert) == 0)
        openDonationPage();
}

void AppShell::requestQuit()
{
    if (m_quitting)
        return;
    m_quitting = true;
    showSupportPrompt();
    for (MainWindow *window : windows())
        window->close();
    if (m_acknowledgements)
        m_acknowledgements->close();
    emit quitRequested();
}

}  // namespace ostrel
