// Opening a record's index, selecting segments, streaming through the window.
#include "disk/load_helper.h"

using testing_support::VolumeBytes;

namespace {

// What the volume tells its read tap.
struct TapLog : disk::SegmentReadTap {
    void SegmentSelected(uint32_t segment, uint32_t) override { selected.push_back(segment); }
    void SectorsRead(uint32_t firstSector, std::span<const uint8_t> bytes) override
    {
        loads.emplace_back(firstSector, static_cast<uint32_t>(bytes.size() / 512));
    }
    void SegmentLost(uint32_t segment, uint32_t firstSector, uint32_t sectorCount, const std::string& error) override
    {
        lost.push_back({segment, firstSector, sectorCount, error});
    }
    std::vector<uint32_t> selected;
    std::vector<std::pair<uint32_t, uint32_t>> loads;
    std::vector<disk::SegmentLoss> lost;
};

class CursorTest : public testing_support::VolumeFixture {
protected:
    // Sector 0 header, table at sector 1, index at sector 2, one record.
    VolumeBytes MinimalVolume(std::vector<uint32_t> index, uint32_t indexOffset = 0, uint8_t format = 0x50)
    {
        VolumeBytes image(8);
        image.Header(1, 2, 1).Entry(512, static_cast<uint32_t>(index.size() - 1), indexOffset, format);
        for (size_t j = 0; j < index.size(); ++j)
            image.Be32(1024 + (indexOffset + j) * 4, index[j]);
        return image;
    }
};

TEST_F(CursorTest, MinimalVolumeSegments)
{
    VolumeBytes image = MinimalVolume({3, 45, 87});
    image.Resize(87 * 512);
    image.Put(3 * 512, "seg0", 4).Put(45 * 512, "seg1", 4);
    ASSERT_TRUE(Load(image));
    ASSERT_TRUE(volume.OpenRecord(0));
    EXPECT_EQ(volume.SegmentCount(), 2u);
    EXPECT_EQ(volume.OpenWidth(), 352);
    ASSERT_TRUE(volume.SelectSegment(1));
    EXPECT_EQ(volume.SegmentBytes(), 21504u);
    EXPECT_EQ(volume.LoadedBytes(), 21504u) << "selecting reads the whole segment";
    EXPECT_FALSE(volume.CurrentSegmentLost());
    ASSERT_TRUE(volume.SelectSegment(0));
    EXPECT_EQ(volume.SegmentBytes(), 21504u);
    EXPECT_FALSE(volume.SelectSegment(2));
    EXPECT_EQ(volume.CursorByte(0), 's');
    EXPECT_EQ(volume.CursorByte(3), '0');
    EXPECT_FALSE(volume.ReadAhead()) << "42 sectors were the whole segment";
}

TEST_F(CursorTest, EntriesAreTakenAtTheirOffsetInTheIndexArea)
{
    // Segment count 3, index offset 130: entries at index bytes 520..532,
    // which straddle the index area's first and second sectors.
    VolumeBytes image = MinimalVolume({10, 11, 12, 13}, 130);
    image.Resize(16 * 512);
    ASSERT_TRUE(Load(image));
    ASSERT_TRUE(volume.OpenRecord(0));
    ASSERT_EQ(volume.SectorIndex().size(), 4u);
    EXPECT_EQ(volume.SectorIndex()[0], 10u);
    EXPECT_EQ(volume.SectorIndex()[3], 13u);
    EXPECT_FALSE(volume.OpenRecord(1)) << "beyond the record count";
}

TEST_F(CursorTest, ReadAheadStepsAndCursorEnd)
{
    VolumeBytes image = MinimalVolume({3, 103, 104});
    image.Resize(104 * 512);
    ASSERT_TRUE(Load(image));
    ASSERT_TRUE(volume.OpenRecord(0));
    TapLog tap;
    volume.SetReadTap(&tap);
    ASSERT_TRUE(volume.SelectSegment(0));
    volume.SetReadTap(nullptr);
    EXPECT_EQ(tap.loads, (std::vector<std::pair<uint32_t, uint32_t>>{{3, 42}, {45, 42}, {87, 16}}))
        << "read in read-ahead steps at selection";
    EXPECT_EQ(volume.LoadedBytes(), 100u * 512);
    EXPECT_FALSE(volume.ReadAhead());

    // A one-sector segment: the cursor stops on byte 511.
    ASSERT_TRUE(volume.SelectSegment(1));
    int moves = 0;
    while (volume.Advance())
        ++moves;
    EXPECT_EQ(moves, 511);
    EXPECT_EQ(volume.Cursor(), 511u);
}

TEST_F(CursorTest, AnImplausibleIndexIsCutBeforeItsFirstBadEntry)
{
    // Running backwards: segment 0 stands, the rest is not an index.
    VolumeBytes back = MinimalVolume({20, 30, 10, 40, 50});
    back.Resize(64 * 512);
    ASSERT_TRUE(Load(back));
    ASSERT_TRUE(volume.OpenRecord(0));
    EXPECT_EQ(volume.OpenIndexCheck().damage, disk::IndexDamage::RunsBackwards);
    EXPECT_EQ(volume.OpenIndexCheck().recordedSegments, 4u);
    EXPECT_EQ(volume.SegmentCount(), 1u);
    EXPECT_TRUE(volume.SelectSegment(0));
    EXPECT_FALSE(volume.SelectSegment(1));

    // Equal neighbours are an empty second, not damage.
    VolumeBytes empty = MinimalVolume({20, 20, 30});
    empty.Resize(64 * 512);
    ASSERT_TRUE(Load(empty));
    ASSERT_TRUE(volume.OpenRecord(0));
    EXPECT_FALSE(volume.OpenIndexCheck().Damaged());
    EXPECT_EQ(volume.SegmentCount(), 2u);

    // Past the disk's end: the segment that leaves the disk is dropped, the
    // one before it kept.
    VolumeBytes cut = MinimalVolume({3, 45, 103});
    cut.Resize(53 * 512);
    ASSERT_TRUE(Load(cut));
    ASSERT_TRUE(volume.OpenRecord(0));
    EXPECT_EQ(volume.OpenIndexCheck().damage, disk::IndexDamage::LeavesDisk);
    EXPECT_EQ(volume.SegmentCount(), 1u);

    // A count that makes the index run on into the first segment's sectors
    // (the segment count 20 -> 65,300 of one flipped byte): the entries read
    // from sector 3 on are the segment's bytes.
    VolumeBytes run = MinimalVolume({3, 4, 5});
    run.Resize(600 * 512);
    run.Be32(512 + 6, 65300);
    for (uint32_t k = 0; k < 128; ++k)
        run.Be32(1024 + k * 4, 3 + k);
    for (uint32_t s = 3; s < 600; ++s)
        for (uint32_t k = 0; k < 128; ++k)
            run.Be32(s * 512 + k * 4, 131);  // plausible as entries: only where they lie tells
    ASSERT_TRUE(Load(run));
    EXPECT_EQ(volume.DataStartSector(), 3u);
    ASSERT_TRUE(volume.OpenRecord(0));
    EXPECT_EQ(volume.OpenIndexCheck().damage, disk::IndexDamage::RunsIntoData);
    EXPECT_EQ(volume.SegmentCount(), 127u) << "the entries of sector 2: the index area below the data";
    disk::IndexCheck listed;
    ASSERT_TRUE(volume.CheckRecordIndex(0, listed));
    EXPECT_EQ(listed.readableSegments, 127u);
    EXPECT_EQ(disk::IndexCheckText(0, listed),
              "record 1 is damaged: its index runs into the data area: only segments 0 to 126 of 65300 can be read");
}

TEST_F(CursorTest, ASegmentLongerThanTheWindowIsCutToIt)
{
    VolumeBytes image = MinimalVolume({3, 3 + 40000});
    image.Resize((3 + 40000) * 512);
    ASSERT_TRUE(Load(image));
    ASSERT_TRUE(volume.OpenRecord(0));
    ASSERT_TRUE(volume.SelectSegment(0));
    EXPECT_EQ(volume.SegmentBytes(), disk::RecorderVolume::kWindowBytes);
}

TEST_F(CursorTest, IndexOutsideTheDiskIsRefusedBeforeAllocating)
{
    // Index offset far past the end of the disk, then an absurd count.
    VolumeBytes far = MinimalVolume({3, 4}, 0);
    far.Be32(512 + 10, 0x40000000u);
    ASSERT_TRUE(Load(far));
    EXPECT_FALSE(volume.OpenRecord(0));
    VolumeBytes huge = MinimalVolume({3, 4}, 0);
    huge.Be32(512 + 6, 0xFFFFFFFFu);
    ASSERT_TRUE(Load(huge));
    EXPECT_FALSE(volume.OpenRecord(0));
    VolumeBytes indexPastEnd = MinimalVolume({3, 4}, 0);
    indexPastEnd.Be32(16, 100);
    ASSERT_TRUE(Load(indexPastEnd));
    EXPECT_FALSE(volume.OpenRecord(0));
}

}  // namespace

