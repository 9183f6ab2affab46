#include "viewmodel/AnyError.h"

#include <QCoreApplication>

namespace ostrel {

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("ostrel", text);
}

QString errorOccurred(const QString &description)
{
    return QCoreApplication::translate("ostrel", "An error occurred: %1").arg(description);
}
}  // namespace

QString describeError(const AnyError &error)
{
    if (const auto *pst = std::get_if<PSTError>(&error))
        return pst->errorDescription();
    if (const auto *described = std::get_if<DescribedError>(&error)) {
        if (!described->description.isEmpty())
            return described->description;
        return errorOccurred(tr("The operation could not be completed."));
    }
    if (const auto *save = std::get_if<AttachmentSaveError>(&error)) {
        switch (save->kind) {
        case AttachmentSaveError::Kind::notLoaded:
            return tr("Attachment data is not yet loaded.");
        case AttachmentSaveError::Kind::readFailed:
            return PSTError::parsingFailed(save->detail).errorDescription();
        case AttachmentSaveError::Kind::writeFailed:
            return save->detail.isEmpty() ? errorOccurred(tr("The operation could not be completed.")) : save->detail;
        }
    }
    const auto &code = std::get<std::error_code>(error);
    if (code == std::errc::no_such_file_or_directory && code.category() == std::generic_category())
        return tr("File not found.");
    if (code == std::errc::permission_denied && code.category() == std::generic_category())
        return tr("No read permission for this file.");
    return errorOccurred(QString::fromLocal8Bit(code.message()));
}

}  // namespace ostrel
