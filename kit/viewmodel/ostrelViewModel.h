#pragma once

#include "model/MailFolder.h"
#include "model/MailMessage.h"
#include "pst/PSTActor.h"
#include "viewmodel/AnyError.h"

#include <QFuture>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QSettings>
#include <QUrl>
#include <memory>
#include <optional>

namespace ostrel {

class Platform;

// The messages that contain searchText in subject, sender, sender address or
// preview, ignoring case and diacritics; all of them for an empty text.
QList<MailMessage> filterMessages(const QList<MailMessage> &messages, const QString &searchText,
                                  const QLocale &locale = QLocale());
// Newest first; a message goes ahead only when its date is strictly later.
QList<MailMessage> inListOrder(QList<MailMessage> messages);

// The browsing state of one main window: what is open, selected, loaded and
// searched. Lives on the main thread; the reader works on its own thread and
// is awaited through futures.
class ostrelViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(std::optional<QString> errorMessage READ errorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(QList<ostrel::MailFolder> folders READ folders NOTIFY foldersChanged)
    Q_PROPERTY(std::optional<ostrel::MailFolder> selectedFolder READ selectedFolder NOTIFY selectedFolderChanged)
    Q_PROPERTY(QList<ostrel::MailMessage> messages READ messages NOTIFY messagesChanged)
    Q_PROPERTY(std::optional<ostrel::MailMessage> selectedMessage READ selectedMessage NOTIFY selectedMessageChanged)
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(std::optional<QString> currentFileName READ currentFileName NOTIFY currentFileNameChanged)
    Q_PROPERTY(QList<QUrl> recentFiles READ recentFiles NOTIFY recentFilesChanged)

public:
    static constexpr int kRecentFilesLimit = 5;
    static inline const QString kRecentFilesKey = QStringLiteral("ostrel.recentFiles");

    // settings: the store of the recent files (not owned); the application's
    // default store when null. actor: the reader; a new one when null.
    explicit ostrelViewModel(Platform &platform, QSettings *settings = nullptr,
                             std::unique_ptr<PSTActor> actor = nullptr, QObject *parent = nullptr);
    ~ostrelViewModel() override;

    bool isLoading() const { return m_isLoading; }
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    const QList<MailFolder> &folders() const { return m_folders; }
    const std::optional<MailFolder> &selectedFolder() const { return m_selectedFolder; }
    const QList<MailMessage> &messages() const { return m_messages; }
    const std::optional<MailMessage> &selectedMessage() const { return m_selectedMessage; }
    const QString &searchText() const { return m_searchText; }
    const std::optional<QString> &currentFileName() const { return m_currentFileName; }
    const QList<QUrl> &recentFiles() const { return m_recentFiles; }
    PSTActor &pstActor() { return *m_actor; }
    int pageSize() const { return m_pageSize; }

    void setSearchText(const QString &text);

    // Opening. The futures finish when the operation has published its result.
    QFuture<void> openPSTFile();
    QFuture<void> openPSTFile(const QUrl &url);
    void clearError();
    static std::optional<MailFolder> firstInbox(const QList<MailFolder> &folders);

    // Selection, paging and search.
    QFuture<void> selectFolder(const MailFolder &folder);
    void selectMessage(const MailMessage &message);
    void moveSelection(int step);
    QList<MailMessage> filteredMessages() const;
    // filteredMessages, newest first; equal dates keep the reader's order.
    QList<MailMessage> messagesInListOrder() const;

    // Writes an attachment's bytes to path: the loaded ones, or else read
    // from the open archive. The future gives the error text, or none.
    QFuture<std::optional<QString>> saveAttachment(const Attachment &attachment, const QString &path);

    // A message attached to a message shown (an attachment with isMessage),
    // read whole; the future gives it, or the error text.
    QFuture<Expected<MailMessage, QString>> openAttachedMessage(const Attachment &attachment);

    // Recent files.
    void loadRecentFiles();
    void addRecentFile(const QUrl &url);
    void clearRecentFiles();
    void openRecentFile(const QUrl &url);

signals:
    void isLoadingChanged();
    void errorMessageChanged();
    void foldersChanged();
    void selectedFolderChanged();
    void messagesChanged();
    void selectedMessageChanged();
    void searchTextChanged();
    void currentFileNameChanged();
    void recentFilesChanged();

private:
    void setIsLoading(bool value);
    void setErrorMessage(const std::optional<QString> &value);
    void setFolders(const QList<MailFolder> &value);
    void setSelectedFolder(const std::optional<MailFolder> &value);
    void setMessages(const QList<MailMessage> &value);
    void setSelectedMessage(const std::optional<MailMessage> &value);
    void setCurrentFileName(const std::optional<QString> &value);
    void setRecentFiles(const QList<QUrl> &value);
    QSettings &settings();

    Platform &m_platform;
    QSettings *m_settings = nullptr;
    std::unique_ptr<QSettings> m_ownSettings;

    bool m_isLoading = false;
    std::optional<QString> m_errorMessage;
    QList<MailFolder> m_folders;
    std::optional<MailFolder> m_selectedFolder;
    QList<MailMessage> m_messages;
    std::optional<MailMessage> m_selectedMessage;
    QString m_searchText;
    std::optional<QString> m_currentFileName;
    QList<QUrl> m_recentFiles;
    std::unique_ptr<PSTActor> m_actor;
    int m_pageSize = 100;
};

}  // namespace ostrel
