#pragma once

#include "model/MailFolder.h"

#include <QString>
#include <QTextStream>

namespace ostrel {

class PSTActor;

// Prints the rows of a folder as the list shows them, in list order, one
// JSON object per line; with a search text only the rows it finds (row
// fields and preview lines). Returns the exit status.
int printRows(PSTActor &actor, const MailFolder &folder, const QString &search, QTextStream &out,
              QTextStream &err);

}  // namespace ostrel
