#include "NativeEngine.h"

#include "pst/messaging/FolderTree.h"
#include "pst/messaging/MessageReader.h"
#include "pst/messaging/NameMap.h"
#include "pst/messaging/Store.h"
#include "pst/engine/RowColumns.h"
#include "Relay.h"
#include "platform/HeapPolicy.h"

#include <system_error>
#include <thread>

namespace ostrel {

namespace {

constexpr qsizetype kMaxMessageValue = 256 * 1024 * 1024;   // one property of a message
constexpr qsizetype kMaxInlineAttachment = 256 * 1024 * 1024;
constexpr qint64 kListChunk = 256;                          // rows handed to a sink at once
constexpr int kChunksAhead = 2;                             // read before the sink takes them
constexpr qsizetype kRowValueLimit = 64 * 1024;             // one cell of a folder's list
constexpr int kMaxEmbeddedMessages = 1000;                  // read along with one message

// Rows of a folder's list, read as one part of it: the table's cells as
// read, and what was read from a message for a column the table lacks.
struct ListChunk {
    qint64 first = 0;  // the folder's row the chunk starts at
    pst::PackedRows packed;
    QList<PropertyBag> own;  // by row; empty when the table has every column
    std::optional<pst::Error> error;  // why the rows from first on could not be read
};

PSTError toPstError(const pst::Error &e)
{
    switch (e.kind) {
    case pst::Error::Kind::NotFound:
        return PSTError::fileNotFound();
    case pst::Error::Kind::AccessDenied:
        return PSTError::accessDenied();
    case pst::Error::Kind::NotAnArchive:
        return PSTError::invalidFormat();
    case pst::Error::Kind::Unsupported:
        return e.text.contains(QLatin1String("encrypted")) ? PSTError::unsupportedEncryption()
                                                           : PSTError::parsingFailed(e.text);
    default:
        return PSTError::parsingFailed(e.text);
    }
}

}  // namespace

struct NativeEngine::State {
    qsizetype cacheBytes = 0;
    std::unique_ptr<pst::NodeDatabase> db;
    std::optional<pst::NameMap> names;

    PropertyBag bag(const pst::PropertyMap &map) const
    {
        PropertyBag out;
        out.reserve(map.size());
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            PropertyValue v{it.value().type, it.value().bytes};
            if (it.key() < 0x8000) {
                out.insert(it.key(), std::move(v));
            } else if (names) {
                // Named properties travel under their names; one the map
                // does not know has no name to travel under.
                if (const auto name = names->name(it.key()))
                    out.insert(PropertyName{name->propertySet, name->id}, std::move(v));
            }
        }
        return out;
    }

    RawFolder folder(const pst::Folder &f) const
    {
        RawFolder r;
        r.node = f.nid;
        r.properties = bag(f.properties);
        r.searchFolder = f.searchFolder;
        const auto it = f.properties.constFind(pst::Folder::kContentCount);
        if (const auto count = it != f.properties.cend() ? it->toInteger() : std::nullopt)
            r.messageCount.value = *count;
        else
            r.messageCount.failure = QStringLiteral("the folder holds no message count");
        for (const pst::Folder &child : f.children)
            r.children.value.append(folder(child));
        r.children.failure = f.childrenFailure;
        return r;
    }

    Expected<pst::NodeLocation, pst::Error> locate(const MessageKey &key)
    {
        pst::MessageReader reader(*db);
        auto top = reader.locate(key.node);
        if (!top || key.embeddedPath.isEmpty())
            return top;
        return reader.locateEmbedded(*top, key.embeddedPath);
    }

    // A message and the messages attached to it. An attached message that
    // shares its node or subnodes with one it lies in would loop; the
    // budget bounds a damaged tree that fans out.
    struct Walk {
        QList<pst::NodeLocation> ancestors;
        int budget = kMaxEmbeddedMessages;
    };

    Expected<RawMessage, pst::Error> message(const pst::NodeLocation &at, const MessageKey &key,
                                             const InlineDataPolicy &policy, int depth)
    {
        Walk walk;
        return message(at, key, policy, depth, walk);
    }

    static bool loops(const pst::NodeLocation &at, const QList<pst::NodeLocation> &ancestors)
    {
        for (const pst::NodeLocation &a : ancestors)
            if (a.bidData == at.bidData || (at.bidSub != 0 && a.bidSub == at.bidSub))
                return true;
        return false;
    }

