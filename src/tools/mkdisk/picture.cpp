#include "tools/mkdisk/picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "tools/mkdisk/font5x7.h"
#include "tools/mkdisk/frame_code.h"

namespace mkdisk {
namespace {

constexpr Yuv kWhite{235, 128, 128};
constexpr Yuv kBlack{16, 128, 128};

void FillPlane(const PlaneView& p, int x0, int y0, int x1, int y1, uint8_t value)
{
    x0 = std::clamp(x0, 0, p.width);
    x1 = std::clamp(x1, 0, p.width);
    y0 = std::clamp(y0, 0, p.height);
    y1 = std::clamp(y1, 0, p.height);
    if (x0 >= x1)
        return;
    for (int y = y0; y < y1; ++y)
        std::memset(p.data + static_cast<ptrdiff_t>(y) * p.stride + x0, value, static_cast<size_t>(x1 - x0));
}

void DrawText(const Yuv420View& pic, std::string_view text, int x, int y, int dot, Yuv colour)
{
    for (char c : text) {
        const auto& rows = Glyph5x7(c);
        for (int r = 0; r < 7; ++r)
            for (int col = 0; col < 5; ++col)
                if (rows[static_cast<size_t>(r)] & (0x10 >> col))
                    FillRect(pic, x + col * dot, y + r * dot, x + (col + 1) * dot, y + (r + 1) * dot, colour);
        x += 6 * dot;
    }
}

}  // namespace

void FillRect(const Yuv420View& pic, int x0, int y0, int x1, int y1, Yuv colour)
{
    FillPlane(pic.y, x0, y0, x1, y1, colour.y);
    FillPlane(pic.u, x0 / 2, y0 / 2, (x1 + 1) / 2, (y1 + 1) / 2, colour.u);
    FillPlane(pic.v, x0 / 2, y0 / 2, (x1 + 1) / 2, (y1 + 1) / 2, colour.v);
}

Yuv RgbToYuv(Rgb c)
{
    const double r = c.r, g = c.g, b = c.b;
    auto clip = [](double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
    return {clip(16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255),
            clip(128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255),
            clip(128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255)};
}

Yuv CameraYuv(int camera) { return RgbToYuv(kCameraColours[static_cast<size_t>(camera & 3)]); }

void DrawCameraNumber(const Yuv420View& pic, int camera)
{
    // As the user counts (1..4), large, centred.
    const int w = pic.y.width;
    const int h = pic.y.height;
    const int big = h / 16;
    const char number[2] = {static_cast<char>('1' + (camera & 3)), 0};
    DrawText(pic, number, w / 2 - 5 * big / 2, h / 4, big, kWhite);
}

void DrawClockPlate(const Yuv420View& pic, const RecordTime& time)
{
    // Date and time on a black plate, top left (SceneLayout::clock).
    const int dot = std::max(2, pic.y.height / 80);
    char date[16];
    char clock[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", time.year, time.month, time.day);
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", time.hour, time.minute, time.second);
    FillRect(pic, 0, 0, 2 * dot + 60 * dot, 2 * dot + 17 * dot, kBlack);
    DrawText(pic, date, dot * 2, dot * 2, dot, kWhite);
    DrawText(pic, clock, dot * 2, dot * 11, dot, kWhite);
}

void DrawPicture(const Yuv420View& pic, const PictureContent& content)
{
    const int w = pic.y.width;
    const int h = pic.y.height;
    FillRect(pic, 0, 0, w, h, CameraYuv(content.camera));

    DrawCameraNumber(pic, content.camera);
    DrawClockPlate(pic, content.time);

    // A marker crossing the picture once a second gives the predicted frames motion.
    const int rate = std::max(1, content.frameRate);
    const int mx = (w - 16) * content.frame / rate;
    FillRect(pic, mx, h * 7 / 10, mx + 16, h * 7 / 10 + 16, kBlack);

    // Sensor noise in the top right corner: every picture differs from the
    // last there, so no predicted frame of a camera with video codes as
    // small as the tiny frame of a camera without one (100 bytes or less).
    const int noise = content.sensorNoise ? 32 : 0;
    uint32_t state = 0x9E3779B9u ^ (uint32_t(content.camera) << 24) ^ (content.second << 8) ^ uint32_t(content.frame);
    for (int y = 0; y < noise && y < h; ++y)
        for (int x = w - noise; x < w; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            pic.y.data[y * pic.y.stride + x] = static_cast<uint8_t>(16 + state % 220);
        }

    DrawFrameCode(pic, {content.camera, content.second, content.frame});
}

}  // namespace mkdisk
