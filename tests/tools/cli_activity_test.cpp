// quillon-cli activity on disks quillon-mkdisk wrote with known motion: its
// manifest says which seconds of which camera move, which only change
// their lighting, and which flicker.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/run_tool.h"
#include "support/temp_dir.h"

namespace {

using testing_support::RunTool;
using testing_support::ToolRun;

struct Event {
    std::string record;
    int camera = 0;
    int begin = 0;
    int end = 0;
};

class ActivityCliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = std::make_unique<testing_support::TempDir>();
        const ToolRun made = RunTool(std::string(QUILLON_BIN_DIR) + "/quillon-mkdisk -o " + Disk() +
                                         " --activity-demo --manifest " + dir->File("manifest.tsv"),
                                     dir->File("mkdisk.txt"));
        ASSERT_EQ(made.status, 0) << made.err;
        std::istringstream manifest(RunTool("cat " + dir->File("manifest.tsv"), dir->File("cat.txt")).out);
        for (std::string line; std::getline(manifest, line);) {
            std::istringstream fields(line);
            std::string kind, record, seconds;
            int camera = 0;
            fields >> kind >> record >> camera >> seconds;
            if (kind != "motion")
                continue;
            const Event m{record, camera, std::stoi(seconds), std::stoi(seconds.substr(seconds.find('-') + 1))};
            for (int s = m.begin; s <= m.end; ++s)
                moving.insert({m.record, m.camera, s});
            if (record == "1")
                motion.push_back(m);
        }
        ASSERT_EQ(motion.size(), 4u) << "record 1 of the demo moves four times";
    }
    static void TearDownTestSuite() { dir.reset(); }
    static std::string Disk() { return dir->File("activity.img"); }
    static ToolRun Cli(const std::string& args)
    {
        return RunTool(std::string(QUILLON_BIN_DIR) + "/quillon-cli activity " + args, dir->File("err.txt"));
    }
    static std::vector<Event> Events(const std::string& out)
    {
        std::vector<Event> events;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream fields(line);
            std::string kind;
            Event e;
            fields >> kind >> e.record >> e.camera >> e.begin >> e.end;
            if (kind == "event")
                events.push_back(e);
        }
        return events;
    }

    // One camera-second: record, camera (1..4), position.
    using CameraSecond = std::tuple<std::string, int, int>;
    static std::set<CameraSecond> Covered(const std::vector<Event>& events)
    {
        std::set<CameraSecond> seconds;
        for (const Event& e : events)
            for (int s = e.begin; s <= e.end; ++s)
                seconds.insert({e.record, e.camera, s});
        return seconds;
    }
    struct Accuracy {
        double recall = 0;
        double precision = 0;
    };
    // Per camera-second of the record, against the manifest's moving seconds.
    static Accuracy Judge(const std::set<CameraSecond>& found, const std::string& record)
    {
        size_t truth = 0, listed = 0, both = 0;
        for (const CameraSecond& s : moving)
            if (std::get<0>(s) == record) {
                ++truth;
                both += found.count(s);
            }
        for (const CameraSecond& s : found)
            listed += std::get<0>(s) == record;
        return {truth ? double(both) / double(truth) : 1.0, listed ? double(both) / double(listed) : 1.0};
    }

    static inline std::unique_ptr<testing_support::TempDir> dir;
    static inline std::vector<Event> motion;      // record 1's, from the manifest
    static inline std::set<CameraSecond> moving;  // every record's moving camera-seconds
};

