// Snapshots and prints taken while the real timer thread plays. A tick
// decodes the four cameras one after another into the pictures the capture
// composes; the capture must see them between ticks, never halfway. Run
// under ThreadSanitizer by scripts/tsan-threads (label "threads").
#include <gtest/gtest.h>

#include <QPrinter>

#include <chrono>
#include <filesystem>
#include <thread>

#include "export/print.h"
#include "export/snapshot.h"
#include "playback/engine_harness.h"

namespace {

using playback::PlaybackEngine;

class CaptureWhilePlayingTest : public engine_test::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        // The real periodic timer: ticks on a thread of its own.
        engine = std::make_unique<PlaybackEngine>(decoder);
        engine->SetHosts(nullptr, nullptr, &mainWindow);
        Open(0);  // 30 frames a second: a tick every 33 ms
    }
    void TearDown() override
    {
        engine->Halt();
        engine->KillTimer();
    }

    std::vector<uint8_t> Capture()
    {
        std::vector<uint8_t> out(std::size_t(engine->WindowWidth()) * engine->WindowHeight() * 3);
        EXPECT_EQ(exporter::CapturePicture(*engine, out, exporter::kSnapshotBackground), 1);
        return out;
    }
    std::optional<mkdisk::FrameCode> CapturedCode(const std::vector<uint8_t>& captured, int camera)
    {
        const playback::CellRect& cell = engine->Cells()[camera];
        const std::size_t stride = std::size_t(engine->WindowWidth()) * 3;
        return mkdisk::DecodeFrameCodeRgb(captured.data() + stride * cell.top + 3 * cell.left, cell.Width(),
                                          cell.Height(), stride, 3);
    }
    // Back to the start before the record's end halts playback by itself.
    void Rewind()
    {
        if (engine->Position() >= engine->Length() - 2) {
            ASSERT_EQ(engine->ShowPosition(0, true, true), 1);
        }
    }

    // Outlives TearDown, which stops the ticks that draw into it.
    platform::WindowSurface smallView{240, 180};
};

TEST_F(CaptureWhilePlayingTest, CapturesSeeWholeTicksAndWhatStaysOnScreenAfterTheHalt)
{
    for (int round = 0; round < 20; ++round) {
        engine->PlayForward();
        ASSERT_TRUE(engine->TimerRunning());
        std::this_thread::sleep_for(std::chrono::milliseconds(3 + round * 7 % 30));

        // Playing: every tick moves all four cameras on by one frame, so a
        // capture between ticks shows them at one and the same frame.
        for (int shot = 0; shot < 10; ++shot) {
            const auto playing = Capture();
            const auto first = CapturedCode(playing, 0);
            ASSERT_TRUE(first) << "round " << round;
            for (int c = 1; c < 4; ++c) {
                const auto code = CapturedCode(playing, c);
                ASSERT_TRUE(code) << "round " << round << " camera " << c;
                EXPECT_EQ(code->second, first->second) << "round " << round << " camera " << c;
                EXPECT_EQ(code->frame, first->frame) << "round " << round << " camera " << c;
            }
        }

        // "snap" halts, then captures: the picture is the one that stays on
        // screen, and no step comes after it to move the position its name
        // and stamp are taken from.
        engine->Halt();
        const auto halted = Capture();
        const int position = engine->Position();
        std::this_thread::sleep_for(std::chrono::milliseconds(40));  // past a tick that could still come
        for (int c = 0; c < 4; ++c) {
            const auto captured = CapturedCode(halted, c);
            ASSERT_TRUE(captured) << "round " << round << " camera " << c;
            EXPECT_EQ(captured, CodeInCell(c)) << "round " << round << " camera " << c;
        }
        EXPECT_EQ(engine->Position(), position) << "round " << round;
        Rewind();
    }
}

TEST_F(CaptureWhilePlayingTest, SnapshotsAndPrintsWhilePlayingWriteWholeFiles)
{
    // A view under 65,536 pixels: Qt converts larger images for the PDF on a
    // thread pool of its own, which ThreadSanitizer cannot follow into the
    // uninstrumented library and would report.
    ASSERT_EQ(engine->Attach(&smallView, &volume, 0, 0), 1);
    ASSERT_EQ(engine->GotoStart(), 1);
    for (int round = 0; round < 6; ++round) {
        engine->PlayForward();
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + round * 11 % 30));
        const std::string jpeg = dir->File("playing" + std::to_string(round) + ".jpg");
        EXPECT_EQ(exporter::TakeSnapshot(*engine, [&](const std::string&) { return std::optional(jpeg); }), 1);
        EXPECT_GT(std::filesystem::file_size(jpeg), 500u);

        const std::string pdf = dir->File("playing" + std::to_string(round) + ".pdf");
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        EXPECT_EQ(exporter::PrintPicture(*engine, printer, [](QPrinter&) { return true; }), 1);
        EXPECT_GT(std::filesystem::file_size(pdf), 500u);
        Rewind();
    }
}

}  // namespace
