#include "Description.h"

#include "FileGenerators.h"
#include "PropertyIds.h"
#include "RtfEncapsulation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QHash>
#include <QJsonDocument>

namespace ostrel::pstwriter {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ostrel::pstwriter::Description", text);
}

// Failures carry the path of the offending value, e.g. "folders[0].messages[2].importance".
struct Failure {
    QString message;
};

[[noreturn]] void fail(const QString &where, const QString &what)
{
    throw Failure{where.isEmpty() ? what : where + QStringLiteral(": ") + what};
}

std::optional<QString> optionalString(const QJsonObject &o, const char *key, const QString &where)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    if (!v.isString())
        fail(where + QLatin1Char('.') + QLatin1String(key), tr("expected a string"));
    return v.toString();
}

std::optional<qint64> optionalInteger(const QJsonObject &o, const char *key, const QString &where, qint64 min,
                                      qint64 max)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    const double d = v.toDouble(-1e300);
    if (!v.isDouble() || d != double(qint64(d)) || d < double(min) || d > double(max))
        fail(where + QLatin1Char('.') + QLatin1String(key),
             tr("expected a whole number from %1 to %2").arg(min).arg(max));
    return qint64(d);
}

std::optional<bool> optionalBool(const QJsonObject &o, const char *key, const QString &where)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    if (!v.isBool())
        fail(where + QLatin1Char('.') + QLatin1String(key), tr("expected true or false"));
    return v.toBool();
}

quint32 parseColor(const QString &text, const QString &where)
{
    bool ok = false;
    QString hex = text;
    if (hex.startsWith(QLatin1Char('#')))
        hex.remove(0, 1);
    const quint32 v = hex.toUInt(&ok, 16);
    if (!ok || hex.size() != 6)
        fail(where, tr("expected a colour like \"#3366cc\""));
    return v;
}

QByteArray data(const QJsonValue &value, const QString &baseDir, const QString &where, int depth = 0);

