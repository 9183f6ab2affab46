#include "pst/engine/PSTError.h"

#include <QCoreApplication>

namespace ostrel {

QString PSTError::errorDescription() const
{
    switch (m_kind) {
    case Kind::parsingFailed:
        return QCoreApplication::translate("ostrel", "Read error: %1").arg(m_message);
    case Kind::fileNotFound:
        return QCoreApplication::translate("ostrel", "PST file not found.");
    case Kind::invalidFormat:
        return QCoreApplication::translate("ostrel", "The file is not a valid PST archive.");
    case Kind::accessDenied:
        return QCoreApplication::translate("ostrel", "No read permission for this file.");
    case Kind::libpffNotInitialized:
        return QCoreApplication::translate("ostrel", "PST parser could not be initialized.");
    case Kind::unsupportedEncryption:
        return QCoreApplication::translate("ostrel", "Password-protected PST files are not supported.");
    }
    Q_UNREACHABLE();
    return {};
}

}  // namespace ostrel
