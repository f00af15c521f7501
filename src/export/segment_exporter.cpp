// Setting an export up and closing it: names, modes, the output's opening and
// finishing. The worker's loop is in export_worker.cpp.
#include "export/segment_exporter.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "disk/record_reader.h"
#include "disk/recorder_volume.h"
#include "export/avi_writer.h"
#include "export/export_progress.h"
#include "export/snapshot.h"
#include "picture/bmp_format.h"
#include "platform/master_writer.h"
#include "platform/mp4_writer.h"
#include "platform/mpeg1_encoder.h"
#include "playback/playback_engine.h"

namespace exporter {

namespace {

// What the MPEG-1 encoder is given beside the size and path: the sound's
// rate in kHz and its video parameter, as the program has always passed them.
constexpr int kMpegAudioKiloHertz = 32;
constexpr int kMpegVideoParameter = 300;

// 0 = 352 x 240 at 30 a second, 1 = 720 x 240 at 15, 2 = 352 x 288 at 25,
// 3 = 720 x 288 at 12. A damaged entry's other size goes by its frame rate.
int FormatCode(int32_t width, int32_t height, int32_t frameRate)
{
    if (width == 720 && height == 240)
        return 1;
    if (width == 720 && height == 288)
        return 3;
    if (width == 352 && height == 240)
        return 0;
    if (width == 352 && height == 288)
        return 2;
    switch (frameRate) {
    case 15: return 1;
    case 25: return 2;
    case 12: return 3;
    default: return 0;
    }
}

// The recorder's clock as an ISO 8601 time, the MP4's creation time (its
// offset from true time is unknown; the report says so).
}  // namespace

std::string DefaultExportName(const playback::PlaybackEngine& engine)
{
    const std::string stamp = engine.CurrentStamp().Text(disk::StampStyle::NameDigits);
    char name[80];
    if (engine.ViewMode() == playback::PlaybackEngine::kQuadView)
        std::snprintf(name, sizeof name, "%s_Quad", stamp.c_str());
    else
        std::snprintf(name, sizeof name, "%s_Camera%02d", stamp.c_str(), engine.SelectedCamera() + 1);
    return name;
}

bool ExportModeFor(const std::string& path, ExportMode& mode)
{
    const std::string extension = exporter::FileExtension(path);
    if (extension == "mpg")
        mode = ExportMode::Mpeg;
    else if (extension == "avi")
        mode = ExportMode::Avi;
    else if (extension == "mkv")
        mode = ExportMode::Master;
    else if (extension == "mp4")
        mode = ExportMode::Mp4;
    else
        return false;
    return true;
}

SegmentExporter::SegmentExporter(playback::PlaybackEngine& engine, ExportProgress& progress, ExportFinished finished)
    : engine(engine), progress(progress), finished(std::move(finished)), mpeg(std::make_unique<CMPEG1Encoder>()),
      stretched(kSoundBufferBytes / 2), silence(EncodeStage::kSoundBytes, 0)
{
}

SegmentExporter::~SegmentExporter()
{
    if (worker.joinable()) {
        progress.RequestStop();
        worker.join();
    }
}

void SegmentExporter::Refuse(PrepareFailure failure, std::string error)
{
    prepareFailure = failure;
    prepareError = std::move(error);
}

bool SegmentExporter::PrepareExport(const std::string& path, int returnPosition, int beginPosition, int endPosition,
                                    ExportMode mode)
{
    prepareFailure = PrepareFailure::None;
    prepareError.clear();
    if (running.load()) {
        Refuse(PrepareFailure::CannotOpen, "an export is already running");
        return false;
    }
    if (!engine.IsReady() || engine.PictureWidth() <= 0) {
        Refuse(PrepareFailure::NotReady, "no record is open");
        return false;
    }
    // Without the decoder every cell would be background under a true time
    // stamp; the master copies the recorder's frames and needs none.
    if (const std::string failure = engine.DecodingFailure(); !failure.empty() && mode != ExportMode::Master) {
        Refuse(PrepareFailure::NoDecoding, failure);
        return false;
    }
    ExportMode byName{};
    if (!ExportModeFor(path, byName) || byName != mode) {
        Refuse(PrepareFailure::BadName, "the output name must end in .mpg, .avi, .mkv or .mp4 (lower case): " + path);
        return false;
    }
    if (beginPosition < 0 || endPosition < beginPosition) {
        Refuse(PrepareFailure::BadMarks, "the segment's end lies before its begin");
        return false;
    }
    if (beginPosition >= engine.Length()) {
        Refuse(PrepareFailure::BeginPastRecord,
               "the segment begins past the record's last second (" + std::to_string(engine.Length() - 1) + ")");
        return false;
    }
    width = engine.WindowWidth();
    height = engine.WindowHeight();
    if (width <= 0 || height <= 0) {
        Refuse(PrepareFailure::NotReady, "the video window has no size");
        return false;
    }
    if (mode == ExportMode::Master) {
        if (!PrepareMaster(path, beginPosition, endPosition))
            return false;
    } else if (mode == ExportMode::Mp4) {
        mp4 = std::make_unique<platform::mp4::Writer>();
        if (!mp4->Open(path, width, height, engine.StampAt(beginPosition).Text(disk::StampStyle::Iso))) {
            Refuse(PrepareFailure::CannotOpen, mp4->LastError());
            mp4.reset();
            return false;
        }
    } else if (mode == ExportMode::Mpeg) {
        if (!mpeg->Init(width, height, path.c_str(), kMpegAudioKiloHertz, kMpegVideoParameter)) {
            Refuse(PrepareFailure::CannotOpen, mpeg->LastError().empty() ? "cannot create " + path : mpeg->LastError());
            return false;
        }
    } else {
        picture::BmpInfoHeader picture;
        picture.headerSize = picture::kBmpInfoHeaderSize;
        picture.width = width;
        picture.height = height;
        picture.planes = 1;
        picture.bitsPerPixel = 24;
        picture.imageSize = static_cast<uint32_t>(height * ((24 * width + 7) / 8));
        PcmFormat sound{};
        sound.formatTag = 1;
        sound.channels = 1;
        sound.samplesPerSecond = 8000;
        sound.bitsPerSample = 16;
        avi = std::make_unique<AviWriter>();
        const int code = avi->OpenFile(path, 3, kAviQuality, width, height, &picture, &sound, 1000);
        if (code != 0) {
            Refuse(PrepareFailure::CannotOpen, avi->LastError().empty()
                                                   ? "cannot create " + path + " (code " + std::to_string(code) + ")"
                                                   : avi->LastError());
            avi.reset();
            return false;
        }
    }
    run = {};
    run.path = path;
    run.mode = mode;
    run.returnPosition = returnPosition;
    run.beginPosition = beginPosition;
    run.endPosition = endPosition;
    run.formatCode = FormatCode(engine.PictureWidth(), engine.PictureHeight(), engine.FrameRate());
    // The disk the volume opened, as it was opened: drive numbers name the
    // rows of the drive table's latest snapshot, which a disk attached since
    // may have shifted.
    reportSource = reportVolume ? reportVolume->DiskIdentity() : platform::DriveIdentity();
    progress.Show();
    return true;
}

bool SegmentExporter::PrepareTimeRange(const std::string& path, int returnPosition, TimeRangePlan plan, ExportMode mode)
{
    prepareFailure = PrepareFailure::None;
    prepareError.clear();
    if (mode == ExportMode::Master) {
        Refuse(PrepareFailure::BadRange, "the master (.mkv) holds one record's frames: export a time range as .mpg, "
                                         ".avi or .mp4, or each record's part on its own with --record");
        return false;
    }
    const auto first = std::find_if(plan.pieces.begin(), plan.pieces.end(), [](const TimePiece& p) { return !p.gap; });
    if (first == plan.pieces.end()) {
        Refuse(PrepareFailure::BadRange, "no listed record holds a second of the time range");
        return false;
    }
    if (!reportVolume || !reportVolume->IsLoaded() || reportVolume->OpenRecordNumber() != int32_t(first->record)) {
        Refuse(PrepareFailure::NotReady, "the time range's first record is not open");
        return false;
    }
    const disk::RecordEntry& opened = reportVolume->Record(first->record);
    std::vector<int> formats;
    formats.reserve(plan.pieces.size());
    for (const TimePiece& piece : plan.pieces) {
        if (piece.gap) {
            formats.push_back(0);
            continue;
        }
        if (piece.record >= reportVolume->RecordCount()) {
            Refuse(PrepareFailure::BadRange, "the disk lists no record " + std::to_string(piece.record + 1));
            return false;
        }
        const disk::RecordEntry& entry = reportVolume->Record(piece.record);
        if (entry.width != opened.width || entry.height != opened.height) {
            Refuse(PrepareFailure::BadRange,
                   "records " + std::to_string(first->record + 1) + " (" + std::to_string(opened.width) + " x " +
                       std::to_string(opened.height) + ") and " + std::to_string(piece.record + 1) + " (" +
                       std::to_string(entry.width) + " x " + std::to_string(entry.height) +
                       ") hold pictures of different sizes: export each record's part with --record");
            return false;
        }
        formats.push_back(FormatCode(entry.width, entry.height, entry.frameRate));
    }
    if (!PrepareExport(path, returnPosition, static_cast<int>(first->firstPosition),
                       static_cast<int>(first->lastPosition), mode))
        return false;
    run.pieceFormats = std::move(formats);
    run.range = std::move(plan);
    return true;
}

void SegmentExporter::StartWorker()
{
    if (running.load())
        return;
    if (worker.joinable())
        worker.join();
    running = true;
    engine.exporting = true;
    worker = std::thread([this] { ExportWorker(); });
}

void SegmentExporter::Wait()
{
    if (worker.joinable())
        worker.join();
}

platform::Result<void> SegmentExporter::FinishOutput()
{
    std::string error;
    // The master writes on the worker itself: the stage never ran.
    bool ok = run.mode == ExportMode::Master || stage.Finish();
    if (!ok)
        error = run.mode == ExportMode::Mpeg  ? mpeg->LastError()
                : run.mode == ExportMode::Mp4 ? (mp4 ? mp4->LastError() : std::string())
                                              : (avi ? avi->LastError() : std::string());
    if (run.mode == ExportMode::Master) {
        if (master && !master->Close()) {
            ok = false;
            error = master->LastError();
        }
        master.reset();
    } else if (run.mode == ExportMode::Mp4) {
        if (mp4 && !mp4->Close() && ok) {
            ok = false;
            error = mp4->LastError();
        }
        mp4.reset();
    } else if (run.mode == ExportMode::Mpeg) {
        if (!mpeg->Close() && ok) {
            ok = false;
            error = mpeg->LastError();
        }
    } else if (avi) {
        const int code = avi->CloseFile(kOutputRate);
        if (code != 0 && ok) {
            ok = false;
            error = avi->LastError().empty() ? "the AVI file could not be finished (code " + std::to_string(code) + ")"
                                             : avi->LastError();
        }
        avi.reset();
    }
    composer.Release();
    if (ok)
        return {};
    return platform::Error{platform::ErrorKind::WriteFailed, error.empty() ? "cannot write " + run.path : error};
}

}  // namespace exporter
