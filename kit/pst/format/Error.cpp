#include "Error.h"

namespace ostrel::pst {

QString hex(quint64 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}

Error Error::damaged(QLatin1StringView structure, const QString &what, quint64 offset)
{
    return {Kind::Damaged, QStringLiteral("%1: %2 at %3").arg(structure, what, hex(offset))};
}

Error Error::damaged(QLatin1StringView structure, const QString &what)
{
    return {Kind::Damaged, QStringLiteral("%1: %2").arg(structure, what)};
}

}  // namespace ostrel::pst
