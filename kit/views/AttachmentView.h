#pragma once

#include "model/Attachment.h"

#include <QFuture>
#include <QWidget>
#include <optional>

namespace ostrel {

class Platform;
class ostrelViewModel;

// One chip of the attachment strip: icon, short name and size. For a file, a
// double click or "Save as…" saves it to a file the user chooses; for an
// attached message, a double click or "Open" asks to open it.
class AttachmentView : public QWidget {
    Q_OBJECT
public:
    AttachmentView(const Attachment &attachment, ostrelViewModel &viewModel, Platform &platform,
                   QWidget *parent = nullptr);

    const Attachment &attachment() const { return m_attachment; }
    const std::optional<QString> &saveError() const { return m_saveError; }
    QString sizeText() const;

    // The actions the chip's menu offers, as shown.
    QStringList actionNames() const;

    // Runs the save panel and writes the file; finishes when the file is
    // written or the failure has been shown.
    QFuture<void> save();

    QSize sizeHint() const override;

signals:
    void saveFinished();
    void openRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void showSaveError(const QString &message);

    Attachment m_attachment;
    ostrelViewModel &m_viewModel;
    Platform &m_platform;
    std::optional<QString> m_saveError;
};

}  // namespace ostrel
