#include "Crc.h"

#include <QtEndian>

#include <array>
#include <cstring>

namespace ostrel::pst {

namespace {

// Eight tables so that the checksum of a gigabyte archive costs little more
// than writing it (slicing by eight).
struct CrcTables {
    std::array<std::array<quint32, 256>, 8> t{};
    CrcTables()
    {
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[0][i] = c;
        }
        for (quint32 i = 0; i < 256; ++i)
            for (int k = 1; k < 8; ++k)
                t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
};

const CrcTables &tables()
{
    static const CrcTables instance;
    return instance;
}

}  // namespace

quint32 pstCrc(const void *data, qsizetype size, quint32 crc)
{
    const auto &t = tables().t;
    auto p = static_cast<const unsigned char *>(data);
    while (size >= 8) {
        quint32 lo;
        quint32 hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + 4, 4);
        lo = qFromLittleEndian(lo) ^ crc;
        hi = qFromLittleEndian(hi);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24]
              ^ t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        p += 8;
        size -= 8;
    }
    while (size-- > 0)
        crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

}  // namespace ostrel::pst
