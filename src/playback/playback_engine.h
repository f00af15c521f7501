#pragma once
// Plays one record of a RecorderVolume into a video window: all four
// cameras in a quad or one over the whole window, forward or in reverse at
// 1/8 to 16 times, stepping, seeking, looping between segment marks, and
// one camera's sound at normal speed. The timer's Tick is the playback loop.
//
// Threads: the window's thread calls everything but Tick; the timer thread
// calls Tick, one at a time; the export worker reads through a reader of
// its own over the volume's shared Volume (exportReader) and decodes into
// the same buffers while playback is halted; the engine's reader never
// moves for it.
// - streamLock (recursive) is held by ShowPosition, StepForward,
//   StepBackPicture and Tick for their whole run: it guards the volume's
//   stream, frameBuffers, pictureBuffers, the sound buffers,
//   lastShownPosition, where the shown pictures lie in their second
//   (intraSegment, framesAfterIntra), which cameras' pictures belong to the
//   position shown or read (hasPicture) and their layout (picturePlanar),
//   which of the export's reads failed to decode (exportUndecoded),
//   resumeAfterLoss and exportReader
//   (the export worker's while an export runs).
// - The presenter's own lock is held by Present; the decoder's inside
//   DecodeFrame. Order: streamLock first, never the reverse.
// - The playback flags (playing, reverse, speed, viewMode, selectedCamera,
//   loop, the marks, soundOff, ready, exporting) are atomics written by the
//   window's thread and read by the tick without the lock.
// - volume, window, cells, frameRate and the window size change only in
//   Attach/SelectRecord/Detach, on the window's thread while the timer is idle.
// - Snapshot and print compose the pictures under streamLock (LockStream),
//   as the export worker reads them.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "disk/recorder_volume.h"
#include "playback/engine_host.h"
#include "playback/tick_timer.h"
#include "playback/video_presenter.h"
#include "playback/view_layout.h"
#include "playback/wave_player.h"

namespace picture {
class TBitmap;
}

namespace platform {
class WindowSurface;
}

namespace playback {

class VideoDecoder;

class PlaybackEngine {
public:
    static constexpr int kQuadView = 1;
    static constexpr int kSingleView = 0;
    static constexpr float kMinSpeed = 0.125f;
    static constexpr float kMaxSpeed = 16.0f;
    // Frames of this many bytes or fewer stand for a camera without picture.
    static constexpr uint32_t kNoPictureBytes = 100;
    static constexpr uint32_t kPictureBytes = 1244160;  // 720 × 576 × 3
    static constexpr uint32_t kSoundPcmBytes = 16200;
    static constexpr uint32_t kSecondOfSound = 16000;  // 8,000 samples

    explicit PlaybackEngine(VideoDecoder& decoder, std::unique_ptr<TickTimer> timer = nullptr);
    ~PlaybackEngine();
    PlaybackEngine(const PlaybackEngine&) = delete;
    PlaybackEngine& operator=(const PlaybackEngine&) = delete;

    // The window around the engine; any may be null.
    void SetHosts(PositionSlider* slider, MessageSink* messages, platform::WindowSurface* mainWindow);

    // --- setting up ---
    int Attach(platform::WindowSurface* window, disk::RecorderVolume* volume, int recordNumber, int driveNumber);
    bool SelectRecord(int recordNumber);
    int GotoStart();
    // Lets go of the record whose volume was reloaded under it: not ready, not
    // playing, no volume and no marks until the next Attach and GotoStart.
    void Detach();

