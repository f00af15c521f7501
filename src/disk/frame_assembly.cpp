// Cutting the interleaved MPEG-4 stream of a record into frames.
//
// A frame runs from a VOP start code (00 00 01 B6) to the next one. A frame
// still open at a segment's end is carried as a tail and joined with the
// next segment's bytes up to its first VOP or user-data start code; the
// joined frame is split again at the VOP start codes it holds, and further
// pieces are cut at VOP/user-data codes until one ends at user data.
//
// The scan jumps over the window with memchr for the 01 byte of a start
// code instead of testing every position; a start code counts only when
// all four of its bytes lie inside the segment.
#include <algorithm>
#include <cstring>

#include "disk/record_reader.h"

namespace disk {
namespace {

constexpr uint32_t kNotFound = UINT32_MAX;
constexpr uint8_t kVopCode = 0xB6;
constexpr uint8_t kUserDataCode = 0xB2;

using Match = StartCodeMatch;

}  // namespace

void RecordReader::ResetFrameAssembly()
{
    pendingPieces = 0;
    continuation = false;
}

bool RecordReader::FailFrame()
{
    continuation = false;
    pendingPieces = 0;
    return false;
}

// First position p >= from with p + 3 < end where a start code accepted
// by match begins, or kNotFound. Pure search over loaded bytes.
static uint32_t Search(const uint8_t* w, uint32_t from, uint32_t end, Match match)
{
    // Candidates p with p + 3 < end; the 01 byte sits at p + 2.
    if (end < 4 || from > end - 4)
        return kNotFound;
    const uint8_t* at = w + from + 2;
    const uint8_t* const stop = w + end - 1;  // the code byte (p + 3) must be < end
    while (at < stop) {
        const void* hit = std::memchr(at, 0x01, static_cast<size_t>(stop - at));
        if (!hit)
            return kNotFound;
        const uint8_t* one = static_cast<const uint8_t*>(hit);
        if (one[-1] == 0 && one[-2] == 0) {
            const uint8_t code = one[1];
            const bool accept =
                match == Match::VopOrUserData ? (code == kVopCode || code == kUserDataCode) : code == kVopCode;
            if (accept)
                return static_cast<uint32_t>(one - 2 - w);
        }
        at = one + 1;
    }
    return kNotFound;
}

uint32_t RecordReader::FindStartCode(uint32_t from, uint32_t limit, Match match)
{
    const Match searched = match == Match::IntraVop ? Match::Vop : match;
    uint32_t p = from;
    for (;;) {
        // Search what is loaded (a code's four bytes must all be there),
        // then read ahead and resume at the first position not yet tested.
        const uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(loadedBytes, uint64_t(limit) + 3));
        const uint32_t found = Search(window.get(), p, end, searched);
        if (found != kNotFound) {
            if (match != Match::IntraVop)
                return found;
            // The coding type follows the code; a VOP whose type byte lies
            // past the segment's end is not taken for an intra frame.
            if (found + 4 >= loadedBytes)
                EnsureLoaded(found + 5);
            if (found + 4 < loadedBytes && (window[found + 4] & 0xC0) == 0)
                return found;
            p = found + 1;
            continue;
        }
        if (uint64_t(end) >= uint64_t(limit) + 3 || loadedBytes >= segmentBytes)
            return kNotFound;
        p = std::max(p, end >= 3 ? end - 3 : 0u);
        EnsureLoaded(loadedBytes + 1);
    }
}

void RecordReader::CaptureStreamHeader(uint32_t frameFirst)
{
    // The 19 bytes 27..9 before the first frame are the VO and VOL headers.
    // A frame too close to the start of the video bytes has no such bytes
    // in this segment; the capture then waits for a later frame.
    const uint32_t videoStart = audioArea ? kAudioAreaBytes : 0;
    if (!capturePending || frameFirst < videoStart + 27)
        return;
    std::memcpy(streamHeader.data() + 10, window.get() + frameFirst - 27, 19);
    const uint32_t from = frameFirst - 27;
    const uint32_t last = frameFirst - 9;  // one past the last byte taken
    streamHeaderSource.sectors = {firstSector + from / kSectorBytes,
                                  (last - 1) / kSectorBytes - from / kSectorBytes + 1};
    streamHeaderSource.offset = from % kSectorBytes;
    streamHeaderSource.segment = currentSegment;
    capturePending = false;
}

bool RecordReader::StreamHeaderOrigin(StreamHeaderSource& out) const
{
    if (openRecord < 0 || capturePending)
        return false;
    out = streamHeaderSource;
    return true;
}

// Normal mode, a frame begins at frameFirst: deliver it up to the next VOP
// start code, or carry it as a tail when the segment ends first. False when
// nothing was delivered (the caller moves on to the next segment).
bool RecordReader::CutFrame(uint32_t frameFirst, std::span<uint8_t> frame, uint32_t& frameLength)
{
    const uint32_t next = FindStartCode(frameFirst + 1, segmentBytes, Match::Vop);
    if (next != kNotFound) {
        CaptureStreamHeader(frameFirst);
        const uint32_t n = next - frameFirst;
        if (n < kFrameBufferBytes && n <= frame.size()) {
            std::memcpy(frame.data(), window.get() + frameFirst, n);
            frameLength = n;
            cursor = next;
            return true;
        }
        // Too long: every later end in this segment is too long as well.
        return false;
    }
    const uint32_t n = segmentBytes - frameFirst;
    if (n > 0 && n < kFrameBufferBytes && n <= frame.size()) {
        std::memcpy(frame.data(), window.get() + frameFirst, n);
        frameLength = n;
        carryLength = n;
        continuation = true;
    }
    return false;
}

