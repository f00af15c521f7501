#pragma once
// Writes the marked part of the open record into a video file: MPEG-1 (with
// MPEG-1 Layer II sound), AVI (XviD with PCM sound) or MP4 (H.264 with AAC),
// or the master (the recorded frames untouched in Matroska), chosen by the
// file name's extension. For the first three a worker thread re-reads the
// record from the begin mark, decodes the shown cameras, composes each frame
// as the view shows it with the recorder time burnt in, repeats frames up to
// 30 a second, and hands frames and the sound camera's seconds to the
// encoder, which runs on a thread of its own (EncodeStage); MP4's sound is
// encoded on the worker itself, beside libx264 on the stage. The master's
// worker takes the frames as the volume cuts them and writes them itself
// (master_export.cpp). Playback's reader never moves; its pictures are
// shown again as they were.
//
// Threads: the window's thread calls PrepareExport, StartWorker and Wait;
// the worker owns everything else while it runs, and reads and decodes
// through the engine's export reader (a reader of its own over the shared
// Volume, never the engine's) under its stream lock (playback is halted);
// the master reads frames and sound areas through a reader of its own over
// the engine's shared Volume (masterReader, the worker's while it runs),
// taking the stream lock only for the engine's times. `running` and the
// engine's exporting flag are read by the window's thread.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "evidence/export_report.h"
#include "evidence/read_log.h"
#include "export/encode_stage.h"
#include "export/frame_composer.h"
#include "export/time_range_plan.h"
#include "platform/drive_identity.h"
#include "platform/error.h"

class CMPEG1Encoder;

namespace platform::master {
class Writer;
}

namespace platform::mp4 {
class Writer;
}

namespace disk {
class RecordReader;
class RecorderVolume;
struct SegmentLoss;
}  // namespace disk

namespace evidence {
struct ExportReport;
}

namespace playback {
class PlaybackEngine;
}

namespace exporter {

class AviWriter;
class ExportProgress;

enum class ExportMode { Avi = 0, Mpeg = 1, Master = 2, Mp4 = 3 };

// Why PrepareExport refused.
enum class PrepareFailure {
    None,
    NotReady,         // no record open
    BadName,          // the extension is none of "mpg", "avi", "mkv", "mp4"
    BadMarks,         // no begin mark, or the end before it
    BeginPastRecord,  // the begin mark lies past the record's last segment
    CannotOpen,       // the encoder or the file could not be set up
    BadRange,         // a time range the export cannot write (the master, records of other sizes)
    NoDecoding,       // pictures are needed and the decoding library is not loaded
};

// What an export by time wrote of one piece of its plan, in the plan's
// order: a record's positions (or nothing of a gap), the reads and the lost
// seconds it added to the run's lists (indexes into the report's reads and
// ExportOutcome::lostSeconds), and the stream header it decoded with.
struct PartWritten {
    int firstPosition = -1, lastPosition = -1;  // whose pictures were written; -1 for none
    std::size_t firstRead = 0, readCount = 0;
    std::size_t firstLoss = 0, lossCount = 0;
    evidence::StreamHeaderReport streamHeader;
};

// Pictures of a camera read in one second of an export that the decoder
// could not make a picture of (damaged frames): their cells show the
// no-picture colour. record: the record's number from 0 in an export by
// time, -1 otherwise.
struct UndecodedPictures {
    int record = -1;
    int camera = 0;  // from 0
    int position = 0;
    int count = 0;
    std::string stamp;  // the position's time as stamped
};

// "camera 2 at position 7 (2006/03/15 23:59:37): 1 picture", with
// "record 3, " before it in an export by time.
std::string UndecodedText(const UndecodedPictures& pictures);

// How a run ended.
struct ExportOutcome {
    enum class End {
        Completed,    // the end mark was passed
        Stopped,      // Stop or a close request
        RecordEnded,  // the record ended before the end mark
        NothingRead,  // the begin mark could not be selected: no file is left
        WriteFailed,  // the file could not be written or finished; it is incomplete
        ReadFailed,   // a second could not be read from the disk: no file is left; error names the
                      // position, its time and the sectors
    };
    End end = End::Completed;
    int64_t framesWritten = 0;
    int firstPosition = -1;  // the positions whose pictures were written
    int lastPosition = -1;
    std::string error;  // one line for the user when the output failed
    // The lost seconds passed with keep-going, one line each ("position 7
    // (2006/03/15 23:59:37): sectors ... could not be read").
    std::vector<std::string> lostSeconds;
    // Seconds within the export the record holds no frames for (an empty
    // segment), written as seconds without picture with their time stamped,
    // one line each ("position 7 (2006/03/15 23:59:37)"); an export by time
    // names the record first ("record 2, position 7 (...)").
    std::vector<std::string> emptySeconds;
    // Pictures read but not decoded, by camera and second, in reading order.
    std::vector<UndecodedPictures> undecoded;
    std::string reportPath;   // the report written beside the output; empty when none
    std::string reportError;  // why the report could not be written; empty when it was
    // An export by time: one entry per piece written, in the plan's order
    // (fewer when the run ended early). Empty for a single record's.
    std::vector<PartWritten> parts;
};

// Told once per run, on the worker thread, after the file is closed and
// playback is back at its position; the exporting flag is cleared after it
// returns. The program shows the completion message from here.
using ExportFinished = std::function<void(const ExportOutcome&)>;

// "20060315_235930_Quad" or "..._Camera02" for the engine's position and view.
std::string DefaultExportName(const playback::PlaybackEngine& engine);
// The mode for a path's extension ("mpg", "avi", "mkv", "mp4"), compared
// exactly; false for any other.
bool ExportModeFor(const std::string& path, ExportMode& mode);

class SegmentExporter {
public:
    static constexpr int kOutputRate = 30;
    static constexpr std::size_t kSoundBufferBytes = 44100;
    static constexpr int kAviQuality = 6750;

