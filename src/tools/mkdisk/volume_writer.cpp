#include "tools/mkdisk/volume_writer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>

namespace mkdisk {
namespace {

void PutBe32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

void PutBe16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

// Slots reach past the header's first entry position and record count (each at
// most 65535) only for recordings the table no longer lists.
constexpr uint32_t kMaxSlot = 2 * 65535;

uint32_t SectorsFor(uint64_t bytes) { return static_cast<uint32_t>((bytes + kSectorSize - 1) / kSectorSize); }

}  // namespace

RecordTime AddSeconds(const RecordTime& t, int64_t seconds)
{
    using namespace std::chrono;
    const year_month_day ymd{year{t.year}, month{static_cast<unsigned>(t.month)}, day{static_cast<unsigned>(t.day)}};
    const auto start = sys_days{ymd} + hours{t.hour} + minutes{t.minute} + std::chrono::seconds{t.second};
    const auto when = start + std::chrono::seconds{seconds};
    const auto dayStart = floor<days>(when);
    const year_month_day out{dayStart};
    const hh_mm_ss clock{when - dayStart};
    RecordTime r;
    r.year = static_cast<int>(out.year());
    r.month = static_cast<int>(static_cast<unsigned>(out.month()));
    r.day = static_cast<int>(static_cast<unsigned>(out.day()));
    r.hour = static_cast<int>(clock.hours().count());
    r.minute = static_cast<int>(clock.minutes().count());
    r.second = static_cast<int>(clock.seconds().count());
    return r;
}

std::array<uint8_t, 2> EncodeChannelFlags(uint16_t mask)
{
    // The reader sees channel k when bit 15 - k of (second byte * 256 + first byte)
    // is set: cameras 0..7 live in the second byte, highest bit first.
    std::array<uint8_t, 2> b{};
    for (int k = 0; k < 16; ++k) {
        if (!(mask & (1u << k)))
            continue;
        if (k < 8)
            b[1] |= static_cast<uint8_t>(0x80 >> k);
        else
            b[0] |= static_cast<uint8_t>(0x80 >> (k - 8));
    }
    return b;
}

std::array<uint8_t, 32> EncodeRecordEntry(const RecordHeader& h, uint32_t segmentCount, uint32_t indexOffset)
{
    std::array<uint8_t, 32> e{};
    e[0] = static_cast<uint8_t>(h.begin.second);
    e[1] = static_cast<uint8_t>(h.begin.minute);
    e[2] = static_cast<uint8_t>(h.begin.hour);
    e[3] = static_cast<uint8_t>(h.begin.day);
    e[4] = static_cast<uint8_t>(h.begin.month);
    e[5] = static_cast<uint8_t>(h.begin.year - 2000);
    PutBe32(&e[6], h.segmentCountField.value_or(segmentCount));
    PutBe32(&e[10], h.indexOffsetField.value_or(indexOffset));
    e[14] = h.kindFlags;
    e[15] = h.formatByte;
    const auto video = EncodeChannelFlags(h.videoChannels);
    const auto audio = EncodeChannelFlags(h.audioChannels);
    e[16] = video[0];
    e[17] = video[1];
    e[18] = audio[0];
    e[19] = audio[1];
    return e;
}

platform::Result<void> CheckOutputPath(const std::string& path)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found)
        return {};
    if (ec) {
        return platform::Error{platform::ErrorKind::ReadFailed, path + ": " + ec.message()};
    }
    if (status.type() == std::filesystem::file_type::block) {
        return platform::Error{platform::ErrorKind::Refused,
                               path + ": is a block device; refusing to overwrite a disk"};
    }
    if (status.type() != std::filesystem::file_type::regular) {
        return platform::Error{platform::ErrorKind::Refused, path + ": not a regular file"};
    }
    return {};
}

