#pragma once
// Reading exports back through ffprobe and ffmpeg: stream facts, the frame
// codes of every decoded picture, and the sound as 16-bit samples.
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "capture_tools.h"
#include "tools/mkdisk/frame_code.h"

namespace export_test {

// ffprobe's "key=value" lines for one stream ("v:0", "a:0") or the format.
inline std::map<std::string, std::string> Probe(const std::string& path, const std::string& stream)
{
    std::map<std::string, std::string> facts;
    const std::string what = stream.empty() ? "-show_format" : "-select_streams " + stream + " -show_streams";
    const auto out = capture_test::Shell("ffprobe -v error " + what + " -count_frames -of default=nw=1 '" + path + "'");
    if (!out)
        return facts;
    std::istringstream lines(*out);
    for (std::string line; std::getline(lines, line);)
        if (const auto eq = line.find('='); eq != std::string::npos)
            facts[line.substr(0, eq)] = line.substr(eq + 1);
    return facts;
}

// What ffmpeg says while decoding the whole file; empty for a clean file.
inline std::optional<std::string> DecodeErrors(const std::string& path)
{
    return capture_test::Shell("ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1");
}

// Each decoded picture (640 x 480 RGB) in turn, streamed from ffmpeg.
inline bool ForEachPicture(const std::string& path, int width, int height,
                           const std::function<void(int index, const uint8_t* rgb)>& visit)
{
    const std::string command = "ffmpeg -nostdin -v error -i '" + path + "' -map 0:v:0 -f rawvideo -pix_fmt rgb24 -";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return false;
    std::vector<uint8_t> picture(std::size_t(width) * height * 3);
    int index = 0;
    while (std::fread(picture.data(), 1, picture.size(), pipe) == picture.size())
        visit(index++, picture.data());
    return pclose(pipe) == 0;
}

// The frame codes of every picture in a rectangle of the frame.
inline std::vector<std::optional<mkdisk::FrameCode>> CodesIn(const std::string& path, int left, int top, int w, int h,
                                                             int width = 640, int height = 480)
{
    std::vector<std::optional<mkdisk::FrameCode>> codes;
    ForEachPicture(path, width, height, [&](int, const uint8_t* rgb) {
        codes.push_back(
            mkdisk::DecodeFrameCodeRgb(rgb + (std::size_t(top) * width + left) * 3, w, h, std::size_t(width) * 3, 3));
    });
    return codes;
}

// The first sound stream as mono 16-bit samples at rate.
inline std::vector<int16_t> Sound(const std::string& path, int rate)
{
    const auto raw = capture_test::Shell("ffmpeg -nostdin -v error -i '" + path + "' -map 0:a:0 -ac 1 -ar " +
                                         std::to_string(rate) + " -f s16le -");
    std::vector<int16_t> samples;
    if (!raw)
        return samples;
    samples.resize(raw->size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(uint8_t((*raw)[2 * i]) | uint8_t((*raw)[2 * i + 1]) << 8);
    return samples;
}

}  // namespace export_test
