#pragma once

#include "pst/format/Nid.h"

// Node ids as the format defines them, and the writer's own allocation of
// subnode ids.
namespace ostrel::pstwriter::nid {

using namespace ostrel::pst::nid;

// Subnode ids of one node: unique within it, handed out in order.
class SubnodeIds {
public:
    quint32 take(quint8 t) { return make(m_next++, t); }

private:
    quint32 m_next = 0x400;
};

}  // namespace ostrel::pstwriter::nid
