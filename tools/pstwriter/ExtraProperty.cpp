#include "ExtraProperty.h"

#include "Bytes.h"
#include "PropertyBag.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>

#include <unicode/ucnv.h>

#include <cstring>
#include <memory>

namespace ostrel::pstwriter {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ostrel::pstwriter::ExtraProperty", text);
}

QUuid uuid(const char *text)
{
    return QUuid::fromString(QLatin1String(text));
}

QByteArray le(quint64 v, int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char((v >> (8 * i)) & 0xFF);
    return b;
}

QByteArray utf16(const QString &s)
{
    QByteArray b(s.size() * 2, '\0');
    for (qsizetype i = 0; i < s.size(); ++i)
        bytes::put16(b, 2 * i, s.at(i).unicode());
    return b;
}

// The stored form of a GUID: the first three fields little-endian.
QByteArray guidBytes(const QUuid &u)
{
    QByteArray b = le(u.data1, 4) + le(u.data2, 2) + le(u.data3, 2);
    b.append(reinterpret_cast<const char *>(u.data4), 8);
    return b;
}

// The size of one item of a multi-valued type: a GUID's 16 bytes beside
// the values a row or record holds inline.
int fixedItemSize(quint16 type)
{
    return type == PtGuid ? 16 : fixedSize(type);
}

std::optional<QByteArray> single(quint16 type, const QVariant &v, QString *error, quint32 codepage)
{
    auto wrong = [&](const char *what) -> std::optional<QByteArray> {
        if (error)
            *error = tr("expected %1").arg(QLatin1String(what));
        return std::nullopt;
    };
    switch (type) {
    case PtInt16:
    case PtInt32:
    case PtError:
    case PtInt64:
    case PtCurrency: {
        bool ok = false;
        const qlonglong n = v.toLongLong(&ok);
        if (!ok || v.typeId() == QMetaType::Bool || v.typeId() == QMetaType::QString)
            return wrong("a whole number");
        if (type == PtInt16 && (n < -32768 || n > 65535))
            return wrong("a number from -32768 to 65535");
        if ((type == PtInt32 || type == PtError) && (n < -2147483648LL || n > 4294967295LL))
            return wrong("a 32-bit number");
        return le(quint64(n), type == PtInt16 ? 2 : type == PtInt64 || type == PtCurrency ? 8 : 4);
    }
    case PtBool:
        if (v.typeId() != QMetaType::Bool)
            return wrong("true or false");
        return le(v.toBool() ? 1 : 0, 1);
    case PtFloat:
    case PtDouble:
    case PtAppTime: {
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok || v.typeId() == QMetaType::QString || v.typeId() == QMetaType::Bool)
            return wrong("a number");
        if (type == PtFloat) {
            const float f = float(d);
            quint32 bits = 0;
            std::memcpy(&bits, &f, 4);
            return le(bits, 4);
        }
        quint64 bits = 0;
        std::memcpy(&bits, &d, 8);
        return le(bits, 8);
    }
    case PtTime: {
        QDateTime t = v.toDateTime();
        if (v.typeId() == QMetaType::QString)
            t = QDateTime::fromString(v.toString(), Qt::ISODate);
        if (!t.isValid())
            return wrong("a time like 2024-03-01T09:30:00Z");
        return le(fileTime(t), 8);
    }
    case PtGuid: {
        const QUuid u = v.typeId() == QMetaType::QUuid ? v.toUuid() : QUuid::fromString(v.toString());
        if (u.isNull() && v.toString() != QLatin1String("{00000000-0000-0000-0000-000000000000}"))
            return wrong("a GUID");
        return guidBytes(u);
    }
    case PtUnicode:
        if (v.typeId() != QMetaType::QString)
            return wrong("text");
        return utf16(v.toString());
    case PtString8:
        if (v.typeId() == QMetaType::QByteArray)
            return v.toByteArray();
        if (v.typeId() != QMetaType::QString)
            return wrong("text");
        if (auto b = encode8bit(v.toString(), codepage))
            return *b;
        return wrong("text in a known code page");
    case PtBinary:
    case PtObject:
        if (v.typeId() == QMetaType::QByteArray)
            return v.toByteArray();
        if (v.typeId() == QMetaType::QString)
            return v.toString().toUtf8();
        return wrong("bytes");
    default:
        if (error)
            *error = tr("unknown property type 0x%1").arg(type, 4, 16, QLatin1Char('0'));
        return std::nullopt;
    }
}

}  // namespace

