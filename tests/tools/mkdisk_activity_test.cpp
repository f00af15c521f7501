// Footage with known activity: the textured scene's options and refusals, the
// manifest's account of motion, lighting and flicker, and what ffmpeg decodes
// from the written disk: the object moves only in its seconds, the noise keeps
// still seconds small but never zero, the lighting ramps slowly, a flicker jumps.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "mkdisk_support.h"
#include "support/succeeded.h"
#include "tools/mkdisk/activity.h"
#include "tools/mkdisk/disk_writer.h"
#include "tools/mkdisk/plan_options.h"

using namespace mkdisk;
using mkdisk_test::TempPath;

namespace {

bool HaveTool(const char* name)
{
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Capture(const std::string& command)
{
    std::string out;
    struct Close {
        void operator()(std::FILE* f) const { pclose(f); }
    };
    std::unique_ptr<std::FILE, Close> p(popen(command.c_str(), "r"));
    char buf[65536];
    size_t n;
    while (p && (n = std::fread(buf, 1, sizeof buf, p.get())) > 0)
        out.append(buf, n);
    return out;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> out;
    std::stringstream in(line);
    std::string f;
    while (std::getline(in, f, '\t'))
        out.push_back(f);
    return out;
}

// The manifest's lines of one kind, fields split at tabs.
std::vector<std::vector<std::string>> Lines(const std::string& path, const std::string& kind)
{
    std::vector<std::vector<std::string>> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        if (line.starts_with(kind + "\t"))
            out.push_back(Fields(line));
    return out;
}

struct Disk {
    Manifest manifest;
    std::vector<uint8_t> image;
};

Disk Write(const std::string& recordKeys, const std::string& manifestPath, const std::string& imagePath)
{
    CommandLine cmd;
    EXPECT_TRUE(testing_support::Succeeded(ParseCommandLine({"-o", imagePath, "--record", recordKeys}, cmd)));
    Manifest m;
    EXPECT_TRUE(testing_support::Succeeded(WriteDisk(cmd.plan, imagePath, &m)));
    EXPECT_TRUE(testing_support::Succeeded(WriteManifestText(m, manifestPath)));
    return {m, mkdisk_test::ReadBytes(imagePath)};
}

}  // namespace

TEST(MkdiskActivity, ObjectMovesAndLightChangesOnlyInTheirSeconds)
{
    const std::vector<MotionEvent> motion = {{0, {2, 3}}, {0, {5, 5}}};
    const std::vector<LightingRamp> lighting = {{0x01, {1, 2}}};
    const std::vector<Flicker> flickers = {{0x02, 4}};
    const int rate = 30;
    for (const auto& [w, h] : {std::pair{352, 240}, std::pair{720, 288}}) {
        const SceneLayout layout = LayoutFor(w, h);
        ActivityState before = ActivityAt(motion, lighting, flickers, layout, 0, 0, 0, rate);
        ASSERT_TRUE(before.objectLeft);
        EXPECT_EQ(0, *before.objectLeft);
        for (uint32_t s = 0; s < 7; ++s)
            for (int f = (s == 0 ? 1 : 0); f < rate; ++f) {
                const ActivityState now = ActivityAt(motion, lighting, flickers, layout, 0, s, f, rate);
                ASSERT_TRUE(now.objectLeft);
                EXPECT_GE(*now.objectLeft, 0);
                EXPECT_LE(*now.objectLeft + layout.objectWidth, w);
                const bool moving = (s >= 2 && s <= 3) || s == 5;
                // Moved since the frame before exactly in the motion seconds, by one step.
                EXPECT_EQ(moving ? layout.objectStep : 0, std::abs(*now.objectLeft - *before.objectLeft))
                    << w << " second " << s << " frame " << f;
                // The ramp: brighter every frame of seconds 1-2, then 125 % for good.
                if (s == 0)
                    EXPECT_EQ(1000, now.brightnessPermille);
                else if (s <= 2)
                    EXPECT_GT(now.brightnessPermille, before.brightnessPermille) << s << "/" << f;
                else
                    EXPECT_EQ(kLightingRampPercent * 10, now.brightnessPermille);
                // Other cameras: no object, and only camera 2's flicker.
                EXPECT_FALSE(ActivityAt(motion, lighting, flickers, layout, 2, s, f, rate).objectLeft);
                const bool flicker =
                    s == 4 && f >= FlickerFirstFrame(rate) && f < FlickerFirstFrame(rate) + kFlickerFrames;
                EXPECT_EQ(flicker ? kFlickerPercent * 10 : 1000,
                          ActivityAt(motion, lighting, flickers, layout, 1, s, f, rate).brightnessPermille);
                before = now;
            }
        // However many events stack up, the brightness saturates and never wraps.
        const std::vector<LightingRamp> ramps(300, LightingRamp{0x01, {0, 0}});
        const std::vector<Flicker> flashes(300, Flicker{0x01, 0});
        const int stacked = ActivityAt({}, ramps, flashes, layout, 0, 1, 0, rate).brightnessPermille;
        EXPECT_GE(stacked, 1000);
        EXPECT_LE(stacked, 10000);
        EXPECT_EQ(10000, ActivityAt({}, {}, flashes, layout, 0, 0, FlickerFirstFrame(rate), rate).brightnessPermille);
        // The object crosses between the clock plate and the frame code band.
        EXPECT_GE(layout.objectTop, layout.clock.y1);
        EXPECT_LE(layout.objectBottom, layout.frameCode.y0);
    }
}

TEST(MkdiskActivity, OptionsFillThePlanOrSayWhatIsWrong)
{
    RecordPlan r;
    ASSERT_TRUE(testing_support::Succeeded(
        ParseRecordSpec("scene=textured,motion=1/2-3:4/5,lighting=3/1-2,lighting=8-9,flicker=24/4:6", r)));
    EXPECT_EQ(Scene::Textured, r.scene);
    EXPECT_EQ((std::vector<MotionEvent>{{0, {2, 3}}, {3, {5, 5}}}), r.motion);
    EXPECT_EQ((std::vector<LightingRamp>{{0x04, {1, 2}}, {0x0F, {8, 9}}}), r.lighting);
    EXPECT_EQ((std::vector<Flicker>{{0x0A, 4}, {0x0F, 6}}), r.flickers);

    const std::vector<std::pair<std::string, std::string>> bad = {
        {"scene=wavy", "scene 'wavy': flat or textured"},
        {"motion=5/1-2", "motion '5/1-2': cameras are digits 1 to 4"},
        {"motion=0/1-2", "motion '0/1-2': cameras are digits 1 to 4"},
        {"motion=1-2", "motion '1-2': give one camera: C/FIRST-LAST"},
        {"motion=12/1-2", "motion '12/1-2': give one camera: C/FIRST-LAST"},
        {"motion=1/3-2", "motion '1/3-2': give seconds as FIRST-LAST with FIRST <= LAST"},
        {"lighting=1/x", "lighting '1/x': give seconds as FIRST-LAST with FIRST <= LAST"},
        {"lighting=1/-4", "lighting '1/-4': give seconds as FIRST-LAST with FIRST <= LAST"},
        {"flicker=1/a", "flicker '1/a': give the second as a number"},
        {"flicker=/3", "flicker '/3': cameras are digits 1 to 4"},
    };
    for (const auto& [text, why] : bad) {
        RecordPlan p;
        const auto parsed = ParseRecordSpec(text, p);
        ASSERT_FALSE(parsed) << text;
        EXPECT_EQ(why, parsed.Detail());
    }

    // Values that parse but do not fit the record: refused before anything is written.
    const std::vector<std::pair<std::string, std::string>> unfit = {
        {"seconds=5,motion=1/2-3", "record 1: motion, lighting and flicker need scene=textured"},
        {"seconds=5,flicker=2", "record 1: motion, lighting and flicker need scene=textured"},
        {"scene=textured,seconds=5,motion=1/4-5", "record 1: motion seconds 4-5 are not within the record's 0-4"},
        {"scene=textured,seconds=3,lighting=2-3", "record 1: lighting seconds 2-3 are not within the record's 0-2"},
        {"scene=textured,seconds=0,lighting=0", "record 1: lighting seconds 0-0 are not within the record's 0-(none)"},
        {"scene=textured,video=123,motion=4/1-2", "record 1: motion on camera 4, which has no video"},
        {"scene=textured,seconds=3,flicker=3", "record 1: flicker in second 3, beyond the record"},
    };
    for (const auto& [text, why] : unfit) {
        TempPath img(".img");
        CommandLine cmd;
        ASSERT_TRUE(testing_support::Succeeded(ParseCommandLine({"-o", img.str(), "--record", text}, cmd))) << text;
        const auto written = WriteDisk(cmd.plan, img.str(), nullptr);
        ASSERT_FALSE(written) << text;
        EXPECT_EQ(why, written.Detail());
        EXPECT_FALSE(std::filesystem::exists(img.str())) << text;
    }

    const std::vector<std::pair<std::vector<std::string_view>, std::string>> demos = {
        {{"-o", "x.img", "--activity-demo", "--record", "seconds=1"},
         "--activity-demo writes its own records; leave out --record"},
        {{"-o", "x.img", "--demo", "--activity-demo"}, "give one of --demo and --activity-demo"},
        {{"-o", "x.img", "--demo", "--recover-demo", "--activity-demo"},
         "give one of --demo, --recover-demo and --activity-demo"},
    };
    for (const auto& [args, why] : demos) {
        CommandLine cmd;
        const auto parsed = ParseCommandLine(args, cmd);
        ASSERT_FALSE(parsed) << why;
        EXPECT_EQ(why, parsed.Detail());
    }
}

TEST(MkdiskActivity, ManifestListsMotionLightingAndMasks)
{
    TempPath img(".img"), list(".tsv");
    Write("scene=textured,seconds=6,motion=1/2-3:1/5,lighting=2/1-3,flicker=34/4", list.str(), img.str());
    using Rows = std::vector<std::vector<std::string>>;
    EXPECT_EQ((Rows{{"scene", "1", "textured", std::to_string(kSceneNoiseLuma)}}), Lines(list.str(), "scene"));
    // The clock plate and the frame code band of a 352x240 picture.
    EXPECT_EQ(
        (Rows{{"mask", "1", "clock", "0", "0", "186", "57"}, {"mask", "1", "frame code", "0", "192", "352", "216"}}),
        Lines(list.str(), "mask"));
    const SceneLayout l = LayoutFor(352, 240);
    const std::vector<std::string> object = {std::to_string(l.objectTop), std::to_string(l.objectBottom),
                                             std::to_string(l.objectWidth), std::to_string(l.objectStep)};
    Rows motion = {{"motion", "1", "1", "2-3"}, {"motion", "1", "1", "5-5"}};
    for (auto& row : motion)
        row.insert(row.end(), object.begin(), object.end());
    EXPECT_EQ(motion, Lines(list.str(), "motion"));
    EXPECT_EQ((Rows{{"lighting", "1", "2", "1-3", "125"}}), Lines(list.str(), "lighting"));
    EXPECT_EQ((Rows{{"flicker", "1", "3", "4", "10", "4", "140"}, {"flicker", "1", "4", "4", "10", "4", "140"}}),
              Lines(list.str(), "flicker"));

    // A flat record's manifest stays as it always was: no scene lines, no column notes for them.
    TempPath flatImg(".img"), flatList(".tsv");
    Write("seconds=1", flatList.str(), flatImg.str());
    std::ifstream in(flatList.str());
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const std::string absent : {"scene", "mask", "motion", "lighting", "flicker"}) {
        EXPECT_EQ(std::string::npos, text.find("\n" + absent + "\t")) << absent;
        EXPECT_EQ(std::string::npos, text.find("# " + absent + "\t")) << absent;
    }
}

