#include "tools/mkdisk/textured_scene.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "tools/mkdisk/frame_code.h"

namespace mkdisk {
namespace {

constexpr int kBlock = 16;            // texture blocks, luma pixels
constexpr Yuv kObject{24, 128, 128};  // dark against the texture's 60..175
constexpr uint8_t kLumaMin = 16, kLumaMax = 235;

uint32_t Next(uint32_t& state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

void CopyPlane(const PlaneView& to, const std::vector<uint8_t>& from, int width, int height)
{
    const int w = std::min(width, to.width);
    const int h = std::min(height, to.height);
    for (int y = 0; y < h; ++y)
        std::memcpy(to.data + static_cast<ptrdiff_t>(y) * to.stride, from.data() + static_cast<size_t>(y) * width,
                    static_cast<size_t>(w));
}

}  // namespace

void TexturedScene::Build(int camera, uint32_t seed, int width, int height)
{
    camera_ = camera;
    seed_ = seed == 0 ? 1 : seed;
    width_ = width;
    height_ = height;
    chromaWidth_ = (width + 1) / 2;
    chromaHeight_ = (height + 1) / 2;
    layout_ = LayoutFor(width, height);
    y_.assign(static_cast<size_t>(width) * height, 0);
    u_.assign(static_cast<size_t>(chromaWidth_) * chromaHeight_, 0);
    v_.assign(u_.size(), 0);

    const int blocksX = (width + kBlock - 1) / kBlock;
    const int blocksY = (height + kBlock - 1) / kBlock;
    struct Block {
        int luma;
        int du, dv;
    };
    std::vector<Block> blocks(static_cast<size_t>(blocksX) * blocksY);
    uint32_t state = seed_;
    for (Block& b : blocks) {
        b.luma = 60 + static_cast<int>(Next(state) % 100);
        b.du = static_cast<int>(Next(state) % 17) - 8;
        b.dv = static_cast<int>(Next(state) % 17) - 8;
    }
    const Yuv tint = CameraYuv(camera);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Block& b = blocks[static_cast<size_t>(y / kBlock) * blocksX + x / kBlock];
            // A diagonal gradient inside each block: 0..15 levels.
            const int ramp = (x % kBlock + y % kBlock) / 2;
            y_[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(b.luma + ramp);
        }
    for (int y = 0; y < chromaHeight_; ++y)
        for (int x = 0; x < chromaWidth_; ++x) {
            const Block& b = blocks[static_cast<size_t>(y * 2 / kBlock) * blocksX + x * 2 / kBlock];
            u_[static_cast<size_t>(y) * chromaWidth_ + x] = static_cast<uint8_t>(std::clamp(tint.u + b.du, 16, 240));
            v_[static_cast<size_t>(y) * chromaWidth_ + x] = static_cast<uint8_t>(std::clamp(tint.v + b.dv, 16, 240));
        }
    const Yuv420View own{{y_.data(), width, width, height},
                         {u_.data(), chromaWidth_, chromaWidth_, chromaHeight_},
                         {v_.data(), chromaWidth_, chromaWidth_, chromaHeight_}};
    DrawCameraNumber(own, camera);
}

void TexturedScene::Draw(const Yuv420View& pic, const PictureContent& content, const ActivityState& state) const
{
    CopyPlane(pic.y, y_, width_, height_);
    CopyPlane(pic.u, u_, chromaWidth_, chromaHeight_);
    CopyPlane(pic.v, v_, chromaWidth_, chromaHeight_);
    if (state.objectLeft)
        FillRect(pic, *state.objectLeft, layout_.objectTop, *state.objectLeft + layout_.objectWidth,
                 layout_.objectBottom, kObject);

    // Brightness of the moment, then noise, through one table of every luma level.
    std::array<uint8_t, 256> level{};
    for (int v = 0; v < 256; ++v) {
        const int lit = kLumaMin + ((v - kLumaMin) * state.brightnessPermille + 500) / 1000;
        level[static_cast<size_t>(v)] = static_cast<uint8_t>(std::clamp<int>(lit, kLumaMin, kLumaMax));
    }
    uint32_t noise = seed_ ^ (content.second * 2654435761u) ^ (static_cast<uint32_t>(content.frame) * 40503u);
    if (noise == 0)
        noise = 1;
    constexpr int kSpread = 2 * kSceneNoiseLuma + 1;
    const int h = std::min(height_, pic.y.height);
    const int w = std::min(width_, pic.y.width);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = pic.y.data + static_cast<ptrdiff_t>(y) * pic.y.stride;
        for (int x = 0; x < w; ++x) {
            const int n = static_cast<int>((Next(noise) >> 8) % kSpread) - kSceneNoiseLuma;
            row[x] = static_cast<uint8_t>(std::clamp<int>(level[row[x]] + n, kLumaMin, kLumaMax));
        }
    }

    DrawClockPlate(pic, content.time);
    DrawFrameCode(pic, {content.camera, content.second, content.frame});
}

}  // namespace mkdisk
