// The master (.mkv) and the working copy (.mp4) through the program's
// exporter over a written disk, read back with ffprobe and ffmpeg and set
// against what quillon-cli frames and audio take from the same disk.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "export/export_progress.h"
#include "export/segment_exporter.h"
#include "export_tools.h"
#include "playback/engine_harness.h"
#include "support/run_tool.h"
#include "support/succeeded.h"

namespace {

using capture_test::ReadBytes;
using capture_test::Shell;
using exporter::ExportMode;
using exporter::ExportOutcome;
using playback::PlaybackEngine;

class StoppingProgress final : public exporter::ExportProgress {
public:
    void Show() override {}
    void Hide() override {}
    void SetProgress(int percent, const std::string&, const std::string&) override
    {
        if (stopAt >= 0 && percent >= stopAt)
            RequestStop();
    }
    int stopAt = -1;
};

using testing_support::Lines;

std::vector<std::string> Fields(const std::string& line, char separator)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, separator);)
        fields.push_back(field);
    return fields;
}

// ffprobe's value of one entry per stream of a kind ("v", "a", "s"), in order.
std::vector<std::string> StreamEntries(const std::string& path, const std::string& kind, const std::string& entry)
{
    const auto out =
        Shell("ffprobe -v error -select_streams " + kind + " -show_entries " + entry + " -of csv=p=0 '" + path + "'");
    return out ? Lines(*out) : std::vector<std::string>{};
}

// Each packet of a stream as "pts_time,flags".
std::vector<std::string> Packets(const std::string& path, const std::string& stream)
{
    const auto out = Shell("ffprobe -v error -select_streams " + stream +
                           " -show_entries packet=pts_time,size,flags"
                           " -of csv=p=0 '" +
                           path + "'");
    return out ? Lines(*out) : std::vector<std::string>{};
}

// The bytes of a stream's packets one after the other, as ffmpeg copies them.
std::string CopiedPackets(const std::string& path, const std::string& stream, const std::string& format)
{
    return Shell("ffmpeg -nostdin -v error -i '" + path + "' -map 0:" + stream + " -c copy -f " + format + " -")
        .value_or("<ffmpeg failed>");
}

class ExportModesTest : public engine_test::EngineTest {
protected:
    static void SetUpTestSuite()
    {
        EngineTest::SetUpTestSuite();
        mkdisk::DiskPlan plan;
        mkdisk::RecordPlan r;
        r.begin = {2006, 3, 15, 23, 59, 30};
        r.seconds = 3;
        r.audioCameras = 0x5;
        // Frames that straddle segment ends, joined by frame assembly.
        r.straddles = {{0, 0, false}, {1, 2, true}};
        plan.records.push_back(r);  // 0: 352 x 240 at 30, sound on cameras 1 and 3
        r.straddles.clear();
        r.format = mkdisk::PictureFormat::k720x288;
        r.seconds = 4;
        r.videoCameras = 0xB;
        r.audioCameras = 0x2;
        r.emptySegments = {2};
        plan.records.push_back(r);  // 1: 12 a second, camera 3 without video, second 2 lost
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, dir->File("engine.img"))));
    }

    struct Result {
        bool prepared = false;
        ExportOutcome outcome;
        std::string path;
    };

    Result Export(int record, int begin, int end, const std::string& name, int camera = -1, int stopAt = -1)
    {
        Result result;
        Open(record);
        engine->SetView(camera >= 0 ? PlaybackEngine::kSingleView : PlaybackEngine::kQuadView, std::max(camera, 0));
        engine->ShowPosition(returnPosition, true, true);
        StoppingProgress progress;
        progress.stopAt = stopAt;
        exporter::SegmentExporter exporter(*engine, progress, [&](const ExportOutcome& o) { result.outcome = o; });
        exporter.SetReportVolume(&volume);
        ExportMode mode{};
        exporter::ExportModeFor(name, mode);
        result.path = dir->File(name);
        result.prepared = exporter.PrepareExport(result.path, returnPosition, begin, end, mode);
        failure = exporter.LastPrepareFailure();
        if (result.prepared) {
            exporter.StartWorker();
            exporter.Wait();
        }
        return result;
    }

    // quillon-cli frames from a position, one list of frames per camera,
    // taking the rounds of four calls that start at or before lastPosition.
    std::vector<std::vector<std::string>> CliFrames(int record, int from, int lastPosition, std::string& header)
    {
        const std::string dump = dir->File("dump" + std::to_string(record) + "-" + std::to_string(from));
        const auto out = Shell(std::string(QUILLON_BIN_DIR) + "/quillon-cli frames '" + dir->File("engine.img") +
                               "' --record " + std::to_string(record + 1) + " --from " + std::to_string(from) +
                               " --intra-first --dump '" + dump + "'");
        std::vector<std::vector<std::string>> frames(4);
        if (!out)
            return frames;
        const auto lines = Lines(*out);
        for (std::size_t call = 0; call < lines.size(); ++call) {
            const auto f = Fields(lines[call], '\t');
            const int roundStart = call < 4 ? from : std::stoi(Fields(lines[call / 4 * 4 - 1], '\t')[2]);
            if (f.size() < 4 || f[3] == "-" || roundStart > lastPosition)
                continue;
            char name[32];
            std::snprintf(name, sizeof name, "/%06zu.m4v", call);
            const auto bytes = ReadBytes(dump + name);
            frames[call % 4].emplace_back(bytes.begin(), bytes.end());
        }
        const auto h = ReadBytes(dump + "/header.bin");
        header.assign(h.begin(), h.end());
        return frames;
    }

    exporter::PrepareFailure failure{};
    int returnPosition = 1;
};

