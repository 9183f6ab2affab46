#include "TableColumns.h"

#include "PropertyIds.h"

namespace ostrel::pstwriter {

namespace {

// PSETID_Remote: Outlook's contents tables carry two of its properties.
QUuid remoteSet()
{
    return QUuid::fromString(QLatin1String("{00062014-0000-0000-C000-000000000046}"));
}

struct NamedColumn {
    PropertyName name;
    quint16 type;
};

// The named columns of Outlook's contents tables.
QList<NamedColumn> outlookNamedContentsColumns()
{
    using P = PropertyName;
    return {
        {P::numbered(propertySet::common(), 0x8510), PtInt32},   // side effects
        {P::numbered(propertySet::common(), 0x8578), PtInt32},
        {P::named(propertySet::publicStrings(), QStringLiteral("Keywords")), quint16(PtUnicode | PtMultiple)},
        {P::numbered(remoteSet(), 0x8F05), PtInt32},
        {P::numbered(propertySet::common(), 0x8514), PtBool},    // smart no-attach
        {P::numbered(remoteSet(), 0x8F07), PtBool},
        {P::numbered(propertySet::common(), 0x8503), PtBool},    // reminder set
        {P::numbered(propertySet::common(), 0x85A8), PtBinary},
        {P::numbered(propertySet::common(), 0x8502), PtTime},    // reminder time
        {P::numbered(propertySet::task(), 0x8104), PtTime},      // task start date
        {P::numbered(propertySet::task(), 0x8105), PtTime},      // task due date
        {P::numbered(propertySet::task(), 0x811C), PtBool},      // task complete
        {P::named(propertySet::internetHeaders(), QStringLiteral("x-ms-exchange-organization-authdomain")), PtUnicode},
        {P::numbered(propertySet::common(), 0x8570), PtInt32},
        {P::numbered(propertySet::task(), 0x8101), PtInt32},     // task status
        {P::numbered(propertySet::common(), 0x8552), PtInt32},   // current version
    };
}

}  // namespace

QList<quint32> hierarchyColumns(TableWidth width)
{
    if (width == TableWidth::Narrow)
        return {tag(PidDisplayName, PtUnicode), tag(PidContentCount, PtInt32), tag(PidContentUnreadCount, PtInt32),
                tag(PidSubfolders, PtBool), tag(PidContainerClass, PtUnicode)};
    return {tag(PidDisplayName, PtUnicode),   tag(PidContentCount, PtInt32), tag(PidContentUnreadCount, PtInt32),
            tag(PidReplItemid, PtBinary),     tag(PidReplChangenum, PtInt64), tag(PidReplVersionHistory, PtBinary),
            tag(PidReplFlags, PtInt32),       tag(PidContainerClass, PtUnicode), tag(PidPstHiddenCount, PtInt32),
            tag(PidPstHiddenUnread, PtInt32), tag(PidSubfolders, PtBool)};
}

QList<quint32> contentsColumns(TableWidth width, NameMap &names)
{
    if (width == TableWidth::Narrow)
        return {tag(PidImportance, PtInt32),           tag(PidMessageClass, PtUnicode),
                tag(PidSubject, PtUnicode),            tag(PidClientSubmitTime, PtTime),
                tag(PidSentRepresentingName, PtUnicode), tag(PidConversationTopic, PtUnicode),
                tag(PidDisplayCc, PtUnicode),          tag(PidDisplayTo, PtUnicode),
                tag(PidMessageDeliveryTime, PtTime),   tag(PidMessageFlags, PtInt32),
                tag(PidMessageSize, PtInt32),          tag(PidMessageStatus, PtInt32),
                tag(PidLastModificationTime, PtTime)};
    QList<quint32> columns{
        tag(PidMessageStatus, PtInt32),        tag(PidMessageClass, PtUnicode),
        tag(PidMessageFlags, PtInt32),         tag(PidImportance, PtInt32),
        tag(PidSentRepresentingName, PtUnicode), tag(PidSubject, PtUnicode),
        tag(PidMessageDeliveryTime, PtTime),   tag(PidClientSubmitTime, PtTime),
        tag(PidMessageSize, PtInt32),          tag(PidDisplayTo, PtUnicode),
        tag(PidDisplayCc, PtUnicode),          tag(PidSensitivity, PtInt32),
        tag(PidItemTemporaryFlags, PtInt32),   tag(PidConversationTopic, PtUnicode),
        tag(PidConversationIndex, PtBinary),   tag(PidChangeKey, PtBinary),
        tag(PidSecureSubmitFlags, PtInt32),    tag(PidLastModificationTime, PtTime),
        tag(PidReplItemid, PtBinary),          tag(PidReplChangenum, PtInt64),
        tag(PidReplVersionHistory, PtBinary),  tag(PidReplCopiedfromItemid, PtBinary),
        tag(PidReplCopiedfromVersionhistory, PtBinary), tag(PidReplFlags, PtInt32),
        tag(PidIconIndex, PtInt32),            tag(PidContentCount, PtInt32),
        tag(PidFollowupIcon, PtInt32),         tag(PidFlagStatus, PtInt32),
        tag(PidSearchKey, PtBinary),           tag(PidInternetMessageId, PtUnicode),
        tag(PidToDoItemFlags, PtInt32),        tag(0x6E01, PtInt32),
        tag(0x0EA2, PtInt32),                  tag(PidReplyTime, PtTime),
        tag(PidExpiryTime, PtTime),            tag(PidMessageToMe, PtBool),
        tag(PidMessageCcMe, PtBool)};
    for (const NamedColumn &c : outlookNamedContentsColumns()) {
        if (const quint16 id = names.idFor(c.name))
            columns.append(tag(id, c.type));
    }
    return columns;
}

QList<quint32> searchContentsColumns(TableWidth width)
{
    if (width == TableWidth::Narrow)
        return {tag(PidLtpParentNid, PtInt32),   tag(PidParentDisplay, PtUnicode), tag(PidMessageClass, PtUnicode),
                tag(PidSubject, PtUnicode),      tag(PidSentRepresentingName, PtUnicode),
                tag(PidMessageDeliveryTime, PtTime), tag(PidMessageFlags, PtInt32), tag(PidMessageSize, PtInt32)};
    return {tag(PidLtpParentNid, PtInt32),   tag(PidParentDisplay, PtUnicode),
            tag(PidMessageStatus, PtInt32),  tag(PidMessageClass, PtUnicode),
            tag(PidMessageFlags, PtInt32),   tag(PidImportance, PtInt32),
            tag(PidSentRepresentingName, PtUnicode), tag(PidSubject, PtUnicode),
            tag(PidMessageDeliveryTime, PtTime), tag(PidMessageSize, PtInt32),
            tag(PidDisplayTo, PtUnicode),    tag(PidDisplayCc, PtUnicode),
            tag(PidSensitivity, PtInt32),    tag(PidLastModificationTime, PtTime),
            tag(PidMessageToMe, PtBool),     tag(PidMessageCcMe, PtBool),
            tag(0x0E2A, PtBool)};
}

QList<quint32> assocContentsColumns(TableWidth width)
{
    if (width == TableWidth::Narrow)
        return {tag(PidMessageClass, PtUnicode), tag(PidMessageFlags, PtInt32), tag(PidMessageStatus, PtInt32),
                tag(PidDisplayName, PtUnicode), tag(PidLastModificationTime, PtTime)};
    return {tag(PidMessageStatus, PtInt32), tag(PidMessageClass, PtUnicode), tag(PidMessageFlags, PtInt32),
            tag(PidDisplayName, PtUnicode), tag(0x7003, PtInt32),           tag(0x7004, PtBinary),
            tag(0x7005, PtBinary),          tag(0x7006, PtUnicode),         tag(0x7007, PtInt32),
            tag(0x6800, PtUnicode),         tag(0x6805, quint16(PtInt32 | PtMultiple)), tag(0x682F, PtUnicode),
            tag(0x6803, PtBool)};
}

QList<quint32> recipientColumns(TableWidth width)
{
    if (width == TableWidth::Narrow)
        return {tag(PidRecipientType, PtInt32), tag(PidResponsibility, PtBool),   tag(PidObjectType, PtInt32),
                tag(PidDisplayName, PtUnicode), tag(PidAddressType, PtUnicode),  tag(PidEmailAddress, PtUnicode),
                tag(PidDisplayType, PtInt32),   tag(PidRecipientDisplayName, PtUnicode)};
    return {tag(PidAddressType, PtUnicode), tag(PidEmailAddress, PtUnicode), tag(PidEntryId, PtBinary),
            tag(PidDisplayName, PtUnicode), tag(PidRecipientType, PtInt32),  tag(PidSearchKey, PtBinary),
            tag(PidRecordKey, PtBinary),    tag(PidObjectType, PtInt32),     tag(PidDisplayType, PtInt32),
            tag(0x39FF, PtUnicode),         tag(PidResponsibility, PtBool),  tag(PidSendRichInfo, PtBool)};
}

QList<quint32> attachmentColumns(TableWidth)
{
    return {tag(PidAttachSize, PtInt32), tag(PidAttachFilename, PtUnicode), tag(PidAttachMethod, PtInt32),
            tag(PidRenderingPosition, PtInt32)};
}

}  // namespace ostrel::pstwriter