    // --- showing ---
    int ShowPosition(int position, bool showPictures, bool moveSlider);
    int StepForward();
    // The skin's "prev": one second back, to that second's first pictures.
    int StepBack();
    // One picture back, as exact as StepForward: the pictures shown one frame
    // earlier, decoded again from their second's intra frames (across a
    // second's start, the previous second's last pictures). 0 at the
    // record's first picture, or when the engine is not ready.
    int StepBackPicture();
    void Redraw();
    int Present(int camera, std::span<const uint8_t> picture, int32_t width, int32_t height);
    bool IsShown(int camera) const;
    // Cameras whose picture the last ShowPosition read, decoded and showed.
    int ShownPictures() const { return shownPictures; }
    // The camera's picture buffer holds a picture decoded for the position
    // last shown or read (false for a camera whose frame could not be read
    // or decoded there, and in a lost second). Under the stream lock.
    bool HasPicture(int camera) const;

    // --- playing ---
    void PlayForward();
    void PlayReverse();
    void Halt();
    void Faster();
    void Slower();
    void ApplySpeed();
    void Tick();
    // Also returns the one-camera view to the whole picture.
    void SetView(int viewMode, int camera);
    // The enlarged part of the one-camera view (the window's thread); a
    // halted engine shows it at once, a playing one at its next picture.
    // Snapshots, print and export always take the whole pictures.
    void SetZoom(const ViewZoom& zoom);
    ViewZoom Zoom() { return presenter.Zoom(); }
    void ToggleMark();
    void ToggleSound() { soundOff = soundOff.load() ? 0 : 1; }

    // --- queries ---
    int Position() const { return position.load(); }
    // The picture shown within its second, from 0 (the second's intra
    // pictures), as exact stepping counts them; the window's thread, the
    // engine halted.
    int PictureInSecond() const { return intraSegment == position.load() ? framesAfterIntra : 0; }
    int Length() const;
    bool IsPlaying() const { return playing.load(); }
    bool IsReverse() const { return reverse.load(); }
    bool IsReady() const { return ready.load(); }
    bool HasAudio(int camera) const;
    // The open record's video flag of the camera.
    bool HasVideo(int camera) const;
    float Speed() const { return speed.load(); }
    int ViewMode() const { return viewMode.load(); }
    int SelectedCamera() const { return selectedCamera.load(); }
    int MarkBegin() const { return markBegin.load(); }
    int MarkEnd() const { return markEnd.load(); }
    bool Looping() const { return loop.load(); }
    bool SoundOff() const { return soundOff.load() != 0; }
    bool TimerRunning() const { return timer->IsRunning(); }
    unsigned TimerPeriod() const { return timerPeriod.load(); }
    void KillTimer();
    int32_t WindowWidth() const { return windowWidth; }
    int32_t WindowHeight() const { return windowHeight; }
    const std::array<CellRect, kCameras>& Cells() const { return cells; }
    // The last decoded picture of a camera, for snapshots and export: YUY2,
    // or planar 4:2:0 (decodeapi::PlanarPicture) where PictureIsPlanar says
    // so, as the export's reads leave them when the library can.
    std::span<const uint8_t> Picture(int camera) const;
    bool PictureIsPlanar(int camera) const;
    // Why no picture can be decoded ("no video decoding: ..."), empty when
    // the decoding library is loaded: what needs pictures refuses with it
    // rather than write cells of background.
    std::string DecodingFailure() const;
    // The open record's picture size; 0 without a volume.
    int32_t PictureWidth() const { return volume ? volume->OpenWidth() : 0; }
    int32_t PictureHeight() const { return volume ? volume->OpenHeight() : 0; }
    // The open record's frames per camera per second.
    int32_t FrameRate() const { return frameRate; }

