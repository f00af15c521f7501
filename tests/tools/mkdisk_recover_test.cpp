// Disks with footage the record table no longer lists: where the entries, the
// index entries and the segments of dropped, deleted, overwritten, index-only
// and unindexed records land, read from the image by hand and by python3.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "mkdisk_support.h"
#include "support/succeeded.h"
#include "tools/mkdisk/disk_writer.h"
#include "tools/mkdisk/plan_options.h"

using namespace mkdisk;
using mkdisk_test::Be16;
using mkdisk_test::Be32;
using mkdisk_test::Capture;
using mkdisk_test::Exit;
using mkdisk_test::ReadBytes;
using mkdisk_test::TempPath;
using mkdisk_test::ToolRun;
using mkdisk_test::Write;
using mkdisk_test::Written;

namespace {

const std::string kTool = std::string(QUILLON_BIN_DIR) + "/quillon-mkdisk";

// A segment's sectors as they stand in the image.
std::vector<uint8_t> Sectors(const std::vector<uint8_t>& image, const ManifestSegment& s)
{
    const size_t at = size_t{s.firstSector} * 512, n = size_t{s.sectors} * 512;
    if (at + n > image.size())
        return {};
    return {image.begin() + static_cast<ptrdiff_t>(at), image.begin() + static_cast<ptrdiff_t>(at + n)};
}

std::vector<uint8_t> Slot(const std::vector<uint8_t>& image, uint32_t slot)
{
    const size_t at = size_t{Be32(image, 12)} * 512 + size_t{slot - 1} * 32;
    return {image.begin() + static_cast<ptrdiff_t>(at), image.begin() + static_cast<ptrdiff_t>(at + 32)};
}

uint32_t IndexEntry(const std::vector<uint8_t>& image, uint32_t entry)
{
    return Be32(image, size_t{Be32(image, 16)} * 512 + size_t{entry} * 4);
}

RecordPlan Seconds(uint32_t n, Placement p = Placement::Listed)
{
    RecordPlan r;
    r.seconds = n;
    r.placement = p;
    return r;
}

std::vector<std::vector<std::string>> ManifestLines(const std::string& path, const std::string& kind)
{
    std::vector<std::vector<std::string>> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.starts_with(kind + "\t"))
            continue;
        std::vector<std::string> fields;
        std::stringstream ss(line);
        std::string f;
        while (std::getline(ss, f, '\t'))
            fields.push_back(f);
        lines.push_back(fields);
    }
    return lines;
}

}  // namespace

// The demo of unlisted footage, its header, table slots and index read by hand.
TEST(MkdiskRecover, DemoPutsEachEntryInItsSlotAndZeroesTheOthers)
{
    const Written w = Write(RecoverDemoPlan());
    const auto& img = w.image;
    const auto& recs = w.manifest.records;
    ASSERT_EQ(7u, recs.size());
    EXPECT_EQ(2u, Be16(img, 24));  // record count: the two listed records
    EXPECT_EQ(3u, Be16(img, 38));  // first entry position past the two dropped ones
    EXPECT_EQ(img.size(), size_t{w.manifest.totalSectors} * 512);

    const std::vector<Placement> placements = {Placement::Dropped,  Placement::Dropped, Placement::Listed,
                                               Placement::Deleted,  Placement::Listed,  Placement::IndexOnly,
                                               Placement::Unindexed};
    const std::vector<uint32_t> slots = {1, 2, 3, 5, 4, 6, 7};
    for (size_t r = 0; r < recs.size(); ++r) {
        SCOPED_TRACE("record " + std::to_string(r + 1));
        EXPECT_EQ(placements[r], recs[r].placement);
        EXPECT_EQ(slots[r], recs[r].slot);
        const auto entry = Slot(img, slots[r]);
        if (EntryWritten(placements[r])) {
            const auto expected = EncodeRecordEntry(recs[r].header, recs[r].segmentCount, recs[r].indexOffset);
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), entry.begin()));
        } else {
            EXPECT_TRUE(std::all_of(entry.begin(), entry.end(), [](uint8_t b) { return b == 0; }));
        }
        // Index entries: the segments' boundaries, or all zero for the unindexed record.
        for (uint32_t s = 0; s <= recs[r].segmentCount; ++s) {
            const uint32_t e = IndexEntry(img, recs[r].indexOffset + s);
            if (!IndexWritten(placements[r])) {
                EXPECT_EQ(0u, e) << s;
            } else if (s < recs[r].segmentCount) {
                EXPECT_EQ(recs[r].segments[s].firstSector, e) << s;
            } else {
                EXPECT_EQ(recs[r].segments[s - 1].firstSector + recs[r].segments[s - 1].sectors, e);
            }
        }
    }
    // One table sector, the index area after it, the data after that.
    EXPECT_EQ(1u, w.manifest.tableSector);
    EXPECT_EQ(1u, w.manifest.tableSectors);
    EXPECT_EQ(2u, w.manifest.indexSector);
    EXPECT_EQ(recs[0].segments[0].firstSector, w.manifest.indexSector + w.manifest.indexSectors);
    // Slot 8 and the rest of the table sector: nothing.
    for (uint32_t slot = 8; slot <= 16; ++slot) {
        const auto e = Slot(img, slot);
        EXPECT_TRUE(std::all_of(e.begin(), e.end(), [](uint8_t b) { return b == 0; })) << slot;
    }
    // The segments of the unindexed and index-only records are still on the disk.
    for (size_t r : {5u, 6u})
        for (const auto& s : recs[r].segments) {
            const auto bytes = Sectors(img, s);
            ASSERT_FALSE(bytes.empty());
            EXPECT_EQ((std::vector<uint8_t>{0, 0, 1, 0x00}),
                      std::vector<uint8_t>(bytes.begin() + s.videoStart, bytes.begin() + s.videoStart + 4));
        }
}

