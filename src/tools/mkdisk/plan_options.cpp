#include "tools/mkdisk/plan_options.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <utility>

namespace mkdisk {

const char* const kUsage =
    "usage: quillon-mkdisk -o OUT.img (--demo | --recover-demo | --activity-demo | --record KEYS...) [options]\n"
    "       quillon-mkdisk OUT.img ... (the same, the image named without -o)\n"
    "Writes a recorder disk image: header, record table, index area and one-second\n"
    "segments with four-camera MPEG-4 video and IMA ADPCM sound. Same options, same bytes.\n"
    "\n"
    "  -o, --output FILE     the image to create or truncate (never a block device)\n"
    "  --demo                the demo disk: four records, one per picture format, kinds\n"
    "                        A, B, S, M, sound on cameras 1 and 2 of record 1, camera 4\n"
    "                        without video in record 3, some frames straddling segments\n"
    "  --recover-demo        a disk with footage the table no longer lists, in 7 records\n"
    "                        written in this order (first entry position 3, record count 2):\n"
    "                        1 dropped (slot 1); 2 dropped (slot 2), its last 2 seconds\n"
    "                        overwritten by 3, listed (slot 3); 4 deleted (slot 5); 5 listed\n"
    "                        (slot 4); 6 index-only (slot 6 zeroed); 7 unindexed (slot 7\n"
    "                        and its index entries zeroed)\n"
    "  --activity-demo       textured footage with known motion: record 1 (40 s, 352x240)\n"
    "                        camera 1 moves in seconds 5-9 and 30-33, camera 2 in 15-20,\n"
    "                        camera 3 in 36-38 and its lighting ramps over 10-19, camera 4\n"
    "                        never moves and flickers in 25; record 2 (12 s, 720x288)\n"
    "                        camera 2 moves in 3-6, every camera's lighting ramps over 8-10\n"
    "  --record KEYS         add a record; KEYS is comma-separated KEY=VALUE:\n"
    "      format=WxH          352x240 (30 fps, default), 720x240 (15), 352x288 (25), 720x288 (12)\n"
    "      seconds=N           length in one-second segments (default 3; 0 allowed)\n"
    "      kind=A|B|S|M        record kind (default A)\n"
    "      time=YYYY-MM-DDTHH:MM:SS  begin time (default: 2023-05-14T09:30:00, later\n"
    "                          records a minute after the previous one ends)\n"
    "      video=CAMS          cameras with video, digits 1-4 or 'none' (default 1234);\n"
    "                          the others carry tiny empty VOPs in their turn\n"
    "      audio=CAMS          cameras with sound (default 1); the others are silent\n"
    "      q=N                 MPEG-4 quantiser 1 (best) to 31 (default 4)\n"
    "      noise=0|1           sensor noise in a corner (default 1); 0: a still scene whose\n"
    "                          predicted frames can be 100 bytes or less\n"
    "      scene=flat|textured flat (default): a flat field with a marker crossing it each\n"
    "                          second; textured: a still texture, noise over the whole\n"
    "                          picture, nothing moving but the objects of motion=\n"
    "      motion=C/F-L:...    (textured) an object crosses camera C's picture (C 1-4) in\n"
    "                          seconds F to L; elsewhere it stands still where it stopped\n"
    "      lighting=[CAMS/]F-L:...  (textured) brightness ramps up by 25 % over seconds F\n"
    "                          to L and stays (CAMS digits 1-4, default every camera)\n"
    "      flicker=[CAMS/]S:...  (textured) a few frames of second S 40 % brighter\n"
    "                          (motion, lighting, flicker may be repeated and add up)\n"
    "      straddle=S[/K][/early]:...  the stream of segment S is cut at a sector boundary\n"
    "                          inside its last frame (or K frames earlier) and goes on in\n"
    "                          S + 1: at the frame's last boundary (continuation < 512\n"
    "                          bytes) or, with /early, its first (tail < 520 bytes)\n"
    "      huge=S/C/F[/N]:...  frame F (from 0) of camera C (1-4) in second S is padded\n"
    "                          to N bytes (default 130000)\n"
    "      empty=S:...         segments left empty (equal index entries, second lost)\n"
    "      audiobit=0|1        bit 0x80 of this entry's format byte only (layout unchanged)\n"
    "      vflags=0xHHHH       raw video channel mask, bit k = channel k (k = 0..15)\n"
    "      aflags=0xHHHH       raw audio channel mask\n"
    "      placement=P         listed (default); dropped: its entry in a slot before the\n"
    "                          first entry position; deleted: in a slot after the listed\n"
    "                          records; index-only: index and segments written, slot zeroed;\n"
    "                          unindexed: segments only, slot and index entries zeroed.\n"
    "                          The segments are the same bytes whatever the placement\n"
    "      overwrite=N         the next record (listed) is written over this unlisted\n"
    "                          record's last N seconds, and the records after it follow on\n"
    "  --no-audio            segments without audio areas (format bytes without 0x80)\n"
    "  --first-entry N       first entry position in the record table (default 1, or just\n"
    "                        past the dropped records' slots)\n"
    "  --record-count N      record count written in the header (default: the listed records)\n"
    "  --all-listed          every record listed and nothing overwritten: the same streams\n"
    "                        in the same order, to compare with an image with unlisted ones\n"
    "  --manifest FILE       write what went where: tab-separated volume, area (header,\n"
    "                        table, index), record, placement, segment, state (intact, overwritten and by which\n"
    "                        record, or empty) and frame lines; for a textured record also\n"
    "                        scene, mask (clock plate, frame code band: x0 y0 x1 y1),\n"
    "                        motion, lighting and flicker lines per camera\n"
    "  -h, --help            this text\n"
    "\n"
    "Segments and seconds count from 0, cameras from 1.\n";

namespace {

template <typename T>
bool Number(std::string_view text, T& value, int base = 10)
{
    if (base == 16 && (text.starts_with("0x") || text.starts_with("0X")))
        text.remove_prefix(2);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

std::vector<std::string_view> Split(std::string_view text, char sep)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        const size_t at = text.find(sep, start);
        parts.push_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos)
            return parts;
        start = at + 1;
    }
}

