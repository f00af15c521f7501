// One loaded Volume shared by several readers: built from bytes in memory it
// is the volume built from the same bytes in a file, readers on two threads
// cut exactly the frames one reader alone cuts, and a reader attached to the
// engine's volume never moves the engine's cursor.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "disk/record_reader.h"
#include "disk/recorder_volume.h"
#include "disk/volume.h"
#include "platform/drive_table.h"
#include "support/file_bytes.h"
#include "support/record_cuts.h"
#include "support/staggered_plan.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"

using disk::RecordReader;
using disk::Volume;
using testing_support::ReadAll;
using testing_support::Reading;

namespace {

class SharedVolumeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        mkdisk::DiskPlan plan = testing_support::StaggeredPlan(3, {}, 0x3);
        plan.records[1].straddles = {{0, 2}, {1, 0}};
        path = dir->File("shared.img");
        ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(plan, path)));
        bytes = testing_support::ReadBytes(path);
        ASSERT_GT(bytes.size(), 0u);
    }
    static void TearDownTestSuite() { dir.reset(); }

    void SetUp() override { platform::SetDriveImages({path}); }

    static std::shared_ptr<const Volume> FromFile()
    {
        disk::VolumeLoad load = Volume::Load(0);
        EXPECT_EQ(load.failure, disk::LoadFailure::None) << load.openError;
        return load.volume;
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
    static inline std::string path;
    static inline std::vector<uint8_t> bytes;
};

TEST_F(SharedVolumeTest, AVolumeFromBytesIsTheVolumeFromTheSameBytesInAFile)
{
    const auto file = FromFile();
    disk::VolumeLoad load = Volume::FromBytes(bytes);
    ASSERT_TRUE(file && load.volume);
    const Volume& memory = *load.volume;
    EXPECT_EQ(load.failure, disk::LoadFailure::None);
    EXPECT_EQ(memory.DriveNumber(), -1);
    EXPECT_EQ(file->DriveNumber(), 0);
    EXPECT_EQ(memory.DiskIdentity().format, "memory");
    EXPECT_EQ(memory.DiskSectorCount(), file->DiskSectorCount());
    EXPECT_EQ(memory.Header().recordTableSector, file->Header().recordTableSector);
    EXPECT_EQ(memory.Header().indexAreaSector, file->Header().indexAreaSector);
    EXPECT_EQ(memory.Header().firstEntryPosition, file->Header().firstEntryPosition);
    ASSERT_EQ(memory.RecordCount(), 3u);
    ASSERT_EQ(file->RecordCount(), 3u);
    EXPECT_EQ(memory.HasAudioArea(), file->HasAudioArea());
    EXPECT_EQ(memory.DataStartSector(), file->DataStartSector());
    disk::SectorRange a, b;
    ASSERT_TRUE(memory.RecordTableSectors(a) && file->RecordTableSectors(b));
    EXPECT_EQ(std::tie(a.first, a.count), std::tie(b.first, b.count));

    RecordReader fromMemory(load.volume);
    RecordReader fromFile(file);
    for (uint32_t r = 0; r < 3; ++r) {
        SCOPED_TRACE("record " + std::to_string(r));
        const disk::RecordEntry& m = memory.Record(r);
        const disk::RecordEntry& f = file->Record(r);
        EXPECT_EQ(m.beginTime, f.beginTime);
        EXPECT_EQ(m.segmentCount, 3 + r);
        EXPECT_EQ(std::tie(m.segmentCount, m.indexOffset, m.width, m.height, m.frameRate, m.kind),
                  std::tie(f.segmentCount, f.indexOffset, f.width, f.height, f.frameRate, f.kind));
        EXPECT_EQ(m.videoPresent, f.videoPresent);
        EXPECT_EQ(m.audioPresent, f.audioPresent);
        ASSERT_TRUE(memory.IndexSectors(r, a) && file->IndexSectors(r, b));
        EXPECT_EQ(std::tie(a.first, a.count), std::tie(b.first, b.count));
        disk::IndexCheck cm, cf;
        ASSERT_TRUE(memory.CheckRecordIndex(r, cm) && file->CheckRecordIndex(r, cf));
        EXPECT_FALSE(cm.Damaged());
        EXPECT_EQ(cm.readableSegments, cf.readableSegments);

        const Reading inMemory = ReadAll(fromMemory, r);
        EXPECT_GT(inMemory.frames.size(), 4u * (3 + r));
        EXPECT_TRUE(inMemory == ReadAll(fromFile, r)) << "the same frames, sound and stream header";
    }
    EXPECT_EQ(memory.Record(3).segmentCount, 0u) << "past the table: an all-zero entry";
}

