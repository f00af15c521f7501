// From component planes to blue-green-red rows: chroma upsampling with the
// usual triangle filter and the JFIF YCbCr conversion, rounded as libjpeg
// rounds them, so that results agree with other decoders to a unit or two.
#include <algorithm>
#include <cstring>
#include <vector>

#include "picture/jpeg/decoder_state.h"
#include "picture/jpeg/vector_clones.h"

namespace picture::jpeg {

namespace {

constexpr int kScaleBits = 16;
constexpr int kHalf = 1 << (kScaleBits - 1);
constexpr int Fix(double x) { return static_cast<int>(x * (1 << kScaleBits) + 0.5); }

// JFIF YCbCr to blue-green-red, the arithmetic of libjpeg's tables.
JPEG_VECTOR_CLONES
void ConvertRow(const std::uint8_t* __restrict luma, const std::uint8_t* __restrict cb,
                const std::uint8_t* __restrict cr, std::uint8_t* __restrict out, int width)
{
    for (int x = 0; x < width; ++x) {
        const int l = luma[x];
        const int b = cb[x] - 128;
        const int r = cr[x] - 128;
        const int blue = l + ((Fix(1.77200) * b + kHalf) >> kScaleBits);
        const int green = l + ((-Fix(0.34414) * b - Fix(0.71414) * r + kHalf) >> kScaleBits);
        const int red = l + ((Fix(1.40200) * r + kHalf) >> kScaleBits);
        out[3 * x] = static_cast<std::uint8_t>(std::clamp(blue, 0, 255));
        out[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(green, 0, 255));
        out[3 * x + 2] = static_cast<std::uint8_t>(std::clamp(red, 0, 255));
    }
}

// Triangle-filter doubling of a row, horizontally (libjpeg's h2v1 "fancy").
JPEG_VECTOR_CLONES
void UpsampleRow2x1(const std::uint8_t* __restrict in, std::uint8_t* __restrict out, int n)
{
    out[0] = in[0];
    out[1] = static_cast<std::uint8_t>((in[0] * 3 + in[1] + 2) >> 2);
    for (int i = 1; i < n - 1; ++i) {
        const int v = in[i] * 3;
        out[2 * i] = static_cast<std::uint8_t>((v + in[i - 1] + 1) >> 2);
        out[2 * i + 1] = static_cast<std::uint8_t>((v + in[i + 1] + 2) >> 2);
    }
    out[2 * n - 2] = static_cast<std::uint8_t>((in[n - 1] * 3 + in[n - 2] + 1) >> 2);
    out[2 * n - 1] = in[n - 1];
}

// The same both ways (h2v2): `near` is the nearer neighbouring input row.
JPEG_VECTOR_CLONES
void UpsampleRow2x2(const std::uint8_t* __restrict in, const std::uint8_t* __restrict near,
                    std::uint8_t* __restrict out, int n)
{
    auto sum = [&](int i) { return in[i] * 3 + near[i]; };
    out[0] = static_cast<std::uint8_t>((sum(0) * 4 + 8) >> 4);
    out[1] = static_cast<std::uint8_t>((sum(0) * 3 + sum(1) + 7) >> 4);
    for (int i = 1; i < n - 1; ++i) {
        const int here = sum(i) * 3;
        out[2 * i] = static_cast<std::uint8_t>((here + sum(i - 1) + 8) >> 4);
        out[2 * i + 1] = static_cast<std::uint8_t>((here + sum(i + 1) + 7) >> 4);
    }
    out[2 * n - 2] = static_cast<std::uint8_t>((sum(n - 1) * 3 + sum(n - 2) + 8) >> 4);
    out[2 * n - 1] = static_cast<std::uint8_t>((sum(n - 1) * 4 + 7) >> 4);
}

// One component's samples for output row y, at full picture width, in `row`
// (or straight from the plane when no upsampling is needed).
class RowUpsampler {
public:
    RowUpsampler(const FrameComponent& c, int hMax, int vMax) : c_(c), hFactor_(hMax / c.h), vFactor_(vMax / c.v)
    {
        if (hFactor_ != 1 || vFactor_ != 1) {
            row_.resize(static_cast<std::size_t>(c.width) * hFactor_ + 8);
        }
        // Narrow components are replicated, as libjpeg does.
        fancy_ = (hFactor_ == 2 && vFactor_ <= 2 && c.width > 2) || (hFactor_ == 1 && vFactor_ == 2);
    }

    const std::uint8_t* Row(int y)
    {
        const int r = y / vFactor_;
        const std::uint8_t* in = PlaneRow(r);
        if (hFactor_ == 1 && vFactor_ == 1)
            return in;
        if (!fancy_)
            return Replicate(in);
        const int n = c_.width;
        std::uint8_t* out = row_.data();
        if (vFactor_ == 1) {  // 2 x 1
            UpsampleRow2x1(in, out, n);
            return out;
        }
        // Vertical neighbour: the row above for the upper output row of a
        // pair, the row below for the lower one; edges repeat.
        const bool upper = (y % 2) == 0;
        const std::uint8_t* near = PlaneRow(upper ? std::max(r - 1, 0) : std::min(r + 1, c_.height - 1));
        if (hFactor_ == 1) {  // 1 x 2
            const int bias = upper ? 1 : 2;
            for (int i = 0; i < n; ++i)
                out[i] = static_cast<std::uint8_t>((in[i] * 3 + near[i] + bias) >> 2);
            return out;
        }
        UpsampleRow2x2(in, near, out, n);  // 2 x 2
        return out;
    }

private:
    const std::uint8_t* PlaneRow(int r) const { return c_.plane.data() + static_cast<std::size_t>(r) * c_.planeStride; }

    const std::uint8_t* Replicate(const std::uint8_t* in)
    {
        std::uint8_t* out = row_.data();
        for (int i = 0; i < c_.width; ++i)
            std::memset(out + i * hFactor_, in[i], static_cast<std::size_t>(hFactor_));
        return out;
    }

    const FrameComponent& c_;
    int hFactor_, vFactor_;
    bool fancy_ = false;
    std::vector<std::uint8_t> row_;
};

}  // namespace

int WriteDib(const DecoderState& s, JpegProperties& props)
{
    const int w = s.width;
    const int h = s.height;
    const std::size_t stride = static_cast<std::size_t>(w) * 3 + static_cast<std::size_t>(props.dibPadBytes);
    const bool topDown = props.dibHeight > 0;
    auto outRow = [&](int y) { return props.dibBytes + stride * static_cast<std::size_t>(topDown ? y : h - 1 - y); };

    if (s.componentCount == 1) {
        RowUpsampler grey(s.components[0], s.hMax, s.vMax);
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* in = grey.Row(y);
            std::uint8_t* out = outRow(y);
            for (int x = 0; x < w; ++x)
                out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = in[x];
        }
        return Success;
    }
    if (s.componentCount != 3)
        return NotSupported;

    RowUpsampler luma(s.components[0], s.hMax, s.vMax);
    RowUpsampler blue(s.components[1], s.hMax, s.vMax);
    RowUpsampler red(s.components[2], s.hMax, s.vMax);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* yy = luma.Row(y);
        const std::uint8_t* cb = blue.Row(y);
        const std::uint8_t* cr = red.Row(y);
        ConvertRow(yy, cb, cr, outRow(y), w);
    }
    return Success;
}

}  // namespace picture::jpeg
