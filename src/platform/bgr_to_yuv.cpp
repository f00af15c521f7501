#include "platform/bgr_to_yuv.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

#include "platform/yuv_planes.h"

namespace platform::av {

bool BgrToYuv::Open(int pictureWidth, int pictureHeight)
{
    context.reset(sws_alloc_context());
    source.reset(av_frame_alloc());
    if (!context || !source)
        return false;
    SwsContext* c = context.get();
    // Accurate rounding would triple the cost for at most one level of difference.
    const bool set =
        av_opt_set_int(c, "srcw", pictureWidth, 0) >= 0 && av_opt_set_int(c, "srch", pictureHeight, 0) >= 0 &&
        av_opt_set_int(c, "src_format", AV_PIX_FMT_BGR24, 0) >= 0 && av_opt_set_int(c, "dstw", pictureWidth, 0) >= 0 &&
        av_opt_set_int(c, "dsth", pictureHeight, 0) >= 0 &&
        av_opt_set_int(c, "dst_format", AV_PIX_FMT_YUV420P, 0) >= 0 &&
        av_opt_set_int(c, "sws_flags", SWS_BICUBIC | SWS_BITEXACT, 0) >= 0 &&
        av_opt_set_int(c, "threads", kSlices, 0) >= 0;
    if (!set || sws_init_context(c, nullptr, nullptr) < 0) {
        context.reset();
        return false;
    }
    // Full-range RGB in, studio-range BT.601 out, as MPEG decoders assume.
    const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
    if (sws_setColorspaceDetails(c, bt601, 1, bt601, 0, 0, 1 << 16, 1 << 16) < 0) {
        context.reset();
        return false;
    }
    width = pictureWidth;
    height = pictureHeight;
    return true;
}

bool BgrToYuv::Convert(const std::uint8_t* bgrBottomUp, AVFrame& picture)
{
    if (!context || !bgrBottomUp)
        return false;
    // Bottom-up rows: start at the top row, step backwards.
    const int stride = width * 3;
    source->format = AV_PIX_FMT_BGR24;
    source->width = width;
    source->height = height;
    source->data[0] = const_cast<std::uint8_t*>(bgrBottomUp) + std::ptrdiff_t(height - 1) * stride;
    source->linesize[0] = -stride;
    return sws_scale_frame(context.get(), &picture, source.get()) >= 0;
}

bool CopyYuvPlanes(const std::uint8_t* yuv, AVFrame& picture)
{
    if (!yuv || picture.format != AV_PIX_FMT_YUV420P || picture.width <= 0 || picture.height <= 0)
        return false;
    const int w = picture.width, h = picture.height;
    const int cw = ChromaSide(w), ch = ChromaSide(h);
    const std::uint8_t* u = yuv + std::size_t(w) * h;
    const std::uint8_t* v = u + std::size_t(cw) * ch;
    av_image_copy_plane(picture.data[0], picture.linesize[0], yuv, w, w, h);
    av_image_copy_plane(picture.data[1], picture.linesize[1], u, cw, cw, ch);
    av_image_copy_plane(picture.data[2], picture.linesize[2], v, cw, cw, ch);
    return true;
}

}  // namespace platform::av
