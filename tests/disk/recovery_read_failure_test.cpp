// The recovery scan over a disk some of whose sectors cannot be read (an E01
// copy whose chunks fail their checksum there): the seconds there are
// damaged with the reason, nothing is carved from them, the scan says so
// and goes on over the rest of the disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "disk/recovery_scan.h"
#include "disk/segment_content.h"
#include "disk/volume.h"
#include "platform/drive_table.h"
#include "support/file_bytes.h"
#include "support/succeeded.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_plan.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

disk::Recovery ScanDrive(const std::string& path)
{
    platform::SetDriveImages({path});
    const disk::VolumeLoad load = disk::Volume::Load(0);
    EXPECT_TRUE(load.volume) << path;
    if (!load.volume)
        return {};
    auto found = disk::ScanForRecordings(*load.volume);
    EXPECT_TRUE(found) << found.Detail();
    return found ? *found : disk::Recovery{};
}

bool NoteMentions(const disk::Recovery& recovery, const std::string& words)
{
    return std::any_of(recovery.notes.begin(), recovery.notes.end(),
                       [&](const std::string& note) { return note.find(words) != std::string::npos; });
}

uint32_t Carved(const disk::Recovery& recovery, disk::SegmentStatus status)
{
    uint32_t n = 0;
    for (const disk::RecoveredRecording& r : recovery.recordings)
        if (r.source == disk::RecoverySource::Carved)
            n += r.Count(status);
    return n;
}

// Changes one byte of the E01 where it holds the image's bytes between from
// and to: at the first 64 bytes there that stand only once in the image.
void Spoil(std::vector<uint8_t>& ewf, const std::vector<uint8_t>& image, size_t from, size_t to)
{
    for (size_t at = from; at + 64 <= to; at += 64) {
        const auto pattern = image.begin() + std::ptrdiff_t(at);
        if (std::search(image.begin(), image.end(), pattern, pattern + 64) != pattern ||
            std::search(pattern + 1, image.end(), pattern, pattern + 64) != image.end())
            continue;
        const auto found = std::search(ewf.begin(), ewf.end(), pattern, pattern + 64);
        ASSERT_NE(found, ewf.end());
        found[32] ^= 0x5a;
        return;
    }
    FAIL() << "no bytes of their own between " << from << " and " << to;
}

TEST(RecoveryReadFailure, UnreadableSecondsAreDamagedWithTheReasonAndTheScanGoesOn)
{
    if (std::system("command -v ewfacquire >/dev/null") != 0)
        GTEST_SKIP() << "ewf-tools missing (scripts/install-deps installs them)";
    testing_support::TempDir dir;
    const std::string plain = dir.File("demo.img");
    ASSERT_TRUE(testing_support::Succeeded(mkdisk::WriteDisk(mkdisk::RecoverDemoPlan(), plain)));
    const disk::Recovery before = ScanDrive(plain);
    const disk::RecoveredRecording* u3 = before.Find("u3");
    const disk::RecoveredRecording* c1 = before.Find("c1");
    ASSERT_TRUE(u3 && c1);
    ASSERT_EQ(u3->Count(disk::SegmentStatus::Intact), 3u);
    ASSERT_EQ(Carved(before, disk::SegmentStatus::Intact), 3u);

    ASSERT_EQ(std::system(
                  ("cd '" + dir.Path().string() + "' && ewfacquire -u -q -c none -t lost demo.img >/dev/null").c_str()),
              0);
    const std::vector<uint8_t> image = testing_support::ReadBytes(plain);
    std::vector<uint8_t> ewf = testing_support::ReadBytes(dir.File("lost.E01"));
    // The head of u3's first second (its sound area and stream header: what
    // the scan reads of it), and the carved run's second second.
    const size_t head = size_t(u3->sectorIndex[0]) * 512;
    Spoil(ewf, image, head, head + size_t(disk::SegmentHeadReadSectors(true)) * 512);
    Spoil(ewf, image, size_t(c1->sectorIndex[1]) * 512, size_t(c1->sectorIndex[2]) * 512);
    ASSERT_TRUE(testing_support::WriteBytes(dir.File("lost.E01"), ewf));

    const disk::Recovery after = ScanDrive(dir.File("lost.E01"));
    const disk::RecoveredRecording* damaged = after.Find("u3");
    ASSERT_TRUE(damaged);
    EXPECT_EQ(damaged->status[0], disk::SegmentStatus::Damaged);
    ASSERT_FALSE(damaged->notes.empty());
    EXPECT_NE(damaged->notes[0].text.find("cannot be read"), std::string::npos) << damaged->notes[0].text;
    EXPECT_EQ(damaged->Count(disk::SegmentStatus::Intact), 2u) << "its other seconds read as before";
    EXPECT_TRUE(NoteMentions(after, "some recovered seconds cannot be read"));
    EXPECT_TRUE(NoteMentions(after, "no seconds were carved there"));
    EXPECT_LT(Carved(after, disk::SegmentStatus::Intact), 3u) << "nothing carved from what cannot be read";
    // Everything else is found as before.
    for (const char* id : {"u1", "u2", "i1"}) {
        ASSERT_TRUE(after.Find(id)) << id;
        EXPECT_EQ(after.Find(id)->status, before.Find(id)->status) << id;
    }
}

}  // namespace
