// The export worker: read from the begin mark camera by camera, compose each
// frame, repeat it up to 30 frames a second, hand frames and sound to the
// encode stage, show progress, and come back to where playback was.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "disk/record_reader.h"
#include "export/avi_writer.h"
#include "export/export_progress.h"
#include "export/picture_composer.h"
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

disk::PositionStamp SegmentExporter::Stamp(int position) const
{
    // An export by time reads records other than the one open in playback.
    return run.range.pieces.empty() ? engine.StampAt(position) : engine.ExportStampAt(position);
}

bool SegmentExporter::ComposeFrame(int framePosition, int copies)
{
    return ComposeStamped(framePosition, Stamp(framePosition), copies);
}

bool SegmentExporter::ComposeStamped(int framePosition, const disk::PositionStamp& stamp, int copies)
{
    if (!composer.IsSetUp() && !composer.Setup(width, height, exporter::kSnapshotBackground))
        return false;
    const std::span<uint8_t> frame = stage.AcquireFrame();
    bool composed = false;
    {
        auto lock = engine.LockStream();
        composed = composer.Compose(engine, stamp, frame);
    }
    if (!composed) {
        stage.ReturnFrame(frame);
        return false;
    }
    stage.SubmitFrame(frame, copies);
    if (frameTap)
        frameTap(framePosition, copies);
    return true;
}

// AVI takes the recorded second as it is; MPEG-1 takes it stretched to
// 11,200 samples. Runs on the encode stage's thread.
bool SegmentExporter::WriteStretchedSound(std::span<const uint8_t> pcm)
{
    if (run.mode == ExportMode::Avi)
        return avi->WriteAudioChunk(pcm.data(), static_cast<uint32_t>(pcm.size())) == 0;
    const std::size_t count = pcm.size() / 2;
    // The stage's slot is byte-aligned storage; copy to samples first.
    int16_t samples[EncodeStage::kSoundBytes / 2];
    std::memcpy(samples, pcm.data(), count * 2);
    const std::size_t made = StretchSound(std::span<const int16_t>(samples, count), stretched);
    return mpeg->EncodeAudioData(reinterpret_cast<const char*>(stretched.data()), static_cast<int>(made * 2));
}

// MP4's sound is encoded here, on the worker, while the stage's thread
// feeds libx264 (whose frame threads wait on that thread alone): its muxer
// puts the two streams' packets in time order whichever comes first. A
// failure shows in OutputFailed. The others' sound keeps its place among the
// pictures on the stage.
void SegmentExporter::WriteAudio(std::span<const uint8_t> pcm)
{
    if (run.mode == ExportMode::Mp4)
        mp4->EncodeSound(pcm);
    else
        stage.SubmitSound(pcm);
}

bool SegmentExporter::OutputFailed() const { return stage.Failed() || (mp4 && mp4->Failed()); }

// One frame of each camera in camera order. Each segment entered gets its
// second of sound once, when its pictures will be written too: the sound
// camera's, or silence when there is none (or the disk has no sound for it),
// so the sound track always runs in step with the pictures. A lost second
// gets silence, and ends the group where it was met.
SegmentExporter::GroupRead SegmentExporter::ReadCameras(bool intraOnly, int soundCamera, int framePosition,
                                                        ExportOutcome& outcome)
{
    bool anyRead = false;
    for (int camera = 0; camera < playback::kCameras; ++camera) {
        bool delivered = false;
        const bool read = engine.ReadForExport(camera, intraOnly, soundCamera, delivered);
        if (read && engine.ExportPictureUndecoded(camera))
            NoteUndecoded(camera, framePosition, outcome);
        const int position = engine.ExportPosition();
        if (position > soundPosition && position <= run.endPosition + 1) {
            // Seconds passed over without a frame get silence, as their
            // pictures are seconds without picture.
            while (++soundPosition < position)
                WriteAudio(silence);
            WriteAudio(delivered ? engine.ExportSound() : std::span<const uint8_t>(silence));
        }
        if (!read && engine.ReadStoppedAtLoss()) {
            engine.ForgetPictures(camera);
            return camera == 0 ? GroupRead::LostFirst : GroupRead::Lost;
        }
        if (!read && !intraOnly)
            return GroupRead::Ended;
        anyRead = anyRead || read;
    }
    return anyRead ? GroupRead::Whole : GroupRead::NoneRead;
}

