#pragma once

#include <QtGlobal>

// Node ids: a 27-bit index above a 5-bit type. Block ids: bit 1 marks an
// internal block (data tree, subnode tree), bit 0 is reserved and ignored.
namespace ostrel::pst::nid {

enum Type : quint8 {
    Hid = 0x00,
    Internal = 0x01,
    NormalFolder = 0x02,
    SearchFolder = 0x03,
    NormalMessage = 0x04,
    Attachment = 0x05,
    SearchUpdateQueue = 0x06,
    SearchCriteriaObject = 0x07,
    AssocMessage = 0x08,
    ContentsTableIndex = 0x0A,
    ReceiveFolderTable = 0x0B,
    OutgoingQueueTable = 0x0C,
    HierarchyTable = 0x0D,
    ContentsTable = 0x0E,
    AssocContentsTable = 0x0F,
    SearchContentsTable = 0x10,
    AttachmentTable = 0x11,
    RecipientTable = 0x12,
    SearchTableIndex = 0x13,
    Ltp = 0x1F,
};

constexpr quint32 make(quint32 index, quint8 type) { return (index << 5) | type; }
constexpr quint32 index(quint32 nid) { return nid >> 5; }
constexpr quint8 type(quint32 nid) { return quint8(nid & 0x1F); }
// A folder's tables share its index.
constexpr quint32 withType(quint32 nid, quint8 type) { return make(index(nid), type); }

constexpr quint32 MessageStore = 0x21;
constexpr quint32 NameToIdMap = 0x61;
constexpr quint32 NormalFolderTemplate = 0xA1;
constexpr quint32 SearchFolderTemplate = 0xC1;
constexpr quint32 RootFolder = 0x122;
constexpr quint32 HierarchyTableTemplate = 0x60D;
constexpr quint32 ContentsTableTemplate = 0x60E;
constexpr quint32 AssocContentsTableTemplate = 0x60F;
constexpr quint32 SearchContentsTableTemplate = 0x610;
// A message's subnodes that hold its attachment and recipient tables.
constexpr quint32 AttachmentTableSub = 0x671;
constexpr quint32 RecipientTableSub = 0x692;

}  // namespace ostrel::pst::nid

namespace ostrel::pst::bid {

constexpr quint64 key(quint64 bid) { return bid & ~quint64(1); }  // as the block B-tree keys it
constexpr bool isInternal(quint64 bid) { return bid & 2; }

}  // namespace ostrel::pst::bid
