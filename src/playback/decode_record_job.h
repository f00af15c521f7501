#pragma once
// Decoding a record flat out: every frame of every camera from its first
// second to its last, as fast as the decoder goes, counting pictures. The
// benchmark's load beside playback, and the pattern of the jobs to come
// (thumbnails, activity search) that decode a record in the background.
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "disk/record_reader.h"
#include "disk/volume.h"
#include "playback/job.h"
#include "playback/video_decoder.h"

namespace playback {

struct RecordDecodeCount {
    uint64_t frames = 0;     // compressed frames read
    uint64_t pictures = 0;   // pictures decoded
    uint64_t noPicture = 0;  // frames standing for a camera without picture
    uint64_t failed = 0;     // frames with data that gave no picture
    uint32_t seconds = 0;    // seconds of the record passed
    uint32_t lostSeconds = 0;
    std::array<uint64_t, 4> cameraPictures{};
};

// Sees each decoded picture (YUY2, the record's width x height), on the
// job's thread.
using PictureSink = std::function<void(int camera, std::span<const uint8_t> picture)>;

// Decodes the volume's open record from its first second on decoder's
// channels 0..3 (one per camera), counting into count; checks the stop
// flag before every frame and reports once per second of the record.
// Done with a RecordDecodeCount as its value, Cancelled with the count so
// far, or Failed when the decoder is not usable.
JobOutcome DecodeRecordFlatOut(disk::RecordReader& volume, VideoDecoder& decoder, JobControl& control,
                               const PictureSink& sink = {});

// The job: its own reader of record (from 0) over volume (OpenJobReader)
// and its own VideoDecoder (from decoderLibrary, or beside the executable
// when empty), both made on the job's thread.
JobFunction DecodeRecordJob(std::shared_ptr<const disk::Volume> volume, uint32_t record,
                            std::string decoderLibrary = {});

}  // namespace playback
