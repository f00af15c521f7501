#pragma once
// A writable 4:2:0 picture in three planes (the encoder's own frame buffers).
#include <cstdint>

namespace mkdisk {

struct PlaneView {
    uint8_t* data = nullptr;
    int stride = 0;
    int width = 0;
    int height = 0;
};

struct Yuv420View {
    PlaneView y, u, v;
};

struct Yuv {
    uint8_t y, u, v;
};

// Fills the rectangle [x0, x1) × [y0, y1) in luma coordinates; chroma covers the
// 2 × 2 blocks that the rectangle touches.
void FillRect(const Yuv420View& pic, int x0, int y0, int x1, int y1, Yuv colour);

}  // namespace mkdisk
