// Hostile disks for the recovery scan: a table full of plausible entries,
// an index area of increasing numbers, a data area full of stream headers.
// Each scan ends with its limits named in the notes and a whole map; none
// is timed here (speed belongs to the benchmark).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disk/recovery_scan.h"
#include "disk/volume.h"
#include "recovery_disk.h"
#include "vol_bytes.h"
#include "volume_bytes.h"

using testing_support::VolumeBytes;

namespace {

constexpr uint8_t kNoAudio352x240 = 0x50;

bool NoteMentions(const disk::Recovery& recovery, const std::string& words)
{
    for (const std::string& note : recovery.notes)
        if (note.find(words) != std::string::npos)
            return true;
    return false;
}

// One listed record of one second at dataStart; index area at indexSector.
VolumeBytes ListedVolume(uint32_t indexSector, uint32_t dataStart, size_t sectors)
{
    VolumeBytes v(sectors);
    v.Header(1, indexSector, 1, 1).Entry(0 + 512, 1, 0, kNoAudio352x240);
    v.Be32(size_t(indexSector) * 512, dataStart).Be32(size_t(indexSector) * 512 + 4, dataStart + 1);
    v.Put(size_t(dataStart) * 512, testing_support::VoVol(352, 240, 30));
    return v;
}

disk::Recovery MustScan(const std::vector<uint8_t>& bytes)
{
    auto result = recovery_test::Scan(bytes);
    EXPECT_TRUE(testing_support::Succeeded(result));
    if (!result)
        return {};
    recovery_test::ExpectWholeMap(*result, bytes.size() / 512);
    return std::move(result).Value();
}

TEST(RecoveryHostile, ATableFullOfPlausibleEntriesIsCappedWithANote)
{
    // 8,192 slots of table, then the index: every other slot names 600
    // empty seconds of one index range.
    const uint32_t indexSector = 1 + 512, dataStart = indexSector + 8;
    VolumeBytes v = ListedVolume(indexSector, dataStart, dataStart + 16);
    for (uint32_t k = 2; k <= 602; ++k)
        v.Be32(size_t(indexSector) * 512 + k * 4, dataStart + 4);
    for (uint32_t slot = 2; slot <= disk::Volume::kRecordSlots; ++slot)
        v.Entry(512 + size_t(slot - 1) * 32, 600, 2, kNoAudio352x240);
    const disk::Recovery recovery = MustScan(v.bytes);
    ASSERT_FALSE(recovery.recordings.empty());
    EXPECT_LT(recovery.recordings.size(), disk::Volume::kRecordSlots - 1);
    EXPECT_TRUE(NoteMentions(recovery, "recovered seconds")) << ::testing::PrintToString(recovery.notes);
    uint64_t seconds = 0;
    for (const auto& r : recovery.recordings)
        seconds += r.SegmentCount();
    EXPECT_LE(seconds, 4u << 20);
    // Every second is empty: a lost second, never intact.
    EXPECT_EQ(recovery.recordings[0].Count(disk::SegmentStatus::Damaged), 600u);
}

TEST(RecoveryHostile, AnIndexAreaOfIncreasingNumbersIsCappedWithANote)
{
    // Runs of three entries over the same three one-second headers, again and again.
    const uint32_t indexSector = 2, runs = 21000, dataStart = indexSector + (runs * 3 + 2) * 4 / 512 + 2;
    VolumeBytes v = ListedVolume(indexSector, dataStart, dataStart + 8);
    for (uint32_t s = 2; s < 5; ++s)
        v.Put(size_t(dataStart + s) * 512, testing_support::VoVol(352, 240, 30));
    for (uint32_t r = 0; r < runs; ++r)
        for (uint32_t k = 0; k < 3; ++k)
            v.Be32(size_t(indexSector) * 512 + (2 + r * 3 + k) * 4, dataStart + 2 + k);
    const disk::Recovery recovery = MustScan(v.bytes);
    EXPECT_TRUE(NoteMentions(recovery, "orphan index runs")) << ::testing::PrintToString(recovery.notes);
    ASSERT_FALSE(recovery.recordings.empty());
    // The last run keeps the sectors; every one before it lost them to the next.
    const disk::RecoveredRecording* lastRun = recovery.Find("i20000");
    ASSERT_TRUE(lastRun);
    const disk::RecoveredRecording& last = *lastRun;
    EXPECT_EQ(last.Count(disk::SegmentStatus::Intact), 2u);
    EXPECT_EQ(recovery.recordings.front().Count(disk::SegmentStatus::Overwritten), 2u);
}

TEST(RecoveryHostile, ADataAreaFullOfStreamHeadersIsCappedWithANote)
{
    // Every sector a second of its own, the picture size changing each
    // time: a carved run per sector.
    const uint32_t indexSector = 2, dataStart = 4, seconds = 20100;
    VolumeBytes v = ListedVolume(indexSector, dataStart, dataStart + 2 + seconds);
    for (uint32_t s = 0; s < seconds; ++s)
        v.Put(size_t(dataStart + 1 + s) * 512, testing_support::VoVol(s % 2 ? 720 : 352, 240, 30));
    const disk::Recovery recovery = MustScan(v.bytes);
    EXPECT_TRUE(NoteMentions(recovery, "carved runs")) << ::testing::PrintToString(recovery.notes);
    EXPECT_EQ(recovery.recordings.size(), 20000u);
    EXPECT_EQ(recovery.recordings[0].id, "c1");
    EXPECT_EQ(recovery.recordings[0].SegmentCount(), 1u);
}

TEST(RecoveryHostile, ScanningRandomBytesBehindAValidHeaderNeverFails)
{
    // A valid header and listed record over noise: the scan may find
    // nothing, but it finishes and maps the whole disk.
    VolumeBytes v = ListedVolume(2, 8, 600);
    uint32_t x = 12345;
    for (size_t i = 8 * 512 + 512; i < v.bytes.size(); ++i) {
        x = x * 1103515245u + 12345u;
        v.bytes[i] = uint8_t(x >> 16);
    }
    MustScan(v.bytes);
}

}  // namespace
