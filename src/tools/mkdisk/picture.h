#pragma once
// What each camera films: a flat field of the camera's own colour with its number
// (1..4) drawn large, the recorder date and time, a marker that moves with the
// frame number, and the frame code band.
#include <array>
#include <cstdint>

#include "tools/mkdisk/volume_writer.h"
#include "tools/mkdisk/yuv_view.h"

namespace mkdisk {

struct Rgb {
    uint8_t r, g, b;
};

// Dominant colour of each camera: red, green, blue, amber.
inline constexpr std::array<Rgb, 4> kCameraColours = {{{200, 40, 40}, {40, 170, 60}, {40, 70, 200}, {220, 180, 30}}};

// BT.601, limited range (what an MPEG-4 decoder hands back).
Yuv RgbToYuv(Rgb c);
Yuv CameraYuv(int camera);

struct PictureContent {
    int camera = 0;
    RecordTime time;      // recorder time of the picture's second
    uint32_t second = 0;  // second within the record
    int frame = 0;        // frame within the second
    int frameRate = 30;
    bool sensorNoise = true;  // a noisy corner that keeps predicted frames over 100 bytes
};

void DrawPicture(const Yuv420View& pic, const PictureContent& content);

// The pieces every scene shares.
void DrawCameraNumber(const Yuv420View& pic, int camera);
void DrawClockPlate(const Yuv420View& pic, const RecordTime& time);

}  // namespace mkdisk