    Expected<RawMessage, pst::Error> message(const pst::NodeLocation &at, const MessageKey &key,
                                             const InlineDataPolicy &policy, int depth, Walk &walk)
    {
        pst::MessageReader reader(*db);
        auto m = reader.read(at, kMaxMessageValue);
        if (!m)
            return m.error();
        RawMessage out;
        out.key = key;
        out.properties = bag(m->properties);
        for (const pst::PropertyMap &r : m->recipients)
            out.recipients.value.append(bag(r));
        out.recipients.failure = m->recipientsFailure;
        out.attachments.failure = m->attachmentsFailure;
        for (const pst::AttachmentRecord &a : m->attachments) {
            RawAttachment ra;
            ra.index = a.index;
            ra.properties = bag(a.properties);
            ra.dataSize = a.dataSize;
            if (a.failure) {
                ra.embeddedFailure = a.failure;
                ra.dataSize.reset();
            } else if (a.embedded) {
                MessageKey inner = key;
                inner.embeddedPath.append(a.index);
                walk.ancestors.append(at);
                if (depth >= pst::MessageReader::kMaxEmbeddedDepth) {
                    ra.embeddedFailure = QStringLiteral("message: attached messages nested deeper than %1").arg(depth);
                } else if (loops(*a.embedded, walk.ancestors)) {
                    ra.embeddedFailure = QStringLiteral("message: attached message %1 lies in itself").arg(pst::hex(a.embedded->nid));
                } else if (--walk.budget < 0) {
                    ra.embeddedFailure = QStringLiteral("message: more than %1 attached messages").arg(kMaxEmbeddedMessages);
                } else {
                    auto embedded = message(*a.embedded, inner, policy, depth + 1, walk);
                    if (embedded)
                        ra.embedded = std::make_shared<const RawMessage>(std::move(embedded.value()));
                    else
                        ra.embeddedFailure = embedded.error().text;
                }
                walk.ancestors.removeLast();
            } else if (a.dataSize && policy && policy(ra.properties, *a.dataSize)) {
                auto data = reader.attachmentData(at, a);
                if (data && data->tree) {
                    auto bytes = db->readAll(*data->tree, kMaxInlineAttachment);
                    if (bytes)
                        ra.data = std::move(bytes.value());
                    else
                        ra.dataSize.reset();
                } else if (data) {
                    ra.data = data->bytes;
                } else {
                    ra.dataSize.reset();  // unreadable: its size is not known to be right
                }
            }
            out.attachments.value.append(std::move(ra));
        }
        return out;
    }
};

NativeEngine::NativeEngine() : NativeEngine(pst::BlockCache::kDefaultBound) {}
NativeEngine::NativeEngine(qsizetype cacheBytes) : m_state(std::make_unique<State>())
{
    m_state->cacheBytes = cacheBytes;
}
NativeEngine::~NativeEngine() = default;

NativeEngine::CacheUse NativeEngine::cacheUse() const
{
    if (!m_state->db)
        return {};
    return {m_state->db->cache().bytes(), m_state->db->readOnceCache().bytes()};
}

Expected<RawArchive, PSTError> NativeEngine::open(const QString &path)
{
    auto db = pst::NodeDatabase::open(path, m_state->cacheBytes);
    if (!db)
        return toPstError(db.error());
    m_state->db = std::move(db.value());
    auto names = pst::NameMap::read(*m_state->db);
    m_state->names = names ? std::optional<pst::NameMap>(std::move(names.value())) : std::nullopt;
    auto store = pst::Store::read(*m_state->db);
    if (!store)
        return toPstError(store.error());
    RawArchive archive;
    // Without the map, named properties cannot be named and are left out
    // of every bag: say so once for the archive.
    if (!names)
        archive.namedPropertiesFailure = names.error().text;
    archive.store = m_state->bag(store->properties);
    archive.rootFolder = store->rootFolder;
    auto tree = pst::FolderTree::read(*m_state->db, store->rootFolder);
    if (!tree) {
        archive.folders.failure = tree.error().text;
        return archive;
    }
    for (const pst::Folder &f : *tree)
        archive.folders.value.append(m_state->folder(f));
    return archive;
}

