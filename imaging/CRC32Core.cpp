// Checksums on plain buffers. The CRC uses carry-less multiply folding when
// the CPU offers it (checked once), slicing by eight otherwise; Adler-32 sums
// whole blocks before reducing, with SSSE3 where available.
#include "imaging/CRC32Core.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KSS_X86 1
#endif

namespace imaging {

const std::uint32_t CRC32Table[256] = {
    0x00000000, 0x77073096, 0xEE0E612C, 0x990951BA, 0x076DC419, 0x706AF48F,
    0xE963A535, 0x9E6495A3, 0x0EDB8832, 0x79DCB8A4, 0xE0D5E91E, 0x97D2D988,
    0x09B64C2B, 0x7EB17CBD, 0xE7B82D07, 0x90BF1D91, 0x1DB71064, 0x6AB020F2,
    0xF3B97148, 0x84BE41DE, 0x1ADAD47D, 0x6DDDE4EB, 0xF4D4B551, 0x83D385C7,
    0x136C9856, 0x646BA8C0, 0xFD62F97A, 0x8A65C9EC, 0x14015C4F, 0x63066CD9,
    0xFA0F3D63, 0x8D080DF5, 0x3B6E20C8, 0x4C69105E, 0xD56041E4, 0xA2677172,
    0x3C03E4D1, 0x4B04D447, 0xD20D85FD, 0xA50AB56B, 0x35B5A8FA, 0x42B2986C,
    0xDBBBC9D6, 0xACBCF940, 0x32D86CE3, 0x45DF5C75, 0xDCD60DCF, 0xABD13D59,
    0x26D930AC, 0x51DE003A, 0xC8D75180, 0xBFD06116, 0x21B4F4B5, 0x56B3C423,
    0xCFBA9599, 0xB8BDA50F, 0x2802B89E, 0x5F058808, 0xC60CD9B2, 0xB10BE924,
    0x2F6F7C87, 0x58684C11, 0xC1611DAB, 0xB6662D3D, 0x76DC4190, 0x01DB7106,
    0x98D220BC, 0xEFD5102A, 0x71B18589, 0x06B6B51F, 0x9FBFE4A5, 0xE8B8D433,
    0x7807C9A2, 0x0F00F934, 0x9609A88E, 0xE10E9818, 0x7F6A0DBB, 0x086D3D2D,
    0x91646C97, 0xE6635C01, 0x6B6B51F4, 0x1C6C6162, 0x856530D8, 0xF262004E,
    0x6C0695ED, 0x1B01A57B, 0x8208F4C1, 0xF50FC457, 0x65B0D9C6, 0x12B7E950,
    0x8BBEB8EA, 0xFCB9887C, 0x62DD1DDF, 0x15DA2D49, 0x8CD37CF3, 0xFBD44C65,
    0x4DB26158, 0x3AB551CE, 0xA3BC0074, 0xD4BB30E2, 0x4ADFA541, 0x3DD895D7,
    0xA4D1C46D, 0xD3D6F4FB, 0x4369E96A, 0x346ED9FC, 0xAD678846, 0xDA60B8D0,
    0x44042D73, 0x33031DE5, 0xAA0A4C5F, 0xDD0D7CC9, 0x5005713C, 0x270241AA,
    0xBE0B1010, 0xC90C2086, 0x5768B525, 0x206F85B3, 0xB966D409, 0xCE61E49F,
    0x5EDEF90E, 0x29D9C998, 0xB0D09822, 0xC7D7A8B4, 0x59B33D17, 0x2EB40D81,
    0xB7BD5C3B, 0xC0BA6CAD, 0xEDB88320, 0x9ABFB3B6, 0x03B6E20C, 0x74B1D29A,
    0xEAD54739, 0x9DD277AF, 0x04DB2615, 0x73DC1683, 0xE3630B12, 0x94643B84,
    0x0D6D6A3E, 0x7A6A5AA8, 0xE40ECF0B, 0x9309FF9D, 0x0A00AE27, 0x7D079EB1,
    0xF00F9344, 0x8708A3D2, 0x1E01F268, 0x6906C2FE, 0xF762575D, 0x806567CB,
    0x196C3671, 0x6E6B06E7, 0xFED41B76, 0x89D32BE0, 0x10DA7A5A, 0x67DD4ACC,
    0xF9B9DF6F, 0x8EBEEFF9, 0x17B7BE43, 0x60B08ED5, 0xD6D6A3E8, 0xA1D1937E,
    0x38D8C2C4, 0x4FDFF252, 0xD1BB67F1, 0xA6BC5767, 0x3FB506DD, 0x48B2364B,
    0xD80D2BDA, 0xAF0A1B4C, 0x36034AF6, 0x41047A60, 0xDF60EFC3, 0xA867DF55,
    0x316E8EEF, 0x4669BE79, 0xCB61B38C, 0xBC66831A, 0x256FD2A0, 0x5268E236,
    0xCC0C7795, 0xBB0B4703, 0x220216B9, 0x5505262F, 0xC5BA3BBE, 0xB2BD0B28,
    0x2BB45A92, 0x5CB36A04, 0xC2D7FFA7, 0xB5D0CF31, 0x2CD99E8B, 0x5BDEAE1D,
    0x9B64C2B0, 0xEC63F226, 0x756AA39C, 0x026D930A, 0x9C0906A9, 0xEB0E363F,
    0x72076785, 0x05005713, 0x95BF4A82, 0xE2B87A14, 0x7BB12BAE, 0x0CB61B38,
    0x92D28E9B, 0xE5D5BE0D, 0x7CDCEFB7, 0x0BDBDF21, 0x86D3D2D4, 0xF1D4E242,
    0x68DDB3F8, 0x1FDA836E, 0x81BE16CD, 0xF6B9265B, 0x6FB077E1, 0x18B74777,
    0x88085AE6, 0xFF0F6A70, 0x66063BCA, 0x11010B5C, 0x8F659EFF, 0xF862AE69,
    0x616BFFD3, 0x166CCF45, 0xA00AE278, 0xD70DD2EE, 0x4E048354, 0x3903B3C2,
    0xA7672661, 0xD06016F7, 0x4969474D, 0x3E6E77DB, 0xAED16A4A, 0xD9D65ADC,
    0x40DF0B66, 0x37D83BF0, 0xA9BCAE53, 0xDEBB9EC5, 0x47B2CF7F, 0x30B5FFE9,
    0xBDBDF21C, 0xCABAC28A, 0x53B39330, 0x24B4A3A6, 0xBAD03605, 0xCDD70693,
    0x54DE5729, 0x23D967BF, 0xB3667A2E, 0xC4614AB8, 0x5D681B02, 0x2A6F2B94,
    0xB40BBE37, 0xC30C8EA1, 0x5A05DF1B, 0x2D02EF8D,
};

namespace {

// Tables for slicing by eight: entry [k][n] is the CRC of byte n followed by k
// zero bytes.
constexpr std::array<std::array<std::uint32_t, 256>, 8> MakeSliceTables()
{
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int i = 0; i < 8; ++i)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][n] = c;
    }
    for (std::uint32_t n = 0; n < 256; ++n)
        for (int k = 1; k < 8; ++k)
            t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    return t;
}
constexpr auto Slice = MakeSliceTables();