// Exact mode against the manifest, per camera-second, with no seconds kept
// around the events and the whole picture searched (the burnt-in clock and
// frame code included): at least 95 % of the moving seconds found and at
// least 90 % of the seconds found moving. Fast mode's figures, and how often
// it agrees with exact, are printed beside them.
TEST_F(ActivityCliTest, ExactModeFindsTheMovingSecondsAndLittleElse)
{
    std::set<CameraSecond> found[2];
    for (int m = 0; m < 2; ++m) {
        const ToolRun run = Cli(Disk() + " --before 0 --after 0 --mode " + (m == 0 ? "exact" : "fast"));
        ASSERT_EQ(run.status, 0) << run.err;
        found[m] = Covered(Events(run.out));
    }
    for (const std::string record : {"1", "2"}) {
        const Accuracy exact = Judge(found[0], record), fast = Judge(found[1], record);
        std::printf("record %s: exact recall %.2f precision %.2f; fast recall %.2f precision %.2f\n", record.c_str(),
                    exact.recall, exact.precision, fast.recall, fast.precision);
        EXPECT_GE(exact.recall, 0.95) << "record " << record;
        EXPECT_GE(exact.precision, 0.90) << "record " << record;
    }
    // Fast finds record 1's motion without a false second; record 2's
    // lighting ramp (12 pictures a second) is what it cannot tell apart.
    EXPECT_GE(Judge(found[1], "1").recall, 0.9);
    EXPECT_EQ(Judge(found[1], "1").precision, 1.0);
    const std::pair<std::string, int> records[] = {{"1", 40}, {"2", 12}};
    size_t agree = 0, all = 0;
    for (const auto& [record, seconds] : records)
        for (int camera = 1; camera <= 4; ++camera)
            for (int s = 0; s < seconds; ++s, ++all)
                agree += found[0].count({record, camera, s}) == found[1].count({record, camera, s});
    std::printf("fast agrees with exact in %zu of %zu camera-seconds (%.2f)\n", agree, all, double(agree) / all);
}

// Light alone moves nothing: a slow ramp over ten seconds, and a flicker of
// a few frames, at 30 and at 12 pictures a second (small disks of their own,
// without the demo's).
TEST(ActivityCliLightTest, LightingOrAFlickerAloneGivesNoEvent)
{
    const testing_support::TempDir own;
    const std::pair<std::string, std::string> disks[] = {
        {"ramp30.img", "scene=textured,seconds=11,lighting=1-10"},
        {"ramp12.img", "format=720x288,scene=textured,seconds=11,lighting=1-10"},
        {"flicker30.img", "scene=textured,seconds=4,flicker=2"},
        {"flicker12.img", "format=720x288,scene=textured,seconds=4,flicker=1:2"},
    };
    const std::string bin = QUILLON_BIN_DIR;
    for (const auto& [name, record] : disks) {
        SCOPED_TRACE(name);
        const std::string disk = own.File(name);
        const ToolRun made = RunTool(bin + "/quillon-mkdisk -o " + disk + " --record " + record, own.File("mk.txt"));
        ASSERT_EQ(made.status, 0) << made.err;
        const ToolRun run = RunTool(bin + "/quillon-cli activity " + disk + " --per-second", own.File("err.txt"));
        ASSERT_EQ(run.status, 0) << run.err;
        size_t events = 0, fastEvents = 0;
        for (const std::string& line : testing_support::Lines(run.out))
            events += line.rfind("event\t", 0) == 0;
        EXPECT_EQ(events, 0u) << run.out;
        const ToolRun fast = RunTool(bin + "/quillon-cli activity " + disk + " --mode fast", own.File("err.txt"));
        for (const std::string& line : testing_support::Lines(fast.out))
            fastEvents += line.rfind("event\t", 0) == 0;
        std::printf("%s: fast finds %zu events\n", name.c_str(), fastEvents);
    }
}

