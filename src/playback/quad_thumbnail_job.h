#pragma once
// A small picture of the quad at one second of a recording, for the
// timeline's hover: each camera's intra frame of that second (the first of
// its second) decoded and shrunk into its cell. A background job with a
// reader and a decoder of its own, never playback's.
#include <QImage>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "disk/volume.h"
#include "playback/job.h"

namespace playback {

struct QuadThumbnail {
    static constexpr int kWidth = 352;
    static constexpr int kHeight = 264;

    uint32_t record = 0;
    uint32_t position = 0;
    // kWidth x kHeight, each camera in its quad cell as the player draws it
    // (SurfaceRenderer); black in the cell of a camera with no picture in
    // that second.
    QImage picture;
    std::array<bool, 4> shown{};  // the cameras whose picture is in it
};

// The job: record (from 0) of volume opened at position, its four intra
// frames decoded (decoderLibrary, or the library beside the executable
// when empty). Done with a QuadThumbnail as its value, Failed with the
// reason (a position past the record's end, a picture size the decoder
// does not take, no decoder), Cancelled when stopped.
JobFunction QuadThumbnailJob(std::shared_ptr<const disk::Volume> volume, uint32_t record, uint32_t position,
                             std::string decoderLibrary = {});

}  // namespace playback
