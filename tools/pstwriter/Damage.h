#pragma once

#include "ArchiveBuilder.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace ostrel::pstwriter {

// One way to spoil a finished archive, for the readers' failure tests:
//   truncate=OFFSET        cut the file at OFFSET bytes
//   overwrite=TARGET       garble a named structure: header-magic, header-crc,
//                          header-version, header-encoding, nbt-root, bbt-root,
//                          amap, store, name-map, root-folder, message:N (the
//                          N-th message written, from 1)
//   bytes=OFFSET:HEX       write the given bytes at OFFSET
struct Damage {
    enum class Kind { Truncate, Overwrite, Bytes };
    Kind kind = Kind::Truncate;
    quint64 offset = 0;
    QString target;
    QByteArray bytes;

    static std::optional<Damage> parse(const QString &text, QString *error);
};

// Applies the damage to the file the builder has just finished.
bool applyDamage(const QString &path, const Damage &damage, const ArchiveBuilder &builder,
                 const QList<MessageId> &messages, QString *error);

}  // namespace ostrel::pstwriter