    SegmentExporter(playback::PlaybackEngine& engine, ExportProgress& progress, ExportFinished finished);
    ~SegmentExporter();
    SegmentExporter(const SegmentExporter&) = delete;
    SegmentExporter& operator=(const SegmentExporter&) = delete;

    // Opens the output and shows the progress. False, leaving no file, when
    // the export cannot start (LastPrepareFailure and LastError say why).
    bool PrepareExport(const std::string& path, int returnPosition, int beginPosition, int endPosition,
                       ExportMode mode);
    // An export by time: the plan's pieces one after the other into one
    // output, each record's part as PrepareExport would write its first to
    // last position, each gap as seconds without picture with their time
    // stamped. The engine has the plan's first record open (its times and
    // view are the export's). Not the master: refused (BadRange), as are
    // records of another picture size than the first.
    bool PrepareTimeRange(const std::string& path, int returnPosition, TimeRangePlan plan, ExportMode mode);
    PrepareFailure LastPrepareFailure() const { return prepareFailure; }
    const std::string& LastError() const { return prepareError; }

    // Sets the engine's exporting flag and runs ExportWorker on a new thread.
    void StartWorker();
    bool IsRunning() const { return running.load(); }
    // Waits for the worker (after its completion call returned).
    void Wait();
    // The worker's body; 1.
    int ExportWorker();

    // Sees the position whose pictures each composed frame shows (-1 for a
    // second of a time range that no record holds), and how many output
    // frames it became (tests, the command line).
    void SetFrameTap(std::function<void(int position, int copies)> tap) { frameTap = std::move(tap); }

    // The volume the engine plays from: with it, every run that leaves a file
    // writes its report (OUT.report.json) once the output is closed, hashing
    // the sectors it read as the volume reads them. The master reads its
    // frames from its loaded disk and needs it. Set on the window's thread
    // between runs.
    void SetReportVolume(disk::RecorderVolume* volume) { reportVolume = volume; }
    // A second that cannot be read whole (a lost second) fails the run
    // (End::ReadFailed) unless keepGoing is set: then it is written as a
    // second without picture with its time stamped (the master leaves it
    // out), and the report says the export is incomplete and why. Set on the
    // window's thread between runs.
    void SetKeepGoing(bool on) { keepGoing = on; }
    // The activity event the next runs are made from, named in their
    // report (activity_event); nothing for an export that is not. The
    // caller decides that the marks lie within it. Set on the window's
    // thread between runs.
    void SetReportEvent(std::optional<evidence::ActivityEventReport> event) { reportEvent = std::move(event); }

private:
    struct Run {
        std::string path;
        ExportMode mode = ExportMode::Mpeg;
        int returnPosition = 0;
        int beginPosition = 0;
        int endPosition = 0;
        int formatCode = 0;
        int lastPercent = -1;
        TimeRangePlan range;                // an export by time; no pieces for a single record's
        std::vector<int> pieceFormats;      // the format code of each piece's record (0 for a gap)
        std::vector<uint32_t> lossRecords;  // the record (from 1) of each lost second the read log holds
        // The progress over the whole range: its seconds, those of the
        // pieces done, and when the first began.
        int64_t rangeSeconds = 0;
        int64_t rangeSecondsDone = 0;
        std::chrono::steady_clock::time_point rangeStarted;
    };

