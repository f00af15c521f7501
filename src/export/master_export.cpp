// The master export: the marked segment's frames exactly as the volume cuts
// them (nothing decoded), one track per camera of the view, with each of
// those cameras' sound and the recorder's time as text, into Matroska.
//
// Timestamps come from positions: the frames read in one round of the
// cameras belong to the position the round starts at (as in the other
// exports), and the k-th round within a position is frame k of that second,
// shown at (position - begin) + k / frameRate seconds. A second the recorder
// delivered fewer frames for, or none (a segment that could not be read),
// leaves a gap: nothing is repeated or invented. Should a damaged second hold
// more rounds than its frame rate, the extra frames follow on (timestamps
// only ever rise) rather than being dropped.
#include <algorithm>
#include <array>
#include <memory>

#include "disk/recorder_volume.h"
#include "evidence/export_report.h"
#include "export/export_progress.h"
#include "export/picture_composer.h"
#include "export/segment_exporter.h"
#include "platform/master_writer.h"
#include "playback/playback_engine.h"

namespace exporter {

namespace {

bool IsIntraVop(std::span<const uint8_t> f)
{
    return f.size() >= 5 && f[0] == 0 && f[1] == 0 && f[2] == 1 && f[3] == 0xB6 && (f[4] & 0xC0) == 0;
}

std::string CameraList(const std::vector<int>& cameras)
{
    std::string text;
    for (const int camera : cameras)
        text += (text.empty() ? "" : " ") + std::to_string(camera + 1);
    return text;
}

}  // namespace

bool SegmentExporter::PrepareMaster(const std::string& path, int beginPosition, int endPosition)
{
    if (!reportVolume || !reportVolume->IsLoaded() || reportVolume->OpenRecordNumber() < 0) {
        Refuse(PrepareFailure::CannotOpen, "the master needs the disk the record is played from");
        return false;
    }
    const bool quad = engine.ViewMode() == playback::PlaybackEngine::kQuadView;
    masterVideo.clear();
    masterSound.clear();
    for (int camera = 0; camera < playback::kCameras; ++camera) {
        if (!quad && camera != engine.SelectedCamera())
            continue;
        if (engine.HasVideo(camera))
            masterVideo.push_back(camera);
        if (engine.HasAudio(camera) && reportVolume->HasAudioArea())
            masterSound.push_back(camera);
    }
    if (masterVideo.empty()) {
        Refuse(PrepareFailure::CannotOpen, "no camera of the view has video: there are no frames for a master");
        return false;
    }
    const uint32_t record = static_cast<uint32_t>(reportVolume->OpenRecordNumber());
    if (!masterReader)
        masterReader = std::make_unique<disk::RecordReader>();
    if (masterReader->Shared() != reportVolume->Shared())
        masterReader->AttachVolume(reportVolume->Shared());
    if (!masterReader->OpenRecord(record)) {
        Refuse(PrepareFailure::CannotOpen, "the record's index could not be read for the master");
        return false;
    }
    platform::master::Layout layout;
    layout.width = engine.PictureWidth();
    layout.height = engine.PictureHeight();
    layout.frameRate = engine.FrameRate();
    for (const int camera : masterVideo)
        layout.videoCameras.push_back(camera + 1);
    for (const int camera : masterSound)
        layout.soundCameras.push_back(camera + 1);
    layout.tags = {
        {"TITLE",
         "Record " + reportVolume->Shared()->RecordingName(record) + " from " + engine.StampAt(beginPosition).Text()},
        {"RECORD_BEGIN_TIME", reportVolume->StampAt(0).Text()},
        {"DATE_RECORDED", engine.StampAt(beginPosition).Text()},
        {"CAMERAS", CameraList(masterVideo)},
        {"SOUND_CAMERAS", CameraList(masterSound)},
        {"QUILLON_VERSION", evidence::QuillonVersion()},
    };
    master = std::make_unique<platform::master::Writer>();
    if (!master->Open(path, layout)) {
        Refuse(PrepareFailure::CannotOpen, master->LastError());
        master.reset();
        return false;
    }
    // Allocated once: the largest frame assembly can join, an audio area, a
    // sound block, its samples, an entry for each second's sound area.
    masterFrame.resize(disk::RecorderVolume::kMaxFrameBytes);
    masterArea.resize(disk::RecorderVolume::kAudioAreaBytes);
    soundReads.clear();
    soundUnread.clear();
    soundHashFailed = !soundSha.IsValid();
    // A second's entry for each position to be read: up to the one after the
    // end mark, never past the record's last segment (an end mark may lie past it).
    const int64_t last = std::min<int64_t>(int64_t(endPosition) + 1, int64_t(reportVolume->SegmentCount()) - 1);
    const std::size_t seconds =
        masterSound.empty() ? 0 : static_cast<std::size_t>(std::max<int64_t>(last - beginPosition, 0)) + 2;
    soundReads.reserve(seconds);
    soundUnread.reserve(seconds);
    masterBlock.resize(disk::RecorderVolume::kAudioBlockBytes);
    masterSamples.resize(disk::RecorderVolume::kAudioSamples);
    return true;
}

// A position's cue and each sound camera's second, when its first round of
// frames is read. A sound block that cannot be read is left out (a gap).
bool SegmentExporter::MasterSecond(int position)
{
    const int64_t second = position - run.beginPosition;
    char text[64];
    exporter::FormatStamp(engine.StampAt(position), text);
    if (!master->WriteCue(text, second))
        return false;
    if (masterSound.empty())
        return true;
    // The segment's audio area, read once for all the sound tracks from the
    // reader's volume (the cursor keeps its place) and hashed as read.
    disk::SectorRange area;
    if (!masterReader->AudioAreaSectors(static_cast<uint32_t>(position), area) ||
        masterReader->Shared()->ReadDiskSectors(area.first, area.count, masterArea) == 0) {
        soundUnread.push_back(position);
        return true;
    }
    evidence::SegmentRead read{static_cast<uint32_t>(position), area.first, area.count, {}};
    soundSha.Update(masterArea);
    std::array<uint8_t, evidence::Digest::kMaxBytes> digest{};
    if (soundSha.Finish(digest) != read.sha256.size())
        soundHashFailed = true;
    std::copy_n(digest.begin(), read.sha256.size(), read.sha256.begin());
    soundReads.push_back(read);
    for (std::size_t track = 0; track < masterSound.size(); ++track) {
        uint32_t bytes = 0;
        if (!disk::RecorderVolume::AudioBlockFromArea(masterArea, masterSound[track], masterBlock) ||
            !disk::RecorderVolume::DecodeAudioBlock(masterBlock, masterSamples, bytes))
            continue;
        const auto samples =
            std::span<const int16_t>(masterSamples).first(playback::PlaybackEngine::kSecondOfSound / 2);
        if (!master->WriteSound(static_cast<int>(track), samples, second * platform::master::Writer::kSoundRate))
            return false;
    }
    return true;
}

ExportOutcome::End SegmentExporter::MasterLoop(ExportOutcome& outcome)
{
    disk::RecordReader& volume = *masterReader;
    const int rate = engine.FrameRate();
    const auto started = std::chrono::steady_clock::now();
    std::array<int, playback::kCameras> trackOf{};
    trackOf.fill(-1);
    for (std::size_t t = 0; t < masterVideo.size(); ++t)
        trackOf[masterVideo[t]] = static_cast<int>(t);
    std::vector<int64_t> nextIndex(masterVideo.size(), 0);
    masterFrames = 0;
    outcome.firstPosition = static_cast<int>(volume.CurrentSegment());
    int roundPosition = -1;
    int64_t round = 0;
    bool afterLoss = false;
    for (int iteration = 0;; ++iteration) {
        // The reader is this thread's; the lock is for the engine's times.
        auto lock = engine.LockStream();
        // Standing on a lost second, the round starts in the one after it.
        const int position = static_cast<int>(volume.CurrentSegment()) + (volume.CurrentSegmentLost() ? 1 : 0);
        const bool intraOnly = iteration == 0 || afterLoss;
        afterLoss = false;
        if (position > run.endPosition + 1)
            return ExportOutcome::End::Completed;
        if (position != roundPosition) {
            roundPosition = position;
            round = 0;
        }
        for (int camera = 0; camera < playback::kCameras; ++camera) {
            uint32_t length = 0;
            // The first round starts at each camera's intra frame, as a seek
            // does, and so does the first after a lost second.
            if (!volume.NextFrame(masterFrame, length, intraOnly, -1, {}, nullptr)) {
                // A lost second: the run fails, or its frames are missing and
                // the next second is read from its intra frames.
                if (volume.FrameStoppedAtLoss()) {
                    if (static_cast<int>(volume.LastLoss().segment) > run.endPosition + 1)
                        return ExportOutcome::End::Completed;
                    if (!keepGoing) {
                        outcome.error = "the disk could not be read at " + LossText(volume.LastLoss());
                        return ExportOutcome::End::ReadFailed;
                    }
                    outcome.lostSeconds.push_back(LossText(volume.LastLoss()));
                    afterLoss = true;
                    break;
                }
                // Not one frame: no file is left (Close removes it), as when
                // the begin mark cannot be selected.
                if (!master->HasBegun())
                    return ExportOutcome::End::NothingRead;
                // The record's very last frame is never delivered.
                return position > run.endPosition ? ExportOutcome::End::Completed : ExportOutcome::End::RecordEnded;
            }
            // The stream header is captured with the first frame cut.
            if (!master->HasBegun() && !master->Begin(volume.StreamHeader()))
                return ExportOutcome::End::WriteFailed;
            if (round == 0 && camera == 0 && !MasterSecond(position))
                return ExportOutcome::End::WriteFailed;
            const int track = trackOf[camera];
            // A damaged stream can cut a piece of no bytes: nothing to copy.
            if (track < 0 || length == 0 || length > masterFrame.size())
                continue;
            const auto frame = std::span<const uint8_t>(masterFrame).first(length);
            const int64_t index =
                std::max<int64_t>(int64_t(position - run.beginPosition) * rate + round, nextIndex[track]);
            if (!master->WriteFrame(track, frame, index, IsIntraVop(frame)))
                return ExportOutcome::End::WriteFailed;
            nextIndex[track] = index + 1;
            ++masterFrames;
        }
        outcome.lastPosition = position;
        ++round;
        const int reached = static_cast<int>(volume.CurrentSegment());
        lock.unlock();
        ShowProgress(started, iteration + 1, reached);
        if (progress.StopRequested())
            return ExportOutcome::End::Stopped;
    }
}

}  // namespace exporter
