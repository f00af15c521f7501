#pragma once
// Test pictures and the file plumbing around outside tools (cjpeg, djpeg,
// ImageMagick): PPM files, whole-file reads, PSNR.
#include "support/file_bytes.h"
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace picture_support {

using testing_support::ReadBytes;
using testing_support::WriteBytes;

// Pixels as red, green, blue bytes, top row first, no padding.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
    const std::uint8_t* At(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

inline double Hash(int x, int y, int seed)
{
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u +
                      static_cast<std::uint32_t>(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return ((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
}

// Smooth value noise in [0, 1], a few octaves.
inline double Noise(double x, double y, int seed)
{
    double sum = 0, amplitude = 0.5;
    for (int octave = 0; octave < 4; ++octave) {
        const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
        const double fx = x - x0, fy = y - y0;
        const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
        const double a = Hash(x0, y0, seed) + sx * (Hash(x0 + 1, y0, seed) - Hash(x0, y0, seed));
        const double b = Hash(x0, y0 + 1, seed) + sx * (Hash(x0 + 1, y0 + 1, seed) - Hash(x0, y0 + 1, seed));
        sum += amplitude * (a + sy * (b - a));
        x *= 2.1;
        y *= 2.1;
        amplitude *= 0.5;
        seed += 17;
    }
    return sum / 0.9375;
}

// A landscape: graded sky with clouds, a sun, textured hills, a house with
// sharp edges, and a little sensor noise.
inline RgbPicture NaturalPicture(int width, int height)
{
    RgbPicture p{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
            const double horizon = 0.55 + 0.08 * std::sin(u * 9.0) + 0.05 * (Noise(u * 4, 0.5, 3) - 0.5);
            double r, g, b;
            if (v < horizon) {
                const double cloud = std::max(0.0, Noise(u * 6, v * 12, 1) - 0.45) * 2.2;
                r = 90 + 80 * v + 160 * cloud;
                g = 140 + 60 * v + 110 * cloud;
                b = 230 - 30 * v + 25 * cloud;
                const double dx = u - 0.78, dy = v - 0.18;
                if (dx * dx + dy * dy * 0.56 < 0.0025)
                    r = 255, g = 240, b = 180;
            } else {
                const double grass = Noise(u * 40, v * 60, 2);
                r = 60 + 70 * grass;
                g = 100 + 90 * grass;
                b = 30 + 40 * grass;
            }
            if (u > 0.2 && u < 0.38 && v > 0.45 && v < 0.7) {
                const bool window = (u > 0.25 && u < 0.29 && v > 0.5 && v < 0.56);
                r = window ? 40 : 180 + 30 * Noise(u * 80, v * 80, 5);
                g = window ? 50 : 70;
                b = window ? 90 : 50;
            }
            const double grain = (Hash(x, y, 9) - 0.5) * 6;
            std::uint8_t* px = &p.rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            px[0] = static_cast<std::uint8_t>(std::clamp(r + grain, 0.0, 255.0));
            px[1] = static_cast<std::uint8_t>(std::clamp(g + grain, 0.0, 255.0));
            px[2] = static_cast<std::uint8_t>(std::clamp(b + grain, 0.0, 255.0));
        }
    return p;
}

inline bool WritePpm(const std::string& path, const RgbPicture& p)
{
    std::string header = "P6\n" + std::to_string(p.width) + " " + std::to_string(p.height) + "\n255\n";
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), p.rgb.begin(), p.rgb.end());
    return WriteBytes(path, bytes);
}

// Binary PPM (P6, 8-bit) or PGM (P5, expanded to RGB).
inline bool ReadPnm(const std::string& path, RgbPicture& p)
{
    const auto bytes = ReadBytes(path);
    std::size_t at = 0;
    auto token = [&]() {
        while (at < bytes.size() && std::isspace(bytes[at]))
            ++at;
        std::string t;
        while (at < bytes.size() && !std::isspace(bytes[at]))
            t += static_cast<char>(bytes[at++]);
        return t;
    };
    const std::string magic = token();
    if (magic != "P6" && magic != "P5")
        return false;
    p.width = std::stoi(token());
    p.height = std::stoi(token());
    if (token() != "255")
        return false;
    ++at;
    const std::size_t n = static_cast<std::size_t>(p.width) * p.height;
    const std::size_t channels = magic == "P6" ? 3 : 1;
    if (bytes.size() - at < n * channels)
        return false;
    p.rgb.resize(n * 3);
    for (std::size_t i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c)
            p.rgb[3 * i + c] = bytes[at + i * channels + (channels == 3 ? c : 0)];
    return true;
}

inline int RunTool(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()); }

inline bool HaveTool(const std::string& name) { return RunTool("command -v " + name + " >/dev/null") == 0; }

inline double Psnr(const RgbPicture& a, const RgbPicture& b)
{
    double se = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) {
        const double d = static_cast<double>(a.rgb[i]) - b.rgb[i];
        se += d * d;
    }
    const double mse = se / static_cast<double>(a.rgb.size());
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

inline int MaxDifference(const RgbPicture& a, const RgbPicture& b)
{
    int m = 0;
    for (std::size_t i = 0; i < a.rgb.size() && i < b.rgb.size(); ++i)
        m = std::max(m, std::abs(static_cast<int>(a.rgb[i]) - b.rgb[i]));
    return m;
}

}  // namespace picture_support