// Record 3 was written over record 2's last two seconds: record 2's index still
// points there, the sectors hold record 3's segments, the manifest says so, and
// everything not overwritten is byte for byte what the all-listed twin holds.
TEST(MkdiskRecover, UnlistedSegmentsAreTheListedBytesUnlessOverwritten)
{
    const Written demo = Write(RecoverDemoPlan());
    const Written twin = Write(AllListed(RecoverDemoPlan()));
    ASSERT_EQ(demo.manifest.records.size(), twin.manifest.records.size());
    EXPECT_EQ(7u, Be16(twin.image, 24));
    EXPECT_EQ(3u, Be16(twin.image, 38));

    const ManifestRecord& victim = demo.manifest.records[1];
    const ManifestRecord& over = demo.manifest.records[2];
    ASSERT_EQ(4u, victim.segments.size());
    EXPECT_EQ(victim.segments[2].firstSector, over.segments[0].firstSector);
    EXPECT_EQ(victim.indexOffset + 4, over.indexOffset - 1);  // index runs never shared
    EXPECT_EQ(victim.segments[3].firstSector + victim.segments[3].sectors,
              IndexEntry(demo.image, victim.indexOffset + 4));

    for (size_t r = 0; r < demo.manifest.records.size(); ++r) {
        const ManifestRecord& d = demo.manifest.records[r];
        const ManifestRecord& t = twin.manifest.records[r];
        ASSERT_EQ(d.segments.size(), t.segments.size());
        for (size_t s = 0; s < d.segments.size(); ++s) {
            SCOPED_TRACE("record " + std::to_string(r + 1) + " segment " + std::to_string(s));
            const bool overwritten = r == 1 && s >= 2;
            EXPECT_EQ(overwritten ? SegmentState::Overwritten : SegmentState::Intact, d.segments[s].state);
            EXPECT_EQ(SegmentState::Intact, t.segments[s].state);
            EXPECT_EQ(d.segments[s].contentBytes, t.segments[s].contentBytes);  // the same stream planned
            const auto here = Sectors(demo.image, d.segments[s]);
            ASSERT_FALSE(here.empty());
            if (!overwritten) {
                EXPECT_TRUE(here == Sectors(twin.image, t.segments[s]));
            } else {
                EXPECT_FALSE(here == Sectors(twin.image, t.segments[s]));
                EXPECT_EQ(3u, d.segments[s].byRecord);
            }
        }
        // The frames the manifest lists are the same frames either way.
        ASSERT_EQ(d.frames.size(), t.frames.size());
        for (size_t f = 0; f < d.frames.size(); ++f)
            EXPECT_EQ(d.frames[f].crc, t.frames[f].crc) << r << " " << f;
    }
    // Record 3's sectors, wherever they overlap record 2's, are record 3's own
    // bytes: the same as its segments in the twin, where nothing was overwritten.
    for (size_t s = 0; s < over.segments.size(); ++s)
        EXPECT_TRUE(Sectors(demo.image, over.segments[s]) == Sectors(twin.image, twin.manifest.records[2].segments[s]))
            << s;
    EXPECT_EQ(0u, victim.segments[2].bySegmentFirst);
    EXPECT_EQ(victim.segments[3].byRecord, 3u);
    EXPECT_GE(victim.segments[3].bySegmentLast, victim.segments[3].bySegmentFirst);
    EXPECT_GE(victim.segments[3].bySegmentFirst, victim.segments[2].bySegmentLast);
    // The listed records never share a sector with anything written after them.
    for (const size_t r : {2u, 4u})
        for (const auto& s : demo.manifest.records[r].segments)
            EXPECT_EQ(SegmentState::Intact, s.state);
}

