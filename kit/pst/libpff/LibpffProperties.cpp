#include "pst/libpff/LibpffProperties.h"

#include "pst/libpff/LibpffError.h"

#include <QtEndian>
#include <array>

namespace ostrel {

namespace {
constexpr quint32 kFirstNamedId = 0x8000;
constexpr size_t kLargestValue = size_t(64) << 20;

class RecordEntry {
public:
    RecordEntry(const LibpffCalls &lib, libpff_record_entry_t *entry) : m_lib(lib), m_entry(entry) {}
    ~RecordEntry()
    {
        if (m_entry) {
            LibpffErrorSlot error;
            m_lib.record_entry_free(&m_entry, &error);
        }
    }
    RecordEntry(const RecordEntry &) = delete;
    RecordEntry &operator=(const RecordEntry &) = delete;
    libpff_record_entry_t *get() const { return m_entry; }

private:
    const LibpffCalls &m_lib;
    libpff_record_entry_t *m_entry;
};

// The name a named property's mapped id stands for; the map entry belongs to
// the file and is not freed.
std::optional<PropertyName> nameOf(const LibpffCalls &lib, libpff_record_entry_t *entry)
{
    libpff_name_to_id_map_entry_t *mapped = nullptr;
    {
        LibpffErrorSlot error;
        if (lib.record_entry_get_name_to_id_map_entry(entry, &mapped, &error) != 1 || mapped == nullptr)
            return std::nullopt;
    }
    PropertyName name;
    std::array<uint8_t, 16> guid{};
    {
        LibpffErrorSlot error;
        if (lib.name_to_id_map_entry_get_guid(mapped, guid.data(), guid.size(), &error) != 1)
            return std::nullopt;
    }
    // Stored as a Microsoft GUID: the first three fields little-endian.
    name.propertySet = QUuid(qFromLittleEndian<quint32>(guid.data()), qFromLittleEndian<quint16>(guid.data() + 4),
                             qFromLittleEndian<quint16>(guid.data() + 6), guid[8], guid[9], guid[10], guid[11],
                             guid[12], guid[13], guid[14], guid[15]);
    uint8_t kind = 0;
    {
        LibpffErrorSlot error;
        if (lib.name_to_id_map_entry_get_type(mapped, &kind, &error) != 1)
            return std::nullopt;
    }
    if (kind == LIBPFF_NAME_TO_ID_MAP_ENTRY_TYPE_NUMERIC) {
        uint32_t number = 0;
        LibpffErrorSlot error;
        if (lib.name_to_id_map_entry_get_number(mapped, &number, &error) != 1)
            return std::nullopt;
        name.id = quint32(number);
        return name;
    }
    size_t size = 0;
    {
        LibpffErrorSlot error;
        if (lib.name_to_id_map_entry_get_utf8_string_size(mapped, &size, &error) != 1 || size == 0
            || size > kLargestValue)
            return std::nullopt;
    }
    QByteArray buffer(qsizetype(size), '\0');
    LibpffErrorSlot error;
    if (lib.name_to_id_map_entry_get_utf8_string(mapped, reinterpret_cast<uint8_t *>(buffer.data()), size, &error)
        != 1)
        return std::nullopt;
    const qsizetype nul = buffer.indexOf('\0');
    name.id = QString::fromUtf8(nul < 0 ? buffer : buffer.left(nul));
    return name;
}

std::optional<QByteArray> valueOf(const LibpffCalls &lib, libpff_record_entry_t *entry, qint64 maxBytes)
{
    size_t size = 0;
    {
        LibpffErrorSlot error;
        if (lib.record_entry_get_data_size(entry, &size, &error) != 1 || size > kLargestValue)
            return std::nullopt;
    }
    if (size == 0)
        return QByteArray();
    if (maxBytes >= 0 && size > size_t(maxBytes)) {
        QByteArray buffer(qsizetype(maxBytes), '\0');
        if (maxBytes == 0)
            return buffer;
        LibpffErrorSlot error;
        const ssize_t read = lib.record_entry_read_buffer(entry, reinterpret_cast<uint8_t *>(buffer.data()),
                                                          size_t(maxBytes), &error);
        if (read < 0)
            return std::nullopt;
        buffer.truncate(qsizetype(read));
        return buffer;
    }
    QByteArray buffer(qsizetype(size), '\0');
    LibpffErrorSlot error;
    if (lib.record_entry_get_data(entry, reinterpret_cast<uint8_t *>(buffer.data()), size, &error) != 1)
        return std::nullopt;
    return buffer;
}
}  // namespace

Expected<PropertyBag, QString> readRecordSet(const LibpffCalls &lib, libpff_record_set_t *set,
                                             const PropertyRead &read)
{
    int count = 0;
    {
        LibpffErrorSlot error;
        if (lib.record_set_get_number_of_entries(set, &count, &error) != 1)
            return QStringLiteral("number_of_entries: ") + error.text();
    }
    PropertyBag bag;
    for (int i = 0; i < count; ++i) {
        libpff_record_entry_t *handle = nullptr;
        {
            LibpffErrorSlot error;
            const int found = lib.record_set_get_entry_by_index(set, i, &handle, &error);
            if (found != 1 || handle == nullptr) {
                RecordEntry stray(lib, handle);
                continue;
            }
        }
        RecordEntry entry(lib, handle);
        uint32_t id = 0;
        uint32_t type = 0;
        {
            LibpffErrorSlot error;
            if (lib.record_entry_get_entry_type(entry.get(), &id, &error) != 1)
                continue;
        }
        {
            LibpffErrorSlot error;
            if (lib.record_entry_get_value_type(entry.get(), &type, &error) != 1)
                continue;
        }
        if (id > 0xFFFF || type > 0xFFFF || (read.keep && !read.keep(id)))
            continue;
        std::optional<PropertyName> name;
        if (id >= kFirstNamedId) {
            name = nameOf(lib, entry.get());
            if (!name)
                continue;
        }
        auto bytes = valueOf(lib, entry.get(), read.maxBytes);
        if (!bytes)
            continue;
        PropertyValue value{quint16(type), std::move(*bytes)};
        if (name)
            bag.insert(*name, std::move(value));
        else
            bag.insert(quint16(id), std::move(value));
    }
    return bag;
}

Expected<PropertyBag, QString> readItemProperties(const LibpffCalls &lib, libpff_item_t *item,
                                                  const PropertyRead &read)
{
    libpff_record_set_t *set = nullptr;
    {
        LibpffErrorSlot error;
        if (lib.item_get_record_set_by_index(item, 0, &set, &error) != 1 || set == nullptr) {
            const QString text = error.text();
            if (set) {
                LibpffErrorSlot freeError;
                lib.record_set_free(&set, &freeError);
            }
            return QStringLiteral("record_set: ") + text;
        }
    }
    auto bag = readRecordSet(lib, set, read);
    LibpffErrorSlot freeError;
    lib.record_set_free(&set, &freeError);
    return bag;
}

}  // namespace ostrel
