// Reports read back for verify: the report as written parses to the ranges
// and output it lists; a damaged or hand-edited one is refused with a reason.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "evidence/export_report.h"
#include "evidence/report_reader.h"

namespace {

using Json = nlohmann::json;

const std::string kSha(64, 'a');
const std::string kMd5(32, 'b');

evidence::ExportReport SampleReport()
{
    evidence::ExportReport r;
    r.quillonVersion = "0.1";
    r.createdUtc = "2026-12-08T04:00:00Z";
    r.complete = true;
    r.end = "completed";
    r.source.path = "disk.img";
    r.source.absolutePath = "/evidence/disk.img";
    r.source.sizeBytes = 1 << 20;
    r.source.sector0 = {0, 1, kSha};
    r.source.recordTable = {1, 2, kSha};
    r.source.recordIndex = {3, 1, std::string()};  // not readable when written: no check
    evidence::SegmentRead read;
    read.segment = 4;
    read.firstSector = 100;
    read.sectorCount = 20;
    r.reads.push_back(read);
    r.output.present = true;
    r.output.file = "out.mpg";
    r.output.sizeBytes = 1234;
    r.output.sha256 = kSha;
    r.output.md5 = kMd5;
    return r;
}

// The report parsed into out; false with error set, out left as it was.
bool Parse(std::string_view text, evidence::ReportToCheck& out, std::string& error)
{
    auto parsed = evidence::ParseReport(text);
    if (!parsed) {
        error = parsed.Detail();
        return false;
    }
    out = std::move(*parsed);
    return true;
}

std::string Refusal(const std::string& text)
{
    evidence::ReportToCheck out;
    std::string error;
    EXPECT_FALSE(Parse(text, out, error)) << text.substr(0, 200);
    EXPECT_TRUE(out.ranges.empty() && !out.hasOutput) << "nothing half-parsed is left";
    return error;
}

// The sample report with one change made to its JSON.
std::string Edited(const std::function<void(Json&)>& edit)
{
    Json j = Json::parse(evidence::ReportJson(SampleReport()));
    edit(j);
    return j.dump();
}

TEST(ReportReaderTest, TheReportAsWrittenGivesItsRangesAndOutput)
{
    evidence::ReportToCheck out;
    std::string error;
    ASSERT_TRUE(Parse(evidence::ReportJson(SampleReport()), out, error)) << error;
    EXPECT_EQ(out.diskPath, "/evidence/disk.img");
    EXPECT_EQ(out.diskBytes, 1u << 20);
    EXPECT_TRUE(out.complete);
    ASSERT_EQ(out.ranges.size(), 3u) << "sector 0, the record table, one read; the unread index is skipped";
    EXPECT_EQ(out.unhashed, std::vector<std::string>{"record index"}) << "and named as unchecked";
    EXPECT_EQ(out.ranges[1].what, "record table");
    EXPECT_EQ(out.ranges[2].what, "read at position 4");
    EXPECT_EQ(out.ranges[2].firstSector, 100u);
    EXPECT_EQ(out.ranges[2].sectorCount, 20u);
    EXPECT_EQ(out.ranges[2].sha256, evidence::Hex(evidence::Sha256Bytes{}));
    EXPECT_TRUE(out.hasOutput);
    EXPECT_EQ(out.outputFile, "out.mpg");
    EXPECT_EQ(out.outputMd5, kMd5);

    evidence::ExportReport failed = SampleReport();
    failed.complete = false;
    failed.end = "nothing-read";
    failed.reason = "nothing could be read";
    failed.output.present = false;
    failed.source.absolutePath.clear();
    ASSERT_TRUE(Parse(evidence::ReportJson(failed), out, error)) << error;
    EXPECT_FALSE(out.complete);
    EXPECT_EQ(out.reason, "nothing could be read");
    EXPECT_FALSE(out.hasOutput);
    EXPECT_EQ(out.diskPath, "disk.img") << "without an absolute path, the path as named";
}

// The disk as opened and the bytes read beside the cursor come back: the
// identity whole, the stream header's sectors and each sound area as ranges
// to read again, after the cursor's reads.
TEST(ReportReaderTest, TheOpenedDiskTheStreamHeaderAndTheSoundAreasComeBack)
{
    evidence::ExportReport r = SampleReport();
    platform::DriveIdentity& id = r.source.identity;
    id.path = "disk.img";
    id.format = "split";
    id.statKnown = true;
    id.device = 2049;
    id.inode = 1ull << 40;
    id.fileBytes = 1 << 19;
    id.modifiedSeconds = -5;  // before 1970: a file's time may be anything
    id.modifiedNanoseconds = 999999999;
    id.sizeBytes = 1 << 20;
    id.files = {"disk.img.001", "disk.img.002"};
    r.streamHeader.captured = true;
    r.streamHeader.segment = 0;
    r.streamHeader.offset = 500;
    r.streamHeader.sectors = {7, 2, kSha};
    r.streamHeader.matches = true;
    evidence::SegmentRead sound;
    sound.segment = 4;
    sound.firstSector = 100;
    sound.sectorCount = 32;
    r.soundReads = {sound};
    evidence::ReportToCheck out;
    std::string error;
    ASSERT_TRUE(Parse(evidence::ReportJson(r), out, error)) << error;
    EXPECT_TRUE(platform::SameIdentity(out.sourceIdentity, id));
    EXPECT_EQ(out.sourceIdentity.path, "disk.img");
    EXPECT_EQ(out.sourceIdentity.format, "split");
    EXPECT_EQ(out.sourceIdentity.files, id.files);
    ASSERT_EQ(out.ranges.size(), 5u);
    EXPECT_EQ(out.ranges[3].what, "stream header (captured at position 0)");
    EXPECT_EQ(out.ranges[3].firstSector, 7u);
    EXPECT_EQ(out.ranges[3].sectorCount, 2u);
    EXPECT_EQ(out.ranges[4].what, "sound area at position 4");
    EXPECT_EQ(out.ranges[4].sectorCount, 32u);

    // A block device keeps its numbers and serial.
    id = {};
    id.path = "/dev/sdb";
    id.format = "raw";
    id.statKnown = true;
    id.isDevice = true;
    id.major = 8;
    id.minor = 16;
    id.serial = "WD-123";
    id.sizeBytes = 1 << 20;
    ASSERT_TRUE(Parse(evidence::ReportJson(r), out, error)) << error;
    EXPECT_TRUE(out.sourceIdentity.isDevice);
    EXPECT_TRUE(platform::SameIdentity(out.sourceIdentity, id));
    id.serial = "WD-124";
    EXPECT_FALSE(platform::SameIdentity(out.sourceIdentity, id)) << "another disk in the same slot";
}

// A report written before the disk's identity, the stream header and the
// sound areas were recorded is still read for what it lists; one of the
// present format without them is refused.
TEST(ReportReaderTest, AReportOfTheFirstFormatIsReadForWhatItLists)
{
    Json j = Json::parse(evidence::ReportJson(SampleReport()));
    j["report_format"] = 1;
    j["source"].erase("identity");
    j.erase("stream_header");
    j.erase("sound_reads");
    j.erase("lost_seconds");
    evidence::ReportToCheck out;
    std::string error;
    ASSERT_TRUE(Parse(j.dump(), out, error)) << error;
    EXPECT_EQ(out.format, 1);
    EXPECT_EQ(out.ranges.size(), 3u);  // sector 0, the record table, the read
    EXPECT_TRUE(out.hasOutput);

    j["report_format"] = 2;
    EXPECT_NE(Refusal(j.dump()).find("identity"), std::string::npos);
}

TEST(ReportReaderTest, DamagedReportsAreRefusedWithAReason)
{
    const std::string whole = evidence::ReportJson(SampleReport());
    for (std::size_t cut : {std::size_t(0), std::size_t(1), whole.size() / 2, whole.size() - 3})
        EXPECT_NE(Refusal(whole.substr(0, cut)).find("not valid JSON"), std::string::npos) << cut;
    EXPECT_FALSE(Refusal("[1, 2, 3]").empty());
    EXPECT_FALSE(Refusal("\"text\"").empty());
    EXPECT_FALSE(Refusal(std::string(100000, '[')).empty()) << "deep nesting is refused, not recursed into";
    EXPECT_FALSE(Refusal(std::string("{\"report_format\":1,\x01}")).empty());
}

TEST(ReportReaderTest, HandEditedFieldsAreRefused)
{
    struct Case {
        const char* what;
        std::function<void(Json&)> edit;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"format", [](Json& j) { j["report_format"] = 3; }, "report_format 3"},
        {"complete as text", [](Json& j) { j["complete"] = "yes"; }, "complete"},
        {"no reads", [](Json& j) { j.erase("reads"); }, "reads is missing"},
        {"reads not a list", [](Json& j) { j["reads"] = Json::object(); }, "not a list"},
        {"size as text", [](Json& j) { j["source"]["size_bytes"] = "1048576"; }, "size_bytes"},
        {"negative sector", [](Json& j) { j["reads"][0]["first_sector"] = -1; }, "first_sector"},
        {"fractional count", [](Json& j) { j["reads"][0]["sector_count"] = 1.5; }, "sector_count"},
        {"huge number", [](Json& j) { j["reads"][0]["first_sector"] = 1e30; }, "first_sector"},
        {"sector past a 64-bit byte offset", [](Json& j) { j["reads"][0]["first_sector"] = 1ull << 55; },
         "out of range"},
        {"range past a 64-bit byte offset",
         [](Json& j) { j["reads"][0]["first_sector"] = (UINT64_MAX / 512 - 1) - 10; }, "range of sectors"},
        {"position past 32 bits", [](Json& j) { j["reads"][0]["position"] = 1ull << 32; }, "position"},
        {"empty range", [](Json& j) { j["reads"][0]["sector_count"] = 0; }, "range of sectors"},
        {"short hash", [](Json& j) { j["reads"][0]["sha256"] = "abc"; }, "hex digits"},
        {"upper-case hash", [](Json& j) { j["source"]["sector0"]["sha256"] = std::string(64, 'A'); }, "hex"},
        {"hash as number", [](Json& j) { j["output"]["sha256"] = 5; }, "not text"},
        {"md5 of sha256 length", [](Json& j) { j["output"]["md5"] = std::string(64, 'a'); }, "32 hex"},
        {"output in a folder", [](Json& j) { j["output"]["file"] = "../etc/passwd"; }, "plain file name"},
        {"output is ..", [](Json& j) { j["output"]["file"] = ".."; }, "plain file name"},
        {"source not an object", [](Json& j) { j["source"] = 7; }, "not an object"},
        {"reason as number", [](Json& j) { j["reason"] = 3; }, "reason"},
        {"no identity", [](Json& j) { j["source"].erase("identity"); }, "identity is missing"},
        {"identity known as text", [](Json& j) { j["source"]["identity"]["known"] = "yes"; }, "known"},
        {"identity of an odd kind", [](Json& j) { j["source"]["identity"]["kind"] = "tape"; }, "kind"},
        {"inode as text", [](Json& j) { j["source"]["identity"]["st_ino"] = "12"; }, "st_ino"},
        {"pieces not names", [](Json& j) { j["source"]["identity"]["files"] = Json::array({1}); }, "files"},
        {"no stream header", [](Json& j) { j.erase("stream_header"); }, "stream_header is missing"},
        {"stream header hash short",
         [](Json& j) {
             j["stream_header"] = {{"position", 0}, {"first_sector", 3}, {"sector_count", 1}, {"sha256", "ab"}};
         },
         "hex digits"},
        {"no sound reads", [](Json& j) { j.erase("sound_reads"); }, "sound_reads is missing"},
        {"sound reads not a list", [](Json& j) { j["sound_reads"] = 5; }, "sound_reads is not a list"},
        {"sound area past a 64-bit byte offset",
         [](Json& j) {
             j["sound_reads"] = Json::array(
                 {{{"position", 1}, {"first_sector", (1ull << 55) - 16}, {"sector_count", 32}, {"sha256", kSha}}});
         },
         "range of sectors"},
    };
    for (const Case& c : cases) {
        const std::string reason = Refusal(Edited(c.edit));
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
        EXPECT_EQ(reason.rfind("damaged or edited report", 0), 0u) << c.what << ": " << reason;
    }
}

