#include "ArchiveDump.h"

#include "pst/RecordRules.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <algorithm>

namespace ostrel {

namespace {
constexpr qint64 kPage = 100;

QList<const RawFolder *> byNode(const QList<RawFolder> &folders)
{
    QList<const RawFolder *> sorted;
    for (const RawFolder &folder : folders)
        sorted.append(&folder);
    std::stable_sort(sorted.begin(), sorted.end(), [](auto *a, auto *b) { return a->node < b->node; });
    return sorted;
}

QByteArray digest(const QByteArray &bytes)
{
    const QByteArray sum = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    return JsonLine().add("size", qint64(bytes.size())).add("sha256", QString::fromLatin1(sum)).object();
}

QByteArray bodyJson(const std::optional<QString> &text)
{
    return text ? digest(text->toUtf8()) : QByteArray("null");
}

QString isoDate(double seconds)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(seconds * 1000.0), Qt::UTC).toString(Qt::ISODateWithMs);
}
}  // namespace

ArchiveDump::ArchiveDump(ArchiveEngine &engine, QTextStream &out, QTextStream &err)
    : m_engine(engine), m_out(out), m_err(err)
{
}

bool ArchiveDump::print(const RawArchive &archive)
{
    if (archive.folders.failure)
        explain({}, QStringLiteral("sub folders"), *archive.folders.failure);
    if (archive.namedPropertiesFailure)
        explain({}, QStringLiteral("named properties"), *archive.namedPropertiesFailure);
    for (const RawFolder *folder : byNode(archive.folders.value))
        printFolder(*folder, {});
    m_out.flush();
    return m_complete;
}

void ArchiveDump::explain(const QStringList &path, const QString &what, const QString &reason)
{
    m_complete = false;
    m_err << '/' << path.join(QLatin1Char('/')) << ": " << what << " could not be read: " << reason << '\n';
}

void ArchiveDump::printFolder(const RawFolder &folder, const QStringList &parentPath)
{
    const MailFolder record = rules::folderRecord(folder);
    const QStringList path = parentPath + QStringList{record.name};
    QStringList unreadable;
    if (record.subFoldersFailure) {
        unreadable << QStringLiteral("subFolders");
        explain(path, QStringLiteral("sub folders"), *record.subFoldersFailure);
    }
    if (record.messageCountFailure) {
        unreadable << QStringLiteral("messageCount");
        explain(path, QStringLiteral("the message count"), *record.messageCountFailure);
    }
    m_out << JsonLine()
                 .add("type", QStringLiteral("folder"))
                 .add("path", path)
                 .add("name", record.name)
                 .add("messageCount", record.messageCount)
                 .add("unreadCount", record.unreadCount)
                 .add("folderType", rawValue(record.folderType))
                 .add("unreadable", unreadable)
                 .object()
          << '\n';
    printMessages(folder, path);
    for (const RawFolder *child : byNode(folder.children.value))
        printFolder(*child, path);
}

bool ArchiveDump::printMessages(const RawFolder &folder, const QStringList &path)
{
    if (!folder.messageCount.readable())
        return false;
    // Lines are made page by page and printed in node order at the end, so
    // only one page of whole messages is held at a time.
    const auto noBytes = [](const PropertyBag &, qint64) { return false; };
    bool complete = true;
    QList<std::pair<quint32, JsonLine>> made;
    for (qint64 offset = 0; offset < folder.messageCount.value; offset += kPage) {
        const auto page = m_engine.readMessages(folder.node, offset, kPage, noBytes);
        if (!page) {
            explain(path, QStringLiteral("messages from %1 on").arg(offset), page.error().message());
            complete = false;
            break;
        }
        if (page.value().isEmpty())
            break;
        for (const RawMessage &raw : page.value())
            made.append({raw.key.node, messageFields(raw, path)});
    }
    std::stable_sort(made.begin(), made.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (qsizetype i = 0; i < made.size(); ++i) {
        JsonLine line;
        line.add("type", QStringLiteral("message")).add("folder", path).add("index", qint64(i)).append(made[i].second);
        m_out << line.object() << '\n';
    }
    return complete;
}

JsonLine ArchiveDump::messageFields(const RawMessage &raw, const QStringList &path)
{
    const MailMessage record = rules::messageRecord(raw);
    QStringList unreadable;
    if (record.readFailure) {
        unreadable << QStringLiteral("message");
        explain(path, QStringLiteral("message %1").arg(raw.key.node), *record.readFailure);
    }
    if (record.recipientsFailure) {
        unreadable << QStringLiteral("recipients");
        explain(path, QStringLiteral("recipients of \"%1\"").arg(record.subject), *record.recipientsFailure);
    }
    if (record.attachmentsFailure) {
        unreadable << QStringLiteral("attachments");
        explain(path, QStringLiteral("attachments of \"%1\"").arg(record.subject), *record.attachmentsFailure);
    }
    if (record.bodyFailure) {
        unreadable << QStringLiteral("body");
        explain(path, QStringLiteral("body of \"%1\"").arg(record.subject), *record.bodyFailure);
    }
    QList<QByteArray> attachments;
    for (qsizetype k = 0; k < record.attachments.size(); ++k) {
        const Attachment &attachment = record.attachments[k];
        QCryptographicHash hash(QCryptographicHash::Sha256);
        const auto streamed = m_engine.streamAttachment(AttachmentKey{raw.key, raw.attachments.value[k].index},
                                                        [&hash](QByteArrayView chunk) {
                                                            hash.addData(chunk);
                                                            return true;
                                                        });
        // An attached message has no file bytes to hash; anything else that
        // will not stream is damage and is named, and so is an attached
        // message that could not be read.
        if (const auto &failure = raw.attachments.value[k].embeddedFailure) {
            unreadable << QStringLiteral("attachment %1").arg(k);
            explain(path, QStringLiteral("attachment %1 of \"%2\"").arg(k).arg(record.subject), *failure);
        } else if (!streamed && !rules::isAttachedMessage(raw.attachments.value[k])) {
            unreadable << QStringLiteral("attachment %1").arg(k);
            explain(path, QStringLiteral("attachment %1 of \"%2\"").arg(k).arg(record.subject), streamed.error());
        }
        attachments.append(JsonLine()
                               .add("name", attachment.filename)
                               .add("mimeType", attachment.mimeType)
                               .add("size", attachment.size)
                               .add("contentId", attachment.contentId ? QJsonValue(*attachment.contentId) : QJsonValue())
                               .add("sha256", streamed ? QJsonValue(QString::fromLatin1(hash.result().toHex()))
                                                       : QJsonValue())
                               .object());
    }
    JsonLine fields;
    fields.add("subject", record.subject)
        .add("sender", record.sender)
        .add("senderEmail", record.senderEmail)
        .add("date", record.date == 0 ? QJsonValue() : QJsonValue(isoDate(record.date)))
        .add("isRead", record.isRead)
        .add("importance", rawValue(record.importance))
        .add("recipients", record.recipients)
        .add("cc", record.ccRecipients)
        .add("bcc", record.bccRecipients)
        .addRaw("bodies", JsonLine()
                              .addRaw("text", bodyJson(record.bodyText))
                              .addRaw("html", bodyJson(record.bodyHTML))
                              .addRaw("rtf", record.bodyRTF ? digest(*record.bodyRTF) : QByteArray("null"))
                              .object())
        .add("shownBody", rawValue(record.shownBody))
        .add("kind", rawValue(record.kind))
        .addRaw("attachments", JsonLine::array(attachments))
        .add("unreadable", unreadable);
    return fields;
}

}  // namespace ostrel