// The records after the one written over an earlier record go on from its end:
// when it ends inside the earlier record, they overwrite more of it, and the
// image stays as long as the data ever written.
TEST(MkdiskRecover, RecordsAfterTheOverwriterFollowItsEnd)
{
    DiskPlan plan;
    RecordPlan victim = Seconds(5, Placement::Deleted);
    victim.overwrittenSeconds = 1;
    // Cameras without video: a second of a few dozen sectors, far less than the victim's.
    RecordPlan tiny = Seconds(1);
    tiny.videoCameras = 0;
    RecordPlan tinyIndexOnly = tiny;
    tinyIndexOnly.placement = Placement::IndexOnly;
    plan.records = {victim, tiny, tinyIndexOnly, tiny};
    const Written w = Write(plan);
    const auto& recs = w.manifest.records;
    const auto& v = recs[0].segments;
    EXPECT_EQ(v[4].firstSector, recs[1].segments[0].firstSector);
    for (size_t r = 1; r + 1 < recs.size(); ++r)
        EXPECT_EQ(recs[r].segments[0].firstSector + recs[r].segments[0].sectors, recs[r + 1].segments[0].firstSector);
    const uint32_t victimEnd = v[4].firstSector + v[4].sectors;
    EXPECT_LT(recs[3].segments[0].firstSector + recs[3].segments[0].sectors, victimEnd);
    for (size_t s = 0; s < 4; ++s)
        EXPECT_EQ(SegmentState::Intact, v[s].state) << s;
    EXPECT_EQ(SegmentState::Overwritten, v[4].state);
    EXPECT_EQ(2u, v[4].byRecord);  // the first record written over it
    for (size_t r = 1; r < recs.size(); ++r)
        EXPECT_EQ(SegmentState::Intact, recs[r].segments[0].state) << r;
    EXPECT_EQ(victimEnd, w.manifest.totalSectors);
    EXPECT_EQ(size_t{victimEnd} * 512, w.image.size());
    // The victim's index still ends where it ended; two records are listed.
    EXPECT_EQ(victimEnd, IndexEntry(w.image, recs[0].indexOffset + 5));
    EXPECT_EQ(2u, Be16(w.image, 24));
}

// Slots after the listed run widen the table past its first sector; the
// header's count still covers the listed records only.
TEST(MkdiskRecover, UnlistedSlotsWidenTheTable)
{
    DiskPlan plan;
    plan.records = {Seconds(0)};
    for (int i = 0; i < 20; ++i) {
        plan.records.push_back(Seconds(0, Placement::Deleted));
        plan.records.back().kind = RecordKind::M;
    }
    const Written w = Write(plan);
    EXPECT_EQ(1u, Be16(w.image, 24));
    EXPECT_EQ(2u, w.manifest.tableSectors);  // 21 slots, 672 bytes
    EXPECT_EQ(3u, Be32(w.image, 16));        // the index area right after it
    const auto last = Slot(w.image, 21);
    EXPECT_EQ(0x10, last[14]);
    EXPECT_EQ(20u, Be32(last, 10));  // each empty record owns one index entry
    EXPECT_EQ(21u, w.manifest.records.back().slot);
}

