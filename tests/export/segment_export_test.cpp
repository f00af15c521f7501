// Exports over a written disk, read back with ffprobe and ffmpeg: the frame
// rate conversion per picture format from the frame codes of the decoded
// pictures, the burnt-in time, sound in step with the pictures, stopping,
// refusals and write failures.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "export/export_progress.h"
#include "export/picture_composer.h"
#include "export/segment_exporter.h"
#include "export/snapshot.h"
#include "export_tools.h"
#include "playback/engine_harness.h"
#include "support/succeeded.h"

namespace {

using capture_test::ReadBytes;
using capture_test::Shell;
using exporter::ExportMode;
using exporter::ExportOutcome;
using playback::PlaybackEngine;

class RecordingProgress final : public exporter::ExportProgress {
public:
    void Show() override { ++shows; }
    void Hide() override { ++hides; }
    void SetProgress(int percent, const std::string& text, const std::string& left) override
    {
        percents.push_back(percent);
        texts.push_back(text + "|" + left);
    }
    int shows = 0, hides = 0;
    std::vector<int> percents;
    std::vector<std::string> texts;
};

class SegmentExportTest : public engine_test::EngineTest {
protected:
    static void SetUpTestSuite()
    {
        EngineTest::SetUpTestSuite();
        mkdisk::DiskPlan plan;
        mkdisk::RecordPlan r;
        r.begin = {2006, 3, 15, 23, 59, 30};
        r.seconds = 5;
        r.audioCameras = 0x1;
        plan.records.push_back(r);  // 0: 352 x 240 at 30
        r.audioCameras = 0;
        r.seconds = 4;
        r.format = mkdisk::PictureFormat::k720x240;
        plan.records.push_back(r);  // 1: 15 a second
        r.format = mkdisk::PictureFormat::k352x288;
        plan.records.push_back(r);  // 2: 25 a second
        r.format = mkdisk::PictureFormat::k720x288;
        plan.records.push_back(r);  // 3: 12 a second
        r.format = mkdisk::PictureFormat::k352x240;
        r.seconds = 16;
        r.audioCameras = 0x1;
        plan.records.push_back(r);  // 4: long, for sound against pictures
        r.seconds = 4;
        r.audioCameras = 0;
        r.videoCameras = 0xE;
        plan.records.push_back(r);  // 5: camera 1 without video
        r.videoCameras = 0xF;
        r.audioCameras = 0x1;
        r.straddles = {{1, 2, false}};
        plan.records.push_back(r);  // 6: a frame runs on from segment 1 into 2, two more after it
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File("engine.img"))));
    }

    struct Result {
        bool prepared = false;
        ExportOutcome outcome;
        std::vector<int> positions;  // per output frame: the position its pictures came from
    };

    Result Export(int record, int begin, int end, const std::string& name, int camera = -1,
                  std::function<void(exporter::ExportProgress&, int frame)> onFrame = nullptr)
    {
        Result result;
        Open(record);
        engine->SetView(camera >= 0 ? PlaybackEngine::kSingleView : PlaybackEngine::kQuadView, std::max(camera, 0));
        engine->ShowPosition(returnPosition, true, true);
        exporter::SegmentExporter exporter(*engine, progress, [&](const ExportOutcome& o) { result.outcome = o; });
        int composed = 0;
        exporter.SetFrameTap([&](int position, int copies) {
            result.positions.insert(result.positions.end(), copies, position);
            if (onFrame)
                onFrame(progress, composed++);
        });
        ExportMode mode{};
        exporter::ExportModeFor(name, mode);
        if (withReport)
            exporter.SetReportVolume(&volume);
        if (beforePrepare)
            beforePrepare();
        result.prepared = exporter.PrepareExport(dir->File(name), returnPosition, begin, end, mode);
        failure = exporter.LastPrepareFailure();
        if (!result.prepared)
            return result;
        exporter.StartWorker();
        exporter.Wait();
        return result;
    }

    // Output frames per source frame: a run of equal frame codes.
    static std::vector<int> RunLengths(const std::vector<std::optional<mkdisk::FrameCode>>& codes)
    {
        std::vector<int> runs;
        for (std::size_t i = 0; i < codes.size(); ++i) {
            if (i > 0 && codes[i] == codes[i - 1])
                ++runs.back();
            else
                runs.push_back(1);
        }
        return runs;
    }

    // The engine may run over a decoder of the test's own: it goes first.
    void TearDown() override { engine.reset(); }

    RecordingProgress progress;
    exporter::PrepareFailure failure{};
    int returnPosition = 1;
    std::function<void()> beforePrepare;  // what playback did before the export began
    bool withReport = false;              // the report volume is set (the master needs it)
};