QByteArray generated(const QJsonObject &o, const QString &baseDir, const QString &where, int depth)
{
    if (depth > 8)
        fail(where, tr("data nested too deeply"));
    if (o.contains(QLatin1String("text"))) {
        const QString text = o.value(QLatin1String("text")).toString();
        const quint32 codepage = quint32(optionalInteger(o, "codepage", where, 0, 65535).value_or(65001));
        const auto bytes = encode8bit(text, codepage);
        if (!bytes)
            fail(where + QStringLiteral(".codepage"), tr("unknown code page %1").arg(codepage));
        return *bytes;
    }
    for (const char *key : {"rtfFromHtml", "rtfFromText"}) {
        if (!o.contains(QLatin1String(key)))
            continue;
        const QString w = where + QLatin1Char('.') + QLatin1String(key);
        const QJsonValue v = o.value(QLatin1String(key));
        const QJsonObject g = v.toObject();
        const QString text = v.isString() ? v.toString() : g.value(QLatin1String(key[7] == 'H' ? "html" : "text")).toString();
        const quint32 codepage = quint32(optionalInteger(g, "codepage", w, 0, 65535).value_or(1252));
        if (!encode8bit(QString(), codepage))
            fail(w + QStringLiteral(".codepage"), tr("unknown code page %1").arg(codepage));
        return key[7] == 'H' ? encapsulateHtml(text, codepage) : encapsulateText(text, codepage);
    }
    if (o.contains(QLatin1String("base64"))) {
        const auto r = QByteArray::fromBase64Encoding(o.value(QLatin1String("base64")).toString().toLatin1(),
                                                      QByteArray::AbortOnBase64DecodingErrors);
        if (!r)
            fail(where + QStringLiteral(".base64"), tr("not valid Base64"));
        return *r;
    }
    if (o.contains(QLatin1String("hex")))
        return QByteArray::fromHex(o.value(QLatin1String("hex")).toString().toLatin1());
    if (o.contains(QLatin1String("file"))) {
        const QString path = QDir(baseDir).filePath(o.value(QLatin1String("file")).toString());
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            fail(where + QStringLiteral(".file"), tr("cannot read %1: %2").arg(path, f.errorString()));
        return f.readAll();
    }
    if (o.contains(QLatin1String("generated"))) {
        const QJsonObject g = o.value(QLatin1String("generated")).toObject();
        const qint64 size = optionalInteger(g, "size", where + QStringLiteral(".generated"), 0, 1LL << 31).value_or(0);
        const qint64 seed = optionalInteger(g, "seed", where + QStringLiteral(".generated"), 0, 1LL << 53).value_or(0);
        return makeNoise(qsizetype(size), quint64(seed));
    }
    if (o.contains(QLatin1String("png"))) {
        const QJsonObject g = o.value(QLatin1String("png")).toObject();
        const QString w = where + QStringLiteral(".png");
        const int width = int(optionalInteger(g, "width", w, 1, 4096).value_or(16));
        const int height = int(optionalInteger(g, "height", w, 1, 4096).value_or(16));
        const quint32 top = parseColor(optionalString(g, "color", w).value_or(QStringLiteral("#3366cc")), w + QStringLiteral(".color"));
        const quint32 bottom = g.contains(QLatin1String("bottomColor"))
                                   ? parseColor(*optionalString(g, "bottomColor", w), w + QStringLiteral(".bottomColor"))
                                   : top;
        return makePng(width, height, top, bottom);
    }
    if (o.contains(QLatin1String("pdf"))) {
        const QJsonObject g = o.value(QLatin1String("pdf")).toObject();
        QStringList lines;
        for (const QJsonValue &l : g.value(QLatin1String("lines")).toArray())
            lines.append(l.toString());
        return makePdf(g.value(QLatin1String("title")).toString(), lines);
    }
    if (o.contains(QLatin1String("zip"))) {
        QList<ZipEntry> entries;
        const QJsonArray files = o.value(QLatin1String("zip")).toObject().value(QLatin1String("files")).toArray();
        for (qsizetype i = 0; i < files.size(); ++i) {
            const QString w = where + QStringLiteral(".zip.files[%1]").arg(i);
            const QJsonObject f = files[i].toObject();
            entries.append({f.value(QLatin1String("name")).toString(),
                            data(f.value(QLatin1String("data")), baseDir, w + QStringLiteral(".data"), depth + 1)});
        }
        return makeZip(entries);
    }
    if (o.contains(QLatin1String("xlsx"))) {
        const QJsonObject g = o.value(QLatin1String("xlsx")).toObject();
        QList<QVariantList> rows;
        for (const QJsonValue &r : g.value(QLatin1String("rows")).toArray())
            rows.append(r.toArray().toVariantList());
        return makeXlsx(g.value(QLatin1String("sheet")).toString(QStringLiteral("Sheet1")), rows);
    }
    fail(where, tr("expected one of text, base64, hex, file, generated, png, pdf, zip, xlsx, rtfFromHtml, rtfFromText"));
}

QByteArray data(const QJsonValue &value, const QString &baseDir, const QString &where, int depth)
{
    if (value.isString())
        return value.toString().toUtf8();
    if (value.isObject())
        return generated(value.toObject(), baseDir, where, depth);
    fail(where, tr("expected a string or a data object"));
}

std::optional<QByteArray> optionalData(const QJsonObject &o, const char *key, const QString &baseDir,
                                       const QString &where)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    return data(v, baseDir, where + QLatin1Char('.') + QLatin1String(key));
}

// "0x3A06", "PidTagGivenName" or "GivenName": a tagged property's id.
quint16 propertyId(const QJsonValue &v, const QString &where)
{
    const QString text = v.toString();
    bool ok = false;
    uint id = text.startsWith(QLatin1String("0x")) ? text.mid(2).toUInt(&ok, 16) : 0;
    if (ok && text.size() > 6)
        id >>= 16;  // a whole tag: its id
    if (!ok) {
        const auto known = propertyIdFromName(text);
        ok = known.has_value();
        id = known.value_or(0);
    }
    if (!ok || id == 0 || id >= 0x8000)
        fail(where, tr("expected a property id like \"0x0037\" or a name like \"PidTagSubject\""));
    return quint16(id);
}