TEST(MkdiskRecover, ImpossiblePlansAreRefusedWithAReasonAndNothingWritten)
{
    struct Case {
        DiskPlan plan;
        std::string reason;
    };
    std::vector<Case> cases;
    auto add = [&](std::vector<RecordPlan> records, std::string reason, uint16_t first = 1) {
        DiskPlan p;
        p.records = std::move(records);
        p.fields.firstEntryPosition = first;
        cases.push_back({p, reason});
    };
    RecordPlan listedOverwritten = Seconds(2);
    listedOverwritten.overwrittenSeconds = 1;
    RecordPlan tooMany = Seconds(2, Placement::Deleted);
    tooMany.overwrittenSeconds = 3;
    RecordPlan lastOne = Seconds(2, Placement::Deleted);
    lastOne.overwrittenSeconds = 1;
    RecordPlan emptyTail = Seconds(3, Placement::Deleted);
    emptyTail.overwrittenSeconds = 2;
    emptyTail.emptySegments = {1};
    add({Seconds(1, Placement::Dropped), Seconds(1, Placement::Dropped), Seconds(1)},
        "2 dropped records need a first entry position above 2 (it is 2)", 2);
    add({Seconds(1, Placement::Dropped)}, "1 dropped records need a first entry position above 1 (it is 0)", 0);
    add({listedOverwritten, Seconds(1)},
        "record 1: a listed record is never overwritten; only one the table no longer lists");
    add({tooMany, Seconds(1)}, "record 1: cannot overwrite 3 seconds of 2");
    add({lastOne}, "record 1: the record written over its last seconds must follow it in the plan, listed and with "
                   "at least one second");
    add({lastOne, Seconds(1, Placement::Deleted)},
        "record 1: the record written over its last seconds must follow it in the plan, listed and with at least "
        "one second");
    add({lastOne, Seconds(0)}, "record 1: the record written over its last seconds must follow it in the plan, "
                               "listed and with at least one second");
    add({emptyTail, Seconds(2)}, "record 1: second 1 is empty: it has no sectors that could be overwritten");
    for (const Case& c : cases) {
        TempPath out(".img");
        const auto written = WriteDisk(c.plan, out.str());
        ASSERT_FALSE(written) << c.reason;
        EXPECT_EQ(platform::ErrorKind::Refused, written.Failure().kind);
        EXPECT_EQ(c.reason, written.Detail());
        EXPECT_FALSE(std::filesystem::exists(out.str())) << c.reason;
    }

    // Known only once written: the overwriter is too short to reach the last second.
    DiskPlan shortOver;
    RecordPlan big = Seconds(3, Placement::Dropped);
    big.overwrittenSeconds = 3;
    RecordPlan small = Seconds(1);
    small.videoCameras = 0;  // tiny VOPs only: far fewer sectors than a second of video
    shortOver.records = {big, small};
    shortOver.fields.firstEntryPosition = 2;
    TempPath out(".img");
    const auto written = WriteDisk(shortOver, out.str());
    ASSERT_FALSE(written);
    EXPECT_EQ("record 2 ends before the last second of record 1: give it more seconds or overwrite fewer",
              written.Detail());
    EXPECT_FALSE(std::filesystem::exists(out.str()));
}

TEST(MkdiskRecover, VolumeWriterRefusesSharedSlotsAndRewindsOutsideTheData)
{
    TempPath out(".img");
    VolumeWriter v;
    const std::vector<RecordHeader> two(2);
    auto shared = v.Open(out.str(), two, {1, 1}, {}, {RecordLayout{3}, RecordLayout{3}});
    ASSERT_FALSE(shared);
    EXPECT_EQ("records 0 and 1 share table slot 3", shared.Detail());
    // A slot given explicitly against the listed run's default for the other record.
    shared = v.Open(out.str(), two, {1, 1}, {}, {RecordLayout{}, RecordLayout{1}});
    ASSERT_FALSE(shared);
    EXPECT_EQ("records 0 and 1 share table slot 1", shared.Detail());
    const auto far = v.Open(out.str(), two, {1, 1}, {}, {RecordLayout{}, RecordLayout{200000}});
    ASSERT_FALSE(far);
    EXPECT_EQ("record 1: table slot 200000 beyond 131070", far.Detail());
    EXPECT_FALSE(std::filesystem::exists(out.str()));

    ASSERT_TRUE(testing_support::Succeeded(v.Open(out.str(), two, {1, 1}, {})));
    const uint32_t start = v.NextSector();
    EXPECT_FALSE(v.RewindTo(start + 1));
    EXPECT_FALSE(v.RewindTo(start - 1));
    ASSERT_TRUE(v.BeginRecord(0));
    const std::vector<uint8_t> seg(1024, 0x5A);
    EXPECT_FALSE(v.RewindTo(start));  // inside a record that lacks segments
    ASSERT_TRUE(v.AppendSegment(seg));
    ASSERT_TRUE(testing_support::Succeeded(v.RewindTo(start + 1)));
    ASSERT_TRUE(v.BeginRecord(1));
    ASSERT_TRUE(v.AppendSegment(std::vector<uint8_t>(512, 0xA5)));
    EXPECT_EQ(start + 2, v.NextSector());
    EXPECT_EQ(start + 2, v.EndSector());
    ASSERT_TRUE(testing_support::Succeeded(v.Finish()));
    const auto img = ReadBytes(out.str());
    ASSERT_EQ(size_t{start + 2} * 512, img.size());
    EXPECT_EQ(0x5A, img[size_t{start} * 512 + 511]);
    EXPECT_EQ(0xA5, img[size_t{start + 1} * 512]);  // the second record's sector over the first's
}