// Past 2 TiB sector numbers no longer fit 32 bits: the report writes them
// and reads them back whole, never wrapped.
TEST(ReportReaderTest, SectorsPast2TiBAreWrittenAndReadBackWhole)
{
    evidence::ExportReport r = SampleReport();
    r.source.sizeBytes = 3ull << 40;
    r.source.recordIndex = {(3ull << 40) / 512 - 2, 2, kSha};
    r.reads[0].firstSector = (1ull << 32) - 4;  // across 2 TiB
    r.reads[0].sectorCount = 8;
    evidence::SegmentRead far;
    far.segment = 5;
    far.firstSector = (5ull << 39) / 512;  // 2.5 TiB
    far.sectorCount = 1ull << 33;
    r.reads.push_back(far);
    evidence::ReportToCheck out;
    std::string error;
    ASSERT_TRUE(Parse(evidence::ReportJson(r), out, error)) << error;
    ASSERT_EQ(out.ranges.size(), 5u);
    EXPECT_EQ(out.diskBytes, 3ull << 40);
    EXPECT_EQ(out.ranges[2].firstSector, (3ull << 40) / 512 - 2);
    EXPECT_EQ(out.ranges[3].firstSector, (1ull << 32) - 4);
    EXPECT_EQ(out.ranges[3].sectorCount, 8u);
    EXPECT_EQ(out.ranges[4].firstSector, (5ull << 39) / 512);
    EXPECT_EQ(out.ranges[4].sectorCount, 1ull << 33);
}