void SegmentExporter::NoteUndecoded(int camera, int framePosition, ExportOutcome& outcome)
{
    // One entry per camera and second: a later picture of the same second
    // counts in. The second's entries are the last ones.
    auto entry = outcome.undecoded.rbegin();
    while (entry != outcome.undecoded.rend() && entry->position == framePosition && entry->camera != camera)
        ++entry;
    if (entry != outcome.undecoded.rend() && entry->position == framePosition) {
        ++entry->count;
        return;
    }
    char stamp[64];
    exporter::FormatStamp(Stamp(framePosition), stamp);
    outcome.undecoded.push_back({-1, camera, framePosition, 1, stamp});
}

std::string UndecodedText(const UndecodedPictures& pictures)
{
    return (pictures.record >= 0 ? "record " + std::to_string(pictures.record + 1) + ", " : std::string()) + "camera " +
           std::to_string(pictures.camera + 1) + " at position " + std::to_string(pictures.position) + " (" +
           pictures.stamp + "): " + std::to_string(pictures.count) + (pictures.count == 1 ? " picture" : " pictures");
}

// "position 7 (2006/03/15 23:59:37): sectors ... could not be read"
std::string SegmentExporter::LossText(const disk::SegmentLoss& loss) const
{
    char stamp[64];
    exporter::FormatStamp(Stamp(static_cast<int>(loss.segment)), stamp);
    return "position " + std::to_string(loss.segment) + " (" + stamp + "): " + loss.error;
}

// A lost second within the export: the run fails, or with keepGoing the
// second is written as a second without picture with its time stamped.
bool SegmentExporter::PassLostSecond(ExportOutcome& outcome)
{
    const disk::SegmentLoss& loss = engine.LastLoss();
    if (!keepGoing) {
        outcome.error = "the disk could not be read at " + LossText(loss);
        return false;
    }
    const int position = static_cast<int>(loss.segment);
    outcome.lostSeconds.push_back(LossText(loss));
    engine.ForgetPictures(0);
    if (ComposeFrame(position, kOutputRate))
        outcome.lastPosition = position;
    return true;
}

void SegmentExporter::PassEmptySeconds(int lastWritten, int framePosition, ExportOutcome& outcome)
{
    const int last = std::min(framePosition - 1, run.endPosition + 1);
    if (lastWritten < 0 || lastWritten >= last)
        return;
    engine.ForgetPictures(0);
    for (int position = lastWritten + 1; position <= last; ++position) {
        char stamp[64];
        exporter::FormatStamp(Stamp(position), stamp);
        outcome.emptySeconds.push_back("position " + std::to_string(position) + " (" + stamp + ")");
        if (ComposeFrame(position, kOutputRate))
            outcome.lastPosition = position;
    }
}

void SegmentExporter::ShowProgress(std::chrono::steady_clock::time_point started, int iterations, int position)
{
    int64_t span = run.endPosition - run.beginPosition;
    int64_t done = position - run.beginPosition;
    int64_t remaining = std::max(run.endPosition + 1 - position, 0);
    if (!run.range.pieces.empty()) {
        // An export by time: the seconds of the whole range, this piece's
        // after those done before it.
        started = run.rangeStarted;
        done = run.rangeSecondsDone + std::clamp<int64_t>(done, 0, span + 2);
        span = run.rangeSeconds;
        remaining = std::max<int64_t>(span - done, 0);
    }
    int percent = span > 0 ? static_cast<int>(done * 100 / span) : (done > 0 ? 100 : 0);
    percent = std::clamp(percent, 0, 100);
    if (percent == run.lastPercent)
        return;
    run.lastPercent = percent;
    // Seconds left from the average pace so far: the work per recorded second
    // (within the first second, from the frames read) times the seconds
    // still to read.
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double perSecond =
        done > 0 ? elapsed / double(done) : elapsed / std::max(iterations, 1) * std::max(engine.FrameRate(), 1);
    const long left = std::lround(perSecond * double(remaining));
    progress.SetProgress(percent, std::to_string(percent) + " %", std::to_string(left) + " ");
}

