#pragma once
// An opened recorder disk: its header and record table, the open record's
// sector index, the stream cursor over the read-ahead window, the frame
// assembly state and audio extraction.
//
// No lock of its own. One thread at a time: the UI thread while playback is
// stopped, otherwise whoever holds the playback engine's stream lock (or the
// export worker, which runs while playback is stopped).
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "disk/index_check.h"
#include "disk/load_failure.h"
#include "disk/raw_disk.h"
#include "disk/record_entry.h"
#include "disk/record_time.h"
#include "disk/segment_read_tap.h"

namespace disk {

enum class StartCodeMatch { Vop, IntraVop, VopOrUserData };

// A run of whole sectors on the disk.
struct SectorRange {
    uint32_t first = 0;
    uint32_t count = 0;
};

// A segment of the open record that could not be read whole: a lost second.
struct SegmentLoss {
    uint32_t segment = 0;
    uint32_t firstSector = 0;
    uint32_t sectorCount = 0;
    std::string error;  // one line: which sector failed and why
};

struct VolumeHeader {
    uint32_t recordTableSector = 0;
    uint32_t indexAreaSector = 0;
    uint32_t valueA = 0;
    uint32_t recordCount = 0;
    uint32_t valueB = 0;
    uint32_t valueC = 0;
    uint32_t valueD = 0;
    uint32_t firstEntryPosition = 0;
};

class RecorderVolume {
public:
    static constexpr uint32_t kRecordSlots = 8192;
    static constexpr uint32_t kWindowSectors = 30032;
    static constexpr uint32_t kWindowBytes = kWindowSectors * kSectorBytes;  // 15,376,384
    static constexpr uint32_t kReadAheadSectors = 42;
    // Frames cut within one segment are shorter than this.
    static constexpr uint32_t kFrameBufferBytes = 128000;
    static constexpr uint32_t kContinuationSearch = 32766;
    // A frame joined across a segment end can reach a tail of 127,999 bytes
    // plus a continuation of up to 32,766: callers' buffers of this size
    // never lose one. NextFrame never writes past the span it is given.
    static constexpr uint32_t kMaxFrameBytes = kFrameBufferBytes + kContinuationSearch;
    static constexpr uint32_t kSplitBufferBytes = 256000;
    static constexpr uint32_t kMaxSplitPieces = 32;
    static constexpr uint32_t kAudioAreaBytes = 16384;
    static constexpr uint32_t kAudioBlockBytes = 4080;
    static constexpr uint32_t kAudioSamples = 8080;
    static constexpr uint32_t kStreamHeaderBytes = 29;
    // Longest record whose index we agree to hold (about 194 days).
    static constexpr uint32_t kMaxSegments = 1u << 24;

    RecorderVolume();
    ~RecorderVolume();
    RecorderVolume(const RecorderVolume&) = delete;
    RecorderVolume& operator=(const RecorderVolume&) = delete;

    // --- volume and record table ---
    // Drive number 0..9 of the process-wide drive table (the window's).
    bool Load(int driveNumber);
    // Drive number 0..9 of the table given (the command line's).
    bool Load(const platform::DriveTable& table, int driveNumber);
    // Why the last Load failed (None after a success); for CannotOpen the
    // system's reason is in LastOpenError.
    LoadFailure LastLoadFailure() const { return loadFailure; }
    const std::string& LastOpenError() const { return openError; }
    void Close();
    bool IsLoaded() const { return loadedDrive != -1; }
    int LoadedDrive() const { return loadedDrive; }
    const VolumeHeader& Header() const { return header; }
    uint32_t RecordCount() const { return header.recordCount; }
    bool FirstRecord(RecordTime& beginTime, uint32_t& segmentCount);
    bool NextRecord(RecordTime& beginTime, uint32_t& segmentCount);
    // Out-of-range indexes get an all-zero entry rather than stray memory.
    const RecordEntry& Record(uint32_t index) const;
    int32_t RecordWidth(uint32_t index) const { return Record(index).width; }
    int32_t RecordHeight(uint32_t index) const { return Record(index).height; }
    // Segments begin with the 16,384-byte audio area (taken from the last
    // entry the load parsed: a property of the whole volume).
    bool HasAudioArea() const { return audioArea; }
    // The lowest sector a record's first segment begins at (the disk's end
    // when none does): index entries stored from there on are not an index.
    uint32_t DataStartSector() const { return dataStart; }
    // Reads a record's index as OpenRecord would and says whether it is
    // plausible, without opening it; false when it cannot be read at all.
    bool CheckRecordIndex(uint32_t recordNumber, IndexCheck& check);
    // The sectors the load read the record table from, and those holding a
    // record's index entries; false when they do not lie on the disk.
    bool RecordTableSectors(SectorRange& range) const;
    bool IndexSectors(uint32_t recordNumber, SectorRange& range) const;
    // Reads sectors of the loaded disk as the volume reads them (reports
    // hash the volume's own structures through this).
    uint32_t ReadDiskSectors(uint32_t firstSector, uint32_t count, std::span<uint8_t> destination)
    {
        return disk.ReadSectors(firstSector, count, destination);
    }
    uint64_t DiskSectorCount() const { return disk.SectorCount(); }
    // The loaded disk as it was opened: its path and what stood behind it
    // then (kept with the open drive, never looked up again by number).
    const platform::DriveIdentity& DiskIdentity() const { return disk.Drive().Identity(); }

