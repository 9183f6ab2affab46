#include "Inflate.h"

#include <zlib.h>

namespace ostrel::pst {

namespace {

// One inflation with the given window bits (15: zlib header, -15: raw);
// returns the bytes, or nothing when the stream is not of that kind or does
// not give exactly `size` bytes.
std::optional<QByteArray> inflateWith(QByteArrayView stored, int size, int windowBits)
{
    z_stream z{};
    if (inflateInit2(&z, windowBits) != Z_OK)
        return std::nullopt;
    QByteArray out(size, Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(stored.data()));
    z.avail_in = uInt(stored.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(size);
    const int rc = inflate(&z, Z_FINISH);
    const auto produced = qsizetype(z.total_out);
    inflateEnd(&z);
    if (rc != Z_STREAM_END || produced != size)
        return std::nullopt;
    return out;
}

}  // namespace

Result<QByteArray> inflateBlock(QByteArrayView stored, int size)
{
    if (size <= 0)
        return Error::damaged(QLatin1StringView("compressed block"), QStringLiteral("declares %1 bytes").arg(size));
    if (auto out = inflateWith(stored, size, 15))
        return *out;
    if (auto out = inflateWith(stored, size, -15))
        return *out;
    return Error::damaged(QLatin1StringView("compressed block"),
                          QStringLiteral("%1 bytes do not inflate to %2").arg(stored.size()).arg(size));
}

QByteArray deflateBlock(QByteArrayView data)
{
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &size, reinterpret_cast<const Bytef *>(data.data()),
                  uLong(data.size()), Z_BEST_COMPRESSION) != Z_OK)
        return {};
    out.resize(qsizetype(size));
    return out;
}

}  // namespace ostrel::pst