// A named property: {"set": "PSETID_Address", "id": 32896 or "0x8080"} or {"set": ..., "name": "..."}.
PropertyName propertyName(const QJsonObject &o, const QString &where)
{
    const auto set = propertySet::fromName(o.value(QLatin1String("set")).toString());
    if (!set)
        fail(where + QStringLiteral(".set"), tr("expected a property set like \"PSETID_Common\" or a GUID"));
    const QJsonValue id = o.value(QLatin1String("id"));
    if (id.isString()) {
        bool ok = false;
        const QString text = id.toString();
        const uint n = text.startsWith(QLatin1String("0x")) ? text.mid(2).toUInt(&ok, 16) : text.toUInt(&ok);
        if (!ok)
            fail(where + QStringLiteral(".id"), tr("expected a number"));
        return PropertyName::numbered(*set, n);
    }
    if (auto n = optionalInteger(o, "id", where, 0, 0xFFFFFFFFLL))
        return PropertyName::numbered(*set, quint32(*n));
    if (auto name = optionalString(o, "name", where))
        return PropertyName::named(*set, *name);
    fail(where, tr("a named property needs \"id\" or \"name\""));
}

// A property to leave out: a tagged id or a named property.
PropertyKey propertyKey(const QJsonValue &v, const QString &where)
{
    if (v.isObject())
        return propertyName(v.toObject(), where);
    return propertyId(v, where);
}

QVariant propertyValue(quint16 type, const QJsonValue &v, const QString &baseDir, const QString &where)
{
    const quint16 item = type & ~PtMultiple;
    auto one = [&](const QJsonValue &x, const QString &w) -> QVariant {
        if (item == PtBinary || item == PtObject)
            return data(x, baseDir, w);
        if (item == PtString8 && x.isObject())
            return data(x, baseDir, w);
        return x.toVariant();
    };
    if (type & PtMultiple) {
        if (!v.isArray())
            fail(where, tr("expected a list"));
        QVariantList items;
        const QJsonArray a = v.toArray();
        for (qsizetype i = 0; i < a.size(); ++i)
            items.append(one(a[i], where + QStringLiteral("[%1]").arg(i)));
        return items;
    }
    return one(v, where);
}

// {"tag": ..., "type": ..., "value": ...} or {"set": ..., "id"/"name": ..., "type": ..., "value": ...}
ExtraProperty property(const QJsonObject &o, const QString &baseDir, const QString &where)
{
    ExtraProperty p;
    std::optional<quint16> type;
    if (o.contains(QLatin1String("type"))) {
        type = propertyTypeFromName(o.value(QLatin1String("type")).toString());
        if (!type)
            fail(where + QStringLiteral(".type"),
                 tr("expected a type like int32, string, time, binary, multiString or 0x101F"));
    }
    if (o.contains(QLatin1String("set"))) {
        p.key = propertyName(o, where);
    } else {
        const QString tagText = o.value(QLatin1String("tag")).toString();
        p.key = propertyId(o.value(QLatin1String("tag")), where + QStringLiteral(".tag"));
        bool ok = false;
        if (!type && tagText.startsWith(QLatin1String("0x")) && tagText.size() > 6)
            type = quint16(tagText.mid(2).toUInt(&ok, 16) & 0xFFFF);
    }
    if (!type)
        fail(where + QStringLiteral(".type"), tr("a property needs a type"));
    const quint32 codepage = quint32(optionalInteger(o, "codepage", where, 0, 65535).value_or(1252));
    QString why;
    const auto value = encodePropertyValue(
        *type, propertyValue(*type, o.value(QLatin1String("value")), baseDir, where + QStringLiteral(".value")), &why,
        codepage);
    if (!value)
        fail(where + QStringLiteral(".value"), why);
    p.type = *type;
    p.value = *value;
    return p;
}

QList<ExtraProperty> properties(const QJsonObject &o, const QString &baseDir, const QString &where)
{
    QList<ExtraProperty> out;
    const QJsonArray a = o.value(QLatin1String("properties")).toArray();
    for (qsizetype i = 0; i < a.size(); ++i)
        out.append(property(a[i].toObject(), baseDir, where + QStringLiteral(".properties[%1]").arg(i)));
    return out;
}

std::optional<QDateTime> optionalTime(const QJsonObject &o, const char *key, const QString &where)
{
    const auto t = optionalString(o, key, where);
    if (!t)
        return std::nullopt;
    QDateTime dt = QDateTime::fromString(*t, Qt::ISODate);
    if (!dt.isValid())
        fail(where + QLatin1Char('.') + QLatin1String(key), tr("expected an ISO 8601 time like 2024-03-01T09:30:00Z"));
    return dt;
}

Message message(const QJsonObject &o, const QString &baseDir, const QString &where, int depth);

