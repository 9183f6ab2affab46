#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>
#include <optional>

namespace ostrel {

enum class FolderType {
    inbox,
    sent,
    drafts,
    deleted,
    archive,
    spam,
    calendar,
    contacts,
    notes,
    tasks,
    custom,
};

QString rawValue(FolderType type);
// Exactly the eleven raw values, case-sensitive; anything else is none.
std::optional<FolderType> folderTypeFromRaw(const QString &raw);
QList<FolderType> allFolderTypes();
QString iconName(FolderType type);

inline size_t qHash(FolderType type, size_t seed = 0)
{
    return ::qHash(rawValue(type), seed);
}

}  // namespace ostrel