// The command line: the image named without -o, the recover demo the same as
// the plan, placements and overwrites as record keys, the manifest's new lines.
TEST(MkdiskRecover, CommandLineWritesTheDemoAndSaysWhatIsWhere)
{
    TempPath a(".img"), b(".img"), manifest(".tsv");
    ASSERT_EQ(0, Exit(a.str() + " --recover-demo --manifest " + manifest.str()));
    ASSERT_EQ(0, Exit("-o " + b.str() + " --recover-demo"));
    const auto image = ReadBytes(a.str());
    EXPECT_TRUE(image == ReadBytes(b.str()));
    EXPECT_TRUE(image == Write(RecoverDemoPlan()).image);

    const auto placements = ManifestLines(manifest.str(), "placement");
    const std::vector<std::vector<std::string>> expected = {
        {"placement", "1", "dropped", "1", "written", "0", "written"},
        {"placement", "2", "dropped", "2", "written", "4", "written"},
        {"placement", "3", "listed", "3", "written", "9", "written"},
        {"placement", "4", "deleted", "5", "written", "14", "written"},
        {"placement", "5", "listed", "4", "written", "18", "written"},
        {"placement", "6", "index-only", "6", "zeroed", "22", "written"},
        {"placement", "7", "unindexed", "7", "zeroed", "26", "zeroed"}};
    EXPECT_EQ(expected, placements);
    EXPECT_EQ((std::vector<std::vector<std::string>>{
                  {"area", "header", "0", "1"}, {"area", "record table", "1", "1"}, {"area", "index area", "2", "1"}}),
              ManifestLines(manifest.str(), "area"));
    const auto states = ManifestLines(manifest.str(), "state");
    ASSERT_EQ(3u + 4 + 4 + 3 + 3 + 3 + 3, states.size());
    std::map<std::string, std::vector<std::string>> byKey;
    for (const auto& s : states)
        byKey[s[1] + "/" + s[2]] = s;
    EXPECT_EQ((std::vector<std::string>{"state", "2", "1", "intact", "-", "-"}), byKey["2/1"]);
    EXPECT_EQ((std::vector<std::string>{"state", "2", "2", "overwritten", "3", "0-1"}), byKey["2/2"]);
    EXPECT_EQ("overwritten", byKey["2/3"][3]);
    EXPECT_EQ("3", byKey["2/3"][4]);
    const size_t overwritten = static_cast<size_t>(
        std::count_if(states.begin(), states.end(), [](const auto& s) { return s[3] == "overwritten"; }));
    EXPECT_EQ(2u, overwritten);

    // The twin: the same records, all listed; unlisted ones from the record keys.
    TempPath twin(".img"), keys(".img"), keysTwin(".img");
    ASSERT_EQ(0, Exit(twin.str() + " --recover-demo --all-listed"));
    EXPECT_TRUE(ReadBytes(twin.str()) == Write(AllListed(RecoverDemoPlan())).image);
    const std::string records = "--record seconds=2,placement=dropped --record seconds=2,placement=deleted,overwrite=1 "
                                "--record seconds=2 --record seconds=1,placement=unindexed";
    ASSERT_EQ(0, Exit(keys.str() + " " + records));
    ASSERT_EQ(0, Exit(keysTwin.str() + " --all-listed " + records));
    const auto k = ReadBytes(keys.str());
    EXPECT_EQ(1u, Be16(k, 24));
    EXPECT_EQ(2u, Be16(k, 38));  // moved past the dropped record's slot
    const auto kt = ReadBytes(keysTwin.str());
    EXPECT_EQ(4u, Be16(kt, 24));
    EXPECT_EQ(2u, Be16(kt, 38));
    // The dropped record's first second lies where it lies in the twin, and is the same.
    EXPECT_EQ(0, std::memcmp(&k[Be32(k, 16) * 512 + 0], &kt[Be32(kt, 16) * 512 + 0], 4));
    const size_t first = size_t{IndexEntry(k, 0)} * 512, end = size_t{IndexEntry(k, 1)} * 512;
    ASSERT_LT(first, end);
    EXPECT_TRUE(std::equal(k.begin() + static_cast<ptrdiff_t>(first), k.begin() + static_cast<ptrdiff_t>(end),
                           kt.begin() + static_cast<ptrdiff_t>(first)));
}

