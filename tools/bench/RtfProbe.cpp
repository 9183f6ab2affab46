#include "RtfProbe.h"

#include "Harness.h"
#include "pst/PSTActor.h"
#include "pst/RecordRules.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QUrl>

#include <functional>

namespace ostrel::bench {

namespace {

struct Found {
    QString archive;
    QStringList folder;  // names from the top
    qint64 position = -1;
    qint64 rtfBytes = 0;
};

void searchArchive(const QString &path, Found &best)
{
    auto opened = EngineFactory::standard().open(path, EngineChoice::native);
    if (!opened)
        return;
    ArchiveEngine &engine = *opened->engine;
    const auto noBytes = [](const PropertyBag &, qint64) { return false; };
    std::function<void(const QList<RawFolder> &, const QStringList &)> walk = [&](const QList<RawFolder> &folders,
                                                                                 const QStringList &at) {
        for (const RawFolder &f : folders) {
            const QStringList here = at + QStringList{rules::folderRecord(f).name};
            constexpr qint64 kPage = 100;
            for (qint64 offset = 0;; offset += kPage) {
                const auto page = engine.readMessages(f.node, offset, kPage, noBytes);
                if (!page)
                    break;
                for (qsizetype i = 0; i < page->size(); ++i) {
                    const PropertyValue *rtf = page->at(i).properties.find(rules::Tag::rtfCompressed);
                    if (rtf && rtf->bytes.size() > best.rtfBytes)
                        best = Found{path, here, offset + i, rtf->bytes.size()};
                }
                if (page->size() < kPage)
                    break;
            }
            walk(f.children.value, here);
        }
    };
    walk(opened->archive.folders.value, {});
}

const MailFolder *folderAt(const QList<MailFolder> &folders, const QStringList &path)
{
    const QList<MailFolder> *level = &folders;
    const MailFolder *found = nullptr;
    for (const QString &name : path) {
        found = nullptr;
        for (const MailFolder &f : *level)
            if (f.name == name && !found)
                found = &f;
        if (!found)
            return nullptr;
        level = &found->children;
    }
    return found;
}

}  // namespace

std::optional<QJsonObject> probeLargestRtfMessage(const QString &corpusDir, int runs, QString *error)
{
    Found best;
    const QDir dir(corpusDir);
    for (const QString &name : dir.entryList({QStringLiteral("*.pst"), QStringLiteral("*.ost")}, QDir::Files, QDir::Name))
        searchArchive(dir.filePath(name), best);
    if (best.position < 0) {
        *error = QStringLiteral("no archive in %1 holds an RTF body").arg(corpusDir);
        return std::nullopt;
    }
    PSTActor actor(EngineChoice::native);
    const auto tree = actor.openFile(QUrl::fromLocalFile(best.archive)).result();
    const MailFolder *folder = tree ? folderAt(tree.value(), best.folder) : nullptr;
    if (!folder) {
        *error = QStringLiteral("%1: folder %2 not found again").arg(best.archive, best.folder.join(QLatin1Char('/')));
        return std::nullopt;
    }
    QFuture<RowChunk> listing = actor.listFolder(*folder);
    listing.waitForFinished();
    std::optional<QUuid> row;
    for (const MessageRow &r : listedRows(listing.results()))
        if (r.storageIndex == best.position)
            row = r.id;
    if (!row) {
        *error = QStringLiteral("%1: row %2 not listed").arg(best.archive).arg(best.position);
        return std::nullopt;
    }
    const auto first = actor.readMessage(*row).result();  // untimed: file pages in cache
    if (!first) {
        *error = first.error().errorDescription();
        return std::nullopt;
    }
    QList<double> times;
    for (int i = 0; i < std::max(runs, 1); ++i) {
        QElapsedTimer clock;
        clock.start();
        const auto read = actor.readMessage(*row).result();
        times.append(double(clock.nsecsElapsed()) / 1e6);
        if (!read) {
            *error = read.error().errorDescription();
            return std::nullopt;
        }
    }
    const Summary s = *summarize(times);
    return QJsonObject{{"archive", QFileInfo(best.archive).fileName()},
                       {"subject", first->subject},
                       {"rtfCompressedBytes", best.rtfBytes},
                       {"shownBody", rawValue(first->shownBody)},
                       {"median", s.median},
                       {"min", s.min},
                       {"max", s.max},
                       {"runs", s.runs},
                       {"unit", QStringLiteral("ms")},
                       {"limit", 20.0},
                       {"met", s.median <= 20.0}};
}

}  // namespace ostrel::bench
