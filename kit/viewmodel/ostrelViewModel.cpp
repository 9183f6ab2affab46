#include "viewmodel/ostrelViewModel.h"

#include "platform/Platform.h"
#include "viewmodel/ArchiveFiles.h"
#include "viewmodel/SearchMatcher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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

// Cancels work that has not finished. A finished future is left alone: its
// continuation may be gone, and Qt 6.4 would still reach it when cancelling.
template <typename T>
void stop(QFuture<T> &future)
{
    if (!future.isFinished())
        future.cancel();
}

// Merges part (in list order) into rows (in list order), from the back: only
// the rows behind the first new one move, each once, and nothing is
// allocated beyond room rows already has.
void mergeRows(QList<MessageRow> &rows, QList<MessageRow> &&part)
{
    if (part.isEmpty())
        return;
    qsizetype from = rows.size();
    qsizetype take = part.size();
    rows.resize(from + take);
    qsizetype to = rows.size();
    while (take > 0) {
        if (from > 0 && listsBefore(part[take - 1], rows[from - 1]))
            rows[--to] = std::move(rows[--from]);
        else
            rows[--to] = std::move(part[--take]);
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
    m_matcher = std::make_unique<SearchMatcher>();
    connect(&m_listingWatcher, &QFutureWatcher<RowChunk>::resultsReadyAt, this,
            &ostrelViewModel::takeListingResults);
    connect(&m_bodySearchWatcher, &QFutureWatcher<QUuid>::resultsReadyAt, this, [this](int begin, int end) {
        if (m_bodySearch.isCanceled())
            return;  // a scan for an old text
        // Matches come one by one; they join the list in batches, so the
        // list is rebuilt a few times a second, not once per match.
        for (int i = begin; i < end; ++i)
            m_pendingBodyMatches.insert(m_bodySearch.resultAt(i));
        if (!m_bodyMatchTimer.isActive())
            m_bodyMatchTimer.start();
    });
    m_bodyMatchTimer.setSingleShot(true);
    m_bodyMatchTimer.setInterval(kBodyMatchBatchMs);
    m_searchSlicer.setSingleShot(true);
    m_searchSlicer.setInterval(0);
    connect(&m_searchSlicer, &QTimer::timeout, this, &ostrelViewModel::searchSlice);
    connect(&m_bodyMatchTimer, &QTimer::timeout, this, [this] { addBodyMatches(std::exchange(m_pendingBodyMatches, {})); });
    connect(&m_bodySearchWatcher, &QFutureWatcher<QUuid>::progressValueChanged, this,
            &ostrelViewModel::bodySearchChanged);
    connect(&m_bodySearchWatcher, &QFutureWatcher<QUuid>::finished, this, &ostrelViewModel::bodySearchChanged);
    loadRecentFiles();
}

ostrelViewModel::~ostrelViewModel()
{
    stop(m_listing);
    stop(m_bodySearch);
    stop(m_read);
}

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

void ostrelViewModel::clearRows()
{
    stop(m_listing);
    m_listingWatcher.setFuture(QFuture<RowChunk>());
    m_listing = QFuture<RowChunk>();
    ++m_listingGeneration;
    m_listingTaken = 0;
    m_listingComplete = true;
    m_unreadableRows = 0;
    m_listingFailure.reset();
    stop(m_bodySearch);
    m_bodyMatches.clear();
    m_pendingBodyMatches.clear();
    m_bodyMatchTimer.stop();
    m_searchSlicer.stop();
    m_searchCursor = -1;
    m_previews.clear();
    m_previewsAsked.clear();
    // Let go of the memory too: a large folder's rows are many megabytes.
    releaseRows(std::exchange(m_rows, {}));
    releaseRows(std::exchange(m_shownRows, {}));
    emit rowsChanged();
}

void ostrelViewModel::releaseRows(QList<MessageRow> &&rows)
{
    // Freeing a few hundred thousand rows takes longer than a frame: that
    // happens on the reader's thread, in turn with its work, so the next
    // folder's rows take the memory these give back.
    if (rows.size() <= kFreeInPlaceRows || !rows.isDetached())
        return;
    m_actor->releaseRows(std::move(rows));
}

void ostrelViewModel::setSelectedMessage(const std::optional<MailMessage> &value)
{
    if (assign(m_selectedMessage, value))
        emit selectedMessageChanged();
}

void ostrelViewModel::setSearchText(const QString &text)
{
    if (!assign(m_searchText, text))
        return;
    // A new text replaces the scan of the old one.
    stop(m_bodySearch);
    ++m_searchGeneration;
    m_bodyMatches.clear();
    m_pendingBodyMatches.clear();
    m_bodyMatchTimer.stop();
    m_matcher->setPattern(m_searchText);
    refreshShownRows();
    if (m_listingComplete && !isSearchingRows())
        startBodySearch();
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
    stop(m_read);
    ++m_readGeneration;
    if (m_selectedRowId) {
        m_selectedRowId.reset();
        emit selectedRowChanged();
    }
    setSelectedMessage(std::nullopt);
    clearRows();

    return m_actor->openFile(url)
        .then(this,
              [this, url](const PSTResult<QList<MailFolder>> &result) -> QFuture<void> {
                  m_namedPropertiesFailure.reset();
                  if (!result) {
                      setErrorMessage(describeError(result.error()));
                      setIsLoading(false);
                      return finished();
                  }
                  m_namedPropertiesFailure = m_actor->namedPropertiesFailure();
                  setFolders(result.value());
                  setCurrentFileName(url.fileName());
                  addRecentFile(url);
                  std::optional<MailFolder> first = firstInbox(m_folders);
                  // Else the mailbox's first folder, else the archive's.
                  const MailFolder *mailbox = findMailboxRoot(m_folders);
                  if (!first && mailbox && !mailbox->children.isEmpty())
                      first = mailbox->children.constFirst();
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

namespace {
std::optional<MailFolder> firstInboxIn(const QList<MailFolder> &folders)
{
    for (const MailFolder &folder : folders) {
        if (folder.folderType == FolderType::inbox)
            return folder;
        if (auto nested = firstInboxIn(folder.children))
            return nested;
    }
    return std::nullopt;
}
}  // namespace

std::optional<MailFolder> ostrelViewModel::firstInbox(const QList<MailFolder> &folders)
{
    // The mailbox's inbox before one among the store's own folders.
    if (const MailFolder *mailbox = findMailboxRoot(folders)) {
        if (auto inbox = firstInboxIn(mailbox->children))
            return inbox;
    }
    return firstInboxIn(folders);
}

QFuture<void> ostrelViewModel::selectFolder(const MailFolder &folder)
{
    setSelectedFolder(folder);
    stop(m_read);
    ++m_readGeneration;
    if (m_selectedRowId) {
        m_selectedRowId.reset();
        emit selectedRowChanged();
    }
    m_messageFailure.reset();
    if (assign(m_readingMessage, false))
        emit isReadingMessageChanged();
    setSelectedMessage(std::nullopt);
    const bool wasListing = !m_listingComplete;
    clearRows();
    // A folder that says it holds nothing is not listed.
    if (folder.messageCount < 1 && !folder.messageCountFailure) {
        if (wasListing)
            setIsLoading(false);
        return finished();
    }
    setIsLoading(true);
    m_listingComplete = false;
    m_listing = m_actor->listFolder(folder);
    m_listingWatcher.setFuture(m_listing);
    // The continuation takes what the watcher has not yet delivered, so the
    // returned future finishes with every row in place.
    return m_listing
        .then(this,
              [this, generation = m_listingGeneration](QFuture<RowChunk>) {
                  if (generation == m_listingGeneration)
                      takeListingResults();
              })
        .onCanceled([] {});
}

void ostrelViewModel::takeListingResults()
{
    if (m_listingComplete || m_listing.isCanceled())
        return;
    const int available = m_listing.resultCount();
    if (available <= m_listingTaken)
        return;
    bool last = false;
    bool replaced = false;
    for (; m_listingTaken < available; ++m_listingTaken) {
        const RowChunk chunk = m_listing.resultAt(m_listingTaken);
        QList<MessageRow> part = chunk.takeRows();
        if (chunk.whole) {
            // Every row, sorted on the reader: it takes the place of the
            // parts sent ahead.
            releaseRows(std::exchange(m_rows, std::move(part)));
            replaced = true;
        } else {
            // A part sent ahead comes sorted too; merged into the rows in
            // hand, the list stays newest first, ties in storage order.
            if (!m_searchText.isEmpty() && !isSearchingRows()) {
                // Only the new rows need the search; the shown ones stay.
                mergeRows(m_shownRows, searchRows(part, *m_matcher, m_bodyMatches));
            }
            mergeRows(m_rows, std::move(part));
        }
        if (chunk.last) {
            last = true;
            m_unreadableRows = chunk.unreadable;
            m_listingFailure = chunk.failure;
            if (chunk.error)  // nothing of the folder could be listed
                setErrorMessage(describeError(*chunk.error));
        }
    }
    // The shown rows of a search are found again in the rows that replaced
    // the parts, a slice at a time.
    if (replaced && !m_searchText.isEmpty() && !isSearchingRows()) {
        releaseRows(std::exchange(m_shownRows, {}));
        m_searchCursor = 0;
    }
    // Complete before the rows are announced, so the list's note sees it.
    m_listingComplete = last;
    if (isSearchingRows())
        startSlicedSearch();  // the rows it walks have moved: from the top again
    else
        emit rowsChanged();
    if (last)
        finishListing();
}

void ostrelViewModel::finishListing()
{
    m_listingComplete = true;
    setIsLoading(false);
    if (!m_searchText.isEmpty() && !isSearchingRows())
        startBodySearch();
}

QString ostrelViewModel::listingNote() const
{
    // A search folder whose count the list cannot show: say what it is
    // rather than an empty list under a count.
    if (!m_listingFailure && m_unreadableRows == 0 && m_listingComplete && m_rows.isEmpty() && m_selectedFolder
        && m_selectedFolder->searchFolder && m_selectedFolder->messageCount > 0)
        return QCoreApplication::translate("ostrel",
                                           "This is a search folder. Its results are kept in other folders "
                                           "and could not be listed from this archive.");
    if (!m_listingFailure && m_unreadableRows == 0)
        return {};
    const QString why = m_listingFailure.value_or(QString());
    if (m_unreadableRows == 0)
        return QCoreApplication::translate("ostrel", "Part of this folder could not be read: %1").arg(why);
    return QCoreApplication::translate("ostrel", "%1 messages could not be read: %2")
        .arg(QLocale().toString(m_unreadableRows), why);
}

QString ostrelViewModel::archiveNote() const
{
    if (!m_namedPropertiesFailure)
        return {};
    return QCoreApplication::translate("ostrel", "Some properties could not be read: %1").arg(*m_namedPropertiesFailure);
}

void ostrelViewModel::refreshShownRows()
{
    m_searchSlicer.stop();
    m_searchCursor = -1;
    if (m_searchText.isEmpty()) {
        releaseRows(std::exchange(m_shownRows, {}));
    } else if (m_rows.size() > kSearchSlice) {
        startSlicedSearch();
        return;
    } else {
        m_shownRows = searchRows(m_rows, *m_matcher, m_bodyMatches);
    }
    emit rowsChanged();
}

void ostrelViewModel::startSlicedSearch()
{
    m_searchCursor = 0;
    releaseRows(std::exchange(m_shownRows, {}));
    // Room for every row at once: a list of tens of megabytes that grows by
    // doubling is copied whole, in one turn of the event loop. The room is
    // kept until the next search (giving it back is such a copy too); the
    // pages the matches never reach are never touched.
    m_shownRows.reserve(m_rows.size());
    searchSlice();  // the top of the list at once
}

void ostrelViewModel::searchSlice()
{
    // A slice ends after kSearchSlice rows or kSearchSliceMs, whichever
    // comes first: a busy machine makes each row slower, not the turn longer.
    QElapsedTimer clock;
    clock.start();
    const qsizetype end = std::min(m_searchCursor + kSearchSlice, m_rows.size());
    qsizetype i = m_searchCursor;
    while (i < end) {
        const qsizetype blockEnd = std::min(i + kSearchBlock, end);
        for (; i < blockEnd; ++i) {
            const MessageRow &row = m_rows.at(i);
            if (m_bodyMatches.contains(row.id) || rowMatches(row, *m_matcher))
                m_shownRows.append(row);
        }
        if (clock.elapsed() >= kSearchSliceMs)
            break;
    }
    m_searchCursor = i;
    if (m_searchCursor < m_rows.size()) {
        m_searchSlicer.start();
        emit rowsChanged();
        return;
    }
    m_searchCursor = -1;
    emit rowsChanged();
    if (m_listingComplete)
        startBodySearch();
}

void ostrelViewModel::addBodyMatches(const QSet<QUuid> &found)
{
    QSet<QUuid> added;
    for (const QUuid &id : found) {
        if (!m_bodyMatches.contains(id))
            added.insert(id);
    }
    if (added.isEmpty())
        return;
    m_bodyMatches.unite(added);
    // The shown rows are the rows in their order, some left out: the new
    // matches join in place, and nothing is searched again.
    QList<MessageRow> shown;
    shown.reserve(m_shownRows.size() + added.size());
    qsizetype next = 0;
    for (const MessageRow &row : std::as_const(m_rows)) {
        if (next < m_shownRows.size() && m_shownRows[next].id == row.id)
            shown.append(m_shownRows[next++]);
        else if (added.contains(row.id))
            shown.append(row);
    }
    m_shownRows = std::move(shown);
    emit rowsChanged();
}

void ostrelViewModel::startBodySearch()
{
    stop(m_bodySearch);
    m_bodyMatches.clear();
    m_pendingBodyMatches.clear();
    m_bodyMatchTimer.stop();
    if (m_searchText.isEmpty() || m_rows.isEmpty()) {
        m_bodySearch = QFuture<QUuid>();
        m_bodySearchDone = finished();
        emit bodySearchChanged();
        return;
    }
    QList<QUuid> ids;
    ids.reserve(m_rows.size());
    for (const MessageRow &row : std::as_const(m_rows))
        ids.append(row.id);
    // The matcher is made here and used only on the reader's thread.
    auto matcher = std::make_shared<SearchMatcher>(m_searchText);
    m_bodySearch = m_actor->searchPreviews(ids, [matcher](const QString &text) { return matcher->matches(text); });
    m_bodySearchWatcher.setFuture(m_bodySearch);
    const quint64 generation = ++m_searchGeneration;
    m_bodySearchDone = QFuture<QUuid>(m_bodySearch).then(this, [this, generation](QFuture<QUuid> search) {
        if (generation != m_searchGeneration)
            return;
        // Matches the watcher has not yet delivered.
        QSet<QUuid> found = std::exchange(m_pendingBodyMatches, {});
        m_bodyMatchTimer.stop();
        for (int i = 0; i < search.resultCount(); ++i)
            found.insert(search.resultAt(i));
        addBodyMatches(found);
    }).onCanceled([] {});
    emit bodySearchChanged();
}

void ostrelViewModel::selectMessage(const QUuid &rowId)
{
    if (m_selectedRowId == rowId)
        return;
    stop(m_read);
    m_selectedRowId = rowId;
    emit selectedRowChanged();
    m_messageFailure.reset();
    setSelectedMessage(std::nullopt);
    if (assign(m_readingMessage, true))
        emit isReadingMessageChanged();
    m_read = m_actor->readMessage(rowId);
    const quint64 generation = ++m_readGeneration;
    m_messageRead = QFuture<PSTResult<MailMessage>>(m_read).then(this, [this, generation](QFuture<PSTResult<MailMessage>> read) {
        // A read that a newer selection replaced is dropped.
        if (generation != m_readGeneration || read.resultCount() < 1)
            return;
        const PSTResult<MailMessage> &result = read.result();
        if (result)
            setSelectedMessage(result.value());
        else
            m_messageFailure = describeError(result.error());
        if (assign(m_readingMessage, false))
            emit isReadingMessageChanged();
        if (!result)
            emit selectedMessageChanged();
    }).onCanceled([] {});
}

void ostrelViewModel::moveSelection(int step)
{
    const QList<MessageRow> &list = shownRows();
    if (list.isEmpty())
        return;
    qsizetype current = -1;
    if (m_selectedRowId) {
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (list[i].id == *m_selectedRowId) {
                current = i;
                break;
            }
        }
    }
    const qsizetype target = std::clamp<qsizetype>(current + step, 0, list.size() - 1);
    if (target == current)
        return;
    selectMessage(list[target].id);
}

std::optional<QString> ostrelViewModel::preview(const QUuid &rowId) const
{
    const QString *line = m_previews.object(rowId);
    return line ? std::optional<QString>(*line) : std::nullopt;
}

void ostrelViewModel::requestPreviews(const QList<QUuid> &rowIds)
{
    QList<QUuid> missing;
    for (const QUuid &id : rowIds) {
        if (!m_previews.contains(id) && !m_previewsAsked.contains(id))
            missing.append(id);
    }
    if (missing.isEmpty())
        return;
    for (const QUuid &id : std::as_const(missing))
        m_previewsAsked.insert(id);
    m_actor->readPreviews(missing).then(this, [this, generation = m_listingGeneration,
                                               missing](const QHash<QUuid, QString> &lines) {
        if (generation != m_listingGeneration)
            return;  // another folder's rows
        for (const QUuid &id : missing)
            m_previewsAsked.remove(id);
        for (auto it = lines.cbegin(); it != lines.cend(); ++it)
            m_previews.insert(it.key(), new QString(it.value()));
        emit previewsChanged();
    });
}

QList<MessageRow> searchRows(const QList<MessageRow> &rows, const SearchMatcher &matcher,
                             const QSet<QUuid> &bodyMatches)
{
    QList<MessageRow> shown;
    for (const MessageRow &row : rows) {
        if (bodyMatches.contains(row.id) || rowMatches(row, matcher))
            shown.append(row);
    }
    return shown;
}

bool rowMatches(const MessageRow &row, const SearchMatcher &matcher)
{
    return matcher.matchesAny({row.subject, row.senderName, row.senderEmail, row.displayTo, row.displayCc});
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
