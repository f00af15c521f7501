// The export worker: read from the begin mark camera by camera, compose each
// frame, repeat it up to 30 frames a second, hand frames and sound to the
// encode stage, show progress, and come back to where playback was.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "export/avi_writer.h"
#include "export/export_progress.h"
#include "export/segment_exporter.h"
#include "export/snapshot.h"
#include "export/sound_stretch.h"
#include "platform/mp4_writer.h"
#include "platform/mpeg1_encoder.h"
#include "playback/playback_engine.h"

namespace exporter {

// Output frames for the frame composed at an iteration (the first frame,
// read before the loop, counts as iteration 0): each recorded second gives 30.
int SegmentExporter::Repeats(int iteration) const
{
    switch (run.formatCode) {
    case 1: return 2;                           // 15 a second
    case 2: return iteration % 5 == 0 ? 2 : 1;  // 25: six for five
    case 3: return iteration % 2 == 0 ? 4 : 1;  // 12: five for two
    default: return 1;                          // 30
    }
}

bool SegmentExporter::ComposeFrame(int framePosition, int copies)
{
    if (!composer.IsSetUp() && !composer.Setup(width, height, capture::kSnapshotBackground))
        return false;
    const std::span<uint8_t> frame = stage.AcquireFrame();
    {
        auto lock = engine.LockStream();
        composer.Compose(engine, engine.TimeAt(framePosition), capture::PictureComposer::Stamp::FrameCorner);
    }
    if (!composer.CopyOut(frame, std::size_t(width) * 3, true)) {
        stage.ReturnFrame(frame);
        return false;
    }
    stage.SubmitFrame(frame, copies);
    if (frameTap)
        frameTap(framePosition, copies);
    return true;
}

// AVI and MP4 take the recorded second as it is; MPEG-1 takes it stretched
// to 11,200 samples. Runs on the encode stage's thread.
bool SegmentExporter::WriteStretchedSound(std::span<const uint8_t> pcm)
{
    if (run.mode == ExportMode::Avi)
        return avi->WriteAudioChunk(pcm.data(), static_cast<uint32_t>(pcm.size())) == 0;
    if (run.mode == ExportMode::Mp4)
        return mp4->EncodeSound(pcm);
    const std::size_t count = pcm.size() / 2;
    // The stage's slot is byte-aligned storage; copy to samples first.
    int16_t samples[EncodeStage::kSoundBytes / 2];
    std::memcpy(samples, pcm.data(), count * 2);
    const std::size_t made = StretchSound(std::span<const int16_t>(samples, count), stretched);
    return mpeg->EncodeAudioData(reinterpret_cast<const char*>(stretched.data()), static_cast<int>(made * 2));
}

void SegmentExporter::WriteAudio(std::span<const uint8_t> pcm) { stage.SubmitSound(pcm); }

// One frame of each camera in camera order. Each segment entered gets its
// second of sound once, when its pictures will be written too: the sound
// camera's, or silence when there is none (or the disk has no sound for it),
// so the sound track always runs in step with the pictures.
bool SegmentExporter::ReadCameras(bool intraOnly, int soundCamera, bool& readFailed)
{
    readFailed = false;
    for (int camera = 0; camera < playback::kCameras; ++camera) {
        bool delivered = false;
        const bool read = engine.ReadForExport(camera, intraOnly, soundCamera, delivered);
        const int position = engine.Position();
        if (position > soundPosition && position <= run.endPosition + 1) {
            soundPosition = position;
            WriteAudio(delivered ? engine.ExportSound() : std::span<const uint8_t>(silence));
        }
        if (!read && !intraOnly) {
            readFailed = true;
            return false;
        }
    }
    return true;
}

void SegmentExporter::ShowProgress(std::chrono::steady_clock::time_point started, int iterations, int position)
{
    const int span = run.endPosition - run.beginPosition;
    const int done = position - run.beginPosition;
    int percent = span > 0 ? static_cast<int>(int64_t(done) * 100 / span) : (done > 0 ? 100 : 0);
    percent = std::clamp(percent, 0, 100);
    if (percent == run.lastPercent)
        return;
    run.lastPercent = percent;
    // Seconds left from the average pace so far: the work per recorded second
    // (within the first second, from the frames read) times the seconds
    // still to read.
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const int remaining = std::max(run.endPosition + 1 - position, 0);
    const double perSecond =
        done > 0 ? elapsed / done : elapsed / std::max(iterations, 1) * std::max(engine.FrameRate(), 1);
    const long left = std::lround(perSecond * remaining);
    progress.SetProgress(percent, std::to_string(percent) + " %", std::to_string(left) + " ");
}

ExportOutcome::End SegmentExporter::ReadLoop(ExportOutcome& outcome)
{
    int soundCamera = engine.ViewMode() == playback::PlaybackEngine::kQuadView ? 0 : engine.SelectedCamera();
    if (!engine.HasAudio(soundCamera))
        soundCamera = -1;
    const auto started = std::chrono::steady_clock::now();
    bool readFailed = false;
    int framePosition = engine.Position();
    soundPosition = framePosition - 1;
    ReadCameras(true, soundCamera, readFailed);
    outcome.firstPosition = framePosition;
    outcome.lastPosition = framePosition;
    ComposeFrame(framePosition, Repeats(0));
    for (int iteration = 1; engine.Position() <= run.endPosition + 1; ++iteration) {
        // The pictures belong to the segment the group starts in: the last
        // camera's read already enters the next one.
        framePosition = engine.Position();
        ReadCameras(false, soundCamera, readFailed);
        if (readFailed)
            progress.RequestStop();
        if (ComposeFrame(framePosition, Repeats(iteration)))
            outcome.lastPosition = framePosition;
        ShowProgress(started, iteration, engine.Position());
        if (stage.Failed())
            return ExportOutcome::End::WriteFailed;
        if (progress.StopRequested()) {
            if (!readFailed)
                return ExportOutcome::End::Stopped;
            // The record's very last frame is never delivered: a read that
            // fails in the last second to export has missed nothing.
            return framePosition > run.endPosition ? ExportOutcome::End::Completed : ExportOutcome::End::RecordEnded;
        }
    }
    return ExportOutcome::End::Completed;
}

int SegmentExporter::ExportWorker()
{
    engine.exporting = true;
    progress.ClearStop();
    ExportOutcome outcome;
    std::atomic<int64_t> frames{0};
    if (run.mode != ExportMode::Master)
        stage.Start(
            std::size_t(width) * height * 3,
            [this, &frames](const uint8_t* frame) {
                const bool ok = run.mode == ExportMode::Mpeg
                                    ? mpeg->EncodeVideoFrame(reinterpret_cast<const char*>(frame))
                                : run.mode == ExportMode::Mp4 ? mp4->EncodePicture(frame)
                                                              : avi->WriteVideoFrame(frame) == 0;
                frames += ok ? 1 : 0;
                return ok;
            },
            [this](std::span<const uint8_t> pcm) { return WriteStretchedSound(pcm); });
    TapReads(true);
    if (!engine.SelectForExport(run.beginPosition)) {
        TapReads(false);
        outcome.end = ExportOutcome::End::NothingRead;
        FinishOutput(outcome.error);
        std::error_code ignored;
        std::filesystem::remove(run.path, ignored);
        progress.Hide();
    } else {
        outcome.end = run.mode == ExportMode::Master ? MasterLoop(outcome) : ReadLoop(outcome);
        TapReads(false);
        std::string error;
        if (!FinishOutput(error) || outcome.end == ExportOutcome::End::WriteFailed) {
            outcome.end = ExportOutcome::End::WriteFailed;
            outcome.error = error;
        }
        outcome.framesWritten = run.mode == ExportMode::Master ? masterFrames : frames.load();
        progress.Hide();
        if (outcome.end != ExportOutcome::End::NothingRead)
            WriteReport(outcome);
        engine.ShowPosition(run.returnPosition, true, true);
    }
    if (finished)
        finished(outcome);
    engine.exporting = false;
    running = false;
    return 1;
}

}  // namespace exporter