// Exact mode twice over the same record gives the same document byte for
// byte, and verify searches again from it and finds the same.
TEST_F(ActivityCliTest, ExactModeGivesTheSameBytesTwiceAndVerifies)
{
    const ToolRun first = Cli(Disk() + " --record 2 --json");
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(Cli(Disk() + " --record 2 --json").out, first.out);
    const nlohmann::json doc = nlohmann::json::parse(first.out);
    EXPECT_EQ(doc["mode"], "exact");
    for (const char* key : {"global_permille", "moving_cells", "absorb_frames"})
        EXPECT_TRUE(doc["parameters"].contains(key)) << key;
    ASSERT_EQ(doc["events"].size(), 1u) << first.out;
    {
        std::ofstream(dir->File("exact.json"), std::ios::binary) << first.out;
    }
    const ToolRun verified =
        RunTool(std::string(QUILLON_BIN_DIR) + "/quillon-cli verify " + dir->File("exact.json"), dir->File("v.txt"));
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
    EXPECT_NE(verified.out.find("all match"), std::string::npos) << verified.out;
    // A document of the model before this one is refused, not searched
    // again with other arithmetic.
    nlohmann::json older = doc;
    older["version"] = 1;
    {
        std::ofstream(dir->File("older.json"), std::ios::binary) << older.dump();
    }
    const ToolRun refused =
        RunTool(std::string(QUILLON_BIN_DIR) + "/quillon-cli verify " + dir->File("older.json"), dir->File("v.txt"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("version 1"), std::string::npos) << refused.err;
}

// Fast mode decodes nothing: each motion the manifest lists is one event,
// a second kept each side; the lighting ramp and the flicker are none.
TEST_F(ActivityCliTest, FastModeFindsEachMotionAndNothingElseInTheFirstRecord)
{
    const ToolRun run = Cli(Disk() + " --record 1 --mode fast");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Event> events = Events(run.out);
    ASSERT_EQ(events.size(), motion.size()) << run.out;
    for (size_t i = 0; i < motion.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(events[i].camera, motion[i].camera);
        EXPECT_EQ(events[i].begin, motion[i].begin - 1);
        // A motion's last second, cut short where the object stops, may
        // score below the threshold; the event never runs on past it.
        EXPECT_GE(events[i].end, motion[i].end);
        EXPECT_LE(events[i].end, motion[i].end + 1);
    }
    // The times are the recorder's clock at those positions.
    EXPECT_NE(run.out.find("\t2025-03-08 21:14:04\t2025-03-08 21:14:10\t"), std::string::npos) << run.out;
    // No seconds kept around the events, and a longer minimum.
    const std::vector<Event> bare = Events(Cli(Disk() + " --record 1 --mode fast --before 0 --after 0").out);
    ASSERT_EQ(bare.size(), motion.size());
    EXPECT_EQ(bare[0].begin, motion[0].begin);
    EXPECT_EQ(bare[0].end, motion[0].end);
    EXPECT_EQ(Events(Cli(Disk() + " --record 1 --mode fast --min-seconds 5").out).size(), 2u)
        << "only the two motions of five seconds or more";
    // One camera, and a range that holds only its second motion.
    const std::vector<Event> late =
        Events(Cli(Disk() + " --record 1 --mode fast --camera 1 --from 20 --to 39 --before 0 --after 0").out);
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].begin, motion[1].begin);
}

// Exact mode decodes every picture: every moving second is inside an event
// of its camera (the clock and the frame-code bar are left out by regions).
TEST_F(ActivityCliTest, ExactModeCoversEveryMovingSecondOfItsCamera)
{
    std::string regions;
    for (int c = 1; c <= 4; ++c)
        regions += " --roi " + std::to_string(c) + ":0,57,352,135";
    const ToolRun run = Cli(Disk() + " --record 1" + regions);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Event> events = Events(run.out);
    for (const Event& m : motion)
        for (int s = m.begin; s <= m.end; ++s) {
            bool covered = false;
            for (const Event& e : events)
                covered = covered || (e.camera == m.camera && e.begin <= s && s <= e.end);
            EXPECT_TRUE(covered) << "camera " << m.camera << " second " << s << "\n" << run.out;
        }
    // A region away from the moving object sees nothing of camera 2, nor
    // (across the whole width, above the object's rows: 132 to 162 of
    // record 1, 158 to 194 of record 2) on either picture size; the same
    // width with the object in it sees it.
    EXPECT_TRUE(Events(Cli(Disk() + " --record 1 --camera 2 --roi 2:0,60,60,40").out).empty());
    EXPECT_TRUE(Events(Cli(Disk() + " --record 1 --camera 1 --roi 1:0,60,352,60").out).empty());
    EXPECT_TRUE(Events(Cli(Disk() + " --record 2 --camera 2 --roi 2:0,60,720,90").out).empty());
    EXPECT_EQ(Events(Cli(Disk() + " --record 2 --camera 2 --roi 2:0,150,720,60").out).size(), 1u);
}

// The JSON names every parameter; its events' SHA-256 is that of their
// lines as the document lists them (sha256sum agrees), and a second run
// gives the same bytes.
TEST_F(ActivityCliTest, TheJsonIsReproducibleAndItsDigestIsTheEventsLines)
{
    const ToolRun first = Cli(Disk() + " --mode fast --json");
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(Cli(Disk() + " --mode fast --json").out, first.out);
    const nlohmann::json doc = nlohmann::json::parse(first.out);
    EXPECT_EQ(doc["version"], 2);
    EXPECT_EQ(doc["mode"], "fast");
    EXPECT_EQ(doc["records"], nlohmann::json::array({"1", "2"}));
    for (const char* key : {"cameras", "share_permille", "score_hundredths", "gap_seconds", "before_seconds",
                            "after_seconds", "min_event_seconds", "regions", "text"})
        EXPECT_TRUE(doc["parameters"].contains(key)) << key;
    std::string lines;
    for (const auto& e : doc["events"])
        lines += e["record"].get<std::string>() + "\t" + std::to_string(e["camera"].get<int>()) + "\t" +
                 std::to_string(e["begin_position"].get<int>()) + "\t" + std::to_string(e["end_position"].get<int>()) +
                 "\t" + std::to_string(e["peak"].get<int>()) + "\n";
    ASSERT_FALSE(doc["events"].empty());
    {
        std::ofstream(dir->File("events.txt"), std::ios::binary) << lines;
    }
    const ToolRun sum = RunTool("sha256sum " + dir->File("events.txt"), dir->File("sum.txt"));
    EXPECT_EQ(sum.out.substr(0, 64), doc["events_sha256"].get<std::string>());
}