// A refused load is one value: why, and the system's reason for a drive
// that did not open, with no volume.
TEST_F(SharedVolumeTest, EveryFactorySaysWhyItRefused)
{
    disk::VolumeLoad none = Volume::Load(7);
    EXPECT_FALSE(none.volume);
    EXPECT_EQ(none.failure, disk::LoadFailure::CannotOpen);
    EXPECT_EQ(none.openError, "no drive 7");

    EXPECT_EQ(Volume::FromDrive(platform::DriveHandle()).failure, disk::LoadFailure::CannotOpen);

    std::vector<uint8_t> noSignature(bytes.begin(), bytes.begin() + 4096);
    noSignature[2] = 'k';
    disk::VolumeLoad notOurs = Volume::FromBytes(noSignature);
    EXPECT_FALSE(notOurs.volume);
    EXPECT_EQ(notOurs.failure, disk::LoadFailure::NotRecorderDisk);

    // The header and a table that lies past the end of what is there.
    disk::VolumeLoad cut = Volume::FromBytes(std::span<const uint8_t>(bytes).first(512));
    EXPECT_FALSE(cut.volume);
    EXPECT_EQ(cut.failure, disk::LoadFailure::TableOutsideDisk);
    EXPECT_EQ(Volume::FromBytes({}).failure, disk::LoadFailure::NotRecorderDisk);

    EXPECT_EQ(Volume::FromDrive(platform::DriveHandle::OpenPath(path), 3).volume->DriveNumber(), 3);
}

// Two readers of one volume on two threads, each record read as one reader
// alone reads it (ThreadSanitizer runs this suite).
TEST_F(SharedVolumeTest, TwoReadersOnTwoThreadsCutWhatOneReaderCutsAlone)
{
    const auto volume = FromFile();
    ASSERT_TRUE(volume);
    std::vector<Reading> alone;
    {
        RecordReader reader(volume);
        for (uint32_t r = 0; r < 3; ++r)
            alone.push_back(ReadAll(reader, r));
    }
    const std::vector<uint32_t> orderA{0, 2, 1, 0}, orderB{1, 0, 2, 2};
    std::vector<Reading> cutsA, cutsB;
    auto run = [&volume](const std::vector<uint32_t>& order, std::vector<Reading>& out) {
        RecordReader reader(volume);
        for (uint32_t r : order)
            out.push_back(ReadAll(reader, r));
    };
    std::thread a(run, std::cref(orderA), std::ref(cutsA));
    std::thread b(run, std::cref(orderB), std::ref(cutsB));
    a.join();
    b.join();
    ASSERT_EQ(cutsA.size(), orderA.size());
    ASSERT_EQ(cutsB.size(), orderB.size());
    for (size_t i = 0; i < orderA.size(); ++i) {
        EXPECT_TRUE(cutsA[i] == alone[orderA[i]]) << "thread A, record " << orderA[i];
        EXPECT_TRUE(cutsB[i] == alone[orderB[i]]) << "thread B, record " << orderB[i];
    }
}

// The record list's preview reads the engine's loaded volume: one load,
// and the engine's record and cursor stay where they were.
TEST_F(SharedVolumeTest, AReaderAttachedToTheEnginesVolumeLeavesItsCursorAlone)
{
    disk::RecorderVolume engine;
    ASSERT_TRUE(engine.Load(0));
    ASSERT_TRUE(engine.OpenRecord(0));
    ASSERT_TRUE(engine.SelectSegment(1));
    std::vector<uint8_t> frame(RecordReader::kMaxFrameBytes);
    uint32_t n = 0;
    ASSERT_TRUE(engine.NextFrame(frame, n, true, -1, {}, nullptr));
    const uint32_t cursor = engine.Cursor();

    disk::RecorderVolume preview;
    preview.Attach(engine.Shared());
    ASSERT_TRUE(preview.IsLoaded());
    EXPECT_EQ(preview.Shared(), engine.Shared()) << "the disk is loaded once";
    EXPECT_EQ(preview.LoadedDrive(), 0);
    EXPECT_EQ(preview.OpenRecordNumber(), -1) << "a reader of its own: no record open yet";
    const Reading previewed = ReadAll(preview, 2);
    EXPECT_FALSE(previewed.frames.empty());

    EXPECT_EQ(engine.OpenRecordNumber(), 0);
    EXPECT_EQ(engine.CurrentSegment(), 1u);
    EXPECT_EQ(engine.Cursor(), cursor);

    // The engine lets go of the disk; the preview still holds it.
    engine.Close();
    EXPECT_FALSE(engine.IsLoaded());
    EXPECT_EQ(engine.OpenRecordNumber(), -1);
    RecordReader again(preview.Shared());
    EXPECT_TRUE(ReadAll(again, 2) == previewed);
}

}  // namespace
