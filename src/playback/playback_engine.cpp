// Setting up, showing positions, stepping, marks and the slider.
#include "playback/playback_engine.h"

#include <algorithm>

#include "picture/tbitmap.h"
#include "platform/window_surface.h"
#include "playback/video_decoder.h"

namespace playback {

PlaybackEngine::PlaybackEngine(VideoDecoder& decoder, std::unique_ptr<TickTimer> tickTimer)
    : decoder(decoder), timer(tickTimer ? std::move(tickTimer) : std::make_unique<PeriodicTickTimer>()),
      soundBlocks(disk::RecorderVolume::kAudioBlockBytes), soundPcm(kSoundPcmBytes / 2)
{
    for (int c = 0; c < kCameras; ++c) {
        frameBuffers[c].resize(disk::RecorderVolume::kMaxFrameBytes);
        pictureBuffers[c].resize(kPictureBytes);
        decoder.SetFormat(c, 1);
    }
}

PlaybackEngine::~PlaybackEngine()
{
    timer->Kill();
    presenter.Release();
    sound.Close();
}

void PlaybackEngine::SetHosts(PositionSlider* positionSlider, MessageSink* messageSink,
                              platform::WindowSurface* mainSurface)
{
    slider = positionSlider;
    messages = messageSink;
    mainWindow = mainSurface;
}

int PlaybackEngine::Attach(platform::WindowSurface* videoWindow, disk::RecorderVolume* recorderVolume, int recordNumber,
                           int driveNumber)
{
    if (!recorderVolume)
        return 0;
    int result = 1;
    if (!recorderVolume->IsLoaded())
        result = recorderVolume->Load(driveNumber) ? 1 : 0;
    {
        std::lock_guard lock(streamLock);
        volume = recorderVolume;
        SelectRecord(recordNumber);
    }
    window = videoWindow;
    markBegin = -1;
    markEnd = -1;
    loop = false;
    if (slider)
        slider->ClearMarks();
    if (soundDevice)
        sound.Open(2000);
    windowWidth = window ? window->Width() : 0;
    windowHeight = window ? window->Height() : 0;
    cells = QuadCells(windowWidth, windowHeight);
    return result;
}

bool PlaybackEngine::SelectRecord(int recordNumber)
{
    std::lock_guard lock(streamLock);
    if (!volume || recordNumber < 0 || !volume->OpenRecord(static_cast<uint32_t>(recordNumber)))
        return false;
    frameRate = volume->Record(static_cast<uint32_t>(recordNumber)).frameRate;
    reverse = false;
    SyncPosition();
    return true;
}

int PlaybackEngine::GotoStart()
{
    const int result = ShowPosition(0, true, true);
    if (result)
        ready = true;
    return result;
}

void PlaybackEngine::Detach()
{
    Halt();
    {
        std::lock_guard lock(streamLock);
        volume = nullptr;
        position = 0;
        lastShownPosition = -1;
    }
    ready = false;
    markBegin = -1;
    markEnd = -1;
    loop = false;
    markBeginPixel = 0;
    if (slider) {
        slider->ClearMarks();
        slider->DrawPosition(0);
    }
}

int PlaybackEngine::Length() const
{
    return volume && volume->OpenRecordNumber() >= 0 ? static_cast<int>(volume->SegmentCount()) : 0;
}

bool PlaybackEngine::HasAudio(int camera) const
{
    if (!volume || camera < 0 || camera >= kCameras)
        return false;
    return volume->OpenRecordEntry().audioPresent[camera] != 0;
}

bool PlaybackEngine::HasVideo(int camera) const
{
    if (!volume || camera < 0 || camera >= kCameras)
        return false;
    return volume->OpenRecordEntry().videoPresent[camera] != 0;
}

bool PlaybackEngine::IsShown(int camera) const
{
    return viewMode.load() == kQuadView || camera == selectedCamera.load();
}

bool PlaybackEngine::HasPicture(int camera) const
{
    return camera >= 0 && camera < kCameras && hasPicture[static_cast<size_t>(camera)];
}

bool PlaybackEngine::PictureIsPlanar(int camera) const
{
    return camera >= 0 && camera < kCameras && picturePlanar[static_cast<size_t>(camera)];
}

std::string PlaybackEngine::DecodingFailure() const
{
    if (decoder.IsLoaded())
        return {};
    return "no video decoding: " +
           (decoder.Failure().empty() ? std::string("the decoding library is not loaded") : decoder.Failure());
}

void PlaybackEngine::ShowLostSecond()
{
    SyncPosition();
    hasPicture.fill(false);
    for (int camera = 0; camera < kCameras; ++camera)
        if (IsShown(camera))
            Present(camera, {}, volume->OpenWidth(), volume->OpenHeight());
    intraSegment = -1;
    resumeAfterLoss = true;
}

void PlaybackEngine::SyncPosition() { position = volume ? static_cast<int>(volume->CurrentSegment()) : 0; }

std::span<const uint8_t> PlaybackEngine::Picture(int camera) const
{
    if (camera < 0 || camera >= kCameras)
        return {};
    return pictureBuffers[camera];
}

int PlaybackEngine::Present(int camera, std::span<const uint8_t> picture, int32_t width, int32_t height)
{
    return presenter.Present(window, viewMode.load(), cells, camera, picture, width, height);
}

// While playing or stepping, a frame of 100 bytes or less is skipped as a
// camera without picture, unless the record says the camera has video:
// then it is a still scene's predicted frame, and skipping it would leave
// every later frame of the second decoded against the wrong picture.
bool PlaybackEngine::DecodesInPlay(int camera, uint32_t length) const
{
    if (!IsShown(camera))
        return false;
    if (length > kNoPictureBytes)
        return true;
    return volume->OpenRecordEntry().videoPresent[camera] != 0;
}

bool PlaybackEngine::DecodePicture(int camera, uint32_t length)
{
    const auto frame = std::span<const uint8_t>(frameBuffers[camera]).first(length);
    picturePlanar[static_cast<size_t>(camera)] = false;
    return decoder.DecodeFrame(camera, frame, pictureBuffers[camera], volume->OpenWidth(), volume->OpenHeight(),
                               volume->StreamHeader()) != 0;
}

bool PlaybackEngine::DecodeAndPresent(int camera, uint32_t length)
{
    if (!DecodePicture(camera, length))
        return false;
    Present(camera, pictureBuffers[camera], volume->OpenWidth(), volume->OpenHeight());
    return true;
}

int PlaybackEngine::ShowPosition(int target, bool showPictures, bool moveSlider)
{
    std::lock_guard lock(streamLock);
    if (!volume || target < 0 || !volume->SelectSegment(static_cast<uint32_t>(target)))
        return 0;
    volume->ResetFrameAssembly();
    SyncPosition();
    shownPictures = 0;
    resumeAfterLoss = false;
    // The slider and the panels follow whatever was shown.
    const auto shown = [&] {
        if (moveSlider)
            UpdateSlider(target);
        if (showPictures) {
            DrawTime();
            DrawSpeed();
        }
        return 1;
    };
    // A lost second shows its cameras without picture, never the last ones.
    if (volume->CurrentSegmentLost()) {
        if (showPictures)
            ShowLostSecond();
        else
            hasPicture.fill(false);
        resumeAfterLoss = true;
        intraSegment = -1;
        return shown();
    }
    int intraAt = -1;
    bool stoppedAtLoss = false;
    for (int camera = 0; camera < kCameras; ++camera) {
        uint32_t length = 0;
        // A lost second met while looking for the intra frames ends the
        // search: nothing is read across it.
        const bool read =
            !stoppedAtLoss && volume->NextFrame(frameBuffers[camera], length, true, -1, soundBlocks, nullptr);
        stoppedAtLoss = stoppedAtLoss || volume->FrameStoppedAtLoss();
        hasPicture[static_cast<size_t>(camera)] = false;
        if (read) {
            frameLengths[camera] = length;
            if (intraAt < 0)
                intraAt = static_cast<int>(volume->CurrentSegment());
        }
        if (!IsShown(camera) || !showPictures)
            continue;
        // A frame that cannot be read or decoded shows as a camera without
        // video: the last picture must not stand for this position.
        if (read && length > kNoPictureBytes && DecodeAndPresent(camera, length)) {
            hasPicture[static_cast<size_t>(camera)] = true;
            ++shownPictures;
        } else
            Present(camera, {}, volume->OpenWidth(), volume->OpenHeight());
    }
    SyncPosition();
    intraSegment = intraAt < 0 ? target : intraAt;
    framesAfterIntra = 0;
    // Stopped at a lost second: the next step starts past it.
    resumeAfterLoss = stoppedAtLoss;
    return shown();
}

int PlaybackEngine::StepForward()
{
    if (!ready)
        return 0;
    Halt();
    std::lock_guard lock(streamLock);
    if (resumeAfterLoss)
        return ShowPosition(Position() + 1, true, true);
    int intraAt = -1;
    for (int camera = 0; camera < kCameras; ++camera) {
        uint32_t length = 0;
        if (!volume->NextFrame(frameBuffers[camera], length, false, -1, soundBlocks, nullptr)) {
            if (volume->FrameStoppedAtLoss()) {
                ShowLostSecond();
                UpdateSlider(Position());
                DrawTime();
                return 1;
            }
            SyncPosition();
            // The cameras read before the record ended did step: one back
            // returns them to the last whole step.
            if (camera > 0)
                NoteForwardRound(intraAt);
            return 0;
        }
        SyncPosition();
        frameLengths[camera] = length;
        if (intraAt < 0 && IsIntraFrame(camera))
            intraAt = Position();
        hasPicture[static_cast<size_t>(camera)] = false;
        if (DecodesInPlay(camera, length) && DecodeAndPresent(camera, length)) {
            hasPicture[static_cast<size_t>(camera)] = true;
            UpdateSlider(Position());
            DrawTime();
        }
    }
    NoteForwardRound(intraAt);
    return 1;
}

int PlaybackEngine::StepBack()
{
    if (!ready)
        return 0;
    Halt();
    return ShowPosition(Position() - 1, true, true);
}

void PlaybackEngine::Redraw()
{
    if (!volume || volume->OpenRecordNumber() < 0)
        return;
    for (int camera = 0; camera < kCameras; ++camera) {
        // An export's planar pictures are not the window's: it keeps what
        // it shows until the export returns.
        if (!IsShown(camera) || picturePlanar[static_cast<size_t>(camera)])
            continue;
        if (hasPicture[static_cast<size_t>(camera)])
            Present(camera, pictureBuffers[camera], volume->OpenWidth(), volume->OpenHeight());
        else
            Present(camera, {}, volume->OpenWidth(), volume->OpenHeight());
    }
}

void PlaybackEngine::UpdateSlider(int at)
{
    if (!slider)
        return;
    const int span = std::max(Length() - 1, 1);
    slider->DrawPosition(static_cast<int>(int64_t(at) * slider->TrackLength() / span));
}

void PlaybackEngine::ToggleMark()
{
    if (!ready)
        return;
    const int here = Position();
    const int thumb = slider ? slider->PositionOffset() : 0;
    if (markBegin == -1) {
        markBegin = here;
        markBeginPixel = thumb;
        if (slider)
            slider->SetBeginMark(thumb);
        loop = false;
    } else if (markEnd == -1) {
        const int d = here - markBegin;
        if (d >= -3 && d <= 3) {
            if (messages)
                messages->ShowFreshUiText(21);
        } else if (d > 3) {
            markEnd = here;
            if (slider)
                slider->SetEndMark(thumb);
            loop = true;
        } else {
            // Set before the begin mark: the marks change places.
            markEnd = markBegin.load();
            markBegin = here;
            if (slider) {
                slider->ClearMarks();
                slider->SetEndMark(markBeginPixel);
                slider->SetBeginMark(thumb);
            }
            loop = true;
        }
    } else {
        markBegin = -1;
        markEnd = -1;
        loop = false;
        markBeginPixel = 0;
        if (slider)
            slider->ClearMarks();
    }
    if (slider)
        slider->DrawPosition(-1);
}

void PlaybackEngine::PlayAudio(std::span<const uint8_t> pcm)
{
    if (soundTap)
        soundTap(pcm);
    sound.Write(pcm);
}

}  // namespace playback
