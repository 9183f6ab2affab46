#include "model/MailMessage.h"

#include "model/Text.h"

#include <array>

namespace ostrel {

namespace {
constexpr std::array<std::pair<MessageImportance, const char *>, 3> kImportances{{
    {MessageImportance::low, "low"},
    {MessageImportance::normal, "normal"},
    {MessageImportance::high, "high"},
}};

template <typename T>
size_t hashOptional(const std::optional<T> &value, size_t seed)
{
    return value ? qHashMulti(seed, true, *value) : qHashMulti(seed, false);
}
}  // namespace

QString rawValue(MessageImportance importance)
{
    return QString::fromLatin1(kImportances[static_cast<size_t>(importance)].second);
}

std::optional<MessageImportance> messageImportanceFromRaw(const QString &raw)
{
    for (const auto &[value, name] : kImportances) {
        if (raw == QLatin1String(name))
            return value;
    }
    return std::nullopt;
}

QList<MessageImportance> allMessageImportances()
{
    return {MessageImportance::low, MessageImportance::normal, MessageImportance::high};
}

QString MailMessage::preview() const
{
    return previewLine(bodyText.value_or(QString()));
}

QString previewLine(const QString &plainBody)
{
    constexpr qsizetype kLimit = 120;
    const QString line = collapseWhiteSpace(plainBody);
    // Grapheme clusters are never shorter than code units, so short lines
    // need no boundary analysis.
    if (line.size() <= kLimit || graphemeCount(line) <= kLimit)
        return line;
    return graphemePrefix(line, kLimit) + QChar(0x2026);
}

size_t qHash(const MailMessage &message, size_t seed)
{
    seed = qHashMulti(seed, message.id, message.subject, message.sender, message.senderEmail,
                      message.recipients, message.ccRecipients, message.bccRecipients, message.date, message.isRead);
    seed = hashOptional(message.bodyText, seed);
    seed = hashOptional(message.bodyHTML, seed);
    seed = hashOptional(message.bodyRTF, seed);
    seed = qHashRange(message.attachments.cbegin(), message.attachments.cend(), seed);
    seed = qHashMulti(seed, message.importance);
    seed = hashOptional(message.recipientsFailure, seed);
    seed = hashOptional(message.attachmentsFailure, seed);
    seed = qHashMulti(seed, int(message.kind), int(message.shownBody));
    for (const ItemField &field : message.itemFields)
        seed = qHashMulti(seed, field.label, field.value, field.time.value_or(-1.0), field.ownWords);
    seed = hashOptional(message.bodyFailure, seed);
    seed = hashOptional(message.readFailure, seed);
    return hashOptional(message.transportHeaders, seed);
}

}  // namespace ostrel
