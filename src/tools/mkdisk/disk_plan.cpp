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

platform::Result<void> ValidatePlan(const DiskPlan& plan)
{
    if (plan.records.size() > 65535) {
        return platform::Error{platform::ErrorKind::Refused, "too many records"};
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
    }
    return {};
}

}  // namespace mkdisk
