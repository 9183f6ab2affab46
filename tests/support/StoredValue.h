#pragma once

#include "pst/engine/RawValues.h"

#include <QDateTime>

// Property values as an archive stores them, for tests that hand an engine's
// raw values to the record rules.
namespace ostrel::test::stored {

PropertyValue text(const QString &value);        // PtypString: UTF-16LE and its terminator
PropertyValue text8(const QByteArray &value);    // PtypString8: the bytes and a terminator
PropertyValue int32(quint32 value);
PropertyValue filetime(quint64 value);
PropertyValue time(const QDateTime &value);      // PtypTime
PropertyValue binary(const QByteArray &value);

}  // namespace ostrel::test::stored