platform::Result<void> VolumeWriter::Open(const std::string& path, std::vector<RecordHeader> headers,
                                          std::vector<uint32_t> segmentCounts, const VolumeFields& fields,
                                          std::vector<RecordLayout> layouts)
{
    if (headers.size() != segmentCounts.size() || (!layouts.empty() && layouts.size() != headers.size())) {
        return platform::Error{platform::ErrorKind::Refused,
                               "record headers, segment counts and layouts differ in number"};
    }
    if (headers.size() > 65535) {
        return platform::Error{platform::ErrorKind::Refused, "at most 65535 records fit the header's record count"};
    }
    created_ = false;
    headers_ = std::move(headers);
    segmentCounts_ = std::move(segmentCounts);
    fields_ = fields;
    path_ = path;

    // Each record owns its c + 1 index entries; records do not share boundaries.
    indexOffsets_.clear();
    uint64_t entries = 0;
    for (uint32_t c : segmentCounts_) {
        indexOffsets_.push_back(static_cast<uint32_t>(entries));
        entries += uint64_t{c} + 1;
    }
    if (entries > (uint64_t{1} << 28)) {
        return platform::Error{platform::ErrorKind::Refused, "too many segments for one volume"};
    }
    index_.assign(entries, 0);

    // The table span is what a reader loads for the header's record count:
    // ((count + first position - 1) * 32) / 512 + 1 sectors.
    // Records placed elsewhere (the slots of recordings the table no longer
    // lists) widen the table to their slots.
    const uint64_t countField = fields_.recordCount.value_or(static_cast<uint16_t>(headers_.size()));
    const uint64_t firstSlot = fields_.firstEntryPosition == 0 ? 0 : fields_.firstEntryPosition - 1;
    layouts_ = layouts.empty() ? std::vector<RecordLayout>(headers_.size()) : std::move(layouts);
    slots_.clear();
    uint64_t slotEnd = countField + firstSlot;
    for (size_t r = 0; r < headers_.size(); ++r) {
        if (layouts_[r].slot > kMaxSlot) {
            return platform::Error{platform::ErrorKind::Refused, "record " + std::to_string(r) + ": table slot " +
                                                                     std::to_string(layouts_[r].slot) + " beyond " +
                                                                     std::to_string(kMaxSlot)};
        }
        slots_.push_back(layouts_[r].slot == 0 ? firstSlot + r : uint64_t{layouts_[r].slot} - 1);
        slotEnd = std::max(slotEnd, slots_.back() + 1);
    }
    std::vector<std::pair<uint64_t, size_t>> taken;
    for (size_t r = 0; r < slots_.size(); ++r)
        taken.push_back({slots_[r], r});
    std::sort(taken.begin(), taken.end());
    for (size_t i = 1; i < taken.size(); ++i)
        if (taken[i].first == taken[i - 1].first) {
            return platform::Error{platform::ErrorKind::Refused, "records " + std::to_string(taken[i - 1].second) +
                                                                     " and " + std::to_string(taken[i].second) +
                                                                     " share table slot " +
                                                                     std::to_string(taken[i].first + 1)};
        }
    tableSector_ = fields_.tableSector.value_or(1);
    tableSectors_ = static_cast<uint32_t>((slotEnd * 32) / kSectorSize + 1);
    indexSector_ = fields_.indexSector.value_or(tableSector_ + tableSectors_);
    const uint64_t indexEntries = fields_.indexEntries ? fields_.indexEntries->size() : entries;
    indexSectors_ = static_cast<uint32_t>((indexEntries * 4) / kSectorSize + 1);
    const uint64_t dataStart = std::max<uint64_t>(
        {uint64_t{1}, uint64_t{tableSector_} + tableSectors_, uint64_t{indexSector_} + indexSectors_});
    if (dataStart > 0xFFFFFFFFull) {
        return platform::Error{platform::ErrorKind::Refused, "table or index sector beyond the 32-bit sector range"};
    }
    nextSector_ = static_cast<uint32_t>(dataStart);
    dataStart_ = nextSector_;
    endSector_ = nextSector_;

    if (auto done = CheckOutputPath(path); !done)
        return done.Failure();
    out_.open(path, std::ios::binary | std::ios::trunc | std::ios::out);
    if (!out_) {
        return platform::Error{platform::ErrorKind::WriteFailed, path + ": cannot create: " + std::strerror(errno)};
    }
    created_ = true;
    // Reserve the header, table and index sectors so that segments land after them.
    out_.seekp(static_cast<std::streamoff>(dataStart * kSectorSize));
    if (!out_) {
        Discard();
        return platform::Error{platform::ErrorKind::WriteFailed, path + ": seek failed"};
    }
    record_ = 0;
    recordOpen_ = false;
    return {};
}