ExportOutcome::End SegmentExporter::ReadLoop(ExportOutcome& outcome)
{
    using End = ExportOutcome::End;
    int soundCamera = engine.ViewMode() == playback::PlaybackEngine::kQuadView ? 0 : engine.SelectedCamera();
    bool audio = engine.HasAudio(soundCamera);
    if (!run.range.pieces.empty()) {
        // An export by time: the sound of the record being read.
        auto lock = engine.LockStream();
        const disk::RecordReader* reader = engine.ExportReader();
        audio = reader && soundCamera >= 0 && soundCamera < playback::kCameras &&
                reader->OpenRecordEntry().audioPresent[static_cast<std::size_t>(soundCamera)] != 0;
    }
    if (!audio)
        soundCamera = -1;
    const auto started = std::chrono::steady_clock::now();
    int framePosition = engine.ExportPosition();
    soundPosition = framePosition - 1;
    outcome.firstPosition = framePosition;
    outcome.lastPosition = framePosition;
    // The first group, and the first after a lost second, starts at the
    // second's intra frames (as a seek does), so each camera keeps its cell.
    bool intraOnly = true;
    bool lostBefore = false;  // the last group met a lost second and wrote it
    for (int iteration = 0; engine.ExportPosition() <= run.endPosition + 1; ++iteration) {
        // The pictures belong to the segment the group starts in: the last
        // camera's read already enters the next one. Standing on a lost
        // second, the group starts in the one after it.
        const int lastWritten = framePosition;
        framePosition = engine.ExportPosition() + (engine.ExportSecondLost() ? 1 : 0);
        // A second the record holds no frame for (an empty segment) was
        // passed over by the last read.
        if (iteration > 0 && !lostBefore)
            PassEmptySeconds(std::max(lastWritten, outcome.lastPosition), framePosition, outcome);
        lostBefore = false;
        if (framePosition > run.endPosition + 1)
            break;
        GroupRead read = ReadCameras(intraOnly, soundCamera, framePosition, outcome);
        intraOnly = false;
        // Past a lost second nothing more could be read: the record ends
        // there. (At the begin mark a frame without picture is written, as
        // it always was.)
        if (read == GroupRead::NoneRead)
            read = iteration > 0 ? GroupRead::Ended : GroupRead::Whole;
        if (read == GroupRead::Ended && iteration > 0 && framePosition > engine.ExportPosition()) {
            ShowProgress(started, iteration + 1, engine.ExportPosition());
            return framePosition > run.endPosition ? End::Completed : End::RecordEnded;
        }
        const bool lost = read == GroupRead::Lost || read == GroupRead::LostFirst;
        // Cameras the group did not reach have no picture in this frame.
        if (read != GroupRead::LostFirst && ComposeFrame(framePosition, Repeats(iteration)))
            outcome.lastPosition = framePosition;
        if (lost && static_cast<int>(engine.LastLoss().segment) <= run.endPosition + 1) {
            if (!PassLostSecond(outcome))
                return End::ReadFailed;
            intraOnly = true;
            lostBefore = true;
        }
        ShowProgress(started, iteration + 1, engine.ExportPosition());
        if (OutputFailed())
            return End::WriteFailed;
        if (read == GroupRead::Ended || (lost && static_cast<int>(engine.LastLoss().segment) > run.endPosition + 1)) {
            // The record's very last frame is never delivered: a read that
            // fails in the last second to export has missed nothing.
            return framePosition > run.endPosition ? End::Completed : End::RecordEnded;
        }
        if (progress.StopRequested())
            return End::Stopped;
    }
    return End::Completed;
}

