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
#include "platform/mp4_writer.h"
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
    case End::ReadFailed: return "read-failed";
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
    case End::ReadFailed: return outcome.error;
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

const char* OutputFormat(ExportMode mode)
{
    switch (mode) {
    case ExportMode::Mpeg: return "MPEG-1 system stream (.mpg)";
    case ExportMode::Avi: return "AVI, XviD video and PCM sound (.avi)";
    case ExportMode::Mp4: return "MP4, H.264 video and AAC sound (.mp4)";
    case ExportMode::Master:
        return "Matroska master: the recorder's MPEG-4 frames, PCM sound, recorder time as text (.mkv)";
    }
    return "unknown";
}

// An export by time's pieces in words.
std::string RangeText(const TimeRangePlan& plan)
{
    std::string text = "The seconds from " + disk::FormatClockTime(plan.from) + " to " +
                       disk::FormatClockTime(plan.to) +
                       " on the recorder's clock (both included) were exported into this one file in time order: ";
    for (std::size_t i = 0; i < plan.pieces.size(); ++i) {
        const TimePiece& piece = plan.pieces[i];
        text += i == 0 ? "" : "; ";
        if (piece.gap)
            text +=
                "the seconds " + disk::FormatClockTime(piece.from) + " to " + disk::FormatClockTime(piece.to) +
                ", which no listed record holds, as pictures without picture (the no-picture colour) with their time "
                "stamped and silence";
        else
            text += "record " + std::to_string(piece.record + 1) + ", positions " +
                    std::to_string(piece.firstPosition) + " to " + std::to_string(piece.lastPosition) + " (" +
                    disk::FormatClockTime(piece.from) + " to " + disk::FormatClockTime(piece.to) + ")";
    }
    return text + ". Each record's part is written as an export of that record's positions writes them.";
}

}  // namespace

// An export by time: each piece of the plan, and what was written of it.
// Here the top-level segment names the range and the first record's part.
void SegmentExporter::DescribeRange(const ExportOutcome& outcome, evidence::ExportReport& report)
{
    evidence::TimeRangeReport range;
    range.fromTime = disk::FormatRecordTime(disk::ToRecordTime(run.range.from));
    range.toTime = disk::FormatRecordTime(disk::ToRecordTime(run.range.to));
    bool headerSet = false;
    for (std::size_t i = 0; i < run.range.pieces.size(); ++i) {
        const TimePiece& piece = run.range.pieces[i];
        evidence::RangePartReport part;
        part.gap = piece.gap;
        part.fromTime = disk::FormatRecordTime(disk::ToRecordTime(piece.from));
        part.toTime = disk::FormatRecordTime(disk::ToRecordTime(piece.to));
        part.seconds = piece.Seconds();
        part.written = i < outcome.parts.size();
        if (!piece.gap) {
            evidence::DescribeRecord(*reportVolume, piece.record, part.record);
            part.firstPosition = piece.firstPosition;
            part.lastPosition = piece.lastPosition;
            evidence::SourceReport source;
            {
                auto lock = engine.LockStream();
                evidence::DescribeSource(*reportVolume, reportSource.path, piece.record, source);
            }
            part.recordIndex = source.recordIndex;
            if (part.written) {
                const PartWritten& written = outcome.parts[i];
                part.writtenFirst = written.firstPosition;
                part.writtenLast = written.lastPosition;
                part.firstRead = written.firstRead;
                part.readCount = written.readCount;
                part.streamHeader = written.streamHeader;
                if (part.streamHeader.captured && !part.streamHeader.matches) {
                    report.complete = false;
                    report.reason = "the stream header's sectors of record " + std::to_string(piece.record + 1) +
                                    ", read again, do not hold the bytes the export used";
                }
                if (!headerSet) {
                    report.streamHeader = part.streamHeader;
                    headerSet = true;
                }
            }
        }
        range.parts.push_back(std::move(part));
    }
    report.segment.beginTime = range.fromTime;
    report.segment.endTime = range.toTime;
    report.timeRange = std::move(range);
}