Recipient recipient(const QJsonObject &o, const QString &baseDir, const QString &where)
{
    Recipient r;
    r.smtpAddress = optionalString(o, "smtpAddress", where);
    r.properties = properties(o, baseDir, where);
    r.displayName = optionalString(o, "name", where);
    r.emailAddress = optionalString(o, "email", where);
    r.recipientDisplayName = optionalString(o, "recipientDisplayName", where);
    r.addressType = optionalString(o, "addressType", where);
    const QJsonValue type = o.value(QLatin1String("type"));
    if (type.isNull()) {
        r.type = std::nullopt;
    } else if (!type.isUndefined()) {
        const QString t = type.toString();
        if (t == QLatin1String("to"))
            r.type = RecipientType::To;
        else if (t == QLatin1String("cc"))
            r.type = RecipientType::Cc;
        else if (t == QLatin1String("bcc"))
            r.type = RecipientType::Bcc;
        else
            fail(where + QStringLiteral(".type"), tr("expected to, cc, bcc or null"));
    }
    return r;
}

Attachment attachment(const QJsonObject &o, const QString &baseDir, const QString &where, int depth)
{
    Attachment a;
    a.longFileName = optionalString(o, "longFileName", where);
    a.fileName = optionalString(o, "fileName", where);
    a.displayName = optionalString(o, "displayName", where);
    a.mimeTag = optionalString(o, "mimeTag", where);
    a.contentId = optionalString(o, "contentId", where);
    a.hidden = optionalBool(o, "hidden", where);
    a.properties = properties(o, baseDir, where);
    const QJsonValue method = o.value(QLatin1String("method"));
    if (method.isString()) {
        const QString m = method.toString();
        if (m == QLatin1String("value"))
            a.method = AttachMethod::ByValue;
        else if (m == QLatin1String("embedded"))
            a.method = AttachMethod::Embedded;
        else if (m == QLatin1String("ole"))
            a.method = AttachMethod::Ole;
        else
            fail(where + QStringLiteral(".method"), tr("expected value, embedded, ole or a number"));
    } else if (auto n = optionalInteger(o, "method", where, 0, 0xFFFFFFFFLL)) {
        a.method = AttachMethod(quint32(*n));
    }
    if (o.contains(QLatin1String("message"))) {
        if (depth >= 8)
            fail(where + QStringLiteral(".message"), tr("messages embedded too deeply"));
        a.embedded = std::make_shared<Message>(
            message(o.value(QLatin1String("message")).toObject(), baseDir, where + QStringLiteral(".message"), depth + 1));
    } else {
        a.data = optionalData(o, "data", baseDir, where).value_or(QByteArray());
    }
    return a;
}

