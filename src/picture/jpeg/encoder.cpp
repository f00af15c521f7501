// Baseline encoder: BGR rows to YCbCr (JFIF), chroma downsampling, forward
// DCT and quantisation per MCU row, then Huffman coding with the standard
// tables or with tables built from the picture's own statistics.
#include "picture/jpeg/encoder.h"

#include <algorithm>
#include <vector>

#include "picture/jpeg/dct.h"
#include "picture/jpeg/entropy_encoder.h"
#include "picture/jpeg/tables.h"
#include "picture/jpeg/vector_clones.h"

namespace picture::jpeg {

namespace {

constexpr int Fix(double x) { return static_cast<int>(x * 65536 + 0.5); }

struct EncComponent {
    int id, h, v, table;  // table: 0 luminance, 1 chrominance
    int stride = 0;       // samples per row of its MCU-row buffer
    std::vector<std::uint8_t> rows;
};

void WriteHuffmanTable(JpegWriter& w, int tableClass, int index, const HuffmanSpec& def)
{
    w.Byte((tableClass << 4) | index);
    for (int l = 0; l < 16; ++l)
        w.Byte(def.counts[l]);
    for (int i = 0; i < def.symbolCount; ++i)
        w.Byte(def.symbols[i]);
}

void WriteHeaders(JpegWriter& w, int width, int height, const std::vector<EncComponent>& comps,
                  const std::array<std::array<std::uint16_t, 64>, 2>& quant, const std::array<HuffmanSpec, 4>& defs)
{
    const int tables = comps.size() > 1 ? 2 : 1;
    w.Marker(0xD8);
    // JFIF 1.01, no units, 1:1 pixel aspect, no thumbnail.
    w.Marker(0xE0);
    w.U16(16);
    for (const char c : {'J', 'F', 'I', 'F', '\0'})
        w.Byte(c);
    for (const int b : {1, 1, 0, 0, 1, 0, 1, 0, 0})
        w.Byte(b);
    w.Marker(0xDB);
    w.U16(2 + 65 * tables);
    for (int t = 0; t < tables; ++t) {
        w.Byte(t);
        for (int i = 0; i < 64; ++i)
            w.Byte(quant[t][kZigzag[i]]);
    }
    w.Marker(0xC0);
    w.U16(8 + 3 * static_cast<int>(comps.size()));
    w.Byte(8);
    w.U16(height);
    w.U16(width);
    w.Byte(static_cast<int>(comps.size()));
    for (const auto& c : comps) {
        w.Byte(c.id);
        w.Byte((c.h << 4) | c.v);
        w.Byte(c.table);
    }
    w.Marker(0xC4);
    int length = 2;
    for (int t = 0; t < 2 * tables; ++t)
        length += 17 + defs[t].symbolCount;
    w.U16(length);
    for (int t = 0; t < tables; ++t) {
        WriteHuffmanTable(w, 0, t, defs[2 * t]);
        WriteHuffmanTable(w, 1, t, defs[2 * t + 1]);
    }
    w.Marker(0xDA);
    w.U16(6 + 2 * static_cast<int>(comps.size()));
    w.Byte(static_cast<int>(comps.size()));
    for (const auto& c : comps) {
        w.Byte(c.id);
        w.Byte((c.table << 4) | c.table);
    }
    w.Byte(0);
    w.Byte(63);
    w.Byte(0);
}

JPEG_VECTOR_CLONES
void BgrToGreyRow(const std::uint8_t* __restrict in, std::uint8_t* __restrict lum, int width)
{
    for (int x = 0; x < width; ++x) {
        const int b = in[3 * x], g = in[3 * x + 1], r = in[3 * x + 2];
        lum[x] = static_cast<std::uint8_t>((Fix(0.29900) * r + Fix(0.58700) * g + Fix(0.11400) * b + 32768) >> 16);
    }
}

// JFIF YCbCr, rounded as libjpeg rounds it.
JPEG_VECTOR_CLONES
void BgrToYccRow(const std::uint8_t* __restrict in, std::uint8_t* __restrict lum, std::uint8_t* __restrict cb,
                 std::uint8_t* __restrict cr, int width)
{
    for (int x = 0; x < width; ++x) {
        const int b = in[3 * x], g = in[3 * x + 1], r = in[3 * x + 2];
        lum[x] = static_cast<std::uint8_t>((Fix(0.29900) * r + Fix(0.58700) * g + Fix(0.11400) * b + 32768) >> 16);
        cb[x] = static_cast<std::uint8_t>((-Fix(0.16874) * r - Fix(0.33126) * g + Fix(0.5) * b + (128 << 16) + 32767) >>
                                          16);
        cr[x] =
            static_cast<std::uint8_t>((Fix(0.5) * r - Fix(0.41869) * g - Fix(0.08131) * b + (128 << 16) + 32767) >> 16);
    }
}

// Box filters with alternating rounding bias, so that no direction drifts.
JPEG_VECTOR_CLONES
void DownsampleRow2x1(const std::uint8_t* __restrict in, std::uint8_t* __restrict out, int n)
{
    for (int x = 0; x < n; ++x)
        out[x] = static_cast<std::uint8_t>((in[2 * x] + in[2 * x + 1] + (x & 1)) >> 1);
}

JPEG_VECTOR_CLONES
void DownsampleRow2x2(const std::uint8_t* __restrict in0, const std::uint8_t* __restrict in1,
                      std::uint8_t* __restrict out, int n)
{
    for (int x = 0; x < n; ++x)
        out[x] =
            static_cast<std::uint8_t>((in0[2 * x] + in0[2 * x + 1] + in1[2 * x] + in1[2 * x + 1] + 1 + (x & 1)) >> 2);
}

// Converts the picture rows of one MCU row into the components' sample rows,
// repeating the last column and row to fill whole MCUs, and downsamples chroma.
class McuRowSource {
public:
    McuRowSource(const JpegProperties& p, std::vector<EncComponent>& comps, int hMax, int vMax, int mcusWide)
        : p_(p), comps_(comps), hMax_(hMax), vMax_(vMax)
    {
        width_ = p.jpegWidth;
        height_ = p.jpegHeight;
        stride_ = static_cast<std::size_t>(width_) * 3 + static_cast<std::size_t>(p.dibPadBytes);
        paddedWidth_ = mcusWide * 8 * hMax;
        rows_ = 8 * vMax;
        for (auto& c : comps) {
            c.stride = mcusWide * 8 * c.h;
            c.rows.resize(static_cast<std::size_t>(c.stride) * 8 * c.v);
        }
        if (comps.size() == 3) {
            fullCb_.resize(static_cast<std::size_t>(paddedWidth_) * rows_);
            fullCr_.resize(fullCb_.size());
        }
    }

