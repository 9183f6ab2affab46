#pragma once

#include "pst/EngineFactory.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace ostrel::bench {

// What a person waits for in the viewer, measured in this process the way
// the window drives the reader, with one engine: open with the tree in hand,
// the first 100 complete messages of the largest folder, the next 100 of it,
// the first 100 of a small folder, then single messages spread over the
// largest folder, each read whole through the actor. The main thread runs an
// event loop throughout; the longest gap between its timer ticks says
// whether it ever waited on the reader. `firstPageOnly` stops after the
// first page, for profiling what a person waits for first.
std::optional<QJsonObject> probeViewer(const QString &path, EngineChoice engine, bool firstPageOnly, QString *error);

// The whole-folder listing, at the engine: every row of the largest folder,
// sorted newest first, the time to its first chunk, the heap the rows hold,
// whole messages read by key,
// and search keystrokes over their fields with the viewer's matcher.
// TODO(lead): the main thread's longest stall while the window lists,
// scrolls and searches a whole folder needs the window's whole-folder list;
// until it lands, the stall is measured only around the actor's pages
// (probeViewer).
std::optional<QJsonObject> probeListing(const QString &path, EngineChoice engine, QString *error);

// libpff's own open and close of the same file, nothing else: the cost the
// viewer cannot go below.
std::optional<QJsonObject> probeLibpffFloor(const QString &path, QString *error);

// The process's peak resident set so far (VmHWM), in KiB.
qint64 peakRssKiB();

}  // namespace ostrel::bench
