#include "tools/cli/commands.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdio_ext.h>
#include <string>

// QUILLON_VERSION is the package's version, set with the install rules
// (packaging/CMakeLists.txt).
#ifndef QUILLON_VERSION
#define QUILLON_VERSION "unknown"
#endif

namespace cli {

const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands = {
        {"disks", "disks [IMAGE...]", RunDisks,
         "The drive table: one line per drive, 'number<TAB>size<TAB>name', the size as the disk\n"
         "dialog shows it. The images given come first (drives 0, 1, ...), then the machine's\n"
         "whole-disk block devices.\n"},
        {"records", "records DISK", RunRecords,
         "The record table as the record list shows it: a heading line, then per record its\n"
         "number, kind, begin and end time, segments (seconds), picture size, pictures a second,\n"
         "and the cameras with video and with sound.\n"},
        {"timeline", "timeline DISK", RunTimeline,
         "The recorded spans on the recorder's clock, in time order, one line each:\n"
         "'span begin last seconds records kinds', with a 'gap begin last seconds' line between\n"
         "two spans; then 'overlap earlier later begin last seconds' per pair of overlapping\n"
         "records, 'unplaced' records whose times cannot be placed, and the totals 'recorded'\n"
         "and 'unrecorded' in seconds.\n"},
        {"locate", "locate DISK \"YYYY-MM-DD HH:MM:SS\"", RunLocate,
         "Every record and position holding that second on the recorder's clock, one line\n"
         "each: 'at record kind position time'. When none does, the nearest recorded seconds\n"
         "'before' and 'after' it, each with its distance in seconds.\n"},
        {"audio", "audio DISK --record N --camera C [--from S] [--seconds K] -o OUT.wav", RunAudio,
         "One camera's sound as playback plays it, written as an 8 kHz mono 16-bit WAV file.\n"
         "\n"
         "  --record N     the record, from 1\n"
         "  --camera C     the camera, 1 to 4\n"
         "  --from S       the first position (seconds from the record's begin, default 0)\n"
         "  --seconds K    at most K seconds (default: to the record's end)\n"
         "  -o OUT.wav     the file to write\n"},
        {"frames", "frames DISK --record N [--from S] [--calls K] [--intra-first] [--audio-camera C] [--dump DIR]",
         RunFrames,
         "The frame-extraction calls as playback makes them (call i is for camera i mod 4), one\n"
         "line each: call, camera, segment, length, intra, audio blocks delivered, CRC-32.\n"
         "\n"
         "  --record N         the record, from 1\n"
         "  --from S           start at position S (default 0)\n"
         "  --calls K          at most K calls (default: until the record ends)\n"
         "  --intra-first      the first four calls wait for an intra picture, as a seek does\n"
         "  --audio-camera C   deliver camera C's sound blocks as well\n"
         "  --dump DIR         write each frame to DIR/NNNNNN.m4v and the stream header to\n"
         "                     DIR/header.bin; with the lines going to a file or pipe, a\n"
         "                     progress bar shows on the terminal\n"},
        {"play", "play DISK --record N [--from S] [--speed X] [--reverse] [--view quad|1..4] [--seconds T] [--sound]",
         RunPlay,
         "Plays through the real playback engine and timer with headless windows, printing\n"
         "'elapsed_ms<TAB>position' whenever the position changes.\n"
         "\n"
         "  --record N          the record, from 1\n"
         "  --from S            start at position S (default 0)\n"
         "  --speed X           16, 8, 4, 2, 1 (default), 1/2, 1/4 or 1/8 (or as decimals)\n"
         "  --reverse           play backwards\n"
         "  --view quad|1..4    the quad view (default) or one camera\n"
         "  --seconds T         stop after T seconds (default: at the record's end)\n"
         "  --sound             open the sound device and play the sound\n"},
        {"still", "still DISK --record N --at S [--view quad|1..4] -o OUT.png", RunStill,
         "The picture a seek to position S shows in the 640 x 480 video window, as PNG.\n"
         "\n"
         "  --record N          the record, from 1\n"
         "  --at S              the position\n"
         "  --view quad|1..4    the quad view (default) or one camera\n"
         "  -o OUT.png          the file to write\n"},
        {"snapshot", "snapshot DISK --record N --at S [--view quad|1..4] -o OUT.jpg|OUT.bmp", RunSnapshot,
         "What the \"snap\" button saves after a seek to position S, as JPEG or BMP (by the\n"
         "extension).\n"
         "\n"
         "  --record N          the record, from 1\n"
         "  --at S              the position\n"
         "  --view quad|1..4    the quad view (default) or one camera\n"
         "  -o OUT.jpg|OUT.bmp  the file to write\n"},
        {"export",
         "export DISK --record N --from B --to E [--view quad|1..4] [--keep-going] -o OUT.mpg|OUT.avi|OUT.mkv|OUT.mp4",
         RunExport,
         "What the \"output\" button writes: positions B to E+1, through the program's own\n"
         "exporter, with the report OUT.report.json beside it. Prints 'path frames first_position\n"
         "last_position end' (end: completed, stopped or record-ended). A progress bar with the\n"
         "time left shows on a terminal; Ctrl+C stops the export with the file closed properly.\n"
         "An error leaves no file. A second that cannot be read from the disk fails the export\n"
         "(status 1, the position and the error on stderr) unless --keep-going is given.\n"
         "\n"
         "  --record N          the record, from 1\n"
         "  --from B            the begin mark's position\n"
         "  --to E              the end mark's position\n"
         "  --view quad|1..4    the quad view (default) or one camera\n"
         "  --keep-going        write a second that cannot be read as a second without picture\n"
         "                      (its time stamped; the master leaves it out) and go on; the\n"
         "                      report lists it and says the export is incomplete\n"
         "  -o OUT              by the exact extension: .mpg MPEG-1 with MP2 sound, .avi XviD\n"
         "                      with PCM sound (OpenDML past 1 GiB), .mkv the lossless master\n"
         "                      of the original frames, .mp4 an H.264/AAC working copy\n"},
        {"verify", "verify REPORT [--disk DISK]", RunVerify,
         "Checks an export against its report: every sector range the report lists is read again\n"
         "and hashed, and the file the report sits beside (X for X.report.json, which must be the\n"
         "output the report names) is hashed. One line per check ('what', ok, MISMATCH or\n"
         "UNCHECKED, detail), then a summary. A progress bar with the time left shows on a\n"
         "terminal. A report that is damaged or edited (not JSON, a field missing, twice or of\n"
         "the wrong type) is refused unchecked.\n"
         "\n"
         "Exit status:\n"
         "  0    every check matches and the export was complete\n"
         "  1    a mismatch, something left unchecked (no output, a range without a hash), a\n"
         "       disk or file that cannot be read, or a refused report\n"
         "  2    every check matches, but the report says the export is incomplete\n"
         "\n"
         "  --disk DISK    read this disk instead of the one the report names\n"},
        {"hash", "hash DISK [--record N [--from B --to E]] [--md5]", RunHash,
         "SHA-256 of the whole disk as Quillon reads it (whole 512-byte sectors); an E01's stored\n"
         "digests are checked too. With --record, one line per segment B to E+1 ('position\n"
         "first_sector sector_count sha256 [md5]'), then the hash of all of them in order.\n"
         "A progress bar with the time left shows on a terminal.\n"
         "\n"
         "  --record N     hash the record's segments instead of the whole disk\n"
         "  --from B       the first position (default 0)\n"
         "  --to E         the end mark's position (default: the record's last)\n"
         "  --md5          MD5 as well, in the same read pass\n"},
        {"convert", "convert IN OUT [--quality Q] [--watermark]", RunConvert,
         "A BMP or JPEG picture read as the program reads skin pictures, written as BMP or as\n"
         "the JPEG a snapshot writes (by OUT's extension).\n"
         "\n"
         "  --quality Q    JPEG quality 1 to 100 (default 70)\n"
         "  --watermark    add the snapshot watermark\n"},
        {"skin-preview", "skin-preview [--skin DIR] -o OUT.png [--states]", RunSkinPreview,
         "The main window as the program paints it at start, from a skin directory (a missing\n"
         "window.rgn is computed and written there); outside the window's outline the picture\n"
         "is transparent.\n"
         "\n"
         "  --skin DIR     the skin's bmp directory (default: the program's own)\n"
         "  -o OUT.png     the file to write\n"
         "  --states       add a second picture with controls pressed, marks set and a tooltip\n"},
    };
    return commands;
}

}  // namespace cli

