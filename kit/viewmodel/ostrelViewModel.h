#pragma once

#include "model/MailFolder.h"
#include "model/MailMessage.h"
#include "pst/PSTActor.h"
#include "viewmodel/AnyError.h"

#include <QCache>
#include <QFuture>
#include <QFutureWatcher>
#include <QList>
#include <QSet>
#include <QLocale>
#include <QObject>
#include <QSettings>
#include <QTimer>
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
// Whether a row's own fields (subject, sender name and address, To and Cc
// display text) contain the matcher's text.
class SearchMatcher;
bool rowMatches(const MessageRow &row, const SearchMatcher &matcher);
// The rows a search shows, in their order: those whose fields match, and
// those whose preview lines matched (bodyMatches).
QList<MessageRow> searchRows(const QList<MessageRow> &rows, const SearchMatcher &matcher,
                             const QSet<QUuid> &bodyMatches);

// The browsing state of one main window: what is open, selected, loaded and
// searched. Lives on the main thread; the reader works on its own thread and
// is awaited through futures.
class ostrelViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(std::optional<QString> errorMessage READ errorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(QList<ostrel::MailFolder> folders READ folders NOTIFY foldersChanged)
    Q_PROPERTY(std::optional<ostrel::MailFolder> selectedFolder READ selectedFolder NOTIFY selectedFolderChanged)
    Q_PROPERTY(QList<ostrel::MessageRow> rows READ rows NOTIFY rowsChanged)
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
    // Every row of the selected folder listed so far, newest first.
    const QList<MessageRow> &rows() const { return m_rows; }
    // The rows the list shows: rows() that match the search, in list order.
    // Without a search it is rows() itself, not a second share of it: a
    // second share would make each arriving part copy every row.
    const QList<MessageRow> &shownRows() const { return m_searchText.isEmpty() ? m_rows : m_shownRows; }
    // Whether the folder's rows are all in (or the listing stopped).
    bool isListingComplete() const { return m_listingComplete; }
    // One quiet line when part of the folder could not be read: how many
    // rows and why; or, for a search folder that counts results but lists
    // none, that it is one; empty otherwise.
    QString listingNote() const;
    // One quiet line when something missing from every record of the open
    // archive could not be read (its named properties); empty otherwise.
    QString archiveNote() const;
    // The selected row, and its complete record once it has been read.
    const std::optional<QUuid> &selectedRowId() const { return m_selectedRowId; }
    const std::optional<MailMessage> &selectedMessage() const { return m_selectedMessage; }
    // Whether the selected row's record is being read.
    bool isReadingMessage() const { return m_readingMessage; }
    // Why the selected row's record could not be read.
    const std::optional<QString> &messageFailure() const { return m_messageFailure; }
    const QString &searchText() const { return m_searchText; }
    const std::optional<QString> &currentFileName() const { return m_currentFileName; }
    const QList<QUrl> &recentFiles() const { return m_recentFiles; }
    PSTActor &pstActor() { return *m_actor; }

    void setSearchText(const QString &text);

    // Opening. The futures finish when the operation has published its result.
    QFuture<void> openPSTFile();
    QFuture<void> openPSTFile(const QUrl &url);
    void clearError();
    // The mailbox's first inbox, else the first inbox anywhere.
    static std::optional<MailFolder> firstInbox(const QList<MailFolder> &folders);

    // Selection and search. Selecting a folder lists all its rows (the
    // future finishes when the listing has); a newer selection cancels an
    // older one. Selecting a row reads its record; the newest selection wins.
    QFuture<void> selectFolder(const MailFolder &folder);
    void selectMessage(const QUuid &rowId);
    void moveSelection(int step);
    // The previous read of the selected record (for tests and benchmarks):
    // finishes when the record is shown or the read was dropped.
    QFuture<void> messageRead() const { return m_messageRead; }

    // Body search: the scan of every row's preview line runs on the reader;
    // its matches join shownRows as they are found.
    bool isSearchingBodies() const { return m_bodySearch.isRunning(); }
    int bodySearchScanned() const { return m_bodySearch.progressValue(); }
    int bodySearchTotal() const { return m_bodySearch.progressMaximum(); }
    // Finishes when the current body scan has.
    QFuture<void> bodySearch() const { return m_bodySearchDone; }
    // Whether the row fields of a large folder are still being searched: a
    // folder of more than kSearchSlice rows is searched a slice per turn of
    // the event loop, the matches so far shown from the top, and its body
    // scan starts when the rows are done.
    static constexpr qsizetype kSearchSlice = 8192;
    static constexpr qint64 kSearchSliceMs = 8;
    static constexpr qsizetype kSearchBlock = 512;  // rows between looks at the clock
    static constexpr qsizetype kFreeInPlaceRows = 8192;  // more rows are freed on the reader's thread
    bool isSearchingRows() const { return m_searchCursor >= 0; }

    // Preview lines, read lazily for the rows on screen and kept in a
    // bounded cache. preview() gives a cached line; requestPreviews asks for
    // the missing ones and previewsChanged tells when they are in.
    static constexpr int kPreviewCacheSize = 2000;
    std::optional<QString> preview(const QUuid &rowId) const;
    void requestPreviews(const QList<QUuid> &rowIds);

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
    void rowsChanged();
    void selectedMessageChanged();
    void selectedRowChanged();
    void isReadingMessageChanged();
    void bodySearchChanged();
    void previewsChanged();
    void searchTextChanged();
    void currentFileNameChanged();
    void recentFilesChanged();

private:
    void setIsLoading(bool value);
    void setErrorMessage(const std::optional<QString> &value);
    void setFolders(const QList<MailFolder> &value);
    void setSelectedFolder(const std::optional<MailFolder> &value);
    void clearRows();
    void releaseRows(QList<MessageRow> &&rows);
    void takeListingResults();
    void finishListing();
    void refreshShownRows();
    void startBodySearch();
    void addBodyMatches(const QSet<QUuid> &found);
    void startSlicedSearch();
    void searchSlice();
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
    QList<MessageRow> m_rows;
    QList<MessageRow> m_shownRows;  // the matches while searching; empty otherwise
    QFuture<RowChunk> m_listing;
    QFutureWatcher<RowChunk> m_listingWatcher;
    int m_listingTaken = 0;
    quint64 m_listingGeneration = 0;
    quint64 m_readGeneration = 0;
    quint64 m_searchGeneration = 0;
    bool m_listingComplete = true;
    qint64 m_unreadableRows = 0;
    std::optional<QString> m_listingFailure;
    std::optional<QString> m_namedPropertiesFailure;  // of the open archive
    std::optional<QUuid> m_selectedRowId;
    std::optional<MailMessage> m_selectedMessage;
    std::optional<QString> m_messageFailure;
    bool m_readingMessage = false;
    QFuture<PSTResult<MailMessage>> m_read;
    QFuture<void> m_messageRead;
    QFuture<QUuid> m_bodySearch;
    QFuture<void> m_bodySearchDone;
    QFutureWatcher<QUuid> m_bodySearchWatcher;
    QSet<QUuid> m_bodyMatches;
    static constexpr int kBodyMatchBatchMs = 100;
    QSet<QUuid> m_pendingBodyMatches;  // found by the scan, not yet in the shown rows
    QTimer m_bodyMatchTimer;
    // The next row a sliced search looks at; -1: none runs. Its matches so
    // far are m_shownRows.
    qsizetype m_searchCursor = -1;
    QTimer m_searchSlicer;
    QCache<QUuid, QString> m_previews{kPreviewCacheSize};
    QSet<QUuid> m_previewsAsked;
    QString m_searchText;
    std::unique_ptr<SearchMatcher> m_matcher;  // for m_searchText, on this thread; its collator opened once
    std::optional<QString> m_currentFileName;
    QList<QUrl> m_recentFiles;
    std::unique_ptr<PSTActor> m_actor;
};

}  // namespace ostrel
