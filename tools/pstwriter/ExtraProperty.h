#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>
#include <QVariant>

#include <optional>

namespace ostrel::pstwriter {

// Property sets of named properties that the messaging formats define.
namespace propertySet {
QUuid common();           // PSETID_Common
QUuid address();          // PSETID_Address (contacts)
QUuid appointment();      // PSETID_Appointment
QUuid meeting();          // PSETID_Meeting
QUuid task();             // PSETID_Task
QUuid note();             // PSETID_Note
QUuid log();              // PSETID_Log (journal)
QUuid publicStrings();    // PS_PUBLIC_STRINGS
QUuid internetHeaders();  // PS_INTERNET_HEADERS
QUuid mapi();             // PS_MAPI
// "PSETID_Address", "PS_PUBLIC_STRINGS", ... or a GUID in braces or without.
std::optional<QUuid> fromName(const QString &name);
}  // namespace propertySet

// A named property: a property set and either a number or a name.
struct PropertyName {
    QUuid set;
    std::optional<quint32> number;
    QString name;  // used when `number` is absent

    static PropertyName numbered(const QUuid &set, quint32 number) { return {set, number, {}}; }
    static PropertyName named(const QUuid &set, const QString &name) { return {set, std::nullopt, name}; }
    bool operator==(const PropertyName &o) const { return set == o.set && number == o.number && (number || name == o.name); }
};

// Which property: a tagged one (an id below 0x8000) or a named one, which
// the archive's name-to-id map gives an id from 0x8000 on.
struct PropertyKey {
    quint16 id = 0;
    std::optional<PropertyName> named;

    PropertyKey() = default;
    PropertyKey(quint16 tagId) : id(tagId) {}  // NOLINT: a tag id is a key
    PropertyKey(PropertyName name) : named(std::move(name)) {}  // NOLINT
};

// Property types (the low 16 bits of a tag). Multi-valued types add 0x1000.
enum PropType : quint16 {
    PtInt16 = 0x0002,
    PtInt32 = 0x0003,
    PtFloat = 0x0004,
    PtDouble = 0x0005,
    PtCurrency = 0x0006,
    PtAppTime = 0x0007,
    PtError = 0x000A,
    PtBool = 0x000B,
    PtObject = 0x000D,
    PtInt64 = 0x0014,
    PtString8 = 0x001E,
    PtUnicode = 0x001F,
    PtTime = 0x0040,
    PtGuid = 0x0048,
    PtBinary = 0x0102,
    PtMultiple = 0x1000,
};

constexpr quint32 tag(quint16 id, quint16 type) { return quint32(id) << 16 | type; }

// "int32", "string", "multiString", ... or a number like "0x101F".
std::optional<quint16> propertyTypeFromName(const QString &name);

// A value as the archive stores it: little-endian numbers, UTF-16LE text
// without terminator, multi-valued ones as a count, offsets and items (or
// the items side by side when they have a fixed size). Accepts integers
// for the integer types, bool, double, QDateTime for times, QString for
// text (8-bit text in `codepage`), QByteArray for binary, QUuid or its text
// for GUIDs and a list for multi-valued types. Returns nothing, with the
// reason, when the value does not fit the type.
std::optional<QByteArray> encodePropertyValue(quint16 type, const QVariant &value, QString *error,
                                              quint32 codepage = 1252);

// A property beyond those the builder sets itself; it replaces a property
// the builder sets with the same key.
struct ExtraProperty {
    PropertyKey key;
    quint16 type = 0;
    QByteArray value;

    // Type 0 (which the builder refuses) when the value does not fit.
    static ExtraProperty make(PropertyKey key, quint16 type, const QVariant &value);
};

// The FILETIME of an instant.
quint64 fileTime(const QDateTime &t);

// 8-bit text in a Windows code page (1252, 1251, 932, 28591, 65001, ...);
// characters the page lacks become '?'. Nothing for an unknown page.
std::optional<QByteArray> encode8bit(const QString &text, quint32 codepage);

}  // namespace ostrel::pstwriter
