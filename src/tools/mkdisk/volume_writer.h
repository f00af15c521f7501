#pragma once
// The recorder volume container: sector 0 header, record table, index area and
// the segments, written in one pass. Segments stream to the file as they come;
// the header, the table and the index go in last, into space reserved up front.
#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/error.h"

namespace mkdisk {

inline constexpr uint32_t kSectorSize = 512;
inline constexpr char kVolumeSignature[] = "Kor Halvex";  // bytes 2..11 of sector 0

// Recorder wall-clock time of a record entry (no day of week, no milliseconds).
struct RecordTime {
    int year = 2023;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The time `seconds` after `t`, across days, months and years.
RecordTime AddSeconds(const RecordTime& t, int64_t seconds);

// One record-table entry as the recorder writes it. Channel masks use bit k for
// camera k; the writer turns them into the recorder's reversed bit order.
struct RecordHeader {
    RecordTime begin;
    uint8_t kindFlags = 0;      // 0x04 "A", 0x08 "S", 0x10 "M", none "B"
    uint8_t formatByte = 0x50;  // AND 0x50 picks the picture format; 0x80 = audio areas
    uint16_t videoChannels = 0x000F;
    uint16_t audioChannels = 0;
    // Field overrides for refusal tests; by default the true values are written.
    std::optional<uint32_t> segmentCountField;
    std::optional<uint32_t> indexOffsetField;
};

// Volume-wide header fields and the overrides that tests of refusals need.
struct VolumeFields {
    uint16_t firstEntryPosition = 1;                    // slot of record 0, counted from 1
    std::optional<uint16_t> recordCount;                // default: the number of records
    std::optional<uint32_t> tableSector;                // default: 1
    std::optional<uint32_t> indexSector;                // default: right after the table
    std::optional<std::vector<uint32_t>> indexEntries;  // replaces the computed index area
    std::array<uint32_t, 4> headerValues{};             // values A..D, not interpreted by readers
};

// Where one record's entry and index entries go. By default (slot 0) the entry
// stands in the listed run: the first entry position plus the record's number.
struct RecordLayout {
    uint32_t slot = 0;         // table slot counted from 1, as the first entry position is; 0: the listed run's
    bool entryWritten = true;  // false: the slot's 32 bytes stay zero
    bool indexWritten = true;  // false: the record's index entries stay zero (its segments are still written)
};

// The 32 bytes of one record-table entry.
std::array<uint8_t, 32> EncodeRecordEntry(const RecordHeader& h, uint32_t segmentCount, uint32_t indexOffset);
// Channel mask (bit k = camera k) to the two flag bytes at entry offsets 16/18.
std::array<uint8_t, 2> EncodeChannelFlags(uint16_t mask);

// Writes a volume record by record, segment by segment:
//   Open, then for each record in order BeginRecord + AppendSegment per segment, then Finish.
// Between records RewindTo may move the write position back over data already
// written (a later record written over an earlier one's sectors); the segments
// go on from there, one after the other, as the recorder writes them.
// Calls out of that order, and sizes beyond the volume's fields, fail Refused;
// a failed create, seek, write or close fails WriteFailed.
class VolumeWriter {
public:
    // segmentCounts[i] is how many segments record i will receive; layouts, when
    // not empty, one per record (else every record is listed).
    platform::Result<void> Open(const std::string& path, std::vector<RecordHeader> headers,
                                std::vector<uint32_t> segmentCounts, const VolumeFields& fields,
                                std::vector<RecordLayout> layouts = {});
    // The next record's first segment starts at `sector`, between the data start
    // and the current position. Only between records.
    platform::Result<void> RewindTo(uint32_t sector);
    platform::Result<void> BeginRecord(size_t record);
    // Pads the bytes with zeros to whole sectors; empty bytes make an empty segment.
    platform::Result<void> AppendSegment(std::span<const uint8_t> bytes);
    platform::Result<void> Finish();
    // After a failure: closes and removes the half-written image.
    void Discard();

    uint32_t TableSector() const { return tableSector_; }
    uint32_t IndexSector() const { return indexSector_; }
    uint32_t TableSectors() const { return tableSectors_; }
    uint32_t IndexSectors() const { return indexSectors_; }
    uint32_t IndexOffset(size_t record) const { return indexOffsets_.at(record); }
    uint32_t NextSector() const { return nextSector_; }
    // The first sector past everything written (past NextSector after a rewind).
    uint32_t EndSector() const { return std::max(endSector_, nextSector_); }
    // The slot (counted from 1) record `record`'s entry stands in, or would stand in when zeroed.
    uint32_t Slot(size_t record) const { return slots_.at(record) + 1; }

private:
    platform::Result<void> WriteAt(uint64_t offset, std::span<const uint8_t> bytes);

    std::ofstream out_;
    std::string path_;
    std::vector<RecordHeader> headers_;
    std::vector<uint32_t> segmentCounts_;
    std::vector<uint32_t> indexOffsets_;
    std::vector<uint32_t> index_;
    std::vector<RecordLayout> layouts_;
    std::vector<uint64_t> slots_;  // from 0
    VolumeFields fields_;
    uint32_t tableSector_ = 1;
    uint32_t tableSectors_ = 0;
    uint32_t indexSector_ = 0;
    uint32_t indexSectors_ = 0;
    uint32_t nextSector_ = 0;
    uint32_t dataStart_ = 0;
    uint32_t endSector_ = 0;
    size_t record_ = 0;
    uint32_t segment_ = 0;
    bool recordOpen_ = false;
    bool created_ = false;  // only a file this writer created may be removed
};

// A volume built from raw segment bytes, for exact hand-made layouts.
struct RawRecord {
    RecordHeader header;
    std::vector<std::vector<uint8_t>> segments;
};

struct RawVolume {
    std::vector<RawRecord> records;
    VolumeFields fields;
};

platform::Result<void> WriteRawVolume(const RawVolume& volume, const std::string& path);

// Refuses paths that exist and are not regular files (block devices above all).
platform::Result<void> CheckOutputPath(const std::string& path);

}  // namespace mkdisk