bool Cameras(std::string_view text, uint8_t& mask)
{
    mask = 0;
    if (text == "none")
        return true;
    for (char c : text) {
        if (c < '1' || c > '4')
            return false;
        mask |= static_cast<uint8_t>(1u << (c - '1'));
    }
    return !text.empty();
}

bool Time(std::string_view text, RecordTime& t)
{
    int y, mo, d, h, mi, s;
    char tail;
    const std::string copy(text);
    if (std::sscanf(copy.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6)
        return false;
    t = {y, mo, d, h, mi, s};
    return true;
}

// "F-L" or "S", seconds of the record.
bool Seconds(std::string_view text, SecondSpan& span)
{
    const size_t dash = text.find('-');
    if (dash == std::string_view::npos) {
        if (!Number(text, span.first))
            return false;
        span.last = span.first;
        return true;
    }
    return Number(text.substr(0, dash), span.first) && Number(text.substr(dash + 1), span.last);
}

// The events of one motion=, lighting= or flicker= value; empty, or why it is refused.
std::string Activity(std::string_view key, std::string_view value, RecordPlan& r)
{
    for (std::string_view one : Split(value, ':')) {
        const std::string what = std::string(key) + " '" + std::string(one) + "': ";
        const size_t slash = one.find('/');
        const std::string_view cams = slash == std::string_view::npos ? std::string_view{} : one.substr(0, slash);
        const std::string_view when = slash == std::string_view::npos ? one : one.substr(slash + 1);
        uint8_t mask = 0x0F;
        if (slash != std::string_view::npos && (!Cameras(cams, mask) || mask == 0))
            return what + "cameras are digits 1 to 4";
        SecondSpan span;
        if (key == "flicker") {
            if (!Number(when, span.first))
                return what + "give the second as a number";
            r.flickers.push_back({mask, span.first});
            continue;
        }
        if (!Seconds(when, span) || span.first > span.last)
            return what + "give seconds as FIRST-LAST with FIRST <= LAST";
        if (key == "lighting") {
            r.lighting.push_back({mask, span});
            continue;
        }
        if (slash == std::string_view::npos || cams.size() != 1)
            return what + "give one camera: C/FIRST-LAST";
        r.motion.push_back({cams[0] - '1', span});
    }
    return {};
}

}  // namespace

