#pragma once
// One consumer's reading of a loaded Volume: the open record's sector index,
// the stream cursor over the read-ahead window, the frame assembly state,
// lost seconds, the read tap and audio extraction.
//
// No lock of its own. A reader belongs to one thread at a time (the playback
// engine's reader: whoever holds its stream lock); the Volume it holds is
// immutable and shared, so readers on different threads need nothing
// between them. The window and split buffer are allocated once, with the
// reader.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "disk/index_check.h"
#include "disk/position_stamp.h"
#include "disk/record_entry.h"
#include "disk/record_time.h"
#include "disk/segment_read_tap.h"
#include "disk/volume.h"

namespace disk {

enum class StartCodeMatch { Vop, IntraVop, VopOrUserData };

// A segment of the open record that could not be read whole: a lost second.
struct SegmentLoss {
    uint32_t segment = 0;
    uint32_t firstSector = 0;
    uint32_t sectorCount = 0;
    std::string error;  // one line: which sector failed and why
};

class RecordReader {
public:
    static constexpr uint32_t kRecordSlots = Volume::kRecordSlots;
    static constexpr uint32_t kMaxSegments = Volume::kMaxSegments;
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

    // volume may be null: nothing opens until one is attached.
    explicit RecordReader(std::shared_ptr<const Volume> volume = nullptr);
    ~RecordReader();
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    // Reads from volume from now on (null: none); closes the open record.
    void AttachVolume(std::shared_ptr<const Volume> volume);
    const std::shared_ptr<const Volume>& Shared() const { return volume; }

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
    // A recovered recording's segment that is not intact (its sectors now
    // hold another recording's, or no segment at all) is lost the same way,
    // without being read, the recovery's note as the loss's error.
    bool SelectSegment(uint32_t segment);
    // The selected segment could not be read whole.
    bool CurrentSegmentLost() const { return segmentLost; }
    // The last segment found lost (segment, sectors, error).
    const SegmentLoss& LastLoss() const { return lastLoss; }
    // The last NextFrame returned false because it came to a lost segment
    // (the reader now stands on it; the next call goes on past it, reading
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
    // The open recording when it is a recovered one; null otherwise.
    const RecoveredRecording* OpenRecovered() const { return openRecovered; }
    RecordTime OpenRecordTime() const;
    // How a position (seconds from the start) of the open recording is
    // shown: its time, or its id and the position when its time is unknown.
    PositionStamp StampAt(int64_t position) const;
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
    void CloseRecord();
    bool CutSegmentSectors(uint32_t segment, SectorRange& range) const;
    void EndSegmentAtLoaded();
    void LoseSegment(uint32_t segment, const SectorRange& range, std::string error);
    bool RecoveredSegmentLost(uint32_t segment, std::string& error) const;
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

    std::shared_ptr<const Volume> volume;
    bool audioArea = false;  // the volume's, kept at attach
    SegmentReadTap* readTap = nullptr;

    // Open record.
    int32_t openRecord = -1;
    const RecoveredRecording* openRecovered = nullptr;  // lives in volume's recovery
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