TEST_F(SegmentExportTest, EachFormatBecomesThirtyFramesASecondWithEveryCameraInItsCell)
{
    struct Case {
        int record, sourceRate;
        std::function<int(int frame)> copies;
    };
    const Case cases[] = {
        {0, 30, [](int) { return 1; }},
        {1, 15, [](int) { return 2; }},
        {2, 25, [](int f) { return f % 5 == 0 ? 2 : 1; }},
        {3, 12, [](int f) { return f % 2 == 0 ? 4 : 1; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("record " + std::to_string(c.record));
        const std::string name = "rate" + std::to_string(c.record) + ".mpg";
        const Result r = Export(c.record, 0, 1, name);
        ASSERT_TRUE(r.prepared);
        EXPECT_EQ(r.outcome.end, ExportOutcome::End::Completed);
        const std::string path = dir->File(name);
        EXPECT_EQ(export_test::DecodeErrors(path), std::optional<std::string>(""));
        auto video = export_test::Probe(path, "v:0");
        EXPECT_EQ(video["codec_name"], "mpeg1video");
        EXPECT_EQ(video["width"], "640");
        EXPECT_EQ(video["height"], "480");
        EXPECT_EQ(video["r_frame_rate"], "30/1");
        // Seconds 0 to 2: the end mark's second and the one after it.
        EXPECT_EQ(video["nb_read_frames"], "90");
        EXPECT_EQ(r.outcome.framesWritten, 90);

        const auto codes = export_test::CodesIn(path, 0, 0, 320, 240);
        ASSERT_EQ(codes.size(), 90u);
        std::vector<int> expected;
        for (int second = 0; second < 3; ++second)
            for (int f = 0; f < c.sourceRate; ++f)
                expected.push_back(c.copies(f));
        EXPECT_EQ(RunLengths(codes), expected);
        for (std::size_t i = 0; i < codes.size(); ++i) {
            ASSERT_TRUE(codes[i]) << "frame " << i;
            EXPECT_EQ(codes[i]->camera, 0);
            EXPECT_EQ(codes[i]->second, int(i / 30)) << "frame " << i;
            // The burnt-in time is the second of the pictures, not where the
            // reader already stands.
            EXPECT_EQ(r.positions[i], codes[i]->second) << "frame " << i;
        }
        const auto corners = export_test::CodesIn(path, 320, 240, 320, 240);
        ASSERT_FALSE(corners.empty());
        EXPECT_EQ(corners[45]->camera, 3);
        EXPECT_EQ(engine->Position(), returnPosition) << "playback back where it was";
    }
}

TEST_F(SegmentExportTest, OneCameraViewExportsThatCameraFullSizeWithItsSoundOrSilence)
{
    const Result r = Export(0, 1, 2, "one.avi", 2);
    ASSERT_TRUE(r.prepared);
    const std::string path = dir->File("one.avi");
    const auto codes = export_test::CodesIn(path, 0, 0, 640, 480);
    ASSERT_EQ(codes.size(), 90u);
    EXPECT_EQ(codes[0], (mkdisk::FrameCode{2, 1, 0}));
    EXPECT_EQ(codes[89], (mkdisk::FrameCode{2, 3, 29}));
    // Camera 3 has no sound: three seconds of silence keep the track in step.
    const auto sound = export_test::Sound(path, 8000);
    EXPECT_EQ(sound.size(), 24000u);
    EXPECT_TRUE(std::all_of(sound.begin(), sound.end(), [](int16_t s) { return s == 0; }));
}

TEST_F(SegmentExportTest, AviCarriesXvidAndTheRecordersSoundUnchanged)
{
    const Result r = Export(0, 1, 2, "sound.avi");
    ASSERT_TRUE(r.prepared);
    EXPECT_EQ(r.outcome.end, ExportOutcome::End::Completed);
    const std::string path = dir->File("sound.avi");
    EXPECT_EQ(export_test::DecodeErrors(path), std::optional<std::string>(""));
    auto video = export_test::Probe(path, "v:0");
    EXPECT_EQ(video["codec_name"], "mpeg4");
    EXPECT_EQ(video["codec_tag_string"], "XVID");
    EXPECT_EQ(video["r_frame_rate"], "30/1");
    EXPECT_EQ(video["nb_read_frames"], "90");
    auto audio = export_test::Probe(path, "a:0");
    EXPECT_EQ(audio["codec_name"], "pcm_s16le");
    EXPECT_EQ(audio["sample_rate"], "8000");
    EXPECT_EQ(audio["channels"], "1");

    // The same seconds of camera 1 as the command line's audio writes them.
    const std::string wav = dir->File("sound.wav");
    ASSERT_TRUE(Shell(std::string(QUILLON_BIN_DIR) + "/quillon-cli audio '" + dir->File("engine.img") +
                      "' --record 1 --camera 1 --from 1 --seconds 3 -o '" + wav + "'"));
    const auto exported = export_test::Sound(path, 8000);
    const auto recorded = export_test::Sound(wav, 8000);
    ASSERT_EQ(exported.size(), 24000u);
    EXPECT_EQ(exported, recorded);
}

// The click at each recorded second's start lands where that second's first
// picture is, at the same offset from the first second to the last.
TEST_F(SegmentExportTest, SoundStaysInStepWithThePicturesOverALongExport)
{
    const Result r = Export(4, 0, 13, "long.mpg");
    ASSERT_TRUE(r.prepared);
    const std::string path = dir->File("long.mpg");
    auto audio = export_test::Probe(path, "a:0");
    EXPECT_EQ(audio["codec_name"], "mp2");
    EXPECT_EQ(audio["sample_rate"], "32000");
    EXPECT_EQ(audio["channels"], "1");
    EXPECT_LE(std::stoi(audio["bit_rate"]), 192000);

    const auto codes = export_test::CodesIn(path, 0, 0, 320, 240);
    const auto sound = export_test::Sound(path, 32000);
    ASSERT_EQ(codes.size(), 450u);
    std::vector<double> offsets;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (!codes[i] || codes[i]->frame != 0)
            continue;
        // Where a second's pictures start, and the loudest edge near it.
        const long at = std::lround(double(i) / 30 * 32000);
        long best = -1;
        double loudest = 0;
        for (long n = std::max(at - 8000, 2L); n < std::min<long>(at + 8000, long(sound.size())); ++n) {
            const double edge = std::abs(double(sound[n]) - 2 * sound[n - 1] + sound[n - 2]);
            if (edge > loudest) {
                loudest = edge;
                best = n;
            }
        }
        offsets.push_back(double(best - at) / 32);  // milliseconds
    }
    ASSERT_EQ(offsets.size(), 15u);
    for (double o : offsets) {
        EXPECT_NEAR(o, offsets.front(), 2.0) << "no drift";
        EXPECT_LT(std::abs(o), 60.0) << "sound and picture within a frame or two";
    }
}

TEST_F(SegmentExportTest, StopClosesTheFileProperlyAndProgressOnlyMovesForward)
{
    const Result r = Export(4, 0, 10, "stopped.mpg", -1, [](exporter::ExportProgress& p, int frame) {
        if (frame == 100)
            p.RequestStop();
    });
    ASSERT_TRUE(r.prepared);
    EXPECT_EQ(r.outcome.end, ExportOutcome::End::Stopped);
    const std::string path = dir->File("stopped.mpg");
    EXPECT_EQ(export_test::DecodeErrors(path), std::optional<std::string>(""));
    EXPECT_EQ(export_test::Probe(path, "v:0")["nb_read_frames"], std::to_string(r.outcome.framesWritten));
    EXPECT_EQ(r.outcome.framesWritten, 101);
    EXPECT_EQ(engine->Position(), returnPosition);
    EXPECT_EQ(progress.shows, 1);
    EXPECT_EQ(progress.hides, 1);
    ASSERT_FALSE(progress.percents.empty());
    for (std::size_t i = 1; i < progress.percents.size(); ++i)
        EXPECT_GT(progress.percents[i], progress.percents[i - 1]) << "shown only when it changes";
    EXPECT_GE(progress.percents.front(), 0);
    EXPECT_LE(progress.percents.back(), 100);
}

TEST_F(SegmentExportTest, EqualMarksAndAnEndPastTheRecordExportWhatThereIs)
{
    Result r = Export(1, 2, 2, "equal.avi");
    ASSERT_TRUE(r.prepared);
    EXPECT_EQ(r.outcome.framesWritten, 60) << "the mark's second and the next";
    for (int p : progress.percents) {
        EXPECT_GE(p, 0);
        EXPECT_LE(p, 100);
    }
    r = Export(1, 2, 40, "past.mpg");
    ASSERT_TRUE(r.prepared);
    EXPECT_EQ(r.outcome.end, ExportOutcome::End::RecordEnded);
    EXPECT_EQ(r.outcome.lastPosition, 3);
    EXPECT_EQ(export_test::DecodeErrors(dir->File("past.mpg")), std::optional<std::string>(""));
}

TEST_F(SegmentExportTest, RefusalsLeaveNoFile)
{
    using exporter::PrepareFailure;
    EXPECT_FALSE(Export(1, 4, 6, "late.mpg").prepared) << "the record has seconds 0 to 3";
    EXPECT_EQ(failure, PrepareFailure::BeginPastRecord);
    EXPECT_FALSE(Export(1, 4, 6, "late.avi").prepared);
    EXPECT_FALSE(Export(1, 2, 1, "backwards.mpg").prepared);
    EXPECT_EQ(failure, PrepareFailure::BadMarks);
    EXPECT_FALSE(Export(1, 0, 1, "capitals.MPG").prepared);
    EXPECT_EQ(failure, PrepareFailure::BadName);
    EXPECT_FALSE(Export(1, 0, 1, "no-such-folder/x.avi").prepared);
    EXPECT_EQ(failure, PrepareFailure::CannotOpen);
    EXPECT_FALSE(Export(1, 0, 1, "no-such-folder/x.mpg").prepared);
    for (const char* name : {"late.mpg", "late.avi", "backwards.mpg", "capitals.MPG"})
        EXPECT_FALSE(std::filesystem::exists(dir->File(name))) << name;
    EXPECT_EQ(progress.shows, 0) << "the dialog is not shown";
}

// An installation that lost its decoding library must not write exports of
// background cells under true time stamps and call them complete: what needs
// pictures is refused and says why (snapshots and prints too); the master, a
// copy of the recorder's frames, is still written.
TEST_F(SegmentExportTest, WithoutTheDecodingLibraryOnlyTheMasterIsWritten)
{
    playback::VideoDecoder none(dir->File("no-such-library.so"));
    ASSERT_FALSE(none.IsLoaded());
    auto manual = std::make_unique<engine_test::ManualTimer>();
    timer = manual.get();
    engine = std::make_unique<PlaybackEngine>(none, std::move(manual));
    engine->SetHosts(&slider, &messages, &mainWindow);
    EXPECT_NE(engine->DecodingFailure().find("no-such-library.so"), std::string::npos) << engine->DecodingFailure();

    for (const char* name : {"blind.mpg", "blind.avi", "blind.mp4"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(Export(0, 0, 1, name).prepared);
        EXPECT_EQ(failure, exporter::PrepareFailure::NoDecoding);
        EXPECT_FALSE(std::filesystem::exists(dir->File(name)));
    }
    withReport = true;
    const Result master = Export(0, 0, 1, "copy.mkv");
    ASSERT_TRUE(master.prepared);
    EXPECT_EQ(master.outcome.end, ExportOutcome::End::Completed) << master.outcome.error;
    std::vector<uint8_t> pixels(size_t(engine->WindowWidth()) * engine->WindowHeight() * 3);
    EXPECT_EQ(exporter::CapturePicture(*engine, pixels, exporter::kSnapshotBackground), 0)
        << "no snapshot or print of dark cells";
    engine.reset();
}

TEST_F(SegmentExportTest, AFullDiskIsAFailureNeverACompletion)
{
    for (const char* name : {"full.mpg", "full.avi"}) {
        ASSERT_EQ(::symlink("/dev/full", dir->File(name).c_str()), 0);
        const Result r = Export(0, 0, 1, name);
        if (r.prepared) {
            EXPECT_EQ(r.outcome.end, ExportOutcome::End::WriteFailed) << name;
            EXPECT_FALSE(r.outcome.error.empty());
        }
        EXPECT_EQ(engine->Position(), returnPosition);
    }
}

// A file that stops growing mid-export (here: a file-size limit, as a full
// disk would): the export stops, says why, and never reports completion.
TEST_F(SegmentExportTest, AWriteFailingMidwayStopsTheExportAndSaysSo)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    for (const char* name : {"cut.mpg", "cut.avi"}) {
        rlimit small = old;
        small.rlim_cur = 600 * 1024;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const Result r = Export(4, 0, 12, name);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
        ASSERT_TRUE(r.prepared) << name;
        EXPECT_EQ(r.outcome.end, ExportOutcome::End::WriteFailed) << name;
        EXPECT_NE(r.outcome.error.find("cut."), std::string::npos) << r.outcome.error;
        EXPECT_LT(r.outcome.framesWritten, 200) << name << ": stopped soon after";
        EXPECT_EQ(engine->Position(), returnPosition);
    }
}

TEST_F(SegmentExportTest, TheSameExportGivesTheSameBytes)
{
    for (const char* kind : {"mpg", "avi"}) {
        const std::string a = std::string("same-a.") + kind, b = std::string("same-b.") + kind;
        ASSERT_TRUE(Export(0, 0, 1, a).prepared);
        ASSERT_TRUE(Export(0, 0, 1, b).prepared);
        const auto first = ReadBytes(dir->File(a));
        EXPECT_GT(first.size(), 10000u);
        EXPECT_TRUE(first == ReadBytes(dir->File(b))) << kind;
    }
}

// Camera 1 has no video: its cell, where the time is stamped, is painted
// afresh for every frame, so the stamps of earlier seconds never pile up.
TEST_F(SegmentExportTest, TheStampStaysReadableWhenCameraOneHasNoVideo)
{
    const Result r = Export(5, 0, 2, "nocam1.mpg");
    ASSERT_TRUE(r.prepared);
    EXPECT_EQ(r.outcome.end, ExportOutcome::End::Completed);
    // Camera 1's cell is the no-picture colour; camera 2 shows its own.
    EXPECT_FALSE(export_test::CodesIn(dir->File("nocam1.mpg"), 0, 0, 320, 240).at(60));
    EXPECT_EQ(export_test::CodesIn(dir->File("nocam1.mpg"), 320, 0, 320, 240).at(60), (mkdisk::FrameCode{1, 2, 0}));

    // The export's composer after two seconds' frames is exactly a fresh one.
    engine->ShowPosition(2, true, true);
    std::vector<uint8_t> kept(640 * 480 * 3), fresh(640 * 480 * 3);
    exporter::PictureComposer composer, once;
    ASSERT_TRUE(composer.Setup(640, 480, exporter::kSnapshotBackground));
    ASSERT_TRUE(once.Setup(640, 480, exporter::kSnapshotBackground));
    for (int position = 0; position <= 2; ++position)
        composer.Compose(*engine, engine->StampAt(position), exporter::PictureComposer::Stamp::FrameCorner);
    once.Compose(*engine, engine->StampAt(2), exporter::PictureComposer::Stamp::FrameCorner);
    ASSERT_TRUE(composer.CopyOut(kept, 640 * 3, true));
    ASSERT_TRUE(once.CopyOut(fresh, 640 * 3, true));
    EXPECT_TRUE(kept == fresh) << "stamps of earlier seconds are left in camera 1's cell";
}

// An export whose first second has no frame to read, started while paused
// playback shows another position: that position's pictures never appear
// under the export's time.
TEST_F(SegmentExportTest, NoPictureOfThePausedPositionIsExportedForASecondWithoutFrames)
{
    // Record 1's last second (3) with its video area zeroed.
    std::vector<uint8_t> image;
    {
        std::ifstream in(dir->File("engine.img"), std::ios::binary);
        image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const auto be32 = [&](std::size_t at) {
        return uint32_t(image.at(at)) << 24 | uint32_t(image.at(at + 1)) << 16 | uint32_t(image.at(at + 2)) << 8 |
               image.at(at + 3);
    };
    const std::size_t entry = std::size_t(be32(12)) * 512 + 32;
    const std::size_t index = std::size_t(be32(16)) * 512 + std::size_t(be32(entry + 10)) * 4;
    const std::size_t first = std::size_t(be32(index + 3 * 4)) * 512 + 16384;
    const std::size_t end = std::size_t(be32(index + 4 * 4)) * 512;
    ASSERT_LT(first, end);
    std::fill(image.begin() + std::ptrdiff_t(first), image.begin() + std::ptrdiff_t(end), 0);
    const std::string damaged = dir->File("noframes.img");
    std::ofstream(damaged, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    platform::SetDriveImages({damaged});
    ASSERT_TRUE(volume.Load(0));

    returnPosition = 1;  // paused there, all four pictures shown
    const Result r = Export(1, 3, 3, "noframes.mpg");
    ASSERT_TRUE(r.prepared);
    ASSERT_GT(r.outcome.framesWritten, 0);
    const std::string path = dir->File("noframes.mpg");
    const std::pair<int, int> cells[] = {{0, 0}, {320, 0}, {0, 240}, {320, 240}};
    for (const auto& [left, top] : cells)
        for (const auto& code : export_test::CodesIn(path, left, top, 320, 240))
            EXPECT_FALSE(code) << "camera " << code->camera + 1 << " of second " << code->second;
}

// A frame read whole whose picture the decoder cannot make (here camera 2's
// fifth picture of second 1, zeroed after its start code as a wiped stretch
// of a disk leaves it):
// the cell shows no picture in that frame, and the outcome, the report and
// the command line name the camera, the second and the count.
TEST_F(SegmentExportTest, APictureThatCannotBeDecodedIsNamedNotPassedOver)
{
    mkdisk::DiskPlan plan;
    mkdisk::RecordPlan record;
    record.begin = {2006, 3, 15, 23, 59, 30};
    record.seconds = 3;
    plan.records.push_back(record);
    const std::string image = dir->File("undecodable.img");
    mkdisk::Manifest manifest;
    ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, image, &manifest)));
    const mkdisk::ManifestRecord& written = manifest.records.at(0);
    const auto frame = std::find_if(written.frames.begin(), written.frames.end(), [](const mkdisk::ManifestFrame& f) {
        return f.camera == 1 && f.second == 1 && f.frame == 4 && f.video && !f.intra && f.bytesInSegment == f.length;
    });
    ASSERT_NE(frame, written.frames.end());
    const uint64_t at = uint64_t(written.segments.at(frame->segment).firstSector) * mkdisk::kSectorSize + frame->offset;
    {
        std::fstream disk(image, std::ios::binary | std::ios::in | std::ios::out);
        char code[4] = {};
        disk.seekg(std::streamoff(at));
        ASSERT_TRUE(disk.read(code, 4));
        ASSERT_EQ(std::string(code, 4), std::string("\x00\x00\x01\xB6", 4)) << "a VOP start code";
        disk.seekp(std::streamoff(at + 4));
        ASSERT_TRUE(disk.write(std::string(frame->length - 4, '\0').data(), std::streamsize(frame->length - 4)));
    }
    platform::SetDriveImages({image});
    ASSERT_TRUE(volume.Load(0));
    withReport = true;
    const Result r = Export(0, 0, 1, "undecodable.mpg");
    ASSERT_TRUE(r.prepared);
    EXPECT_EQ(r.outcome.end, ExportOutcome::End::Completed) << r.outcome.error;
    ASSERT_EQ(r.outcome.undecoded.size(), 1u);
    const exporter::UndecodedPictures& missing = r.outcome.undecoded[0];
    EXPECT_EQ(missing.camera, 1);
    EXPECT_EQ(missing.position, 1);
    EXPECT_EQ(missing.count, 1);
    EXPECT_EQ(exporter::UndecodedText(missing), "camera 2 at position 1 (2006/03/15 23:59:31): 1 picture");
    std::ifstream report(r.outcome.reportPath);
    const std::string text((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("could not be decoded (damaged frames): camera 2 at position 1"), std::string::npos) << text;
}

// Playback paused with a frame half cut (its start carried over the end of
// segment 1, its rest joined in segment 2) leaves nothing in the export: it
// begins at segment 2 as a fresh one does, byte for byte.
TEST_F(SegmentExportTest, AnExportAfterPlaybackPausedInsideAFrameGivesTheFreshExportsBytes)
{
    returnPosition = 0;
    for (const char* kind : {"mpg", "avi"}) {
        SCOPED_TRACE(kind);
        const std::string fresh = std::string("fresh.") + kind, paused = std::string("paused.") + kind;
        beforePrepare = nullptr;
        ASSERT_TRUE(Export(6, 2, 3, fresh).prepared);
        beforePrepare = [this] {
            // Play on through the frames as a tick does, into segment 2.
            ASSERT_EQ(engine->ShowPosition(1, true, true), 1);
            std::vector<uint8_t> frame(disk::RecorderVolume::kMaxFrameBytes);
            uint32_t length = 0;
            while (volume.CurrentSegment() < 2)
                ASSERT_TRUE(volume.NextFrame(frame, length, false, -1, {}, nullptr));
        };
        ASSERT_TRUE(Export(6, 2, 3, paused).prepared);
        beforePrepare = nullptr;
        const auto first = ReadBytes(dir->File(fresh));
        EXPECT_GT(first.size(), 10000u);
        EXPECT_TRUE(first == ReadBytes(dir->File(paused)));
        EXPECT_EQ(Shell("cmp '" + dir->File(fresh) + "' '" + dir->File(paused) + "'"), "");
    }
}

// Playback stepped on into its second, then an export of each kind: the
// engine's reader stands where it stood (record, segment, cursor, stream
// header), the same pictures are shown, and the next step shows what it
// shows without an export between (the decoder's reference came back too).
TEST_F(SegmentExportTest, AnExportLeavesPlaybacksReaderAndPicturesWhereTheyWere)
{
    constexpr int kSteps = 3;
    struct Stand {
        int32_t record = -1;
        uint32_t segment = 0, cursor = 0;
        std::vector<uint8_t> header;
        int position = -1;
        std::vector<std::vector<uint8_t>> pictures;
        std::vector<bool> has;
    };
    const auto stand = [this] {
        auto lock = engine->LockStream();
        Stand s;
        s.record = volume.OpenRecordNumber();
        s.segment = volume.CurrentSegment();
        s.cursor = volume.Cursor();
        s.header.assign(volume.StreamHeader().begin(), volume.StreamHeader().end());
        s.position = engine->Position();
        for (int camera = 0; camera < playback::kCameras; ++camera) {
            s.pictures.emplace_back(engine->Picture(camera).begin(), engine->Picture(camera).end());
            s.has.push_back(engine->HasPicture(camera));
        }
        return s;
    };
    const auto expectSame = [](const Stand& a, const Stand& b) {
        EXPECT_EQ(a.record, b.record);
        EXPECT_EQ(a.segment, b.segment);
        EXPECT_EQ(a.cursor, b.cursor);
        EXPECT_EQ(a.header, b.header);
        EXPECT_EQ(a.position, b.position);
        for (int camera = 0; camera < playback::kCameras; ++camera) {
            EXPECT_EQ(a.has[camera], b.has[camera]) << "camera " << camera + 1;
            EXPECT_TRUE(a.pictures[camera] == b.pictures[camera]) << "camera " << camera + 1;
        }
    };

    // Without an export: the pictures one step further.
    returnPosition = 1;
    Open(0);
    engine->SetView(PlaybackEngine::kQuadView, 0);
    ASSERT_EQ(engine->ShowPosition(returnPosition, true, true), 1);
    for (int step = 0; step <= kSteps; ++step)
        ASSERT_EQ(engine->StepForward(), 1);
    const Stand further = stand();
    ASSERT_TRUE(further.has[0]);

    withReport = true;
    for (const char* name : {"stand.mpg", "stand.avi", "stand.mkv"}) {
        SCOPED_TRACE(name);
        Stand before;
        beforePrepare = [&] {
            for (int step = 0; step < kSteps; ++step)
                ASSERT_EQ(engine->StepForward(), 1);
            before = stand();
        };
        const Result r = Export(0, 0, 2, name);
        ASSERT_TRUE(r.prepared);
        EXPECT_EQ(r.outcome.end, ExportOutcome::End::Completed) << r.outcome.error;
        ASSERT_EQ(before.record, 0);
        ASSERT_GT(before.cursor, 0u);
        expectSame(stand(), before);
        EXPECT_TRUE(CodeInCell(0).has_value()) << "camera 1's picture is shown";
        ASSERT_EQ(engine->StepForward(), 1);
        expectSame(stand(), further);
    }
    beforePrepare = nullptr;
    withReport = false;
}

}  // namespace
