#include "evidence/export_report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "disk/position_stamp.h"
#include "disk/record_entry.h"
#include "disk/record_time.h"
#include "platform/unique_fd.h"

namespace evidence {

namespace {

using Json = nlohmann::ordered_json;

std::string Trimmed(std::string text)
{
    const auto keep = [](unsigned char c) { return c > ' ' && c < 0x7f; };
    while (!text.empty() && !keep(static_cast<unsigned char>(text.back())))
        text.pop_back();
    std::size_t from = 0;
    while (from < text.size() && !keep(static_cast<unsigned char>(text[from])))
        ++from;
    return text.substr(from);
}

std::string SysfsText(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::string text;
    std::getline(in, text, '\0');
    // Printable characters only: the attribute may hold binary data.
    std::string clean;
    for (unsigned char c : text.substr(0, 256))
        clean.push_back(c >= ' ' && c < 0x7f ? static_cast<char>(c) : ' ');
    return Trimmed(clean);
}

// The unit serial number page (0x80): 4 header bytes, then the serial.
std::string SerialFromVpd(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    char page[260]{};
    in.read(page, sizeof page);
    const std::streamsize n = in.gcount();
    if (n <= 4)
        return {};
    const std::size_t length =
        std::min<std::size_t>(static_cast<unsigned char>(page[3]), static_cast<std::size_t>(n - 4));
    std::string serial;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(page[4 + i]);
        serial.push_back(c >= ' ' && c < 0x7f ? static_cast<char>(c) : ' ');
    }
    return Trimmed(serial);
}

// Sectors of the disk a reader reads; 0 (a failed read) without a volume.
uint32_t ReadSectors(const disk::RecordReader& reader, uint32_t first, uint32_t count, std::span<uint8_t> destination)
{
    return reader.Shared() ? reader.Shared()->ReadDiskSectors(first, count, destination) : 0;
}

void HashRange(const disk::RecordReader& reader, bool known, const disk::SectorRange& range, HashedRange& out)
{
    out = {};
    if (!known)
        return;
    out.firstSector = range.first;
    out.sectorCount = range.count;
    Digest sha(DigestKind::Sha256);
    std::vector<uint8_t> buffer;
    constexpr uint32_t kChunk = 2048;
    buffer.resize(std::size_t(kChunk) * disk::kSectorBytes);
    for (uint32_t done = 0; done < range.count;) {
        const uint32_t n = std::min(kChunk, range.count - done);
        if (ReadSectors(reader, range.first + done, n, buffer) == 0)
            return;
        sha.Update(std::span(buffer).first(std::size_t(n) * disk::kSectorBytes));
        done += n;
    }
    out.sha256 = sha.FinishHex();
}

Json RangeJson(const HashedRange& r)
{
    Json j;
    j["first_sector"] = r.firstSector;
    j["sector_count"] = r.sectorCount;
    j["sha256"] = r.sha256.empty() ? Json(nullptr) : Json(r.sha256);
    return j;
}

Json TextOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

Json IdentityJson(const platform::DriveIdentity& id)
{
    Json j;
    j["path"] = id.path;
    j["format"] = TextOrNull(id.format);
    j["known"] = id.statKnown;
    j["kind"] = id.isDevice ? "block device" : "file";
    if (id.isDevice) {
        j["major"] = id.major;
        j["minor"] = id.minor;
        j["model"] = TextOrNull(id.model);
        j["serial"] = TextOrNull(id.serial);
    } else {
        j["st_dev"] = id.device;
        j["st_ino"] = id.inode;
        j["file_bytes"] = id.fileBytes;
        j["mtime_seconds"] = id.modifiedSeconds;
        j["mtime_nanoseconds"] = id.modifiedNanoseconds;
    }
    j["size_bytes"] = id.sizeBytes;
    j["files"] = id.files;
    return j;
}

Json StreamHeaderJson(const StreamHeaderReport& h)
{
    if (!h.captured)
        return nullptr;
    Json j = RangeJson(h.sectors);
    j["position"] = h.segment;
    j["byte_offset"] = h.offset;
    j["byte_count"] = disk::RecorderVolume::kStreamHeaderBytes - 10;
    j["matches_captured_bytes"] = h.matches;
    return j;
}

Json ReadsJson(const std::vector<SegmentRead>& list)
{
    Json reads = Json::array();
    for (const SegmentRead& read : list) {
        Json entry;
        entry["position"] = read.segment;
        entry["first_sector"] = read.firstSector;
        entry["sector_count"] = read.sectorCount;
        entry["sha256"] = Hex(read.sha256);
        reads.push_back(std::move(entry));
    }
    return reads;
}

// An export by time's pieces: each record's part with where it was read, and
// the seconds no record holds.
Json TimeRangeJson(const TimeRangeReport& range)
{
    Json parts = Json::array();
    for (const RangePartReport& p : range.parts) {
        Json part;
        part["from_time"] = p.fromTime;
        part["to_time"] = p.toTime;
        part["seconds"] = p.seconds;
        part["written"] = p.written;
        if (p.gap) {
            part["part"] = "gap";
            part["note"] = "no listed record holds these seconds";
            parts.push_back(std::move(part));
            continue;
        }
        part["part"] = "record";
        part["record"] = p.record.number;
        part["kind"] = std::string(1, p.record.kind);
        part["record_begin_time"] = p.record.beginTime;
        part["record_end_time"] = p.record.endTime;
        part["first_position"] = p.firstPosition;
        part["last_position"] = p.lastPosition;
        part["first_position_written"] = p.writtenFirst;
        part["last_position_written"] = p.writtenLast;
        part["record_index"] = RangeJson(p.recordIndex);
        part["stream_header"] = StreamHeaderJson(p.streamHeader);
        part["first_read"] = p.firstRead;
        part["read_count"] = p.readCount;
        parts.push_back(std::move(part));
    }
    Json j;
    j["from_time"] = range.fromTime;
    j["to_time"] = range.toTime;
    j["parts"] = std::move(parts);
    return j;
}

// A recovered recording's bound on its time, or null when the scan gave none.
Json TimeBoundJson(const RecoveredReport& r)
{
    if (r.boundEarliest.empty())
        return nullptr;
    Json j;
    j["earliest"] = r.boundEarliest;
    j["latest"] = r.boundLatest;
    j["reason"] = r.boundReason;
    return j;
}

Json SegmentRunsJson(const std::vector<SegmentStatusRun>& list)
{
    Json runs = Json::array();
    for (const SegmentStatusRun& run : list) {
        Json entry;
        entry["first_position"] = run.firstPosition;
        entry["last_position"] = run.lastPosition;
        entry["status"] = run.status;
        entry["note"] = TextOrNull(run.note);
        runs.push_back(std::move(entry));
    }
    return runs;
}

Json RecoveredJson(const RecoveredReport& r)
{
    Json recovered;
    recovered["id"] = r.id;
    recovered["source"] = r.source;
    if (r.source == "table slot")
        recovered["slot"] = r.slot;
    if (r.source != "carved")
        recovered["index_offset"] = r.indexOffset;
    recovered["first_sector"] = r.firstSector;
    recovered["sector_count"] = r.sectorCount;
    recovered["times"] = r.timeRecorded ? "recorded" : "unknown";
    recovered["time_bound"] = TimeBoundJson(r);
    recovered["segments"] = SegmentRunsJson(r.segments);
    return recovered;
}

Json SegmentJson(const SegmentReport& s)
{
    Json segment;
    segment["begin_mark"] = s.beginMark;
    segment["end_mark"] = s.endMark;
    segment["begin_time"] = s.beginTime;
    segment["end_time"] = s.endTime;
    segment["view"] = s.view;
    segment["sound_camera"] = s.soundCamera > 0 ? Json(s.soundCamera) : Json(nullptr);
    segment["first_position_written"] = s.firstPosition;
    segment["last_position_written"] = s.lastPosition;
    return segment;
}

Json ActivityEventJson(const ActivityEventReport& e)
{
    Json event;
    event["record"] = e.record;
    event["camera"] = e.camera;
    event["begin_position"] = e.beginPosition;
    event["end_position"] = e.endPosition;
    event["begin_time"] = e.beginTime;
    event["end_time"] = e.endTime;
    event["peak"] = e.peak;
    event["mode"] = e.mode;
    event["parameters"] = e.parameters;
    return event;
}

}  // namespace

