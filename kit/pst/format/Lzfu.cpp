#include "Lzfu.h"

#include "pst/format/Bytes.h"
#include "pst/format/Crc.h"

#include <array>

namespace ostrel::pst {

using namespace bytes;

namespace {

constexpr quint32 kCompressed = 0x75465A4C;    // "LZFu"
constexpr quint32 kUncompressed = 0x414C454D;  // "MELA"
constexpr int kDictSize = 4096;
constexpr int kMaxMatch = 17;

const QByteArray &prebuffer()
{
    static const QByteArray text = QByteArrayLiteral(
        "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern \\fscript "
        "\\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n\\par "
        "\\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx");
    return text;
}

struct Dictionary {
    std::array<char, kDictSize> bytes{};
    int write = 0;
    int filled = 0;  // how many positions hold data
    Dictionary()
    {
        const QByteArray &pre = prebuffer();
        std::copy(pre.begin(), pre.end(), bytes.begin());
        write = int(pre.size());
        filled = write;
    }
    void put(char c)
    {
        bytes[size_t(write)] = c;
        write = (write + 1) % kDictSize;
        filled = std::min(filled + 1, kDictSize);
    }
};

}  // namespace

QByteArray compressRtf(const QByteArray &rtf)
{
    Dictionary dict;
    QByteArray out;
    qsizetype pos = 0;
    bool ended = false;
    while (!ended) {
        const qsizetype controlAt = out.size();
        out.append(char(0));
        quint8 control = 0;
        for (int bit = 0; bit < 8; ++bit) {
            if (pos >= rtf.size()) {
                // The end: a reference to the write position itself.
                control |= quint8(1u << bit);
                const quint16 ref = quint16(dict.write << 4);
                out.append(char(ref >> 8));
                out.append(char(ref & 0xFF));
                ended = true;
                break;
            }
            // Longest match whose source lies wholly behind the write position.
            int bestLen = 0;
            int bestAt = 0;
            const int limit = int(std::min<qsizetype>(kMaxMatch, rtf.size() - pos));
            if (limit >= 2) {
                for (int d = 2; d <= dict.filled && d < kDictSize; ++d) {
                    const int at = (dict.write - d + kDictSize) % kDictSize;
                    if (dict.bytes[size_t(at)] != rtf[pos])
                        continue;
                    int len = 1;
                    while (len < limit && len < d && dict.bytes[size_t((at + len) % kDictSize)] == rtf[pos + len])
                        ++len;
                    if (len > bestLen) {
                        bestLen = len;
                        bestAt = at;
                        if (len == limit)
                            break;
                    }
                }
            }
            if (bestLen >= 2) {
                control |= quint8(1u << bit);
                const quint16 ref = quint16(bestAt << 4 | (bestLen - 2));
                out.append(char(ref >> 8));
                out.append(char(ref & 0xFF));
                for (int i = 0; i < bestLen; ++i)
                    dict.put(rtf[pos + i]);
                pos += bestLen;
            } else {
                out.append(rtf[pos]);
                dict.put(rtf[pos]);
                ++pos;
            }
        }
        out[controlAt] = char(control);
    }
    QByteArray result(16, '\0');
    put32(result, 0, quint32(out.size() + 12));
    put32(result, 4, quint32(rtf.size()));
    put32(result, 8, kCompressed);
    put32(result, 12, pstCrc(out.constData(), out.size()));
    return result + out;
}

Result<QByteArray> decompressRtf(QByteArrayView stream, qsizetype maxSize)
{
    const QLatin1StringView where("compressed RTF");
    if (stream.size() < 16)
        return Error::damaged(where, QStringLiteral("stream of %1 bytes is shorter than its header").arg(stream.size()));
    const auto *p = reinterpret_cast<const uchar *>(stream.data());
    const quint64 end = quint64(le32(p)) + 4;  // the size field counts what follows it
    const quint32 rawSize = le32(p + 4);
    const quint32 type = le32(p + 8);
    const quint32 crc = le32(p + 12);
    if (end < 16 || end > quint64(stream.size()))
        return Error::damaged(where, QStringLiteral("declares %1 bytes, holds %2").arg(end).arg(stream.size()));
    if (rawSize > quint64(maxSize))
        return Error::damaged(where, QStringLiteral("%1 bytes of text is more than the limit of %2").arg(rawSize).arg(maxSize));
    if (type == kUncompressed) {
        if (quint64(rawSize) > end - 16)
            return Error::damaged(where, QStringLiteral("stored text of %1 bytes in %2").arg(rawSize).arg(end - 16));
        return QByteArray(stream.data() + 16, rawSize);
    }
    if (type != kCompressed)
        return Error::damaged(where, QStringLiteral("unknown type %1").arg(hex(type)));
    if (pstCrc(p + 16, qsizetype(end - 16)) != crc)
        return Error::damaged(where, QStringLiteral("checksum mismatch"));

    Dictionary dict;
    QByteArray out;
    out.reserve(rawSize);
    qsizetype pos = 16;
    const auto limit = qsizetype(end);
    while (pos < limit) {
        const quint8 control = p[pos++];
        for (int bit = 0; bit < 8 && pos < limit; ++bit) {
            if (!(control & (1u << bit))) {
                const char c = char(p[pos++]);
                if (out.size() < qsizetype(rawSize))
                    out.append(c);
                dict.put(c);
                continue;
            }
            if (pos + 1 >= limit)
                return Error::damaged(where, QStringLiteral("reference cut short"));
            const int ref = p[pos] << 8 | p[pos + 1];
            pos += 2;
            int at = ref >> 4;
            if (at == dict.write) {
                if (out.size() != qsizetype(rawSize))
                    return Error::damaged(where, QStringLiteral("gave %1 bytes, declares %2").arg(out.size()).arg(rawSize));
                return out;
            }
            for (int i = 0, len = (ref & 0x0F) + 2; i < len; ++i) {
                const char c = dict.bytes[size_t(at)];
                at = (at + 1) % kDictSize;
                if (out.size() < qsizetype(rawSize))
                    out.append(c);
                dict.put(c);
            }
        }
    }
    if (out.size() != qsizetype(rawSize))
        return Error::damaged(where, QStringLiteral("gave %1 bytes, declares %2").arg(out.size()).arg(rawSize));
    return out;
}

}  // namespace ostrel::pst