Expected<QList<RawMessage>, PSTError> NativeEngine::readMessages(quint32 folder, qint64 offset, qint64 limit,
                                                                  const InlineDataPolicy &policy)
{
    if (!m_state->db)
        return PSTError::parsingFailed(QStringLiteral("no archive is open"));
    auto table = pst::FolderTree::contents(*m_state->db, folder);
    if (!table) {
        if (table.error().kind == pst::Error::Kind::Missing)
            return QList<RawMessage>();
        return toPstError(table.error());
    }
    auto rows = table->rows(offset, limit, {});
    if (!rows)
        return toPstError(rows.error());
    QList<RawMessage> out;
    out.reserve(rows->size());
    pst::MessageReader reader(*m_state->db);
    for (const pst::TableRow &row : *rows) {
        const MessageKey key{row.rowId, {}};
        const pst::NodeDatabase::ReadOnce once(*m_state->db);
        // A message that cannot be read keeps its place, saying why.
        auto at = reader.locate(row.rowId);
        auto m = at ? m_state->message(*at, key, policy, 0) : Expected<RawMessage, pst::Error>(at.error());
        if (m) {
            out.append(std::move(m.value()));
        } else {
            RawMessage unreadable;
            unreadable.key = key;
            unreadable.failure = m.error().text;
            out.append(std::move(unreadable));
        }
    }
    return out;
}

Expected<RawListing, PSTError> NativeEngine::listFolder(quint32 folder, const RowSink &sink)
{
    if (!m_state->db)
        return PSTError::parsingFailed(QStringLiteral("no archive is open"));
    RawListing listing;
    auto table = pst::FolderTree::contents(*m_state->db, folder);
    if (!table) {
        if (table.error().kind == pst::Error::Kind::Missing)
            return listing;
        return toPstError(table.error());
    }
    QList<quint16> ids;
    QList<quint16> missing;  // list columns this table lacks: read from each message
    for (const quint16 id : rowColumns())
        (table->column(id) ? ids : missing).append(id);
    for (const quint16 id : optionalRowColumns())
        if (table->column(id))
            ids.append(id);
    // Cells in ascending id order fill each row's bag by appending.
    std::sort(ids.begin(), ids.end());
    pst::MessageReader reader(*m_state->db);
    const qint64 rowCount = table->rowCount();
    // A table too large to stay in the cache is read as a scan: its blocks
    // pass through the read-once cache, so they neither push the rest of
    // the archive out of the main one nor ask for fresh memory at each read.
    const bool scan = rowCount * table->info().rowSize > m_state->db->cache().bound() / 2;
    // Reads one chunk. Only this touches the archive; turning cells into
    // rows is left to the side that hands them on, so a folder read on two
    // threads shares the work between them.
    const auto fill = [&](ListChunk &chunk) {
        std::optional<pst::NodeDatabase::ReadOnce> scanning;
        if (scan)
            scanning.emplace(*m_state->db);
        chunk.error.reset();
        chunk.own.clear();
        auto rows = table->packedRows(chunk.first, kListChunk, ids, kRowValueLimit);
        if (!rows) {
            chunk.error = rows.error();
            chunk.packed = {};
            return;
        }
        chunk.packed = std::move(rows.value());
        if (missing.isEmpty())
            return;
        const pst::NodeDatabase::ReadOnce once(*m_state->db);
        chunk.own.resize(chunk.packed.rowIds.size());
        for (qsizetype r = 0; r < chunk.packed.rowIds.size(); ++r) {
            // A message that cannot be read keeps the row the table gives.
            if (auto at = reader.locate(chunk.packed.rowIds[r])) {
                if (auto own = reader.readSome(*at, missing, kRowValueLimit)) {
                    for (auto it = own->cbegin(); it != own->cend(); ++it)
                        chunk.own[r].insert(it.key(), PropertyValue{it.value().type, it.value().bytes});
                }
            }
        }
    };
    // Rows as the sink takes them, refilled chunk after chunk: each row's
    // bag keeps its room, so a listing allocates per chunk, not per row.
    QList<RawRow> out;
    const auto toRows = [&](const ListChunk &chunk) {
        const pst::PackedRows &packed = chunk.packed;
        out.resize(packed.rowIds.size());
        for (qsizetype r = 0; r < packed.rowIds.size(); ++r) {
            // List columns are never named properties: the cells go into
            // the bag as they are, pointing into the chunk's one buffer.
            RawRow &row = out[r];
            row.node = packed.rowIds[r];
            row.storage = packed.bytes;
            const pst::PackedRows::Cell *cells = packed.cells.constData() + r * ids.size();
            row.columns.refill(ids.size(), [&](PropertyBag::Tagged *next) {
                const PropertyBag::Tagged *start = next;
                for (qsizetype i = 0; i < ids.size(); ++i) {  // ids ascend: sorted above
                    if (cells[i].size < 0)
                        continue;
                    const QByteArrayView v = packed.view(cells[i]);
                    *next++ = PropertyBag::Tagged{ids[i], PropertyValue{cells[i].type, QByteArray::fromRawData(v.data(), v.size())}};
                }
                return qsizetype(next - start);
            });
            if (r < chunk.own.size()) {
                for (const PropertyBag::Tagged &t : chunk.own[r].tagged())
                    row.columns.insert(t.id, t.value);
            }
        }
    };
    // Hands a filled chunk to the sink; false ends the listing.
    const auto hand = [&](const ListChunk &chunk) {
        if (chunk.error) {
            listing.unreadable = rowCount - chunk.first;
            listing.failure = chunk.error->text;
            return false;
        }
        toRows(chunk);
        listing.rows += out.size();
        return sink(out);
    };
    // One chunk after another on the caller's thread.
    const auto inTurn = [&] {
        ListChunk chunk;
        for (chunk.first = 0; chunk.first < rowCount; chunk.first += kListChunk) {
            fill(chunk);
            if (!hand(chunk))
                break;
        }
        return listing;
    };
    if (rowCount <= kListChunk)
        return inTurn();
    // A longer folder is read a few chunks ahead on a thread of its own,
    // while the sink takes the chunk before. Only that thread reads the
    // archive until it has ended: this call returns after it.
    Relay<ListChunk> relay(kChunksAhead + 1);
    std::jthread reading;
    try {
        reading = std::jthread([&] {
            reserveThreadHeap();
            for (qint64 first = 0; first < rowCount; first += kListChunk) {
                auto chunk = relay.spare();
                if (!chunk)
                    break;
                chunk->first = first;
                fill(*chunk);
                const bool failed = chunk->error.has_value();
                relay.hand(std::move(*chunk));
                if (failed)
                    break;
            }
            relay.finish();
        });
    } catch (const std::system_error &) {
        return inTurn();  // no thread to be had (the process at its limit)
    }
    while (auto chunk = relay.take()) {
        const bool more = hand(*chunk);
        relay.giveBack(std::move(*chunk));
        if (!more)
            break;
    }
    relay.stop();
    reading.join();
    return listing;
}

