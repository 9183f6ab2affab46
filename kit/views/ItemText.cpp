#include "views/ItemText.h"

#include "views/Formatting.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QStringList>

namespace ostrel {

QString itemKindTitle(ItemKind kind)
{
    switch (kind) {
    case ItemKind::contact: return QCoreApplication::translate("ItemKind", "Contact");
    case ItemKind::appointment: return QCoreApplication::translate("ItemKind", "Appointment");
    case ItemKind::meetingRequest: return QCoreApplication::translate("ItemKind", "Meeting request");
    case ItemKind::task: return QCoreApplication::translate("ItemKind", "Task");
    case ItemKind::distributionList: return QCoreApplication::translate("ItemKind", "Distribution list");
    case ItemKind::note: return QCoreApplication::translate("ItemKind", "Note");
    case ItemKind::report: return QCoreApplication::translate("ItemKind", "Report");
    case ItemKind::mail: break;
    }
    return {};
}

QString itemFieldLabel(const ItemField &field)
{
    return QCoreApplication::translate("ItemField", field.label.toUtf8().constData());
}

QString itemFieldValue(const ItemField &field, const QLocale &locale)
{
    if (field.time) {
        // A date label ("Due date", "Start date") is a whole day: no hour.
        if (field.label.endsWith(QLatin1String(" date"))) {
            const QDateTime time = QDateTime::fromMSecsSinceEpoch(qint64(*field.time * 1000.0), Qt::UTC);
            return locale.toString(time.toLocalTime().date(), QLocale::LongFormat);
        }
        return headerDateText(*field.time, locale);
    }
    if (field.ownWords)
        return QCoreApplication::translate("ItemField", field.value.toUtf8().constData());
    return field.value;
}

QString unreadableLine(const MailMessage &message)
{
    if (message.readFailure)
        return QCoreApplication::translate("ostrel::MessageDetailView", "This message could not be read: %1")
            .arg(*message.readFailure);
    QStringList parts;
    if (message.recipientsFailure)
        parts << QCoreApplication::translate("ostrel::MessageDetailView", "recipients");
    if (message.attachmentsFailure)
        parts << QCoreApplication::translate("ostrel::MessageDetailView", "attachments");
    if (message.bodyFailure)
        parts << QCoreApplication::translate("ostrel::MessageDetailView", "body");
    // An attached message that could not be read says why.
    for (const Attachment &attachment : message.attachments) {
        if (attachment.failure)
            parts << QCoreApplication::translate("ostrel::MessageDetailView", "attached message \"%1\" (%2)")
                         .arg(attachment.filename, *attachment.failure);
    }
    if (parts.isEmpty())
        return {};
    return QCoreApplication::translate("ostrel::MessageDetailView", "Could not be read: %1")
        .arg(parts.join(QStringLiteral(", ")));
}

}  // namespace ostrel