std::string QuillonVersion() { return QUILLON_VERSION; }

std::string UtcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

void DescribeSource(disk::RecorderVolume& volume, const std::string& path, uint32_t record, SourceReport& out)
{
    out = {};
    out.path = path;
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    if (!ec)
        out.absolutePath = absolute.lexically_normal().string();
    struct stat info {};
    out.isDevice = ::stat(path.c_str(), &info) == 0 && S_ISBLK(info.st_mode);
    if (out.isDevice) {
        // /dev/sdb -> /sys/block/sdb/device; a symbolic link in /dev is followed first.
        const auto real = std::filesystem::canonical(path, ec);
        const std::filesystem::path device =
            std::filesystem::path("/sys/block") / (ec ? std::filesystem::path(path) : real).filename() / "device";
        out.vendor = SysfsText(device / "vendor");
        out.model = SysfsText(device / "model");
        out.serial = SysfsText(device / "serial");
        if (out.serial.empty())
            out.serial = SerialFromVpd(device / "vpd_pg80");
    }
    out.sizeBytes = volume.DiskSectorCount() * disk::kSectorBytes;
    disk::SectorRange range;
    HashRange(volume, true, {0, 1}, out.sector0);
    HashRange(volume, volume.RecordTableSectors(range), range, out.recordTable);
    HashRange(volume, volume.IndexSectors(record, range), range, out.recordIndex);
}