TEST_F(ActivityCliTest, BadOptionsAreRefusedWithTheirReason)
{
    const std::map<std::string, std::string> refusals = {
        {" --mode slow", "--mode is fast or exact"},
        {" --threshold 0", "--threshold is a share"},
        {" --mode fast --threshold 1.234", "--threshold is a score"},
        {" --roi 5:0,0,10,10", "--roi is C:x,y,w,h"},
        {" --camera 7", "--camera is 1 to 4"},
        {" --record all --from 3", "--from and --to need one --record"},
        {" --record 1 --from 9 --to 3", "--to"},
        {" --record 9", "record"},
        {" --record 1 --roi 1:300,200,100,100", "region"},
    };
    for (const auto& [options, reason] : refusals) {
        const ToolRun run = Cli(Disk() + options);
        EXPECT_EQ(run.status, 1) << options;
        EXPECT_NE(run.err.find(reason), std::string::npos) << options << ": " << run.err;
        EXPECT_TRUE(run.out.empty()) << options;
    }
}

// A camera without video is left out, and said so once.
TEST_F(ActivityCliTest, ACameraWithoutVideoIsLeftOutAndSaidOnce)
{
    const std::string disk = dir->File("three.img");
    ASSERT_EQ(
        RunTool(std::string(QUILLON_BIN_DIR) + "/quillon-mkdisk -o " + disk + " --record seconds=3,video=123,q=31",
                dir->File("mkdisk3.txt"))
            .status,
        0);
    const ToolRun run = Cli(disk + " --mode fast");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string said = "record 1: camera 4 has no video: left out";
    ASSERT_NE(run.err.find(said), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(said, run.err.find(said) + 1), std::string::npos) << "once";
}

// verify searches again from the document: the same events pass; an edited
// event, a changed parameter or a damaged document do not.
TEST_F(ActivityCliTest, VerifySearchesAgainFromTheDocument)
{
    const ToolRun made = Cli(Disk() + " --record 1 --mode fast --json");
    ASSERT_EQ(made.status, 0) << made.err;
    auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir->File(name), std::ios::binary) << text;
        return RunTool(std::string(QUILLON_BIN_DIR) + "/quillon-cli verify " + dir->File(name), dir->File("v.txt"));
    };
    const ToolRun same = write("activity.json", made.out);
    EXPECT_EQ(same.status, 0) << same.out << same.err;
    EXPECT_NE(same.out.find("events\tok\t4 found again, 4 listed"), std::string::npos) << same.out;
    EXPECT_NE(same.out.find("summary\t3 checks\tall match"), std::string::npos) << same.out;

    nlohmann::json doc = nlohmann::json::parse(made.out);
    nlohmann::json edited = doc;
    edited["events"][0]["end_position"] = edited["events"][0]["end_position"].get<int>() + 1;
    const ToolRun moved = write("moved.json", edited.dump());
    EXPECT_EQ(moved.status, 1);
    EXPECT_NE(moved.out.find("document\tMISMATCH"), std::string::npos) << moved.out;
    EXPECT_NE(moved.out.find("events\tMISMATCH"), std::string::npos) << moved.out;
    EXPECT_EQ(moved.out.find("all match"), std::string::npos);

    // Another threshold finds other events than the ones listed, however
    // well the list and its digest agree.
    nlohmann::json stricter = doc;
    stricter["parameters"]["score_hundredths"] = 30;
    const ToolRun other = write("stricter.json", stricter.dump());
    EXPECT_EQ(other.status, 1) << other.out;
    EXPECT_NE(other.out.find("document\tok"), std::string::npos) << other.out;
    EXPECT_NE(other.out.find("events\tMISMATCH"), std::string::npos) << other.out;

    nlohmann::json missing = doc;
    missing["parameters"].erase("gap_seconds");
    const ToolRun refused = write("missing.json", missing.dump());
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("parameters.gap_seconds"), std::string::npos) << refused.err;
    EXPECT_TRUE(refused.out.empty());
    EXPECT_EQ(write("broken.json", made.out.substr(0, made.out.size() / 2)).status, 1);
}

