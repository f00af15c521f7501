// The audio area: extracting one channel's block, decoding IMA ADPCM.
#include "disk/load_helper.h"

using disk::RecorderVolume;
using testing_support::VolumeBytes;

namespace {

std::vector<int16_t> Decode(const std::vector<uint8_t>& block)
{
    std::vector<int16_t> pcm(RecorderVolume::kAudioSamples, 0x5555);
    uint32_t bytes = 0;
    EXPECT_TRUE(RecorderVolume::DecodeAudioBlock(block, pcm, bytes));
    EXPECT_EQ(bytes, 16160u);
    return pcm;
}

std::vector<uint8_t> Block(int16_t predictor, uint8_t stepIndex, uint8_t code)
{
    std::vector<uint8_t> block(RecorderVolume::kAudioBlockBytes);
    for (size_t sub = 0; sub < 16; ++sub) {
        uint8_t* r = &block[sub * 255];
        r[0] = uint8_t(predictor);
        r[1] = uint8_t(uint16_t(predictor) >> 8);
        r[2] = stepIndex;
        std::fill(r + 3, r + 255, code);
    }
    return block;
}

TEST(AdpcmTest, KnownSequences)
{
    const auto silence = Decode(Block(0, 0, 0x00));
    EXPECT_TRUE(std::all_of(silence.begin(), silence.end(), [](int16_t s) { return s == 0; }));

    // 0x07: low nibble 7 gives 0 + 1 + 3 + 7 = 11 (index 8), then high
    // nibble 0 gives 16 / 8 = 2 more (index 7).
    const auto seven = Decode(Block(0, 0, 0x07));
    EXPECT_EQ(seven[0], 0);
    EXPECT_EQ(seven[1], 11);
    EXPECT_EQ(seven[2], 13);
    EXPECT_EQ(seven[505], 0) << "each sub-block starts again from its own header";
    EXPECT_EQ(seven[506], 11);

    EXPECT_EQ(Decode(Block(32760, 88, 0x77))[1], 32767);
    EXPECT_EQ(Decode(Block(-32760, 88, 0xFF))[1], -32768);

    // A damaged step index beyond the table is held at its last entry.
    EXPECT_EQ(Decode(Block(0, 200, 0x00)), Decode(Block(0, 88, 0x00)));

    std::vector<int16_t> small(100);
    uint32_t bytes = 0;
    EXPECT_FALSE(RecorderVolume::DecodeAudioBlock(Block(0, 0, 0), small, bytes));
}

class AudioExtractionTest : public testing_support::VolumeFixture {
protected:
    // One record, one segment from sector 3 of `sectors` sectors whose
    // audio area holds, for channel c in row r, the word (c, r & 0xFF).
    void MakeVolume(uint32_t sectors)
    {
        VolumeBytes image(8);
        image.Header(1, 2, 1).Entry(512, 1, 0, 0xD0).Be32(1024, 3).Be32(1028, 3 + sectors);
        image.Resize((3 + sectors) * 512);
        for (uint32_t row = 0; row < 2048 && (row + 1) * 8 <= sectors * 512; ++row)
            for (uint8_t c = 0; c < 4; ++c) {
                const uint8_t word[2] = {uint8_t(0x10 * (c + 1)), uint8_t(row)};
                image.Put(3 * 512 + row * 8 + c * 2, word, 2);
            }
        ASSERT_TRUE(Load(image));
        ASSERT_TRUE(volume.OpenRecord(0));
        ASSERT_TRUE(volume.SelectSegment(0));
        volume.ReadAhead();
    }
};

TEST_F(AudioExtractionTest, ChannelsTakeTheirOwnLanes)
{
    MakeVolume(40);
    std::vector<uint8_t> block(RecorderVolume::kAudioBlockBytes);
    ASSERT_TRUE(volume.ExtractAudioBlock(2, block));
    EXPECT_EQ(volume.Cursor(), 16384u) << "the cursor ends on the first video byte";
    // Sub-block 0: predictor from row 0 (bytes 4, 5), step index from row 1
    // (byte 4 only), codes from rows 2..127.
    EXPECT_EQ(block[0], 0x30);
    EXPECT_EQ(block[1], 0);
    EXPECT_EQ(block[2], 0x30);
    EXPECT_EQ(block[3], 0x30);
    EXPECT_EQ(block[4], 2);
    EXPECT_EQ(block[254], 127);
    EXPECT_EQ(block[255 + 1], 128) << "sub-block 1 begins at row 128";

    ASSERT_TRUE(volume.SelectSegment(0));
    ASSERT_TRUE(volume.ExtractAudioBlock(3, block));
    EXPECT_EQ(block[0], 0x40);
    EXPECT_FALSE(volume.ExtractAudioBlock(4, block));
    EXPECT_FALSE(volume.ExtractAudioBlock(0, std::span(block).first(100)));
}

TEST_F(AudioExtractionTest, AreaThatFillsTheWholeSegmentIsComplete)
{
    MakeVolume(32);  // exactly 16,384 bytes: nothing after the audio area
    std::vector<uint8_t> block(RecorderVolume::kAudioBlockBytes);
    EXPECT_TRUE(volume.ExtractAudioBlock(1, block));
    EXPECT_EQ(block[15 * 255 + 254], 255) << "last word of the last row";
}

TEST_F(AudioExtractionTest, SegmentEndingInsideTheAreaFails)
{
    MakeVolume(20);
    std::vector<uint8_t> block(RecorderVolume::kAudioBlockBytes);
    EXPECT_FALSE(volume.ExtractAudioBlock(0, block));
    disk::SectorRange area;
    EXPECT_FALSE(volume.AudioAreaSectors(0, area)) << "no whole area to read";
}

// The area read straight from the disk (as the master reads it, beside the
// cursor) gives every channel the block the cursor gives, whether the
// cursor takes the lane from its window or walks the rows (an area that
// fills its segment); sizes too small are refused.
TEST_F(AudioExtractionTest, TheAreaAsReadFromTheDiskGivesTheCursorsBlocks)
{
    for (const uint32_t sectors : {40u, 32u}) {
        SCOPED_TRACE(sectors);
        MakeVolume(sectors);
        disk::SectorRange area;
        ASSERT_TRUE(volume.AudioAreaSectors(0, area));
        EXPECT_EQ(area.first, 3u);
        EXPECT_EQ(area.count, 32u);
        std::vector<uint8_t> bytes(RecorderVolume::kAudioAreaBytes);
        ASSERT_NE(volume.ReadDiskSectors(area.first, area.count, bytes), 0u);
        for (int channel = 0; channel < 4; ++channel) {
            std::vector<uint8_t> fromArea(RecorderVolume::kAudioBlockBytes), fromCursor(fromArea.size());
            ASSERT_TRUE(RecorderVolume::AudioBlockFromArea(bytes, channel, fromArea));
            ASSERT_TRUE(volume.SelectSegment(0));
            ASSERT_TRUE(volume.ExtractAudioBlock(channel, fromCursor));
            EXPECT_EQ(fromArea, fromCursor) << "channel " << channel;
        }
        std::vector<uint8_t> block(RecorderVolume::kAudioBlockBytes);
        EXPECT_FALSE(RecorderVolume::AudioBlockFromArea(std::span(bytes).first(16383), 0, block));
        EXPECT_FALSE(RecorderVolume::AudioBlockFromArea(bytes, 4, block));
        EXPECT_FALSE(RecorderVolume::AudioBlockFromArea(bytes, -1, block));
        EXPECT_FALSE(RecorderVolume::AudioBlockFromArea(bytes, 0, std::span(block).first(4079)));
    }
}

}  // namespace
