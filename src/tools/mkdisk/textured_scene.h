#pragma once
// One camera's textured scene: a still background of blocks and gradients (built
// once a record), then per frame the moving object, the brightness of the
// moment, sensor noise over the whole picture, the clock plate and the frame code.
#include <cstdint>
#include <vector>

#include "tools/mkdisk/activity.h"
#include "tools/mkdisk/picture.h"

namespace mkdisk {

class TexturedScene {
public:
    // The background of `camera` (0..3) for pictures of width × height.
    void Build(int camera, uint32_t seed, int width, int height);
    // `pic` must be the size given to Build.
    void Draw(const Yuv420View& pic, const PictureContent& content, const ActivityState& state) const;

private:
    int camera_ = 0;
    uint32_t seed_ = 0;
    int width_ = 0;
    int height_ = 0;
    int chromaWidth_ = 0;
    int chromaHeight_ = 0;
    SceneLayout layout_;
    std::vector<uint8_t> y_, u_, v_;  // tightly packed planes
};

}  // namespace mkdisk