Message message(const QJsonObject &o, const QString &baseDir, const QString &where, int depth)
{
    Message m;
    if (auto c = optionalString(o, "messageClass", where))
        m.messageClass = *c;
    m.subject = optionalString(o, "subject", where);
    m.senderName = optionalString(o, "senderName", where);
    m.senderEmail = optionalString(o, "senderEmail", where);
    m.internetMessageId = optionalString(o, "messageId", where);
    const QJsonValue importance = o.value(QLatin1String("importance"));
    if (importance.isString()) {
        const QString i = importance.toString();
        if (i == QLatin1String("low"))
            m.importance = Importance::Low;
        else if (i == QLatin1String("normal"))
            m.importance = Importance::Normal;
        else if (i == QLatin1String("high"))
            m.importance = Importance::High;
        else
            fail(where + QStringLiteral(".importance"), tr("expected low, normal, high or a number"));
    } else if (auto n = optionalInteger(o, "importance", where, 0, 0xFFFFFFFFLL)) {
        m.importance = Importance(quint32(*n));
    }
    m.deliveryTime = optionalTime(o, "deliveryTime", where);
    m.submitTime = optionalTime(o, "submitTime", where);
    m.creationTime = optionalTime(o, "creationTime", where);
    m.modificationTime = optionalTime(o, "modificationTime", where);
    m.senderAddressType = optionalString(o, "senderAddressType", where);
    m.senderSmtpAddress = optionalString(o, "senderSmtpAddress", where);
    m.sentRepresentingName = optionalString(o, "sentRepresentingName", where);
    m.sentRepresentingEmail = optionalString(o, "sentRepresentingEmail", where);
    m.sentRepresentingAddressType = optionalString(o, "sentRepresentingAddressType", where);
    m.sentRepresentingSmtpAddress = optionalString(o, "sentRepresentingSmtpAddress", where);
    m.transportHeaders = optionalString(o, "transportHeaders", where);
    if (auto cp = optionalInteger(o, "messageCodepage", where, 0, 65535))
        m.messageCodepage = quint32(*cp);
    m.properties = properties(o, baseDir, where);
    const QJsonArray omit = o.value(QLatin1String("omit")).toArray();
    for (qsizetype i = 0; i < omit.size(); ++i)
        m.omit.append(propertyId(omit[i], where + QStringLiteral(".omit[%1]").arg(i)));
    if (o.contains(QLatin1String("row"))) {
        const QJsonObject row = o.value(QLatin1String("row")).toObject();
        const QString w = where + QStringLiteral(".row");
        const QJsonArray rowOmit = row.value(QLatin1String("omit")).toArray();
        for (qsizetype i = 0; i < rowOmit.size(); ++i)
            m.row.omit.append(propertyKey(rowOmit[i], w + QStringLiteral(".omit[%1]").arg(i)));
        m.row.properties = properties(row, baseDir, w);
    }
    if (auto flags = optionalInteger(o, "flags", where, 0, 0xFFFFFFFFLL)) {
        m.flags = quint32(*flags);
    } else if (auto read = optionalBool(o, "read", where)) {
        quint32 f = *read ? kFlagRead : 0;
        if (o.value(QLatin1String("attachments")).toArray().size() > 0)
            f |= kFlagHasAttachments;
        m.flags = f;
    }
    m.body = optionalString(o, "body", where);
    if (auto cp = optionalInteger(o, "bodyCodepage", where, 0, 65535))
        m.bodyCodepage = quint32(*cp);
    if (o.value(QLatin1String("body8bit")).isString()) {
        const auto bytes = encode8bit(o.value(QLatin1String("body8bit")).toString(), m.bodyCodepage);
        if (!bytes)
            fail(where + QStringLiteral(".bodyCodepage"), tr("unknown code page %1").arg(m.bodyCodepage));
        m.body8bit = *bytes;
    } else {
        m.body8bit = optionalData(o, "body8bit", baseDir, where);
    }
    m.html = optionalData(o, "html", baseDir, where);
    if (auto cp = optionalInteger(o, "htmlCodepage", where, 0, 65535))
        m.htmlCodepage = quint32(*cp);
    if (auto rtf = optionalData(o, "rtf", baseDir, where))
        m.rtf = *rtf;
    const QJsonArray recipients = o.value(QLatin1String("recipients")).toArray();
    for (qsizetype i = 0; i < recipients.size(); ++i)
        m.addRecipient(recipient(recipients[i].toObject(), baseDir, where + QStringLiteral(".recipients[%1]").arg(i)));
    const QJsonArray attachments = o.value(QLatin1String("attachments")).toArray();
    for (qsizetype i = 0; i < attachments.size(); ++i)
        m.addAttachment(
            attachment(attachments[i].toObject(), baseDir, where + QStringLiteral(".attachments[%1]").arg(i), depth));
    return m;
}

// "{n}" in subjects and bodies of repeated messages becomes the copy's number.
QJsonValue substitute(const QJsonValue &v, const QString &n)
{
    if (v.isString())
        return QString(v.toString()).replace(QLatin1String("{n}"), n);
    if (v.isArray()) {
        QJsonArray a;
        for (const QJsonValue &e : v.toArray())
            a.append(substitute(e, n));
        return a;
    }
    if (v.isObject()) {
        QJsonObject o;
        const QJsonObject in = v.toObject();
        for (auto it = in.begin(); it != in.end(); ++it)
            o.insert(it.key(), substitute(it.value(), n));
        return o;
    }
    return v;
}

// What a build collects on the way: messages by label, and the search
// folders' results, added once every message exists.
struct BuildState {
    ArchiveBuilder &builder;
    QString baseDir;
    QList<MessageId> *ids;
    QHash<QString, MessageId> labels;
    struct Results {
        FolderId folder;
        QJsonArray labels;
        QString where;
    };
    QList<Results> results;
};

