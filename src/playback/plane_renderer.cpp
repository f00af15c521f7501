#include "playback/plane_renderer.h"

extern "C" {
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>

#include "platform/av_handles.h"
#include "platform/decode_api.h"

namespace playback {

namespace {

constexpr int32_t kMaxSide = 8192;
constexpr int32_t kAlign = 64;
constexpr std::size_t kPadding = 64;

int32_t Align(int32_t n) { return (n + kAlign - 1) / kAlign * kAlign; }

// Planar 4:2:0 in one av_malloc'd block, rows aligned and padded.
struct Planes {
    std::unique_ptr<uint8_t, decltype(&av_free)> memory{nullptr, &av_free};
    std::size_t capacity = 0;
    uint8_t* data[4] = {};
    int stride[4] = {};

    bool Layout(int32_t width, int32_t height)
    {
        const int32_t lumaStride = Align(width);
        const int32_t chromaStride = Align(platform::ChromaSide(width));
        const std::size_t lumaBytes = std::size_t(lumaStride) * height + kPadding;
        const std::size_t chromaBytes = std::size_t(chromaStride) * platform::ChromaSide(height) + kPadding;
        const std::size_t needed = lumaBytes + 2 * chromaBytes;
        if (needed > capacity) {
            memory.reset(static_cast<uint8_t*>(av_malloc(needed)));
            capacity = memory ? needed : 0;
            if (!memory)
                return false;
        }
        stride[0] = lumaStride;
        stride[1] = stride[2] = chromaStride;
        data[0] = memory.get();
        data[1] = data[0] + lumaBytes;
        data[2] = data[1] + chromaBytes;
        return true;
    }
};

void CopyRows(uint8_t* to, int toStride, const uint8_t* from, int fromStride, int width, int rows)
{
    for (int r = 0; r < rows; ++r)
        std::memcpy(to + std::ptrdiff_t(r) * toStride, from + std::ptrdiff_t(r) * fromStride, std::size_t(width));
}

// libswscale writes its output rows in whole vectors, rounding a row's end
// up to the next 32 bytes or less, and works fastest on 16-byte aligned rows.
// It writes straight into the frame only where it can reach nothing outside
// the cell.
bool WritesInPlace(uint8_t* const dst[4], const int dstStride[4], int32_t lumaWidth, int32_t chromaWidth)
{
    for (int p = 0; p < 3; ++p)
        if (reinterpret_cast<uintptr_t>(dst[p]) % 16 != 0 || dstStride[p] % 16 != 0)
            return false;
    return lumaWidth % 32 == 0 && chromaWidth % 32 == 0;
}

}  // namespace

struct PlaneRenderer::Work {
    int32_t packedWidth = 0, packedHeight = 0;
    platform::av::SwsContextPtr unpack;
    Planes unpacked;
    int32_t srcWidth = 0, srcHeight = 0, dstWidth = 0, dstHeight = 0;
    platform::av::SwsContextPtr scale;  // none when the sizes agree
    Planes scaled;
};

PlaneRenderer::PlaneRenderer() = default;
PlaneRenderer::~PlaneRenderer() = default;

CellRect FrameCell(const platform::YuvPlanes& frame, CellRect cell)
{
    CellRect c;
    c.left = std::clamp(cell.left, 0, frame.width) & ~1;
    c.top = std::clamp(cell.top, 0, frame.height) & ~1;
    c.right = std::clamp(cell.right, c.left, frame.width);
    c.bottom = std::clamp(cell.bottom, c.top, frame.height);
    return c;
}

void FillCell(const platform::YuvPlanes& frame, CellRect cell, uint8_t y, uint8_t u, uint8_t v)
{
    if (!frame.y)
        return;
    const CellRect c = FrameCell(frame, cell);
    for (int r = c.top; r < c.bottom; ++r)
        std::memset(frame.y + std::ptrdiff_t(r) * frame.width + c.left, y, std::size_t(c.Width()));
    const int cl = c.left / 2, cw = platform::ChromaSide(c.right) - cl;
    for (int r = c.top / 2; r < platform::ChromaSide(c.bottom); ++r) {
        std::memset(frame.u + std::ptrdiff_t(r) * frame.chromaWidth + cl, u, std::size_t(std::max(cw, 0)));
        std::memset(frame.v + std::ptrdiff_t(r) * frame.chromaWidth + cl, v, std::size_t(std::max(cw, 0)));
    }
}

bool PlaneRenderer::Render(std::span<const uint8_t> picture, int32_t width, int32_t height, CellRect cell,
                           const platform::YuvPlanes& frame)
{
    // YUY2 holds pixel pairs: an odd width is no YUY2 picture.
    if (!frame.y || width < 2 || width % 2 != 0 || height < 2 || width > kMaxSide || height > kMaxSide ||
        int64_t{width} * height * 2 > static_cast<int64_t>(picture.size()))
        return false;
    if (!work)
        work = std::make_unique<Work>();
    Work& w = *work;
    if (w.packedWidth != width || w.packedHeight != height) {
        w.packedWidth = w.packedHeight = 0;
        w.unpack.reset(sws_getContext(width, height, AV_PIX_FMT_YUYV422, width, height, AV_PIX_FMT_YUV420P, SWS_POINT,
                                      nullptr, nullptr, nullptr));
        if (!w.unpack || !w.unpacked.Layout(width, height))
            return false;
        w.packedWidth = width;
        w.packedHeight = height;
    }
    const uint8_t* src[4] = {picture.data(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {width * 2, 0, 0, 0};
    if (sws_scale(w.unpack.get(), src, srcStride, 0, height, w.unpacked.data, w.unpacked.stride) != height)
        return false;
    return Place(w.unpacked.data, w.unpacked.stride, width, height, cell, frame);
}

bool PlaneRenderer::RenderPlanar(std::span<const uint8_t> picture, int32_t width, int32_t height, CellRect cell,
                                 const platform::YuvPlanes& frame)
{
    const platform::decodeapi::PlanarLayout l = platform::decodeapi::PlanarPicture(width, height);
    if (!frame.y || height < 2 || l.bytes == 0 || l.bytes > picture.size())
        return false;
    if (!work)
        work = std::make_unique<Work>();
    const uint8_t* data = picture.data();
    const uint8_t* const src[4] = {data, data + l.blueOffset, data + l.redOffset, nullptr};
    const int srcStride[4] = {l.lumaStride, l.chromaStride, l.chromaStride, 0};
    return Place(src, srcStride, width, height, cell, frame);
}

bool PlaneRenderer::Place(const uint8_t* const src[4], const int srcStride[4], int32_t width, int32_t height,
                          CellRect cell, const platform::YuvPlanes& frame)
{
    const CellRect c = FrameCell(frame, cell);
    const int32_t dstWidth = c.Width(), dstHeight = c.Height();
    if (dstWidth <= 0 || dstHeight <= 0)
        return false;
    Work& w = *work;
    const bool scales = width != dstWidth || height != dstHeight;
    if (w.srcWidth != width || w.srcHeight != height || w.dstWidth != dstWidth || w.dstHeight != dstHeight) {
        w.srcWidth = w.srcHeight = w.dstWidth = w.dstHeight = 0;
        w.scale.reset();
        if (scales)
            w.scale.reset(sws_getContext(width, height, AV_PIX_FMT_YUV420P, dstWidth, dstHeight, AV_PIX_FMT_YUV420P,
                                         SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
        if ((scales && !w.scale) || !w.scaled.Layout(dstWidth, dstHeight))
            return false;
        w.srcWidth = width;
        w.srcHeight = height;
        w.dstWidth = dstWidth;
        w.dstHeight = dstHeight;
    }
    const int cl = c.left / 2, ct = c.top / 2;
    uint8_t* const cellPlanes[4] = {frame.y + std::ptrdiff_t(c.top) * frame.width + c.left,
                                    frame.u + std::ptrdiff_t(ct) * frame.chromaWidth + cl,
                                    frame.v + std::ptrdiff_t(ct) * frame.chromaWidth + cl, nullptr};
    const int cellStrides[4] = {frame.width, frame.chromaWidth, frame.chromaWidth, 0};
    const uint8_t* const* planes = src;
    const int* strides = srcStride;
    if (scales) {
        if (WritesInPlace(cellPlanes, cellStrides, dstWidth, platform::ChromaSide(dstWidth)))
            return sws_scale(w.scale.get(), src, srcStride, 0, height, cellPlanes, cellStrides) == dstHeight;
        if (sws_scale(w.scale.get(), src, srcStride, 0, height, w.scaled.data, w.scaled.stride) != dstHeight)
            return false;
        planes = w.scaled.data;
        strides = w.scaled.stride;
    }
    CopyRows(cellPlanes[0], frame.width, planes[0], strides[0], dstWidth, dstHeight);
    const int cw = std::min(platform::ChromaSide(dstWidth), frame.chromaWidth - cl);
    const int ch = std::min(platform::ChromaSide(dstHeight), frame.chromaHeight - ct);
    CopyRows(cellPlanes[1], frame.chromaWidth, planes[1], strides[1], cw, ch);
    CopyRows(cellPlanes[2], frame.chromaWidth, planes[2], strides[2], cw, ch);
    return true;
}

}  // namespace playback
