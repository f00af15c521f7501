// quillon-cli still: the picture that a seek shows, saved as PNG. The seek is
// the playback engine's: select the segment, drop any frame assembly, take
// one intra frame per camera in camera order, decode the shown cameras and
// present them into a headless 640 x 480 video window.
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "disk/recorder_volume.h"
#include "platform/window_surface.h"
#include "playback/video_decoder.h"
#include "playback/video_presenter.h"
#include "playback/view_layout.h"
#include "tools/cli/commands.h"
#include "tools/cli/options.h"
#include "tools/cli/volume_arg.h"

namespace cli {
namespace {

constexpr int kViewWidth = 640;
constexpr int kViewHeight = 480;
// A frame this short stands for a camera without picture.
constexpr uint32_t kNoPictureFrameBytes = 100;

// "quad" or a camera number 1..4; viewMode and the camera of the one-camera view.
bool ParseView(const std::string& text, int& viewMode, int& camera)
{
    viewMode = playback::VideoPresenter::kQuadView;
    camera = 0;
    if (text == "quad")
        return true;
    if (text.size() == 1 && text[0] >= '1' && text[0] <= '4') {
        viewMode = playback::VideoPresenter::kSingleView;
        camera = text[0] - '1';
        return true;
    }
    return false;
}

}  // namespace

int RunStill(const Args& args)
{
    Options options;
    if (!options.Parse(args, {"--record", "--at", "--view", "-o"}, {}))
        return Fail(options.error);
    const auto out = options.Value("-o");
    if (options.positional.size() != 1 || !out || !options.Value("--at"))
        return Fail("usage: quillon-cli still DISK --record N --at S [--view quad|1..4] -o OUT.png");
    int viewMode = 0;
    int selected = 0;
    if (!ParseView(options.Value("--view").value_or("quad"), viewMode, selected))
        return Fail("--view takes quad or a camera number 1 to 4");

    disk::RecorderVolume volume;
    std::string error;
    uint32_t record = 0;
    if (!LoadVolume(options.positional[0], volume, error) || !OpenRecordOption(options, volume, record, error))
        return Fail(error);
    const uint32_t length = volume.SegmentCount();
    int64_t at = 0;
    if (length == 0)
        return Fail("record " + std::to_string(record + 1) + " has no segments");
    if (!options.Number("--at", 0, length - 1, 0, at))
        return Fail("--at must lie between 0 and " + std::to_string(length - 1));

    playback::VideoDecoder decoder;
    for (int camera = 0; camera < playback::kCameras; ++camera)
        decoder.SetFormat(camera, 1);
    platform::WindowSurface window(kViewWidth, kViewHeight);
    playback::VideoPresenter presenter;
    const auto cells = playback::QuadCells(kViewWidth, kViewHeight);
    const int32_t width = volume.OpenWidth();
    const int32_t height = volume.OpenHeight();

    if (!volume.SelectSegment(static_cast<uint32_t>(at)))
        return Fail("cannot seek to segment " + std::to_string(at));
    volume.ResetFrameAssembly();
    std::vector<uint8_t> frame(disk::RecorderVolume::kMaxFrameBytes);
    std::vector<uint8_t> picture(playback::VideoDecoder::kPictureBytes);
    // One line per camera: camera (from 1), frame bytes or "-", shown 1/0.
    for (int camera = 0; camera < playback::kCameras; ++camera) {
        uint32_t n = 0;
        const bool read = volume.NextFrame(frame, n, true, -1, {}, nullptr);
        const bool isShown = viewMode == playback::VideoPresenter::kQuadView || camera == selected;
        bool shown = false;
        if (read && isShown) {
            if (n > kNoPictureFrameBytes) {
                const std::span<const uint8_t> compressed(frame.data(), n);
                if (decoder.DecodeFrame(camera, compressed, picture, width, height, volume.StreamHeader()) != 0)
                    shown = presenter.Present(&window, viewMode, cells, camera, picture, width, height) != 0;
            } else {
                presenter.Present(&window, viewMode, cells, camera, {}, width, height);
            }
        }
        if (read)
            std::printf("%d\t%u\t%d\n", camera + 1, n, shown ? 1 : 0);
        else
            std::printf("%d\t-\t0\n", camera + 1);
    }
    if (!window.Copy().save(QString::fromStdString(*out), "PNG"))
        return Fail("cannot write " + *out);
    return 0;
}

}  // namespace cli
