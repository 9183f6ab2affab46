#include "RtfCompressor.h"

#include "Bytes.h"
#include "Crc.h"

#include <array>

namespace ostrel::pstwriter {

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

QByteArray decompressRtf(const QByteArray &compressed)
{
    if (compressed.size() < 16)
        return {};
    const quint32 rawSize = get32(compressed, 4);
    const quint32 type = get32(compressed, 8);
    if (type == kUncompressed)
        return compressed.mid(16, rawSize);
    if (type != kCompressed)
        return {};
    Dictionary dict;
    QByteArray out;
    qsizetype pos = 16;
    while (pos < compressed.size()) {
        const quint8 control = quint8(compressed[pos++]);
        for (int bit = 0; bit < 8 && pos < compressed.size(); ++bit) {
            if (control & (1u << bit)) {
                if (pos + 1 >= compressed.size())
                    return {};
                const quint16 ref = quint16(quint8(compressed[pos]) << 8 | quint8(compressed[pos + 1]));
                pos += 2;
                int at = ref >> 4;
                const int len = (ref & 0x0F) + 2;
                if (at == dict.write)
                    return out.size() == qsizetype(rawSize) ? out : QByteArray();
                for (int i = 0; i < len; ++i) {
                    const char c = dict.bytes[size_t(at)];
                    at = (at + 1) % kDictSize;
                    out.append(c);
                    dict.put(c);
                }
            } else {
                const char c = compressed[pos++];
                out.append(c);
                dict.put(c);
            }
        }
    }
    return {};
}

}  // namespace ostrel::pstwriter
