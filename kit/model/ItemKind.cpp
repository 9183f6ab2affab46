#include "model/ItemKind.h"

#include <array>
#include <utility>

namespace ostrel {

namespace {
// Longest prefixes first: a meeting request is also an IPM.Schedule item.
constexpr std::array<std::pair<const char *, ItemKind>, 7> kClassPrefixes{{
    {"ipm.schedule.meeting", ItemKind::meetingRequest},
    {"ipm.appointment", ItemKind::appointment},
    {"ipm.contact", ItemKind::contact},
    {"ipm.distlist", ItemKind::distributionList},
    {"ipm.task", ItemKind::task},
    {"ipm.stickynote", ItemKind::note},
    {"report.", ItemKind::report},
}};

// A class matches a prefix when it is the prefix or continues it with a dot.
bool hasClassPrefix(const QString &messageClass, const char *prefix)
{
    const QLatin1String stem(prefix);
    if (!messageClass.startsWith(stem, Qt::CaseInsensitive))
        return false;
    return messageClass.size() == stem.size() || stem.endsWith(QLatin1Char('.'))
        || messageClass.at(stem.size()) == QLatin1Char('.');
}
}  // namespace

QString rawValue(ItemKind kind)
{
    switch (kind) {
    case ItemKind::contact: return QStringLiteral("contact");
    case ItemKind::appointment: return QStringLiteral("appointment");
    case ItemKind::meetingRequest: return QStringLiteral("meeting-request");
    case ItemKind::task: return QStringLiteral("task");
    case ItemKind::distributionList: return QStringLiteral("distribution-list");
    case ItemKind::note: return QStringLiteral("note");
    case ItemKind::report: return QStringLiteral("report");
    case ItemKind::mail: break;
    }
    return QStringLiteral("mail");
}

ItemKind itemKindFromClass(const QString &messageClass)
{
    for (const auto &[prefix, kind] : kClassPrefixes) {
        if (hasClassPrefix(messageClass, prefix))
            return kind;
    }
    return ItemKind::mail;
}

QString itemKindIconName(ItemKind kind)
{
    switch (kind) {
    case ItemKind::contact: return QStringLiteral("person.crop.circle");
    case ItemKind::appointment:
    case ItemKind::meetingRequest: return QStringLiteral("calendar");
    case ItemKind::task: return QStringLiteral("checklist");
    case ItemKind::distributionList: return QStringLiteral("tablecells");
    case ItemKind::note: return QStringLiteral("note.text");
    case ItemKind::report: return QStringLiteral("exclamationmark.octagon");
    case ItemKind::mail: break;
    }
    return QStringLiteral("envelope");
}

QString rawValue(ShownBody body)
{
    switch (body) {
    case ShownBody::html: return QStringLiteral("html");
    case ShownBody::htmlFromRtf: return QStringLiteral("html-from-rtf");
    case ShownBody::text: return QStringLiteral("text");
    case ShownBody::textFromRtf: return QStringLiteral("text-from-rtf");
    case ShownBody::none: break;
    }
    return QStringLiteral("none");
}

}  // namespace ostrel
