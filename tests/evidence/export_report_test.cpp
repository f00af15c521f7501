// Reports beside the exporter's files: the output's hashes as sha256sum and
// md5sum give them, every read's hash as dd and sha256sum give it for the
// same sectors, the reads covering the exported positions in order, and a
// stopped export saying so.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "evidence/digest.h"
#include "evidence/export_report.h"
#include "export/capture_tools.h"
#include "export/export_progress.h"
#include "export/segment_exporter.h"
#include "platform/drive_table.h"
#include "playback/engine_harness.h"

namespace {

using capture_test::Shell;
using exporter::ExportOutcome;
using Json = nlohmann::json;

class QuietProgress final : public exporter::ExportProgress {
public:
    void Show() override {}
    void Hide() override {}
    void SetProgress(int, const std::string&, const std::string&) override {}
};

std::string FirstWord(const std::optional<std::string>& text) { return text ? text->substr(0, text->find(' ')) : ""; }

class ExportReportTest : public engine_test::EngineTest {
protected:
    // Exports record 0 from begin to end into name with its report; stopAfter
    // frames composed, the export is stopped.
    Json Export(const std::string& name, int begin, int end, int camera = -1, int stopAfter = -1)
    {
        Open(0);
        engine->SetView(camera >= 0 ? playback::PlaybackEngine::kSingleView : playback::PlaybackEngine::kQuadView,
                        std::max(camera, 0));
        exporter::SegmentExporter exporter(*engine, progress, [&](const ExportOutcome& o) { outcome = o; });
        exporter.SetReportVolume(&volume);
        int composed = 0;
        exporter.SetFrameTap([&](int, int) {
            if (++composed == stopAfter)
                progress.RequestStop();
        });
        exporter::ExportMode mode{};
        exporter::ExportModeFor(name, mode);
        EXPECT_TRUE(exporter.PrepareExport(dir->File(name), 0, begin, end, mode));
        exporter.StartWorker();
        exporter.Wait();
        EXPECT_EQ(outcome.reportError, "");
        EXPECT_EQ(outcome.reportPath, dir->File(name) + ".report.json");
        const auto text = capture_test::ReadBytes(outcome.reportPath);
        return Json::parse(text.begin(), text.end(), nullptr, false);
    }
    std::string Image() const { return dir->File("engine.img"); }
    std::string DdSha(uint64_t first, uint64_t count) const
    {
        return FirstWord(Shell("dd if='" + Image() + "' bs=512 skip=" + std::to_string(first) +
                               " count=" + std::to_string(count) + " status=none | sha256sum"));
    }

