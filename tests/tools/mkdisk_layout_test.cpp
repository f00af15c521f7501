// Volume layout of generated disks, checked by parsing the image by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <zlib.h>

#include "mkdisk_support.h"
#include "support/succeeded.h"
#include "tools/mkdisk/audio_area.h"
#include "tools/mkdisk/disk_writer.h"
#include "tools/mkdisk/record_video.h"
#include "tools/mkdisk/volume_writer.h"

using namespace mkdisk;
using mkdisk_test::Be16;
using mkdisk_test::Be32;
using mkdisk_test::ReadBytes;
using mkdisk_test::TempPath;
using mkdisk_test::Write;
using mkdisk_test::Written;

namespace {

bool HasStartCode(const uint8_t* p, size_t n)
{
    for (size_t i = 0; i + 2 < n; ++i)
        if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1)
            return true;
    return false;
}

uint32_t Crc(const std::vector<uint8_t>& b)
{
    return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), b.data(), static_cast<uInt>(b.size())));
}

RecordPlan Short(PictureFormat f, uint32_t seconds)
{
    RecordPlan r;
    r.format = f;
    r.seconds = seconds;
    return r;
}

}  // namespace

TEST(MkdiskLayout, HeaderTableAndIndexAsTheRecorderWritesThem)
{
    DiskPlan plan;
    RecordPlan a = Short(PictureFormat::k352x288, 2);
    a.begin = {2006, 12, 31, 23, 59, 59};
    a.kind = RecordKind::S;
    a.videoCameras = 0x07;
    a.audioCameras = 0x02;
    RecordPlan b = Short(PictureFormat::k720x240, 0);  // a record without segments
    b.kind = RecordKind::B;
    RecordPlan c = Short(PictureFormat::k720x288, 1);
    c.kind = RecordKind::M;
    plan.records = {a, b, c};
    const Written w = Write(plan);
    const auto& img = w.image;
    ASSERT_GE(img.size(), 512u * 4);
    EXPECT_EQ(0, std::memcmp(&img[2], "Kor Halvex", 10));
    const uint32_t table = Be32(img, 12);
    const uint32_t index = Be32(img, 16);
    EXPECT_EQ(3u, Be16(img, 24));
    EXPECT_EQ(1u, Be16(img, 38));
    EXPECT_EQ(table, w.manifest.tableSector);
    EXPECT_EQ(index, w.manifest.indexSector);
    EXPECT_GT(index, table);
    EXPECT_EQ(img.size(), size_t{w.manifest.totalSectors} * 512);

    const size_t e0 = size_t{table} * 512;
    // Record 1: time bytes second first, year - 2000 last.
    EXPECT_EQ((std::vector<uint8_t>{59, 59, 23, 31, 12, 6}), std::vector<uint8_t>(&img[e0], &img[e0 + 6]));
    EXPECT_EQ(2u, Be32(img, e0 + 6));
    EXPECT_EQ(0u, Be32(img, e0 + 10));
    EXPECT_EQ(0x08, img[e0 + 14]);
    EXPECT_EQ(0x90, img[e0 + 15]);  // 352 x 288 with audio areas
    // Cameras 0..2 with video: bits 7, 6, 5 of the second flag byte.
    EXPECT_EQ(0x00, img[e0 + 16]);
    EXPECT_EQ(0xE0, img[e0 + 17]);
    EXPECT_EQ(0x00, img[e0 + 18]);
    EXPECT_EQ(0x40, img[e0 + 19]);
    // Record 2: no segments, one index entry of its own.
    EXPECT_EQ(0u, Be32(img, e0 + 32 + 6));
    EXPECT_EQ(3u, Be32(img, e0 + 32 + 10));
    EXPECT_EQ(0x00, img[e0 + 32 + 14]);
    EXPECT_EQ(0xC0, img[e0 + 32 + 15]);
    // Record 3.
    EXPECT_EQ(1u, Be32(img, e0 + 64 + 6));
    EXPECT_EQ(4u, Be32(img, e0 + 64 + 10));
    EXPECT_EQ(0x10, img[e0 + 64 + 14]);
    EXPECT_EQ(0x80, img[e0 + 64 + 15]);

    // Index: segments follow each other, whole sectors, data after the index area.
    const size_t ix = size_t{index} * 512;
    const std::vector<uint32_t> entries = {Be32(img, ix),      Be32(img, ix + 4),  Be32(img, ix + 8),
                                           Be32(img, ix + 12), Be32(img, ix + 16), Be32(img, ix + 20)};
    EXPECT_GT(entries[0], index);
    EXPECT_LT(entries[0], entries[1]);
    EXPECT_LT(entries[1], entries[2]);
    EXPECT_EQ(entries[2], entries[3]);  // the empty record sits where data goes on
    EXPECT_EQ(entries[3], entries[4]);
    EXPECT_LT(entries[4], entries[5]);
    EXPECT_EQ(img.size(), size_t{entries[5]} * 512);
    for (size_t s = 0; s < 2; ++s) {
        EXPECT_EQ(entries[s], w.manifest.records[0].segments[s].firstSector);
        EXPECT_EQ(entries[s + 1] - entries[s], w.manifest.records[0].segments[s].sectors);
    }
}