TEST_F(ExportModesTest, TheMasterHoldsEachCamerasFramesAsCutTimedAtTheRecordsRateWithSoundAndTime)
{
    const Result r = Export(0, 0, 1, "quad.mkv");
    ASSERT_TRUE(r.prepared);
    EXPECT_EQ(r.outcome.end, ExportOutcome::End::Completed);
    EXPECT_EQ(engine->Position(), returnPosition) << "playback back where it was";

    EXPECT_EQ(StreamEntries(r.path, "v", "stream=codec_name,width,height,r_frame_rate"),
              std::vector<std::string>(4, "mpeg4,352,240,30/1"));
    EXPECT_EQ(StreamEntries(r.path, "v", "stream_tags=title"),
              (std::vector<std::string>{"Camera 1", "Camera 2", "Camera 3", "Camera 4"}));
    EXPECT_EQ(StreamEntries(r.path, "a", "stream=codec_name,sample_rate,channels"),
              std::vector<std::string>(2, "pcm_s16le,8000,1"));
    EXPECT_EQ(StreamEntries(r.path, "a", "stream_tags=title"),
              (std::vector<std::string>{"Camera 1 sound", "Camera 3 sound"}));
    EXPECT_EQ(export_test::Probe(r.path, "")["duration"], "3.000000");
    EXPECT_EQ(Shell("ffmpeg -nostdin -v error -i '" + r.path + "' -map 0:v -map 0:a -f null - 2>&1"),
              std::optional<std::string>(""))
        << "every track decodes cleanly";

    // Byte for byte the frames quillon-cli frames cuts over the same positions;
    // the record's very last frame (camera 4's) is never delivered.
    std::string header;
    const auto cli = CliFrames(0, 0, 2, header);
    const auto extradata = StreamEntries(r.path, "v", "stream=extradata_size");
    int64_t frames = 0;
    for (int camera = 0; camera < 4; ++camera) {
        SCOPED_TRACE("camera " + std::to_string(camera + 1));
        const std::string stream = "v:" + std::to_string(camera);
        const auto packets = Packets(r.path, stream);
        ASSERT_EQ(packets.size(), camera == 3 ? 89u : 90u);
        ASSERT_EQ(cli[camera].size(), packets.size());
        std::string expected;
        for (std::size_t i = 0; i < packets.size(); ++i) {
            const auto f = Fields(packets[i], ',');
            ASSERT_EQ(f.size(), 3u);
            EXPECT_NEAR(std::stod(f[0]), double(i) / 30, 0.0006) << "frame " << i;
            EXPECT_EQ(std::stoul(f[1]), cli[camera][i].size()) << "frame " << i;
            EXPECT_EQ(f[2][0] == 'K', i % 30 == 0) << "key frames are the intra frames, frame " << i;
            expected += cli[camera][i];
        }
        EXPECT_TRUE(CopiedPackets(r.path, stream, "rawvideo") == expected);
        EXPECT_EQ(extradata[camera], "29");
        frames += int64_t(packets.size());
    }
    EXPECT_EQ(r.outcome.framesWritten, frames);
    // The codec private data is the captured stream header.
    const auto hash = Shell("ffprobe -v error -select_streams v:0 -show_data_hash MD5 -show_entries "
                            "stream=extradata_hash -of csv=p=0 '" +
                            r.path + "'");
    const auto sum = Shell("md5sum '" + dir->File("dump0-0/header.bin") + "' | cut -c1-32");
    ASSERT_TRUE(hash && sum);
    EXPECT_EQ(*hash, "MD5:" + *sum);

    // The sound of cameras 1 and 3, the same samples quillon-cli audio writes.
    for (int track = 0; track < 2; ++track) {
        const std::string wav = dir->File("camera" + std::to_string(track) + ".wav");
        ASSERT_TRUE(Shell(std::string(QUILLON_BIN_DIR) + "/quillon-cli audio '" + dir->File("engine.img") +
                          "' --record 1 --camera " + std::to_string(1 + 2 * track) + " --from 0 --seconds 3 -o '" +
                          wav + "'"));
        const std::string pcm = CopiedPackets(r.path, "a:" + std::to_string(track), "s16le");
        ASSERT_EQ(pcm.size(), 48000u);
        EXPECT_TRUE(pcm == CopiedPackets(wav, "a:0", "s16le")) << "track " << track;
    }

    // One cue a second with the recorder's time; the file's tags.
    const auto cues = Shell("ffmpeg -nostdin -v error -i '" + r.path + "' -map 0:s -f srt -");
    EXPECT_EQ(cues, std::optional<std::string>("1\n00:00:00,000 --> 00:00:01,000\n2006/03/15 23:59:30\n\n"
                                               "2\n00:00:01,000 --> 00:00:02,000\n2006/03/15 23:59:31\n\n"
                                               "3\n00:00:02,000 --> 00:00:03,000\n2006/03/15 23:59:32\n\n"));
    auto tags = export_test::Probe(r.path, "");
    const auto format = Shell("ffprobe -v error -show_entries format_tags -of default=nw=1 '" + r.path + "'");
    ASSERT_TRUE(format);
    EXPECT_NE(format->find("TAG:RECORD_BEGIN_TIME=2006/03/15 23:59:30"), std::string::npos) << *format;
    EXPECT_NE(format->find("TAG:CAMERAS=1 2 3 4"), std::string::npos) << *format;
    EXPECT_NE(format->find("TAG:QUILLON_VERSION=" QUILLON_VERSION), std::string::npos) << *format;

    // The report covers the mode.
    const auto report = ReadBytes(r.outcome.reportPath);
    const std::string json(report.begin(), report.end());
    EXPECT_NE(json.find("Matroska master"), std::string::npos);
    EXPECT_NE(json.find("nothing decoded or re-encoded"), std::string::npos);
}

