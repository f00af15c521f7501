// The export's report: what the run read, did and wrote, put together once
// the output is closed. Runs on the worker thread with playback halted.
#include <cmath>
#include <filesystem>

#include "disk/recorder_volume.h"
#include "evidence/digest.h"
#include "evidence/export_report.h"
#include "export/avi_writer.h"
#include "export/segment_exporter.h"
#include "platform/drive_table.h"
#include "playback/playback_engine.h"

namespace exporter {

namespace {

const char* EndWord(ExportOutcome::End end)
{
    using End = ExportOutcome::End;
    switch (end) {
    case End::Completed: return "completed";
    case End::Stopped: return "stopped";
    case End::RecordEnded: return "record-ended";
    case End::NothingRead: return "nothing-read";
    case End::WriteFailed: return "write-failed";
    }
    return "unknown";
}

std::string Reason(const ExportOutcome& outcome)
{
    using End = ExportOutcome::End;
    switch (outcome.end) {
    case End::Completed: return {};
    case End::Stopped: return "stopped by the user before the end mark";
    case End::RecordEnded: return "the record ended (or could not be read further) before the end mark";
    case End::NothingRead: return "nothing could be read at the begin mark; no output was left";
    case End::WriteFailed:
        return "the output could not be written whole" + (outcome.error.empty() ? "" : ": " + outcome.error);
    }
    return "unknown";
}

std::string RepetitionText(int formatCode, int32_t frameRate)
{
    const std::string recorded = "The record holds " + std::to_string(frameRate) + " pictures a second per camera; ";
    switch (formatCode) {
    case 1: return recorded + "each picture is shown twice to make 30 a second. No picture is invented or blended.";
    case 2:
        return recorded + "of every five pictures the first is shown twice to make 30 a second. No picture is "
                          "invented or blended.";
    case 3:
        return recorded + "of every two pictures the first is shown four times and the second once to make 30 a "
                          "second. No picture is invented or blended.";
    default: return recorded + "each picture is shown once, at 30 a second.";
    }
}

}  // namespace

// The table drive numbers name (the disk dialog's snapshot when one was
// taken), so that the report names the disk that was loaded.
std::string ReportSourcePath(int driveNumber) { return platform::DrivePath(driveNumber); }

void SegmentExporter::TapReads(bool on)
{
    if (!reportVolume)
        return;
    auto lock = engine.LockStream();
    if (on) {
        readLog.Reset(static_cast<std::size_t>(run.endPosition - run.beginPosition) + 4);
        reportVolume->SetReadTap(&readLog);
    } else {
        reportVolume->SetReadTap(nullptr);
        readLog.Finish();
    }
}

void SegmentExporter::WriteReport(ExportOutcome& outcome)
{
    if (!reportVolume)
        return;
    evidence::ExportReport report;
    report.quillonVersion = evidence::QuillonVersion();
    report.createdUtc = evidence::UtcNow();
    report.complete = outcome.end == ExportOutcome::End::Completed;
    report.end = EndWord(outcome.end);
    report.reason = Reason(outcome);
    if (!readLog.Valid()) {
        report.complete = false;
        report.reason = "libcrypto failed while hashing the sectors read; the reads' hashes are not to be trusted";
    }

    const int32_t openRecord = reportVolume->OpenRecordNumber();
    const uint32_t record = openRecord >= 0 ? static_cast<uint32_t>(openRecord) : 0;
    {
        auto lock = engine.LockStream();
        evidence::DescribeSource(*reportVolume, reportSourcePath, record, report.source);
    }
    evidence::DescribeRecord(*reportVolume, record, report.record);

    const bool quad = engine.ViewMode() == playback::PlaybackEngine::kQuadView;
    const int soundCamera = quad ? 0 : engine.SelectedCamera();
    report.segment.beginMark = run.beginPosition;
    report.segment.endMark = run.endPosition;
    report.segment.beginTime = disk::FormatRecordTime(engine.TimeAt(run.beginPosition));
    report.segment.endTime = disk::FormatRecordTime(engine.TimeAt(run.endPosition));
    report.segment.view = quad ? "quad" : std::to_string(engine.SelectedCamera() + 1);
    report.segment.soundCamera = engine.HasAudio(soundCamera) ? soundCamera + 1 : 0;
    report.segment.firstPosition = outcome.firstPosition;
    report.segment.lastPosition = outcome.lastPosition;
    report.reads.assign(readLog.Reads().begin(), readLog.Reads().end());

    const bool mpeg = run.mode == ExportMode::Mpeg;
    auto& p = report.processing;
    p.push_back("The recorder's MPEG-4 pictures of " + std::string(quad ? "all four cameras" : "one camera") +
                " were decoded and " + (quad ? "placed in the four quarters of" : "scaled to fill") + " a picture of " +
                std::to_string(width) + " x " + std::to_string(height) + " pixels, as the player's window shows them.");
    p.push_back(RepetitionText(run.formatCode, engine.FrameRate()));
    p.push_back("Positions " + std::to_string(run.beginPosition) + " to " + std::to_string(run.endPosition + 1) +
                " were exported: the end mark's second and the one after it are included.");
    p.push_back("The time burnt into each picture is the recorder's clock as recorded with the picture; its "
                "offset from true time is unknown.");
    if (report.segment.soundCamera == 0)
        p.push_back("Sound: none was recorded for the view's camera; the sound track is silence.");
    else if (mpeg)
        p.push_back("Sound of camera " + std::to_string(report.segment.soundCamera) +
                    ": the recorder's IMA ADPCM at 8,000 samples a second decoded to 16-bit PCM; each second "
                    "stretched to 11,200 samples by inserting averaged samples; resampled to 32,000 a second by "
                    "libswresample; encoded as MPEG-1 Layer II mono at 96 kbit/s.");
    else
        p.push_back("Sound of camera " + std::to_string(report.segment.soundCamera) +
                    ": the recorder's IMA ADPCM at 8,000 samples a second decoded to 16-bit PCM mono, stored "
                    "unchanged.");
    if (mpeg)
        p.push_back("Pictures encoded as MPEG-1 video (libavcodec mpeg1video) at 30 a second, a key picture every "
                    "15, quantiser 2 to 31 under a 9 Mbit/s cap, in an MPEG-1 system stream. The encoding is lossy.");
    else
        p.push_back("Pictures encoded as XviD MPEG-4 (libavcodec) at 30 a second with a fixed quantiser of " +
                    std::to_string(AviWriter::QuantiserFor(kAviQuality)) +
                    ", in an AVI (OpenDML) file. The encoding is lossy.");

    std::error_code ec;
    if (std::filesystem::exists(run.path, ec)) {
        report.output.present = true;
        report.output.file = std::filesystem::path(run.path).filename().string();
        report.output.format = mpeg ? "MPEG-1 system stream (.mpg)" : "AVI, XviD video and PCM sound (.avi)";
        report.output.frames = outcome.framesWritten;
        report.output.seconds = static_cast<double>(outcome.framesWritten) / kOutputRate;
        std::string error;
        if (!evidence::HashFile(run.path, report.output.sha256, report.output.md5, report.output.sizeBytes, error)) {
            outcome.reportError = error;
            return;
        }
    }
    if (evidence::WriteReport(report, run.path, outcome.reportError))
        outcome.reportPath = run.path + evidence::kReportSuffix;
}

}  // namespace exporter
