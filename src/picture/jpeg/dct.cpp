#include "picture/jpeg/dct.h"

#include "picture/jpeg/tables.h"
#include "picture/jpeg/vector_clones.h"

#include <algorithm>

namespace picture::jpeg {

static std::array<std::uint8_t, 64> MakeZigzagTransposed()
{
    std::array<std::uint8_t, 64> t{};
    for (int i = 0; i < 64; ++i) {
        const int n = kZigzag[i];
        t[i] = static_cast<std::uint8_t>((n % 8) * 8 + n / 8);
    }
    return t;
}

const std::array<std::uint8_t, 64> kZigzagTransposed = MakeZigzagTransposed();

std::array<float, 64> ForwardDctMultipliers(const std::array<std::uint16_t, 64>& quant)
{
    std::array<float, 64> m{};
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u)
            m[u * 8 + v] = 1.0f / (static_cast<float>(quant[v * 8 + u]) * kAanScale[u] * kAanScale[v] * 8.0f);
    return m;
}

// libjpeg's islow constants: FIX(x) = x * 2^13 rounded.
constexpr std::uint32_t kFix0298631336 = 2446, kFix0390180644 = 3196, kFix0541196100 = 4433, kFix0765366865 = 6270,
                        kFix0899976223 = 7373, kFix1175875602 = 9633, kFix1501321110 = 12299, kFix1847759065 = 15137,
                        kFix1961570560 = 16069, kFix2053119869 = 16819, kFix2562915447 = 20995, kFix3072711026 = 25172;

inline std::uint32_t Descale(std::uint32_t x, int n)
{
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(x + (1u << (n - 1))) >> n);
}

// One inverse 1-D pass down all eight columns of d[r * 8 + c], r the
// frequency; unsigned arithmetic so that overflow wraps.
template <int Shift>
static inline void IslowPass(const std::uint32_t* d, std::uint32_t* o)
{
    for (int c = 0; c < 8; ++c) {
        std::uint32_t z2 = d[2 * 8 + c], z3 = d[6 * 8 + c];
        std::uint32_t z1 = (z2 + z3) * kFix0541196100;
        std::uint32_t tmp2 = z1 - z3 * kFix1847759065;
        std::uint32_t tmp3 = z1 + z2 * kFix0765366865;
        z2 = d[0 * 8 + c];
        z3 = d[4 * 8 + c];
        std::uint32_t tmp0 = (z2 + z3) << 13;
        std::uint32_t tmp1 = (z2 - z3) << 13;
        const std::uint32_t tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
        const std::uint32_t tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;

        tmp0 = d[7 * 8 + c];
        tmp1 = d[5 * 8 + c];
        tmp2 = d[3 * 8 + c];
        tmp3 = d[1 * 8 + c];
        z1 = tmp0 + tmp3;
        z2 = tmp1 + tmp2;
        z3 = tmp0 + tmp2;
        std::uint32_t z4 = tmp1 + tmp3;
        const std::uint32_t z5 = (z3 + z4) * kFix1175875602;
        tmp0 *= kFix0298631336;
        tmp1 *= kFix2053119869;
        tmp2 *= kFix3072711026;
        tmp3 *= kFix1501321110;
        z1 *= 0u - kFix0899976223;
        z2 *= 0u - kFix2562915447;
        z3 = z3 * (0u - kFix1961570560) + z5;
        z4 = z4 * (0u - kFix0390180644) + z5;
        tmp0 += z1 + z3;
        tmp1 += z2 + z4;
        tmp2 += z2 + z3;
        tmp3 += z1 + z4;

        o[0 * 8 + c] = Descale(tmp10 + tmp3, Shift);
        o[7 * 8 + c] = Descale(tmp10 - tmp3, Shift);
        o[1 * 8 + c] = Descale(tmp11 + tmp2, Shift);
        o[6 * 8 + c] = Descale(tmp11 - tmp2, Shift);
        o[2 * 8 + c] = Descale(tmp12 + tmp1, Shift);
        o[5 * 8 + c] = Descale(tmp12 - tmp1, Shift);
        o[3 * 8 + c] = Descale(tmp13 + tmp0, Shift);
        o[4 * 8 + c] = Descale(tmp13 - tmp0, Shift);
    }
}

