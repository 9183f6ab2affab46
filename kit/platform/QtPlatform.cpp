#include "platform/QtPlatform.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace ostrel {

QtPlatform::QtPlatform(QWidget *parentWindow) : m_parent(parentWindow) {}

std::optional<QString> QtPlatform::runOpenPanel(const OpenPanelRequest &request)
{
    QFileDialog dialog(m_parent, request.message);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::Accept, request.prompt);
    if (!request.nameFilters.isEmpty())
        dialog.setNameFilters(request.nameFilters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtPlatform::runSavePanel(const SavePanelRequest &request)
{
    QFileDialog dialog(m_parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(request.proposedName);
    dialog.setOption(QFileDialog::ReadOnly, !request.canCreateDirectories);
    if (!request.nameFilters.isEmpty())
        dialog.setNameFilters(request.nameFilters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

int QtPlatform::runAlert(const AlertRequest &request)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(request.title);
    box.setText(request.title);
    box.setInformativeText(request.message);
    if (request.icon == AlertIcon::applicationIcon && !QApplication::windowIcon().isNull())
        box.setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    else
        box.setIcon(request.style == AlertStyle::warning ? QMessageBox::Warning
                                                         : QMessageBox::Information);
    QList<QAbstractButton *> buttons;
    // Button titles are the system's own texts; "&" in them is a character,
    // not a mnemonic marker ("Donate & Quit").
    for (QString title : request.buttons)
        buttons.append(box.addButton(title.replace(QLatin1Char('&'), QLatin1String("&&")), QMessageBox::AcceptRole));
    if (!buttons.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton *>(buttons.constFirst()));
        box.setEscapeButton(buttons.at(request.cancelIndex()));
    }
    box.exec();
    const qsizetype index = buttons.indexOf(box.clickedButton());
    return index < 0 ? request.cancelIndex() : static_cast<int>(index);
}

void QtPlatform::openUrl(const QUrl &url)
{
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

void QtPlatform::revealFile(const QString &path)
{
    // File managers that speak org.freedesktop.FileManager1 select the file;
    // otherwise open its folder.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

}  // namespace ostrel
