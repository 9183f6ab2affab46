#include "ManifestReader.h"

#include <QFile>
#include <QRegularExpression>

QHash<QString, ManifestEntry> readManifest(const QString &path)
{
    QHash<QString, ManifestEntry> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    static const QRegularExpression treeLine(QStringLiteral("^( *)'(.*)' \\((\\d+)\\)$"));

    QString currentTree;
    bool inBlock = false;
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("| ")) && !line.startsWith(QLatin1String("| file"))
            && !line.startsWith(QLatin1String("|---"))) {
            const QStringList cells = line.split(QLatin1Char('|'));
            if (cells.size() < 12)
                continue;
            ManifestEntry entry;
            entry.file = cells[1].trimmed();
            entry.opens = cells[5].trimmed() == QLatin1String("yes");
            entry.folders = cells[6].trimmed().toInt();
            entry.messages = cells[7].trimmed().toInt();
            entry.html = cells[8].trimmed().toInt();
            entry.text = cells[9].trimmed().toInt();
            entry.attachments = cells[11].trimmed().toInt();
            entries.insert(entry.file, entry);
        } else if (line.startsWith(QLatin1String("### "))) {
            currentTree = line.mid(4).trimmed();
        } else if (line.startsWith(QLatin1String("```"))) {
            inBlock = !inBlock && !currentTree.isEmpty();
            if (!inBlock)
                currentTree.clear();
        } else if (inBlock) {
            const auto match = treeLine.match(line);
            if (match.hasMatch() && entries.contains(currentTree)) {
                entries[currentTree].tree.append(
                    {int(match.capturedLength(1) / 2), match.captured(2), match.captured(3).toLongLong()});
            }
        }
    }
    return entries;
}