TEST(MkdiskLayout, SegmentsHoldAudioThenInterleavedFramesThenZeros)
{
    DiskPlan plan;
    RecordPlan r = Short(PictureFormat::k352x240, 2);
    r.videoCameras = 0x0B;  // camera 2 (index 2) without video
    plan.records = {r};
    const Written w = Write(plan);
    const ManifestRecord& rec = w.manifest.records[0];
    ASSERT_EQ(2u * 30 * 4, rec.frames.size());
    for (size_t i = 0; i < rec.frames.size(); ++i) {
        const ManifestFrame& f = rec.frames[i];
        EXPECT_EQ(static_cast<int>(i % 4), f.camera) << i;
        EXPECT_EQ(static_cast<int>((i / 4) % 30), f.frame) << i;
        EXPECT_EQ(i / 120, f.second) << i;
        EXPECT_EQ(f.frame == 0, f.intra) << i;
        EXPECT_EQ(f.camera != 2, f.video) << i;
        const std::vector<uint8_t> vop = mkdisk_test::FrameBytes(w.image, rec, f);
        ASSERT_GE(vop.size(), 5u);
        EXPECT_EQ((std::vector<uint8_t>{0, 0, 1, 0xB6}), std::vector<uint8_t>(vop.begin(), vop.begin() + 4));
        EXPECT_EQ(f.intra, (vop[4] & 0xC0) == 0) << i;
        EXPECT_EQ(f.crc, Crc(vop)) << i;
        if (!f.video) {
            EXPECT_LE(vop.size(), kTinyVopMaxBytes);
        }
        // Frames follow each other without gaps, headers between them.
        if (i + 1 < rec.frames.size() && rec.frames[i + 1].segment == f.segment) {
            const ManifestFrame& n = rec.frames[i + 1];
            EXPECT_EQ(f.offset + f.length, n.headerOffset >= 0 ? uint32_t(n.headerOffset) : n.offset) << i;
        }
        if (f.intra) {
            // 27 bytes before the VOP: VO + VOL, then the user data naming camera and second.
            const uint8_t* seg = mkdisk_test::SegmentBytes(w.image, rec, f.segment);
            EXPECT_EQ(int64_t{f.offset} - 27, f.headerOffset);
            EXPECT_EQ(0, std::memcmp(seg + f.offset - 27, rec.voVol.data(), 19)) << i;
            const auto ud = UserDataBlock(f.camera, f.second);
            EXPECT_EQ(0, std::memcmp(seg + f.offset - 8, ud.data(), 8)) << i;
        }
    }
    for (uint32_t s = 0; s < 2; ++s) {
        const ManifestSegment& seg = rec.segments[s];
        EXPECT_EQ(kAudioAreaBytes, seg.videoStart);
        const uint8_t* p = mkdisk_test::SegmentBytes(w.image, rec, s);
        // The video area opens with camera 0's VO start code.
        EXPECT_EQ((std::vector<uint8_t>{0, 0, 1, 0x00}),
                  std::vector<uint8_t>(p + seg.videoStart, p + seg.videoStart + 4));
        EXPECT_EQ(seg.sectors, (seg.contentBytes + 511) / 512);
        EXPECT_TRUE(std::all_of(p + seg.contentBytes, p + size_t{seg.sectors} * 512, [](uint8_t b) { return b == 0; }));
    }
    // The user data bytes never form a start code, whatever the second.
    for (uint32_t second : {0u, 1u, 127u, 128u, 16383u, 16384u, 2097151u}) {
        const auto ud = UserDataBlock(3, second);
        EXPECT_FALSE(HasStartCode(ud.data() + 1, 7)) << second;
    }
}