namespace {

// A segment the disk ends inside (an image cut short): the index is cut
// before it, but reading on from the second before it finds it lost, told
// to the tap with its sectors, and the frame still open at the end of the
// second before is never joined to its readable part.
TEST_F(CursorTest, ASecondTheDiskEndsInsideIsLostAndNothingIsJoinedAcrossIt)
{
    VolumeBytes image = MinimalVolume({3, 5, 200});
    image.Resize(120 * 512);
    // Segment 0: two frames, the second still open at the segment's end.
    const uint8_t vop[] = {0, 0, 1, 0xB6, 0x00};
    image.Put(3 * 512, vop, 5).Put(3 * 512 + 100, vop, 5);
    // Segment 1's readable part: what would end the open frame, then frames.
    const uint8_t userData[] = {0, 0, 1, 0xB2};
    image.Put(5 * 512 + 50, userData, 4).Put(5 * 512 + 200, vop, 5).Put(5 * 512 + 400, vop, 5);
    ASSERT_TRUE(Load(image));
    ASSERT_TRUE(volume.OpenRecord(0));
    EXPECT_EQ(volume.OpenIndexCheck().damage, disk::IndexDamage::LeavesDisk);
    EXPECT_EQ(volume.SegmentCount(), 1u);

    TapLog tap;
    volume.SetReadTap(&tap);
    std::vector<uint8_t> frame(disk::RecorderVolume::kMaxFrameBytes);
    uint32_t length = 0;
    ASSERT_TRUE(volume.NextFrame(frame, length, false, -1, {}, nullptr));
    EXPECT_EQ(length, 100u);
    EXPECT_FALSE(volume.NextFrame(frame, length, false, -1, {}, nullptr)) << "the open frame is not joined";
    EXPECT_TRUE(volume.FrameStoppedAtLoss());
    EXPECT_EQ(volume.CurrentSegment(), 1u);
    EXPECT_TRUE(volume.CurrentSegmentLost());
    EXPECT_EQ(volume.SegmentBytes(), 0u);
    ASSERT_EQ(tap.lost.size(), 1u);
    EXPECT_EQ(tap.lost[0].segment, 1u);
    EXPECT_EQ(tap.lost[0].firstSector, 5u);
    EXPECT_EQ(tap.lost[0].sectorCount, 195u);
    EXPECT_NE(tap.lost[0].error.find("past the disk's end"), std::string::npos) << tap.lost[0].error;
    EXPECT_EQ(volume.LastLoss().error, tap.lost[0].error);
    // The readable part was read (and told) before the loss was found.
    EXPECT_FALSE(tap.loads.empty());
    EXPECT_EQ(tap.loads, (std::vector<std::pair<uint32_t, uint32_t>>{{5, 42}, {47, 42}}));
    EXPECT_NE(tap.lost[0].error.find("sectors 89 to 130"), std::string::npos) << tap.lost[0].error;

    // Reported once; then the record ends.
    EXPECT_FALSE(volume.NextFrame(frame, length, false, -1, {}, nullptr));
    EXPECT_FALSE(volume.FrameStoppedAtLoss());
    volume.SetReadTap(nullptr);

    // Selected directly, it is lost at once.
    ASSERT_TRUE(volume.SelectSegment(1));
    EXPECT_TRUE(volume.CurrentSegmentLost());
    EXPECT_FALSE(volume.NextFrame(frame, length, true, -1, {}, nullptr));
    EXPECT_TRUE(volume.FrameStoppedAtLoss());
    ASSERT_TRUE(volume.SelectSegment(0));
    EXPECT_FALSE(volume.CurrentSegmentLost());
}

}  // namespace