TEST(MkdiskActivity, DemoPlanHoldsEveryKindOfActivity)
{
    const std::string help = kUsage;
    for (const char* option : {"--activity-demo", "scene=", "motion=", "lighting=", "flicker=", "mask"})
        EXPECT_NE(std::string::npos, help.find(option)) << option;

    CommandLine cmd;
    ASSERT_TRUE(testing_support::Succeeded(ParseCommandLine({"-o", "x.img", "--activity-demo"}, cmd)));
    ASSERT_TRUE(testing_support::Succeeded(ValidatePlan(cmd.plan)));
    ASSERT_EQ(2u, cmd.plan.records.size());
    const RecordPlan& r = cmd.plan.records[0];
    for (const RecordPlan& each : cmd.plan.records)
        EXPECT_EQ(Scene::Textured, each.scene);
    std::array<int, 4> events{};
    for (const MotionEvent& m : r.motion)
        ++events[static_cast<size_t>(m.camera)];
    EXPECT_EQ(0, events[3]);  // camera 4 never moves...
    ASSERT_EQ(1u, r.flickers.size());
    EXPECT_EQ(0x08, r.flickers[0].cameras);  // ...but flickers
    ASSERT_EQ(1u, r.lighting.size());
    EXPECT_EQ(10u, r.lighting[0].seconds.last - r.lighting[0].seconds.first + 1);
    EXPECT_GE(r.seconds, 40u);
}

