#include "playback/surface_renderer.h"

#include "platform/window_surface.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

namespace playback {

namespace {

// Larger than any window; keeps a bad target from sizing the stage.
constexpr int32_t kMaxTargetSide = 8192;
// libswscale's vector code may write a little past a row's last pixel.
constexpr std::size_t kStagePadding = 256;

int32_t StageStride(int32_t width) { return (width * 4 + 63) & ~63; }

}  // namespace

struct SurfaceRenderer::Scaler {
    int32_t srcWidth = 0;
    int32_t srcHeight = 0;
    int32_t dstWidth = 0;
    int32_t dstHeight = 0;
    uint64_t lastUse = 0;
    SwsContext* context = nullptr;

    ~Scaler() { sws_freeContext(context); }
};

void SurfaceRenderer::StageDeleter::operator()(uint8_t* p) const { av_free(p); }

SurfaceRenderer::SurfaceRenderer() = default;

SurfaceRenderer::~SurfaceRenderer() { ReleaseAll(); }

int32_t SurfaceRenderer::Create(platform::WindowSurface* target)
{
    ReleaseAll();
    if (!target || target->Width() <= 0 || target->Height() <= 0)
        return kFailed;
    if (!ReserveStage(std::min(target->Width(), kMaxTargetSide), std::min(target->Height(), kMaxTargetSide)))
        return kFailed;
    window = target;
    return 0;
}

void SurfaceRenderer::ReleaseAll()
{
    for (auto& s : scalers)
        s.reset();
    stage.reset();
    stageBytes = 0;
    window = nullptr;
}

bool SurfaceRenderer::ReserveStage(int32_t width, int32_t height)
{
    const std::size_t needed = static_cast<std::size_t>(StageStride(width)) * height + kStagePadding;
    if (needed <= stageBytes)
        return true;
    stage.reset(static_cast<uint8_t*>(av_malloc(needed)));
    stageBytes = stage ? needed : 0;
    return stage != nullptr;
}

SwsContext* SurfaceRenderer::ScalerFor(int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight)
{
    ++uses;
    std::unique_ptr<Scaler>* slot = &scalers[0];
    for (auto& s : scalers) {
        if (s && s->srcWidth == srcWidth && s->srcHeight == srcHeight && s->dstWidth == dstWidth &&
            s->dstHeight == dstHeight) {
            s->lastUse = uses;
            return s->context;
        }
        // Take an empty slot, else the one unused for longest.
        if (!s || (*slot && s->lastUse < (*slot)->lastUse))
            slot = &s;
    }
    auto made = std::make_unique<Scaler>();
    made->context = sws_getContext(srcWidth, srcHeight, AV_PIX_FMT_YUYV422, dstWidth, dstHeight, AV_PIX_FMT_RGB32,
                                   SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!made->context)
        return nullptr;
    const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(made->context, bt601, 0, bt601, 1, 0, 1 << 16, 1 << 16);
    made->srcWidth = srcWidth;
    made->srcHeight = srcHeight;
    made->dstWidth = dstWidth;
    made->dstHeight = dstHeight;
    made->lastUse = uses;
    *slot = std::move(made);
    return (*slot)->context;
}

int SurfaceRenderer::Present(std::span<const uint8_t> picture, int32_t width, int32_t height, CellRect target)
{
    if (!window || target.Width() <= 0 || target.Height() <= 0 || target.Width() > kMaxTargetSide ||
        target.Height() > kMaxTargetSide)
        return 0;
    const bool hasPicture = !picture.empty();
    if (hasPicture) {
        if (width < 2 || height < 1 || int64_t{width} * height * 2 > static_cast<int64_t>(picture.size()))
            return 0;
        SwsContext* scaler = ScalerFor(width, height, target.Width(), target.Height());
        if (!scaler || !ReserveStage(target.Width(), target.Height()))
            return 0;
        const uint8_t* src[4] = {picture.data(), nullptr, nullptr, nullptr};
        const int srcStride[4] = {width * 2, 0, 0, 0};
        uint8_t* dst[4] = {stage.get(), nullptr, nullptr, nullptr};
        const int dstStride[4] = {StageStride(target.Width()), 0, 0, 0};
        sws_scale(scaler, src, srcStride, 0, height, dst, dstStride);
    }

    const QRect wanted(target.left, target.top, target.Width(), target.Height());
    auto context = window->Draw(wanted);
    QImage& image = context.Image();
    const QRect visible = wanted & image.rect();
    if (visible.isEmpty())
        return 1;
    uint8_t* bits = image.bits();
    const auto pitch = static_cast<std::size_t>(image.bytesPerLine());
    const auto rowBytes = static_cast<std::size_t>(visible.width()) * 4;
    for (int y = visible.top(); y <= visible.bottom(); ++y) {
        uint8_t* row = bits + pitch * y + static_cast<std::size_t>(visible.left()) * 4;
        if (hasPicture) {
            const uint8_t* from = stage.get() + static_cast<std::size_t>(StageStride(target.Width())) * (y - target.top) +
                                  static_cast<std::size_t>(visible.left() - target.left) * 4;
            std::memcpy(row, from, rowBytes);
        } else {
            std::fill_n(reinterpret_cast<uint32_t*>(row), visible.width(), kNoPictureColour);
        }
    }
    return 1;
}

}  // namespace playback
