#pragma once

#include "pst/engine/PSTError.h"

#include <QString>
#include <optional>

namespace ostrel {

// Why path cannot be read as an archive, before any engine touches it:
// nothing there, something that is not a regular file (a directory, a FIFO,
// a device, which an engine could block on forever), or no read permission.
// None when it is a readable regular file; a link counts as what it points to.
std::optional<PSTError> checkArchivePath(const QString &path);

}  // namespace ostrel