// Decoded by ffmpeg from the disk's streams: per frame, the pixels outside the
// manifest's masks.
TEST(MkdiskActivity, FfmpegSeesMotionOnlyWhereTheManifestSaysSo)
{
    if (!HaveTool("ffmpeg"))
        GTEST_SKIP() << "ffmpeg not installed";
    TempPath img(".img"), list(".tsv"), es(".m4v");
    const Disk disk = Write("scene=textured,seconds=6,motion=1/2-3,lighting=2/1-3,flicker=3/4", list.str(), img.str());
    const int w = 352, h = 240, rate = 30, frames = 6 * rate;
    std::vector<Rect> masks;
    for (const auto& m : Lines(list.str(), "mask"))
        masks.push_back({std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[5]), std::stoi(m[6])});
    const auto motion = Lines(list.str(), "motion");
    ASSERT_EQ(1u, motion.size());
    const int bandTop = std::stoi(motion[0][4]), bandBottom = std::stoi(motion[0][5]);
    // Each pixel: 0 under a mask, 1 outside the object's band, 2 in it.
    std::vector<uint8_t> region(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bool masked = false;
            for (const Rect& r : masks)
                masked = masked || (x >= r.x0 && x < r.x1 && y >= r.y0 && y < r.y1);
            region[size_t(y) * w + x] = masked ? 0 : y >= bandTop && y < bandBottom ? 2 : 1;
        }
    auto decode = [&](int camera) {
        {
            std::ofstream out(es.str(), std::ios::binary | std::ios::trunc);
            for (const auto& p : mkdisk_test::CameraPackets(disk.image, disk.manifest.records[0], camera))
                out.write(reinterpret_cast<const char*>(p.data()), std::streamsize(p.size()));
        }
        return Capture("ffmpeg -v error -f m4v -i '" + es.str() + "' -pix_fmt gray -f rawvideo -");
    };
    struct Change {
        double meanDiff = 0;  // mean |difference| from the frame before, outside the masks
        int bigOutside = 0;   // pixels changed by more than 40 levels outside the object's band
        int bigInBand = 0;    // ...and inside it
        double meanLuma = 0;  // outside the masks
    };
    auto changes = [&](const std::string& gray) {
        std::vector<Change> out(frames);
        for (int t = 0; t < frames; ++t) {
            const auto* now = reinterpret_cast<const uint8_t*>(gray.data()) + size_t(t) * w * h;
            const uint8_t* before = t > 0 ? now - w * h : now;
            long long sum = 0, diff = 0, n = 0;
            for (size_t i = 0; i < region.size(); ++i) {
                if (region[i] == 0)
                    continue;
                const int d = std::abs(int(now[i]) - int(before[i]));
                sum += now[i];
                diff += d;
                ++n;
                if (d > 40)
                    ++(region[i] == 2 ? out[t].bigInBand : out[t].bigOutside);
            }
            out[t].meanDiff = double(diff) / n;
            out[t].meanLuma = double(sum) / n;
        }
        return out;
    };
    std::array<std::vector<Change>, 4> c;
    for (int k = 0; k < 4; ++k) {
        const std::string gray = decode(k);
        ASSERT_EQ(size_t(w) * h * frames, gray.size()) << "camera " << k + 1;
        c[size_t(k)] = changes(gray);
    }
    const auto flicker = Lines(list.str(), "flicker");
    ASSERT_EQ(1u, flicker.size());
    const int flickerFirst = std::stoi(flicker[0][3]) * rate + std::stoi(flicker[0][4]);
    const int flickerEnd = flickerFirst + std::stoi(flicker[0][5]);
    auto inFlicker = [&](int t) { return t >= flickerFirst && t <= flickerEnd; };  // and the frame after it
    for (int t = 1; t < frames; ++t) {
        const int s = t / rate;
        for (size_t k = 0; k < 4; ++k) {
            const Change& x = c[k][size_t(t)];
            if (k == 2 && inFlicker(t))
                continue;
            // Noise everywhere: every frame differs a little from the last, never much.
            EXPECT_GT(x.meanDiff, 0.5) << "camera " << k + 1 << " frame " << t;
            EXPECT_LT(x.meanDiff, 5.0) << "camera " << k + 1 << " frame " << t;
            EXPECT_EQ(0, x.bigOutside) << "camera " << k + 1 << " frame " << t;
            // The object's edges move a step a frame in camera 1's motion seconds, and only there.
            if (k == 0 && (s == 2 || s == 3)) {
                EXPECT_GE(x.bigInBand, 100) << "frame " << t;
            } else {
                EXPECT_EQ(0, x.bigInBand) << "camera " << k + 1 << " frame " << t;
            }
        }
    }
    // Camera 2's lighting: steady, then up by a quarter a little each frame of seconds 1-3, then steady.
    const auto& lit = c[1];
    const double start = lit[rate - 1].meanLuma, end = lit[4 * rate - 1].meanLuma;
    for (int t = 1; t < frames; ++t) {
        const double step = lit[size_t(t)].meanLuma - lit[size_t(t - 1)].meanLuma;
        EXPECT_LT(std::abs(step), 1.0) << "frame " << t;
        if (t < rate) {
            EXPECT_NEAR(start, lit[size_t(t)].meanLuma, 0.5) << "frame " << t;
        }
        if (t >= 4 * rate) {
            EXPECT_NEAR(end, lit[size_t(t)].meanLuma, 0.5) << "frame " << t;
        }
    }
    EXPECT_NEAR(kLightingRampPercent / 100.0, (end - 16) / (start - 16), 0.03);
    EXPECT_GT(lit[3 * rate].meanLuma, lit[2 * rate].meanLuma + 5);  // still rising in its last second
    // Camera 3's flicker: its frames jump, the frame after is back.
    const auto& fl = c[2];
    for (int t = flickerFirst; t < flickerEnd; ++t)
        EXPECT_GT(fl[size_t(t)].meanLuma, fl[size_t(flickerFirst - 1)].meanLuma + 20) << "frame " << t;
    EXPECT_NEAR(fl[size_t(flickerFirst - 1)].meanLuma, fl[size_t(flickerEnd)].meanLuma, 0.5);
}