static inline void ForwardPass(float* d)
{
    for (int c = 0; c < 8; ++c) {
        const float tmp0 = d[0 * 8 + c] + d[7 * 8 + c];
        const float tmp7 = d[0 * 8 + c] - d[7 * 8 + c];
        const float tmp1 = d[1 * 8 + c] + d[6 * 8 + c];
        const float tmp6 = d[1 * 8 + c] - d[6 * 8 + c];
        const float tmp2 = d[2 * 8 + c] + d[5 * 8 + c];
        const float tmp5 = d[2 * 8 + c] - d[5 * 8 + c];
        const float tmp3 = d[3 * 8 + c] + d[4 * 8 + c];
        const float tmp4 = d[3 * 8 + c] - d[4 * 8 + c];

        float tmp10 = tmp0 + tmp3;
        const float tmp13 = tmp0 - tmp3;
        float tmp11 = tmp1 + tmp2;
        float tmp12 = tmp1 - tmp2;
        d[0 * 8 + c] = tmp10 + tmp11;
        d[4 * 8 + c] = tmp10 - tmp11;
        const float z1 = (tmp12 + tmp13) * 0.707106781f;
        d[2 * 8 + c] = tmp13 + z1;
        d[6 * 8 + c] = tmp13 - z1;

        tmp10 = tmp4 + tmp5;
        tmp11 = tmp5 + tmp6;
        tmp12 = tmp6 + tmp7;
        const float z5 = (tmp10 - tmp12) * 0.382683433f;
        const float z2 = 0.541196100f * tmp10 + z5;
        const float z4 = 1.306562965f * tmp12 + z5;
        const float z3 = tmp11 * 0.707106781f;
        const float z11 = tmp7 + z3;
        const float z13 = tmp7 - z3;
        d[5 * 8 + c] = z13 + z2;
        d[3 * 8 + c] = z13 - z2;
        d[1 * 8 + c] = z11 + z4;
        d[7 * 8 + c] = z11 - z4;
    }
}

template <typename T>
static inline void Transpose(const T* in, T* out)
{
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
            out[c * 8 + r] = in[r * 8 + c];
}

JPEG_VECTOR_CLONES
void InverseDct(const std::int16_t* coefficients, const std::uint16_t* quant, std::uint8_t* out, std::ptrdiff_t stride)
{
    alignas(32) std::uint32_t a[64];
    alignas(32) std::uint32_t b[64];
    for (int i = 0; i < 64; ++i)
        a[i] = static_cast<std::uint32_t>(static_cast<std::int32_t>(coefficients[i])) * quant[i];
    IslowPass<11>(a, b);  // vertical, keeping two fraction bits
    Transpose(b, a);
    IslowPass<18>(a, b);  // horizontal: b[x * 8 + y]
    for (int i = 0; i < 64; ++i) {
        const std::int32_t v = static_cast<std::int32_t>(b[i]) + 128;
        a[i] = static_cast<std::uint32_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
    for (int y = 0; y < 8; ++y) {
        std::uint8_t* row = out + y * stride;
        for (int x = 0; x < 8; ++x)
            row[x] = static_cast<std::uint8_t>(a[x * 8 + y]);
    }
}

std::uint8_t InverseDctDcOnly(std::int16_t dc, std::uint16_t quant)
{
    const std::uint32_t v = (static_cast<std::uint32_t>(static_cast<std::int32_t>(dc)) * quant) << 2;
    const std::int32_t s = static_cast<std::int32_t>(Descale(v, 5)) + 128;
    return static_cast<std::uint8_t>(s < 0 ? 0 : (s > 255 ? 255 : s));
}

JPEG_VECTOR_CLONES
void ForwardDct(const std::uint8_t* samples, std::ptrdiff_t stride, const float* multipliers, std::int16_t* zigzagOut)
{
    alignas(32) float a[64];
    alignas(32) float b[64];
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            a[y * 8 + x] = static_cast<float>(samples[y * stride + x]) - 128.0f;
    ForwardPass(a);   // [y][x] -> [v][x]
    Transpose(a, b);  // -> [x][v]
    ForwardPass(b);   // -> [u][v]
    // Rounded to nearest and kept within the magnitude categories of 8-bit
    // baseline coding (DC 11 bits, AC 10 bits).
    alignas(32) int q[64];
    for (int i = 0; i < 64; ++i)
        q[i] = static_cast<int>(b[i] * multipliers[i] + 16384.5f) - 16384;
    zigzagOut[0] = static_cast<std::int16_t>(std::clamp(q[0], -2047, 2047));
    for (int i = 0; i < 64; ++i)
        q[i] = std::clamp(q[i], -1023, 1023);
    for (int i = 1; i < 64; ++i)
        zigzagOut[i] = static_cast<std::int16_t>(q[kZigzagTransposed[i]]);
}

}  // namespace picture::jpeg
