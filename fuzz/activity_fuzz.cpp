// The activity search's inputs from the fuzzer. An even first byte: the
// rest is a recorder disk image (signature put in place) whose records are
// searched in fast mode, every event inside its record and in order. An odd
// one: a picture size and a region from the next bytes, then pictures of
// that size from the rest, each measured by the exact mode's model, whose
// share must stay within its cells.
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "disk/record_reader.h"
#include "disk/volume.h"
#include "playback/activity_motion.h"
#include "playback/activity_search.h"

namespace {

void SearchVolume(std::span<const uint8_t> bytes)
{
    if (bytes.size() < 512 || bytes.size() > (4u << 20))
        return;
    std::vector<uint8_t> image(bytes.begin(), bytes.end());
    std::memcpy(image.data() + 2, "Kor Halvex", 10);
    const disk::VolumeLoad load = disk::Volume::FromBytes(image);
    if (!load.volume)
        return;
    playback::ActivityRequest request;
    request.mode = playback::ActivityMode::Fast;
    request.parameters.sizeWarmupFrames = 1;
    for (uint32_t r = 0; r < std::min<uint32_t>(load.volume->RecordCount(), 4); ++r) {
        disk::RecordReader reader(load.volume);
        if (!reader.OpenRecord(r))
            continue;
        playback::JobControl control;
        const playback::JobOutcome outcome = playback::SearchRecordActivity(reader, nullptr, request, control);
        if (outcome.status != playback::JobOutcome::Status::Done)
            continue;
        const auto& found = std::any_cast<const playback::RecordActivity&>(outcome.value);
        for (const playback::ActivityEvent& e : found.events)
            if (e.begin < 0 || e.begin > e.end || e.end >= int64_t{reader.SegmentCount()} || e.camera < 0 ||
                e.camera > 3)
                __builtin_trap();
    }
}

void MeasurePictures(std::span<const uint8_t> bytes)
{
    if (bytes.size() < 8)
        return;
    const int32_t width = 2 * (1 + bytes[0] % 64);
    const int32_t height = 1 + bytes[1] % 64;
    playback::ActivityParameters parameters;
    parameters.warmupFrames = bytes[2] % 4;
    parameters.downscale = 1 + bytes[3] % 8;
    parameters.regions[0] = {bytes[4] % 80, bytes[5] % 80, bytes[6] % 80, bytes[7] % 80};
    playback::MotionModel model(parameters, 0);
    const size_t pictureBytes = size_t(width) * size_t(height) * 2;
    for (size_t at = 8; at + pictureBytes <= bytes.size(); at += pictureBytes) {
        const auto share = model.Feed(bytes.subspan(at, pictureBytes), width, height);
        if (share && share->foreground > share->cells)
            __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::span<const uint8_t> rest(data + 1, size - 1);
    if (data[0] % 2 == 0)
        SearchVolume(rest);
    else
        MeasurePictures(rest);
    return 0;
}