TEST(MkdiskLayout, VolumeWithoutAudioAreas)
{
    DiskPlan plan;
    plan.audioAreas = false;
    RecordPlan r = Short(PictureFormat::k720x288, 1);
    RecordPlan odd = Short(PictureFormat::k720x288, 1);
    odd.audioAreaBit = true;  // a single entry claiming audio areas
    plan.records = {odd, r};
    const Written w = Write(plan);
    const size_t e0 = size_t{w.manifest.tableSector} * 512;
    EXPECT_EQ(0x80, w.image[e0 + 15]);
    EXPECT_EQ(0x00, w.image[e0 + 32 + 15]);
    for (const auto& rec : w.manifest.records) {
        EXPECT_EQ(0u, rec.segments[0].videoStart);
        const uint8_t* p = mkdisk_test::SegmentBytes(w.image, rec, 0);
        EXPECT_EQ((std::vector<uint8_t>{0, 0, 1, 0x00}), std::vector<uint8_t>(p, p + 4));
        EXPECT_EQ(27u, rec.frames[0].offset);
    }
}

TEST(MkdiskLayout, StraddlingFramesContinueAfterTheNextAudioArea)
{
    DiskPlan plan;
    RecordPlan r = Short(PictureFormat::k352x240, 4);
    r.straddles = {{0, 0, false}, {1, 6, false}, {2, 0, true}};
    plan.records = {r};
    const Written w = Write(plan);
    const ManifestRecord& rec = w.manifest.records[0];
    std::vector<const ManifestFrame*> straddling;
    for (const auto& f : rec.frames)
        if (f.bytesInSegment < f.length)
            straddling.push_back(&f);
    ASSERT_EQ(3u, straddling.size());
    for (const ManifestFrame* f : straddling) {
        const ManifestSegment& seg = rec.segments[f->segment];
        // The segment ends inside the frame, exactly at its last sector: no padding.
        EXPECT_EQ(seg.contentBytes, seg.sectors * 512);
        EXPECT_EQ(f->offset + f->bytesInSegment, seg.contentBytes);
        EXPECT_GE(f->bytesInSegment, 8u);
        EXPECT_EQ(f->crc, Crc(mkdisk_test::FrameBytes(w.image, rec, *f)));
    }
    // By default the cut is the frame's last sector boundary; early, its first.
    EXPECT_LT(straddling[0]->length - straddling[0]->bytesInSegment, 512u);
    EXPECT_LT(straddling[1]->length - straddling[1]->bytesInSegment, 512u);
    EXPECT_LT(straddling[2]->bytesInSegment, 520u);
    // Segment 0 cut in its last frame that spans a boundary; segment 1 at least six frames earlier.
    EXPECT_EQ(0u, straddling[0]->segment);
    EXPECT_EQ(0u, straddling[0]->second);
    EXPECT_EQ(1u, straddling[1]->segment);
    EXPECT_LE(straddling[1]->frame * 4 + straddling[1]->camera, 29 * 4 + 3 - 6);
    EXPECT_EQ(2u, straddling[2]->segment);
    // Frames after the cut open the next segment, right after its audio area.
    const ManifestFrame* next = straddling[1] + 1;
    EXPECT_EQ(2u, next->segment);
    EXPECT_EQ(kAudioAreaBytes + (straddling[1]->length - straddling[1]->bytesInSegment),
              next->headerOffset >= 0 ? uint32_t(next->headerOffset) : next->offset);
    EXPECT_EQ(1u, next->second);
    // Every frame of the record is where the manifest says.
    for (const auto& f : rec.frames)
        EXPECT_EQ(f.crc, Crc(mkdisk_test::FrameBytes(w.image, rec, f)));
}

