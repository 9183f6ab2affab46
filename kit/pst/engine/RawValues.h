#pragma once

// What an engine reads out of an archive, before any rule of the viewer is
// applied: properties as they are stored, and the shape of folders, messages,
// recipients and attachments. Every engine fills the same values, and one set
// of record rules turns them into mail records, so engines can differ only in
// speed and in what they manage to read.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <algorithm>
#include <memory>
#include <optional>
#include <variant>

namespace ostrel {

// A property value as the archive stores it.
// - Fixed-size types: their little-endian bytes (PtypBoolean 1 byte,
//   PtypInteger16 2, PtypInteger32 and PtypFloating32 4, PtypInteger64,
//   PtypFloating64, PtypCurrency, PtypFloatingTime and PtypTime 8,
//   PtypGuid 16). Readers accept longer values and use the leading bytes.
// - PtypString: UTF-16LE code units; PtypString8: the 8-bit bytes;
//   PtypBinary: the bytes. A trailing terminator may be present.
// - Multi-valued types: the stored array form of the file format.
struct PropertyValue {
    quint16 type = 0;  // a PropertyType
    QByteArray bytes;

    friend bool operator==(const PropertyValue &, const PropertyValue &) = default;
};

}  // namespace ostrel

// Moved as bytes when a list grows or an entry is inserted.
Q_DECLARE_TYPEINFO(ostrel::PropertyValue, Q_RELOCATABLE_TYPE);

namespace ostrel {

// The stored types the record rules read (values of PropertyValue::type).
struct PropertyType {
    static constexpr quint16 integer16 = 0x0002;
    static constexpr quint16 integer32 = 0x0003;
    static constexpr quint16 boolean = 0x000B;
    static constexpr quint16 object = 0x000D;
    static constexpr quint16 integer64 = 0x0014;
    static constexpr quint16 string8 = 0x001E;
    static constexpr quint16 string = 0x001F;
    static constexpr quint16 time = 0x0040;
    static constexpr quint16 guid = 0x0048;
    static constexpr quint16 binary = 0x0102;
};

// The identity of a named property (ids from 0x8000): its property set and
// either a number or a name.
struct PropertyName {
    QUuid propertySet;
    std::variant<quint32, QString> id;

    friend bool operator==(const PropertyName &, const PropertyName &) = default;
};

size_t qHash(const PropertyName &name, size_t seed = 0);

// The properties of one object: a message, a recipient or attachment row, a
// folder, the store. Named properties are kept under their names, never under
// the file's own mapped ids, which differ from archive to archive; a named
// property whose name cannot be found is left out. A property whose value
// could not be read is left out too.
class PropertyBag {
public:
    // A tagged property: its id and value. Kept in a flat list ordered by id
    // (one allocation per bag, lookups by halving); engines mostly insert in
    // id order, which appends.
    struct Tagged {
        quint16 id = 0;
        PropertyValue value;

        friend bool operator==(const Tagged &, const Tagged &) = default;
    };

    void insert(quint16 id, PropertyValue value);
    void insert(const PropertyName &name, PropertyValue value) { m_named.insert(name, std::move(value)); }
    void remove(quint16 id);
    void reserve(qsizetype tagged) { m_tagged.reserve(tagged); }
    // Refilled in place with tagged values alone, keeping the room it had:
    // a bag refilled row after row allocates once. fill(out) writes at most
    // `most` values to out, ids strictly ascending, and returns how many.
    template <typename Fill>
    void refill(qsizetype most, Fill &&fill)
    {
        m_named.clear();
        m_tagged.resize(most);
        const qsizetype filled = fill(m_tagged.data());
        Q_ASSERT(filled <= most);
        Q_ASSERT(std::is_sorted(m_tagged.cbegin(), m_tagged.cbegin() + filled,
                                [](const Tagged &a, const Tagged &b) { return a.id < b.id; }));
        m_tagged.resize(filled);
    }

    const PropertyValue *find(quint16 id) const
    {
        const qsizetype at = position(id);
        return at < m_tagged.size() && m_tagged[at].id == id ? &m_tagged[at].value : nullptr;
    }
    const PropertyValue *find(const PropertyName &name) const
    {
        const auto it = m_named.constFind(name);
        return it == m_named.cend() ? nullptr : &it.value();
    }
    bool contains(quint16 id) const { return find(id) != nullptr; }
    bool isEmpty() const { return m_tagged.isEmpty() && m_named.isEmpty(); }

    // In ascending id order, each id once.
    const QList<Tagged> &tagged() const { return m_tagged; }
    const QHash<PropertyName, PropertyValue> &named() const { return m_named; }

