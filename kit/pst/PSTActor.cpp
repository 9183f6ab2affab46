#include "pst/PSTActor.h"

#include "platform/HeapPolicy.h"
#include "pst/SerialExecutor.h"

#include <QHash>
#include <QMutex>
#include <QSaveFile>
#include <QSet>

#include <algorithm>
#include <limits>

namespace ostrel {

struct PSTActor::State {
    EngineChoice choice;
    EngineFactory factory;
    std::unique_ptr<ArchiveEngine> engine;
    // What each id minted for the open archive stands for.
    QHash<QUuid, quint32> folders;
    QHash<QUuid, AttachmentKey> attachments;
    // The rows of the current listing: a row's id is listingBase with its
    // storage index in data1, and rowNodes holds each row's message by that
    // index, four bytes a row instead of a hash entry.
    QUuid listingBase;
    QList<quint32> rowNodes;
    QSet<QUuid> attachedMessages;  // attachments that open as messages, never save as files

    mutable QMutex nameMutex;
    QString engineName;
    std::optional<QString> namedPropertiesFailure;

    void setEngineName(const QString &name, const std::optional<QString> &namedFailure = std::nullopt)
    {
        QMutexLocker lock(&nameMutex);
        engineName = name;
        namedPropertiesFailure = namedFailure;
    }

    void dropArchive()
    {
        attachments.clear();
        forgetRows();
        attachedMessages.clear();
        folders.clear();
        engine.reset();
        setEngineName({});
    }

    void forgetRows()
    {
        listingBase = QUuid();
        rowNodes = QList<quint32>();
    }

    QUuid rowId(qint64 index) const
    {
        QUuid id = listingBase;
        id.data1 = quint32(index);
        return id;
    }

    std::optional<MessageKey> rowKey(const QUuid &id) const
    {
        if (listingBase.isNull())
            return std::nullopt;
        QUuid base = id;
        base.data1 = listingBase.data1;
        if (base != listingBase || id.data1 >= quint32(rowNodes.size()))
            return std::nullopt;
        return MessageKey{rowNodes.at(qsizetype(id.data1)), {}};
    }

    // Ids for the records the rules built from raw, which they mirror.
    void mintIds(QList<MailFolder> &records, const QList<RawFolder> &raw)
    {
        for (qsizetype i = 0; i < records.size() && i < raw.size(); ++i) {
            records[i].id = QUuid::createUuid();
            folders.insert(records[i].id, raw[i].node);
            mintIds(records[i].children, raw[i].children.value);
        }
    }

    PSTResult<QList<MailFolder>> open(const QUrl &url)
    {
        dropArchive();
        auto opened = factory.open(url.isLocalFile() ? url.toLocalFile() : QString(), choice);
        if (!opened)
            return opened.error();
        const RawArchive &archive = opened.value().archive;
        // Below the root a folder that cannot list its sub folders says so;
        // at the root there would be nothing to show.
        if (archive.folders.failure)
            return PSTError::parsingFailed(*archive.folders.failure);
        QList<MailFolder> tree = rules::folderTree(archive);
        mintIds(tree, archive.folders.value);
        engine = std::move(opened.value().engine);
        setEngineName(engine->name(), archive.namedPropertiesFailure);
        return tree;
    }

    PSTResult<QList<MailMessage>> load(const QUuid &folderId, qint64 offset, qint64 limit)
    {
        const auto found = folders.constFind(folderId);
        if (found == folders.cend())
            return PSTError::parsingFailed(QStringLiteral("Ordner nicht gefunden"));
        auto read = engine->readMessages(found.value(), offset, limit, rules::inlineDataPolicy());
        if (!read)
            return read.error();
        QList<MailMessage> messages;
        messages.reserve(read.value().size());
        for (const RawMessage &raw : read.value())
            messages.append(record(raw, QUuid::createUuid()));
        return messages;
    }

