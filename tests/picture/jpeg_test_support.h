#pragma once
// Our codec driven from RgbPicture, for the codec tests.
#include <cstdint>
#include <vector>

#include "picture/bmp_format.h"
#include "picture/jpeg/jpeg_codec.h"
#include "picture_support.h"

namespace jpeg_test {

using picture_support::RgbPicture;

inline int RowBytes(int width) { return static_cast<int>(picture::DibStride(width, 24)); }

// BGR DIB rows padded to 4 bytes; bottomUp puts the last picture row first.
inline std::vector<std::uint8_t> ToDib(const RgbPicture& p, bool bottomUp)
{
    std::vector<std::uint8_t> dib(static_cast<std::size_t>(RowBytes(p.width)) * p.height, 0xCD);
    for (int y = 0; y < p.height; ++y) {
        std::uint8_t* row = &dib[static_cast<std::size_t>(RowBytes(p.width)) * (bottomUp ? p.height - 1 - y : y)];
        for (int x = 0; x < p.width; ++x) {
            row[3 * x] = p.At(x, y)[2];
            row[3 * x + 1] = p.At(x, y)[1];
            row[3 * x + 2] = p.At(x, y)[0];
        }
    }
    return dib;
}

inline int Encode(const RgbPicture& p, std::vector<std::uint8_t>& out, int quality = 90,
                  picture::jpeg::Subsampling sub = picture::jpeg::Subsampling::S420, bool grey = false,
                  bool bottomUp = true, bool optimal = false)
{
    std::vector<std::uint8_t> dib = ToDib(p, bottomUp);
    picture::jpeg::JpegProperties props;
    picture::jpeg::Init(props);
    props.dibBytes = dib.data();
    props.dibSize = dib.size();
    props.dibWidth = p.width;
    props.dibHeight = bottomUp ? -p.height : p.height;
    props.dibPadBytes = RowBytes(p.width) - 3 * p.width;
    props.jpegWidth = p.width;
    props.jpegHeight = p.height;
    props.jpegChannels = grey ? 1 : 3;
    props.jpegColour = grey ? picture::jpeg::Colour::Grey : picture::jpeg::Colour::YCbCr;
    props.jpegSubsampling = sub;
    props.quality = quality;
    props.optimalHuffman = optimal;
    if (out.empty())
        out.resize(static_cast<std::size_t>(p.width) * p.height * 6 + 2048);
    props.jpegBytes = out.data();
    props.jpegSize = out.size();
    const int r = picture::jpeg::WriteImageToBuffer(props);
    out.resize(r == picture::jpeg::Success ? props.jpegSize : 0);
    return r;
}

// Decodes into a DIB of the given row order and returns it as RgbPicture.
inline int Decode(const std::vector<std::uint8_t>& bytes, RgbPicture& p, bool topDown = true)
{
    picture::jpeg::JpegProperties props;
    picture::jpeg::Init(props);
    props.jpegBytes = const_cast<std::uint8_t*>(bytes.data());
    props.jpegSize = bytes.size();
    if (const int r = picture::jpeg::ReadParamsFromMemory(props); r != picture::jpeg::Success)
        return r;
    const int w = props.jpegWidth, h = props.jpegHeight;
    std::vector<std::uint8_t> dib(static_cast<std::size_t>(RowBytes(w)) * h);
    props.dibBytes = dib.data();
    props.dibSize = dib.size();
    props.dibWidth = w;
    props.dibHeight = topDown ? h : -h;
    props.dibPadBytes = RowBytes(w) - 3 * w;
    if (const int r = picture::jpeg::ReadImageFromMemory(props); r != picture::jpeg::Success)
        return r;
    p = RgbPicture{w, h, std::vector<std::uint8_t>(static_cast<std::size_t>(w) * h * 3)};
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = &dib[static_cast<std::size_t>(RowBytes(w)) * (topDown ? y : h - 1 - y)];
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                p.rgb[(static_cast<std::size_t>(y) * w + x) * 3 + c] = row[3 * x + 2 - c];
    }
    picture::jpeg::Release(props);
    return picture::jpeg::Success;
}

}  // namespace jpeg_test
