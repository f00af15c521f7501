// The timer-driven playback loop: speeds, directions, the timer's period and
// what each tick does.
#include "playback/playback_engine.h"

#include <algorithm>

#include "playback/video_decoder.h"

namespace playback {

// Ticks per second: one frame of each camera per tick forward at speed 1 or
// below; one position per tick fast forward and in reverse.
float PlaybackEngine::RateFor(bool reversed) const
{
    const float s = speed.load();
    if (reversed || s > 1.0f)
        return s;
    return static_cast<float>(frameRate) * s;
}

void PlaybackEngine::ArmTimer(float newRate)
{
    if (timer->IsRunning() && newRate == rate)
        return;
    timer->Kill();
    rate = newRate;
    if (newRate <= 0) {
        timerPeriod = 0;
        return;
    }
    const auto period = static_cast<unsigned>(1000.0f / newRate);
    timerPeriod = period;
    timer->Start(period, [this] { Tick(); });
}

void PlaybackEngine::KillTimer()
{
    timer->Kill();
    timerPeriod = 0;
}

void PlaybackEngine::PlayForward()
{
    if (!ready)
        return;
    const float newRate = RateFor(false);
    if (!timer->IsRunning() || newRate != rate) {
        Halt();
        ArmTimer(newRate);
    }
    reverse = false;
    playing = true;
}

void PlaybackEngine::PlayReverse()
{
    if (!ready)
        return;
    const float newRate = RateFor(true);
    if (!timer->IsRunning() || newRate != rate) {
        Halt();
        ArmTimer(newRate);
    }
    playing = true;
    reverse = true;
}

void PlaybackEngine::Halt()
{
    playing = false;
    sound.Reset();
}

void PlaybackEngine::Faster()
{
    if (!ready || speed.load() * 2 > kMaxSpeed)
        return;
    speed = speed.load() * 2;
    ApplySpeed();
}

void PlaybackEngine::Slower()
{
    if (!ready || speed.load() / 2 < kMinSpeed)
        return;
    speed = speed.load() / 2;
    ApplySpeed();
}

void PlaybackEngine::ApplySpeed()
{
    ArmTimer(RateFor(reverse.load()));
    DrawSpeed();
}

bool PlaybackEngine::ReadCamera(int camera, int soundCamera)
{
    uint32_t length = 0;
    int delivered = 0;
    if (!volume->NextFrame(frameBuffers[camera], length, false, soundCamera, soundBlocks, &delivered)) {
        // A lost second is shown and passed; only the record's end halts.
        if (!loop && !volume->FrameStoppedAtLoss())
            Halt();
        return false;
    }
    frameLengths[camera] = length;
    hasPicture[static_cast<size_t>(camera)] = DecodesInPlay(camera, length) && DecodeAndPresent(camera, length);
    if (soundCamera >= 0 && delivered) {
        uint32_t bytes = 0;
        disk::RecorderVolume::DecodeAudioBlock(soundBlocks, soundPcm, bytes);
        PlayAudio(std::span(reinterpret_cast<const uint8_t*>(soundPcm.data()), kSecondOfSound));
    }
    return true;
}

bool PlaybackEngine::OpenExportReader()
{
    std::lock_guard lock(streamLock);
    return OpenExportReader(volume ? volume->OpenRecordNumber() : -1);
}

bool PlaybackEngine::OpenExportReader(int recordNumber)
{
    std::lock_guard lock(streamLock);
    exportReader.reset();
    if (!volume || !volume->Shared() || recordNumber < 0)
        return false;
    auto reader = std::make_unique<disk::RecordReader>(volume->Shared());
    if (!reader->OpenRecord(static_cast<uint32_t>(recordNumber)))
        return false;
    disk::RecordReader::StreamHeaderSource origin;
    exportHeaderFromEngine = recordNumber == volume->OpenRecordNumber() && volume->StreamHeaderOrigin(origin);
    exportReader = std::move(reader);
    return true;
}

disk::PositionStamp PlaybackEngine::ExportStampAt(int at) const
{
    std::lock_guard lock(streamLock);
    return exportReader ? exportReader->StampAt(at) : StampAt(at);
}

const disk::RecordReader* PlaybackEngine::ExportHeaderReader() const
{
    if (exportHeaderFromEngine || !exportReader)
        return volume;
    return exportReader.get();
}

int PlaybackEngine::ExportPosition() const
{
    std::lock_guard lock(streamLock);
    return exportReader ? static_cast<int>(exportReader->CurrentSegment()) : 0;
}

bool PlaybackEngine::SelectForExport(int target)
{
    std::lock_guard lock(streamLock);
    if (!exportReader || target < 0)
        return false;
    // An export starts clean, whatever the reader read before.
    exportReader->ResetFrameAssembly();
    if (!exportReader->SelectSegment(static_cast<uint32_t>(target)))
        return false;
    // Pictures decoded before the export belong to another position.
    hasPicture.fill(false);
    return true;
}

// The first frame after the selection follows a seek's rule (a short intra
// frame stands for no picture); later ones a tick's, so a still scene's
// small predicted frames keep the decoder's reference right.
bool PlaybackEngine::ReadForExport(int camera, bool intraOnly, int soundCamera, bool& soundDelivered)
{
    std::lock_guard lock(streamLock);
    soundDelivered = false;
    if (!exportReader || camera < 0 || camera >= kCameras)
        return false;
    uint32_t length = 0;
    int delivered = 0;
    const bool read =
        exportReader->NextFrame(frameBuffers[camera], length, intraOnly, soundCamera, soundBlocks, &delivered);
    hasPicture[static_cast<size_t>(camera)] = false;
    exportUndecoded[static_cast<size_t>(camera)] = false;
    if (!read)
        return false;
    frameLengths[camera] = length;
    const bool decodes = intraOnly ? IsShown(camera) && length > kNoPictureBytes : DecodesInPlay(camera, length);
    if (decodes) {
        // Planar where the library can: the export composes 4:2:0, and the
        // same bytes need no trip through YUY2.
        const auto frame = std::span<const uint8_t>(frameBuffers[camera]).first(length);
        const bool planar = decoder.DecodesPlanar();
        picturePlanar[static_cast<size_t>(camera)] = planar;
        const int32_t w = exportReader->OpenWidth(), h = exportReader->OpenHeight();
        const auto header = ExportHeaderReader()->StreamHeader();
        hasPicture[static_cast<size_t>(camera)] =
            (planar ? decoder.DecodePlanar(camera, frame, pictureBuffers[camera], w, h, header)
                    : decoder.DecodeFrame(camera, frame, pictureBuffers[camera], w, h, header)) != 0;
        exportUndecoded[static_cast<size_t>(camera)] = !hasPicture[static_cast<size_t>(camera)];
    }
    if (soundCamera >= 0 && delivered) {
        uint32_t bytes = 0;
        disk::RecorderVolume::DecodeAudioBlock(soundBlocks, soundPcm, bytes);
        soundDelivered = true;
    }
    return true;
}

bool PlaybackEngine::ExportPictureUndecoded(int camera) const
{
    std::lock_guard lock(streamLock);
    return camera >= 0 && camera < kCameras && exportUndecoded[static_cast<size_t>(camera)];
}

void PlaybackEngine::ReturnFromExport(int returnPosition)
{
    std::lock_guard lock(streamLock);
    const std::unique_ptr<disk::RecordReader> reader = std::move(exportReader);
    // The export's planar pictures are no pictures of the window's.
    for (std::size_t camera = 0; camera < kCameras; ++camera) {
        hasPicture[camera] = hasPicture[camera] && !picturePlanar[camera];
        picturePlanar[camera] = false;
    }
    if (!volume)
        return;
    // An export by time may have left the reader on another record: its
    // frames are no replay of the pictures shown.
    if (reader && returnPosition == Position() && reader->OpenRecordNumber() == volume->OpenRecordNumber()) {
        reader->SetReadTap(nullptr);
        if (volume->CurrentSegmentLost()) {
            ShowLostSecond();
            return;
        }
        if (intraSegment >= 0 && !resumeAfterLoss) {
            // The same frames the shown pictures were decoded from, decoded
            // again in the same order: the decoder's reference is theirs too,
            // so the next tick's predicted frames follow on.
            const Replay replay = ReplaySecond(*reader, intraSegment, framesAfterIntra, true);
            if (replay.intraAt == intraSegment && replay.rounds == framesAfterIntra) {
                for (int camera = 0; camera < kCameras; ++camera) {
                    hasPicture[static_cast<size_t>(camera)] = IsShown(camera) && replay.hasPicture[camera];
                    if (IsShown(camera))
                        Present(camera,
                                replay.hasPicture[camera] ? std::span<const uint8_t>(pictureBuffers[camera])
                                                          : std::span<const uint8_t>(),
                                volume->OpenWidth(), volume->OpenHeight());
                }
                return;
            }
        }
    }
    ShowPosition(returnPosition, true, true);
}

void PlaybackEngine::CloseExportReader()
{
    std::lock_guard lock(streamLock);
    exportReader.reset();
}

void PlaybackEngine::ForgetPictures(int fromCamera)
{
    std::lock_guard lock(streamLock);
    for (int camera = std::max(fromCamera, 0); camera < kCameras; ++camera)
        hasPicture[static_cast<size_t>(camera)] = false;
}

const disk::SegmentLoss& PlaybackEngine::LastLoss() const
{
    static const disk::SegmentLoss none;
    return exportReader ? exportReader->LastLoss() : none;
}

std::span<const uint8_t> PlaybackEngine::ExportSound() const
{
    return std::span(reinterpret_cast<const uint8_t*>(soundPcm.data()), kSecondOfSound);
}

void PlaybackEngine::Tick()
{
    if (!playing)
        return;
    std::lock_guard lock(streamLock);
    // Halted while this tick waited for the lock (a snapshot, print or export
    // held it): the step must not happen after the halt.
    if (!playing || !volume)
        return;
    if (reverse) {
        if (!ShowPosition(Position() - 1, true, true))
            Halt();
    } else if (speed.load() > 1.0f) {
        if (!ShowPosition(Position() + 1, true, true))
            Halt();
    } else {
        int soundCamera = -1;
        if (speed.load() == 1.0f && soundOff.load() == 0) {
            const int candidate = viewMode.load() == kSingleView ? selectedCamera.load() : 0;
            if (HasAudio(candidate))
                soundCamera = candidate;
        }
        bool anyRead = false;
        int intraAt = -1;
        bool lost = false;
        if (resumeAfterLoss) {
            // Past a lost second: the next one from its intra frames, so that
            // each camera stays in its cell.
            if (!ShowPosition(Position() + 1, true, true))
                Halt();
        } else {
            for (int camera = 0; camera < kCameras && !lost; ++camera) {
                const bool read = ReadCamera(camera, soundCamera);
                anyRead = anyRead || read;
                lost = !read && volume->FrameStoppedAtLoss();
                if (read && intraAt < 0 && IsIntraFrame(camera))
                    intraAt = static_cast<int>(volume->CurrentSegment());
            }
            SyncPosition();
        }
        if (lost)
            ShowLostSecond();
        else if (anyRead)
            NoteForwardRound(intraAt);
    }
    const int p = Position();
    if (p != lastShownPosition) {
        DrawTime();
        UpdateSlider(p);
        lastShownPosition = p;
    }
    if (loop) {
        if (p >= markEnd)
            ShowPosition(markBegin, true, true);
        else if (p < markBegin)
            ShowPosition(markEnd, true, true);
    }
}

void PlaybackEngine::SetView(int mode, int camera)
{
    if (!ready)
        return;
    const bool wasPlaying = IsPlaying();
    Halt();
    ViewZoom whole;
    whole.smooth = presenter.Zoom().smooth;
    presenter.SetZoom(whole);
    selectedCamera = camera;
    viewMode = mode;
    ShowPosition(Position(), true, true);
    if (wasPlaying) {
        if (reverse)
            PlayReverse();
        else
            PlayForward();
    }
}

void PlaybackEngine::SetZoom(const ViewZoom& zoom)
{
    presenter.SetZoom(zoom);
    if (!ready || playing || exporting)
        return;
    std::lock_guard lock(streamLock);
    Redraw();
}

}  // namespace playback
