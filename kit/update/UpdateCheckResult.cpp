#include "update/UpdateCheckResult.h"

#include <QCoreApplication>

namespace ostrel {

QString UpdateCheckError::errorDescription() const
{
    switch (kind) {
    case Kind::invalidVersion:
        return QCoreApplication::translate("ostrel", "The update manifest contains an invalid version: ") + version;
    case Kind::insecureURL:
        return QCoreApplication::translate("ostrel", "The update server returned an insecure URL.");
    case Kind::invalidResponse:
        return QCoreApplication::translate("ostrel", "The update server returned an invalid response.");
    case Kind::manifestTooLarge:
        return QCoreApplication::translate("ostrel", "The update manifest is unexpectedly large.");
    }
    return {};
}

}  // namespace ostrel