TEST_F(ExportModesTest, TheMasterLeavesLostSecondsOutAndKeepsToTheViewsCameras)
{
    Result r = Export(1, 0, 3, "gap.mkv");
    ASSERT_TRUE(r.prepared);
    EXPECT_EQ(StreamEntries(r.path, "v", "stream_tags=title"),
              (std::vector<std::string>{"Camera 1", "Camera 2", "Camera 4"}));
    EXPECT_EQ(StreamEntries(r.path, "v", "stream=width,height,r_frame_rate"),
              std::vector<std::string>(3, "720,288,12/1"));
    EXPECT_EQ(StreamEntries(r.path, "a", "stream_tags=title"), std::vector<std::string>{"Camera 2 sound"});
    const auto packets = Packets(r.path, "v:0");
    ASSERT_EQ(packets.size(), 36u) << "three seconds of twelve";
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const double at = std::stod(Fields(packets[i], ',')[0]);
        const int second = i < 24 ? int(i / 12) : 3;
        EXPECT_NEAR(at, second + double(i % 12) / 12, 0.0006) << "frame " << i << ": second 2 is a gap";
    }
    EXPECT_EQ(Packets(r.path, "a:0").size(), 3u);
    EXPECT_EQ(Packets(r.path, "s:0").size(), 3u);
    EXPECT_EQ(Shell("ffmpeg -nostdin -v error -i '" + r.path + "' -map 0:v -map 0:a -f null - 2>&1"),
              std::optional<std::string>(""));

    r = Export(1, 0, 1, "one.mkv", 1);
    ASSERT_TRUE(r.prepared);
    EXPECT_EQ(StreamEntries(r.path, "v", "stream_tags=title"), std::vector<std::string>{"Camera 2"});
    EXPECT_EQ(StreamEntries(r.path, "a", "stream_tags=title"), std::vector<std::string>{"Camera 2 sound"});

    EXPECT_FALSE(Export(1, 0, 1, "novideo.mkv", 2).prepared) << "camera 3 has no video";
    EXPECT_EQ(failure, exporter::PrepareFailure::CannotOpen);
    EXPECT_FALSE(std::filesystem::exists(dir->File("novideo.mkv")));
}

