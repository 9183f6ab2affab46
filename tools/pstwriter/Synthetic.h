#pragma once

#include "ArchiveBuilder.h"

#include <QList>
#include <QString>

#include <optional>

namespace ostrel::pstwriter {

// A large deterministic archive: `folders` folders up to `depth` deep under
// the IPM subtree, `messages` messages spread over them (the first folder
// gets `biggest` of them when that is set), each with a plain body of about
// `body` characters, an HTML body on every `htmlEvery`-th message and an
// attachment of about `attachSize` bytes on every `attachEvery`-th; every
// `inlineEvery`-th HTML body shows a small PNG by content id. The same
// settings and seed always give the same bytes.
struct SyntheticSettings {
    int folders = 20;
    qint64 messages = 1000;
    quint64 seed = 1;
    qint64 biggest = 0;
    int depth = 3;
    int body = 3000;
    int htmlEvery = 2;
    int attachEvery = 4;
    int attachSize = 48 * 1024;
    int inlineEvery = 5;
    std::optional<Encoding> encoding;

    // "folders=300,messages=50000,seed=7,biggest=20000,..."
    static std::optional<SyntheticSettings> parse(const QString &text, QString *error);
};

bool buildSynthetic(const SyntheticSettings &settings, ArchiveBuilder &builder, QList<MessageId> *messages, QString *error);

}  // namespace ostrel::pstwriter