void DescribeStreamHeader(const disk::RecordReader& reader, StreamHeaderReport& out)
{
    out = {};
    disk::RecordReader::StreamHeaderSource origin;
    if (!reader.StreamHeaderOrigin(origin))
        return;
    out.captured = true;
    out.segment = origin.segment;
    out.offset = origin.offset;
    HashRange(reader, true, origin.sectors, out.sectors);
    // 19 bytes lie in at most two sectors; the captured bytes must be found
    // where the origin says.
    constexpr uint32_t kRecorded = disk::RecorderVolume::kStreamHeaderBytes - 10;
    std::array<uint8_t, 2 * disk::kSectorBytes> bytes{};
    const auto header = reader.StreamHeader();
    out.matches = !out.sectors.sha256.empty() && origin.sectors.count <= 2 &&
                  uint64_t(origin.offset) + kRecorded <= uint64_t(origin.sectors.count) * disk::kSectorBytes &&
                  ReadSectors(reader, origin.sectors.first, origin.sectors.count, bytes) != 0 &&
                  std::equal(header.begin() + 10, header.end(), bytes.begin() + origin.offset);
}

void DescribeRecord(const disk::RecorderVolume& volume, uint32_t record, RecordReport& out)
{
    const disk::RecordEntry& e = volume.Record(record);
    out = {};
    const disk::RecoveredRecording* found = volume.IsLoaded() ? volume.Shared()->Recovered(record) : nullptr;
    out.number = found ? 0 : record + 1;
    out.name = volume.IsLoaded() ? volume.Shared()->RecordingName(record) : std::to_string(uint64_t(record) + 1);
    out.kind = disk::KindLetter(e.kind);
    const bool recorded = !found || found->timeRecorded;
    const std::string id = found ? found->id : std::string();
    const int64_t last = e.segmentCount == 0 ? 0 : int64_t(e.segmentCount) - 1;
    out.beginTime = disk::PositionStamp::At(e.beginTime, recorded, id, 0).Text();
    out.endTime = disk::PositionStamp::At(e.beginTime, recorded, id, last).Text();
    out.segmentCount = e.segmentCount;
    out.width = e.width;
    out.height = e.height;
    out.frameRate = e.frameRate;
    for (int camera = 0; camera < 4; ++camera) {
        if (e.videoPresent[camera])
            out.videoCameras.push_back(camera + 1);
        if (e.audioPresent[camera])
            out.soundCameras.push_back(camera + 1);
    }
}

void DescribeRecovered(const disk::Volume& volume, uint32_t record, int firstPosition, int lastPosition,
                       RecordReport& out)
{
    out.recovered = {};
    const disk::RecoveredRecording* found = volume.Recovered(record);
    if (!found)
        return;
    RecoveredReport& r = out.recovered;
    r.present = true;
    r.id = found->id;
    r.source = disk::RecoverySourceName(found->source);
    r.slot = found->slot;
    r.indexOffset = found->indexOffset;
    if (!found->sectorIndex.empty()) {
        const auto [low, high] = std::minmax_element(found->sectorIndex.begin(), found->sectorIndex.end());
        r.firstSector = *low;
        r.sectorCount = uint64_t(*high) - *low;
    }
    r.timeRecorded = found->timeRecorded;
    if (found->bound) {
        r.boundEarliest = disk::FormatRecordTime(found->bound->earliest);
        r.boundLatest = disk::FormatRecordTime(found->bound->latest);
        r.boundReason = found->bound->reason;
    }
    const uint32_t count = found->SegmentCount();
    if (count == 0 || lastPosition < 0)
        return;
    const uint32_t from = static_cast<uint32_t>(std::max(firstPosition, 0));
    const uint32_t to = std::min(static_cast<uint32_t>(lastPosition), count - 1);
    const auto noteOf = [found](uint32_t segment) {
        for (const disk::SegmentNote& note : found->notes)
            if (note.segment == segment)
                return note.text;
        return std::string();
    };
    for (uint32_t s = from; s <= to; ++s) {
        const std::string status = disk::SegmentStatusName(found->status[s]);
        if (!r.segments.empty() && r.segments.back().status == status && r.segments.back().lastPosition + 1 == s &&
            status == "intact") {
            r.segments.back().lastPosition = s;
            continue;
        }
        r.segments.push_back({s, s, status, found->status[s] == disk::SegmentStatus::Intact ? "" : noteOf(s)});
    }
}

