#pragma once
// Camera pictures made with libavcodec's MPEG-4 Part 2 encoder, laid out the
// way the recorder stores them: a 29-byte stream header (visual object
// sequence + visual object + VO start code + the encoder's VOL) and frames
// that each begin at their VOP start code.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace teststream {

struct Rgb {
    int r = 0, g = 0, b = 0;
};

// The dominant colour of each camera's pictures.
constexpr std::array<Rgb, 4> kCameraColours = {Rgb{200, 40, 40}, Rgb{40, 180, 40}, Rgb{40, 60, 200}, Rgb{200, 200, 40}};

// The frame code: 12 blocks of 16 x 16 pixels along the top, white for a set bit.
constexpr int kCodeBits = 12;
constexpr int kCodeBlock = 16;

struct CameraStream {
    std::vector<uint8_t> header;               // 29 bytes
    std::vector<std::vector<uint8_t>> frames;  // from the VOP start code on
    std::vector<bool> intra;
};

// frameCount pictures of camera (0..3) at width x height, an intra frame
// every gop frames. The pictures move so that predicted frames carry data.
// False when the encoder fails.
bool EncodeCamera(int camera, int width, int height, int frameCount, int gop, CameraStream& out);

// Reads the frame code back from a decoded YUY2 picture; -1 if a block is
// neither clearly black nor clearly white.
int ReadFrameCode(std::span<const uint8_t> yuy2, int width, int height);

// Which camera's colour the YUY2 picture shows (sampled below the code row);
// -1 when none is near.
int ReadCamera(std::span<const uint8_t> yuy2, int width, int height);

}  // namespace teststream
