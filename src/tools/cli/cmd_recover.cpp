// quillon-cli recover DISK: what the record table no longer lists, found by
// the recovery scan, and the disk's sectors by what they hold.
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "disk/recorder_volume.h"
#include "disk/recovery_scan.h"
#include "tools/cli/commands.h"
#include "tools/cli/options.h"
#include "tools/cli/volume_arg.h"

namespace cli {
namespace {

using nlohmann::json;

std::string Time(const disk::RecordTime& t)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

std::vector<int> Cameras(const std::array<uint8_t, disk::kChannelFlags>& present)
{
    std::vector<int> cameras;
    for (int c = 0; c < 4; ++c)
        if (present[c])
            cameras.push_back(c + 1);
    return cameras;
}

std::string CameraText(const std::array<uint8_t, disk::kChannelFlags>& present)
{
    std::string text;
    for (const int c : Cameras(present))
        text += (text.empty() ? "" : ",") + std::to_string(c);
    return text.empty() ? "-" : text;
}

// Where it was found: its slot, first index entry or first sector.
std::string Location(const disk::RecoveredRecording& r)
{
    switch (r.source) {
    case disk::RecoverySource::TableSlot: return "slot " + std::to_string(r.slot);
    case disk::RecoverySource::IndexRun: return "index " + std::to_string(r.indexOffset);
    case disk::RecoverySource::Carved: return "sector " + std::to_string(r.firstSector);
    }
    return "?";
}

std::string NoteOf(const disk::RecoveredRecording& r, uint32_t segment)
{
    std::string text;
    for (const disk::SegmentNote& n : r.notes)
        if (n.segment == segment)
            text += (text.empty() ? "" : "; ") + n.text;
    return text;
}

std::map<disk::SectorKind, uint64_t> Totals(const disk::Recovery& recovery)
{
    std::map<disk::SectorKind, uint64_t> totals;
    for (const disk::SectorRun& run : recovery.map)
        totals[run.kind] += run.sectorCount;
    return totals;
}

void PrintText(const disk::Recovery& recovery, bool segments)
{
    std::printf("Id\tSource\tWhere\tBegin Time\tEnd Time\tTime\tKind\tSize\tFPS\tVideo\tAudio\tSegments\tIntact\t"
                "Overwritten\tDamaged\n");
    for (const disk::RecoveredRecording& r : recovery.recordings) {
        const disk::RecordEntry& e = r.entry;
        const std::string begin = r.timeRecorded ? Time(e.beginTime) : "unknown";
        const std::string end = r.timeRecorded ? Time(disk::RecordEndTime(e.beginTime, r.SegmentCount())) : "unknown";
        std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%c\t%dx%d\t%d\t%s\t%s\t%u\t%u\t%u\t%u\n", r.id.c_str(),
                    disk::RecoverySourceName(r.source), Location(r).c_str(), begin.c_str(), end.c_str(),
                    r.timeRecorded ? "recorded" : "unknown", disk::KindLetter(e.kind), e.width, e.height, e.frameRate,
                    CameraText(e.videoPresent).c_str(), CameraText(e.audioPresent).c_str(), r.SegmentCount(),
                    r.Count(disk::SegmentStatus::Intact), r.Count(disk::SegmentStatus::Overwritten),
                    r.Count(disk::SegmentStatus::Damaged));
        if (r.bound)
            std::printf("%s\tbound\tbetween %s and %s: %s\n", r.id.c_str(), Time(r.bound->earliest).c_str(),
                        Time(r.bound->latest).c_str(), r.bound->reason.c_str());
        if (!segments)
            continue;
        for (uint32_t j = 0; j < r.SegmentCount(); ++j)
            std::printf("%s\tsegment\t%u\t%u\t%u\t%s\t%s\n", r.id.c_str(), j + 1, r.sectorIndex[j],
                        r.sectorIndex[j + 1] - r.sectorIndex[j], disk::SegmentStatusName(r.status[j]),
                        NoteOf(r, j).c_str());
    }
    for (const disk::SectorRun& run : recovery.map)
        std::printf("map\t%s\t%llu\t%llu\n", disk::SectorKindName(run.kind),
                    static_cast<unsigned long long>(run.firstSector), static_cast<unsigned long long>(run.sectorCount));
    uint64_t all = 0;
    for (const auto& [kind, sectors] : Totals(recovery)) {
        std::printf("total\t%s\t%llu\n", disk::SectorKindName(kind), static_cast<unsigned long long>(sectors));
        all += sectors;
    }
    std::printf("total\tdisk\t%llu\n", static_cast<unsigned long long>(all));
    for (const std::string& note : recovery.notes)
        std::printf("note\t%s\n", note.c_str());
}

json Json(const disk::Recovery& recovery, bool segments)
{
    json doc;
    doc["recordings"] = json::array();
    for (const disk::RecoveredRecording& r : recovery.recordings) {
        const disk::RecordEntry& e = r.entry;
        json j;
        j["id"] = r.id;
        j["source"] = disk::RecoverySourceName(r.source);
        switch (r.source) {
        case disk::RecoverySource::TableSlot: j["slot"] = r.slot; break;
        case disk::RecoverySource::IndexRun: j["index_offset"] = r.indexOffset; break;
        case disk::RecoverySource::Carved: j["first_sector"] = r.firstSector; break;
        }
        j["begin"] = r.timeRecorded ? json(Time(e.beginTime)) : json(nullptr);
        j["end"] = r.timeRecorded ? json(Time(disk::RecordEndTime(e.beginTime, r.SegmentCount()))) : json(nullptr);
        j["time"] = r.timeRecorded ? "recorded" : "unknown";
        j["bound"] = r.bound ? json{{"earliest", Time(r.bound->earliest)},
                                    {"latest", Time(r.bound->latest)},
                                    {"reason", r.bound->reason}}
                             : json(nullptr);
        j["kind"] = std::string(1, disk::KindLetter(e.kind));
        j["width"] = e.width;
        j["height"] = e.height;
        j["fps"] = e.frameRate;
        j["video"] = Cameras(e.videoPresent);
        j["audio"] = Cameras(e.audioPresent);
        j["segments"] = r.SegmentCount();
        j["intact"] = r.Count(disk::SegmentStatus::Intact);
        j["overwritten"] = r.Count(disk::SegmentStatus::Overwritten);
        j["damaged"] = r.Count(disk::SegmentStatus::Damaged);
        if (segments) {
            json list = json::array();
            for (uint32_t s = 0; s < r.SegmentCount(); ++s) {
                json seg{{"position", s + 1},
                         {"first_sector", r.sectorIndex[s]},
                         {"sector_count", r.sectorIndex[s + 1] - r.sectorIndex[s]},
                         {"status", disk::SegmentStatusName(r.status[s])}};
                if (const std::string note = NoteOf(r, s); !note.empty())
                    seg["note"] = note;
                list.push_back(std::move(seg));
            }
            j["segment_list"] = std::move(list);
        }
        doc["recordings"].push_back(std::move(j));
    }
    doc["map"] = json::array();
    for (const disk::SectorRun& run : recovery.map)
        doc["map"].push_back({{"kind", disk::SectorKindName(run.kind)},
                              {"first_sector", run.firstSector},
                              {"sector_count", run.sectorCount}});
    json totals = json::object();
    uint64_t all = 0;
    for (const auto& [kind, sectors] : Totals(recovery)) {
        totals[disk::SectorKindName(kind)] = sectors;
        all += sectors;
    }
    doc["totals"] = std::move(totals);
    doc["disk_sectors"] = all;
    doc["notes"] = recovery.notes;
    return doc;
}

int Run(Options& options)
{
    disk::RecorderVolume volume;
    if (const auto loaded = LoadVolume(options.positional[0], volume); !loaded)
        return Fail(loaded.Detail());
    const auto recovery = disk::ScanForRecordings(*volume.Shared());
    if (!recovery)
        return Fail(recovery.Detail());
    const bool segments = options.Has("--segments");
    if (options.Has("--json"))
        std::printf("%s\n", Json(*recovery, segments).dump(2).c_str());
    else
        PrintText(*recovery, segments);
    if (std::fflush(stdout) != 0)
        return Fail("cannot write the output");
    return 0;
}

}  // namespace

Command RecoverCommand()
{
    return {.name = "recover",
            .summary = "recordings the record table no longer lists, and a map of the disk",
            .description =
                "Scans the disk for recordings the record table no longer lists: entries in slots outside the\n"
                "listed records (u1, u2, ...), runs of index entries no entry names (i1, ...) and seconds no\n"
                "index covers, found by their content (c1, ...). One line per recording: id, source, where it\n"
                "was found, begin and end time (unknown when not recorded), kind, picture size, pictures a\n"
                "second, cameras with video and with sound, and its seconds: all, intact, overwritten, damaged.\n"
                "A bound line gives the times a recording without recorded times lies between. Then the\n"
                "disk's sectors by what they hold (map lines), their totals and the scan's notes.\n",
            .arguments = {DeclareDisk()},
            .options = {{"--json", {}, "one JSON document instead of lines"},
                        {"--segments", {}, "every recording's seconds: position, first sector, sectors, status"}},
            .run = Run};
}

}  // namespace cli