platform::Result<void> VolumeWriter::RewindTo(uint32_t sector)
{
    if (!out_.is_open() || (recordOpen_ && segment_ != segmentCounts_[record_])) {
        return platform::Error{platform::ErrorKind::Refused, "a rewind goes between records only"};
    }
    if (sector < dataStart_ || sector > nextSector_) {
        return platform::Error{platform::ErrorKind::Refused,
                               "rewind to sector " + std::to_string(sector) + " outside the data written (" +
                                   std::to_string(dataStart_) + " to " + std::to_string(nextSector_) + ")"};
    }
    endSector_ = std::max(endSector_, nextSector_);
    out_.seekp(static_cast<std::streamoff>(uint64_t{sector} * kSectorSize));
    if (!out_) {
        return platform::Error{platform::ErrorKind::WriteFailed, path_ + ": seek failed"};
    }
    nextSector_ = sector;
    return {};
}

platform::Result<void> VolumeWriter::BeginRecord(size_t record)
{
    const size_t expected = recordOpen_ ? record_ + 1 : 0;
    if (record != expected || record >= headers_.size() || (recordOpen_ && segment_ != segmentCounts_[record_])) {
        return platform::Error{platform::ErrorKind::Refused,
                               "records must be written in order, each with all its segments"};
    }
    record_ = record;
    segment_ = 0;
    recordOpen_ = true;
    index_[indexOffsets_[record_]] = nextSector_;
    return {};
}

platform::Result<void> VolumeWriter::AppendSegment(std::span<const uint8_t> bytes)
{
    if (!recordOpen_ || segment_ >= segmentCounts_[record_]) {
        return platform::Error{platform::ErrorKind::Refused, "segment appended outside a record"};
    }
    const uint32_t sectors = SectorsFor(bytes.size());
    if (uint64_t{nextSector_} + sectors > 0xFFFFFFFFull) {
        return platform::Error{platform::ErrorKind::Refused, "volume exceeds the 32-bit sector range"};
    }
    out_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    static constexpr std::array<char, kSectorSize> zeros{};
    const size_t pad = size_t{sectors} * kSectorSize - bytes.size();
    out_.write(zeros.data(), static_cast<std::streamsize>(pad));
    if (!out_) {
        return platform::Error{platform::ErrorKind::WriteFailed, path_ + ": write failed"};
    }
    nextSector_ += sectors;
    ++segment_;
    index_[indexOffsets_[record_] + segment_] = nextSector_;
    return {};
}

platform::Result<void> VolumeWriter::WriteAt(uint64_t offset, std::span<const uint8_t> bytes)
{
    out_.seekp(static_cast<std::streamoff>(offset));
    out_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out_) {
        return platform::Error{platform::ErrorKind::WriteFailed, path_ + ": write failed"};
    }
    return {};
}

