#include "Description.h"

#include "FileGenerators.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
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
            fail(where + QStringLiteral(".codepage"), tr("only 1252, 28591 and 65001 are known"));
        return *bytes;
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
    fail(where, tr("expected one of text, base64, hex, file, generated, png, pdf, zip, xlsx"));
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

Message message(const QJsonObject &o, const QString &baseDir, const QString &where, int depth);

Recipient recipient(const QJsonObject &o, const QString &where)
{
    Recipient r;
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
    if (auto t = optionalString(o, "deliveryTime", where)) {
        QDateTime dt = QDateTime::fromString(*t, Qt::ISODate);
        if (!dt.isValid())
            fail(where + QStringLiteral(".deliveryTime"), tr("expected an ISO 8601 time like 2024-03-01T09:30:00Z"));
        m.deliveryTime = dt;
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
            fail(where + QStringLiteral(".bodyCodepage"), tr("only 1252, 28591 and 65001 are known"));
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
        m.addRecipient(recipient(recipients[i].toObject(), where + QStringLiteral(".recipients[%1]").arg(i)));
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

void folder(const QJsonObject &o, FolderId parent, const QString &baseDir, const QString &where,
            ArchiveBuilder &builder, QList<MessageId> *ids, int depth)
{
    if (depth > 64)
        fail(where, tr("folders nested too deeply"));
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
    const FolderId id = builder.addFolder(parent, name.value_or(QString()), options);
    if (!id)
        fail(where, builder.errorString());

    auto add = [&](const QJsonObject &m, const QString &w) {
        const MessageId mid = builder.addMessage(id, message(m, baseDir, w, 0));
        if (!mid || builder.failed())
            fail(w, builder.errorString());
        if (ids)
            ids->append(mid);
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
        folder(children[i].toObject(), id, baseDir, where + QStringLiteral(".folders[%1]").arg(i), builder, ids,
               depth + 1);
}

}  // namespace

std::optional<QByteArray> encode8bit(const QString &text, quint32 codepage)
{
    if (codepage == 65001)
        return text.toUtf8();
    if (codepage != 1252 && codepage != 28591)
        return std::nullopt;
    // Windows-1252 differs from Latin-1 only in 0x80-0x9F.
    static const char16_t cp1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                        0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    QByteArray out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        char b = '?';
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF) || (codepage == 28591 && u <= 0xFF)) {
            b = char(u);
        } else if (codepage == 1252) {
            for (int i = 0; i < 32; ++i) {
                if (cp1252[i] == u && u != 0) {
                    b = char(0x80 + i);
                    break;
                }
            }
        }
        out.append(b);
    }
    return out;
}

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
        if (auto e = optionalString(o, "encoding", QString())) {
            const auto encoding = encodingFromName(*e);
            if (!encoding)
                fail(QStringLiteral("encoding"), tr("expected none or permute"));
            d.m_options.encoding = *encoding;
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
    try {
        const QJsonArray folders = m_root.value(QLatin1String("folders")).toArray();
        for (qsizetype i = 0; i < folders.size(); ++i)
            folder(folders[i].toObject(), builder.ipmSubtree(), m_baseDir, QStringLiteral("folders[%1]").arg(i),
                   builder, messages, 0);
        const QJsonArray roots = m_root.value(QLatin1String("rootFolders")).toArray();
        for (qsizetype i = 0; i < roots.size(); ++i)
            folder(roots[i].toObject(), builder.rootFolder(), m_baseDir, QStringLiteral("rootFolders[%1]").arg(i),
                   builder, messages, 0);
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
