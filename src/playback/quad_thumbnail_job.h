#pragma once
// A small picture of the quad at one second of a recording, for the
// timeline's hover: each camera's intra frame of that second (the first of
// its second) decoded and shrunk into its cell. A background job with a
// reader and a decoder of its own, never playback's.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "disk/volume.h"
#include "playback/job.h"

namespace playback {

struct QuadThumbnail {
    static constexpr int kCellWidth = 176;
    static constexpr int kCellHeight = 132;
    static constexpr int kWidth = 2 * kCellWidth;
    static constexpr int kHeight = 2 * kCellHeight;

    uint32_t record = 0;
    uint32_t position = 0;
    // kWidth x kHeight, three bytes a pixel (R, G, B), rows packed; black
    // in the cell of a camera with no picture in that second.
    std::vector<uint8_t> rgb = std::vector<uint8_t>(size_t(kWidth) * kHeight * 3);
    std::array<bool, 4> shown{};  // the cameras whose picture is in it
};

// Shrinks a width x height YUY2 picture (rows of width * 2 bytes, no gaps)
// into cell 0..3 of into (camera n's quad cell: top left, top right, bottom
// left, bottom right), each cell pixel taken from the picture pixel at its
// centre (BT.601, the recorder's video range).
void ShrinkIntoCell(std::span<const uint8_t> yuy2, int32_t width, int32_t height, int cell, QuadThumbnail& into);

// The job: record (from 0) of volume opened at position, its four intra
// frames decoded (decoderLibrary, or the library beside the executable
// when empty). Done with a QuadThumbnail as its value, Failed with the
// reason (a position past the record's end, a picture size the decoder
// does not take, no decoder), Cancelled when stopped.
JobFunction QuadThumbnailJob(std::shared_ptr<const disk::Volume> volume, uint32_t record, uint32_t position,
                             std::string decoderLibrary = {});

}  // namespace playback