    // --- the export worker's reads (playback halted, exporting set) ---
    // Held by the worker around each read and composition, and by snapshot
    // and print around theirs, so that a tick that was under way when
    // playback halted cannot touch the pictures meanwhile.
    [[nodiscard]] std::unique_lock<std::recursive_mutex> LockStream() const { return std::unique_lock(streamLock); }
    // Opens the export's own reader over the volume's shared Volume on the
    // open record (made here, dropped by ReturnFromExport or
    // CloseExportReader); false without a record, or when the record cannot
    // be opened again. Every read below goes through it.
    bool OpenExportReader();
    // The same on another record of the volume (an export by time across
    // records): the stream header is then always the export reader's own.
    bool OpenExportReader(int recordNumber);
    // How a position of the record the export's reader has open is shown;
    // StampAt when none is open. Under the stream lock.
    disk::PositionStamp ExportStampAt(int position) const;
    // The export's reader (null when none is open), for its read tap. Under
    // the stream lock.
    disk::RecordReader* ExportReader() { return exportReader.get(); }
    // The reader whose stream header the export decodes with and its report
    // describes: the engine's when it has captured one (as playback decodes),
    // otherwise the export's own.
    const disk::RecordReader* ExportHeaderReader() const;
    // Selects the segment for an export in the export's reader, from a clean
    // frame assembly.
    bool SelectForExport(int position);
    // The camera's next frame, read as a tick reads it (intra only for the
    // first frame after the selection) and decoded into its picture when
    // shown, but not presented. When soundCamera (or -1) delivered the block
    // of a newly entered segment, soundDelivered is set and ExportSound()
    // holds its second of PCM. False when the read failed: the end of the
    // record, or a lost second (ReadStoppedAtLoss; ExportPosition() is the
    // lost second, and the next read goes on past it).
    bool ReadForExport(int camera, bool intraOnly, int soundCamera, bool& soundDelivered);
    // The camera's last ReadForExport read a frame to decode and the decoder
    // made no picture of it (a damaged frame): its cell shows no picture.
    bool ExportPictureUndecoded(int camera) const;
    // The segment the export's reader stands on (0 without one).
    int ExportPosition() const;
    // The export's last read stopped at a lost second (see ReadForExport).
    bool ReadStoppedAtLoss() const { return exportReader && exportReader->FrameStoppedAtLoss(); }
    // The export's reader stands on a lost second.
    bool ExportSecondLost() const { return exportReader && exportReader->CurrentSegmentLost(); }
    bool CurrentSecondLost() const { return volume && volume->CurrentSegmentLost(); }
    // Cameras fromCamera..3 have no picture for the frame being composed (a
    // group cut short by a lost second, or the lost second itself).
    void ForgetPictures(int fromCamera);
    // The last lost second the export's reader met.
    const disk::SegmentLoss& LastLoss() const;
    // One second of sound, 8,000 samples (16,000 bytes).
    std::span<const uint8_t> ExportSound() const;
    // After an export: the pictures shown before it are decoded again from
    // their second's intra frames through the export's reader (the engine's
    // reader stands where it stood, so playback goes on from there), and
    // the reader is dropped. When the pictures' place is not known, or
    // returnPosition is elsewhere, ShowPosition(returnPosition) shows it.
    void ReturnFromExport(int returnPosition);
    // Drops the export's reader; the pictures are left as they are.
    void CloseExportReader();
    // The calendar time of a position of the open record: for arithmetic on
    // the recorder's clock only; every time shown goes through StampAt.
    disk::RecordTime TimeAt(int position) const;
    // How a position of the open recording is shown (its time, or its id and
    // the position when its time is unknown).
    disk::PositionStamp StampAt(int position) const;

    // --- sound ---
    void PlayAudio(std::span<const uint8_t> pcm);
    WavePlayer& Sound() { return sound; }
    // Off before Attach: no sound device is opened (an export never plays
    // sound, and closing a device waits for its last buffer).
    void UseSoundDevice(bool use) { soundDevice = use; }
    // Sees every block of sound the engine plays (tests, the CLI).
    void SetSoundTap(std::function<void(std::span<const uint8_t>)> tap) { soundTap = std::move(tap); }

    // --- indicators on the main window ---
    void DrawSpeed();
    void DrawTime();
    disk::RecordTime PositionTime() const;
    disk::PositionStamp CurrentStamp() const;
    void UpdateSlider(int position);

