// The quad thumbnail: one second's intra frames, decoded and shrunk.
#include "playback/quad_thumbnail_job.h"

#include <algorithm>

#include "playback/job_volume.h"
#include "playback/video_decoder.h"

namespace playback {
namespace {

constexpr int kCameras = 4;
// A frame this short stands for a camera without picture.
constexpr uint32_t kNoPictureBytes = 100;

uint8_t Clamp(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

void ShrinkIntoCell(std::span<const uint8_t> yuy2, int32_t width, int32_t height, int cell, QuadThumbnail& into)
{
    if (width < 2 || height < 1 || cell < 0 || cell >= kCameras || yuy2.size() < size_t(width) * size_t(height) * 2)
        return;
    const int x0 = (cell % 2) * QuadThumbnail::kCellWidth;
    const int y0 = (cell / 2) * QuadThumbnail::kCellHeight;
    for (int y = 0; y < QuadThumbnail::kCellHeight; ++y) {
        const int64_t sy = (int64_t{2 * y + 1} * height) / (2 * QuadThumbnail::kCellHeight);
        const uint8_t* row = yuy2.data() + size_t(sy) * size_t(width) * 2;
        uint8_t* out = into.rgb.data() + (size_t(y0 + y) * QuadThumbnail::kWidth + size_t(x0)) * 3;
        for (int x = 0; x < QuadThumbnail::kCellWidth; ++x) {
            const int64_t sx = (int64_t{2 * x + 1} * width) / (2 * QuadThumbnail::kCellWidth);
            const uint8_t* pair = row + size_t(sx / 2) * 4;  // Y0 U Y1 V
            const int luma = pair[sx % 2 == 0 ? 0 : 2];
            const int c = 298 * (luma - 16);
            const int d = pair[1] - 128;
            const int e = pair[3] - 128;
            out[0] = Clamp((c + 409 * e + 128) >> 8);
            out[1] = Clamp((c - 100 * d - 208 * e + 128) >> 8);
            out[2] = Clamp((c + 516 * d + 128) >> 8);
            out += 3;
        }
    }
}

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
            ShrinkIntoCell(std::span<const uint8_t>(picture.data(), pictureBytes), width, height, c, thumbnail);
            thumbnail.shown[size_t(c)] = true;
        }
        const auto shown = std::count(thumbnail.shown.begin(), thumbnail.shown.end(), true);
        return JobOutcome::Done(std::to_string(shown) + " of 4 cameras at second " + std::to_string(position),
                                std::move(thumbnail));
    };
}

}  // namespace playback