// JSON lets a key come twice and the parser would keep the last: a report
// saying "complete" twice (or any field, at any depth) is refused.
TEST(ReportReaderTest, AFieldGivenTwiceIsRefused)
{
    const std::string whole = evidence::ReportJson(SampleReport());
    const Json j = Json::parse(whole);
    const std::string text = j.dump();
    const auto twice = [&](const std::string& field, const std::string& second) {
        const std::size_t at = text.find(field);
        EXPECT_NE(at, std::string::npos) << field;
        return text.substr(0, at) + second + "," + text.substr(at);
    };
    for (const auto& [edited, name] : std::vector<std::pair<std::string, std::string>>{
             {twice("\"complete\":true", "\"complete\":false"), "complete"},
             {twice("\"sha256\":\"" + kSha, "\"sha256\":\"" + std::string(64, 'c') + "\""), "sha256"},
             {twice("\"first_sector\":100", "\"first_sector\":7"), "first_sector"},
             {twice("\"file\":\"out.mpg\"", "\"file\":\"other.mpg\""), "file"},
         }) {
        const std::string reason = Refusal(edited);
        EXPECT_NE(reason.find("\"" + name + "\" is given twice"), std::string::npos) << reason;
        EXPECT_EQ(reason.rfind("damaged or edited report", 0), 0u) << reason;
    }
    // The same key in two different objects is no duplicate.
    evidence::ReportToCheck out;
    std::string error;
    EXPECT_TRUE(Parse(text, out, error)) << error;
}

}  // namespace