void folder(const QJsonObject &o, FolderId parent, const QString &where, BuildState &state, int depth)
{
    if (depth > 64)
        fail(where, tr("folders nested too deeply"));
    ArchiveBuilder &builder = state.builder;
    FolderOptions options;
    options.nameAbsent = optionalBool(o, "nameAbsent", where).value_or(false);
    const auto name = optionalString(o, "name", where);
    if (!name && !options.nameAbsent)
        fail(where + QStringLiteral(".name"), tr("a folder needs a name (or \"nameAbsent\": true)"));
    if (auto c = optionalString(o, "containerClass", where))
        options.containerClass = *c;
    if (auto n = optionalInteger(o, "contentCount", where, 0, 0xFFFFFFFFLL))
        options.contentCount = quint32(*n);
    if (auto n = optionalInteger(o, "unreadCount", where, 0, 0xFFFFFFFFLL))
        options.unreadCount = quint32(*n);
    options.wastebasket = optionalBool(o, "wastebasket", where).value_or(false);
    options.bareHierarchyRow = optionalBool(o, "bareHierarchyRow", where).value_or(false);
    options.reverseContents = optionalBool(o, "reverseContents", where).value_or(false);
    options.noContentsTable = optionalBool(o, "noContentsTable", where).value_or(false);
    options.properties = properties(o, state.baseDir, where);
    const bool search = optionalBool(o, "search", where).value_or(false);
    if (search && (o.contains(QLatin1String("messages")) || o.contains(QLatin1String("repeat"))
                   || o.contains(QLatin1String("folders"))))
        fail(where, tr("a search folder has results, not messages or folders"));
    const FolderId id = search ? builder.addSearchFolder(parent, name.value_or(QString()), options)
                               : builder.addFolder(parent, name.value_or(QString()), options);
    if (!id)
        fail(where, builder.errorString());
    if (search) {
        state.results.append({id, o.value(QLatin1String("results")).toArray(), where + QStringLiteral(".results")});
        return;
    }

    auto add = [&](const QJsonObject &m, const QString &w) {
        const MessageId mid = builder.addMessage(id, message(m, state.baseDir, w, 0));
        if (!mid || builder.failed())
            fail(w, builder.errorString());
        if (state.ids)
            state.ids->append(mid);
        if (auto label = optionalString(m, "id", w)) {
            if (state.labels.contains(*label))
                fail(w + QStringLiteral(".id"), tr("\"%1\" names two messages").arg(*label));
            state.labels.insert(*label, mid);
        }
    };
    const QJsonArray messages = o.value(QLatin1String("messages")).toArray();
    for (qsizetype i = 0; i < messages.size(); ++i)
        add(messages[i].toObject(), where + QStringLiteral(".messages[%1]").arg(i));
    if (o.contains(QLatin1String("repeat"))) {
        const QJsonObject r = o.value(QLatin1String("repeat")).toObject();
        const QString w = where + QStringLiteral(".repeat");
        const qint64 count = optionalInteger(r, "count", w, 0, 1'000'000).value_or(0);
        const QJsonValue templ = r.value(QLatin1String("message"));
        for (qint64 n = 1; n <= count; ++n)
            add(substitute(templ, QString::number(n)).toObject(), w + QStringLiteral(".message"));
    }
    const QJsonArray children = o.value(QLatin1String("folders")).toArray();
    for (qsizetype i = 0; i < children.size(); ++i)
        folder(children[i].toObject(), id, where + QStringLiteral(".folders[%1]").arg(i), state, depth + 1);
}

}  // namespace

std::optional<Description> Description::fromFile(const QString &path, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = tr("Cannot read %1: %2").arg(path, f.errorString());
        return std::nullopt;
    }
    return fromJson(f.readAll(), QFileInfo(path).absolutePath(), error);
}