Expected<RawMessage, PSTError> NativeEngine::readMessage(const MessageKey &key, const InlineDataPolicy &policy)
{
    if (!m_state->db)
        return PSTError::parsingFailed(QStringLiteral("no archive is open"));
    const pst::NodeDatabase::ReadOnce once(*m_state->db);
    auto at = m_state->locate(key);
    if (!at)
        return toPstError(at.error());
    auto m = m_state->message(*at, key, policy, int(key.embeddedPath.size()));
    if (!m)
        return toPstError(m.error());
    return std::move(m.value());
}

Expected<PropertyBag, PSTError> NativeEngine::readProperties(const MessageKey &key, const QList<quint16> &ids,
                                                             qint64 maxBytes)
{
    if (!m_state->db)
        return PSTError::parsingFailed(QStringLiteral("no archive is open"));
    const pst::NodeDatabase::ReadOnce once(*m_state->db);
    auto at = m_state->locate(key);
    if (!at)
        return toPstError(at.error());
    pst::MessageReader reader(*m_state->db);
    auto props = reader.readSome(*at, ids, qsizetype(std::max<qint64>(0, maxBytes)));
    if (!props)
        return toPstError(props.error());
    return m_state->bag(*props);
}

Expected<qint64, QString> NativeEngine::streamAttachment(const AttachmentKey &key, const ByteSink &sink)
{
    if (!m_state->db)
        return QStringLiteral("no archive is open");
    const pst::NodeDatabase::ReadOnce once(*m_state->db);
    auto at = m_state->locate(key.message);
    if (!at)
        return at.error().text;
    pst::MessageReader reader(*m_state->db);
    auto data = reader.attachmentData(*at, key.index);
    if (!data)
        return data.error().text;
    if (!data->tree) {
        if (!data->bytes.isEmpty())
            sink(QByteArrayView(data->bytes));
        return qint64(data->bytes.size());
    }
    // Block by block: memory stays one block, whatever the attachment's size.
    qint64 handed = 0;
    for (int i = 0; i < data->tree->leaves.size(); ++i) {
        auto block = m_state->db->leaf(*data->tree, i);
        if (!block)
            return block.error().text;
        const qint64 take = std::min<qint64>(block->size(), data->size - handed);
        if (take < block->size() && i + 1 < data->tree->leaves.size())
            return QStringLiteral("data tree: blocks hold more than the %1 bytes declared").arg(data->size);
        handed += take;
        if (!sink(QByteArrayView(block->constData(), take)))
            return handed;
    }
    if (handed != data->size)
        return QStringLiteral("data tree: blocks hold %1 of the %2 bytes declared").arg(handed).arg(data->size);
    return handed;
}

}  // namespace ostrel