platform::Result<void> VolumeWriter::Finish()
{
    // Records never begun (only ones without segments may be left out) start where data ends.
    for (size_t r = 0; r < headers_.size(); ++r) {
        const bool begun = recordOpen_ && r <= record_;
        if (!begun && segmentCounts_[r] != 0) {
            return platform::Error{platform::ErrorKind::Refused, "record " + std::to_string(r) + " was not written"};
        }
        if (!begun)
            index_[indexOffsets_[r]] = nextSector_;
    }
    if (recordOpen_ && segment_ != segmentCounts_[record_]) {
        return platform::Error{platform::ErrorKind::Refused, "record " + std::to_string(record_) + " lacks segments"};
    }

    std::vector<uint8_t> sector0(kSectorSize, 0);
    std::memcpy(&sector0[2], kVolumeSignature, 10);
    PutBe32(&sector0[12], tableSector_);
    PutBe32(&sector0[16], indexSector_);
    PutBe32(&sector0[20], fields_.headerValues[0]);
    PutBe16(&sector0[24], fields_.recordCount.value_or(static_cast<uint16_t>(headers_.size())));
    PutBe32(&sector0[26], fields_.headerValues[1]);
    PutBe32(&sector0[30], fields_.headerValues[2]);
    PutBe32(&sector0[34], fields_.headerValues[3]);
    PutBe16(&sector0[38], fields_.firstEntryPosition);

    std::vector<uint8_t> table(size_t{tableSectors_} * kSectorSize, 0);
    // A first entry position of 0 (a refusal test) puts record 0 in the first slot.
    for (size_t r = 0; r < headers_.size(); ++r) {
        if (!layouts_[r].entryWritten)
            continue;
        const auto entry = EncodeRecordEntry(headers_[r], segmentCounts_[r], indexOffsets_[r]);
        std::memcpy(&table[slots_[r] * 32], entry.data(), entry.size());
    }
    for (size_t r = 0; r < headers_.size(); ++r)
        if (!layouts_[r].indexWritten)
            std::fill_n(index_.begin() + indexOffsets_[r], size_t{segmentCounts_[r]} + 1, 0u);

    const std::vector<uint32_t>& entries = fields_.indexEntries ? *fields_.indexEntries : index_;
    std::vector<uint8_t> index(size_t{indexSectors_} * kSectorSize, 0);
    for (size_t i = 0; i < entries.size(); ++i)
        PutBe32(&index[i * 4], entries[i]);

    for (const auto& [offset, bytes] :
         {std::pair{uint64_t{tableSector_} * kSectorSize, std::span<const uint8_t>(table)},
          std::pair{uint64_t{indexSector_} * kSectorSize, std::span<const uint8_t>(index)},
          std::pair{uint64_t{0}, std::span<const uint8_t>(sector0)}}) {
        if (auto done = WriteAt(offset, bytes); !done)
            return done;
    }
    out_.close();
    if (out_.fail()) {
        return platform::Error{platform::ErrorKind::WriteFailed, path_ + ": close failed"};
    }
    created_ = false;  // finished: the image is the caller's now
    return {};
}

void VolumeWriter::Discard()
{
    if (out_.is_open())
        out_.close();
    if (!created_)
        return;
    created_ = false;
    std::error_code ec;
    std::filesystem::remove(path_, ec);
}

platform::Result<void> WriteRawVolume(const RawVolume& volume, const std::string& path)
{
    std::vector<RecordHeader> headers;
    std::vector<uint32_t> counts;
    for (const auto& r : volume.records) {
        headers.push_back(r.header);
        counts.push_back(static_cast<uint32_t>(r.segments.size()));
    }
    VolumeWriter writer;
    if (auto done = writer.Open(path, std::move(headers), std::move(counts), volume.fields); !done)
        return done.Failure();
    platform::Result<void> written;
    for (size_t r = 0; written && r < volume.records.size(); ++r) {
        written = writer.BeginRecord(r);
        for (size_t s = 0; written && s < volume.records[r].segments.size(); ++s)
            written = writer.AppendSegment(volume.records[r].segments[s]);
    }
    if (written)
        written = writer.Finish();
    if (!written)
        writer.Discard();
    return written;
}

}  // namespace mkdisk
