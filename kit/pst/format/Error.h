#pragma once

#include "model/Expected.h"

#include <QString>

namespace ostrel::pst {

// Why a read of the archive failed. The kind lets the engine choose its
// error; the text names the structure and, where there is one, the file
// offset ("nbt: bad page signature at 0x4400").
struct Error {
    enum class Kind : quint8 {
        NotFound,        // no file at the path
        AccessDenied,    // no permission to read it
        NotRegularFile,  // a directory, FIFO, socket or device
        NotAnArchive,    // no archive header
        Unsupported,     // an archive this reader cannot read
        Damaged,         // a structure is inconsistent
        Missing,         // a node, block or subnode the archive does not hold
        Io,              // the system failed to read
    };
    Kind kind = Kind::Damaged;
    QString text;

    // "<structure>: <what> at 0x<offset>"
    static Error damaged(QLatin1StringView structure, const QString &what, quint64 offset);
    // "<structure>: <what>", for failures with no place in the file.
    static Error damaged(QLatin1StringView structure, const QString &what);

    friend bool operator==(const Error &, const Error &) = default;
};

template <typename T>
using Result = Expected<T, Error>;

QString hex(quint64 value);

}  // namespace ostrel::pst
