// Stepping one picture back. The stream only decodes forward from a
// second's intra frames, so the pictures one frame earlier are decoded
// again from there, reading exactly what ShowPosition and StepForward read.
#include "playback/playback_engine.h"

#include "playback/video_decoder.h"

namespace playback {

namespace {

constexpr uint8_t kVopCode = 0xB6;
// Empty or damaged seconds passed over when stepping back into an earlier one.
constexpr int kMaxSecondsTried = 8;

}  // namespace

bool PlaybackEngine::IsIntraFrame(int camera) const
{
    const auto& f = frameBuffers[camera];
    return frameLengths[camera] > 4 && f[0] == 0 && f[1] == 0 && f[2] == 1 && f[3] == kVopCode && (f[4] & 0xC0) == 0;
}

void PlaybackEngine::NoteForwardRound(int intraAt)
{
    if (intraAt >= 0) {
        intraSegment = intraAt;
        framesAfterIntra = 0;
    } else if (intraSegment >= 0) {
        ++framesAfterIntra;
    }
}

PlaybackEngine::Replay PlaybackEngine::ReplaySecond(disk::RecordReader& reader, int segment, int rounds, bool decode,
                                                    int lastSegment)
{
    Replay replay;
    if (segment < 0 || !reader.SelectSegment(static_cast<uint32_t>(segment)))
        return replay;
    reader.ResetFrameAssembly();
    for (int camera = 0; camera < kCameras; ++camera) {
        uint32_t length = 0;
        if (!reader.NextFrame(frameBuffers[camera], length, true, -1, soundBlocks, nullptr))
            continue;
        frameLengths[camera] = length;
        if (replay.intraAt < 0)
            replay.intraAt = static_cast<int>(reader.CurrentSegment());
        if (decode && IsShown(camera) && length > kNoPictureBytes)
            replay.hasPicture[camera] = DecodePicture(camera, length);
    }
    const bool counting = rounds < 0;
    while (counting || replay.rounds < rounds) {
        bool nextSecond = false;
        for (int camera = 0; camera < kCameras; ++camera) {
            uint32_t length = 0;
            if (!reader.NextFrame(frameBuffers[camera], length, false, -1, soundBlocks, nullptr))
                return replay;
            frameLengths[camera] = length;
            nextSecond = nextSecond || IsIntraFrame(camera);
            if (decode && DecodesInPlay(camera, length) && DecodePicture(camera, length))
                replay.hasPicture[camera] = true;
        }
        if (counting && (nextSecond || static_cast<int>(reader.CurrentSegment()) > lastSegment))
            return replay;
        ++replay.rounds;
    }
    return replay;
}

int PlaybackEngine::StepBackPicture()
{
    if (!ready)
        return 0;
    Halt();
    std::lock_guard lock(streamLock);
    if (!volume)
        return 0;
    if (intraSegment < 0)
        return ShowPosition(Position(), true, true);
    const int before = Position();
    int second = intraSegment;
    int frames = framesAfterIntra - 1;
    if (frames < 0) {
        // The previous second's last pictures: count its frames first, then
        // decode them. An empty or intra-less segment is passed over.
        frames = -1;
        for (int tried = 0, at = intraSegment - 1; at >= 0 && tried < kMaxSecondsTried; --at, ++tried) {
            // Its frames end in the segment of the second stepped back from.
            const Replay counted = ReplaySecond(*volume, at, -1, false, intraSegment);
            if (counted.intraAt >= 0 && counted.intraAt < intraSegment) {
                second = counted.intraAt;
                frames = counted.rounds;
                break;
            }
        }
        if (frames < 0) {
            // Nothing earlier: the stream goes back to where the pictures are.
            ReplaySecond(*volume, intraSegment, framesAfterIntra, false);
            SyncPosition();
            return 0;
        }
    }
    const Replay replay = ReplaySecond(*volume, second, frames, true);
    SyncPosition();
    intraSegment = replay.intraAt;
    framesAfterIntra = replay.rounds;
    const int32_t width = volume->OpenWidth();
    const int32_t height = volume->OpenHeight();
    for (int camera = 0; camera < kCameras; ++camera) {
        hasPicture[static_cast<size_t>(camera)] = IsShown(camera) && replay.hasPicture[camera];
        if (!IsShown(camera))
            continue;
        if (replay.hasPicture[camera])
            Present(camera, pictureBuffers[camera], width, height);
        else
            Present(camera, {}, width, height);
    }
    // The time panel's text costs allocations: drawn only when it changes.
    if (Position() != before) {
        UpdateSlider(Position());
        DrawTime();
    }
    return 1;
}

}  // namespace playback