TEST(MkdiskLayout, EmptySegmentsHugeFramesAndRefusedPlans)
{
    DiskPlan plan;
    RecordPlan r = Short(PictureFormat::k352x288, 4);
    r.emptySegments = {1};
    r.hugeFrames = {{2, 1, 3, 128000}, {3, 0, 0, 200000}};
    plan.records = {r};
    const Written w = Write(plan);
    const ManifestRecord& rec = w.manifest.records[0];
    const size_t ix = size_t{w.manifest.indexSector} * 512;
    EXPECT_EQ(Be32(w.image, ix + 4), Be32(w.image, ix + 8));  // segment 1 empty
    EXPECT_EQ(0u, rec.segments[1].sectors);
    size_t huge = 0;
    for (const auto& f : rec.frames) {
        EXPECT_NE(1u, f.second);
        if (f.length < 128000)
            continue;
        ++huge;
        const auto vop = mkdisk_test::FrameBytes(w.image, rec, f);
        EXPECT_EQ(f.second == 2 ? 128000u : 200000u, vop.size());
        EXPECT_FALSE(HasStartCode(vop.data() + 1, vop.size() - 1));
    }
    EXPECT_EQ(2u, huge);

    TempPath path(".img");
    DiskPlan bad;
    RecordPlan last = Short(PictureFormat::k352x240, 2);
    last.straddles = {{1, 0}};  // no segment after the last one
    bad.records = {last};
    const auto noNext = WriteDisk(bad, path.str());
    ASSERT_FALSE(noNext);
    EXPECT_EQ(platform::ErrorKind::Refused, noNext.Failure().kind);
    EXPECT_EQ("record 1: a straddle after segment 1 needs that segment and the next one, both not empty",
              noNext.Detail());
    bad.records[0].straddles = {{0, 0}};
    bad.records[0].emptySegments = {1};
    EXPECT_FALSE(WriteDisk(bad, path.str()));
    EXPECT_FALSE(std::filesystem::exists(path.str()));  // refused before anything is created

    // Found out while writing: tiny VOPs never cross a sector boundary, so no cut.
    // The half-written image goes.
    bad.records[0].emptySegments.clear();
    bad.records[0].videoCameras = 0;
    const auto noCut = WriteDisk(bad, path.str());
    ASSERT_FALSE(noCut);
    EXPECT_EQ(platform::ErrorKind::Refused, noCut.Failure().kind);
    EXPECT_EQ("no frame of segment 0 crosses a sector boundary to straddle", noCut.Detail());
    EXPECT_FALSE(std::filesystem::exists(path.str()));
}

TEST(MkdiskLayout, RawVolumeEntryPositionsAndOverrides)
{
    RawVolume v;
    v.fields.firstEntryPosition = 5;
    for (int i = 0; i < 3; ++i) {
        RawRecord r;
        r.header.begin = {2020, 1, 2, 3, 4, i};
        r.header.videoChannels = uint16_t(1u << (8 + i));  // channels 8..10: the first flag byte
        r.segments = {std::vector<uint8_t>(600, uint8_t(i + 1)), {}};
        v.records.push_back(r);
    }
    TempPath path(".img");
    ASSERT_TRUE(testing_support::Succeeded(WriteRawVolume(v, path.str())));
    auto img = ReadBytes(path.str());
    const size_t table = size_t{Be32(img, 12)} * 512;
    EXPECT_EQ(5u, Be16(img, 38));
    for (size_t i = 0; i < 3; ++i) {
        const size_t e = table + 128 + 32 * i;
        EXPECT_EQ(i, img[e]);
        EXPECT_EQ(uint8_t(0x80 >> i), img[e + 16]);
        EXPECT_EQ(0, img[e + 17]);
        const uint32_t o = Be32(img, e + 10);
        const size_t ix = size_t{Be32(img, 16)} * 512 + o * 4;
        // 600 bytes take two sectors; the empty segment takes none.
        EXPECT_EQ(Be32(img, ix) + 2, Be32(img, ix + 4));
        EXPECT_EQ(Be32(img, ix + 4), Be32(img, ix + 8));
        EXPECT_EQ(uint8_t(i + 1), img[size_t{Be32(img, ix)} * 512 + 599]);
        EXPECT_EQ(0, img[size_t{Be32(img, ix)} * 512 + 600]);
    }

    // Overrides land verbatim, for refusal tests.
    v.fields.firstEntryPosition = 0;
    v.fields.recordCount = 9000;
    v.fields.indexEntries = std::vector<uint32_t>{7, 3};
    v.records[0].header.segmentCountField = 0xFFFFFFFF;
    ASSERT_TRUE(testing_support::Succeeded(WriteRawVolume(v, path.str())));
    img = ReadBytes(path.str());
    EXPECT_EQ(9000u, Be16(img, 24));
    EXPECT_EQ(0u, Be16(img, 38));
    EXPECT_EQ(0xFFFFFFFFu, Be32(img, size_t{Be32(img, 12)} * 512 + 6));
    const size_t ix = size_t{Be32(img, 16)} * 512;
    EXPECT_EQ(7u, Be32(img, ix));
    EXPECT_EQ(3u, Be32(img, ix + 4));
    // The table area covers what a reader loads for 9000 records.
    EXPECT_GE(Be32(img, 16), Be32(img, 12) + (9000u * 32) / 512 + 1);
}