platform::Result<void> ParseRecordSpec(std::string_view text, RecordPlan& r)
{
    for (std::string_view item : Split(text, ',')) {
        if (item.empty())
            continue;
        const size_t eq = item.find('=');
        if (eq == std::string_view::npos) {
            return platform::Error{platform::ErrorKind::Refused, "record option without '=': " + std::string(item)};
        }
        const std::string_view key = item.substr(0, eq);
        const std::string_view value = item.substr(eq + 1);
        bool ok = true;
        if (key == "format") {
            const auto f = ParsePictureFormat(std::string(value));
            ok = f.has_value();
            if (ok)
                r.format = *f;
        } else if (key == "seconds") {
            ok = Number(value, r.seconds);
        } else if (key == "kind") {
            ok = value.size() == 1;
            if (ok) {
                switch (value[0]) {
                case 'A': r.kind = RecordKind::A; break;
                case 'B': r.kind = RecordKind::B; break;
                case 'S': r.kind = RecordKind::S; break;
                case 'M': r.kind = RecordKind::M; break;
                default: ok = false;
                }
            }
        } else if (key == "time") {
            ok = Time(value, r.begin);
        } else if (key == "video") {
            ok = Cameras(value, r.videoCameras);
        } else if (key == "audio") {
            ok = Cameras(value, r.audioCameras);
        } else if (key == "q") {
            ok = Number(value, r.qscale);
        } else if (key == "noise") {
            ok = value == "0" || value == "1";
            r.sensorNoise = value == "1";
        } else if (key == "scene") {
            const auto scene = ParseScene(value);
            if (!scene) {
                return platform::Error{platform::ErrorKind::Refused,
                                       "scene '" + std::string(value) + "': flat or textured"};
            }
            r.scene = *scene;
        } else if (key == "motion" || key == "lighting" || key == "flicker") {
            if (const std::string why = Activity(key, value, r); !why.empty())
                return platform::Error{platform::ErrorKind::Refused, why};
        } else if (key == "straddle") {
            for (std::string_view one : Split(value, ':')) {
                const auto parts = Split(one, '/');
                StraddleSpec st;
                st.early = parts.back() == "early";
                const size_t n = parts.size() - (st.early ? 1 : 0);
                ok = ok && n >= 1 && n <= 2 && Number(parts[0], st.segment) &&
                     (n < 2 || Number(parts[1], st.framesFromEnd));
                r.straddles.push_back(st);
            }
        } else if (key == "huge") {
            for (std::string_view one : Split(value, ':')) {
                const auto parts = Split(one, '/');
                HugeFrameSpec h;
                int camera = 0;
                ok = ok && (parts.size() == 3 || parts.size() == 4) && Number(parts[0], h.second) &&
                     Number(parts[1], camera) && camera >= 1 && camera <= 4 && Number(parts[2], h.frame) &&
                     (parts.size() < 4 || Number(parts[3], h.bytes));
                h.camera = camera - 1;
                r.hugeFrames.push_back(h);
            }
        } else if (key == "empty") {
            for (std::string_view one : Split(value, ':')) {
                uint32_t s = 0;
                ok = ok && Number(one, s);
                r.emptySegments.push_back(s);
            }
        } else if (key == "audiobit") {
            ok = value == "0" || value == "1";
            r.audioAreaBit = value == "1";
        } else if (key == "placement") {
            const auto p = ParsePlacement(value);
            ok = p.has_value();
            if (ok)
                r.placement = *p;
        } else if (key == "overwrite") {
            ok = Number(value, r.overwrittenSeconds);
        } else if (key == "vflags" || key == "aflags") {
            uint16_t mask = 0;
            ok = Number(value, mask, 16);
            (key == "vflags" ? r.videoChannelField : r.audioChannelField) = mask;
        } else {
            return platform::Error{platform::ErrorKind::Refused, "unknown record option '" + std::string(key) + "'"};
        }
        if (!ok) {
            return platform::Error{platform::ErrorKind::Refused,
                                   "bad value in record option '" + std::string(item) + "'"};
        }
    }
    return {};
}