// export --event: an event of an activity document exported in its
// camera's view from its first to its last position, the report naming it,
// verify passing on it and refusing it once its event object is edited.
TEST_F(ActivityCliTest, ExportOfAnEventNamesItAndVerifyChecksIt)
{
    const ToolRun made = Cli(Disk() + " --record 1 --mode fast --json");
    ASSERT_EQ(made.status, 0) << made.err;
    {
        std::ofstream(dir->File("events.json")) << made.out;
    }
    const nlohmann::json doc = nlohmann::json::parse(made.out);
    ASSERT_GE(doc["events"].size(), 2u);
    const nlohmann::json& listed = doc["events"][1];
    const std::string cli = std::string(QUILLON_BIN_DIR) + "/quillon-cli ";
    const std::string out = dir->File("event.mkv");
    const ToolRun exported =
        RunTool(cli + "export " + Disk() + " --event " + dir->File("events.json") + ":2 -o " + out, dir->File("e.txt"));
    ASSERT_EQ(exported.status, 0) << exported.err;
    std::ifstream in(out + ".report.json");
    const nlohmann::json report = nlohmann::json::parse(in);
    const nlohmann::json& e = report["activity_event"];
    EXPECT_EQ(e["record"], listed["record"]);
    EXPECT_EQ(e["camera"], listed["camera"]);
    EXPECT_EQ(e["begin_position"], listed["begin_position"]);
    EXPECT_EQ(e["end_position"], listed["end_position"]);
    EXPECT_EQ(e["peak"], listed["peak"]);
    EXPECT_EQ(e["mode"], "fast");
    EXPECT_NE(e["parameters"].get<std::string>().find("score>=0.15"), std::string::npos);
    EXPECT_EQ(report["segment"]["begin_mark"], listed["begin_position"]);
    EXPECT_EQ(report["segment"]["end_mark"], listed["end_position"]);
    EXPECT_EQ(report["segment"]["view"], std::to_string(listed["camera"].get<int>()));
    // The master holds the event's seconds and the one after: ffprobe counts them.
    const ToolRun probe =
        RunTool("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + out + "'", dir->File("probe.txt"));
    if (probe.status == 0) {
        const double seconds = std::stod(probe.out);
        const int expected = listed["end_position"].get<int>() - listed["begin_position"].get<int>() + 2;
        EXPECT_NEAR(seconds, expected, 1.0) << probe.out;
    }

    const ToolRun verified = RunTool(cli + "verify " + out + ".report.json", dir->File("v.txt"));
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
    EXPECT_NE(verified.out.find("activity event\trecord 1, camera"), std::string::npos) << verified.out;
    EXPECT_NE(verified.out.find("all match"), std::string::npos);

    // An event object that no longer holds the marks is refused, with why.
    nlohmann::json edited = report;
    edited["activity_event"]["end_position"] = listed["end_position"].get<int>() - 1;
    std::ofstream(out + ".report.json") << edited.dump();
    const ToolRun refused = RunTool(cli + "verify " + out + ".report.json", dir->File("r.txt"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("does not hold the segment's marks"), std::string::npos) << refused.err;

    // --event goes alone, and names an event the document lists.
    const auto refusal = [&](const std::string& args) {
        const ToolRun r =
            RunTool(cli + "export " + Disk() + " " + args + " -o " + dir->File("no.mpg"), dir->File("n.txt"));
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_FALSE(std::ifstream(dir->File("no.mpg")).good()) << args;
        return r.err;
    };
    EXPECT_NE(refusal("--event " + dir->File("events.json") + ":99").find("lists"), std::string::npos);
    EXPECT_NE(refusal("--event " + dir->File("events.json") + ":0").find("from 1"), std::string::npos);
    EXPECT_NE(refusal("--event " + dir->File("events.json") + ":1 --record 1").find("without --record"),
              std::string::npos);
    EXPECT_NE(refusal("--record 1 --from 2").find("--to"), std::string::npos);
}

}  // namespace