TEST(MkdiskRecover, CommandLineRefusals)
{
    const std::vector<std::pair<std::vector<std::string_view>, std::string>> cases = {
        {{"x.img", "--record", "placement=lost"}, "bad value in record option 'placement=lost'"},
        {{"x.img", "--record", "overwrite=two"}, "bad value in record option 'overwrite=two'"},
        {{"x.img", "--demo", "--recover-demo"}, "give one of --demo and --recover-demo"},
        {{"x.img", "--recover-demo", "--record", "seconds=1"},
         "--recover-demo writes its own records; leave out --record"},
        {{"x.img", "y.img", "--demo"}, "a second output file: 'y.img'"},
        {{"-o", "x.img", "y.img", "--demo"}, "a second output file: 'y.img'"},
    };
    for (const auto& [args, text] : cases) {
        CommandLine cmd;
        const auto parsed = ParseCommandLine(args, cmd);
        ASSERT_FALSE(parsed) << text;
        EXPECT_EQ(text, parsed.Detail());
    }
    CommandLine cmd;
    ASSERT_TRUE(testing_support::Succeeded(ParseCommandLine(
        {"x.img", "--first-entry", "9", "--record", "placement=index-only,overwrite=2,seconds=3"}, cmd)));
    EXPECT_EQ("x.img", cmd.output);
    EXPECT_EQ(9u, cmd.plan.fields.firstEntryPosition);  // given, so kept
    EXPECT_EQ(Placement::IndexOnly, cmd.plan.records.at(0).placement);
    EXPECT_EQ(2u, cmd.plan.records.at(0).overwrittenSeconds);
    // The plan is refused when written, and nothing is left behind.
    TempPath out(".img");
    EXPECT_EQ(1, Exit(out.str() + " --record placement=deleted,overwrite=1"));
    EXPECT_FALSE(std::filesystem::exists(out.str()));
    EXPECT_EQ(0, Exit("--help"));
    const ToolRun help = Capture(kTool + " --help");
    for (const char* option : {"--recover-demo", "--all-listed", "placement=", "overwrite=", "index-only", "unindexed"})
        EXPECT_NE(std::string::npos, help.out.find(option)) << option;
}

// An independent reading of the demo disk: python3 walks the header, the table
// and the index and prints each non-zero slot and each record's index run.
TEST(MkdiskRecover, Python3ReadsTheSlotsAndTheIndexAsTheManifestSays)
{
    if (std::system("python3 -c 'import struct' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 not found";
    TempPath image(".img"), script(".py");
    const Written w = Write(RecoverDemoPlan());
    {
        std::ofstream img(image.str(), std::ios::binary);
        img.write(reinterpret_cast<const char*>(w.image.data()), static_cast<std::streamsize>(w.image.size()));
        std::ofstream py(script.str());
        py << R"(import struct, sys
d = open(sys.argv[1], 'rb').read()
table, index = struct.unpack('>II', d[12:20])
count, = struct.unpack('>H', d[24:26])
first, = struct.unpack('>H', d[38:40])
print('header', count, first)
for slot in range(1, 17):
    e = d[table * 512 + (slot - 1) * 32:table * 512 + slot * 32]
    if any(e):
        segs, off = struct.unpack('>II', e[6:14])
        ix = struct.unpack('>%dI' % (segs + 1), d[index * 512 + off * 4:index * 512 + (off + segs + 1) * 4])
        print('slot', slot, segs, off, ' '.join(map(str, ix)))
)";
    }
    const ToolRun run = Capture("python3 " + script.str() + " " + image.str());
    ASSERT_EQ(0, run.status) << run.out;
    std::ostringstream expected;
    expected << "header 2 3\n";
    std::vector<std::pair<uint32_t, const ManifestRecord*>> bySlot;
    for (const auto& r : w.manifest.records)
        if (EntryWritten(r.placement))
            bySlot.push_back({r.slot, &r});
    std::sort(bySlot.begin(), bySlot.end());
    for (const auto& [slot, r] : bySlot) {
        expected << "slot " << slot << " " << r->segmentCount << " " << r->indexOffset;
        for (const auto& s : r->segments)
            expected << " " << s.firstSector;
        expected << " " << r->segments.back().firstSector + r->segments.back().sectors << "\n";
    }
    EXPECT_EQ(expected.str(), run.out);
    EXPECT_EQ(5u, bySlot.size());
}
