#include "Crc.h"

namespace ostrel::pstwriter {

quint32 zipCrc(const void *data, qsizetype size)
{
    return ~pstCrc(data, size, 0xFFFFFFFFu);
}

}  // namespace ostrel::pstwriter