std::string ReportJson(const ExportReport& r)
{
    Json j;
    j["report_format"] = kReportFormat;
    j["quillon_version"] = r.quillonVersion;
    j["created_utc"] = r.createdUtc;
    j["complete"] = r.complete;
    j["end"] = r.end;
    j["reason"] = TextOrNull(r.reason);

    Json source;
    source["path"] = r.source.path;
    source["absolute_path"] = TextOrNull(r.source.absolutePath);
    source["kind"] = r.source.isDevice ? "block device" : "image file";
    if (r.source.isDevice) {
        source["vendor"] = TextOrNull(r.source.vendor);
        source["model"] = TextOrNull(r.source.model);
        source["serial"] = TextOrNull(r.source.serial);
    }
    source["size_bytes"] = r.source.sizeBytes;
    source["sector_bytes"] = disk::kSectorBytes;
    source["sector0"] = RangeJson(r.source.sector0);
    source["record_table"] = RangeJson(r.source.recordTable);
    // Carved seconds were found without any index: there is none to hash.
    const bool noIndex = r.record.recovered.present && r.record.recovered.source == "carved";
    source["record_index"] = noIndex ? Json(nullptr) : RangeJson(r.source.recordIndex);
    source["identity"] = IdentityJson(r.source.identity);
    j["source"] = std::move(source);

    Json record;
    record["number"] = r.record.recovered.present ? Json(nullptr) : Json(r.record.number);
    record["kind"] = std::string(1, r.record.kind);
    record["begin_time"] = r.record.beginTime;
    record["end_time"] = r.record.endTime;
    record["segment_count"] = r.record.segmentCount;
    record["picture_width"] = r.record.width;
    record["picture_height"] = r.record.height;
    record["frame_rate"] = r.record.frameRate;
    record["cameras_with_video"] = r.record.videoCameras;
    record["cameras_with_sound"] = r.record.soundCameras;
    j["record"] = std::move(record);
    if (r.record.recovered.present)
        j["recovered"] = RecoveredJson(r.record.recovered);

    j["segment"] = SegmentJson(r.segment);
    if (r.activityEvent)
        j["activity_event"] = ActivityEventJson(*r.activityEvent);

    if (r.timeRange)
        j["time_range"] = TimeRangeJson(*r.timeRange);
    j["reads"] = ReadsJson(r.reads);
    Json lost = Json::array();
    for (const LostSecond& second : r.lost) {
        const disk::SegmentLoss& loss = second.loss;
        Json entry;
        if (second.record > 0)
            entry["record"] = second.record;
        entry["position"] = loss.segment;
        entry["first_sector"] = loss.firstSector;
        entry["sector_count"] = loss.sectorCount;
        entry["error"] = loss.error;
        lost.push_back(std::move(entry));
    }
    j["lost_seconds"] = std::move(lost);
    j["stream_header"] = StreamHeaderJson(r.streamHeader);
    j["sound_reads"] = ReadsJson(r.soundReads);
    j["processing"] = r.processing;

    if (r.output.present) {
        Json output;
        output["file"] = r.output.file;
        output["format"] = r.output.format;
        output["size_bytes"] = r.output.sizeBytes;
        output["sha256"] = r.output.sha256;
        output["md5"] = r.output.md5;
        output["frames"] = r.output.frames;
        output["duration_seconds"] = r.output.seconds;
        j["output"] = std::move(output);
    } else {
        j["output"] = nullptr;
    }
    // Names that are not UTF-8 are written with replacement characters rather
    // than refused: the report must still be written.
    return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

platform::Result<std::string> WriteReport(const ExportReport& report, const std::string& outputPath)
{
    const std::string path = outputPath + kReportSuffix;
    std::string temporary = path + ".XXXXXX";
    platform::UniqueFd fd(::mkstemp(temporary.data()));
    if (!fd)
        return platform::Error{platform::ErrorKind::WriteFailed,
                               "cannot create the report " + path + ": " + std::strerror(errno)};
    const std::string text = ReportJson(report);
    std::string error;
    bool ok = true;
    for (std::size_t done = 0; ok && done < text.size();) {
        const ssize_t n = ::write(fd.Get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = "cannot write the report " + path + ": " + std::strerror(n < 0 ? errno : ENOSPC);
            ok = false;
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    if (ok && ::fsync(fd.Get()) != 0) {
        error = "cannot write the report " + path + ": " + std::strerror(errno);
        ok = false;
    }
    // mkstemp makes the file 0600; a report is read by whoever reads the export.
    if (ok)
        ::fchmod(fd.Get(), 0644);
    if (!fd.Close() && ok) {
        error = "cannot write the report " + path + ": " + std::strerror(errno);
        ok = false;
    }
    if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot name the report " + path + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        return platform::Error{platform::ErrorKind::WriteFailed, error};
    }
    return path;
}

}  // namespace evidence