TEST_F(ExportModesTest, TheWorkingCopyIsH264WithAacTheBurntInPicturesAndItsIndexFirst)
{
    const Result r = Export(0, 0, 1, "copy.mp4");
    ASSERT_TRUE(r.prepared);
    EXPECT_EQ(r.outcome.end, ExportOutcome::End::Completed);
    EXPECT_EQ(export_test::DecodeErrors(r.path), std::optional<std::string>(""));
    auto video = export_test::Probe(r.path, "v:0");
    EXPECT_EQ(video["codec_name"], "h264");
    EXPECT_EQ(video["profile"], "High");
    EXPECT_EQ(video["pix_fmt"], "yuv420p");
    EXPECT_EQ(video["level"], "30");
    EXPECT_EQ(video["width"], "640");
    EXPECT_EQ(video["height"], "480");
    EXPECT_EQ(video["r_frame_rate"], "30/1");
    EXPECT_EQ(video["nb_read_frames"], "90");
    EXPECT_EQ(r.outcome.framesWritten, 90);
    auto audio = export_test::Probe(r.path, "a:0");
    EXPECT_EQ(audio["codec_name"], "aac");
    EXPECT_EQ(audio["sample_rate"], "48000");
    EXPECT_EQ(audio["channels"], "1");
    EXPECT_NEAR(std::stod(audio["duration"]), 3.0, 0.05);
    const auto created = Shell("ffprobe -v error -show_entries format_tags=creation_time -of csv=p=0 '" + r.path + "'");
    EXPECT_EQ(created, std::optional<std::string>("2006-03-15T23:59:30.000000Z\n"));
    // faststart: the index stands before the pictures.
    const auto bytes = ReadBytes(r.path);
    const std::string head(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 64 * 1024));
    ASSERT_NE(head.find("moov"), std::string::npos);
    EXPECT_LT(head.find("moov"), head.find("mdat"));

    // The pictures the MPEG-1 export composes: camera 1's frame codes in its cell.
    const auto codes = export_test::CodesIn(r.path, 0, 0, 320, 240);
    ASSERT_EQ(codes.size(), 90u);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        ASSERT_TRUE(codes[i]) << "frame " << i;
        EXPECT_EQ(*codes[i], (mkdisk::FrameCode{0, uint32_t(i / 30), int(i % 30)})) << "frame " << i;
    }
    const auto report = ReadBytes(r.outcome.reportPath);
    EXPECT_NE(std::string(report.begin(), report.end()).find("H.264 High profile (libx264"), std::string::npos);
}

TEST_F(ExportModesTest, BothModesGiveTheSameBytesStopCleanlyAndFailOnAFullDisk)
{
    for (const char* kind : {"mkv", "mp4"}) {
        SCOPED_TRACE(kind);
        const std::string a = std::string("same-a.") + kind, b = std::string("same-b.") + kind;
        ASSERT_TRUE(Export(0, 0, 1, a).prepared);
        ASSERT_TRUE(Export(0, 0, 1, b).prepared);
        const auto first = ReadBytes(dir->File(a));
        EXPECT_GT(first.size(), 10000u);
        EXPECT_TRUE(first == ReadBytes(dir->File(b)));

        const Result stopped = Export(0, 0, 1, std::string("stopped.") + kind, -1, 40);
        ASSERT_TRUE(stopped.prepared);
        EXPECT_EQ(stopped.outcome.end, ExportOutcome::End::Stopped);
        EXPECT_LT(stopped.outcome.lastPosition, 2);
        EXPECT_EQ(export_test::DecodeErrors(stopped.path), std::optional<std::string>(""));
        EXPECT_EQ(engine->Position(), returnPosition);

        const std::string full = dir->File(std::string("full.") + kind);
        ASSERT_EQ(::symlink("/dev/full", full.c_str()), 0);
        const Result failed = Export(0, 0, 1, std::string("full.") + kind);
        if (failed.prepared) {
            EXPECT_EQ(failed.outcome.end, ExportOutcome::End::WriteFailed);
            EXPECT_FALSE(failed.outcome.error.empty());
        }
        EXPECT_EQ(engine->Position(), returnPosition);
    }
    EXPECT_FALSE(Export(0, 0, 1, "capitals.MKV").prepared);
    EXPECT_EQ(failure, exporter::PrepareFailure::BadName);
    EXPECT_FALSE(Export(0, 5, 6, "late.mp4").prepared);
    EXPECT_EQ(failure, exporter::PrepareFailure::BeginPastRecord);
}

}  // namespace