    void Load(int mcuRow)
    {
        const bool colour = comps_.size() == 3;
        std::uint8_t* lumaRows = comps_[0].rows.data();
        for (int r = 0; r < rows_; ++r) {
            const int y = std::min(mcuRow * rows_ + r, height_ - 1);
            const std::uint8_t* in =
                p_.dibBytes + stride_ * static_cast<std::size_t>(p_.dibHeight > 0 ? y : height_ - 1 - y);
            std::uint8_t* lum = lumaRows + static_cast<std::size_t>(r) * paddedWidth_;
            if (!colour) {
                BgrToGreyRow(in, lum, width_);
                std::fill(lum + width_, lum + paddedWidth_, lum[width_ - 1]);
                continue;
            }
            std::uint8_t* cb = fullCb_.data() + static_cast<std::size_t>(r) * paddedWidth_;
            std::uint8_t* cr = fullCr_.data() + static_cast<std::size_t>(r) * paddedWidth_;
            BgrToYccRow(in, lum, cb, cr, width_);
            std::fill(lum + width_, lum + paddedWidth_, lum[width_ - 1]);
            std::fill(cb + width_, cb + paddedWidth_, cb[width_ - 1]);
            std::fill(cr + width_, cr + paddedWidth_, cr[width_ - 1]);
        }
        if (colour) {
            Downsample(fullCb_.data(), comps_[1]);
            Downsample(fullCr_.data(), comps_[2]);
        }
    }

private:
    void Downsample(const std::uint8_t* full, EncComponent& c) const
    {
        const int fh = hMax_ / c.h, fv = vMax_ / c.v;
        for (int r = 0; r < 8 * c.v; ++r) {
            std::uint8_t* out = c.rows.data() + static_cast<std::size_t>(r) * c.stride;
            const std::uint8_t* in0 = full + static_cast<std::size_t>(r * fv) * paddedWidth_;
            if (fh == 1 && fv == 1) {
                std::copy(in0, in0 + c.stride, out);
            } else if (fv == 1) {
                DownsampleRow2x1(in0, out, c.stride);
            } else {
                DownsampleRow2x2(in0, in0 + paddedWidth_, out, c.stride);
            }
        }
    }