    // --- record index and stream cursor ---
    // A record whose index is implausible opens with the segments before
    // the first implausible entry (OpenIndexCheck says so).
    bool OpenRecord(uint32_t recordNumber);
    const IndexCheck& OpenIndexCheck() const { return openIndexCheck; }
    // The open record's entry; an all-zero one when none is open.
    const RecordEntry& OpenRecordEntry() const;
    // Reads the whole segment into the window (in read-ahead chunks) before
    // any frame of it is cut. A segment whose sectors cannot all be read is
    // lost: it counts as empty, no frame is joined across it, and the read
    // tap and LastLoss are told. True for a lost segment too (it is selected).
    bool SelectSegment(uint32_t segment);
    // The selected segment could not be read whole.
    bool CurrentSegmentLost() const { return segmentLost; }
    // The last segment found lost (segment, sectors, error).
    const SegmentLoss& LastLoss() const { return lastLoss; }
    // The last NextFrame returned false because it came to a lost segment
    // (the volume now stands on it; the next call goes on past it, reading
    // as after a seek: callers read intra frames first to keep camera order).
    bool FrameStoppedAtLoss() const { return stoppedAtLoss; }
    // The sectors SelectSegment streams for a segment of the open record:
    // a decreasing index gives none, one longer than the window is cut.
    bool SegmentSectors(uint32_t segment, SectorRange& range) const;
    // Told of every selection and window load until cleared with nullptr.
    void SetReadTap(SegmentReadTap* tap) { readTap = tap; }
    bool ReadAhead();
    bool Advance();
    // Window byte at cursor + k (k <= 7); 0 past what was loaded.
    uint8_t CursorByte(uint32_t k) const;
    uint32_t SegmentCount() const { return segmentCount; }
    uint32_t CurrentSegment() const { return currentSegment; }
    int32_t OpenRecordNumber() const { return openRecord; }
    RecordTime OpenRecordTime() const;
    int32_t OpenWidth() const { return openWidth; }
    int32_t OpenHeight() const { return openHeight; }
    std::span<const uint32_t> SectorIndex() const { return sectorIndex; }
    uint32_t Cursor() const { return cursor; }
    uint32_t SegmentBytes() const { return segmentBytes; }
    uint32_t LoadedBytes() const { return loadedBytes; }

    // --- frame extraction ---
    // Cuts the next compressed frame (see frame_assembly.cpp). audioChannel
    // 0..3 also takes that channel's audio block when a segment begins;
    // -1 skips the audio area.
    bool NextFrame(std::span<uint8_t> frame, uint32_t& frameLength, bool intraOnly, int audioChannel,
                   std::span<uint8_t> audioBlock, int* audioDelivered);
    std::span<const uint8_t, kStreamHeaderBytes> StreamHeader() const { return streamHeader; }
    // Where StreamHeader's recorded bytes came from: the sectors holding
    // them, the byte they start at within the first of those, and the
    // segment. False while none has been captured since the record opened
    // (the first 10 bytes are fixed, never read).
    struct StreamHeaderSource {
        SectorRange sectors;
        uint32_t offset = 0;
        uint32_t segment = 0;
    };
    bool StreamHeaderOrigin(StreamHeaderSource& out) const;
    void ResetFrameAssembly();

