#include "platform/pixel_packer.h"

namespace platform {

bool PixelPacker::Pack(const uint8_t* from, int fromStride, uint8_t* to, int toStride, int width, int height)
{
    if (width <= 0 || height <= 0)
        return false;
    if (!context || width != contextWidth || height != contextHeight) {
        context.reset(sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, AV_PIX_FMT_BGR24,
                                     SWS_POINT | SWS_BITEXACT, nullptr, nullptr, nullptr));
        contextWidth = width;
        contextHeight = height;
    }
    if (!context)
        return false;
    const uint8_t* source[4] = {from, nullptr, nullptr, nullptr};
    const int sourceStride[4] = {fromStride, 0, 0, 0};
    uint8_t* target[4] = {to, nullptr, nullptr, nullptr};
    const int targetStride[4] = {toStride, 0, 0, 0};
    return sws_scale(context.get(), source, sourceStride, 0, height, target, targetStride) == height;
}

}  // namespace platform
