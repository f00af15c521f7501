#include "tools/mkdisk/disk_plan.h"

#include <algorithm>

namespace mkdisk {

int FormatWidth(PictureFormat f) { return (static_cast<uint8_t>(f) & 0x10) ? 352 : 720; }

int FormatHeight(PictureFormat f) { return (static_cast<uint8_t>(f) & 0x40) ? 240 : 288; }

int FormatFrameRate(PictureFormat f)
{
    switch (f) {
    case PictureFormat::k352x240: return 30;
    case PictureFormat::k720x240: return 15;
    case PictureFormat::k352x288: return 25;
    case PictureFormat::k720x288: return 12;
    }
    return 30;
}

std::optional<PictureFormat> ParsePictureFormat(const std::string& text)
{
    if (text == "352x240")
        return PictureFormat::k352x240;
    if (text == "720x240")
        return PictureFormat::k720x240;
    if (text == "352x288")
        return PictureFormat::k352x288;
    if (text == "720x288")
        return PictureFormat::k720x288;
    return std::nullopt;
}

DiskPlan DemoPlan()
{
    DiskPlan plan;
    plan.audioAreas = true;

    RecordPlan a;  // record 1: CIF-ish NTSC, sound on cameras 1 and 2, some frames straddle
    a.begin = {2023, 5, 14, 9, 30, 0};
    a.seconds = 20;
    a.format = PictureFormat::k352x240;
    a.kind = RecordKind::A;
    a.audioCameras = 0x03;
    a.straddles = {{4, 0}, {9, 2}, {14, 5}};

    RecordPlan b;  // record 2: crosses midnight and the year's end
    b.begin = {2023, 12, 31, 23, 59, 50};
    b.seconds = 15;
    b.format = PictureFormat::k720x240;
    b.kind = RecordKind::B;
    b.audioCameras = 0x00;
    b.straddles = {{6, 0}};

    RecordPlan s;  // record 3: camera 4 has no video
    s.begin = {2024, 2, 29, 14, 5, 30};
    s.seconds = 15;
    s.format = PictureFormat::k352x288;
    s.kind = RecordKind::S;
    s.videoCameras = 0x07;
    s.audioCameras = 0x00;

    RecordPlan m;  // record 4: full-width PAL
    m.begin = {2024, 3, 1, 6, 0, 0};
    m.seconds = 15;
    m.format = PictureFormat::k720x288;
    m.kind = RecordKind::M;
    m.audioCameras = 0x00;
    m.straddles = {{3, 1}};

    plan.records = {a, b, s, m};
    return plan;
}

DiskPlan RecoverDemoPlan()
{
    DiskPlan plan;
    plan.audioAreas = true;
    plan.fields.firstEntryPosition = 3;
    auto record = [](RecordTime begin, uint32_t seconds, PictureFormat format, RecordKind kind, Placement placement) {
        RecordPlan r;
        r.begin = begin;
        r.seconds = seconds;
        r.format = format;
        r.kind = kind;
        r.placement = placement;
        return r;
    };
    // In time order as the recorder wrote them, one after the other.
    RecordPlan dropped = record({2024, 6, 1, 8, 0, 0}, 3, PictureFormat::k352x240, RecordKind::A, Placement::Dropped);
    RecordPlan partly = record({2024, 6, 1, 8, 10, 0}, 4, PictureFormat::k352x240, RecordKind::A, Placement::Dropped);
    partly.overwrittenSeconds = 2;
    RecordPlan over = record({2024, 6, 1, 8, 20, 0}, 4, PictureFormat::k352x240, RecordKind::A, Placement::Listed);
    RecordPlan deleted = record({2024, 6, 1, 8, 30, 0}, 3, PictureFormat::k720x240, RecordKind::B, Placement::Deleted);
    deleted.audioCameras = 0x03;
    RecordPlan listed = record({2024, 6, 1, 8, 40, 0}, 3, PictureFormat::k352x288, RecordKind::S, Placement::Listed);
    RecordPlan indexOnly =
        record({2024, 6, 1, 8, 50, 0}, 3, PictureFormat::k352x240, RecordKind::A, Placement::IndexOnly);
    RecordPlan unindexed =
        record({2024, 6, 1, 9, 0, 0}, 3, PictureFormat::k352x288, RecordKind::M, Placement::Unindexed);
    plan.records = {dropped, partly, over, deleted, listed, indexOnly, unindexed};
    return plan;
}

DiskPlan ActivityDemoPlan()
{
    DiskPlan plan;
    plan.audioAreas = true;

    RecordPlan a;
    a.begin = {2025, 3, 8, 21, 14, 0};
    a.seconds = 40;
    a.format = PictureFormat::k352x240;
    a.kind = RecordKind::M;
    a.scene = Scene::Textured;
    a.motion = {{0, {5, 9}}, {0, {30, 33}}, {1, {15, 20}}, {2, {36, 38}}};
    a.lighting = {{0x04, {10, 19}}};
    a.flickers = {{0x08, 25}};

    RecordPlan b;
    b.begin = {2025, 3, 8, 22, 0, 0};
    b.seconds = 12;
    b.format = PictureFormat::k720x288;
    b.kind = RecordKind::A;
    b.audioCameras = 0x00;
    b.scene = Scene::Textured;
    b.motion = {{1, {3, 6}}};
    b.lighting = {{0x0F, {8, 10}}};

    plan.records = {a, b};
    return plan;
}

DiskPlan AllListed(DiskPlan plan)
{
    for (RecordPlan& r : plan.records) {
        r.placement = Placement::Listed;
        r.overwrittenSeconds = 0;
    }
    return plan;
}

namespace {

platform::Result<void> ValidateActivity(const RecordPlan& r)
{
    auto refuse = [](std::string why) { return platform::Error{platform::ErrorKind::Refused, std::move(why)}; };
    if (r.scene == Scene::Flat && (!r.motion.empty() || !r.lighting.empty() || !r.flickers.empty()))
        return refuse("motion, lighting and flicker need scene=textured");
    auto span = [&](const SecondSpan& s, const char* what) -> platform::Result<void> {
        if (s.first > s.last || s.last >= r.seconds)
            return refuse(std::string(what) + " seconds " + std::to_string(s.first) + "-" + std::to_string(s.last) +
                          " are not within the record's 0-" +
                          (r.seconds == 0 ? std::string("(none)") : std::to_string(r.seconds - 1)));
        return {};
    };
    for (const MotionEvent& m : r.motion) {
        if (m.camera < 0 || m.camera > 3)
            return refuse("motion on camera " + std::to_string(m.camera + 1) + ": cameras are 1 to 4");
        if (!(r.videoCameras & (1u << m.camera)))
            return refuse("motion on camera " + std::to_string(m.camera + 1) + ", which has no video");
        if (auto ok = span(m.seconds, "motion"); !ok)
            return ok;
    }
    for (const LightingRamp& l : r.lighting) {
        if ((l.cameras & 0x0F) == 0 || (l.cameras & ~0x0F) != 0)
            return refuse("lighting needs cameras among 1 to 4");
        if (auto ok = span(l.seconds, "lighting"); !ok)
            return ok;
    }
    for (const Flicker& f : r.flickers) {
        if ((f.cameras & 0x0F) == 0 || (f.cameras & ~0x0F) != 0)
            return refuse("flicker needs cameras among 1 to 4");
        if (f.second >= r.seconds)
            return refuse("flicker in second " + std::to_string(f.second) + ", beyond the record");
    }
    return {};
}

}  // namespace

platform::Result<void> ValidatePlan(const DiskPlan& plan)
{
    if (plan.records.size() > 65535) {
        return platform::Error{platform::ErrorKind::Refused, "too many records"};
    }
    const auto dropped = static_cast<size_t>(std::count_if(
        plan.records.begin(), plan.records.end(), [](const auto& r) { return r.placement == Placement::Dropped; }));
    const size_t slotsBefore = plan.fields.firstEntryPosition == 0 ? 0 : plan.fields.firstEntryPosition - 1u;
    if (dropped > slotsBefore) {
        return platform::Error{platform::ErrorKind::Refused, std::to_string(dropped) +
                                                                 " dropped records need a first entry position above " +
                                                                 std::to_string(dropped) + " (it is " +
                                                                 std::to_string(plan.fields.firstEntryPosition) + ")"};
    }
    for (size_t i = 0; i < plan.records.size(); ++i) {
        const RecordPlan& r = plan.records[i];
        const std::string name = "record " + std::to_string(i + 1) + ": ";
        if (r.begin.year < 2000 || r.begin.year > 2255 || r.begin.month < 1 || r.begin.month > 12 || r.begin.day < 1 ||
            r.begin.day > 31 || r.begin.hour < 0 || r.begin.hour > 23 || r.begin.minute < 0 || r.begin.minute > 59 ||
            r.begin.second < 0 || r.begin.second > 59) {
            return platform::Error{platform::ErrorKind::Refused, name + "begin time out of range (years 2000 to 2255)"};
        }
        if (r.seconds > 86400) {
            return platform::Error{platform::ErrorKind::Refused, name + "at most a day (86,400 seconds) per record"};
        }
        if (r.qscale < 1 || r.qscale > 31) {
            return platform::Error{platform::ErrorKind::Refused, name + "quantiser must be 1 to 31"};
        }
        auto empty = [&](uint32_t s) {
            return std::find(r.emptySegments.begin(), r.emptySegments.end(), s) != r.emptySegments.end();
        };
        for (uint32_t s : r.emptySegments)
            if (s >= r.seconds) {
                return platform::Error{platform::ErrorKind::Refused,
                                       name + "empty segment " + std::to_string(s) + " beyond the record"};
            }
        for (const auto& st : r.straddles)
            if (st.segment + 1 >= r.seconds || empty(st.segment) || empty(st.segment + 1)) {
                return platform::Error{platform::ErrorKind::Refused,
                                       name + "a straddle after segment " + std::to_string(st.segment) +
                                           " needs that segment and the next one, both not empty"};
            }
        const int rate = FormatFrameRate(r.format);
        for (const auto& h : r.hugeFrames)
            if (h.second >= r.seconds || h.camera < 0 || h.camera > 3 || h.frame < 0 || h.frame >= rate ||
                h.bytes > 8'000'000) {
                return platform::Error{platform::ErrorKind::Refused,
                                       name + "huge frame outside the record, or over 8,000,000 bytes"};
            }
        if (auto activity = ValidateActivity(r); !activity)
            return platform::Error{platform::ErrorKind::Refused, name + activity.Detail()};
        if (r.overwrittenSeconds == 0)
            continue;
        if (r.placement == Placement::Listed) {
            return platform::Error{platform::ErrorKind::Refused,
                                   name + "a listed record is never overwritten; only one the table no longer lists"};
        }
        if (r.overwrittenSeconds > r.seconds) {
            return platform::Error{platform::ErrorKind::Refused, name + "cannot overwrite " +
                                                                     std::to_string(r.overwrittenSeconds) +
                                                                     " seconds of " + std::to_string(r.seconds)};
        }
        for (uint32_t s = r.seconds - r.overwrittenSeconds; s < r.seconds; ++s)
            if (empty(s)) {
                return platform::Error{platform::ErrorKind::Refused,
                                       name + "second " + std::to_string(s) +
                                           " is empty: it has no sectors that could be overwritten"};
            }
        if (i + 1 >= plan.records.size() || plan.records[i + 1].placement != Placement::Listed ||
            plan.records[i + 1].seconds == 0) {
            return platform::Error{platform::ErrorKind::Refused,
                                   name + "the record written over its last seconds must follow it in the plan, "
                                          "listed and with at least one second"};
        }
    }
    return {};
}

}  // namespace mkdisk
