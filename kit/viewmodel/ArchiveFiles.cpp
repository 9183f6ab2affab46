#include "viewmodel/ArchiveFiles.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace ostrel {

bool isArchiveFileName(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix();
    return suffix.compare(QLatin1String("pst"), Qt::CaseInsensitive) == 0
        || suffix.compare(QLatin1String("ost"), Qt::CaseInsensitive) == 0;
}

QStringList archiveNameFilters()
{
    return {QCoreApplication::translate("ostrel", "PST and OST archives (*.pst *.ost)"),
            QCoreApplication::translate("ostrel", "All files (*)")};
}

std::optional<QUrl> droppedArchive(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return std::nullopt;
    const QUrl &first = urls.constFirst();
    if (!first.isLocalFile() || !isArchiveFileName(first.toLocalFile()))
        return std::nullopt;
    return first;
}

}  // namespace ostrel