std::optional<Description> Description::fromJson(const QByteArray &json, const QString &baseDir, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        if (error)
            *error = doc.isObject() || parseError.error != QJsonParseError::NoError
                         ? tr("Not valid JSON at offset %1: %2").arg(parseError.offset).arg(parseError.errorString())
                         : tr("The description must be a JSON object");
        return std::nullopt;
    }
    Description d;
    d.m_root = doc.object();
    d.m_baseDir = baseDir;
    try {
        const QJsonObject &o = d.m_root;
        if (auto l = optionalString(o, "layout", QString())) {
            if (*l == QLatin1String("legacy"))
                d.m_options = ArchiveOptions::legacy();
            else if (*l != QLatin1String("outlook"))
                fail(QStringLiteral("layout"), tr("expected outlook or legacy"));
        }
        if (auto e = optionalString(o, "encoding", QString())) {
            const auto encoding = encodingFromName(*e);
            if (!encoding)
                fail(QStringLiteral("encoding"), tr("expected none, permute or cyclic"));
            d.m_options.encoding = *encoding;
        }
        auto choice = [&](const char *key, const char *first, const char *second) -> std::optional<bool> {
            const auto v = optionalString(o, key, QString());
            if (!v)
                return std::nullopt;
            if (*v != QLatin1String(first) && *v != QLatin1String(second))
                fail(QLatin1String(key), tr("expected %1 or %2").arg(QLatin1String(first), QLatin1String(second)));
            return *v == QLatin1String(first);
        };
        if (auto wide = choice("tables", "outlook", "narrow"))
            d.m_options.tables = *wide ? TableWidth::Outlook : TableWidth::Narrow;
        if (auto first = choice("heapOrder", "headerFirst", "headerLast"))
            d.m_options.heapOrder = *first ? HeapOrder::HeaderFirst : HeapOrder::HeaderLast;
        if (auto scrambled = choice("folderIds", "scrambled", "ordered"))
            d.m_options.folderIds = *scrambled ? FolderIds::Scrambled : FolderIds::Ordered;
        if (auto internal = optionalBool(o, "internalFolders", QString()))
            d.m_options.internalFolders = *internal;
        const QJsonArray extra = o.value(QLatin1String("extraContentsColumns")).toArray();
        for (qsizetype i = 0; i < extra.size(); ++i) {
            const QString w = QStringLiteral("extraContentsColumns[%1]").arg(i);
            const QJsonObject c = extra[i].toObject();
            const quint16 id = propertyId(c.value(QLatin1String("tag")), w + QStringLiteral(".tag"));
            const auto type = propertyTypeFromName(c.value(QLatin1String("type")).toString());
            if (!type)
                fail(w + QStringLiteral(".type"), tr("expected a type like string or int32"));
            d.m_options.extraContentsColumns.append(tag(id, *type));
        }
        if (auto s = optionalString(o, "storeName", QString()))
            d.m_options.storeName = *s;
        if (auto s = optionalString(o, "ipmSubtreeName", QString()))
            d.m_options.ipmSubtreeName = *s;
        if (auto s = optionalInteger(o, "seed", QString(), 0, 1LL << 53))
            d.m_options.seed = quint64(*s);
    } catch (const Failure &f) {
        if (error)
            *error = f.message;
        return std::nullopt;
    }
    return d;
}

bool Description::build(ArchiveBuilder &builder, QList<MessageId> *messages, QString *error) const
{
    BuildState state{builder, m_baseDir, messages, {}, {}};
    try {
        const QJsonArray folders = m_root.value(QLatin1String("folders")).toArray();
        for (qsizetype i = 0; i < folders.size(); ++i)
            folder(folders[i].toObject(), builder.ipmSubtree(), QStringLiteral("folders[%1]").arg(i), state, 0);
        const QJsonArray roots = m_root.value(QLatin1String("rootFolders")).toArray();
        for (qsizetype i = 0; i < roots.size(); ++i)
            folder(roots[i].toObject(), builder.rootFolder(), QStringLiteral("rootFolders[%1]").arg(i), state, 0);
        for (const BuildState::Results &r : state.results) {
            for (qsizetype i = 0; i < r.labels.size(); ++i) {
                const QString w = r.where + QStringLiteral("[%1]").arg(i);
                const QString label = r.labels[i].toString();
                if (!state.labels.contains(label))
                    fail(w, tr("no message has the id \"%1\"").arg(label));
                if (!builder.addSearchResult(r.folder, state.labels.value(label)))
                    fail(w, builder.errorString());
            }
        }
    } catch (const Failure &f) {
        if (error)
            *error = f.message;
        return false;
    }
    return true;
}

std::optional<Message> Description::messageFromJson(const QJsonObject &object, const QString &baseDir, QString *error)
{
    try {
        return message(object, baseDir, QString(), 0);
    } catch (const Failure &f) {
        if (error)
            *error = f.message;
        return std::nullopt;
    }
}

std::optional<QByteArray> Description::dataFromJson(const QJsonValue &value, const QString &baseDir, QString *error)
{
    try {
        return data(value, baseDir, QString());
    } catch (const Failure &f) {
        if (error)
            *error = f.message;
        return std::nullopt;
    }
}

}  // namespace ostrel::pstwriter