// The cursor's resting place when a segment is used up: its last byte.
void RecordReader::LeaveSegment() { cursor = segmentBytes == 0 ? 0 : segmentBytes - 1; }

bool RecordReader::SkipAudioArea()
{
    EnsureLoaded(kAudioAreaBytes + 1);
    if (segmentBytes <= kAudioAreaBytes) {
        LeaveSegment();
        return false;
    }
    cursor = kAudioAreaBytes;
    return true;
}

bool RecordReader::DeliverPendingPiece(std::span<uint8_t> frame, uint32_t& frameLength)
{
    const uint32_t begin = startCodes[nextPiece];
    const uint32_t end = nextPiece + 1 < startCodeCount ? startCodes[nextPiece + 1] : splitLength;
    const uint32_t n = end - begin;
    if (n > frame.size())
        return FailFrame();
    std::memcpy(frame.data(), splitBuffer.get() + begin, n);
    frameLength = n;
    ++nextPiece;
    --pendingPieces;
    return true;
}

// Continuation mode: cut the bytes from frameStart to the next VOP or user
// data start code; at a segment's start they complete the carried tail.
bool RecordReader::ContinuationPiece(std::span<uint8_t> frame, uint32_t& frameLength)
{
    const uint32_t q = FindStartCode(cursor, cursor + kContinuationSearch, Match::VopOrUserData);
    if (q == kNotFound) {
        if (uint64_t(cursor) + kContinuationSearch >= segmentBytes)
            LeaveSegment();
        else
            cursor += kContinuationSearch - 1;
        return FailFrame();
    }
    // A segment cut short inside its audio area has no video bytes to join.
    if (q < frameStart)
        return FailFrame();
    const uint32_t n = q - frameStart;
    if (atSegmentStart) {
        const uint64_t joined = uint64_t(carryLength) + n;
        if (joined > frame.size() || joined > kSplitBufferBytes)
            return FailFrame();
        std::memcpy(frame.data() + carryLength, window.get() + frameStart, n);
        frameLength = static_cast<uint32_t>(joined);

        // Split at the VOP codes the joined frame holds (one may straddle
        // the junction). Beyond the table's 32 entries the last piece simply
        // runs to the end.
        splitLength = frameLength;
        std::memcpy(splitBuffer.get(), frame.data(), splitLength);
        startCodeCount = 0;
        for (uint32_t k = 0; k + 4 <= splitLength && startCodeCount < kMaxSplitPieces; ++k) {
            const uint8_t* b = splitBuffer.get() + k;
            if (b[0] == 0 && b[1] == 0 && b[2] == 1 && b[3] == kVopCode)
                startCodes[startCodeCount++] = k;
        }
        pendingPieces = 0;
        if (startCodeCount >= 2) {
            frameLength = startCodes[1];  // the first piece: from the start to the second code
            pendingPieces = startCodeCount - 1;
            nextPiece = 1;
        }
    } else {
        if (n > frame.size())
            return FailFrame();
        std::memcpy(frame.data(), window.get() + frameStart, n);
        frameLength = n;
    }
    cursor = q;
    frameStart = q;
    atSegmentStart = false;
    if (window[q + 3] == kUserDataCode)
        continuation = false;
    if (!Advance())
        return FailFrame();
    return true;
}

bool RecordReader::NextFrame(std::span<uint8_t> frame, uint32_t& frameLength, bool intraOnly, int audioChannel,
                             std::span<uint8_t> audioBlock, int* audioDelivered)
{
    stoppedAtLoss = false;
    if (openRecord < 0)
        return FailFrame();
    // A lost segment stops the read once, where it lies: the caller shows
    // the lost second and then reads on past it.
    if (segmentLost && lossPending) {
        lossPending = false;
        stoppedAtLoss = true;
        return FailFrame();
    }
    for (;;) {
        if (loadedBytes == 0)
            EnsureLoaded(1);
        if (cursor == 0) {
            atSegmentStart = true;
            frameStart = audioArea ? kAudioAreaBytes : 0;
        }
        if (audioDelivered)
            *audioDelivered = 0;
        // An empty segment has no audio area to consume: straight on to the
        // next one rather than failing on it for ever.
        if (cursor == 0 && audioArea && segmentBytes > 0) {
            if (audioChannel >= 0 && audioDelivered) {
                if (ExtractAudioBlock(audioChannel, audioBlock))
                    *audioDelivered = 1;
                else if (cursor < kAudioAreaBytes && !SkipAudioArea())  // never scan sound as video
                    return FailFrame();
            } else if (!SkipAudioArea()) {
                return FailFrame();
            }
        }
        if (pendingPieces > 0)
            return DeliverPendingPiece(frame, frameLength);

        if (cursor < segmentBytes) {
            if (continuation)
                return ContinuationPiece(frame, frameLength);
            const uint32_t first = FindStartCode(cursor, segmentBytes, intraOnly ? Match::IntraVop : Match::Vop);
            if (first != kNotFound && CutFrame(first, frame, frameLength))
                return true;
            LeaveSegment();
        }
        if (!SelectSegment(currentSegment + 1))
            return FailFrame();
        if (segmentLost) {
            lossPending = false;
            stoppedAtLoss = true;
            return FailFrame();
        }
    }
}

}  // namespace disk
