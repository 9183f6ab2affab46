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

// The whole-folder listing as the window drives it, through the view model
// and the actor: the largest folder's first screen and all its rows sorted
// newest first, the heap the rows hold, rows selected and read whole, and
// search keystrokes over the rows. A timer on the main thread keeps the
// longest time it was kept from ticking in each of the three.
std::optional<QJsonObject> probeListing(const QString &path, EngineChoice engine, QString *error);

// libpff's own open and close of the same file, nothing else: the cost the
// viewer cannot go below.
std::optional<QJsonObject> probeLibpffFloor(const QString &path, QString *error);

// The process's peak resident set so far (VmHWM), in KiB.
qint64 peakRssKiB();

}  // namespace ostrel::bench