TEST(MkdiskLayout, ChannelFlagBitOrder)
{
    EXPECT_EQ((std::array<uint8_t, 2>{0x00, 0x80}), EncodeChannelFlags(0x0001));
    EXPECT_EQ((std::array<uint8_t, 2>{0x00, 0x01}), EncodeChannelFlags(0x0080));
    EXPECT_EQ((std::array<uint8_t, 2>{0x80, 0x00}), EncodeChannelFlags(0x0100));
    EXPECT_EQ((std::array<uint8_t, 2>{0x01, 0x00}), EncodeChannelFlags(0x8000));
    EXPECT_EQ((std::array<uint8_t, 2>{0x00, 0xF0}), EncodeChannelFlags(0x000F));
}

TEST(MkdiskLayout, TimeArithmeticCrossesYearsAndLeapDays)
{
    const RecordTime t = AddSeconds({2006, 12, 31, 23, 59, 59}, 1);
    EXPECT_EQ(2007, t.year);
    EXPECT_EQ(1, t.month);
    EXPECT_EQ(1, t.day);
    EXPECT_EQ(0, t.hour + t.minute + t.second);
    const RecordTime leap = AddSeconds({2024, 2, 28, 12, 0, 0}, 86400);
    EXPECT_EQ(2, leap.month);
    EXPECT_EQ(29, leap.day);
}

TEST(MkdiskLayout, DemoDiskCoversFormatsKindsAndChannelsSameBytesEveryTime)
{
    const Written w = Write(DemoPlan());
    EXPECT_TRUE(w.image == Write(DemoPlan()).image);
    const auto& recs = w.manifest.records;
    ASSERT_EQ(4u, recs.size());
    std::vector<int> formats, kinds;
    int withSound = 0;
    bool cameraWithoutVideo = false;
    bool straddles = false;
    for (const auto& r : recs) {
        formats.push_back(r.header.formatByte & 0x50);
        kinds.push_back(r.header.kindFlags);
        EXPECT_EQ(0x80, r.header.formatByte & 0x80);
        withSound += __builtin_popcount(r.header.audioChannels);
        cameraWithoutVideo |= (r.header.videoChannels & 0x0F) != 0x0F;
        for (const auto& f : r.frames)
            straddles |= f.bytesInSegment < f.length;
    }
    std::sort(formats.begin(), formats.end());
    std::sort(kinds.begin(), kinds.end());
    EXPECT_EQ((std::vector<int>{0x00, 0x10, 0x40, 0x50}), formats);
    EXPECT_EQ((std::vector<int>{0x00, 0x04, 0x08, 0x10}), kinds);
    EXPECT_EQ(0x0001, recs[0].header.audioChannels & 0x0001);  // the README plays record 1, camera 1
    EXPECT_EQ(2, withSound);
    EXPECT_TRUE(cameraWithoutVideo);
    EXPECT_TRUE(straddles);
}

TEST(MkdiskLayout, RefusesToWriteAnythingButARegularFile)
{
    const auto device = CheckOutputPath("/dev/null");
    ASSERT_FALSE(device);
    EXPECT_EQ(platform::ErrorKind::Refused, device.Failure().kind);
    EXPECT_EQ("/dev/null: not a regular file", device.Detail());
    const std::string folder = std::filesystem::temp_directory_path().string();
    const auto directory = CheckOutputPath(folder);
    ASSERT_FALSE(directory);
    EXPECT_EQ(folder + ": not a regular file", directory.Detail());
    EXPECT_TRUE(CheckOutputPath(folder + "/quillon-no-such-file.img"));
    // A block device, if the machine shows one: only the check runs, nothing is opened.
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/dev", ec)) {
        if (e.is_block_file(ec)) {
            const auto block = CheckOutputPath(e.path().string());
            ASSERT_FALSE(block);
            EXPECT_EQ(platform::ErrorKind::Refused, block.Failure().kind);
            EXPECT_EQ(e.path().string() + ": is a block device; refusing to overwrite a disk", block.Detail());
            break;
        }
    }
    RawVolume v;
    const auto raw = WriteRawVolume(v, "/dev/null");
    ASSERT_FALSE(raw);
    EXPECT_EQ("/dev/null: not a regular file", raw.Detail());
}
