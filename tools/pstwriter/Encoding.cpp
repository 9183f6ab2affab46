#include "Encoding.h"

namespace ostrel::pstwriter {

QString encodingName(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Permute:
        return QStringLiteral("permute");
    case Encoding::Cyclic:
        return QStringLiteral("cyclic");
    case Encoding::None:
        break;
    }
    return QStringLiteral("none");
}

std::optional<Encoding> encodingFromName(const QString &name)
{
    if (name == QLatin1String("none"))
        return Encoding::None;
    if (name == QLatin1String("permute") || name == QLatin1String("compressible"))
        return Encoding::Permute;
    if (name == QLatin1String("cyclic") || name == QLatin1String("high"))
        return Encoding::Cyclic;
    return std::nullopt;
}

}  // namespace ostrel::pstwriter