// The begin mark selected from a clean frame assembly: the master in its
// own reader, the other exports in the engine's export reader.
bool SegmentExporter::SelectBegin()
{
    if (run.mode != ExportMode::Master)
        return engine.SelectForExport(run.beginPosition);
    if (!masterReader || run.beginPosition < 0)
        return false;
    masterReader->ResetFrameAssembly();
    return masterReader->SelectSegment(static_cast<uint32_t>(run.beginPosition));
}

int SegmentExporter::ExportWorker()
{
    engine.exporting = true;
    progress.ClearStop();
    ExportOutcome outcome;
    std::atomic<int64_t> frames{0};
    if (run.mode != ExportMode::Master)
        stage.Start(
            platform::YuvPlanesBytes(width, height),
            [this, &frames](const uint8_t* frame) {
                const bool ok = run.mode == ExportMode::Mpeg  ? mpeg->EncodeVideoPlanes(frame)
                                : run.mode == ExportMode::Mp4 ? mp4->EncodePlanes(frame)
                                                              : avi->WriteVideoPlanes(frame) == 0;
                frames += ok ? 1 : 0;
                return ok;
            },
            [this](std::span<const uint8_t> pcm) { return WriteStretchedSound(pcm); });
    // The master's reader was opened by PrepareMaster; the others read
    // through one the engine opens for them (its own reader never moves).
    const bool opened = run.mode == ExportMode::Master || engine.OpenExportReader();
    TapReads(true);
    // An export by time selects each record's part itself.
    if (!opened || (run.range.pieces.empty() && !SelectBegin())) {
        TapReads(false);
        engine.CloseExportReader();
        outcome.end = ExportOutcome::End::NothingRead;
        if (const auto finishing = FinishOutput(); !finishing)
            outcome.error = finishing.Detail();
        std::error_code ignored;
        std::filesystem::remove(run.path, ignored);
        progress.Hide();
    } else {
        outcome.end = run.mode == ExportMode::Master ? MasterLoop(outcome)
                      : run.range.pieces.empty()     ? ReadLoop(outcome)
                                                     : RangeLoop(outcome);
        TapReads(false);
        const platform::Result<void> finishing = FinishOutput();
        if (outcome.end == ExportOutcome::End::ReadFailed) {
            // A second that could not be read fails the export: no file and
            // no report are left (outcome.error names the position).
            std::error_code ignored;
            std::filesystem::remove(run.path, ignored);
        } else if (!finishing || outcome.end == ExportOutcome::End::WriteFailed) {
            // Closing's reason, or (the output closed well) the one the loop
            // gave for the write it saw fail.
            if (!finishing)
                outcome.error = finishing.Detail();
            outcome.end = ExportOutcome::End::WriteFailed;
        }
        outcome.framesWritten = run.mode == ExportMode::Master ? masterFrames : frames.load();
        progress.Hide();
        if (outcome.end != ExportOutcome::End::NothingRead && outcome.end != ExportOutcome::End::ReadFailed)
            WriteReport(outcome);
        // An export by time ends on its last record: the pictures shown
        // are read again from the played one.
        if (run.mode != ExportMode::Master && !run.range.pieces.empty())
            engine.OpenExportReader();
        if (run.mode != ExportMode::Master)
            engine.ReturnFromExport(run.returnPosition);
        else if (run.returnPosition != engine.Position())
            engine.ShowPosition(run.returnPosition, true, true);
    }
    if (finished)
        finished(outcome);
    engine.exporting = false;
    running = false;
    return 1;
}

}  // namespace exporter
