#pragma once

#include "JsonLine.h"
#include "pst/engine/ArchiveEngine.h"

#include <QStringList>
#include <QTextStream>

namespace ostrel {

// Prints an open archive as JSON Lines in an order every engine can give:
// folders depth first, siblings by node id, each folder's line followed by
// its messages by node id, then its sub folders. Records come from the shared
// record rules; attachment bytes are streamed and hashed. Two engines that
// read the same archive alike print the same bytes. What could not be read
// is named in the lines and explained on err.
class ArchiveDump {
public:
    ArchiveDump(ArchiveEngine &engine, QTextStream &out, QTextStream &err);

    // Prints everything; false when some part could not be read.
    bool print(const RawArchive &archive);

private:
    void printFolder(const RawFolder &folder, const QStringList &parentPath);
    // The folder's message lines, by node id; false when a page failed.
    bool printMessages(const RawFolder &folder, const QStringList &path);
    // A message's keys after its folder and index.
    JsonLine messageFields(const RawMessage &raw, const QStringList &path);
    void explain(const QStringList &path, const QString &what, const QString &reason);

    ArchiveEngine &m_engine;
    QTextStream &m_out;
    QTextStream &m_err;
    bool m_complete = true;
};

}  // namespace ostrel