    void list(const QUuid &folderId, qint64 expected, QPromise<RowChunk> &promise)
    {
        forgetRows();
        RowChunk last;
        last.last = true;
        const auto found = folders.constFind(folderId);
        if (found == folders.cend() || !engine) {
            last.error = PSTError::parsingFailed(QStringLiteral("Ordner nicht gefunden"));
            promise.addResult(std::move(last));
            return;
        }
        // The first rows go out at once (the first screen), then a few larger
        // parts while much of the folder is still to read, each a sorted copy
        // of the rows just read. The last part is every row of the folder,
        // sorted here: the receiver swaps it in rather than merging a large
        // folder into what it shows.
        constexpr qsizetype kFirstPart = 256;
        constexpr qsizetype kProgressRows = 16384;  // rows sent ahead, at most
        constexpr qint64 kAheadFactor = 4;
        constexpr qint64 kReservedRows = 1'000'000;
        // Row ids count up from one random id per listing: ids of an
        // earlier listing never name rows of this one.
        constexpr qint64 kMaxRows = std::numeric_limits<quint32>::max();
        listingBase = QUuid::createUuid();
        qsizetype partSize = kFirstPart;
        qsizetype sent = 0;  // rows of `all` sent ahead
        qint64 index = 0;
        // Room for the rows the folder says it holds (a count from the file,
        // so capped): the list then never grows by copying every row.
        const qsizetype reserved = qsizetype(std::clamp<qint64>(expected, 0, kReservedRows));
        QList<MessageRow> all;
        reserveRows(all, reserved);
        rowNodes.reserve(reserved);
        // Shared texts for this listing only; the pool is bounded and goes
        // when the listing ends, the rows keep what they share.
        TextPool pool;
        auto listing = engine->listFolder(found.value(), [&](const QList<RawRow> &chunk) {
            if (promise.isCanceled())
                return false;
            for (const RawRow &raw : chunk) {
                if (index >= kMaxRows)
                    return false;
                MessageRow row = rules::rowRecord(raw, index, &pool);
                row.id = rowId(index++);
                rowNodes.append(raw.node);
                all.append(std::move(row));
            }
            // A part ahead is worth its copy only while the rest of the
            // folder is far off; the first screen always goes.
            // A count the rows have passed says nothing of the rest: as many
            // again, say.
            const qint64 rest = expected >= all.size() ? expected - all.size() : all.size();
            const bool farOff = sent == 0 || rest > kAheadFactor * partSize;
            if (sent < kProgressRows && all.size() - sent >= partSize && farOff) {
                RowChunk part;
                *part.rows = all.mid(sent);
                sortRows(*part.rows);
                sent = all.size();
                promise.addResult(std::move(part));
                partSize *= 4;
            }
            return true;
        });
        if (promise.isCanceled())
            return;
        sortRows(all);
        // A count that promised far more rows than came gives the rest back.
        if (all.capacity() > all.size() + all.size() / 4 + kFirstPart)
            all.squeeze();
        *last.rows = std::move(all);
        last.whole = true;
        if (!listing) {
            last.error = listing.error();
        } else {
            last.unreadable = listing.value().unreadable;
            last.failure = listing.value().failure;
        }
        promise.addResult(std::move(last));
    }

    PSTResult<MailMessage> readOne(const QUuid &rowId)
    {
        const auto key = rowKey(rowId);
        if (!key || !engine)
            return PSTError::parsingFailed(QStringLiteral("Nachricht nicht gefunden"));
        auto read = engine->readMessage(*key, rules::inlineDataPolicy());
        if (!read)
            return read.error();
        return record(read.value(), rowId);
    }

    MailMessage record(const RawMessage &raw, const QUuid &id)
    {
        MailMessage message = rules::messageRecord(raw);
        message.id = id;
        for (qsizetype k = 0; k < message.attachments.size(); ++k) {
            Attachment &attachment = message.attachments[k];
            attachment.id = QUuid::createUuid();
            attachments.insert(attachment.id, AttachmentKey{raw.key, raw.attachments.value.at(k).index});
            if (attachment.isMessage)
                attachedMessages.insert(attachment.id);
        }
        return message;
    }