namespace {

// The recovered section byte for byte as reports already written carry it
// (and verify reads it): its fields in their order, the bound as an object,
// each run of seconds with its note or null.
TEST(ReportReaderTest, TheRecoveredSectionKeepsItsBytes)
{
    evidence::ExportReport report = SampleReport();
    evidence::RecoveredReport& recovered = report.record.recovered;
    recovered.present = true;
    recovered.id = "u2";
    recovered.source = "table slot";
    recovered.slot = 41;
    recovered.indexOffset = 77;
    recovered.firstSector = 4096;
    recovered.sectorCount = 300;
    recovered.timeRecorded = true;
    recovered.boundEarliest = "2023/01/01 10:10:03";
    recovered.boundLatest = "2023/01/01 10:29:59";
    recovered.boundReason = "after second 3 of u1";
    recovered.segments = {{0, 3, "intact", ""}, {4, 4, "damaged", "sector 9 unreadable"}};
    const auto Section = [](const std::string& text) {
        const size_t from = text.find("\n  \"recovered\": "), to = text.find("\n  \"segment\": ");
        return from < to && to != std::string::npos ? text.substr(from, to - from) : std::string("(not found)");
    };
    EXPECT_EQ(Section(evidence::ReportJson(report)), "\n"
                                                     R"(  "recovered": {
    "id": "u2",
    "source": "table slot",
    "slot": 41,
    "index_offset": 77,
    "first_sector": 4096,
    "sector_count": 300,
    "times": "recorded",
    "time_bound": {
      "earliest": "2023/01/01 10:10:03",
      "latest": "2023/01/01 10:29:59",
      "reason": "after second 3 of u1"
    },
    "segments": [
      {
        "first_position": 0,
        "last_position": 3,
        "status": "intact",
        "note": null
      },
      {
        "first_position": 4,
        "last_position": 4,
        "status": "damaged",
        "note": "sector 9 unreadable"
      }
    ]
  },)");

