#pragma once
// Reading snapshots and printed pages back through tools nobody here wrote.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "support/file_bytes.h"
#include "tools/mkdisk/frame_code.h"

namespace capture_test {

using testing_support::ReadBytes;

// stdout of a shell command, or nothing when it failed.
inline std::optional<std::string> Shell(const std::string& command)
{
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return std::nullopt;
    std::string out;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        out.append(chunk, n);
    return pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

// A picture as top-down RGB bytes, as ImageMagick decodes it.
struct Rgb {
    int width = 0, height = 0;
    std::vector<uint8_t> bytes;
    const uint8_t* At(int x, int y) const { return bytes.data() + (std::size_t(y) * width + x) * 3; }
    std::optional<mkdisk::FrameCode> CodeIn(int left, int top, int w, int h) const
    {
        return mkdisk::DecodeFrameCodeRgb(At(left, top), w, h, std::size_t(width) * 3, 3);
    }
};

inline std::optional<Rgb> DecodeWithImageMagick(const std::string& path, const std::string& rawPath)
{
    const auto size = Shell("identify -format '%w %h' '" + path + "'");
    Rgb rgb;
    if (!size || std::sscanf(size->c_str(), "%d %d", &rgb.width, &rgb.height) != 2)
        return std::nullopt;
    if (!Shell("convert '" + path + "' -depth 8 'rgb:" + rawPath + "'"))
        return std::nullopt;
    rgb.bytes = ReadBytes(rawPath);
    if (rgb.bytes.size() != std::size_t(rgb.width) * rgb.height * 3)
        return std::nullopt;
    return rgb;
}

}  // namespace capture_test