// The master's processing in words: what was copied, what was decoded.
void SegmentExporter::DescribeMaster(evidence::ExportReport& report) const
{
    auto& p = report.processing;
    std::string cameras;
    for (const int camera : masterVideo)
        cameras += (cameras.empty() ? "" : ", ") + std::to_string(camera + 1);
    p.push_back("Master: the recorder's MPEG-4 Part 2 frames of camera(s) " + cameras +
                ", byte for byte as cut from the disk, nothing decoded or re-encoded; one Matroska video track per "
                "camera, whose codec private data is the recorder's stream header (VOS, VO and VOL) as captured "
                "before the record's first intra frame.");
    p.push_back("Each camera's frames are timed at the record's " + std::to_string(engine.FrameRate()) +
                " a second from the begin mark: the k-th frame read within a position is shown k / " +
                std::to_string(engine.FrameRate()) +
                " s after that position's second begins. Frames the recorder "
                "did not deliver (the record's last frame, a segment that could not be read) are missing, not "
                "repeated or invented.");
    p.push_back("Positions " + std::to_string(run.beginPosition) + " to " + std::to_string(run.endPosition + 1) +
                " were exported: the end mark's second and the one after it are included.");
    if (masterSound.empty())
        p.push_back("Sound: none was recorded for the view's cameras; the master has no sound track.");
    for (const int camera : masterSound)
        p.push_back("Sound of camera " + std::to_string(camera + 1) +
                    ": the recorder's IMA ADPCM decoded to 16-bit PCM mono at 8,000 samples a second, one second "
                    "(8,000 samples) per position, stored unchanged (lossless) in a track of its own; a second "
                    "whose sound could not be read is missing. Each segment's sound area (its first 32 sectors) "
                    "was read once from the same opened disk, apart from the frames, and is listed with its hash "
                    "under the sound reads.");
    if (!soundUnread.empty()) {
        std::string positions;
        for (const int position : soundUnread)
            positions += (positions.empty() ? "" : ", ") + std::to_string(position);
        p.push_back("The sound areas of positions " + positions +
                    " could not be read (or their segments are shorter than one): those seconds have no sound.");
    }
    p.push_back("A text track holds the recorder's clock for each exported second, as recorded; its offset from "
                "true time is unknown. Tags: the record's begin time, the segment's begin time, the camera numbers "
                "and this program's version.");
}

// The seconds of the exported span that could not be read whole: each is
// listed, and the export is not complete.
void SegmentExporter::AddLostSeconds(evidence::ExportReport& report, const ExportOutcome& outcome) const
{
    std::string list;
    const bool range = !run.range.pieces.empty();
    const std::span<const disk::SegmentLoss> losses = readLog.Losses();
    for (std::size_t i = 0; i < losses.size(); ++i) {
        const disk::SegmentLoss& loss = losses[i];
        const int position = static_cast<int>(loss.segment);
        // An export by time read only its parts' seconds, each record's
        // named in the outcome's lines and in the report.
        if (!range && (position < run.beginPosition || position > run.endPosition + 1))
            continue;
        report.lost.push_back({range && i < run.lossRecords.size() ? run.lossRecords[i] : 0, loss});
        if (!range)
            list += (list.empty() ? "" : "; ") + LossText(loss);
    }
    if (range)
        for (const std::string& line : outcome.lostSeconds)
            list += (list.empty() ? "" : "; ") + line;
    if (report.lost.empty())
        return;
    const std::string what = std::to_string(report.lost.size()) + (report.lost.size() == 1 ? " second" : " seconds") +
                             " could not be read from the disk, " +
                             (run.mode == ExportMode::Master ? "left out of the master" : "written without picture") +
                             ": " + list;
    report.complete = false;
    report.reason = report.reason.empty() ? what : report.reason + "; " + what;
}

