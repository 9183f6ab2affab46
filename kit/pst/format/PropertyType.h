#pragma once

#include <QtGlobal>

namespace ostrel::pst {

// Property types the archive stores.
namespace ptype {

enum : quint16 {
    Unspecified = 0x0000,
    Null = 0x0001,
    Integer16 = 0x0002,
    Integer32 = 0x0003,
    Floating32 = 0x0004,
    Floating64 = 0x0005,
    Currency = 0x0006,
    FloatingTime = 0x0007,
    ErrorCode = 0x000A,
    Boolean = 0x000B,
    Object = 0x000D,
    Integer64 = 0x0014,
    String8 = 0x001E,
    String = 0x001F,
    Time = 0x0040,
    Guid = 0x0048,
    ServerId = 0x00FB,
    Restriction = 0x00FD,
    RuleAction = 0x00FE,
    Binary = 0x0102,
    MultipleFlag = 0x1000,
};

// Bytes of a fixed-size value (Boolean 1, Integer16 2, ..., Guid 16);
// 0 for variable-size and multi-valued types.
constexpr int fixedSize(quint16 type)
{
    switch (type) {
    case Boolean:
        return 1;
    case Integer16:
        return 2;
    case Integer32:
    case Floating32:
    case ErrorCode:
        return 4;
    case Floating64:
    case Currency:
    case FloatingTime:
    case Integer64:
    case Time:
        return 8;
    case Guid:
        return 16;
    default:
        return 0;
    }
}

constexpr bool isMultiValued(quint16 type) { return type & MultipleFlag; }

}  // namespace ptype

// A property tag: the id above the type.
constexpr quint32 propertyTag(quint16 id, quint16 type) { return quint32(id) << 16 | type; }

}  // namespace ostrel::pst