    recovered.source = "carved";
    recovered.timeRecorded = false;
    recovered.boundEarliest.clear();
    recovered.segments.clear();
    EXPECT_EQ(Section(evidence::ReportJson(report)), "\n"
                                                     R"(  "recovered": {
    "id": "u2",
    "source": "carved",
    "first_sector": 4096,
    "sector_count": 300,
    "times": "unknown",
    "time_bound": null,
    "segments": []
  },)");
}

// A report of a recovered recording: the id and source come back for
// verify to name; carved seconds have no index to hash and none is asked
// for; anything else in their place is refused.
TEST(ReportReaderTest, ARecoveredRecordingIsNamedAndCarvedSecondsNeedNoIndex)
{
    evidence::ExportReport report = SampleReport();
    report.source.recordIndex = {3, 1, kSha};
    report.record.recovered.present = true;
    report.record.recovered.id = "u2";
    report.record.recovered.source = "table slot";
    report.record.recovered.slot = 41;
    report.record.recovered.segments = {{0, 3, "intact", ""},
                                        {4, 4, "overwritten", "sectors 9 to 10 belong to record 3"}};
    const Json written = Json::parse(evidence::ReportJson(report));
    EXPECT_TRUE(written["record"]["number"].is_null());
    EXPECT_EQ(written["recovered"]["slot"], 41);
    EXPECT_EQ(written["recovered"]["times"], "unknown");
    EXPECT_TRUE(written["recovered"]["time_bound"].is_null());
    ASSERT_EQ(written["recovered"]["segments"].size(), 2u);
    EXPECT_EQ(written["recovered"]["segments"][1]["status"], "overwritten");
    EXPECT_TRUE(written["recovered"]["segments"][0]["note"].is_null());

    evidence::ReportToCheck out;
    std::string error;
    ASSERT_TRUE(Parse(written.dump(), out, error)) << error;
    EXPECT_EQ(out.recoveredId, "u2");
    EXPECT_EQ(out.recoveredSource, "table slot");
    EXPECT_EQ(out.ranges.size(), 4u) << "sector 0, the table, the index the entry named, one read";

    report.record.recovered.id = "c1";
    report.record.recovered.source = "carved";
    const Json carved = Json::parse(evidence::ReportJson(report));
    EXPECT_TRUE(carved["source"]["record_index"].is_null());
    EXPECT_FALSE(carved["recovered"].contains("slot"));
    EXPECT_FALSE(carved["recovered"].contains("index_offset"));
    ASSERT_TRUE(Parse(carved.dump(), out, error)) << error;
    EXPECT_EQ(out.ranges.size(), 3u);
    EXPECT_TRUE(out.unhashed.empty()) << "no index is not an index left unchecked";

    // A listed record's report never drops its index, and ids and sources
    // are only the scan's.
    Json listedWithoutIndex = carved;
    listedWithoutIndex.erase("recovered");
    EXPECT_NE(Refusal(listedWithoutIndex.dump()), "");
    for (const char* id : {"", "x1", "u", "u0", "u1x", "c123456789012"}) {
        Json edited = carved;
        edited["recovered"]["id"] = id;
        EXPECT_NE(Refusal(edited.dump()).find("recovered.id"), std::string::npos) << id;
    }
    Json edited = carved;
    edited["recovered"]["source"] = "guessed";
    EXPECT_NE(Refusal(edited.dump()).find("recovered.source"), std::string::npos);
    edited = carved;
    edited["recovered"] = 5;
    EXPECT_NE(Refusal(edited.dump()), "");
    // null: a listed record's (as no field is).
    edited = Json::parse(evidence::ReportJson(SampleReport()));
    edited["recovered"] = nullptr;
    ASSERT_TRUE(Parse(edited.dump(), out, error)) << error;
    EXPECT_EQ(out.recoveredId, "");
}

}  // namespace

