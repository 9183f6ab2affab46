#include "viewmodel/ostrelViewModel.h"

#include "platform/Platform.h"
#include "viewmodel/ArchiveFiles.h"
#include "viewmodel/SearchMatcher.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPromise>
#include <QSaveFile>
#include <algorithm>

namespace ostrel {

namespace {
QFuture<void> finished()
{
    QPromise<void> promise;
    promise.start();
    promise.finish();
    return promise.future();
}

// A settings value that is a list of texts. The INI store of this platform
// cannot tell a one-element list from a single text, so both read as a list.
std::optional<QStringList> textList(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QStringList:
        return value.toStringList();
    case QMetaType::QString:
        return QStringList{value.toString()};
    case QMetaType::QVariantList: {
        QStringList texts;
        for (const QVariant &item : value.toList()) {
            if (item.typeId() != QMetaType::QString)
                return std::nullopt;
            texts.append(item.toString());
        }
        return texts;
    }
    default:
        return std::nullopt;
    }
}

template <typename T>
bool assign(T &field, const T &value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}
}  // namespace

ostrelViewModel::ostrelViewModel(Platform &platform, QSettings *settings, std::unique_ptr<PSTActor> actor,
                                 QObject *parent)
    : QObject(parent), m_platform(platform), m_settings(settings), m_actor(std::move(actor))
{
    if (!m_actor)
        m_actor = std::make_unique<PSTActor>();
    loadRecentFiles();
}

ostrelViewModel::~ostrelViewModel() = default;

QSettings &ostrelViewModel::settings()
{
    if (m_settings)
        return *m_settings;
    if (!m_ownSettings)
        m_ownSettings = std::make_unique<QSettings>();
    return *m_ownSettings;
}

void ostrelViewModel::setIsLoading(bool value)
{
    if (assign(m_isLoading, value))
        emit isLoadingChanged();
}

void ostrelViewModel::setErrorMessage(const std::optional<QString> &value)
{
    if (assign(m_errorMessage, value))
        emit errorMessageChanged();
}

void ostrelViewModel::setFolders(const QList<MailFolder> &value)
{
    if (assign(m_folders, value))
        emit foldersChanged();
}

void ostrelViewModel::setSelectedFolder(const std::optional<MailFolder> &value)
{
    if (assign(m_selectedFolder, value))
        emit selectedFolderChanged();
}

void ostrelViewModel::setMessages(const QList<MailMessage> &value)
{
    if (assign(m_messages, value))
        emit messagesChanged();
}

void ostrelViewModel::setSelectedMessage(const std::optional<MailMessage> &value)
{
    if (assign(m_selectedMessage, value))
        emit selectedMessageChanged();
}

void ostrelViewModel::setSearchText(const QString &text)
{
    if (assign(m_searchText, text))
        emit searchTextChanged();
}

void ostrelViewModel::setCurrentFileName(const std::optional<QString> &value)
{
    if (assign(m_currentFileName, value))
        emit currentFileNameChanged();
}

void ostrelViewModel::setRecentFiles(const QList<QUrl> &value)
{
    if (assign(m_recentFiles, value))
        emit recentFilesChanged();
}

QFuture<void> ostrelViewModel::openPSTFile()
{
    OpenPanelRequest request;
    request.message = QCoreApplication::translate("ostrel", "Select a PST file");
    request.prompt = QCoreApplication::translate("ostrel", "Open");
    request.nameFilters = archiveNameFilters();
    const std::optional<QString> path = m_platform.runOpenPanel(request);
    if (!path || path->isEmpty())
        return finished();
    return openPSTFile(QUrl::fromLocalFile(*path));
}

QFuture<void> ostrelViewModel::openPSTFile(const QUrl &url)
{
    setIsLoading(true);
    setErrorMessage(std::nullopt);
    setSelectedFolder(std::nullopt);
    setSelectedMessage(std::nullopt);
    setMessages({});

    return m_actor->openFile(url)
        .then(this,
              [this, url](const PSTResult<QList<MailFolder>> &result) -> QFuture<void> {
                  if (!result) {
                      setErrorMessage(describeError(result.error()));
                      setIsLoading(false);
                      return finished();
                  }
                  setFolders(result.value());
                  setCurrentFileName(url.fileName());
                  addRecentFile(url);
                  std::optional<MailFolder> first = firstInbox(m_folders);
                  if (!first && !m_folders.isEmpty())
                      first = m_folders.constFirst();
                  if (!first) {
                      setIsLoading(false);
                      return finished();
                  }
                  return selectFolder(*first).then(this, [this] { setIsLoading(false); });
              })
        .unwrap();
}

void ostrelViewModel::clearError()
{
    setErrorMessage(std::nullopt);
}

