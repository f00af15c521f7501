// quillon-cli report CASE -o OUT.html|OUT.pdf: the court report of a case.
// The case's disk is loaded and checked against the case first; the
// pictures are the player's own (the timeline as `timeline --png` draws it,
// each bookmark as `still` shows its position, stepped on to its picture).
#include <QImage>

#include <cstdio>
#include <string>

#include "casefile/case_file.h"
#include "disk/camera_timeline.h"
#include "disk/position_stamp.h"
#include "disk/recorder_volume.h"
#include "disk/timeline.h"
#include "report/case_report.h"
#include "report/html_report.h"
#include "report/pdf_report.h"
#include "tools/cli/case_option.h"
#include "tools/cli/commands.h"
#include "tools/cli/headless_engine.h"
#include "tools/cli/options.h"
#include "tools/cli/volume_arg.h"
#include "tools/cli/write_target.h"
#include "ui/timeline_picture.h"

namespace cli {
namespace {

using platform::Error;
using platform::ErrorKind;

platform::Result<QImage> TimelinePicture(const disk::RecorderVolume& volume)
{
    const std::vector<disk::CameraSpan> spans = disk::CameraSpans(*volume.Shared());
    const disk::CameraTimeline timeline = disk::BuildCameraTimeline(spans);
    const ui::TimelineLayout layout = ui::WholeTimeline(timeline, 1200);
    if (layout.to <= layout.from)
        return Error{ErrorKind::Damaged, "the disk has no recorded second to draw"};
    EnsureGuiApplication();
    return ui::DrawTimelinePicture(timeline, layout);
}

// The bookmark's moment as the program shows it: its record opened as
// `still` opens one, the view chosen, the position sought and the picture
// stepped to. It reads through a reader of its own over the report's loaded
// (and, for recovered recordings, scanned) volume: the disk is neither
// loaded nor scanned again for each bookmark.
platform::Result<report::BookmarkPicture> BookmarkPicture(const disk::RecorderVolume& loaded,
                                                          const std::string& diskArg, const casefile::Bookmark& b)
{
    const Command still = StillCommand();
    const std::string at = std::to_string(b.position);
    const Args args = {diskArg, "--record", b.record, "--at", at, "--view", b.view, "-o", "-"};
    Options options;
    if (!options.Parse(still, args))
        return Error{ErrorKind::Refused, "bookmark " + std::to_string(b.id) + ": " + options.error};
    disk::RecorderVolume volume;
    volume.Attach(loaded.Shared());
    HeadlessEngine player(false);
    if (const auto opened = player.OpenFromOptions(options, volume, "--at"); !opened)
        return opened.Failure();
    if (const auto shown = player.CheckReadPicture(at, b.record); !shown)
        return shown.Failure();
    playback::PlaybackEngine& engine = player.Engine();
    for (uint32_t k = 0; k < b.picture && engine.PictureInSecond() < static_cast<int>(b.picture); ++k)
        if (engine.StepForward() != 1)
            break;
    if (engine.Position() != static_cast<int>(b.position) || engine.PictureInSecond() != static_cast<int>(b.picture))
        return Error{ErrorKind::ReadFailed, "picture " + std::to_string(b.picture) + " of position " + at +
                                                " could not be shown (the second holds fewer)"};
    report::BookmarkPicture made;
    made.picture = player.Video().Copy();
    const disk::PositionStamp stamp = volume.StampAt(b.position);
    if (stamp.recorded) {
        const auto second = disk::ToClockSeconds(stamp.time);
        made.recorderTime = second ? disk::FormatClockTime(*second) : stamp.Text();
    } else {
        made.recorderTime = stamp.Text();
    }
    if (!volume.SegmentSectors(b.position, made.sectors))
        made.sectors = {};
    return made;
}

int Run(Options& options)
{
    const std::string casePath = options.positional[0];
    const std::string out = *options.Value("-o");
    const bool html = out.ends_with(".html");
    if (!html && !out.ends_with(".pdf"))
        return Fail("the report's name must end in .html or .pdf: " + out);
    auto file = casefile::CaseFile::Open(casePath);
    if (!file)
        return Fail(file.Detail());
    const auto contents = file->Read();
    if (!contents)
        return Fail(contents.Detail());
    // The disk where the case names it (an image by its absolute path), or
    // where --disk says it is now; either way it must be the case's disk.
    const casefile::DiskIdentity& named = contents->disk;
    const std::string diskArg = CaseDiskArg(options, named);
    // The report and its sidecar go where the user says, never over the
    // evidence, the case or into the device directory.
    for (const std::string& target : {out, out + ".sha256"})
        if (const auto checked =
                CheckWriteTarget(target, "report", {{diskArg, "the case's disk"}, {casePath, "the case file"}});
            !checked)
            return Fail(checked.Detail());
    disk::RecorderVolume volume;
    disk::RawDisk raw;
    if (const auto loaded = OpenCaseDisk(diskArg, *file, volume, raw); !loaded)
        return Fail(loaded.Detail());

    // A recovered recording a bookmark names is found by one scan, whose
    // volume then tells its anomalies too.
    for (const casefile::Bookmark& b : contents->bookmarks) {
        if (IsRecoveredId(b.record) && !volume.Shared()->RecoveryFound()) {
            auto scanned = ScanLoadedVolume(volume);
            if (!scanned)
                return Fail(scanned.Detail());
            volume.Attach(*scanned);
        }
    }
    report::PictureSources sources;
    sources.timeline = [&volume] { return TimelinePicture(volume); };
    sources.bookmark = [&volume, &diskArg](const casefile::Bookmark& b) { return BookmarkPicture(volume, diskArg, b); };
    const auto gathered = report::GatherCaseReport(*contents, volume, raw, diskArg, sources);
    if (!gathered)
        return Fail(gathered.Detail());
    const auto written = html ? report::WriteHtmlReport(*gathered, out) : report::WritePdfReport(*gathered, out);
    if (!written)
        return Fail(written.Detail());
    if (const auto sidecar = report::WriteSha256Beside(out); !sidecar)
        return Fail("the report was written, but not its SHA-256 beside it: " + sidecar.Detail());
    int verified = 0;
    for (const report::ExportFacts& e : gathered->exports)
        verified += e.verified ? 1 : 0;
    std::printf("report\t%s\t%zu bookmarks\t%zu exports, %d verified\t%zu searches\n", out.c_str(),
                gathered->bookmarks.size(), gathered->exports.size(), verified, gathered->searches.size());
    return 0;
}

}  // namespace

Command ReportCommand()
{
    return {.name = "report",
            .summary = "the court report of a case, as HTML or PDF",
            .description =
                "Writes the report of CASE: the case, its disk and hashes, the recorder's clock, the\n"
                "timeline and its anomalies, each bookmark's picture with the sectors it came from and their\n"
                "SHA-256, each export verified again, each activity search, and the programs' versions.\n"
                "HTML (one file, pictures inlined) or PDF by the extension; OUT.html.sha256 or OUT.pdf.sha256\n"
                "beside it (\"<sha256>  <name>\", as sha256sum -c reads it). The case's disk is loaded and checked\n"
                "against the case first.\n",
            .arguments = {{"CASE", "the case file (SQLite)"}},
            .options = {{.name = "-o", .value = "OUT.html|OUT.pdf", .help = "the report to write", .required = true},
                        {"--disk", "DISK", "the case's disk, when it is no longer where the case names it"}},
            .run = Run};
}

}  // namespace cli
