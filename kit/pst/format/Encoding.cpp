#include "Encoding.h"

#include <array>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

namespace ostrel::pst {

namespace {

// The substitution of permuted blocks; the cyclic cipher's first rotor.
constexpr std::array<quint8, 256> kPermute = {
     65,  54,  19,  98, 168,  33, 110, 187, 244,  22, 204,   4, 127, 100, 232,  93,
     30, 242, 203,  42, 116, 197,  94,  53, 210, 149,  71, 158, 150,  45, 154, 136,
     76, 125, 132,  63, 219, 172,  49, 182,  72,  95, 246, 196, 216,  57, 139, 231,
     35,  59,  56, 142, 200, 193, 223,  37, 177,  32, 165,  70,  96,  78, 156, 251,
    170, 211,  86,  81,  69, 124,  85,   0,   7, 201,  43, 157, 133, 155,   9, 160,
    143, 173, 179,  15,  99, 171, 137,  75, 215, 167,  21,  90, 113, 102,  66, 191,
     38,  74, 107, 152, 250, 234, 119,  83, 178, 112,   5,  44, 253,  89,  58, 134,
    126, 206,   6, 235, 130, 120,  87, 199, 141,  67, 175, 180,  28, 212,  91, 205,
    226, 233,  39,  79, 195,   8, 114, 128, 207, 176, 239, 245,  40, 109, 190,  48,
     77,  52, 146, 213,  14,  60,  34,  50, 229, 228, 249, 159, 194, 209,  10, 129,
     18, 225, 238, 145, 131, 118, 227, 151, 230,  97, 138,  23, 121, 164, 183, 220,
    144, 122,  92, 140,   2, 166, 202, 105, 222,  80,  26,  17, 147, 185,  82, 135,
     88, 252, 237,  29,  55,  73,  27, 106, 224,  41,  51, 153, 189, 108, 217, 148,
    243,  64,  84, 111, 240, 198, 115, 184, 214,  62, 101,  24,  68,  31, 221, 103,
     16, 241,  12,  25, 236, 174,   3, 161,  20, 123, 169,  11, 255, 248, 163, 192,
    162,   1, 247,  46, 188,  36, 104, 117,  13, 254, 186,  47, 181, 208, 218,  61,
};

// The cyclic cipher's middle rotor; it is its own inverse.
constexpr std::array<quint8, 256> kCyclicMiddle = {
     20,  83,  15,  86, 179, 200, 122, 156, 235, 101,  72,  23,  22,  21, 159,   2,
    204,  84, 124, 131,   0,  13,  12,  11, 162,  98, 168, 118, 219, 217, 237, 199,
    197, 164, 220, 172, 133, 116, 214, 208, 167, 155, 174, 154, 150, 113, 102, 195,
     99, 153, 184, 221, 115, 146, 142, 132, 125, 165,  94, 209,  93, 147, 177,  87,
     81,  80, 128, 137,  82, 148,  79,  78,  10, 107, 188, 141, 127, 110,  71,  70,
     65,  64,  68,   1,  17, 203,   3,  63, 247, 244, 225, 169, 143,  60,  58, 249,
    251, 240,  25,  48, 130,   9,  46, 201, 157, 160, 134,  73, 238, 111,  77, 109,
    196,  45, 129,  52,  37, 135,  27, 136, 170, 252,   6, 161,  18,  56, 253,  76,
     66, 114, 100,  19,  55,  36, 106, 117, 119,  67, 255, 230, 180,  75,  54,  92,
    228, 216,  53,  61,  69, 185,  44, 236, 183,  49,  43,  41,   7, 104, 163,  14,
    105, 123,  24, 158,  33,  57, 190,  40,  26,  91, 120, 245,  35, 202,  42, 176,
    175,  62, 254,   4, 140, 231, 229, 152,  50, 149, 211, 246,  74, 232, 166, 234,
    233, 243, 213,  47, 112,  32, 242,  31,   5, 103, 173,  85,  16, 206, 205, 227,
     39,  59, 218, 186, 215, 194,  38, 212, 145,  29, 210,  28,  34,  51, 248, 250,
    241,  90, 239, 207, 144, 182, 139, 181, 189, 192, 191,   8, 151,  30, 108, 226,
     97, 224, 198, 193,  89, 171, 187,  88, 222,  95, 223,  96, 121, 126, 178, 138,
};

// The inverse of kPermute: permuted blocks decode with it, and it is the
// cyclic cipher's last rotor.
struct Inverse {
    std::array<quint8, 256> t{};
    Inverse()
    {
        for (int i = 0; i < 256; ++i)
            t[kPermute[i]] = static_cast<quint8>(i);
    }
};

const Inverse &inverse()
{
    static const Inverse instance;
    return instance;
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define OSTREL_PERMUTE_VBMI 1
// Sixty-four bytes a round where the processor has byte permutes across a
// whole register (AVX-512 VBMI): the 256-byte table is four registers, two
// two-register lookups cover its halves and each byte's top bit picks one.
// Returns how many bytes it decoded, a multiple of 64.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) qsizetype permuteDecodeWide(quint8 *p, qsizetype size,
                                                                                  const quint8 *table)
{
    const __m512i t0 = _mm512_loadu_si512(table);
    const __m512i t1 = _mm512_loadu_si512(table + 64);
    const __m512i t2 = _mm512_loadu_si512(table + 128);
    const __m512i t3 = _mm512_loadu_si512(table + 192);
    qsizetype i = 0;
    for (; i + 64 <= size; i += 64) {
        const __m512i x = _mm512_loadu_si512(p + i);
        const __m512i low = _mm512_permutex2var_epi8(t0, x, t1);
        const __m512i high = _mm512_permutex2var_epi8(t2, x, t3);
        _mm512_storeu_si512(p + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(x), low, high));
    }
    return i;
}

bool hasWidePermute()
{
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")
                            && __builtin_cpu_supports("avx512vbmi");
    return has;
}
#endif

}  // namespace