std::optional<MailFolder> ostrelViewModel::firstInbox(const QList<MailFolder> &folders)
{
    for (const MailFolder &folder : folders) {
        if (folder.folderType == FolderType::inbox)
            return folder;
        if (auto nested = firstInbox(folder.children))
            return nested;
    }
    return std::nullopt;
}

QFuture<void> ostrelViewModel::selectFolder(const MailFolder &folder)
{
    setSelectedFolder(folder);
    setSelectedMessage(std::nullopt);
    setMessages({});
    if (folder.messageCount < 1)
        return finished();
    setIsLoading(true);
    return m_actor->loadMessages(folder, 0, m_pageSize)
        .then(this, [this](const PSTResult<QList<MailMessage>> &result) {
            if (result) {
                setMessages(result.value());
            } else {
                setErrorMessage(describeError(result.error()));
            }
            setIsLoading(false);
        });
}

void ostrelViewModel::selectMessage(const MailMessage &message)
{
    setSelectedMessage(message);
}

void ostrelViewModel::moveSelection(int step)
{
    const QList<MailMessage> list = messagesInListOrder();
    if (list.isEmpty())
        return;
    qsizetype current = -1;
    if (m_selectedMessage) {
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (list[i].id == m_selectedMessage->id) {
                current = i;
                break;
            }
        }
    }
    const qsizetype target = std::clamp<qsizetype>(current + step, 0, list.size() - 1);
    if (target == current)
        return;
    selectMessage(list[target]);
}

QList<MailMessage> ostrelViewModel::filteredMessages() const
{
    return filterMessages(m_messages, m_searchText);
}

QList<MailMessage> ostrelViewModel::messagesInListOrder() const
{
    return inListOrder(filteredMessages());
}

QList<MailMessage> filterMessages(const QList<MailMessage> &messages, const QString &searchText,
                                  const QLocale &locale)
{
    if (searchText.isEmpty())
        return messages;
    const SearchMatcher matcher(searchText, locale);
    QList<MailMessage> result;
    for (const MailMessage &message : messages) {
        if (matcher.matches(message.subject) || matcher.matches(message.sender)
            || matcher.matches(message.senderEmail) || matcher.matches(message.preview()))
            result.append(message);
    }
    return result;
}

QList<MailMessage> inListOrder(QList<MailMessage> messages)
{
    std::stable_sort(messages.begin(), messages.end(),
                     [](const MailMessage &a, const MailMessage &b) { return a.date > b.date; });
    return messages;
}

QFuture<std::optional<QString>> ostrelViewModel::saveAttachment(const Attachment &attachment, const QString &path)
{
    if (attachment.data) {
        // Loaded bytes are small (below the inline limit): written here, in one
        // go, through a file that only replaces the target when complete.
        QSaveFile out(path);
        std::optional<QString> failure;
        if (!out.open(QIODevice::WriteOnly) || out.write(*attachment.data) != attachment.data->size()
            || !out.commit())
            failure = describeError(DescribedError{out.errorString()});
        QPromise<std::optional<QString>> promise;
        promise.start();
        promise.addResult(failure);
        promise.finish();
        return promise.future();
    }
    return m_actor->saveAttachment(attachment, path)
        .then(this, [](const Expected<qint64, AttachmentSaveError> &result) -> std::optional<QString> {
            if (result)
                return std::nullopt;
            return describeError(result.error());
        });
}

QFuture<Expected<MailMessage, QString>> ostrelViewModel::openAttachedMessage(const Attachment &attachment)
{
    return m_actor->openAttachedMessage(attachment).then(
        this, [](const PSTResult<MailMessage> &result) -> Expected<MailMessage, QString> {
            if (result)
                return result.value();
            return describeError(result.error());
        });
}

void ostrelViewModel::loadRecentFiles()
{
    const auto stored = textList(settings().value(kRecentFilesKey));
    QList<QUrl> urls;
    for (const QString &path : stored.value_or(QStringList())) {
        if (!path.isEmpty() && QFileInfo::exists(path))
            urls.append(QUrl::fromLocalFile(path));
    }
    setRecentFiles(urls);
}

void ostrelViewModel::addRecentFile(const QUrl &url)
{
    QList<QUrl> list = m_recentFiles;
    list.removeAll(url);
    list.prepend(url);
    if (list.size() > kRecentFilesLimit)
        list.resize(kRecentFilesLimit);
    setRecentFiles(list);
    QStringList paths;
    for (const QUrl &entry : std::as_const(list))
        paths.append(entry.toLocalFile());
    settings().setValue(kRecentFilesKey, paths);
    settings().sync();
}

void ostrelViewModel::clearRecentFiles()
{
    setRecentFiles({});
    settings().remove(kRecentFilesKey);
    settings().sync();
}

void ostrelViewModel::openRecentFile(const QUrl &url)
{
    openPSTFile(url);
}

}  // namespace ostrel