    QuietProgress progress;
    ExportOutcome outcome;
};

TEST_F(ExportReportTest, ACompletedExportsReportHashesWhatWasReadAndWritten)
{
    for (const char* name : {"quad.mpg", "camera2.avi"}) {
        const bool quad = name[0] == 'q';
        const Json j = Export(name, 1, 2, quad ? -1 : 1);
        ASSERT_FALSE(j.is_discarded()) << name;
        const std::string out = dir->File(name);
        EXPECT_EQ(j["complete"], true);
        EXPECT_EQ(j["end"], "completed");
        EXPECT_TRUE(j["reason"].is_null());
        EXPECT_EQ(j["output"]["file"], name);
        EXPECT_EQ(j["output"]["sha256"], FirstWord(Shell("sha256sum '" + out + "'")));
        EXPECT_EQ(j["output"]["md5"], FirstWord(Shell("md5sum '" + out + "'")));
        EXPECT_EQ(j["output"]["size_bytes"], std::filesystem::file_size(out));
        EXPECT_EQ(j["output"]["frames"], outcome.framesWritten);
        EXPECT_EQ(j["output"]["frames"], 90) << "positions 1 to 3 at 30 a second";

        EXPECT_EQ(j["source"]["path"], Image());
        EXPECT_EQ(j["source"]["size_bytes"], std::filesystem::file_size(Image()));
        for (const char* part : {"sector0", "record_table", "record_index"}) {
            const Json& range = j["source"][part];
            EXPECT_EQ(range["sha256"], DdSha(range["first_sector"], range["sector_count"])) << part;
        }
        EXPECT_EQ(j["record"]["number"], 1);
        EXPECT_EQ(j["record"]["begin_time"], "2006/03/15 23:59:30");
        EXPECT_EQ(j["record"]["cameras_with_sound"], Json::array({1, 3}));
        EXPECT_EQ(j["segment"]["begin_mark"], 1);
        EXPECT_EQ(j["segment"]["end_time"], "2006/03/15 23:59:32");
        EXPECT_EQ(j["segment"]["view"], quad ? "quad" : "2");
        EXPECT_EQ(j["segment"]["sound_camera"], quad ? Json(1) : Json(nullptr)) << "camera 2 has no sound";

        // Positions 1 to 3 read whole, in order, and the start of position 4
        // that the last camera's read entered.
        const Json& reads = j["reads"];
        ASSERT_GE(reads.size(), 3u) << name;
        volume.OpenRecord(0);
        for (std::size_t i = 0; i < reads.size(); ++i) {
            const Json& read = reads[i];
            EXPECT_EQ(read["position"], 1 + i);
            disk::SectorRange segment;
            ASSERT_TRUE(volume.SegmentSectors(read["position"], segment));
            EXPECT_EQ(read["first_sector"], segment.first);
            if (i < 3) {
                EXPECT_EQ(read["sector_count"], segment.count) << "position " << 1 + i << " was read whole";
            }
            EXPECT_EQ(read["sha256"], DdSha(read["first_sector"], read["sector_count"])) << i;
        }
        bool mentionsClock = false;
        for (const Json& line : j["processing"])
            mentionsClock = mentionsClock || line.get<std::string>().find("recorder's clock") != std::string::npos;
        EXPECT_TRUE(mentionsClock);
        for (const auto& entry : std::filesystem::directory_iterator(dir->Path()))
            EXPECT_EQ(entry.path().string().find(".report.json."), std::string::npos) << "no temporary is left";
    }
}

TEST_F(ExportReportTest, AStoppedExportSaysItIsIncompleteAndWhy)
{
    const Json j = Export("stopped.mpg", 0, 4, -1, 10);
    ASSERT_FALSE(j.is_discarded());
    EXPECT_EQ(outcome.end, ExportOutcome::End::Stopped);
    EXPECT_EQ(j["complete"], false);
    EXPECT_EQ(j["end"], "stopped");
    EXPECT_NE(j["reason"].get<std::string>().find("stopped"), std::string::npos);
    EXPECT_EQ(j["output"]["sha256"], FirstWord(Shell("sha256sum '" + dir->File("stopped.mpg") + "'")));
    EXPECT_LE(j["reads"].size(), 2u) << "only what was read before the stop";
}

// The disk is named as the volume opened it: a drive table taken afresh
// since (another image first, so that drive 0 is now another disk) changes
// nothing. Its identity is what stat says of the image.
TEST_F(ExportReportTest, TheReportNamesTheDiskThatWasLoadedWhateverTheDriveTableSaysSince)
{
    const std::string other = dir->File("other.img");
    std::filesystem::copy_file(Image(), other, std::filesystem::copy_options::overwrite_existing);
    Open(0);
    platform::SetDriveImages({other, Image()});
    ASSERT_EQ(platform::SnapshotDrives().front().path, other);
    const Json j = Export("moved.mpg", 1, 1);
    ASSERT_FALSE(j.is_discarded());
    EXPECT_EQ(j["source"]["path"], Image());
    const Json& id = j["source"]["identity"];
    EXPECT_EQ(id["path"], Image());
    EXPECT_EQ(id["format"], "raw");
    EXPECT_EQ(id["kind"], "file");
    EXPECT_EQ(id["known"], true);
    const auto statOf = [](const std::string& path) {
        return Shell("stat -c '%d %i %s %.9Y' '" + path + "'").value_or("");
    };
    char mtime[40];
    std::snprintf(mtime, sizeof mtime, "%lld.%09lld", id["mtime_seconds"].get<long long>(),
                  id["mtime_nanoseconds"].get<long long>());
    const std::string said = std::to_string(id["st_dev"].get<uint64_t>()) + " " +
                             std::to_string(id["st_ino"].get<uint64_t>()) + " " +
                             std::to_string(id["file_bytes"].get<uint64_t>()) + " " + mtime + "\n";
    EXPECT_EQ(said, statOf(Image()));
    EXPECT_NE(said, statOf(other)) << "the copy is another file";
    EXPECT_EQ(id["files"], Json::array({Image()}));
    platform::SetDriveImages({Image()});
}

// Bytes that reach the output beside the cursor's reads: the stream header
// (the decoder's and the master's codec data) and the master's sound areas,
// each with the sectors they came from and a hash dd and sha256sum agree with.
TEST_F(ExportReportTest, TheStreamHeaderAndTheMastersSoundAreasAreListedWithTheirHashes)
{
    for (const char* name : {"header.mpg", "sound.mkv"}) {
        SCOPED_TRACE(name);
        const bool masterFile = name[0] == 's';
        const Json j = Export(name, 1, 2);
        ASSERT_FALSE(j.is_discarded());
        EXPECT_EQ(j["complete"], true);
        const Json& header = j["stream_header"];
        ASSERT_TRUE(header.is_object()) << j.dump(1);
        EXPECT_EQ(header["matches_captured_bytes"], true);
        EXPECT_EQ(header["byte_count"], 19);
        EXPECT_GE(header["sector_count"], 1);
        EXPECT_LE(header["sector_count"], 2);
        EXPECT_EQ(header["sha256"], DdSha(header["first_sector"], header["sector_count"]));
        // The 19 bytes at the offset are those the volume holds as its header.
        const uint64_t at = header["first_sector"].get<uint64_t>() * 512 + header["byte_offset"].get<uint64_t>();
        EXPECT_EQ(Shell("dd if='" + Image() + "' bs=1 skip=" + std::to_string(at) +
                        " count=19 status=none | od -An -v -tx1 | tr -d ' \\n'"),
                  evidence::Hex(volume.StreamHeader().subspan(10)));

        const Json& sound = j["sound_reads"];
        if (!masterFile) {
            EXPECT_TRUE(sound.empty()) << "only the master reads the sound areas apart";
            continue;
        }
        ASSERT_EQ(sound.size(), 3u) << "positions 1 to 3";
        volume.OpenRecord(0);
        for (std::size_t i = 0; i < sound.size(); ++i) {
            EXPECT_EQ(sound[i]["position"], 1 + i);
            disk::SectorRange segment;
            ASSERT_TRUE(volume.SegmentSectors(sound[i]["position"], segment));
            EXPECT_EQ(sound[i]["first_sector"], segment.first);
            EXPECT_EQ(sound[i]["sector_count"], 32);
            EXPECT_EQ(sound[i]["sha256"], DdSha(sound[i]["first_sector"], 32)) << i;
        }
    }
    // Late in the record, the end mark past its last second (7): the areas
    // of the seconds there are, and nothing more.
    const Json late = Export("late.mkv", 5, 12);
    ASSERT_FALSE(late.is_discarded());
    ASSERT_EQ(late["sound_reads"].size(), 3u);
    EXPECT_EQ(late["sound_reads"][2]["position"], 7);
    EXPECT_EQ(late["sound_reads"][2]["sha256"], DdSha(late["sound_reads"][2]["first_sector"], 32));
}

}  // namespace