static void PrintUsage(std::FILE* to)
{
    std::fprintf(to, "usage: quillon-cli COMMAND ...\n"
                     "DISK is a recorder disk image path or a drive number (0 to 9).\n"
                     "Record and camera numbers count from 1; positions from 0.\n"
                     "'quillon-cli COMMAND --help' tells more of one command.\n\n");
    for (const auto& c : cli::Commands())
        std::fprintf(to, "  quillon-cli %.*s\n", static_cast<int>(c.usage.size()), c.usage.data());
}

// What a command printed reaches its file or pipe only when stdout is
// flushed and closed: a full disk under `quillon-cli hash IMG > file` shows
// then, and is a failure, never status 0 with the lines lost.
static int FinishOutput(int status)
{
    std::cout.flush();
    const bool pending = __fpending(stdout) != 0;
    const bool failed = std::cout.fail() || std::ferror(stdout);
    errno = 0;
    const bool closeFailed = std::fclose(stdout) != 0;
    // A standard output closed by the caller is no failure when nothing was
    // to be written to it.
    if (failed || (closeFailed && (pending || errno != EBADF))) {
        std::fprintf(stderr, "quillon-cli: cannot write the standard output%s%s\n", errno != 0 ? ": " : "",
                     errno != 0 ? std::strerror(errno) : "");
        return 1;
    }
    return status;
}

static bool AsksForHelp(const cli::Args& args)
{
    for (const std::string_view a : args)
        if (a == "--help" || a == "-h")
            return true;
    return false;
}

static void PrintCommandHelp(const cli::Command& c)
{
    std::printf("usage: quillon-cli %.*s\n\n%.*s", static_cast<int>(c.usage.size()), c.usage.data(),
                static_cast<int>(c.help.size()), c.help.data());
}

int main(int argc, char** argv)
{
    // A file past the size limit (ulimit -f) is a failed write, reported and
    // cleaned up like a full disk, not a kill that leaves half a file.
    std::signal(SIGXFSZ, SIG_IGN);
    if (argc < 2) {
        PrintUsage(stderr);
        return 1;
    }
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return FinishOutput(0);
    }
    if (name == "--version") {
        std::printf("quillon-cli %s\n", QUILLON_VERSION);
        return FinishOutput(0);
    }
    cli::Args args(argv + 2, argv + argc);
    for (const auto& c : cli::Commands())
        if (c.name == name) {
            if (AsksForHelp(args)) {
                PrintCommandHelp(c);
                return FinishOutput(0);
            }
            return FinishOutput(c.run(args));
        }
    std::fprintf(stderr, "quillon-cli: unknown command '%s'\n", argv[1]);
    return 1;
}