std::uint32_t CRC32Slice8(std::uint32_t crc, const std::uint8_t *p, std::size_t n) noexcept
{
    while (n >= 8) {
        std::uint32_t lo, hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + 4, 4);
        lo ^= crc;
        crc = Slice[7][lo & 0xFF] ^ Slice[6][(lo >> 8) & 0xFF] ^ Slice[5][(lo >> 16) & 0xFF] ^
              Slice[4][lo >> 24] ^ Slice[3][hi & 0xFF] ^ Slice[2][(hi >> 8) & 0xFF] ^
              Slice[1][(hi >> 16) & 0xFF] ^ Slice[0][hi >> 24];
        p += 8;
        n -= 8;
    }
    while (n--)
        crc = CRC32Table[(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

#ifdef KSS_X86
__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold128(__m128i acc, __m128i next, __m128i k) noexcept
{
    const __m128i lo = _mm_clmulepi64_si128(acc, k, 0x00);
    const __m128i hi = _mm_clmulepi64_si128(acc, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(hi, next), lo);
}

// Folds 64 bytes at a time with carry-less products by x^(512±64) mod P, then
// 16 bytes at a time, then reduces the 128-bit remainder to 32 bits (Barrett).
// Needs n >= 64 and n a multiple of 16.
__attribute__((target("pclmul,sse4.1"))) std::uint32_t CRC32Clmul(std::uint32_t crc, const std::uint8_t *p,
                                                                   std::size_t n) noexcept
{
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596LL, 0x0154442bd4LL);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009eLL, 0x01751997d0LL);
    const __m128i k5k0 = _mm_set_epi64x(0, 0x0163cd6124LL);
    const __m128i poly = _mm_set_epi64x(0x01f7011641LL, 0x01db710641LL);

    __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16));
    __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 32));
    __m128i x4 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 48));
    x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(crc)));
    p += 64;
    n -= 64;
    while (n >= 64) {
        __m128i x5 = _mm_clmulepi64_si128(x1, k1k2, 0x00);
        __m128i x6 = _mm_clmulepi64_si128(x2, k1k2, 0x00);
        __m128i x7 = _mm_clmulepi64_si128(x3, k1k2, 0x00);
        __m128i x8 = _mm_clmulepi64_si128(x4, k1k2, 0x00);
        x1 = _mm_clmulepi64_si128(x1, k1k2, 0x11);
        x2 = _mm_clmulepi64_si128(x2, k1k2, 0x11);
        x3 = _mm_clmulepi64_si128(x3, k1k2, 0x11);
        x4 = _mm_clmulepi64_si128(x4, k1k2, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, x5), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
        x2 = _mm_xor_si128(_mm_xor_si128(x2, x6), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16)));
        x3 = _mm_xor_si128(_mm_xor_si128(x3, x7), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 32)));
        x4 = _mm_xor_si128(_mm_xor_si128(x4, x8), _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 48)));
        p += 64;
        n -= 64;
    }
    x1 = Fold128(x1, x2, k3k4);
    x1 = Fold128(x1, x3, k3k4);
    x1 = Fold128(x1, x4, k3k4);
    while (n >= 16) {
        x1 = Fold128(x1, _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), k3k4);
        p += 16;
        n -= 16;
    }
    // 128 -> 64 bits
    const __m128i mask32 = _mm_setr_epi32(-1, 0, -1, 0);
    __m128i t = _mm_clmulepi64_si128(x1, k3k4, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), t);
    t = _mm_srli_si128(x1, 4);
    x1 = _mm_and_si128(x1, mask32);
    x1 = _mm_clmulepi64_si128(x1, k5k0, 0x00);
    x1 = _mm_xor_si128(x1, t);
    // Barrett reduction to 32 bits
    t = _mm_and_si128(x1, mask32);
    t = _mm_clmulepi64_si128(t, poly, 0x10);
    t = _mm_and_si128(t, mask32);
    t = _mm_clmulepi64_si128(t, poly, 0x00);
    x1 = _mm_xor_si128(x1, t);
    return static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
}