namespace propertySet {
QUuid common() { return uuid("{00062008-0000-0000-C000-000000000046}"); }
QUuid address() { return uuid("{00062004-0000-0000-C000-000000000046}"); }
QUuid appointment() { return uuid("{00062002-0000-0000-C000-000000000046}"); }
QUuid meeting() { return uuid("{6ED8DA90-450B-101B-98DA-00AA003F1305}"); }
QUuid task() { return uuid("{00062003-0000-0000-C000-000000000046}"); }
QUuid note() { return uuid("{0006200E-0000-0000-C000-000000000046}"); }
QUuid log() { return uuid("{0006200A-0000-0000-C000-000000000046}"); }
QUuid publicStrings() { return uuid("{00020329-0000-0000-C000-000000000046}"); }
QUuid internetHeaders() { return uuid("{00020386-0000-0000-C000-000000000046}"); }
QUuid mapi() { return uuid("{00020328-0000-0000-C000-000000000046}"); }

std::optional<QUuid> fromName(const QString &name)
{
    static const QHash<QString, QUuid (*)()> known{
        {QStringLiteral("PSETID_Common"), &common},         {QStringLiteral("PSETID_Address"), &address},
        {QStringLiteral("PSETID_Appointment"), &appointment}, {QStringLiteral("PSETID_Meeting"), &meeting},
        {QStringLiteral("PSETID_Task"), &task},             {QStringLiteral("PSETID_Note"), &note},
        {QStringLiteral("PSETID_Log"), &log},               {QStringLiteral("PS_PUBLIC_STRINGS"), &publicStrings},
        {QStringLiteral("PS_INTERNET_HEADERS"), &internetHeaders}, {QStringLiteral("PS_MAPI"), &mapi},
    };
    if (const auto f = known.value(name))
        return f();
    QString text = name;
    if (!text.startsWith(QLatin1Char('{')))
        text = QLatin1Char('{') + text + QLatin1Char('}');
    const QUuid u = QUuid::fromString(text);
    if (u.isNull())
        return std::nullopt;
    return u;
}
}  // namespace propertySet

std::optional<quint16> propertyTypeFromName(const QString &name)
{
    static const QHash<QString, quint16> known{
        {QStringLiteral("int16"), PtInt16},   {QStringLiteral("int32"), PtInt32},
        {QStringLiteral("float"), PtFloat},   {QStringLiteral("double"), PtDouble},
        {QStringLiteral("currency"), PtCurrency}, {QStringLiteral("appTime"), PtAppTime},
        {QStringLiteral("error"), PtError},   {QStringLiteral("bool"), PtBool},
        {QStringLiteral("int64"), PtInt64},   {QStringLiteral("string8"), PtString8},
        {QStringLiteral("string"), PtUnicode}, {QStringLiteral("time"), PtTime},
        {QStringLiteral("guid"), PtGuid},     {QStringLiteral("binary"), PtBinary},
    };
    if (known.contains(name))
        return known.value(name);
    if (name.startsWith(QLatin1String("multi")) && name.size() > 5) {
        QString single = name.mid(5);
        single[0] = single[0].toLower();
        if (single == QLatin1String("string8"))
            return quint16(PtString8 | PtMultiple);
        if (known.contains(single) && single != QLatin1String("bool") && single != QLatin1String("error"))
            return quint16(known.value(single) | PtMultiple);
        return std::nullopt;
    }
    bool ok = false;
    const uint n = name.startsWith(QLatin1String("0x")) ? name.mid(2).toUInt(&ok, 16) : 0;
    if (ok && n > 0 && n <= 0xFFFF)
        return quint16(n);
    return std::nullopt;
}

