#include "pst/CompressedRtf.h"

#include <QtEndian>
#include <array>

namespace ostrel {

namespace {
constexpr quint32 kLzfu = 0x75465A4C;
constexpr quint32 kMela = 0x414C454D;
constexpr qsizetype kHeader = 16;
constexpr int kWindow = 4096;
// No body is shown beyond this, whatever size a damaged header declares.
constexpr quint32 kLargestText = 64u << 20;

// The text the dictionary starts with; references may point into it.
constexpr char kInitialText[] =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern \\fscript "
    "\\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n\\par "
    "\\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
constexpr int kInitialLength = int(sizeof(kInitialText) - 1);
static_assert(kInitialLength == 207);
}  // namespace

std::optional<QByteArray> decompressRtf(QByteArrayView stored)
{
    if (stored.size() < kHeader)
        return std::nullopt;
    const auto word = [&stored](qsizetype at) { return qFromLittleEndian<quint32>(stored.data() + at); };
    const quint32 compressedSize = word(0);  // counts from the raw size on
    const quint32 rawSize = word(4);
    const quint32 kind = word(8);
    if (rawSize > kLargestText)
        return std::nullopt;
    QByteArrayView body = stored.sliced(kHeader);
    if (compressedSize >= 12 && compressedSize - 12 < quint64(body.size()))
        body = body.first(compressedSize - 12);
    if (kind == kMela)
        return body.first(std::min<qsizetype>(body.size(), rawSize)).toByteArray();
    if (kind != kLzfu)
        return std::nullopt;

    std::array<char, kWindow> window{};
    std::copy_n(kInitialText, kInitialLength, window.begin());
    int write = kInitialLength;
    QByteArray out;
    out.reserve(qsizetype(rawSize));
    const auto put = [&](char c) {
        out.append(c);
        window[size_t(write)] = c;
        write = (write + 1) % kWindow;
    };
    qsizetype at = 0;
    while (at < body.size()) {
        const auto control = quint8(body[at++]);
        for (int bit = 0; bit < 8 && at < body.size(); ++bit) {
            if (!(control & (1u << bit))) {
                put(body[at++]);
            } else {
                if (at + 1 >= body.size())
                    return std::nullopt;
                const quint16 reference = quint16(quint8(body[at]) << 8 | quint8(body[at + 1]));
                at += 2;
                int from = reference >> 4;
                if (from == write)  // the end marker
                    return out.size() == qsizetype(rawSize) ? std::optional(out) : std::nullopt;
                const int length = (reference & 0x0F) + 2;
                for (int k = 0; k < length; ++k) {
                    put(window[size_t(from)]);
                    from = (from + 1) % kWindow;
                }
            }
            if (out.size() > qsizetype(rawSize))
                return std::nullopt;
        }
    }
    return std::nullopt;  // no end marker
}

}  // namespace ostrel