bool HaveClmul() noexcept
{
    static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return have;
}

// Adler-32 of 32-byte steps: b gains 32·a per step plus the position-weighted
// byte sums; sums stay in 32-bit lanes for up to AdlerBlock bytes.
__attribute__((target("ssse3"))) void Adler32Ssse3(std::uint32_t &a, std::uint32_t &b, const std::uint8_t *p,
                                                   std::size_t n) noexcept
{
    constexpr std::size_t AdlerBlock = 5504; // 172 steps of 32 bytes
    const __m128i w1 = _mm_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17);
    const __m128i w2 = _mm_setr_epi8(16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i zero = _mm_setzero_si128();
    while (n >= 32) {
        std::size_t block = n < AdlerBlock ? n & ~std::size_t(31) : AdlerBlock;
        n -= block;
        __m128i vs1 = zero, vs2 = zero, vps = zero;
        for (std::size_t i = 0; i < block; i += 32) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
            const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i + 16));
            vps = _mm_add_epi32(vps, vs1);
            vs1 = _mm_add_epi32(vs1, _mm_add_epi32(_mm_sad_epu8(x, zero), _mm_sad_epu8(y, zero)));
            vs2 = _mm_add_epi32(vs2, _mm_madd_epi16(_mm_maddubs_epi16(x, w1), ones));
            vs2 = _mm_add_epi32(vs2, _mm_madd_epi16(_mm_maddubs_epi16(y, w2), ones));
        }
        p += block;
        alignas(16) std::uint32_t s1[4], s2[4], ps[4];
        _mm_store_si128(reinterpret_cast<__m128i *>(s1), vs1);
        _mm_store_si128(reinterpret_cast<__m128i *>(s2), vs2);
        _mm_store_si128(reinterpret_cast<__m128i *>(ps), vps);
        const std::uint64_t sum1 = std::uint64_t(s1[0]) + s1[2]; // sad fills lanes 0 and 2
        const std::uint64_t sum2 = std::uint64_t(s2[0]) + s2[1] + s2[2] + s2[3];
        const std::uint64_t psum = std::uint64_t(ps[0]) + ps[2];
        const std::uint64_t nb = std::uint64_t(b) + std::uint64_t(a) * block + 32 * psum + sum2;
        a = static_cast<std::uint32_t>((a + sum1) % 65521);
        b = static_cast<std::uint32_t>(nb % 65521);
    }
    Adler32UpdateBytewise(a, b, p, n);
}

