// The quad thumbnail: one second's intra frames, decoded and drawn.
#include "playback/quad_thumbnail_job.h"

#include <algorithm>

#include "platform/window_surface.h"
#include "playback/job_volume.h"
#include "playback/surface_renderer.h"
#include "playback/video_decoder.h"
#include "playback/view_layout.h"

namespace playback {
namespace {

// A frame this short stands for a camera without picture.
constexpr uint32_t kNoPictureBytes = 100;

}  // namespace

JobFunction QuadThumbnailJob(std::shared_ptr<const disk::Volume> volume, uint32_t record, uint32_t position,
                             std::string decoderLibrary)
{
    return [volume = std::move(volume), record, position,
            library = std::move(decoderLibrary)](JobControl& control) -> JobOutcome {
        const auto opened = OpenJobReader(volume, record);
        if (!opened)
            return JobOutcome::Failed(opened.Detail());
        disk::RecordReader& reader = **opened;
        if (position >= reader.SegmentCount())
            return JobOutcome::Failed("second " + std::to_string(position) + " is past the recording's end (" +
                                      std::to_string(reader.SegmentCount()) + " seconds)");
        const int32_t width = reader.OpenWidth();
        const int32_t height = reader.OpenHeight();
        if (width <= 0 || height <= 0 || int64_t{width} * height * 2 > int64_t{VideoDecoder::kPictureBytes})
            return JobOutcome::Failed("a picture size of " + std::to_string(width) + " x " + std::to_string(height) +
                                      " is not one the decoder takes");
        const auto decoder =
            library.empty() ? std::make_unique<VideoDecoder>() : std::make_unique<VideoDecoder>(library);
        if (!decoder->IsLoaded())
            return JobOutcome::Failed("no video decoding: " + decoder->Failure());

        std::vector<uint8_t> frame(disk::RecordReader::kMaxFrameBytes);
        std::vector<uint8_t> picture(VideoDecoder::kPictureBytes);
        const size_t pictureBytes = size_t(width) * size_t(height) * 2;
        // Drawn as the player draws its quad, into a surface of its own.
        platform::WindowSurface surface(QuadThumbnail::kWidth, QuadThumbnail::kHeight);
        SurfaceRenderer renderer;
        if (renderer.Create(&surface) != 0)
            return JobOutcome::Failed("the thumbnail's picture could not be set up");
        const auto cells = QuadCells(QuadThumbnail::kWidth, QuadThumbnail::kHeight);
        QuadThumbnail thumbnail;
        thumbnail.record = record;
        thumbnail.position = position;
        reader.SelectSegment(position);
        reader.ResetFrameAssembly();
        // The second's intra frames come camera by camera from the first.
        for (int c = 0; c < kCameras; ++c) {
            if (control.StopRequested())
                return JobOutcome::Cancelled("stopped at camera " + std::to_string(c + 1));
            uint32_t length = 0;
            if (!reader.NextFrame(frame, length, true, -1, {}, nullptr) || reader.CurrentSegment() != position)
                break;
            if (length <= kNoPictureBytes)
                continue;
            if (decoder->DecodeFrame(c, std::span<const uint8_t>(frame.data(), length), picture, width, height,
                                     reader.StreamHeader()) == 0)
                continue;
            thumbnail.shown[size_t(c)] = renderer.Present(std::span<const uint8_t>(picture.data(), pictureBytes), width,
                                                          height, cells[size_t(c)]) == 1;
        }
        thumbnail.picture = surface.Copy();
        const auto shown = std::count(thumbnail.shown.begin(), thumbnail.shown.end(), true);
        return JobOutcome::Done(std::to_string(shown) + " of 4 cameras at second " + std::to_string(position),
                                std::move(thumbnail));
    };
}

}  // namespace playback