    const JpegProperties& p_;
    std::vector<EncComponent>& comps_;
    int hMax_, vMax_;
    int width_ = 0, height_ = 0, paddedWidth_ = 0, rows_ = 0;
    std::size_t stride_ = 0;
    std::vector<std::uint8_t> fullCb_, fullCr_;
};

int Validate(const JpegProperties& p)
{
    if (p.dibChannels != 3 || p.dibColour != Colour::Bgr)
        return UnsupportedBytesPerPixel;
    const int rows = p.dibHeight < 0 ? -p.dibHeight : p.dibHeight;
    if (!p.dibBytes || !p.jpegBytes || p.dibWidth <= 0 || p.dibHeight == 0 || p.dibPadBytes < 0 ||
        p.dibWidth != p.jpegWidth || rows != p.jpegHeight || p.jpegWidth > 65535 || p.jpegHeight > 65535)
        return InvalidProperties;
    if (static_cast<std::int64_t>(p.jpegWidth) * p.jpegHeight > kMaxPixels)
        return MemoryError;
    const std::size_t needed = (static_cast<std::size_t>(p.dibWidth) * 3 + static_cast<std::size_t>(p.dibPadBytes)) *
                               static_cast<std::size_t>(rows);
    if (p.dibSize < needed)
        return InvalidProperties;
    if (!((p.jpegChannels == 3 && p.jpegColour == Colour::YCbCr) ||
          (p.jpegChannels == 1 && p.jpegColour == Colour::Grey)))
        return NotSupported;
    if (p.quality < 1 || p.quality > 100)
        return InvalidProperties;
    return Success;
}

}  // namespace

int EncodeImage(JpegProperties& p)
{
    if (const int r = Validate(p); r != Success)
        return r;

    std::vector<EncComponent> comps;
    if (p.jpegChannels == 1) {
        comps.push_back({1, 1, 1, 0, 0, {}});
    } else {
        const int lh = p.jpegSubsampling == Subsampling::S444 ? 1 : 2;
        const int lv = p.jpegSubsampling == Subsampling::S420 ? 2 : 1;
        comps.push_back({1, lh, lv, 0, 0, {}});
        comps.push_back({2, 1, 1, 1, 0, {}});
        comps.push_back({3, 1, 1, 1, 0, {}});
    }
    const int hMax = comps[0].h, vMax = comps[0].v;
    const int mcusWide = (p.jpegWidth + 8 * hMax - 1) / (8 * hMax);
    const int mcusHigh = (p.jpegHeight + 8 * vMax - 1) / (8 * vMax);
    int blocksPerMcu = 0;
    for (const auto& c : comps)
        blocksPerMcu += c.h * c.v;

    const std::array<std::array<std::uint16_t, 64>, 2> quant = {ScaledQuant(kStdLuminanceQuant, p.quality),
                                                                ScaledQuant(kStdChrominanceQuant, p.quality)};
    const std::array<std::array<float, 64>, 2> multipliers = {ForwardDctMultipliers(quant[0]),
                                                              ForwardDctMultipliers(quant[1])};

    // Quantised blocks in coding order: one MCU row at a time, or the whole
    // picture when the Huffman tables come from its statistics.
    const std::size_t rowBlocks = static_cast<std::size_t>(mcusWide) * blocksPerMcu;
    std::vector<std::int16_t> coefficients(rowBlocks * 64 * (p.optimalHuffman ? mcusHigh : 1));
    McuRowSource source(p, comps, hMax, vMax, mcusWide);

    auto transformRow = [&](int mcuRow, std::int16_t* out) {
        source.Load(mcuRow);
        for (int mx = 0; mx < mcusWide; ++mx)
            for (const auto& c : comps)
                for (int by = 0; by < c.v; ++by)
                    for (int bx = 0; bx < c.h; ++bx) {
                        const std::uint8_t* samples =
                            c.rows.data() + static_cast<std::size_t>(by) * 8 * c.stride + (mx * c.h + bx) * 8;
                        ForwardDct(samples, c.stride, multipliers[c.table].data(), out);
                        out += 64;
                    }
    };

    std::array<HuffmanSpec, 4> defs = {StdDcLuminance(), StdAcLuminance(), StdDcChrominance(), StdAcChrominance()};
    if (p.optimalHuffman) {
        std::array<SymbolCounts, 2> counts{};
        std::array<int, 3> predictors{};
        const std::int16_t* block = coefficients.data();
        for (int my = 0; my < mcusHigh; ++my) {
            transformRow(my, coefficients.data() + rowBlocks * 64 * static_cast<std::size_t>(my));
            for (int mx = 0; mx < mcusWide; ++mx)
                for (std::size_t ci = 0; ci < comps.size(); ++ci)
                    for (int b = 0; b < comps[ci].h * comps[ci].v; ++b, block += 64)
                        CountBlock(block, predictors[ci], counts[comps[ci].table]);
        }
        for (std::size_t t = 0; t < (comps.size() > 1 ? 2u : 1u); ++t) {
            defs[2 * t] = OptimalSpec(counts[t].dc);
            defs[2 * t + 1] = OptimalSpec(counts[t].ac);
        }
    }
    std::array<HuffmanEncodeTable, 4> tables;
    for (int t = 0; t < 4; ++t)
        if (!BuildEncodeTable(defs[t], tables[t]))
            return InternalError;

    JpegWriter w(p.jpegBytes, p.jpegSize);
    WriteHeaders(w, p.jpegWidth, p.jpegHeight, comps, quant, defs);
    std::array<int, 3> predictors{};
    for (int my = 0; my < mcusHigh && !w.Overflow(); ++my) {
        const std::int16_t* block = coefficients.data();
        if (p.optimalHuffman)
            block += rowBlocks * 64 * static_cast<std::size_t>(my);
        else
            transformRow(my, coefficients.data());
        for (int mx = 0; mx < mcusWide; ++mx)
            for (std::size_t ci = 0; ci < comps.size(); ++ci) {
                const int t = comps[ci].table;
                for (int b = 0; b < comps[ci].h * comps[ci].v; ++b, block += 64)
                    EncodeBlock(block, predictors[ci], tables[2 * t], tables[2 * t + 1], w);
            }
    }
    w.FlushBits();
    w.Marker(0xD9);
    if (w.Overflow())
        return OutputBufferTooSmall;
    p.jpegSize = w.Size();
    return Success;
}

}  // namespace picture::jpeg
