#pragma once
// A headless playback engine over a written disk: an injected timer whose
// ticks the test fires itself, video and main windows as plain images, a
// slider and message boxes that only remember what they were asked.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/drive_table.h"
#include "platform/window_surface.h"
#include "playback/playback_engine.h"
#include "playback/video_decoder.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"
#include "tools/mkdisk/frame_code.h"

namespace engine_test {

class ManualTimer final : public playback::TickTimer {
public:
    bool Start(unsigned periodMs, std::function<void()> tick) override
    {
        period = periodMs;
        callback = std::move(tick);
        ++starts;
        return true;
    }
    void Kill() override { callback = nullptr; }
    bool IsRunning() const override { return callback != nullptr; }
    void Fire(int times = 1)
    {
        for (int i = 0; i < times && callback; ++i)
            callback();
    }

    unsigned period = 0;
    int starts = 0;
    std::function<void()> callback;
};

class FakeSlider final : public playback::PositionSlider {
public:
    int TrackLength() const override { return 300; }
    bool DrawPosition(int offset) override
    {
        if (offset > 300)
            return false;
        if (offset >= 0)
            thumb = offset;
        else if (thumb < 0)
            thumb = 0;
        ++draws;
        return true;
    }
    int PositionOffset() const override { return thumb; }
    void SetBeginMark(int offset) override { begin = offset; }
    void SetEndMark(int offset) override { end = offset; }
    void ClearMarks() override { begin = end = -1; }

    int thumb = -1, begin = -1, end = -1, draws = 0;
};

class FakeMessages final : public playback::MessageSink {
public:
    void ShowFreshUiText(int line) override { lines.push_back(line); }
    std::vector<int> lines;
};

// Energy of one frequency in 16-bit little-endian PCM at 8 kHz.
inline double TonePower(const std::vector<uint8_t>& pcm, double hz)
{
    double re = 0, im = 0;
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        const double s = int16_t(pcm[i] | pcm[i + 1] << 8);
        const double t = double(i / 2) / 8000.0;
        re += s * std::cos(2 * M_PI * hz * t);
        im += s * std::sin(2 * M_PI * hz * t);
    }
    return re * re + im * im;
}

class EngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (!QGuiApplication::instance()) {
            static int argc = 1;
            static char name[] = "engine_test";
            static char* argv[] = {name, nullptr};
            static QGuiApplication app(argc, argv);
        }
        dir = std::make_unique<testing_support::TempDir>();
        mkdisk::DiskPlan plan;
        mkdisk::RecordPlan quad;  // record 0: 30 fps, sound on cameras 1 and 3
        quad.begin = {2006, 3, 15, 23, 59, 30};
        quad.seconds = 8;
        quad.audioCameras = 0x5;
        mkdisk::RecordPlan wide;  // record 1: 720x288 at 12 fps, sound on camera 3 only
        wide.format = mkdisk::PictureFormat::k720x288;
        wide.seconds = 5;
        wide.audioCameras = 0x4;
        plan.records = {quad, wide};
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File("engine.img"))));
    }
    static void TearDownTestSuite() { dir.reset(); }

    void SetUp() override
    {
        platform::SetDriveImages({dir->File("engine.img")});
        ASSERT_TRUE(volume.Load(0));
        ASSERT_TRUE(decoder.IsLoaded());
        auto manual = std::make_unique<ManualTimer>();
        timer = manual.get();
        engine = std::make_unique<playback::PlaybackEngine>(decoder, std::move(manual));
        engine->SetHosts(&slider, &messages, &mainWindow);
        engine->SetSoundTap([this](std::span<const uint8_t> pcm) { sound.emplace_back(pcm.begin(), pcm.end()); });
    }

    void Open(int record)
    {
        ASSERT_EQ(engine->Attach(&video, &volume, record, 0), 1);
        ASSERT_EQ(engine->GotoStart(), 1);
        ASSERT_TRUE(engine->IsReady());
    }

    // The frame code shown in a rectangle of the video window.
    std::optional<mkdisk::FrameCode> CodeIn(const playback::CellRect& r)
    {
        const QImage image = video.Copy();
        const uint8_t* at = image.constBits() + r.top * image.bytesPerLine() + r.left * 4;
        return mkdisk::DecodeFrameCodeRgb(at, r.Width(), r.Height(), size_t(image.bytesPerLine()), 4);
    }
    std::optional<mkdisk::FrameCode> CodeInCell(int camera) { return CodeIn(engine->Cells()[camera]); }
    std::optional<mkdisk::FrameCode> CodeInWindow() { return CodeIn({0, 0, video.Width(), video.Height()}); }

    static inline std::unique_ptr<testing_support::TempDir> dir;
    disk::RecorderVolume volume;
    playback::VideoDecoder decoder{std::string(QUILLON_BIN_DIR) + "/libquillon_decode.so"};
    platform::WindowSurface video{640, 480};
    platform::WindowSurface mainWindow{925, 640};
    FakeSlider slider;
    FakeMessages messages;
    ManualTimer* timer = nullptr;
    std::unique_ptr<playback::PlaybackEngine> engine;
    std::vector<std::vector<uint8_t>> sound;
};

}  // namespace engine_test
