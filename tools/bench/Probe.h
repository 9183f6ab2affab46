#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace ostrel::bench {

// What a person waits for in the viewer, measured in this process the way
// the window drives the reader: open, the first 100 messages of the largest
// folder, the next 100 of it, then the first 100 of a small folder. The main
// thread runs an event loop throughout; the longest gap between its timer
// ticks says whether it ever waited on the reader. `firstPageOnly` stops
// after the first page, for profiling what a person waits for first.
std::optional<QJsonObject> probeViewer(const QString &path, bool firstPageOnly, QString *error);

// libpff's own open and close of the same file, nothing else: the cost the
// viewer cannot go below.
std::optional<QJsonObject> probeLibpffFloor(const QString &path, QString *error);

// The process's peak resident set so far (VmHWM), in KiB.
qint64 peakRssKiB();

}  // namespace ostrel::bench
