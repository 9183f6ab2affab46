#include "RowListing.h"

#include "JsonLine.h"
#include "pst/PSTActor.h"
#include "viewmodel/SearchMatcher.h"
#include "viewmodel/ostrelViewModel.h"

#include <QDateTime>
#include <QSet>

namespace ostrel {

int printRows(PSTActor &actor, const MailFolder &folder, const QString &search, QTextStream &out, QTextStream &err)
{
    QFuture<RowChunk> listing = actor.listFolder(folder);
    listing.waitForFinished();
    const QList<RowChunk> parts = listing.results();
    const QList<MessageRow> listed = listedRows(parts);
    for (const RowChunk &chunk : parts) {
        if (chunk.error) {
            err << chunk.error->errorDescription() << '\n';
            return 1;
        }
        if (chunk.last && (chunk.unreadable > 0 || chunk.failure))
            err << chunk.unreadable << " rows could not be read: " << chunk.failure.value_or(QString()) << '\n';
    }
    QList<MessageRow> rows = listed;
    if (!search.isEmpty()) {
        QList<QUuid> ids;
        for (const MessageRow &row : std::as_const(rows))
            ids.append(row.id);
        auto matcher = std::make_shared<SearchMatcher>(search);
        QFuture<QUuid> scan = actor.searchPreviews(ids, [matcher](const QString &text) { return matcher->matches(text); });
        const QList<QUuid> found = scan.results();
        rows = searchRows(rows, *matcher, QSet<QUuid>(found.cbegin(), found.cend()));
    }
    for (const MessageRow &row : std::as_const(rows)) {
        JsonLine line;
        line.add("index", row.storageIndex)
            .add("subject", row.subject)
            .add("senderName", row.senderName)
            .add("senderEmail", row.senderEmail)
            .add("date", row.date == 0 ? QJsonValue()
                                       : QJsonValue(QDateTime::fromMSecsSinceEpoch(qint64(row.date * 1000.0), Qt::UTC)
                                                        .toString(Qt::ISODate)))
            .add("isRead", row.isRead)
            .add("importance", rawValue(row.importance))
            .add("hasAttachments", row.hasAttachments)
            .add("messageClass", row.messageClass)
            .add("size", row.size)
            .add("to", row.displayTo)
            .add("cc", row.displayCc);
        out << line.object() << '\n';
    }
    return 0;
}

}  // namespace ostrel
