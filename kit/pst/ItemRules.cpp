#include "pst/ItemRules.h"

#include "pst/RecordRules.h"

#include <QStringDecoder>
#include <QtEndian>
#include <cstring>

namespace ostrel::rules {

const QUuid PropertySet::appointment{0x00062002, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
const QUuid PropertySet::task{0x00062003, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
const QUuid PropertySet::address{0x00062004, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

namespace {

struct Contact {
    static constexpr quint16 displayName = 0x3001;
    static constexpr quint16 businessPhone = 0x3A08;
    static constexpr quint16 homePhone = 0x3A09;
    static constexpr quint16 postalAddress = 0x3A15;
    static constexpr quint16 company = 0x3A16;
    static constexpr quint16 jobTitle = 0x3A17;
    static constexpr quint16 mobilePhone = 0x3A1C;
    static constexpr quint16 businessFax = 0x3A24;
    static constexpr quint16 sentRepresentingName = 0x0042;
};

constexpr quint16 kMultipleBinary = 0x1102;
constexpr quint16 kFloating64 = 0x0005;

PropertyName lid(const QUuid &set, quint32 id)
{
    return PropertyName{set, id};
}

std::optional<QString> namedText(const PropertyBag &bag, const PropertyName &name)
{
    const PropertyValue *value = bag.find(name);
    if (!value)
        return std::nullopt;
    auto found = text(*value);
    if (found && found->trimmed().isEmpty())
        return std::nullopt;
    return found;
}

std::optional<double> namedTime(const PropertyBag &bag, const PropertyName &name)
{
    const PropertyValue *value = bag.find(name);
    if (!value || value->type != PropertyType::time || value->bytes.size() < 8)
        return std::nullopt;
    const auto stored = qFromLittleEndian<quint64>(value->bytes.constData());
    return stored == 0 ? std::nullopt : std::optional<double>(instant(stored));
}

std::optional<bool> namedBoolean(const PropertyBag &bag, const PropertyName &name)
{
    const PropertyValue *value = bag.find(name);
    if (!value || value->type != PropertyType::boolean || value->bytes.isEmpty())
        return std::nullopt;
    return value->bytes.at(0) != 0;
}

std::optional<quint32> namedInteger32(const PropertyBag &bag, const PropertyName &name)
{
    const PropertyValue *value = bag.find(name);
    if (!value || value->type != PropertyType::integer32 || value->bytes.size() < 4)
        return std::nullopt;
    return qFromLittleEndian<quint32>(value->bytes.constData());
}

std::optional<double> namedFloat64(const PropertyBag &bag, const PropertyName &name)
{
    const PropertyValue *value = bag.find(name);
    if (!value || value->type != kFloating64 || value->bytes.size() < 8)
        return std::nullopt;
    const auto bits = qFromLittleEndian<quint64>(value->bytes.constData());
    double result = 0;
    std::memcpy(&result, &bits, sizeof result);
    return result;
}

void addText(QList<ItemField> &fields, const char *label, const std::optional<QString> &value)
{
    if (value && !value->trimmed().isEmpty())
        fields.append(ItemField{QString::fromLatin1(label), *value});
}

void addTime(QList<ItemField> &fields, const char *label, std::optional<double> time)
{
    if (time)
        fields.append(ItemField{QString::fromLatin1(label), {}, time});
}

void addOwnWords(QList<ItemField> &fields, const char *label, const char *value)
{
    fields.append(ItemField{QString::fromLatin1(label), QString::fromLatin1(value), std::nullopt, true});
}

QString recipientNames(const RawMessage &message)
{
    QStringList names;
    for (const PropertyBag &recipient : message.recipients.value) {
        for (const quint16 id : {Contact::displayName, Tag::recipientDisplayName, Tag::emailAddress}) {
            if (auto value = nonEmptyText(recipient, id)) {
                names.append(*value);
                break;
            }
        }
    }
    return names.join(QStringLiteral(", "));
}

QList<ItemField> contactFields(const PropertyBag &bag)
{
    QList<ItemField> fields;
    addText(fields, QT_TRANSLATE_NOOP("ItemField", "Name"), nonEmptyText(bag, Contact::displayName));
    addText(fields, QT_TRANSLATE_NOOP("ItemField", "Company"), nonEmptyText(bag, Contact::company));
    addText(fields, QT_TRANSLATE_NOOP("ItemField", "Job title"), nonEmptyText(bag, Contact::jobTitle));
    for (const quint32 id : {0x8083u, 0x8093u, 0x80A3u})
        addText(fields, QT_TRANSLATE_NOOP("ItemField", "E-mail"), namedText(bag, lid(PropertySet::address, id)));
    addText(fields, QT_TRANSLATE_NOOP("ItemField", "Business phone"), nonEmptyText(bag, Contact::businessPhone));
    addText(fields, QT_TRANSLATE_NOOP("ItemField", "Home phone"), nonEmptyText(bag, Contact::homePhone));
    addText(fields, QT_TRANSLATE_NOOP("ItemField", "Mobile phone"), nonEmptyText(bag, Contact::mobilePhone));
    addText(fields, QT_TRANSLATE_NOOP("ItemField", "Business fax"), nonEmptyText(bag, Contact::businessFax));
    auto address = nonEmptyText(bag, Contact::postalAddress);
    if (!address)
        address = namedText(bag, lid(PropertySet::address, 0x801B));  // work address
    if (!address)
        address = namedText(bag, lid(PropertySet::address, 0x801A));  // home address
    addText(fields, QT_TRANSLATE_NOOP("ItemField", "Address"), address);
    return fields;
}

QList<ItemField> appointmentFields(const RawMessage &message)
{
    const PropertyBag &bag = message.properties;
    const QUuid &set = PropertySet::appointment;
    QList<ItemField> fields;
    const bool allDay = namedBoolean(bag, lid(set, 0x8215)).value_or(false);
    addTime(fields, allDay ? QT_TRANSLATE_NOOP("ItemField", "Start date") : QT_TRANSLATE_NOOP("ItemField", "Start"), namedTime(bag, lid(set, 0x820D)));
    addTime(fields, allDay ? QT_TRANSLATE_NOOP("ItemField", "End date") : QT_TRANSLATE_NOOP("ItemField", "End"), namedTime(bag, lid(set, 0x820E)));
    if (allDay)
        addOwnWords(fields, QT_TRANSLATE_NOOP("ItemField", "All day"), QT_TRANSLATE_NOOP("ItemField", "Yes"));
    addText(fields, QT_TRANSLATE_NOOP("ItemField", "Location"), namedText(bag, lid(set, 0x8208)));
    auto organiser = nonEmptyText(bag, Contact::sentRepresentingName);
    if (!organiser)
        organiser = nonEmptyText(bag, Tag::senderName);
    addText(fields, QT_TRANSLATE_NOOP("ItemField", "Organiser"), organiser);
    addText(fields, QT_TRANSLATE_NOOP("ItemField", "Attendees"), recipientNames(message));
    if (namedBoolean(bag, lid(set, 0x8223)).value_or(false)) {
        if (auto pattern = namedText(bag, lid(set, 0x8232)))
            addText(fields, QT_TRANSLATE_NOOP("ItemField", "Recurrence"), pattern);
        else
            addOwnWords(fields, QT_TRANSLATE_NOOP("ItemField", "Recurrence"), QT_TRANSLATE_NOOP("ItemField", "Recurring"));
    }
    return fields;
}

QList<ItemField> taskFields(const PropertyBag &bag)
{
    const QUuid &set = PropertySet::task;
    QList<ItemField> fields;
    addTime(fields, QT_TRANSLATE_NOOP("ItemField", "Start date"), namedTime(bag, lid(set, 0x8104)));
    addTime(fields, QT_TRANSLATE_NOOP("ItemField", "Due date"), namedTime(bag, lid(set, 0x8105)));
    static constexpr const char *kStatus[] = {
        QT_TRANSLATE_NOOP("ItemField", "Not started"), QT_TRANSLATE_NOOP("ItemField", "In progress"),
        QT_TRANSLATE_NOOP("ItemField", "Completed"), QT_TRANSLATE_NOOP("ItemField", "Waiting on someone else"),
        QT_TRANSLATE_NOOP("ItemField", "Deferred")};
    if (const auto status = namedInteger32(bag, lid(set, 0x8101)); status && *status < std::size(kStatus))
        addOwnWords(fields, QT_TRANSLATE_NOOP("ItemField", "Status"), kStatus[*status]);
    if (const auto done = namedFloat64(bag, lid(set, 0x8102)); done && *done >= 0.0 && *done <= 1.0)
        fields.append(ItemField{QString::fromLatin1(QT_TRANSLATE_NOOP("ItemField", "Complete")), QStringLiteral("%1 %").arg(qRound(*done * 100))});
    return fields;
}

QList<ItemField> distributionListFields(const PropertyBag &bag)
{
    QList<ItemField> fields;
    addText(fields, QT_TRANSLATE_NOOP("ItemField", "Name"), namedText(bag, lid(PropertySet::address, 0x8053)));
    if (const PropertyValue *members = bag.find(lid(PropertySet::address, 0x8054))) {
        for (const QString &member : oneOffMembers(*members))
            fields.append(ItemField{QString::fromLatin1(QT_TRANSLATE_NOOP("ItemField", "Member")), member});
    }
    return fields;
}

// A NUL-terminated string at pos, in UTF-16LE or 8-bit; pos moves past it.
std::optional<QString> terminatedString(QByteArrayView bytes, qsizetype &pos, bool unicode)
{
    const qsizetype unit = unicode ? 2 : 1;
    for (qsizetype end = pos; end + unit <= bytes.size(); end += unit) {
        if (bytes[end] != '\0' || (unicode && bytes[end + 1] != '\0'))
            continue;
        const QByteArrayView part = bytes.sliced(pos, end - pos);
        pos = end + unit;
        if (!unicode)
            return windows1252(part);
        QStringDecoder decoder(QStringDecoder::Utf16LE, QStringDecoder::Flag::Stateless);
        return QString(decoder.decode(part));
    }
    return std::nullopt;
}

// One one-off entry id: flags, the one-off provider's id, version, flags,
// then display name, address type and address.
std::optional<QString> oneOffMember(QByteArrayView entry)
{
    static constexpr quint8 kOneOffProvider[16] = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                                   0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
    constexpr qsizetype kHeader = 4 + 16 + 2 + 2;
    if (entry.size() < kHeader || std::memcmp(entry.data() + 4, kOneOffProvider, 16) != 0)
        return std::nullopt;
    const auto flags = qFromLittleEndian<quint16>(entry.data() + 22);
    const bool unicode = (flags & 0x8000) != 0;
    qsizetype pos = kHeader;
    const auto name = terminatedString(entry, pos, unicode);
    const auto type = name ? terminatedString(entry, pos, unicode) : std::nullopt;
    const auto address = type ? terminatedString(entry, pos, unicode) : std::nullopt;
    if (!address)
        return std::nullopt;
    if (name->isEmpty())
        return address->isEmpty() ? std::nullopt : address;
    if (address->isEmpty() || *address == *name)
        return name;
    return QStringLiteral("%1 <%2>").arg(*name, *address);
}

}  // namespace

QStringList oneOffMembers(const PropertyValue &stored, qsizetype maxMembers)
{
    // The stored array: a count, the count's offsets, then the values.
    QStringList members;
    const QByteArrayView bytes(stored.bytes);
    if (stored.type != kMultipleBinary || bytes.size() < 4)
        return members;
    const auto count = qFromLittleEndian<quint32>(bytes.data());
    if (count == 0 || count > quint64(bytes.size() - 4) / 4)
        return members;
    const qsizetype data = 4 + qsizetype(count) * 4;
    for (quint32 k = 0; k < count && members.size() < maxMembers; ++k) {
        const auto begin = qsizetype(qFromLittleEndian<quint32>(bytes.data() + 4 + 4 * k));
        const auto end = k + 1 < count ? qsizetype(qFromLittleEndian<quint32>(bytes.data() + 8 + 4 * k))
                                       : bytes.size();
        if (begin < data || end < begin || end > bytes.size())
            continue;
        if (auto member = oneOffMember(bytes.sliced(begin, end - begin)))
            members.append(*member);
    }
    return members;
}

QList<ItemField> itemFields(ItemKind kind, const RawMessage &message)
{
    switch (kind) {
    case ItemKind::contact: return contactFields(message.properties);
    case ItemKind::appointment:
    case ItemKind::meetingRequest: return appointmentFields(message);
    case ItemKind::task: return taskFields(message.properties);
    case ItemKind::distributionList: return distributionListFields(message.properties);
    case ItemKind::note:
    case ItemKind::report:
    case ItemKind::mail: break;
    }
    return {};
}

}  // namespace ostrel::rules
