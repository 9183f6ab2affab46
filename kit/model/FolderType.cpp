#include "model/FolderType.h"

#include <array>

namespace ostrel {

namespace {
struct FolderTypeInfo {
    FolderType type;
    const char *raw;
    const char *icon;
};

constexpr std::array<FolderTypeInfo, 11> kFolderTypes{{
    {FolderType::inbox, "inbox", "tray"},
    {FolderType::sent, "sent", "paperplane"},
    {FolderType::drafts, "drafts", "doc"},
    {FolderType::deleted, "deleted", "trash"},
    {FolderType::archive, "archive", "archivebox"},
    {FolderType::spam, "spam", "exclamationmark.octagon"},
    {FolderType::calendar, "calendar", "calendar"},
    {FolderType::contacts, "contacts", "person.crop.circle"},
    {FolderType::notes, "notes", "note.text"},
    {FolderType::tasks, "tasks", "checklist"},
    {FolderType::custom, "custom", "folder"},
}};

const FolderTypeInfo &info(FolderType type)
{
    return kFolderTypes[static_cast<size_t>(type)];
}
}  // namespace

QString rawValue(FolderType type)
{
    return QString::fromLatin1(info(type).raw);
}

std::optional<FolderType> folderTypeFromRaw(const QString &raw)
{
    for (const auto &entry : kFolderTypes) {
        if (raw == QLatin1String(entry.raw))
            return entry.type;
    }
    return std::nullopt;
}

QList<FolderType> allFolderTypes()
{
    QList<FolderType> all;
    for (const auto &entry : kFolderTypes)
        all.append(entry.type);
    return all;
}

QString iconName(FolderType type)
{
    return QString::fromLatin1(info(type).icon);
}

}  // namespace ostrel