void SegmentExporter::TapReads(bool on)
{
    if (!reportVolume)
        return;
    // The master reads through its own reader; the others through the
    // engine's export reader, under its stream lock.
    auto lock = engine.LockStream();
    disk::RecordReader* reader = run.mode == ExportMode::Master ? masterReader.get() : engine.ExportReader();
    if (on) {
        std::size_t expected = static_cast<std::size_t>(run.endPosition - run.beginPosition) + 4;
        for (const TimePiece& piece : run.range.pieces)
            expected += piece.gap ? 0 : static_cast<std::size_t>(piece.Seconds()) + 4;
        readLog.Reset(expected);
        if (reader)
            reader->SetReadTap(&readLog);
    } else {
        if (reader)
            reader->SetReadTap(nullptr);
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
    if (!readLog.Valid() || (run.mode == ExportMode::Master && soundHashFailed)) {
        report.complete = false;
        report.reason = "libcrypto failed while hashing the sectors read; the reads' hashes are not to be trusted";
    }

    const int32_t openRecord = reportVolume->OpenRecordNumber();
    const uint32_t record = openRecord >= 0 ? static_cast<uint32_t>(openRecord) : 0;
    {
        auto lock = engine.LockStream();
        evidence::DescribeSource(*reportVolume, reportSource.path, record, report.source);
        report.source.identity = reportSource;
        const disk::RecordReader* exportHeader = engine.ExportHeaderReader();
        const disk::RecordReader& reader = run.mode == ExportMode::Master && masterReader ? *masterReader
                                           : exportHeader                                 ? *exportHeader
                                                                                          : *reportVolume;
        evidence::DescribeStreamHeader(reader, report.streamHeader);
    }
    if (report.streamHeader.captured && !report.streamHeader.matches) {
        report.complete = false;
        report.reason = "the stream header's sectors, read again, do not hold the bytes the export used";
    }
    evidence::DescribeRecord(*reportVolume, record, report.record);
    // The marks; an export by time's are its first record part's first and
    // last positions (that record is the one open).
    int beginMark = run.beginPosition, endMark = run.endPosition;
    for (const TimePiece& piece : run.range.pieces)
        if (!piece.gap) {
            beginMark = static_cast<int>(piece.firstPosition);
            endMark = static_cast<int>(piece.lastPosition);
            break;
        }
    // The seconds the export reads: the marks' and the one after the end
    // mark (a recording's end cuts the span).
    if (reportVolume->IsLoaded())
        evidence::DescribeRecovered(*reportVolume->Shared(), record, beginMark, endMark + 1, report.record);

    const bool quad = engine.ViewMode() == playback::PlaybackEngine::kQuadView;
    const int soundCamera = quad ? 0 : engine.SelectedCamera();
    report.segment.beginMark = beginMark;
    report.segment.endMark = endMark;
    report.segment.beginTime = engine.StampAt(beginMark).Text();
    report.segment.endTime = engine.StampAt(endMark).Text();
    report.segment.view = quad ? "quad" : std::to_string(engine.SelectedCamera() + 1);
    report.segment.soundCamera = engine.HasAudio(soundCamera) ? soundCamera + 1 : 0;
    report.segment.firstPosition = outcome.firstPosition;
    report.segment.lastPosition = outcome.lastPosition;
    report.activityEvent = reportEvent;
    report.reads.assign(readLog.Reads().begin(), readLog.Reads().end());
    AddLostSeconds(report, outcome);
    if (!run.range.pieces.empty())
        DescribeRange(outcome, report);
    if (run.mode == ExportMode::Master)
        report.soundReads = soundReads;

    const bool mpeg = run.mode == ExportMode::Mpeg;
    auto& p = report.processing;
    if (run.mode == ExportMode::Master) {
        DescribeMaster(report);
    } else {
        p.push_back("The recorder's MPEG-4 pictures of " + std::string(quad ? "all four cameras" : "one camera") +
                    " were decoded and " + (quad ? "placed in the four quarters of" : "scaled to fill") +
                    " a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels, as the player's window shows them.");
        p.push_back(RepetitionText(run.formatCode, engine.FrameRate()));
        if (run.range.pieces.empty())
            p.push_back("Positions " + std::to_string(run.beginPosition) + " to " +
                        std::to_string(run.endPosition + 1) +
                        " were exported: the end mark's second and the one after it are included.");
        else
            p.push_back(RangeText(run.range));
        if (!outcome.emptySeconds.empty()) {
            std::string list;
            for (const std::string& second : outcome.emptySeconds)
                list += (list.empty() ? "" : "; ") + second;
            p.push_back("The disk holds no frames for these seconds (the recorder stored nothing for them): " + list +
                        ". Each is written as a second without picture (the no-picture colour) with its time "
                        "stamped, and silence.");
        }
        if (!outcome.undecoded.empty()) {
            std::string list;
            for (const UndecodedPictures& pictures : outcome.undecoded)
                list += (list.empty() ? "" : "; ") + UndecodedText(pictures);
            p.push_back("These pictures were read from the disk but could not be decoded (damaged frames): " + list +
                        ". Their cells show the no-picture colour in those frames.");
        }
        p.push_back("The time burnt into each picture is the recorder's clock as recorded with the picture; its "
                    "offset from true time is unknown.");
        if (report.segment.soundCamera == 0)
            p.push_back("Sound: none was recorded for the view's camera; the sound track is silence.");
        else if (run.mode == ExportMode::Mp4)
            p.push_back("Sound of camera " + std::to_string(report.segment.soundCamera) +
                        ": the recorder's IMA ADPCM at 8,000 samples a second decoded to 16-bit PCM; resampled to "
                        "48,000 a second by libswresample; encoded as AAC-LC mono (libavcodec aac) at 96 kbit/s.");
        else if (mpeg)
            p.push_back("Sound of camera " + std::to_string(report.segment.soundCamera) +
                        ": the recorder's IMA ADPCM at 8,000 samples a second decoded to 16-bit PCM; each second "
                        "stretched to 11,200 samples by inserting averaged samples; resampled to 32,000 a second by "
                        "libswresample; encoded as MPEG-1 Layer II mono at 96 kbit/s.");
        else
            p.push_back("Sound of camera " + std::to_string(report.segment.soundCamera) +
                        ": the recorder's IMA ADPCM at 8,000 samples a second decoded to 16-bit PCM mono, stored "
                        "unchanged.");
        if (run.mode == ExportMode::Mp4)
            p.push_back("Pictures encoded as H.264 High profile (libx264, preset " +
                        std::string(platform::mp4::Writer::kPreset) + ", constant rate factor " +
                        std::to_string(platform::mp4::Writer::kQuality) +
                        ", 4:2:0) at 30 a second, in an MP4 file with its index first. The encoding is lossy. The "
                        "file's creation time is the recorder's clock at the begin mark.");
        else if (mpeg)
            p.push_back(
                "Pictures encoded as MPEG-1 video (libavcodec mpeg1video) at 30 a second, a key picture every "
                "15, quantiser 2 to 31 under a 9 Mbit/s cap, in an MPEG-1 system stream. The encoding is lossy.");
        else
            p.push_back("Pictures encoded as XviD MPEG-4 (libavcodec) at 30 a second with a fixed quantiser of " +
                        std::to_string(AviWriter::QuantiserFor(kAviQuality)) +
                        ", in an AVI (OpenDML) file. The encoding is lossy.");
    }

    std::error_code ec;
    if (std::filesystem::exists(run.path, ec)) {
        report.output.present = true;
        report.output.file = std::filesystem::path(run.path).filename().string();
        report.output.format = OutputFormat(run.mode);
        report.output.frames = outcome.framesWritten;
        // The master's frames are the cameras' own, of all its tracks; its
        // length is the seconds it spans.
        report.output.seconds =
            run.mode != ExportMode::Master ? static_cast<double>(outcome.framesWritten) / kOutputRate
            : outcome.firstPosition < 0    ? 0.0
                                           : static_cast<double>(outcome.lastPosition - outcome.firstPosition + 1);
        const auto hashed = evidence::HashFile(run.path);
        if (!hashed) {
            outcome.reportError = hashed.Detail();
            return;
        }
        report.output.sha256 = hashed->sha256;
        report.output.md5 = hashed->md5;
        report.output.sizeBytes = hashed->sizeBytes;
    }
    const auto written = evidence::WriteReport(report, run.path);
    if (written)
        outcome.reportPath = *written;
    else
        outcome.reportError = written.Detail();
}

}  // namespace exporter
