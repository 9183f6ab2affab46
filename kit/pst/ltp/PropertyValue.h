#pragma once

#include "pst/format/Error.h"
#include "pst/format/PropertyType.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace ostrel::pst {

// One property's value as the archive stores it: its type and its bytes
// (little-endian for numbers, UTF-16LE for Unicode strings, the code page's
// bytes for 8-bit strings). Turning 8-bit text into characters is left to
// the reader, which knows the code page.
struct PropertyValue {
    quint16 type = ptype::Unspecified;
    QByteArray bytes;

    std::optional<qint64> toInteger() const;  // Integer16/32/64, Boolean, ErrorCode, Currency
    std::optional<bool> toBool() const;
    std::optional<double> toDouble() const;   // Floating32/64, FloatingTime
    std::optional<qint64> toFileTime() const; // Time: 100 ns since 1601
    std::optional<QString> toUnicode() const; // String; a trailing NUL is dropped

    // The elements of a multi-valued property, each as a single value.
    Result<QList<PropertyValue>> elements() const;

    friend bool operator==(const PropertyValue &, const PropertyValue &) = default;
};

}  // namespace ostrel::pst