// An export made from an activity event names it; verify reads it back and
// refuses an event object that is damaged or does not hold the marks.
namespace {

evidence::ExportReport EventReport()
{
    evidence::ExportReport r = SampleReport();
    r.record.number = 1;
    r.segment.beginMark = 14;
    r.segment.endMark = 20;
    r.activityEvent = evidence::ActivityEventReport{
        "1", 2, 13, 21, "2025-03-08 21:14:13", "2025-03-08 21:14:21", 36, "exact", "share>=1.0% frames>=2"};
    return r;
}

std::string EventEdited(const std::function<void(Json&)>& edit)
{
    Json j = Json::parse(evidence::ReportJson(EventReport()));
    edit(j);
    return j.dump();
}

}  // namespace

TEST(ReportReaderTest, TheActivityEventAnExportWasMadeFromComesBackOrIsRefused)
{
    const std::string text = evidence::ReportJson(EventReport());
    const Json j = Json::parse(text);
    ASSERT_TRUE(j.contains("activity_event"));
    EXPECT_EQ(j["activity_event"]["camera"], 2);
    EXPECT_EQ(j["activity_event"]["parameters"], "share>=1.0% frames>=2");
    evidence::ReportToCheck out;
    std::string error;
    ASSERT_TRUE(Parse(text, out, error)) << error;
    EXPECT_EQ(out.activityEvent, "record 1, camera 2, positions 13 to 21, exact");
    ASSERT_TRUE(Parse(evidence::ReportJson(SampleReport()), out, error)) << error;
    EXPECT_EQ(out.activityEvent, "") << "a report without one reads as before";
    EXPECT_EQ(Json::parse(evidence::ReportJson(SampleReport())).count("activity_event"), 0u);

    struct Case {
        const char* what;
        std::function<void(Json&)> edit;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"not an object", [](Json& j) { j["activity_event"] = 3; }, "activity_event is not an object"},
        {"no camera", [](Json& j) { j["activity_event"].erase("camera"); }, "activity_event.camera is missing"},
        {"camera 0", [](Json& j) { j["activity_event"]["camera"] = 0; }, "camera 1 to 4"},
        {"camera 5", [](Json& j) { j["activity_event"]["camera"] = 5; }, "camera is out of range"},
        {"negative begin", [](Json& j) { j["activity_event"]["begin_position"] = -1; }, "begin_position"},
        {"ends before it begins", [](Json& j) { j["activity_event"]["end_position"] = 12; }, "ends before"},
        {"odd mode", [](Json& j) { j["activity_event"]["mode"] = "guess"; }, "neither fast nor exact"},
        {"peak as text", [](Json& j) { j["activity_event"]["peak"] = "36"; }, "peak"},
        {"no parameters", [](Json& j) { j["activity_event"].erase("parameters"); }, "parameters is missing"},
        {"empty record", [](Json& j) { j["activity_event"]["record"] = ""; }, "record's name"},
        {"marks outside", [](Json& j) { j["segment"]["end_mark"] = 22; }, "does not hold the segment's marks"},
        {"another record", [](Json& j) { j["activity_event"]["record"] = "2"; }, "not the record exported (1)"},
    };
    for (const Case& c : cases) {
        const std::string reason = Refusal(EventEdited(c.edit));
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
    }
}

