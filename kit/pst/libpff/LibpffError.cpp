#include "pst/libpff/LibpffError.h"

#include <array>

namespace ostrel {

QString libpffErrorText(libpff_error_t **error)
{
    if (error == nullptr || *error == nullptr)
        return QStringLiteral("unknown");
    std::array<char, 512> buffer{};
    libpff_error_sprint(*error, buffer.data(), buffer.size());
    buffer.back() = '\0';
    libpff_error_free(error);
    *error = nullptr;
    return QString::fromUtf8(buffer.data()).trimmed();
}

}  // namespace ostrel