std::optional<QByteArray> encodePropertyValue(quint16 type, const QVariant &value, QString *error, quint32 codepage)
{
    if (!(type & PtMultiple))
        return single(type, value, error, codepage);
    const quint16 item = type & ~PtMultiple;
    if (value.typeId() != QMetaType::QVariantList && value.typeId() != QMetaType::QStringList) {
        if (error)
            *error = tr("expected a list");
        return std::nullopt;
    }
    const QVariantList items = value.toList();
    QList<QByteArray> encoded;
    for (qsizetype i = 0; i < items.size(); ++i) {
        QString why;
        const auto e = single(item, items[i], &why, codepage);
        if (!e) {
            if (error)
                *error = tr("item %1: %2").arg(i).arg(why);
            return std::nullopt;
        }
        encoded.append(*e);
    }
    QByteArray out;
    if (fixedItemSize(item) > 0) {
        for (const QByteArray &e : encoded)
            out += e;
        return out;
    }
    // A count, the offset of every item from the start, then the items.
    out = le(quint64(encoded.size()), 4);
    quint32 at = quint32(4 + 4 * encoded.size());
    for (const QByteArray &e : encoded) {
        out += le(at, 4);
        at += quint32(e.size());
    }
    for (const QByteArray &e : encoded)
        out += e;
    return out;
}

ExtraProperty ExtraProperty::make(PropertyKey key, quint16 type, const QVariant &value)
{
    ExtraProperty p;
    p.key = std::move(key);
    if (const auto encoded = encodePropertyValue(type, value, nullptr)) {
        p.type = type;
        p.value = *encoded;
    }
    return p;
}

quint64 fileTime(const QDateTime &t)
{
    return quint64(t.toMSecsSinceEpoch() + 11644473600000LL) * 10000ULL;
}

std::optional<QByteArray> encode8bit(const QString &text, quint32 codepage)
{
    if (codepage == 65001)
        return text.toUtf8();
    // ICU knows Windows code pages by these names.
    QByteArray name;
    if (codepage >= 28591 && codepage <= 28605)
        name = "ISO-8859-" + QByteArray::number(codepage - 28590);
    else if (codepage == 20127)
        name = "US-ASCII";
    else if (codepage == 932)
        name = "windows-31j";
    else if (codepage == 936)
        name = "GBK";
    else if (codepage == 949)
        name = "windows-949";
    else if (codepage == 950)
        name = "windows-950";
    else if (codepage == 20866)
        name = "KOI8-R";
    else if (codepage == 51932)
        name = "EUC-JP";
    else if (codepage == 50220)
        name = "ISO-2022-JP";
    else if (codepage == 874 || (codepage >= 1250 && codepage <= 1258))
        name = "windows-" + QByteArray::number(codepage);
    else
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, void (*)(UConverter *)> conv(ucnv_open(name.constData(), &status), ucnv_close);
    if (U_FAILURE(status) || !conv)
        return std::nullopt;
    status = U_ZERO_ERROR;
    ucnv_setSubstChars(conv.get(), "?", 1, &status);
    status = U_ZERO_ERROR;
    const int capacity = UCNV_GET_MAX_BYTES_FOR_STRING(int(text.size()), ucnv_getMaxCharSize(conv.get())) + 16;
    QByteArray out(capacity, '\0');
    const int n = ucnv_fromUChars(conv.get(), out.data(), capacity, reinterpret_cast<const UChar *>(text.utf16()),
                                  int(text.size()), &status);
    if (U_FAILURE(status))
        return std::nullopt;
    out.truncate(n);
    return out;
}

}  // namespace ostrel::pstwriter