platform::Result<void> ParseCommandLine(const std::vector<std::string_view>& args, CommandLine& out)
{
    bool demo = false;
    bool recoverDemo = false;
    bool activityDemo = false;
    bool allListed = false;
    bool firstEntryGiven = false;
    std::vector<std::string_view> records;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        auto value = [&](std::string_view& v) {
            if (i + 1 >= args.size())
                return false;
            v = args[++i];
            return true;
        };
        auto noValue = [&] { return platform::Error{platform::ErrorKind::Refused, std::string(a) + " needs a value"}; };
        std::string_view v;
        if (a == "-h" || a == "--help") {
            out.help = true;
            return {};
        } else if (a == "-o" || a == "--output") {
            if (!value(v))
                return noValue();
            out.output = v;
        } else if (a == "--demo") {
            demo = true;
        } else if (a == "--recover-demo") {
            recoverDemo = true;
        } else if (a == "--activity-demo") {
            activityDemo = true;
        } else if (a == "--all-listed") {
            allListed = true;
        } else if (a == "--record") {
            if (!value(v))
                return noValue();
            records.push_back(v);
        } else if (a == "--no-audio") {
            out.plan.audioAreas = false;
        } else if (a == "--first-entry") {
            if (!value(v) || !Number(v, out.plan.fields.firstEntryPosition)) {
                return platform::Error{platform::ErrorKind::Refused, "--first-entry needs a number from 0 to 65535"};
            }
            firstEntryGiven = true;
        } else if (a == "--record-count") {
            uint16_t n = 0;
            if (!value(v) || !Number(v, n)) {
                return platform::Error{platform::ErrorKind::Refused, "--record-count needs a number from 0 to 65535"};
            }
            out.plan.fields.recordCount = n;
        } else if (a == "--manifest") {
            if (!value(v))
                return noValue();
            out.manifest = v;
        } else if (!a.empty() && a[0] != '-' && out.output.empty()) {
            out.output = a;  // the image named without -o
        } else {
            return platform::Error{platform::ErrorKind::Refused,
                                   a.empty() || a[0] == '-' ? "unknown option '" + std::string(a) + "'"
                                                            : "a second output file: '" + std::string(a) + "'"};
        }
    }
    if (out.output.empty()) {
        return platform::Error{platform::ErrorKind::Refused, "no output file: give -o OUT.img"};
    }
    const int demos = int{demo} + int{recoverDemo} + int{activityDemo};
    if (demos + int{!records.empty()} != 1) {
        if (records.empty() && demos == 0) {
            return platform::Error{platform::ErrorKind::Refused, "nothing to write: give --demo or --record"};
        }
        if (demos > 1) {
            std::vector<std::string> given;
            for (const auto& [on, name] : {std::pair{demo, "--demo"}, std::pair{recoverDemo, "--recover-demo"},
                                           std::pair{activityDemo, "--activity-demo"}})
                if (on)
                    given.push_back(name);
            std::string names = given[0];
            for (size_t k = 1; k < given.size(); ++k)
                names += (k + 1 == given.size() ? " and " : ", ") + given[k];
            return platform::Error{platform::ErrorKind::Refused, "give one of " + names};
        }
        return platform::Error{platform::ErrorKind::Refused, std::string(demo          ? "--demo"
                                                                         : recoverDemo ? "--recover-demo"
                                                                                       : "--activity-demo") +
                                                                 " writes its own records; leave out --record"};
    }
    if (demos == 1) {
        const DiskPlan base = out.plan;
        out.plan = demo ? DemoPlan() : recoverDemo ? RecoverDemoPlan() : ActivityDemoPlan();
        if (firstEntryGiven)
            out.plan.fields.firstEntryPosition = base.fields.firstEntryPosition;
        out.plan.fields.recordCount = base.fields.recordCount;
        out.plan.audioAreas = base.audioAreas;
    } else {
        RecordTime next{2023, 5, 14, 9, 30, 0};
        for (std::string_view text : records) {
            RecordPlan r;
            r.begin = next;
            if (auto done = ParseRecordSpec(text, r); !done)
                return done.Failure();
            out.plan.records.push_back(r);
            next = AddSeconds(r.begin, int64_t{r.seconds} + 60);
        }
        // Dropped records stand just before the first entry position: unless
        // told otherwise, it moves past their slots.
        const auto dropped = std::count_if(out.plan.records.begin(), out.plan.records.end(),
                                           [](const RecordPlan& r) { return r.placement == Placement::Dropped; });
        if (!firstEntryGiven && dropped > 0 && dropped < 65535)
            out.plan.fields.firstEntryPosition = static_cast<uint16_t>(dropped + 1);
    }
    if (allListed)
        out.plan = AllListed(std::move(out.plan));
    return {};
}

}  // namespace mkdisk
