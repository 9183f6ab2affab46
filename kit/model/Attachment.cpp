#include "model/Attachment.h"

#include "model/Text.h"

#include <QStringList>
#include <initializer_list>

namespace ostrel {

QString Attachment::displayName() const
{
    constexpr qsizetype kLimit = 30;
    if (graphemeCount(filename) <= kLimit)
        return filename;
    const QString extension = fileExtension(filename);
    const QString base = extension.isEmpty() && !filename.endsWith(QLatin1Char('.'))
                             ? filename
                             : filename.left(filename.size() - extension.size() - 1);
    const qsizetype keep = std::max<qsizetype>(kLimit - 2 - graphemeCount(extension), 0);
    const QString kept = graphemePrefix(base, keep);
    if (extension.isEmpty())
        return kept + QChar(0x2026);
    return kept + QChar(0x2026) + QLatin1Char('.') + extension;
}

QString Attachment::iconName() const
{
    if (isMessage)
        return QStringLiteral("envelope");
    const QString mime = mimeType.toLower();
    const QString ext = fileExtension(filename).toLower();
    const auto extIn = [&ext](std::initializer_list<const char *> list) {
        for (const char *candidate : list) {
            if (ext == QLatin1String(candidate))
                return true;
        }
        return false;
    };
    if (mime.startsWith(QLatin1String("image/"))
        || extIn({"png", "jpg", "jpeg", "gif", "heic", "tiff", "bmp", "webp"}))
        return QStringLiteral("photo");
    if (mime.startsWith(QLatin1String("video/")) || extIn({"mp4", "mov", "avi", "mkv", "webm"}))
        return QStringLiteral("film");
    if (mime.startsWith(QLatin1String("audio/")) || extIn({"mp3", "wav", "m4a", "aac", "flac"}))
        return QStringLiteral("music.note");
    if (ext == QLatin1String("pdf") || mime.contains(QLatin1String("pdf")))
        return QStringLiteral("doc.richtext");
    if (extIn({"doc", "docx", "rtf", "odt", "pages"}))
        return QStringLiteral("doc.text");
    if (extIn({"xls", "xlsx", "csv", "numbers"}))
        return QStringLiteral("tablecells");
    if (extIn({"ppt", "pptx", "key"}))
        return QStringLiteral("rectangle.on.rectangle");
    if (extIn({"zip", "rar", "7z", "tar", "gz", "bz2"}))
        return QStringLiteral("doc.zipper");
    if (extIn({"txt", "log", "md"}))
        return QStringLiteral("doc.plaintext");
    return QStringLiteral("doc");
}

size_t qHash(const Attachment &attachment, size_t seed)
{
    seed = qHashMulti(seed, attachment.id, attachment.filename, attachment.mimeType, attachment.size);
    seed = attachment.data ? qHashMulti(seed, true, *attachment.data) : qHashMulti(seed, false);
    seed = qHashMulti(seed, attachment.isMessage);
    seed = attachment.failure ? qHashMulti(seed, true, *attachment.failure) : qHashMulti(seed, false);
    return attachment.contentId ? qHashMulti(seed, true, *attachment.contentId)
                                : qHashMulti(seed, false);
}

}  // namespace ostrel