bool HaveSsse3() noexcept
{
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}
#endif

} // namespace

std::uint32_t CRC32UpdateBytewise(std::uint32_t reg, const void *data, std::size_t count) noexcept
{
    const auto *p = static_cast<const std::uint8_t *>(data);
    while (count--)
        reg = CRC32Table[(reg ^ *p++) & 0xFF] ^ (reg >> 8);
    return reg;
}

std::uint32_t CRC32Update(std::uint32_t reg, const void *data, std::size_t count) noexcept
{
    const auto *p = static_cast<const std::uint8_t *>(data);
#ifdef KSS_X86
    if (count >= 128 && HaveClmul()) {
        const std::size_t bulk = count & ~std::size_t(15);
        reg = CRC32Clmul(reg, p, bulk);
        p += bulk;
        count -= bulk;
    }
#endif
    return CRC32Slice8(reg, p, count);
}

void Adler32UpdateBytewise(std::uint32_t &a, std::uint32_t &b, const void *data, std::size_t count) noexcept
{
    const auto *p = static_cast<const std::uint8_t *>(data);
    std::uint32_t sa = a, sb = b;
    while (count--) {
        sa += *p++;
        if (sa >= 65521)
            sa -= 65521;
        sb += sa;
        if (sb >= 65521)
            sb -= 65521;
    }
    a = sa;
    b = sb;
}

void Adler32Update(std::uint32_t &a, std::uint32_t &b, const void *data, std::size_t count) noexcept
{
    const auto *p = static_cast<const std::uint8_t *>(data);
#ifdef KSS_X86
    if (count >= 64 && HaveSsse3()) {
        Adler32Ssse3(a, b, p, count);
        return;
    }
#endif
    // Delayed reduction: 5552 bytes is the most that keeps b within 32 bits.
    std::uint32_t sa = a, sb = b;
    while (count > 0) {
        std::size_t block = count < 5552 ? count : 5552;
        count -= block;
        while (block--) {
            sa += *p++;
            sb += sa;
        }
        sa %= 65521;
        sb %= 65521;
    }
    a = sa;
    b = sb;
}

} // namespace imaging
