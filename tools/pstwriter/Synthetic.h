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
    bool legacyLayout = false;
    bool internalFolders = false;
    // Variety, each "every k-th message" (0: none): senders that are
    // Exchange users (an X.500 address with an SMTP address beside it), a
    // Bcc recipient, no delivery time (half of them with a submit time),
    // an item that is not mail (contact, appointment, meeting request,
    // task, distribution list, note, delivery report in turn), an RTF-only
    // body (HTML in RTF, text in RTF, plain RTF in turn), 8-bit bodies in
    // windows-1251, windows-1252 and Shift_JIS in turn, Internet headers,
    // and a message nested three deep as an attachment.
    int exchangeEvery = 10;
    int bccEvery = 7;
    int undatedEvery = 0;
    int itemsEvery = 0;
    int rtfEvery = 0;
    int codepageEvery = 0;
    int headersEvery = 0;
    int nestedEvery = 0;
    // Search folders under the IPM subtree, each listing every 97th message
    // from its own start (at most 2,000).
    int searchFolders = 0;

    // "folders=300,messages=50000,seed=7,biggest=20000,..."
    static std::optional<SyntheticSettings> parse(const QString &text, QString *error);
    // Encoding, layout, internal folders and the seed.
    void applyTo(ArchiveOptions &options) const;
};

bool buildSynthetic(const SyntheticSettings &settings, ArchiveBuilder &builder, QList<MessageId> *messages, QString *error);

}  // namespace ostrel::pstwriter