    std::atomic<bool> exporting{false};
    std::atomic<bool> dragWasPlaying{false};
    std::atomic<bool> dragWasReverse{false};

private:
    float RateFor(bool reversed) const;
    void ArmTimer(float newRate);
    bool ReadCamera(int camera, int soundCamera);
    bool DecodeAndPresent(int camera, uint32_t length);
    bool DecodePicture(int camera, uint32_t length);
    // Whether the camera's frame in frameBuffers opens a second (an intra VOP).
    bool IsIntraFrame(int camera) const;
    // A whole round of forward frames was read; intraAt is the segment
    // where its first intra frame lay, or -1.
    void NoteForwardRound(int intraAt);
    struct Replay {
        int rounds = 0;    // whole rounds read after the intra frames
        int intraAt = -1;  // the segment the first intra frame lay in
        std::array<bool, kCameras> hasPicture{};
    };
    // Reads the intra frames of the second at segment and `rounds` rounds
    // after them, as ShowPosition and StepForward read them, decoding the
    // shown cameras when decode is set; rounds -1 reads up to the next
    // second's intra frames or past segment lastSegment (counting, not decoding).
    // reader is the engine's, or the export's when the pictures shown before
    // an export are restored.
    Replay ReplaySecond(disk::RecordReader& reader, int segment, int rounds, bool decode, int lastSegment = 0);
    bool DecodesInPlay(int camera, uint32_t length) const;
    void SyncPosition();
    // The shown cameras as cameras without picture: the position read is a
    // lost second. The next forward step starts at the next second's intra
    // frames.
    void ShowLostSecond();

    VideoDecoder& decoder;
    std::unique_ptr<TickTimer> timer;
    VideoPresenter presenter;
    WavePlayer sound;
    disk::RecorderVolume* volume = nullptr;
    platform::WindowSurface* window = nullptr;
    platform::WindowSurface* mainWindow = nullptr;
    PositionSlider* slider = nullptr;
    MessageSink* messages = nullptr;
    std::array<CellRect, kCameras> cells{};

    // Mutable: readers of the pictures through a const engine take it too.
    mutable std::recursive_mutex streamLock;
    std::array<std::vector<uint8_t>, kCameras> frameBuffers;
    std::array<uint32_t, kCameras> frameLengths{};
    std::array<std::vector<uint8_t>, kCameras> pictureBuffers;
    std::array<bool, kCameras> hasPicture{};
    std::array<bool, kCameras> picturePlanar{};  // how pictureBuffers[c] is laid out
    std::array<bool, kCameras> exportUndecoded{};
    bool resumeAfterLoss = false;
    std::unique_ptr<disk::RecordReader> exportReader;
    bool exportHeaderFromEngine = false;  // set by OpenExportReader
    std::vector<uint8_t> soundBlocks;
    std::vector<int16_t> soundPcm;
    std::function<void(std::span<const uint8_t>)> soundTap;

    std::atomic<float> speed{1.0f};
    float rate = 0;
    std::atomic<unsigned> timerPeriod{0};
    std::atomic<bool> loop{false};
    std::atomic<bool> playing{false};
    std::atomic<bool> ready{false};
    std::atomic<bool> reverse{false};
    std::atomic<int> viewMode{kQuadView};
    std::atomic<int> selectedCamera{0};
    int32_t frameRate = 0;
    int32_t windowWidth = 0;
    int32_t windowHeight = 0;
    std::atomic<int> markBegin{-1};
    std::atomic<int> markEnd{-1};
    std::atomic<int> soundOff{1};
    int lastShownPosition = -1;
    int shownPictures = 0;
    // The segment holding the intra frames the shown pictures were decoded
    // from, and how many frames per camera after them (-1: not known).
    int intraSegment = -1;
    int framesAfterIntra = 0;
    bool soundDevice = true;
    int markBeginPixel = 0;
    std::atomic<int> position{0};

    // Indicator resources, made at first use.
    std::unique_ptr<picture::TBitmap> timeBack;
    std::mutex indicatorLock;
};

}  // namespace playback
