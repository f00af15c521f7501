// A reader's life: its buffers, the volume it reads, the open record.
#include "disk/record_reader.h"

#include <cstring>
#include <utility>

namespace disk {
namespace {

// Look-ahead past the cursor never exceeds 7 bytes; the padding keeps it
// inside the allocation even at the window's last byte.
constexpr uint32_t kWindowPadding = 16;

}  // namespace

RecordReader::RecordReader(std::shared_ptr<const Volume> shared)
    : window(std::make_unique_for_overwrite<uint8_t[]>(kWindowBytes + kWindowPadding)),
      splitBuffer(std::make_unique_for_overwrite<uint8_t[]>(kSplitBufferBytes))
{
    // Every read of the window stops at the bytes loaded; only the padding
    // is set here. Zeroing all 15 MB would touch every page of it, the
    // largest part of a short command's start-up.
    std::memset(window.get() + kWindowBytes, 0, kWindowPadding);
    static constexpr uint8_t kFixedHeader[] = {0x00, 0x00, 0x01, 0xB0, 0x03, 0x00, 0x00, 0x01, 0xB5, 0x09};
    std::memcpy(streamHeader.data(), kFixedHeader, sizeof kFixedHeader);
    AttachVolume(std::move(shared));
}

RecordReader::~RecordReader() = default;

void RecordReader::AttachVolume(std::shared_ptr<const Volume> shared)
{
    // No record stays open on another volume's index, and the window's
    // bytes are never read as the new volume's.
    CloseRecord();
    volume = std::move(shared);
    audioArea = volume && volume->HasAudioArea();
}

void RecordReader::CloseRecord()
{
    openRecord = -1;
    openRecovered = nullptr;
    openWidth = openHeight = 0;
    segmentCount = 0;
    currentSegment = 0;
    cutEntry = 0;
    sectorIndex.clear();
    openIndexCheck = {};
    segmentBytes = loadedBytes = cursor = sectorsLeft = 0;
    nextSector = firstSector = endSector = 0;
    segmentLost = lossPending = stoppedAtLoss = false;
    ResetFrameAssembly();
}

const RecordEntry& RecordReader::OpenRecordEntry() const
{
    static const RecordEntry none{};
    return volume && openRecord >= 0 ? volume->Record(static_cast<uint32_t>(openRecord)) : none;
}

RecordTime RecordReader::OpenRecordTime() const { return OpenRecordEntry().beginTime; }

PositionStamp RecordReader::StampAt(int64_t position) const
{
    if (openRecovered && !openRecovered->timeRecorded)
        return PositionStamp::At({}, false, openRecovered->id, position);
    return PositionStamp::At(OpenRecordTime(), true, {}, position);
}

}  // namespace disk