// An export by time: the sample's reads split over two records' parts with
// a gap between them.
evidence::ExportReport RangeReport()
{
    evidence::ExportReport r = SampleReport();
    evidence::SegmentRead read;
    read.segment = 0;
    read.firstSector = 200;
    read.sectorCount = 10;
    r.reads.push_back(read);
    evidence::TimeRangeReport range;
    range.fromTime = "2006/03/15 23:59:58";
    range.toTime = "2006/03/16 00:00:03";
    evidence::RangePartReport first;
    first.fromTime = "2006/03/15 23:59:58";
    first.toTime = "2006/03/15 23:59:58";
    first.seconds = 1;
    first.record.number = 1;
    first.firstPosition = first.lastPosition = 4;
    first.recordIndex = {3, 1, kSha};
    first.readCount = 1;
    first.written = true;
    evidence::RangePartReport gap;
    gap.gap = true;
    gap.fromTime = "2006/03/15 23:59:59";
    gap.toTime = "2006/03/16 00:00:01";
    gap.seconds = 3;
    gap.written = true;
    evidence::RangePartReport second = first;
    second.fromTime = "2006/03/16 00:00:02";
    second.toTime = "2006/03/16 00:00:03";
    second.record.number = 2;
    second.firstPosition = 0;
    second.lastPosition = 1;
    second.recordIndex = {5, 1, std::string()};
    second.streamHeader = {true, 0, 16, {40, 1, kSha}, true};
    second.firstRead = 1;
    range.parts = {first, gap, second};
    r.timeRange = range;
    return r;
}

TEST(ReportReaderTest, AnExportByTimeNamesItsPartsGapsAndEachReadsRecord)
{
    const std::string text = evidence::ReportJson(RangeReport());
    const Json j = Json::parse(text);
    ASSERT_TRUE(j.contains("time_range"));
    EXPECT_EQ(j["time_range"]["parts"][1]["part"], "gap");
    EXPECT_EQ(j["time_range"]["parts"][1]["note"], "no listed record holds these seconds");
    evidence::ReportToCheck out;
    std::string error;
    ASSERT_TRUE(Parse(text, out, error)) << error;
    EXPECT_EQ(out.timeRange, "2006/03/15 23:59:58 to 2006/03/16 00:00:03");
    ASSERT_EQ(out.rangeParts.size(), 3u);
    EXPECT_EQ(out.rangeParts[0], "record 1\tpositions 4 to 4, 2006/03/15 23:59:58 to 2006/03/15 23:59:58");
    EXPECT_EQ(
        out.rangeParts[1].rfind("gap\t2006/03/15 23:59:59 to 2006/03/16 00:00:01 (3 s): no listed record holds", 0), 0u)
        << out.rangeParts[1];
    std::vector<std::string> names;
    for (const evidence::CheckedRange& range : out.ranges)
        names.push_back(range.what);
    EXPECT_EQ(names, (std::vector<std::string>{"sector 0", "record table", "record 1, read at position 4",
                                               "record 2, read at position 0", "record 1 index",
                                               "record 2 stream header (captured at position 0)"}));
    EXPECT_EQ(out.unhashed, (std::vector<std::string>{"record index", "record 2 index"}));
    ASSERT_TRUE(Parse(evidence::ReportJson(SampleReport()), out, error)) << error;
    EXPECT_TRUE(out.timeRange.empty() && out.rangeParts.empty()) << "a single record's export has no parts";

    struct Case {
        const char* what;
        std::function<void(Json&)> edit;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"no parts", [](Json& j) { j["time_range"]["parts"] = Json::array(); }, "not a list of parts"},
        {"odd part", [](Json& j) { j["time_range"]["parts"][1]["part"] = "hole"; }, "neither record nor gap"},
        {"record 0", [](Json& j) { j["time_range"]["parts"][0]["record"] = 0; }, "not a record's positions"},
        {"reads past the list", [](Json& j) { j["time_range"]["parts"][2]["read_count"] = 2; }, "does not list"},
        {"reads twice", [](Json& j) { j["time_range"]["parts"][2]["first_read"] = 0; }, "does not list in order"},
        {"out of order", [](Json& j) { j["time_range"]["parts"][2]["from_time"] = "2006/03/15 23:59:58"; },
         "after the part before"},
        {"outside the range", [](Json& j) { j["time_range"]["parts"][2]["to_time"] = "2006/03/16 00:00:09"; },
         "within the range"},
        {"not a time", [](Json& j) { j["time_range"]["from_time"] = "yesterday"; }, "not a time"},
        {"index edited", [](Json& j) { j["time_range"]["parts"][0]["record_index"]["sha256"] = "x"; }, "hex"},
    };
    for (const Case& c : cases) {
        Json j = Json::parse(text);
        c.edit(j);
        const std::string reason = Refusal(j.dump());
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
    }
}
