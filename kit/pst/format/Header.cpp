#include "Header.h"

#include "pst/format/Bytes.h"
#include "pst/format/Crc.h"

#include <cstring>

namespace ostrel::pst {

using namespace bytes;

namespace {

constexpr QLatin1StringView kWhere("header");
constexpr quint8 kSentinel = 0x80;
constexpr quint8 kCryptWindowsProtection = 0x10;

Error header(const QString &what, Error::Kind kind = Error::Kind::Damaged)
{
    return {kind, QStringLiteral("%1: %2").arg(kWhere, what)};
}

}  // namespace

Result<Header> parseHeader(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    if (bytes.size() < 4 || std::memcmp(p, "!BDN", 4) != 0)
        return header(QStringLiteral("no archive signature"), Error::Kind::NotAnArchive);
    if (bytes.size() < 14)
        return header(QStringLiteral("file of %1 bytes ends inside the header").arg(bytes.size()));

    Header h;
    h.client = le16(p + 8);
    h.version = le16(p + 10);
    switch (h.version) {
    case 14:
    case 15:
        h.variant = Variant::Ansi;
        break;
    case 21:
    case 23:
    case 37:
        h.variant = Variant::Unicode;
        break;
    case 36:
        h.variant = Variant::Unicode4k;
        break;
    default:
        return header(QStringLiteral("unknown format version %1").arg(h.version), Error::Kind::Unsupported);
    }
    const bool ansi = h.variant == Variant::Ansi;
    const qsizetype needed = ansi ? 512 : Header::kSize;
    if (bytes.size() < needed)
        return header(QStringLiteral("file of %1 bytes ends inside the header").arg(bytes.size()));

    if (le32(p + 4) != pstCrc(p + 8, 471))
        return Error::damaged(kWhere, QStringLiteral("checksum mismatch"), 4);
    if (!ansi && le32(p + 524) != pstCrc(p + 8, 516))
        return Error::damaged(kWhere, QStringLiteral("checksum mismatch"), 524);

    const int sentinelAt = ansi ? 460 : 512;
    if (p[sentinelAt] != kSentinel)
        return Error::damaged(kWhere, QStringLiteral("bad sentinel"), quint64(sentinelAt));
    const quint8 crypt = p[sentinelAt + 1];
    if (crypt == kCryptWindowsProtection)
        return header(QStringLiteral("encrypted with Windows Information Protection"), Error::Kind::Unsupported);
    if (crypt > quint8(Encoding::Cyclic))
        return Error::damaged(kWhere, QStringLiteral("unknown encoding %1").arg(crypt), quint64(sentinelAt + 1));
    h.encoding = Encoding(crypt);

    if (ansi) {
        h.fileEof = le32(p + 168);
        h.nbtRoot = {le32(p + 184), le32(p + 188)};
        h.bbtRoot = {le32(p + 192), le32(p + 196)};
    } else {
        h.fileEof = le64(p + 184);
        h.nbtRoot = {le64(p + 216), le64(p + 224)};
        h.bbtRoot = {le64(p + 232), le64(p + 240)};
    }
    return h;
}

}  // namespace ostrel::pst