void permuteEncode(char *data, qsizetype size)
{
    auto p = reinterpret_cast<quint8 *>(data);
    for (qsizetype i = 0; i < size; ++i)
        p[i] = kPermute[p[i]];
}

void permuteDecode(char *data, qsizetype size)
{
    // Eight bytes a round: every block read of a permuted archive passes
    // here, and the loop's own upkeep was most of its cost.
    const auto &inv = inverse().t;
    auto p = reinterpret_cast<quint8 *>(data);
    qsizetype i = 0;
#ifdef OSTREL_PERMUTE_VBMI
    if (size >= 64 && hasWidePermute())
        i = permuteDecodeWide(p, size, inv.data());
#endif
    for (; i + 8 <= size; i += 8) {
        p[i] = inv[p[i]];
        p[i + 1] = inv[p[i + 1]];
        p[i + 2] = inv[p[i + 2]];
        p[i + 3] = inv[p[i + 3]];
        p[i + 4] = inv[p[i + 4]];
        p[i + 5] = inv[p[i + 5]];
        p[i + 6] = inv[p[i + 6]];
        p[i + 7] = inv[p[i + 7]];
    }
    for (; i < size; ++i)
        p[i] = inv[p[i]];
}

void cyclicCode(char *data, qsizetype size, quint32 key)
{
    const auto &inv = inverse().t;
    auto p = reinterpret_cast<quint8 *>(data);
    auto w = quint16(key ^ (key >> 16));
    for (qsizetype i = 0; i < size; ++i, ++w) {
        const auto lo = quint8(w);
        const auto hi = quint8(w >> 8);
        quint8 b = kPermute[quint8(p[i] + lo)];
        b = kCyclicMiddle[quint8(b + hi)];
        b = inv[quint8(b - hi)];
        p[i] = quint8(b - lo);
    }
}

void decodeBlock(Encoding encoding, char *data, qsizetype size, quint64 bid)
{
    if (encoding == Encoding::Permute)
        permuteDecode(data, size);
    else if (encoding == Encoding::Cyclic)
        cyclicCode(data, size, quint32(bid));
}

void encodeBlock(Encoding encoding, char *data, qsizetype size, quint64 bid)
{
    if (encoding == Encoding::Permute)
        permuteEncode(data, size);
    else if (encoding == Encoding::Cyclic)
        cyclicCode(data, size, quint32(bid));
}

}  // namespace ostrel::pst