    friend bool operator==(const PropertyBag &, const PropertyBag &) = default;

private:
    // Where id is or would go: the first entry whose id is not below it.
    qsizetype position(quint16 id) const
    {
        if (!m_tagged.isEmpty() && m_tagged.constLast().id < id)
            return m_tagged.size();
        qsizetype lo = 0;
        qsizetype hi = m_tagged.size();
        while (lo < hi) {
            const qsizetype mid = (lo + hi) / 2;
            if (m_tagged[mid].id < id)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }

    QList<Tagged> m_tagged;
    QHash<PropertyName, PropertyValue> m_named;
};

}  // namespace ostrel

Q_DECLARE_TYPEINFO(ostrel::PropertyBag::Tagged, Q_RELOCATABLE_TYPE);

namespace ostrel {

// A value, or the reason the archive would not give it. Damage is never
// silent: a part that could not be read travels with its reason instead of
// becoming an empty list or a zero.
template <typename T>
struct Readable {
    T value{};
    std::optional<QString> failure;  // "could not be read", and why

    bool readable() const { return !failure.has_value(); }
    // Not defaulted: clang would check it while a folder's list of folders
    // is still an incomplete type.
    friend bool operator==(const Readable &a, const Readable &b)
    {
        return a.value == b.value && a.failure == b.failure;
    }
};

// Finds a message again within one open archive: the node id of a message
// that lies in a folder, and for an embedded message the attachment positions
// (RawAttachment::index) that lead down to it.
struct MessageKey {
    quint32 node = 0;
    QList<int> embeddedPath;

    friend bool operator==(const MessageKey &, const MessageKey &) = default;
};

size_t qHash(const MessageKey &key, size_t seed = 0);

// Finds an attachment again: its message and its position among that
// message's attachments.
struct AttachmentKey {
    MessageKey message;
    int index = 0;

    friend bool operator==(const AttachmentKey &, const AttachmentKey &) = default;
};

// One folder of the tree. properties holds what the archive says of the
// folder (display name, content and unread counts, container class, ...).
struct RawFolder {
    quint32 node = 0;
    PropertyBag properties;
    Readable<qint64> messageCount;  // the engine's count of the folder's messages
    bool searchFolder = false;
    Readable<QList<RawFolder>> children;  // those read, and why the others are missing

    friend bool operator==(const RawFolder &, const RawFolder &) = default;
};

// What opening gives: the store's own properties and the root folder's sub
// folders, each with its tree.
struct RawArchive {
    PropertyBag store;
    quint32 rootFolder = 0;
    Readable<QList<RawFolder>> folders;
    // Why named properties (ids from 0x8000) are missing from every bag of
    // this archive: the map of their names could not be read.
    std::optional<QString> namedPropertiesFailure;

    friend bool operator==(const RawArchive &, const RawArchive &) = default;
};

struct RawMessage;

struct RawAttachment {
    int index = 0;                        // position in the message's attachments
    PropertyBag properties;               // everything but the data itself
    // The number of bytes streamAttachment hands over: the attachment's data,
    // never an attached message's internal form. Absent for an attached
    // message and when unreadable.
    std::optional<qint64> dataSize;
    std::optional<QByteArray> data;       // present only when the read asked for it
    std::shared_ptr<const RawMessage> embedded;  // an attached message, read whole
    std::optional<QString> embeddedFailure;      // why an attached message could not be read

    bool operator==(const RawAttachment &other) const;
};

// A whole message: its properties (bodies included, as stored: compressed
// RTF stays compressed), recipient rows and attachments. The lists hold what
// could be read; failure says why anything is missing.
struct RawMessage {
    MessageKey key;
    PropertyBag properties;
    Readable<QList<PropertyBag>> recipients;
    Readable<QList<RawAttachment>> attachments;
    // Why the message itself could not be read. A page keeps such a message
    // in its place, with only its key (node 0 when even that is unknown), so
    // a page never holds fewer messages with no word.
    std::optional<QString> failure;

    friend bool operator==(const RawMessage &, const RawMessage &) = default;
};

// One row of a folder's list: the message's key and the columns the archive
// keeps for it (subject, sender, date, flags, ...).
struct RawRow {
    quint32 node = 0;
    PropertyBag columns;
    // The bytes that the columns' values may point into (shared by the rows
    // of one chunk, read without a copy per cell): a value copied out of a
    // row lives only as long as the row does.
    QByteArray storage;

    friend bool operator==(const RawRow &a, const RawRow &b) { return a.node == b.node && a.columns == b.columns; }
};

// What listing a folder gave beyond its rows.
struct RawListing {
    qint64 rows = 0;         // rows delivered
    qint64 unreadable = 0;   // rows the archive would not give
    std::optional<QString> failure;  // why, when unreadable > 0 or the listing stopped early
};

}  // namespace ostrel
