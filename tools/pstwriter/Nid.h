#pragma once

#include <QtGlobal>

// Node ids: a 27-bit index above a 5-bit type.
namespace ostrel::pstwriter::nid {

enum Type : quint8 {
    Hid = 0x00,
    Internal = 0x01,
    NormalFolder = 0x02,
    SearchFolder = 0x03,
    NormalMessage = 0x04,
    Attachment = 0x05,
    SearchUpdateQueue = 0x06,
    SearchCriteria = 0x07,
    HierarchyTable = 0x0D,
    ContentsTable = 0x0E,
    AssocContentsTable = 0x0F,
    SearchContentsTable = 0x10,
    AttachmentTable = 0x11,
    RecipientTable = 0x12,
    Ltp = 0x1F,
};

constexpr quint32 make(quint32 index, quint8 type) { return (index << 5) | type; }
constexpr quint32 index(quint32 nid) { return nid >> 5; }
constexpr quint8 type(quint32 nid) { return quint8(nid & 0x1F); }
// The folder's three tables share its index.
constexpr quint32 withType(quint32 nid, quint8 type) { return make(index(nid), type); }

constexpr quint32 MessageStore = 0x21;
constexpr quint32 NameToIdMap = 0x61;
constexpr quint32 RootFolder = 0x122;
constexpr quint32 HierarchyTableTemplate = 0x60D;
constexpr quint32 ContentsTableTemplate = 0x60E;
constexpr quint32 AssocContentsTableTemplate = 0x60F;
constexpr quint32 SearchContentsTableTemplate = 0x610;
constexpr quint32 AttachmentTableSub = 0x671;
constexpr quint32 RecipientTableSub = 0x692;

// Subnode ids of one node: unique within it, handed out in order.
class SubnodeIds {
public:
    quint32 take(quint8 t) { return make(m_next++, t); }

private:
    quint32 m_next = 0x400;
};

}  // namespace ostrel::pstwriter::nid
