#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

namespace ostrel {

// Which files the window takes for archives: PST files and OST files (the
// offline copy of a mailbox), told apart from other files by their
// extension, in any case.
bool isArchiveFileName(const QString &fileName);

// The open panel's filters, translated: the archives first (the one shown
// at the start), then every file.
QStringList archiveNameFilters();

// The archive a drop opens: only the first dropped item counts, and only when
// it is a local file with an archive extension.
std::optional<QUrl> droppedArchive(const QList<QUrl> &urls);

}  // namespace ostrel