    bool ComposeFrame(int framePosition, int copies);
    bool ComposeStamped(int framePosition, const disk::PositionStamp& stamp, int copies);
    // The stamp of a position of the record being read.
    disk::PositionStamp Stamp(int position) const;
    ExportOutcome::End RangeLoop(ExportOutcome& outcome);
    ExportOutcome::End RecordPiece(const TimePiece& piece, ExportOutcome& outcome, PartWritten& part);
    bool GapSeconds(const TimePiece& piece);
    void DescribeRange(const ExportOutcome& outcome, evidence::ExportReport& report);
    void WriteAudio(std::span<const uint8_t> pcm);
    // A picture or a second of sound could not be encoded or written.
    bool OutputFailed() const;
    bool WriteStretchedSound(std::span<const uint8_t> pcm);
    ExportOutcome::End ReadLoop(ExportOutcome& outcome);
    // How a group of one frame per camera was read: whole, the record ended,
    // a lost second met after the first camera or at it, nothing at all.
    enum class GroupRead { Whole, Ended, Lost, LostFirst, NoneRead };
    // framePosition: the position the group's pictures belong to; a picture
    // read but not decoded counts in outcome.undecoded there.
    GroupRead ReadCameras(bool intraOnly, int soundCamera, int framePosition, ExportOutcome& outcome);
    void NoteUndecoded(int camera, int framePosition, ExportOutcome& outcome);
    bool PassLostSecond(ExportOutcome& outcome);
    // The seconds after the one last written up to framePosition (not
    // included) that the reader passed over without a frame: each written
    // without picture with its time stamped.
    void PassEmptySeconds(int lastWritten, int framePosition, ExportOutcome& outcome);
    std::string LossText(const disk::SegmentLoss& loss) const;
    int Repeats(int iteration) const;
    void ShowProgress(std::chrono::steady_clock::time_point started, int iterations, int position);
    bool PrepareMaster(const std::string& path, int beginPosition, int endPosition);
    ExportOutcome::End MasterLoop(ExportOutcome& outcome);
    bool MasterSecond(int position);
    bool SelectBegin();
    // Closes the output; why not, when it could not be finished.
    platform::Result<void> FinishOutput();
    void TapReads(bool on);
    void WriteReport(ExportOutcome& outcome);
    void DescribeMaster(evidence::ExportReport& report) const;
    void AddLostSeconds(evidence::ExportReport& report, const ExportOutcome& outcome) const;
    void Refuse(PrepareFailure failure, std::string error);

    playback::PlaybackEngine& engine;
    ExportProgress& progress;
    ExportFinished finished;
    std::unique_ptr<CMPEG1Encoder> mpeg;
    std::unique_ptr<AviWriter> avi;
    std::unique_ptr<platform::mp4::Writer> mp4;
    std::unique_ptr<platform::master::Writer> master;
    // The master's: the tracks' cameras (from 0), a frame as cut, a
    // segment's audio area as read from the disk (beside the cursor, which
    // keeps its place), a sound block, its samples, the areas read with
    // their hashes and the positions whose area could not be read. Made in
    // PrepareExport.
    std::vector<int> masterVideo;
    std::vector<int> masterSound;
    std::vector<uint8_t> masterFrame;
    std::vector<uint8_t> masterArea;
    std::vector<uint8_t> masterBlock;
    std::vector<int16_t> masterSamples;
    std::vector<evidence::SegmentRead> soundReads;
    std::vector<int> soundUnread;  // positions whose sound area could not be read
    evidence::Digest soundSha{evidence::DigestKind::Sha256};
    bool soundHashFailed = false;
    int64_t masterFrames = 0;
    // The master's reader over the report volume's shared Volume: made once,
    // opened on the played record by PrepareMaster; playback's cursor never
    // moves for the master.
    std::unique_ptr<disk::RecordReader> masterReader;
    Run run;
    FrameComposer composer;
    EncodeStage stage;
    std::vector<int16_t> stretched;  // kSoundBufferBytes
    int32_t width = 0;
    int32_t height = 0;
    int soundPosition = -1;  // the last position whose second of sound was written
    std::vector<uint8_t> silence;
    std::function<void(int, int)> frameTap;
    disk::RecorderVolume* reportVolume = nullptr;
    bool keepGoing = false;
    std::optional<evidence::ActivityEventReport> reportEvent;
    evidence::ReadLog readLog;
    platform::DriveIdentity reportSource;  // the volume's disk as opened, when the run was prepared
    PrepareFailure prepareFailure = PrepareFailure::None;
    std::string prepareError;
    std::atomic<bool> running{false};
    std::thread worker;
};

}  // namespace exporter