    // The preview line of a row, or nothing when its body could not be read.
    // The plain body first, which most messages have and whose start is
    // enough; then the start of the HTML body; then the compressed RTF body,
    // read whole up to a bound. Each read is bounded in bytes.
    std::optional<QString> preview(const QUuid &rowId)
    {
        // Enough bytes for the preview's 120 characters after white space
        // collapses, in either stored width.
        constexpr qint64 kPreviewBytes = 2048;
        // HTML spends many bytes on markup before its text.
        constexpr qint64 kPreviewHtmlBytes = 32 * 1024;
        constexpr qint64 kPreviewRtfBytes = 256 * 1024;
        const auto key = rowKey(rowId);
        if (!key || !engine)
            return std::nullopt;
        auto props = engine->readProperties(*key, {rules::Tag::body}, kPreviewBytes);
        if (!props)
            return std::nullopt;
        QString line = previewLine(rules::plainTextBody(props.value().find(rules::Tag::body)).value_or(QString()));
        if (!line.isEmpty())
            return line;
        const auto html = engine->readProperties(
            *key, {rules::Tag::html, rules::Tag::internetCodePage, rules::Tag::messageCodePage}, kPreviewHtmlBytes);
        if (html) {
            if (auto text = rules::htmlPreviewText(html.value()))
                return previewLine(*text);
        }
        const auto rtf = engine->readProperties(*key, {rules::Tag::rtfCompressed}, kPreviewRtfBytes);
        if (rtf) {
            if (auto text = rules::rtfPreviewText(rtf.value()))
                return previewLine(*text);
        }
        return line;
    }

    PSTResult<MailMessage> openAttached(const QUuid &attachmentId)
    {
        const auto found = attachments.constFind(attachmentId);
        if (found == attachments.cend() || !engine)
            return PSTError::parsingFailed(QStringLiteral("Anhang nicht gefunden"));
        if (!attachedMessages.contains(attachmentId))
            return PSTError::parsingFailed(QStringLiteral("Anhang ist keine Nachricht"));
        MessageKey key = found.value().message;
        key.embeddedPath.append(found.value().index);
        auto read = engine->readMessage(key, rules::inlineDataPolicy());
        if (!read)
            return read.error();
        return record(read.value(), QUuid::createUuid());
    }

