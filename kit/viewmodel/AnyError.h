#pragma once

#include "pst/PSTActor.h"
#include "pst/engine/PSTError.h"

#include <QString>
#include <system_error>
#include <variant>

namespace ostrel {

// An error that brings its own user-facing text; an empty text means it has none.
struct DescribedError {
    QString description;
    friend bool operator==(const DescribedError &, const DescribedError &) = default;
};

// Every error that can reach the browsing state.
using AnyError = std::variant<PSTError, DescribedError, std::error_code, AttachmentSaveError>;

// The one place where an error becomes the text the user sees.
QString describeError(const AnyError &error);

}  // namespace ostrel
