#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace ostrel::pstwriter {

// Ids of the tagged properties the writer sets or lays out in tables,
// named as the messaging formats name them (without "PidTag").
#define OSTREL_PSTWRITER_PROPERTY_IDS(X)                                                                       \
    X(Importance, 0x0017)                                                                                        \
    X(MessageClass, 0x001A)                                                                                      \
    X(ExpiryTime, 0x0015)                                                                                        \
    X(Sensitivity, 0x0036)                                                                                       \
    X(Subject, 0x0037)                                                                                           \
    X(ClientSubmitTime, 0x0039)                                                                                  \
    X(SentRepresentingSearchKey, 0x003B)                                                                         \
    X(ReplyTime, 0x0030)                                                                                         \
    X(SentRepresentingEntryId, 0x0041)                                                                           \
    X(SentRepresentingName, 0x0042)                                                                              \
    X(MessageToMe, 0x0057)                                                                                       \
    X(MessageCcMe, 0x0058)                                                                                       \
    X(SentRepresentingAddressType, 0x0064)                                                                       \
    X(SentRepresentingEmailAddress, 0x0065)                                                                      \
    X(ConversationTopic, 0x0070)                                                                                 \
    X(ConversationIndex, 0x0071)                                                                                 \
    X(TransportMessageHeaders, 0x007D)                                                                           \
    X(RecipientType, 0x0C15)                                                                                     \
    X(SenderEntryId, 0x0C19)                                                                                     \
    X(SenderName, 0x0C1A)                                                                                        \
    X(SenderSearchKey, 0x0C1D)                                                                                   \
    X(SenderAddressType, 0x0C1E)                                                                                 \
    X(SenderEmailAddress, 0x0C1F)                                                                                \
    X(DisplayBcc, 0x0E02)                                                                                        \
    X(DisplayCc, 0x0E03)                                                                                         \
    X(DisplayTo, 0x0E04)                                                                                         \
    X(ParentDisplay, 0x0E05)                                                                                     \
    X(MessageDeliveryTime, 0x0E06)                                                                               \
    X(MessageFlags, 0x0E07)                                                                                      \
    X(MessageSize, 0x0E08)                                                                                       \
    X(Responsibility, 0x0E0F)                                                                                    \
    X(MessageStatus, 0x0E17)                                                                                     \
    X(HasAttachments, 0x0E1B)                                                                                    \
    X(RtfInSync, 0x0E1F)                                                                                         \
    X(AttachSize, 0x0E20)                                                                                        \
    X(ToDoItemFlags, 0x0E2B)                                                                                     \
    X(ReplItemid, 0x0E30)                                                                                        \
    X(ReplChangenum, 0x0E33)                                                                                     \
    X(ReplVersionHistory, 0x0E34)                                                                                \
    X(ReplFlags, 0x0E38)                                                                                         \
    X(ReplCopiedfromVersionhistory, 0x0E3C)                                                                      \
    X(ReplCopiedfromItemid, 0x0E3D)                                                                              \
    X(RecordKey, 0x0FF9)                                                                                         \
    X(ObjectType, 0x0FFE)                                                                                        \
    X(EntryId, 0x0FFF)                                                                                           \
    X(Body, 0x1000)                                                                                              \
    X(RtfCompressed, 0x1009)                                                                                     \
    X(Html, 0x1013)                                                                                              \
    X(NativeBody, 0x1016)                                                                                        \
    X(InternetMessageId, 0x1035)                                                                                 \
    X(IconIndex, 0x1080)                                                                                         \
    X(FlagStatus, 0x1090)                                                                                        \
    X(FollowupIcon, 0x1095)                                                                                      \
    X(ItemTemporaryFlags, 0x1097)                                                                                \
    X(DisplayName, 0x3001)                                                                                       \
    X(AddressType, 0x3002)                                                                                       \
    X(EmailAddress, 0x3003)                                                                                      \
    X(Comment, 0x3004)                                                                                           \
    X(CreationTime, 0x3007)                                                                                      \
    X(LastModificationTime, 0x3008)                                                                              \
    X(SearchKey, 0x300B)                                                                                         \
    X(ChangeKey, 0x3013)                                                                                         \
    X(ValidFolderMask, 0x35DF)                                                                                   \
    X(IpmSubtreeEntryId, 0x35E0)                                                                                 \
    X(IpmOutboxEntryId, 0x35E2)                                                                                  \
    X(IpmWastebasketEntryId, 0x35E3)                                                                             \
    X(IpmSentMailEntryId, 0x35E4)                                                                                \
    X(ViewsEntryId, 0x35E5)                                                                                      \
    X(CommonViewsEntryId, 0x35E6)                                                                                \
    X(FinderEntryId, 0x35E7)                                                                                     \
    X(FolderType, 0x3601)                                                                                        \
    X(ContentCount, 0x3602)                                                                                      \
    X(ContentUnreadCount, 0x3603)                                                                                \
    X(Subfolders, 0x360A)                                                                                        \
    X(ContainerClass, 0x3613)                                                                                    \
    X(AttachDataObject, 0x3701)                                                                                  \
    X(AttachExtension, 0x3703)                                                                                   \
    X(AttachFilename, 0x3704)                                                                                    \
    X(AttachMethod, 0x3705)                                                                                      \
    X(AttachLongFilename, 0x3707)                                                                                \
    X(RenderingPosition, 0x370B)                                                                                 \
    X(AttachMimeTag, 0x370E)                                                                                     \
    X(AttachContentId, 0x3712)                                                                                   \
    X(AttachFlags, 0x3714)                                                                                       \
    X(DisplayType, 0x3900)                                                                                       \
    X(SmtpAddress, 0x39FE)                                                                                       \
    X(TransmittableDisplayName, 0x3A20)                                                                          \
    X(SendRichInfo, 0x3A40)                                                                                      \
    X(InternetCodepage, 0x3FDE)                                                                                  \
    X(MessageLocaleId, 0x3FF1)                                                                                   \
    X(MessageCodepage, 0x3FFD)                                                                                   \
    X(SenderSmtpAddress, 0x5D01)                                                                                 \
    X(SentRepresentingSmtpAddress, 0x5D02)                                                                       \
    X(RecipientDisplayName, 0x5FF6)                                                                              \
    X(SecureSubmitFlags, 0x65C6)                                                                                 \
    X(PstHiddenCount, 0x6635)                                                                                    \
    X(PstHiddenUnread, 0x6636)                                                                                   \
    X(PstPassword, 0x67FF)                                                                                       \
    X(LtpParentNid, 0x67F1)                                                                                      \
    X(AttachmentHidden, 0x7FFE)

enum PropId : quint16 {
#define OSTREL_PSTWRITER_ENUM(name, value) Pid##name = value,
    OSTREL_PSTWRITER_PROPERTY_IDS(OSTREL_PSTWRITER_ENUM)
#undef OSTREL_PSTWRITER_ENUM
};

// "PidTagSubject" (or "Subject") to 0x0037, for the JSON description.
std::optional<quint16> propertyIdFromName(const QString &name);

}  // namespace ostrel::pstwriter
