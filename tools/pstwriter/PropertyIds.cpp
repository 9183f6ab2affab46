#include "PropertyIds.h"

#include <QHash>

namespace ostrel::pstwriter {

std::optional<quint16> propertyIdFromName(const QString &name)
{
    static const QHash<QString, quint16> ids{
#define OSTREL_PSTWRITER_NAME(n, value) {QStringLiteral(#n), quint16(value)},
        OSTREL_PSTWRITER_PROPERTY_IDS(OSTREL_PSTWRITER_NAME)
#undef OSTREL_PSTWRITER_NAME
    };
    const QString bare = name.startsWith(QLatin1String("PidTag")) ? name.mid(6) : name;
    if (const auto it = ids.constFind(bare); it != ids.constEnd())
        return *it;
    return std::nullopt;
}

}  // namespace ostrel::pstwriter
