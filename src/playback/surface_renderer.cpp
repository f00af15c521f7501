#include "playback/surface_renderer.h"

#include "platform/window_surface.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}
#include "platform/av_handles.h"

namespace playback {

namespace {

// Larger than any window; keeps a bad target from sizing the buffers.
constexpr int32_t kMaxTargetSide = 8192;
// libswscale's vector code may write a little past a row's last pixel.
constexpr std::size_t kPadding = 256;

int32_t Align(int32_t bytes) { return (bytes + 63) & ~63; }
int32_t StageStride(int32_t width) { return Align(width * 4); }

using SwsPtr = platform::av::SwsContextPtr;

}  // namespace

struct SurfaceRenderer::Scaler {
    int32_t srcWidth = 0;
    int32_t srcHeight = 0;
    int32_t dstWidth = 0;
    int32_t dstHeight = 0;
    uint64_t lastUse = 0;
    SwsPtr unpack;   // YUY2 -> planar, picture size
    SwsPtr scale;    // planar -> planar, picture to target size (none when equal)
    SwsPtr convert;  // planar -> RGB32, target size
};

void SurfaceRenderer::StageDeleter::operator()(uint8_t* p) const { av_free(p); }

SurfaceRenderer::SurfaceRenderer() = default;

SurfaceRenderer::~SurfaceRenderer() { ReleaseAll(); }

int32_t SurfaceRenderer::Create(platform::WindowSurface* target)
{
    ReleaseAll();
    if (!target || target->Width() <= 0 || target->Height() <= 0)
        return kFailed;
    const int32_t w = std::min(target->Width(), kMaxTargetSide);
    const int32_t h = std::min(target->Height(), kMaxTargetSide);
    if (!ReserveStage(w, h) || !Layout(scaled, w, h))
        return kFailed;
    window = target;
    return 0;
}

void SurfaceRenderer::ReleaseAll()
{
    for (auto& s : scalers)
        s.reset();
    unpacked = Planes();
    scaled = Planes();
    stage.reset();
    stageBytes = 0;
    pictureRgb.reset();
    pictureRgbBytes = 0;
    window = nullptr;
}

bool SurfaceRenderer::Layout(Planes& planes, int32_t width, int32_t height)
{
    const int32_t lumaStride = Align(width);
    const int32_t chromaStride = Align((width + 1) / 2);
    const std::size_t lumaBytes = std::size_t(lumaStride) * height + kPadding;
    const std::size_t chromaBytes = std::size_t(chromaStride) * ((height + 1) / 2) + kPadding;
    const std::size_t needed = lumaBytes + 2 * chromaBytes;
    if (needed > planes.capacity) {
        planes.memory = {static_cast<uint8_t*>(av_malloc(needed)), &av_free};
        planes.capacity = planes.memory ? needed : 0;
        if (!planes.memory)
            return false;
    }
    planes.stride[0] = lumaStride;
    planes.stride[1] = planes.stride[2] = chromaStride;
    planes.data[0] = planes.memory.get();
    planes.data[1] = planes.data[0] + lumaBytes;
    planes.data[2] = planes.data[1] + chromaBytes;
    return true;
}

bool SurfaceRenderer::ReserveStage(int32_t width, int32_t height)
{
    const std::size_t needed = static_cast<std::size_t>(StageStride(width)) * height + kPadding;
    if (needed <= stageBytes)
        return true;
    stage.reset(static_cast<uint8_t*>(av_malloc(needed)));
    stageBytes = stage ? needed : 0;
    return stage != nullptr;
}

SurfaceRenderer::Scaler* SurfaceRenderer::ScalerFor(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth,
                                                    int32_t dstHeight)
{
    ++uses;
    std::unique_ptr<Scaler>* slot = &scalers[0];
    for (auto& s : scalers) {
        if (s && s->srcWidth == srcWidth && s->srcHeight == srcHeight && s->dstWidth == dstWidth &&
            s->dstHeight == dstHeight) {
            s->lastUse = uses;
            return s.get();
        }
        // Take an empty slot, else the one unused for longest.
        if (!s || (*slot && s->lastUse < (*slot)->lastUse))
            slot = &s;
    }
    auto made = std::make_unique<Scaler>();
    made->unpack.reset(sws_getContext(srcWidth, srcHeight, AV_PIX_FMT_YUYV422, srcWidth, srcHeight, AV_PIX_FMT_YUV420P,
                                      SWS_POINT, nullptr, nullptr, nullptr));
    if (srcWidth != dstWidth || srcHeight != dstHeight)
        made->scale.reset(sws_getContext(srcWidth, srcHeight, AV_PIX_FMT_YUV420P, dstWidth, dstHeight,
                                         AV_PIX_FMT_YUV420P, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
    made->convert.reset(sws_getContext(dstWidth, dstHeight, AV_PIX_FMT_YUV420P, dstWidth, dstHeight, AV_PIX_FMT_RGB32,
                                       SWS_POINT, nullptr, nullptr, nullptr));
    if (!made->unpack || !made->convert || (!made->scale && (srcWidth != dstWidth || srcHeight != dstHeight)))
        return nullptr;
    const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(made->convert.get(), bt601, 0, bt601, 1, 0, 1 << 16, 1 << 16);
    made->srcWidth = srcWidth;
    made->srcHeight = srcHeight;
    made->dstWidth = dstWidth;
    made->dstHeight = dstHeight;
    made->lastUse = uses;
    *slot = std::move(made);
    return slot->get();
}

bool SurfaceRenderer::Convert(std::span<const uint8_t> picture, int32_t width, int32_t height, CellRect target,
                              uint8_t* rgb, int rgbStride)
{
    Scaler* s = ScalerFor(width, height, target.Width(), target.Height());
    if (!s || !Layout(unpacked, width, height) || !Layout(scaled, target.Width(), target.Height()))
        return false;
    const uint8_t* src[4] = {picture.data(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {width * 2, 0, 0, 0};
    sws_scale(s->unpack.get(), src, srcStride, 0, height, unpacked.data, unpacked.stride);
    const Planes* planes = &unpacked;
    if (s->scale) {
        sws_scale(s->scale.get(), unpacked.data, unpacked.stride, 0, height, scaled.data, scaled.stride);
        planes = &scaled;
    }
    uint8_t* dst[4] = {rgb, nullptr, nullptr, nullptr};
    const int dstStride[4] = {rgbStride, 0, 0, 0};
    sws_scale(s->convert.get(), planes->data, planes->stride, 0, target.Height(), dst, dstStride);
    return true;
}

int SurfaceRenderer::Present(std::span<const uint8_t> picture, int32_t width, int32_t height, CellRect target)
{
    if (!window || target.Width() <= 0 || target.Height() <= 0 || target.Width() > kMaxTargetSide ||
        target.Height() > kMaxTargetSide)
        return 0;
    const bool hasPicture = !picture.empty();
    // YUY2 holds pixel pairs: an odd width is no YUY2 picture.
    if (hasPicture && (width < 2 || width % 2 != 0 || height < 2 || width > kMaxTargetSide || height > kMaxTargetSide ||
                       int64_t{width} * height * 2 > static_cast<int64_t>(picture.size())))
        return 0;

    const QRect wanted(target.left, target.top, target.Width(), target.Height());
    auto context = window->Draw(wanted);
    QImage& image = context.Image();
    const QRect visible = wanted & image.rect();
    if (visible.isEmpty())
        return 1;
    uint8_t* bits = image.bits();
    const auto pitch = static_cast<std::size_t>(image.bytesPerLine());
    const auto rowBytes = static_cast<std::size_t>(visible.width()) * 4;
    uint8_t* const firstRow = bits + pitch * visible.top() + std::size_t(visible.left()) * 4;

    if (!hasPicture) {
        for (int y = 0; y < visible.height(); ++y)
            std::fill_n(reinterpret_cast<uint32_t*>(firstRow + pitch * y), visible.width(), kNoPictureColour);
        return 1;
    }
    // Straight into the image when the whole target is visible and its width
    // lets the vector code write whole blocks; else through the stage.
    if (visible == wanted && target.Width() % 16 == 0)
        return Convert(picture, width, height, target, firstRow, static_cast<int>(pitch)) ? 1 : 0;
    if (!ReserveStage(target.Width(), target.Height()) ||
        !Convert(picture, width, height, target, stage.get(), StageStride(target.Width())))
        return 0;
    const std::size_t stride = StageStride(target.Width());
    const uint8_t* from =
        stage.get() + stride * (visible.top() - target.top) + std::size_t(visible.left() - target.left) * 4;
    for (int y = 0; y < visible.height(); ++y)
        std::memcpy(firstRow + pitch * y, from + stride * y, rowBytes);
    return 1;
}

}  // namespace playback
