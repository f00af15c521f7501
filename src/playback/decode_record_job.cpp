#include "playback/decode_record_job.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "playback/job_volume.h"

namespace playback {

namespace {

// A frame this short stands for a camera without picture (as playback
// reads it): nothing to decode.
constexpr uint32_t kNoPictureBytes = 100;
constexpr int kCameras = 4;

std::string Summary(const RecordDecodeCount& count)
{
    return std::to_string(count.pictures) + " pictures from " + std::to_string(count.frames) + " frames in " +
           std::to_string(count.seconds) + " seconds" +
           (count.lostSeconds ? ", " + std::to_string(count.lostSeconds) + " lost" : std::string());
}

}  // namespace

JobOutcome DecodeRecordFlatOut(disk::RecordReader& volume, VideoDecoder& decoder, JobControl& control,
                               const PictureSink& sink)
{
    if (!decoder.IsLoaded())
        return JobOutcome::Failed("no video decoding: " + decoder.Failure());
    if (volume.OpenRecordNumber() < 0)
        return JobOutcome::Failed("no record is open");
    const int32_t width = volume.OpenWidth();
    const int32_t height = volume.OpenHeight();
    const uint32_t segments = volume.SegmentCount();
    // The record table's size, from the disk: refused before any picture
    // buffer is sized by it.
    if (width <= 0 || height <= 0 || int64_t{width} * height * 2 > int64_t{VideoDecoder::kPictureBytes})
        return JobOutcome::Failed("record " + std::to_string(volume.OpenRecordNumber() + 1) + "'s picture size " +
                                  std::to_string(width) + " x " + std::to_string(height) +
                                  " is not one the decoder takes");

    std::vector<uint8_t> frame(disk::RecordReader::kMaxFrameBytes);
    std::vector<uint8_t> picture(VideoDecoder::kPictureBytes);
    const std::span<const uint8_t> pictureBytes(picture.data(), std::size_t(width) * std::size_t(height) * 2);
    for (int c = 0; c < kCameras; ++c)
        decoder.ReleaseChannel(c);
    volume.SelectSegment(0);
    volume.ResetFrameAssembly();

    RecordDecodeCount count;
    // Each camera's frame in turn; the first group, and the first after a
    // lost second, starts at the second's intra frames so that the cameras
    // keep their order.
    int camera = 0;
    int intraLeft = kCameras;
    uint32_t reportedSegment = UINT32_MAX;
    for (;;) {
        if (control.StopRequested())
            return JobOutcome::Cancelled("stopped at second " + std::to_string(volume.CurrentSegment() + 1) + " of " +
                                             std::to_string(segments) + ": " + Summary(count),
                                         count);
        if (volume.CurrentSegment() != reportedSegment) {
            reportedSegment = volume.CurrentSegment();
            count.seconds = std::max(count.seconds, reportedSegment);
            control.Report(segments ? double(reportedSegment) / segments : 1.0,
                           "second " + std::to_string(reportedSegment + 1) + " of " + std::to_string(segments));
        }
        uint32_t length = 0;
        if (!volume.NextFrame(frame, length, intraLeft > 0, -1, {}, nullptr)) {
            if (!volume.FrameStoppedAtLoss())
                break;
            ++count.lostSeconds;
            camera = 0;
            intraLeft = kCameras;
            continue;
        }
        intraLeft = std::max(0, intraLeft - 1);
        ++count.frames;
        if (length <= kNoPictureBytes) {
            ++count.noPicture;
        } else if (decoder.DecodeFrame(camera, std::span<const uint8_t>(frame.data(), length), picture, width, height,
                                       volume.StreamHeader()) != 0) {
            ++count.pictures;
            ++count.cameraPictures[std::size_t(camera)];
            if (sink)
                sink(camera, pictureBytes);
        } else {
            ++count.failed;
        }
        camera = (camera + 1) % kCameras;
    }
    count.seconds = segments;
    control.Report(1.0, "second " + std::to_string(segments) + " of " + std::to_string(segments));
    return JobOutcome::Done(Summary(count), count);
}

JobFunction DecodeRecordJob(std::shared_ptr<const disk::Volume> volume, uint32_t record, std::string decoderLibrary)
{
    return [volume = std::move(volume), record, library = std::move(decoderLibrary)](JobControl& control) {
        std::string error;
        const auto reader = OpenJobReader(volume, record, error);
        if (!reader)
            return JobOutcome::Failed(error);
        const auto decoder =
            library.empty() ? std::make_unique<VideoDecoder>() : std::make_unique<VideoDecoder>(library);
        return DecodeRecordFlatOut(*reader, *decoder, control);
    };
}

}  // namespace playback
