// quillon-cli activity DISK: where something moves, per camera and second,
// from the disk itself: events of active seconds, and with --json one
// document with every parameter and the events' SHA-256.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "disk/recorder_volume.h"
#include "disk/timeline.h"
#include "evidence/activity_document.h"
#include "platform/whole_file.h"
#include "playback/activity_search.h"
#include "tools/cli/activity_run.h"
#include "tools/cli/case_option.h"
#include "tools/cli/commands.h"
#include "tools/cli/options.h"
#include "tools/cli/progress_bar.h"
#include "tools/cli/volume_arg.h"
#include "tools/cli/write_target.h"

namespace cli {
namespace {

using nlohmann::json;
using playback::ActivityMode;

// "2.5" as 25 tenths (decimals = 1) or 250 hundredths (decimals = 2);
// nothing for any other text, more decimals, or above max.
std::optional<uint32_t> Decimal(const std::string& text, int decimals, uint32_t max)
{
    uint64_t whole = 0, part = 0;
    int partDigits = 0;
    bool point = false, digits = false;
    for (const char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            if (point) {
                if (++partDigits > decimals)
                    return std::nullopt;
                part = part * 10 + uint64_t(c - '0');
            } else if ((whole = whole * 10 + uint64_t(c - '0')) > max) {
                return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
    }
    if (!digits)
        return std::nullopt;
    for (; partDigits < decimals; ++partDigits)
        part *= 10;
    uint64_t scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const uint64_t value = whole * scale + part;
    return value <= uint64_t{max} * scale ? std::optional<uint32_t>(uint32_t(value)) : std::nullopt;
}

// "C:x,y,w,h": camera C's region of interest in the record's pixels.
bool Region(const std::string& text, playback::ActivityParameters& parameters)
{
    int camera = 0;
    long x = 0, y = 0, w = 0, h = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%d:%ld,%ld,%ld,%ld%c", &camera, &x, &y, &w, &h, &end) != 5 || camera < 1 ||
        camera > 4 || x < 0 || y < 0 || w <= 0 || h <= 0 || x > 4096 || y > 4096 || w > 4096 || h > 4096)
        return false;
    parameters.regions[size_t(camera - 1)] = {int32_t(x), int32_t(y), int32_t(w), int32_t(h)};
    return true;
}

platform::Result<playback::ActivityRequest> Request(Options& options)
{
    using platform::Error;
    using platform::ErrorKind;
    playback::ActivityRequest request;
    const std::string mode = options.Value("--mode").value_or("exact");
    if (mode != "fast" && mode != "exact")
        return Error{ErrorKind::Refused, "--mode is fast or exact, not " + mode};
    request.mode = mode == "fast" ? ActivityMode::Fast : ActivityMode::Exact;
    playback::ActivityParameters& p = request.parameters;
    if (const auto threshold = options.Value("--threshold")) {
        const bool fast = request.mode == ActivityMode::Fast;
        const auto value = Decimal(*threshold, fast ? 2 : 1, fast ? 1000 : 100);
        if (!value || *value == 0)
            return Error{ErrorKind::Refused,
                         fast ? "--threshold is a score above 0 with up to two decimals (0.15 by default)"
                              : "--threshold is a share of the picture in percent above 0, up to 100, with one "
                                "decimal (0.5 by default)"};
        (fast ? p.scoreHundredths : p.sharePermille) = *value;
    }
    int64_t minimum = p.minEventSeconds, before = p.beforeSeconds, after = p.afterSeconds;
    if (!options.Number("--min-seconds", 1, 86400, minimum, minimum) ||
        !options.Number("--before", 0, 86400, before, before) || !options.Number("--after", 0, 86400, after, after))
        return Error{ErrorKind::Refused, options.error};
    p.minEventSeconds = uint32_t(minimum);
    p.beforeSeconds = uint32_t(before);
    p.afterSeconds = uint32_t(after);
    for (const std::string& roi : options.Values("--roi"))
        if (!Region(roi, p))
            return Error{ErrorKind::Refused, "--roi is C:x,y,w,h (camera 1 to 4, a rectangle in the record's "
                                             "pixels), not " +
                                                 roi};
    const std::vector<std::string> cameras = options.Values("--camera");
    if (!cameras.empty()) {
        request.cameras = {false, false, false, false};
        for (const std::string& c : cameras) {
            if (c.size() != 1 || c[0] < '1' || c[0] > '4')
                return Error{ErrorKind::Refused, "--camera is 1 to 4, not " + c};
            request.cameras[size_t(c[0] - '1')] = true;
        }
    }
    if (const auto valid = playback::Validate(p); !valid)
        return valid.Failure();
    return request;
}

json ParametersJson(const playback::ActivityRequest& request)
{
    const playback::ActivityParameters& p = request.parameters;
    json regions = json::array();
    for (const playback::ActivityRegion& r : p.regions)
        regions.push_back(r.WholePicture() ? json(nullptr) : json{r.x, r.y, r.width, r.height});
    json cameras = json::array();
    for (int c = 0; c < 4; ++c)
        if (request.cameras[size_t(c)])
            cameras.push_back(c + 1);
    return {{"cameras", cameras},
            {"from", request.from},
            {"to", request.to},
            {"share_permille", p.sharePermille},
            {"min_frames_per_second", p.minFramesPerSecond},
            {"learning_shift", p.learningShift},
            {"k_tenths", p.kTenths},
            {"floor_levels", p.floorLevels},
            {"downscale", p.downscale},
            {"warmup_frames", p.warmupFrames},
            {"global_permille", p.globalPermille},
            {"moving_cells", p.movingCells},
            {"absorb_frames", p.absorbFrames},
            {"regions", regions},
            {"size_window", p.sizeWindow},
            {"size_warmup_frames", p.sizeWarmupFrames},
            {"score_hundredths", p.scoreHundredths},
            {"gap_seconds", p.gapSeconds},
            {"before_seconds", p.beforeSeconds},
            {"after_seconds", p.afterSeconds},
            {"min_event_seconds", p.minEventSeconds},
            {"text", playback::Describe(p)}};
}

int Run(Options& options)
{
    auto request = Request(options);
    if (!request)
        return Fail(request.Detail());
    const std::optional<std::string> out = options.Value("-o");
    if (out) {
        const auto target = CheckWriteTarget(
            *out, "document",
            {{options.positional[0], "the disk searched"}, {options.Value("--case").value_or(""), "the case file"}});
        if (!target)
            return Fail(target.Detail());
    }
    disk::RecorderVolume volume;
    if (const auto loaded = LoadVolume(options.positional[0], volume); !loaded)
        return Fail(loaded.Detail());
    auto kase = OpenCaseOption(options, volume);
    if (!kase)
        return Fail(kase.Detail());

    // The records searched: one (a number or a recovered id), or every
    // listed one.
    std::vector<uint32_t> records;
    const std::string which = options.Value("--record").value_or("all");
    if (which == "all") {
        if (options.Has("--from") || options.Has("--to"))
            return Fail("--from and --to need one --record");
        for (uint32_t r = 0; r < std::min(volume.RecordCount(), disk::Volume::kRecordSlots); ++r)
            records.push_back(r);
    } else {
        const auto opened = OpenRecordOption(options, volume);
        if (!opened)
            return Fail(opened.Detail());
        records.push_back(*opened);
        const int64_t length = volume.SegmentCount();
        int64_t from = 0, to = length - 1;
        if (!options.Number("--from", 0, std::max<int64_t>(0, length - 1), 0, from) ||
            !options.Number("--to", from, std::max<int64_t>(from, length - 1), to, to))
            return Fail(options.error);
        request->from = from;
        request->to = options.Has("--to") ? to : -1;
    }

    std::unique_ptr<playback::VideoDecoder> decoder;
    if (request->mode == ActivityMode::Exact) {
        decoder = std::make_unique<playback::VideoDecoder>();
        if (!decoder->IsLoaded())
            return Fail("no video decoding: " + decoder->Failure());
    }
    const bool asJson = options.Has("--json");
    const auto found = SearchRecords(volume, records, *request, options.Has("--per-second") && !asJson);
    if (!found)
        return Fail(found.Detail());
    const std::vector<SearchedRecord>& searched = *found;
    const std::vector<evidence::ActivityDocumentEvent> listed = DocumentEvents(searched);
    const std::string sha256 = evidence::ActivityEventsSha256(listed);
    if (sha256.empty())
        return Fail("libcrypto could not hash the events");

    if (asJson) {
        json events = json::array();
        json names = json::array();
        for (const SearchedRecord& s : searched) {
            names.push_back(s.name);
            for (size_t k = 0; k < s.activity.events.size(); ++k) {
                const playback::ActivityEvent& e = s.activity.events[k];
                events.push_back({{"record", s.name},
                                  {"camera", e.camera + 1},
                                  {"begin_position", e.begin},
                                  {"end_position", e.end},
                                  {"begin_time", s.beginTimes[k]},
                                  {"end_time", s.endTimes[k]},
                                  {"peak", e.peak}});
            }
        }
        const json doc = {{"version", evidence::ActivityDocument::kVersion},
                          {"mode", playback::ActivityModeName(request->mode)},
                          {"disk", {{"path", volume.DiskIdentity().path}}},
                          {"parameters", ParametersJson(*request)},
                          {"records", names},
                          {"events", events},
                          {"events_sha256", sha256}};
        const std::string text = doc.dump(2) + "\n";
        if (out) {
            const auto written = platform::WriteWholeFile(*out, [&text](const std::string& path) {
                std::ofstream file(path, std::ios::binary);
                file.write(text.data(), std::streamsize(text.size()));
                file.close();
                return !file.fail();
            });
            if (!written)
                return Fail("the document could not be written: " + written.Detail());
            std::printf("document\t%s\t%zu events\t%s\n", out->c_str(), listed.size(), sha256.c_str());
        } else {
            std::fputs(text.c_str(), stdout);
        }
    } else {
        for (const SearchedRecord& s : searched)
            for (size_t k = 0; k < s.activity.events.size(); ++k) {
                const playback::ActivityEvent& e = s.activity.events[k];
                std::printf("event\t%s\t%d\t%lld\t%lld\t%s\t%s\t%u\n", s.name.c_str(), e.camera + 1,
                            static_cast<long long>(e.begin), static_cast<long long>(e.end), s.beginTimes[k].c_str(),
                            s.endTimes[k].c_str(), e.peak);
            }
    }
    if (std::fflush(stdout) != 0)
        return Fail("cannot write the output");
    if (*kase) {
        casefile::SearchEntry entry;
        std::string names;
        for (const SearchedRecord& s : searched)
            names += (names.empty() ? "" : ",") + s.name;
        entry.parameters = std::string("mode=") + playback::ActivityModeName(request->mode) + " records=" + names;
        if (request->from != 0 || request->to >= 0)
            entry.parameters += " from=" + std::to_string(request->from) +
                                " to=" + (request->to >= 0 ? std::to_string(request->to) : std::string("end"));
        entry.parameters += " " + playback::Describe(request->parameters);
        entry.eventsSha256 = sha256;
        if (out) {
            std::error_code ec;
            entry.documentPath = std::filesystem::absolute(*out, ec).lexically_normal().string();
        }
        if (const auto added = (*kase)->AddSearch(entry); !added)
            return Fail("the search was made but not added to the case: " + added.Detail());
    }
    return 0;
}

}  // namespace

Command ActivityCommand()
{
    return {
        .name = "activity",
        .summary = "where something moves, per camera and second, as events",
        .description =
            "Searches records for movement in front of each camera and lists it as events, one line each:\n"
            "'event record camera begin_position end_position begin_time end_time peak' (positions of the\n"
            "first and last second, the seconds kept before and after included; peak: the largest share of\n"
            "the picture that moved, in tenths of a percent, or in fast mode the largest score in\n"
            "hundredths). exact (the default) decodes every frame, follows each camera's background (slow\n"
            "lighting, noise: learnt over the first 25 frames, then 1/32 of each new frame; a cell of 4x4\n"
            "pixels stands out at 3.0 standard deviations and 10 luma levels) and counts a frame when at\n"
            "least the threshold share of its picture (or region) lies in moving patches: foreground that\n"
            "changed since the frame before in 3 or more cells. What stands still (where an object stood, an\n"
            "object that stopped, a burnt-in clock once its digit is drawn) does not count, and is taken into\n"
            "the background after 15 frames; a frame in which 40 % or more of the picture changed at once (a\n"
            "flicker, the camera's exposure) counts as still. A second is active when 2 or more of its frames\n"
            "count. fast decodes nothing: each second's predicted-frame sizes against the camera's running\n"
            "baseline (the median of its last 250 predicted frames, after 25), a first pass over a whole\n"
            "disk. Active seconds at most 2 apart are one event. Cameras without video are left out, said on\n"
            "stderr. --json gives one document with the disk, every parameter, the events and events_sha256,\n"
            "the SHA-256 of the events as lines 'record camera begin_position end_position peak'\n"
            "(tab-separated, in the document's order); 'quillon-cli verify' searches again from such a\n"
            "document and says whether it finds the same.\n",
        .arguments = {DeclareDisk()},
        .options =
            {{.name = "--record",
              .value = "N|ID|all",
              .help = "one record, from 1, or a recovered recording's id; all: every\n"
                      "listed record (the default)"},
             {.name = "--camera", .value = "C", .help = "search this camera (1 to 4; default all)", .repeatable = true},
             {.name = "--from", .value = "S", .help = "the first position searched", .needs = "--record"},
             {.name = "--to", .value = "E", .help = "the last position searched", .needs = "--record"},
             {.name = "--mode", .value = "fast|exact", .help = "exact (default) or fast"},
             {.name = "--threshold",
              .value = "X",
              .help = "exact: the share of the picture in percent (0.5); fast: the score\n"
                      "(0.15)"},
             {.name = "--min-seconds", .value = "M", .help = "the shortest event's active seconds (1)"},
             {.name = "--before", .value = "B", .help = "seconds kept before each event (1)"},
             {.name = "--after", .value = "A", .help = "seconds kept after each event (1)"},
             {.name = "--roi",
              .value = "C:x,y,w,h",
              .help = "search only this rectangle of camera C's picture",
              .repeatable = true},
             {.name = "--per-second", .help = "also 'second record camera position score' per camera-second"},
             {.name = "--json", .help = "one JSON document instead of lines"},
             {.name = "-o",
              .value = "OUT.json",
              .help = "the --json document into OUT.json (written whole or not at all)\n"
                      "instead of standard output; with --case the case names it",
              .needs = "--json"},
             DeclareCaseOption()},
        .run = Run};
}

}  // namespace cli
