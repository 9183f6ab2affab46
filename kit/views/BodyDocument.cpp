#include "views/BodyDocument.h"

#include "model/Text.h"

#include <QHash>
#include <QRegularExpression>

namespace ostrel {

const QString bodyStyleSheet = QStringLiteral(
    ":root { color-scheme: light dark; }\n"
    "html, body {\n"
    "    margin: 0;\n"
    "    padding: 16px;\n"
    "    font-family: -apple-system, BlinkMacSystemFont, \"Helvetica Neue\", sans-serif;\n"
    "    font-size: 14px;\n"
    "    line-height: 1.5;\n"
    "    color: #1d1d1f;\n"
    "    background: transparent;\n"
    "    word-wrap: break-word;\n"
    "}\n"
    "@media (prefers-color-scheme: dark) {\n"
    "    html, body { color: #e5e5e7; }\n"
    "    a { color: #4ea1ff; }\n"
    "}\n"
    "body { max-width: 800px; }\n"
    "img { max-width: 100%; height: auto; }\n"
    "blockquote {\n"
    "    margin: 0.5em 0; padding-left: 12px;\n"
    "    border-left: 3px solid rgba(127,127,127,0.4);\n"
    "    color: rgba(127,127,127,1);\n"
    "}\n"
    "pre, code { font-family: \"SF Mono\", Menlo, monospace; font-size: 12.5px; }\n"
    "table { border-collapse: collapse; }\n"
    "td, th { padding: 4px 8px; border: 1px solid rgba(127,127,127,0.3); }");

MessageBody chooseBody(const MailMessage &message)
{
    if (message.bodyHTML && !message.bodyHTML->isEmpty())
        return {MessageBody::Kind::html, resolveInlineImages(*message.bodyHTML, message.attachments)};
    if (message.bodyText && !message.bodyText->isEmpty())
        return {MessageBody::Kind::plainText, *message.bodyText};
    return {MessageBody::Kind::none, {}};
}

namespace {
QString normalisedContentId(const QString &contentId)
{
    QString id = trimBlanks(contentId);
    qsizetype begin = 0;
    qsizetype end = id.size();
    const auto isBracket = [](QChar c) { return c == QLatin1Char('<') || c == QLatin1Char('>'); };
    while (begin < end && isBracket(id.at(begin)))
        ++begin;
    while (end > begin && isBracket(id.at(end - 1)))
        --end;
    return id.mid(begin, end - begin).toLower();
}
}  // namespace

QString resolveInlineImages(const QString &html, const QList<Attachment> &attachments)
{
    QHash<QString, QString> images;
    for (const Attachment &attachment : attachments) {
        if (!attachment.contentId || !attachment.data || attachment.data->isEmpty())
            continue;
        const QString key = normalisedContentId(*attachment.contentId);
        if (key.isEmpty())
            continue;
        const QString mediaType = attachment.mimeType.startsWith(QLatin1String("image/"))
                                      ? attachment.mimeType
                                      : QStringLiteral("application/octet-stream");
        images.insert(key, QStringLiteral("data:") + mediaType + QStringLiteral(";base64,")
                               + QString::fromLatin1(attachment.data->toBase64()));
    }
    if (images.isEmpty())
        return html;

    // \s as ICU reads it: any Unicode white space.
    static const QRegularExpression reference(QStringLiteral("(?i)(src\\s*=\\s*[\"']?)cid:([^\"'\\s>]+)([\"']?)"),
                                              QRegularExpression::UseUnicodePropertiesOption);
    if (!reference.isValid())
        return html;
    QRegularExpressionMatchIterator matches = reference.globalMatch(html);
    if (!matches.hasNext())
        return html;

    QString out;
    out.reserve(html.size());
    qsizetype position = 0;
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        out += QStringView(html).mid(position, match.capturedStart() - position);
        const auto found = images.constFind(match.captured(2).toLower());
        if (found != images.constEnd())
            out += match.captured(1) + *found + match.captured(3);
        else
            out += match.captured(0);
        position = match.capturedEnd();
    }
    out += QStringView(html).mid(position);
    return out;
}

QString styledDocument(const QString &html)
{
    const QString lower = html.toLower();
    if (lower.contains(QLatin1String("<html"))) {
        QString document = html;
        if (lower.contains(QLatin1String("<head")))
            return document.replace(QStringLiteral("<head>"),
                                    QStringLiteral("<head><style>") + bodyStyleSheet + QStringLiteral("</style>"),
                                    Qt::CaseInsensitive);
        return document.replace(QStringLiteral("<html>"),
                                QStringLiteral("<html><head><style>") + bodyStyleSheet
                                    + QStringLiteral("</style></head>"),
                                Qt::CaseInsensitive);
    }
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>") + bodyStyleSheet
           + QStringLiteral("</style></head>\n<body>") + html + QStringLiteral("</body></html>");
}

}  // namespace ostrel
