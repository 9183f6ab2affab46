#pragma once

#include "model/Expected.h"
#include "model/MailFolder.h"
#include "model/MailMessage.h"
#include "model/MessageRow.h"
#include "pst/EngineFactory.h"
#include "pst/RecordRules.h"
#include "pst/engine/PSTError.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QUrl>
#include <memory>
#include <thread>
#include <utility>

namespace ostrel {

class SerialExecutor;

template <typename T>
using PSTResult = Expected<T, PSTError>;

// Why an attachment could not be written to a file.
struct AttachmentSaveError {
    enum class Kind {
        notLoaded,    // the record is not from the archive that is open now
        readFailed,   // the archive would not give the bytes
        writeFailed,  // the destination could not be written
    };
    Kind kind;
    QString detail;  // the engine's or the file system's text
    friend bool operator==(const AttachmentSaveError &, const AttachmentSaveError &) = default;
};

// A part of a folder's listing. Rows arrive over several parts, each part
// in list order (sorted on the reader's thread). The last part says what
// could not be read; when `whole`, it holds every row of the listing in
// list order, and replaces the parts before it (which were sent ahead so
// that the first screen need not wait for the whole folder).
struct RowChunk {
    // Shared, so that the receiver can take the rows out: a future keeps a
    // copy of every result it delivered, which would otherwise hold a second
    // list of every row of the folder.
    std::shared_ptr<QList<MessageRow>> rows = std::make_shared<QList<MessageRow>>();
    bool last = false;
    bool whole = false;
    std::optional<PSTError> error;   // the folder could not be listed at all
    qint64 unreadable = 0;           // rows the archive would not give
    std::optional<QString> failure;  // why

    // The part's rows, moved out of it: a second take gives none.
    QList<MessageRow> takeRows() const { return rows ? std::exchange(*rows, {}) : QList<MessageRow>(); }
};

// Every row of a finished listing's parts, in list order.
QList<MessageRow> listedRows(const QList<RowChunk> &parts);

// Whether a text matches a search; called on the actor's thread.
using TextMatcher = std::function<bool(const QString &text)>;

// The reader's single entry point. It owns the engine and its thread: every
// engine call happens there, one request at a time in arrival order. It mints
// every record id and keeps what each id stands for in the archive; callers
// get futures of plain records, never handles or keys. It is the only place
// that writes files.
class PSTActor {
public:
    explicit PSTActor(EngineChoice choice = EngineChoice::automatic,
                      EngineFactory factory = EngineFactory::standard());
    ~PSTActor();
    PSTActor(const PSTActor &) = delete;
    PSTActor &operator=(const PSTActor &) = delete;

    // Drops any open archive, opens the one at url and returns the root
    // folder's sub folders, each with its whole tree, in stored order; the
    // mailbox's root folder and the store's own folders beside it are marked.
    QFuture<PSTResult<QList<MailFolder>>> openFile(const QUrl &url);

    // Up to limit complete messages of a folder returned by the last open,
    // starting at offset, in the folder's storage order.
    QFuture<PSTResult<QList<MailMessage>>> loadMessages(const MailFolder &folder, qint64 offset, qint64 limit);

    // Every row of a folder, in storage order, as several results (the first
    // rows first); cancelling the future stops the listing. Rows of an
    // earlier listing no longer read (their ids are forgotten).
    QFuture<RowChunk> listFolder(const MailFolder &folder);
    // Frees rows on the reader's thread, in turn with its work: a listing
    // asked for next reuses their memory rather than touching new pages,
    // and the caller's thread does not wait for the free.
    void releaseRows(QList<MessageRow> &&rows);

    // The complete record of the message behind a row of the current
    // listing; a cancelled read that has not started is skipped.
    QFuture<PSTResult<MailMessage>> readMessage(const QUuid &rowId);

    // The preview line (the start of the plain body) of each row; rows
    // whose body could not be read are left out.
    QFuture<QHash<QUuid, QString>> readPreviews(const QList<QUuid> &rowIds);

    // Scans the preview lines of rows, in the order given, and gives the ids
    // of those matches accepts, as they are found; progress counts the rows
    // scanned. Cancelling the future stops the scan.
    QFuture<QUuid> searchPreviews(const QList<QUuid> &rowIds, TextMatcher matches);
    // The message attached as attachment (one with isMessage) of a message
    // the last pages or opens served, read whole, with ids for its own
    // attachments so that those open in turn.
    QFuture<PSTResult<MailMessage>> openAttachedMessage(const Attachment &attachment);

    // Writes the bytes of an attachment that the last pages served to path,
    // read from the archive in bounded chunks. Nothing is left at path unless
    // every byte was written. Returns the number of bytes written.
    QFuture<Expected<qint64, AttachmentSaveError>> saveAttachment(const Attachment &attachment, const QString &path);

    // The name of the engine that read the open archive ("native",
    // "libpff"); empty when none is open. Settled when openFile's future is.
    QString engineName() const;
    // Why the open archive's named properties (ids from 0x8000) are missing
    // from every record; none when they could be read or nothing is open.
    // Settled when openFile's future is.
    std::optional<QString> namedPropertiesFailure() const;

    std::thread::id threadId() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
    std::unique_ptr<SerialExecutor> m_executor;
};

}  // namespace ostrel
