// quillon-cli hash: SHA-256 (and MD5) of the whole disk, or of a record's
// segments as an export reads them, in one read pass. The whole of an E01
// is also checked against the digests its imager stored.
#include <cstdio>
#include <string>
#include <vector>

#include "disk/recorder_volume.h"
#include "evidence/range_hasher.h"
#include "tools/cli/commands.h"
#include "tools/cli/options.h"
#include "tools/cli/progress_bar.h"
#include "tools/cli/volume_arg.h"

namespace cli {

namespace {

int Run(Options& options)
{
    const bool md5 = options.Has("--md5");
    const std::string& diskArg = options.positional[0];

    std::vector<evidence::SectorRun> runs;
    std::vector<uint32_t> positions;
    disk::RecorderVolume volume;
    disk::RawDisk raw;
    if (options.Value("--record")) {
        if (const auto opened = LoadRecord(options, volume); !opened)
            return Fail(opened.Detail());
        const uint32_t count = volume.SegmentCount();
        if (count == 0)
            return Fail("the record has no segments");
        int64_t from = 0, to = 0;
        if (!options.Number("--from", 0, count - 1, 0, from) || !options.Number("--to", from, INT32_MAX, count - 1, to))
            return Fail(options.error + " (the record's positions are 0 to " + std::to_string(count - 1) + ")");
        // As the export does: the end mark's second and the one after it.
        const int64_t last = std::min<int64_t>(to + 1, count - 1);
        for (int64_t p = from; p <= last; ++p) {
            disk::SectorRange range;
            if (!volume.SegmentSectors(static_cast<uint32_t>(p), range))
                return Fail("segment " + std::to_string(p) + " is not in the record's index");
            runs.push_back({range.first, range.count});
            positions.push_back(static_cast<uint32_t>(p));
            // A recovered second that is not intact is hashed as its sectors
            // stand, but they are not this recording's: said on stderr.
            const disk::RecoveredRecording* found = volume.OpenRecovered();
            if (found && p < int64_t(found->status.size()) && found->status[p] != disk::SegmentStatus::Intact)
                std::fprintf(stderr, "quillon-cli: warning: position %lld: its sectors are not %s's any more (%s)\n",
                             static_cast<long long>(p), found->id.c_str(), disk::SegmentStatusName(found->status[p]));
        }
    }
    const auto disk = ResolveDrive(diskArg);
    if (!disk)
        return Fail(disk.Detail());
    if (!raw.Open(disk->table, disk->driveNumber))
        return Fail("cannot open " + diskArg + " for reading");
    std::vector<platform::ImageHash> stored;
    if (runs.empty()) {
        runs.push_back({0, raw.SectorCount()});
        stored = raw.Drive().StoredImageHashes();
    }
    bool md5Stored = false;
    for (const platform::ImageHash& h : stored)
        md5Stored = md5Stored || h.algorithm == "md5";

    evidence::RangeHasher hasher;
    ProgressBar bar("hash");
    const auto hashed =
        hasher.Hash(raw, runs, md5 || md5Stored, [&bar](uint64_t done, uint64_t total) { bar.Update(done, total); });
    bar.Done();
    if (!hashed)
        return Fail(hashed.Detail());
    const evidence::HashResult& result = *hashed;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        std::printf("%u\t%llu\t%llu\t%s", positions[i], static_cast<unsigned long long>(runs[i].first),
                    static_cast<unsigned long long>(runs[i].count), result.runs[i].sha256.c_str());
        if (md5)
            std::printf("\t%s", result.runs[i].md5.c_str());
        std::printf("\n");
    }
    std::printf("sha256\t%s\t%llu\t%s\n", result.total.sha256.c_str(), static_cast<unsigned long long>(result.bytes),
                diskArg.c_str());
    if (md5)
        std::printf("md5\t%s\t%llu\t%s\n", result.total.md5.c_str(), static_cast<unsigned long long>(result.bytes),
                    diskArg.c_str());
    bool allMatch = true;
    for (const platform::ImageHash& h : stored) {
        const std::string* ours = h.algorithm == "sha256" ? &result.total.sha256
                                  : h.algorithm == "md5"  ? &result.total.md5
                                                          : nullptr;
        const char* verdict = !ours ? "not checked" : *ours == h.hex ? "matches" : "DIFFERS";
        allMatch = allMatch && (!ours || *ours == h.hex);
        std::printf("stored\t%s\t%s\t%s\n", h.algorithm.c_str(), h.hex.c_str(), verdict);
    }
    if (!allMatch)
        return Fail("the digest the imager stored differs from the image's contents");
    return 0;
}

}  // namespace

Command HashCommand()
{
    return {.name = "hash",
            .summary = "SHA-256 (and MD5) of the whole disk or of a record's segments",
            .description = "SHA-256 of the whole disk as Quillon reads it (whole 512-byte sectors); an E01's stored\n"
                           "digests are checked too. With --record, one line per segment B to E+1 ('position\n"
                           "first_sector sector_count sha256 [md5]'), then the hash of all of them in order.\n"
                           "A progress bar with the time left shows on a terminal.\n",
            .arguments = {DeclareDisk()},
            .options = {{"--record", "N", "hash the record's segments instead of the whole disk"},
                        {.name = "--from", .value = "B", .help = "the first position (default 0)", .needs = "--record"},
                        {.name = "--to",
                         .value = "E",
                         .help = "the end mark's position (default: the record's last)",
                         .needs = "--record"},
                        {"--md5", "", "MD5 as well, in the same read pass"}},
            .run = Run};
}

}  // namespace cli