    Expected<qint64, AttachmentSaveError> save(const QUuid &attachmentId, const QString &path)
    {
        using Kind = AttachmentSaveError::Kind;
        const auto key = attachments.constFind(attachmentId);
        if (key == attachments.cend())
            return AttachmentSaveError{Kind::notLoaded, {}};
        // An attached message has no file bytes; what the archive keeps for
        // it is no file anyone could open.
        if (attachedMessages.contains(attachmentId))
            return AttachmentSaveError{Kind::readFailed, QStringLiteral("Angehängte Nachricht, keine Datei")};
        // QSaveFile writes beside the target and renames at the end, so a
        // failed save never leaves a partial file, nor spoils one that was there.
        QSaveFile out(path);
        if (!out.open(QIODevice::WriteOnly))
            return AttachmentSaveError{Kind::writeFailed, out.errorString()};
        std::optional<QString> writeFailure;
        const auto streamed = engine->streamAttachment(key.value(), [&out, &writeFailure](QByteArrayView chunk) {
            if (out.write(chunk.data(), chunk.size()) == chunk.size())
                return true;
            writeFailure = out.errorString();
            return false;
        });
        if (writeFailure) {
            out.cancelWriting();
            return AttachmentSaveError{Kind::writeFailed, *writeFailure};
        }
        if (!streamed) {
            out.cancelWriting();
            return AttachmentSaveError{Kind::readFailed, streamed.error()};
        }
        if (!out.commit())
            return AttachmentSaveError{Kind::writeFailed, out.errorString()};
        return streamed.value();
    }
};

PSTActor::PSTActor(EngineChoice choice, EngineFactory factory) : m_state(std::make_unique<State>())
{
    m_state->choice = choice;
    m_state->factory = std::move(factory);
    m_executor = std::make_unique<SerialExecutor>([state = m_state.get()] { state->dropArchive(); });
    m_executor->post(reserveThreadHeap);
}

PSTActor::~PSTActor()
{
    m_executor.reset();  // runs what is queued, then frees the archive on its own thread
}

QFuture<PSTResult<QList<MailFolder>>> PSTActor::openFile(const QUrl &url)
{
    return m_executor->submit([state = m_state.get(), url] { return state->open(url); });
}

QFuture<PSTResult<QList<MailMessage>>> PSTActor::loadMessages(const MailFolder &folder, qint64 offset, qint64 limit)
{
    return m_executor->submit(
        [state = m_state.get(), id = folder.id, offset, limit] { return state->load(id, offset, limit); });
}

QList<MessageRow> listedRows(const QList<RowChunk> &parts)
{
    QList<MessageRow> rows;
    for (const RowChunk &part : parts) {
        if (!part.rows)
            continue;
        if (part.whole)
            return *part.rows;
        rows.append(*part.rows);
    }
    sortRows(rows);
    return rows;
}

QFuture<RowChunk> PSTActor::listFolder(const MailFolder &folder)
{
    return m_executor->submitWithPromise<RowChunk>(
        [state = m_state.get(), id = folder.id, expected = folder.messageCount](QPromise<RowChunk> &promise) {
            state->list(id, expected, promise);
        });
}

void PSTActor::releaseRows(QList<MessageRow> &&rows)
{
    m_executor->post([old = std::move(rows)]() mutable { freeRows(std::move(old)); });
}

QFuture<PSTResult<MailMessage>> PSTActor::readMessage(const QUuid &rowId)
{
    return m_executor->submitWithPromise<PSTResult<MailMessage>>(
        [state = m_state.get(), rowId](QPromise<PSTResult<MailMessage>> &promise) {
            promise.addResult(state->readOne(rowId));
        });
}

QFuture<QHash<QUuid, QString>> PSTActor::readPreviews(const QList<QUuid> &rowIds)
{
    return m_executor->submitWithPromise<QHash<QUuid, QString>>(
        [state = m_state.get(), rowIds](QPromise<QHash<QUuid, QString>> &promise) {
            QHash<QUuid, QString> previews;
            for (const QUuid &id : rowIds) {
                if (promise.isCanceled())
                    return;
                if (auto line = state->preview(id))
                    previews.insert(id, *line);
            }
            promise.addResult(previews);
        });
}

QFuture<QUuid> PSTActor::searchPreviews(const QList<QUuid> &rowIds, TextMatcher matches)
{
    return m_executor->submitWithPromise<QUuid>(
        [state = m_state.get(), rowIds, matches = std::move(matches)](QPromise<QUuid> &promise) {
            promise.setProgressRange(0, int(rowIds.size()));
            int scanned = 0;
            for (const QUuid &id : rowIds) {
                if (promise.isCanceled())
                    return;
                if (auto line = state->preview(id); line && matches(*line))
                    promise.addResult(id);
                promise.setProgressValue(++scanned);
            }
        });
}

QFuture<PSTResult<MailMessage>> PSTActor::openAttachedMessage(const Attachment &attachment)
{
    return m_executor->submit([state = m_state.get(), id = attachment.id] { return state->openAttached(id); });
}

QFuture<Expected<qint64, AttachmentSaveError>> PSTActor::saveAttachment(const Attachment &attachment,
                                                                       const QString &path)
{
    return m_executor->submit(
        [state = m_state.get(), id = attachment.id, path] { return state->save(id, path); });
}

QString PSTActor::engineName() const
{
    QMutexLocker lock(&m_state->nameMutex);
    return m_state->engineName;
}

std::optional<QString> PSTActor::namedPropertiesFailure() const
{
    QMutexLocker lock(&m_state->nameMutex);
    return m_state->namedPropertiesFailure;
}

std::thread::id PSTActor::threadId() const
{
    return m_executor->threadId();
}

}  // namespace ostrel