    // --- audio ---
    bool ExtractAudioBlock(int channel, std::span<uint8_t> destination);
    // The sectors of a segment's audio area (kAudioAreaSectors from its
    // start); false when the disk has none or the segment is shorter.
    static constexpr uint32_t kAudioAreaSectors = kAudioAreaBytes / kSectorBytes;
    bool AudioAreaSectors(uint32_t segment, SectorRange& range) const;
    // One channel's 4,080-byte block out of a whole audio area as read from
    // the disk; false (nothing written) when a span is too small.
    static bool AudioBlockFromArea(std::span<const uint8_t> area, int channel, std::span<uint8_t> destination);
    // Decodes a 4,080-byte block to 8,080 samples; byteCount = 16,160.
    // False (nothing written) when a buffer is too small.
    static bool DecodeAudioBlock(std::span<const uint8_t> block, std::span<int16_t> destination, uint32_t& byteCount);
    // Every sub-block's step index within the table (0..88): a recorder
    // never writes another, while noise read as sound almost always does.
    static bool AudioBlockPlausible(std::span<const uint8_t> block);

private:
    LoadFailure ReadTable();
    void FindDataStart();
    bool ReadIndex(uint32_t recordNumber, std::vector<uint32_t>& entries, IndexCheck& check,
                   uint32_t* pastDiskEnd = nullptr);
    bool CutSegmentSectors(uint32_t segment, SectorRange& range) const;
    void EndSegmentAtLoaded();
    bool LoadWholeSegment();
    // Frame assembly steps.
    bool DeliverPendingPiece(std::span<uint8_t> frame, uint32_t& frameLength);
    bool ContinuationPiece(std::span<uint8_t> frame, uint32_t& frameLength);
    bool FailFrame();
    bool CutFrame(uint32_t frameFirst, std::span<uint8_t> frame, uint32_t& frameLength);
    bool SkipAudioArea();
    void LeaveSegment();
    uint32_t FindStartCode(uint32_t from, uint32_t limit, StartCodeMatch match);
    void CaptureStreamHeader(uint32_t frameFirst);
    bool EnsureLoaded(uint32_t end);

    RawDisk disk;
    SegmentReadTap* readTap = nullptr;
    VolumeHeader header;
    std::vector<std::unique_ptr<RecordEntry>> recordSlots;  // kRecordSlots, filled on demand
    bool audioArea = false;
    uint32_t dataStart = 0;
    std::vector<uint32_t> sortedOffsets;  // every record's index offset, ascending
    LoadFailure loadFailure = LoadFailure::None;
    std::string openError;
    int loadedDrive = -1;
    uint32_t iteration = 0;

    // Open record.
    int32_t openRecord = -1;
    int32_t openWidth = 0;
    int32_t openHeight = 0;
    std::vector<uint32_t> sectorIndex;
    IndexCheck openIndexCheck;
    uint32_t segmentCount = 0;
    uint32_t currentSegment = 0;
    // The index entry past the disk's end that cut the index (0: none): the
    // second before it was recorded but the disk (an image cut short) ends
    // inside it, so reading on into it finds it lost.
    uint32_t cutEntry = 0;

    // Stream window; allocated once, a few bytes of zero padding past its end
    // so that look-ahead never leaves the allocation.
    std::unique_ptr<uint8_t[]> window;
    uint32_t loadedBytes = 0;
    uint32_t segmentBytes = 0;
    uint32_t cursor = 0;
    uint32_t nextSector = 0;
    uint32_t sectorsLeft = 0;
    uint32_t firstSector = 0;
    uint32_t endSector = 0;
    bool segmentLost = false;
    bool lossPending = false;  // not yet told to NextFrame's caller
    bool stoppedAtLoss = false;
    SegmentLoss lastLoss;

    // Frame assembly.
    std::array<uint8_t, kStreamHeaderBytes> streamHeader{};
    StreamHeaderSource streamHeaderSource;
    bool capturePending = false;
    uint32_t carryLength = 0;
    bool continuation = false;
    bool atSegmentStart = false;
    uint32_t frameStart = 0;
    std::unique_ptr<uint8_t[]> splitBuffer;
    std::array<uint32_t, kMaxSplitPieces> startCodes{};
    uint32_t startCodeCount = 0;
    uint32_t splitLength = 0;
    uint32_t pendingPieces = 0;
    uint32_t nextPiece = 0;
};

}  // namespace disk
