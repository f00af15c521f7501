// An export by time: the plan's pieces one after the other into the one
// output the run opened. A record's part is read through the engine's export
// reader opened on that record and written by the same loop as a single
// record's export; a gap's seconds are written as seconds without picture
// with their time stamped, with a second of silence each.
#include <chrono>

#include "disk/record_reader.h"
#include "export/export_progress.h"
#include "export/segment_exporter.h"
#include "playback/playback_engine.h"

namespace exporter {

ExportOutcome::End SegmentExporter::RangeLoop(ExportOutcome& outcome)
{
    using End = ExportOutcome::End;
    outcome.firstPosition = -1;
    outcome.lastPosition = -1;
    outcome.parts.reserve(run.range.pieces.size());
    run.rangeSeconds = (run.range.to - run.range.from).count() + 1;
    run.rangeSecondsDone = 0;
    run.rangeStarted = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < run.range.pieces.size(); ++i) {
        const TimePiece& piece = run.range.pieces[i];
        PartWritten& part = outcome.parts.emplace_back();
        {
            auto lock = engine.LockStream();
            readLog.Finish();
            part.firstRead = readLog.Reads().size();
        }
        part.firstLoss = outcome.lostSeconds.size();
        End end = End::Completed;
        if (piece.gap) {
            if (!GapSeconds(piece))
                end = End::WriteFailed;
        } else {
            run.formatCode = run.pieceFormats.at(i);
            end = RecordPiece(piece, outcome, part);
        }
        {
            auto lock = engine.LockStream();
            readLog.Finish();
            part.readCount = readLog.Reads().size() - part.firstRead;
            run.lossRecords.resize(readLog.Losses().size(), piece.gap ? 0 : piece.record + 1);
        }
        part.lossCount = outcome.lostSeconds.size() - part.firstLoss;
        run.rangeSecondsDone += piece.Seconds();
        ShowProgress(run.rangeStarted, 1, run.beginPosition);  // the piece whole, however it ended
        if (end != End::Completed)
            return end;
        if (OutputFailed())
            return End::WriteFailed;
        if (progress.StopRequested())
            return End::Stopped;
    }
    return End::Completed;
}

// The part's first to last position, as a single record's export of them
// writes them: its end mark is the second before the last (the loop takes
// the one after the end mark too).
ExportOutcome::End SegmentExporter::RecordPiece(const TimePiece& piece, ExportOutcome& outcome, PartWritten& part)
{
    using End = ExportOutcome::End;
    const int record = static_cast<int>(piece.record);
    const int first = static_cast<int>(piece.firstPosition);
    const bool opened = engine.OpenExportReader(record);
    if (opened && reportVolume) {
        auto lock = engine.LockStream();
        if (disk::RecordReader* reader = engine.ExportReader())
            reader->SetReadTap(&readLog);
    }
    run.beginPosition = first;
    run.endPosition = static_cast<int>(piece.lastPosition) - 1;
    if (!opened || !engine.SelectForExport(first)) {
        outcome.error = "nothing could be read in record " + std::to_string(record + 1) + " at position " +
                        std::to_string(first) + " (" + disk::FormatClockTime(piece.from) + ")";
        return End::ReadFailed;
    }
    ExportOutcome one;
    const End end = ReadLoop(one);
    part.firstPosition = one.firstPosition;
    part.lastPosition = one.lastPosition;
    if (outcome.firstPosition < 0)
        outcome.firstPosition = one.firstPosition;
    outcome.lastPosition = one.lastPosition;
    for (const std::string& lost : one.lostSeconds)
        outcome.lostSeconds.push_back("record " + std::to_string(record + 1) + ", " + lost);
    for (const std::string& empty : one.emptySeconds)
        outcome.emptySeconds.push_back("record " + std::to_string(record + 1) + ", " + empty);
    for (UndecodedPictures pictures : one.undecoded) {
        pictures.record = static_cast<int>(record);
        outcome.undecoded.push_back(std::move(pictures));
    }
    if (!one.error.empty())
        outcome.error = "record " + std::to_string(record + 1) + ": " + one.error;
    if (reportVolume) {
        auto lock = engine.LockStream();
        if (const disk::RecordReader* header = engine.ExportHeaderReader())
            evidence::DescribeStreamHeader(*header, part.streamHeader);
    }
    return end;
}

bool SegmentExporter::GapSeconds(const TimePiece& piece)
{
    using std::chrono::seconds;
    const disk::RecordTime begin = disk::ToRecordTime(piece.from);
    engine.ForgetPictures(0);
    // Progress counts the gap's seconds as positions from 0.
    run.beginPosition = 0;
    run.endPosition = static_cast<int>(piece.Seconds()) - 1;
    for (int64_t k = 0; k < piece.Seconds(); ++k) {
        WriteAudio(silence);
        if (!ComposeStamped(-1, disk::PositionStamp::At(begin, true, {}, k), kOutputRate))
            return false;
        ShowProgress(run.rangeStarted, static_cast<int>(k) + 1, static_cast<int>(k) + 1);
        if (OutputFailed() || progress.StopRequested())
            return true;
    }
    return true;
}

}  // namespace exporter
