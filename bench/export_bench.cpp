// Export cost beside the ffmpeg command line: quillon-cli export of a whole
// four-camera quad record to MPEG-1, AVI and MP4, and ffmpeg doing the same job
// from the same record's camera streams (decode four streams, scale each into
// a 2 x 2 quad, draw the recorder time, 30 pictures a second, the same codecs
// with comparable settings, camera 1's sound). Runs alternate, so both meet
// the same load; best and median wall time of each, the runs' spread, and a
// lead claimed only when the difference is larger than the spread. Then
// libx264 alone on the same pictures, the floor under MP4. Then the master (.mkv)
// of the same segment, which decodes nothing: its CPU time beside the
// MPEG-1 export's.
//
//   quillon-bench-export [--seconds 60] [--runs 3]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "export/avi_writer.h"
#include "export/segment_exporter.h"
#include "support/temp_dir.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr int kCameras = 4;
constexpr char kFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct Run {
    bool ok = false;
    double wall = 0;
    double cpu = 0;   // user + system of the child and everything it waited for
    int status = -1;  // wait4's
    std::string out;
};

// Runs argv[0] (searched in PATH) with stdin from /dev/null, stdout captured
// and stderr into errPath. ok: the child exited with status 0.
Run RunMeasured(const std::vector<std::string>& argv, const std::string& errPath)
{
    Run run;
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return run;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        return run;
    }
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || err < 0)
            _exit(126);
        dup2(in, 0);
        dup2(pipeFds[1], 1);
        dup2(err, 2);
        close(pipeFds[0]);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(pipeFds[1]);
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        run.out.append(buffer, size_t(n));
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
              double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.status = status;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

std::string Joined(const std::vector<std::string>& argv)
{
    std::string line;
    for (const auto& a : argv)
        line += (line.empty() ? "" : " ") + (a.find_first_of(" |;[]'") == std::string::npos ? a : "\"" + a + "\"");
    return line;
}

// Says which command failed, how, and the end of what it wrote on stderr.
bool Failed(const std::vector<std::string>& argv, const Run& run, const std::string& errPath)
{
    std::string how = "could not be run";
    if (run.status >= 0 && WIFEXITED(run.status))
        how = WEXITSTATUS(run.status) == 127 ? "not found" : "exit status " + std::to_string(WEXITSTATUS(run.status));
    else if (run.status >= 0 && WIFSIGNALED(run.status))
        how = "killed by signal " + std::to_string(WTERMSIG(run.status));
    std::fprintf(stderr, "quillon-bench-export: failed (%s): %s\n", how.c_str(), Joined(argv).c_str());
    std::ifstream err(errPath);
    std::vector<std::string> lines;
    for (std::string line; std::getline(err, line);)
        lines.push_back(line);
    for (size_t i = lines.size() > 8 ? lines.size() - 8 : 0; i < lines.size(); ++i)
        std::fprintf(stderr, "  %s\n", lines[i].c_str());
    return false;
}

bool Check(const std::vector<std::string>& argv, const std::string& errPath, Run* result = nullptr)
{
    Run run = RunMeasured(argv, errPath);
    if (!run.ok)
        return Failed(argv, run, errPath);
    if (result)
        *result = std::move(run);
    return true;
}

// The pictures ffprobe decodes from a file's first video stream; -1 when it cannot.
long CountFrames(const std::string& path, bool m4v, const std::string& errPath)
{
    std::vector<std::string> argv{"ffprobe", "-v", "error"};
    if (m4v)
        argv.insert(argv.end(), {"-f", "m4v"});
    argv.insert(argv.end(), {"-count_frames", "-select_streams", "v:0", "-show_entries", "stream=nb_read_frames", "-of",
                             "default=nw=1:nk=1", path});
    Run run;
    if (!Check(argv, errPath, &run))
        return -1;
    char* end = nullptr;
    const long frames = std::strtol(run.out.c_str(), &end, 10);
    return end != run.out.c_str() && frames >= 0 ? frames : -1;
}

// One .m4v per camera, the camera's frames in stream order as the disk holds
// them (VO + VOL + user data before each intra VOP), taken from the image at
// the places the writer reports and checked against its CRCs. The record's
// last frame is left out: the recorder never delivers it, so the export never
// sees it either.
bool WriteCameraStreams(const std::string& image, const mkdisk::ManifestRecord& record,
                        const std::vector<std::string>& paths, std::vector<long>& frames, std::string& error)
{
    std::error_code ec;
    const uint64_t size = fs::file_size(image, ec);
    std::ifstream in(image, std::ios::binary);
    if (ec || !in) {
        error = "cannot read " + image;
        return false;
    }
    std::vector<std::ofstream> streams;
    for (const auto& path : paths)
        streams.emplace_back(path, std::ios::binary | std::ios::trunc);
    frames.assign(kCameras, 0);
    std::vector<char> bytes;
    for (size_t i = 0; i + 1 < record.frames.size(); ++i) {
        const mkdisk::ManifestFrame& f = record.frames[i];
        const std::string which = "frame " + std::to_string(i) + " of the record";
        if (f.camera < 0 || f.camera >= kCameras || f.segment >= record.segments.size() || !f.video ||
            f.bytesInSegment != f.length) {
            error = which + " is not one whole picture in one segment";
            return false;
        }
        const uint64_t base = uint64_t(record.segments[f.segment].firstSector) * mkdisk::kSectorSize;
        const uint64_t begin = base + (f.headerOffset >= 0 ? uint64_t(f.headerOffset) : f.offset);
        const uint64_t vop = base + f.offset;
        const uint64_t end = vop + f.length;
        if (begin > vop || end > size) {
            error = which + " lies outside the image";
            return false;
        }
        bytes.resize(end - begin);
        if (!in.seekg(std::streamoff(begin)) || !in.read(bytes.data(), std::streamsize(bytes.size()))) {
            error = "cannot read " + which + " from " + image;
            return false;
        }
        const auto* vopBytes = reinterpret_cast<const Bytef*>(bytes.data() + (vop - begin));
        if (crc32(crc32(0L, Z_NULL, 0), vopBytes, uInt(f.length)) != f.crc) {
            error = which + " differs from what the writer reported";
            return false;
        }
        streams[size_t(f.camera)].write(bytes.data(), std::streamsize(bytes.size()));
        ++frames[size_t(f.camera)];
    }
    for (size_t c = 0; c < streams.size(); ++c) {
        streams[c].close();
        if (!streams[c]) {
            error = "cannot write " + paths[c];
            return false;
        }
    }
    return true;
}

enum class Case { Mpeg, Avi, Mp4 };

// The quad of the four camera streams with the recorder time drawn on it,
// 30 pictures a second, as [v]; the sound, when there is a wav, as input 4.
std::vector<std::string> FfmpegPictures(const std::vector<std::string>& cameras, long long epoch,
                                        const std::string& wav)
{
    std::vector<std::string> argv{"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
    for (const auto& camera : cameras)
        argv.insert(argv.end(), {"-f", "m4v", "-framerate", "30", "-i", camera});
    if (!wav.empty())
        argv.insert(argv.end(), {"-i", wav});
    // The inputs' rate and -r hold 30 a second: an fps filter would drop the
    // last picture. %T rather than %H:%M:%S: a colon inside the expansion
    // needs three levels of escaping.
    const std::string graph = "[0:v]scale=320:240[a];[1:v]scale=320:240[b];[2:v]scale=320:240[c];[3:v]scale=320:240[d];"
                              "[a][b][c][d]xstack=inputs=4:layout=0_0|w0_0|0_h0|w0_h0,"
                              "drawtext=fontfile=" +
                              std::string(kFont) +
                              ":fontsize=12:fontcolor=white:x=8:y=8:"
                              "text='%{pts\\:gmtime\\:" +
                              std::to_string(epoch) + "\\:%Y/%m/%d %T}'[v]";
    argv.insert(argv.end(), {"-filter_complex", graph, "-map", "[v]"});
    return argv;
}

// The MP4 writer's picture settings.
const std::vector<std::string> kX264Settings{"-c:v",     "libx264", "-preset",  "fast",   "-profile:v",
                                             "high",     "-crf",    "19",       "-g",     "60",
                                             "-threads", "2",       "-pix_fmt", "yuv420p"};

// The peer of quillon-cli export. MPEG-1 mirrors libquillon_mpeg1's encoder:
// a 9,000 kbit/s cap (300 kbit a picture), the average aimed at 7/8 of it,
// half a second of decoder buffer starting 3/4 full, quantiser 2 to 31,
// 15-picture GOPs, no B-pictures, MP2 mono 32 kHz at 96 kbit/s. AVI mirrors
// the AVI writer: the fixed quantiser of the export's quality, a key frame
// every 10 pictures, no B-frames, PCM 16-bit mono at 8 kHz. MP4 mirrors the
// MP4 writer: libx264 preset fast, high profile, rate factor 19, a key frame
// every 60 pictures, two encoder threads, AAC mono 48 kHz at 96 kbit/s.
std::vector<std::string> FfmpegCommand(Case c, const std::vector<std::string>& cameras, const std::string& wav,
                                       long long epoch, const std::string& out)
{
    std::vector<std::string> argv = FfmpegPictures(cameras, epoch, wav);
    argv.insert(argv.end(), {"-map", "4:a", "-r", "30"});
    if (c == Case::Mpeg) {
        argv.insert(
            argv.end(),
            {"-c:v",  "mpeg1video", "-b:v", "7875k", "-maxrate", "9000k", "-bufsize", "4500k", "-rc_init_occupancy",
             "3375k", "-qmin",      "2",    "-qmax", "31",       "-g",    "15",       "-bf",   "0",
             "-c:a",  "mp2",        "-b:a", "96k",   "-ar",      "32000", "-ac",      "1",     "-f",
             "mpeg",  out});
    } else if (c == Case::Mp4) {
        argv.insert(argv.end(), kX264Settings.begin(), kX264Settings.end());
        argv.insert(argv.end(), {"-c:a", "aac", "-b:a", "96k", "-ar", "48000", "-ac", "1", "-f", "mp4", out});
    } else {
        const int quantiser = exporter::AviWriter::QuantiserFor(exporter::SegmentExporter::kAviQuality);
        argv.insert(argv.end(), {"-c:v", "mpeg4", "-vtag", "XVID", "-q:v", std::to_string(quantiser), "-g",
                                 std::to_string(exporter::AviWriter::kKeyFrameInterval), "-bf", "0", "-c:a",
                                 "pcm_s16le", "-ar", "8000", "-ac", "1", "-f", "avi", out});
    }
    return argv;
}

struct Timing {
    std::vector<double> wall;
    std::vector<double> cpu;

    void Add(const Run& run)
    {
        wall.push_back(run.wall);
        cpu.push_back(run.cpu);
    }
    double Best() const { return *std::min_element(wall.begin(), wall.end()); }
    double Spread() const { return *std::max_element(wall.begin(), wall.end()) - Best(); }
    double BestCpu() const { return cpu[size_t(std::min_element(wall.begin(), wall.end()) - wall.begin())]; }
    double Median() const
    {
        std::vector<double> sorted = wall;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
};

// "lead" only when quillon-cli's best is ahead by more than either side's
// spread (slowest minus fastest run); "behind" likewise; otherwise the runs
// cannot tell the two apart.
const char* Verdict(const Timing& q, const Timing& f)
{
    const double spread = std::max(q.Spread(), f.Spread());
    const double lead = f.Best() - q.Best();
    if (q.wall.size() < 2 || f.wall.size() < 2)
        return "one run";
    if (lead > spread)
        return "lead";
    if (-lead > spread)
        return "behind";
    return "no lead";
}

bool ParseArgs(int argc, char** argv, int& seconds, int& runs)
{
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc)
            return false;
        char* end = nullptr;
        const long value = std::strtol(argv[i + 1], &end, 10);
        if (*end != '\0')
            return false;
        if (std::strcmp(argv[i], "--seconds") == 0 && value >= 2 && value <= 3600)
            seconds = int(value);
        else if (std::strcmp(argv[i], "--runs") == 0 && value >= 1 && value <= 100)
            runs = int(value);
        else
            return false;
    }
    return true;
}

struct Setup {
    std::string cli;
    std::string image;
    std::vector<std::string> cameras;
    std::string wav;
    std::string err;      // every child's stderr, shown when it fails
    long long epoch = 0;  // the record's begin as the recorder's clock reads it, in UTC
    int seconds = 0;
    int runs = 0;
};

// The disk (one quad record, 352 x 240 at 30, sound on camera 1, sensor
// noise) and, once, ffmpeg's inputs: the camera streams and camera 1's sound.
bool Prepare(const testing_support::TempDir& temp, Setup& setup)
{
    mkdisk::DiskPlan plan;
    mkdisk::RecordPlan record;
    record.format = mkdisk::PictureFormat::k352x240;
    record.seconds = static_cast<uint32_t>(setup.seconds);
    record.audioCameras = 0x1;
    plan.records.push_back(record);
    setup.image = temp.File("export.img");
    mkdisk::Manifest manifest;
    std::string error;
    std::vector<long> written;
    for (int c = 1; c <= kCameras; ++c)
        setup.cameras.push_back(temp.File("camera" + std::to_string(c) + ".m4v"));
    if (const auto disk = mkdisk::WriteDisk(plan, setup.image, &manifest); !disk)
        error = disk.Detail();
    if (!error.empty() || manifest.records.size() != 1 ||
        !WriteCameraStreams(setup.image, manifest.records[0], setup.cameras, written, error)) {
        std::fprintf(stderr, "quillon-bench-export: %s\n", error.empty() ? "no record written" : error.c_str());
        return false;
    }
    const int fps = mkdisk::FormatFrameRate(record.format);
    for (int c = 0; c < kCameras; ++c) {
        const long expected = long(fps) * setup.seconds - (c == kCameras - 1 ? 1 : 0);
        const long decoded = CountFrames(setup.cameras[size_t(c)], true, setup.err);
        if (decoded < 0)
            return false;
        if (written[size_t(c)] != expected || decoded != expected) {
            std::fprintf(stderr,
                         "quillon-bench-export: camera %d: %ld frames written, ffmpeg decodes %ld, %ld expected\n",
                         c + 1, written[size_t(c)], decoded, expected);
            return false;
        }
    }
    setup.wav = temp.File("camera1.wav");
    if (!Check({setup.cli, "audio", setup.image, "--record", "1", "--camera", "1", "-o", setup.wav}, setup.err))
        return false;
    std::tm begin{};
    begin.tm_year = record.begin.year - 1900;
    begin.tm_mon = record.begin.month - 1;
    begin.tm_mday = record.begin.day;
    begin.tm_hour = record.begin.hour;
    begin.tm_min = record.begin.minute;
    begin.tm_sec = record.begin.second;
    setup.epoch = static_cast<long long>(timegm(&begin));
    return true;
}

// Times one case, quillon-cli and ffmpeg in turn, and makes its table row;
// false when a command failed.
bool TimeCase(Case c, const testing_support::TempDir& temp, const Setup& setup, std::string& row, bool& sameCount,
              double& ourCpu, double& ourBest)
{
    const std::string ext = c == Case::Mpeg ? ".mpg" : c == Case::Avi ? ".avi" : ".mp4";
    const std::string ours = temp.File("quillon" + ext);
    const std::string theirs = temp.File("ffmpeg" + ext);
    const std::vector<std::string> quillon{
        setup.cli, "export", setup.image, "--record", "1", "--from", "0", "--to", std::to_string(setup.seconds - 2),
        "-o",      ours};
    const std::vector<std::string> ffmpeg = FfmpegCommand(c, setup.cameras, setup.wav, setup.epoch, theirs);
    std::printf("%s: %s\n%s: %s\n", ext.c_str() + 1, Joined(quillon).c_str(), ext.c_str() + 1, Joined(ffmpeg).c_str());
    Timing q, f;
    std::string line;
    for (int r = 0; r < setup.runs; ++r) {
        Run run;
        if (!Check(quillon, setup.err, &run))
            return false;
        q.Add(run);
        line = run.out;
        if (!Check(ffmpeg, setup.err, &run))
            return false;
        f.Add(run);
    }
    // quillon-cli's line: path, frames, first and last position, how it ended.
    std::istringstream fields(line);
    std::string path, end;
    long reported = -1;
    int first = -1, last = -1;
    fields >> path >> reported >> first >> last >> end;
    const long ourFrames = CountFrames(ours, false, setup.err);
    const long theirFrames = CountFrames(theirs, false, setup.err);
    std::error_code ec1, ec2;
    const auto ourBytes = fs::file_size(ours, ec1);
    const auto theirBytes = fs::file_size(theirs, ec2);
    if (ourFrames < 0 || theirFrames < 0 || ec1 || ec2)
        return false;
    char text[512];
    std::snprintf(
        text, sizeof text,
        "%-6s %8.2f %8.2f %8.2f %10.2f %8.2f %8.2f %7.2f %7.2f  %-9s %12llu %12llu %7ld %7ld  (%ld %d..%d %s)",
        c == Case::Mpeg  ? "MPEG-1"
        : c == Case::Avi ? "AVI"
                         : "MP4",
        q.Best(), q.Median(), q.BestCpu(), f.Best(), f.Median(), f.BestCpu(), q.Best() / f.Best(),
        std::max(q.Spread(), f.Spread()), Verdict(q, f), static_cast<unsigned long long>(ourBytes),
        static_cast<unsigned long long>(theirBytes), ourFrames, theirFrames, reported, first, last, end.c_str());
    row = text;
    sameCount = ourFrames == theirFrames && reported == ourFrames;
    ourCpu = q.BestCpu();
    ourBest = q.Best();
    return true;
}

// libx264 alone with the MP4 writer's settings, on the peer's pictures read
// from a raw file in the page cache (nothing decoded, scaled or drawn, no
// sound): the floor under any MP4 export of this record on this machine.
// The raw pictures take 28 MB a second, so up to two minutes only.
constexpr int kEncoderAloneSeconds = 120;

bool TimeEncoderAlone(const testing_support::TempDir& temp, const Setup& setup, double mp4Best, std::string& row)
{
    if (setup.seconds > kEncoderAloneSeconds) {
        row = "libx264 alone: not measured (more than " + std::to_string(kEncoderAloneSeconds) + " s of pictures)";
        return true;
    }
    const std::string raw = temp.File("pictures.yuv");
    const std::string out = temp.File("alone.mp4");
    std::vector<std::string> render = FfmpegPictures(setup.cameras, setup.epoch, "");
    render.insert(render.end(), {"-r", "30", "-pix_fmt", "yuv420p", "-f", "rawvideo", raw});
    std::vector<std::string> encode{"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                                    "-f",     "rawvideo", "-pix_fmt",     "yuv420p",   "-s",    "640x480",
                                    "-r",     "30",       "-i",           raw};
    encode.insert(encode.end(), kX264Settings.begin(), kX264Settings.end());
    encode.insert(encode.end(), {"-an", "-f", "mp4", out});
    std::printf("raw: %s\nalone: %s\n", Joined(render).c_str(), Joined(encode).c_str());
    if (!Check(render, setup.err))
        return false;
    Timing t;
    for (int r = 0; r < setup.runs; ++r) {
        Run run;
        if (!Check(encode, setup.err, &run))
            return false;
        t.Add(run);
    }
    std::error_code ec;
    fs::remove(raw, ec);
    char text[256];
    std::snprintf(text, sizeof text, "x264   %8.2f %8.2f %8.2f   MP4 export best / this %.2f (spread %.2f)", t.Best(),
                  t.Median(), t.BestCpu(), mp4Best / t.Best(), t.Spread());
    row = text;
    return true;
}

// quillon-cli export of the same segment to the master: the whole process's
// CPU time (start, opening the record, the copy) beside the MPEG-1 export's.
bool TimeMaster(const testing_support::TempDir& temp, const Setup& setup, double mpegCpu, std::string& row)
{
    const std::string out = temp.File("quillon.mkv");
    const std::vector<std::string> quillon{
        setup.cli, "export", setup.image, "--record", "1", "--from", "0", "--to", std::to_string(setup.seconds - 2),
        "-o",      out};
    std::printf("mkv: %s\n", Joined(quillon).c_str());
    Timing q;
    Run run;
    for (int r = 0; r < setup.runs; ++r) {
        if (!Check(quillon, setup.err, &run))
            return false;
        q.Add(run);
    }
    std::error_code ec;
    const auto bytes = fs::file_size(out, ec);
    if (ec)
        return false;
    const double cpu = *std::min_element(q.cpu.begin(), q.cpu.end());
    char text[512];
    std::snprintf(text, sizeof text,
                  "master %8.3f %8.3f CPU %.3f s (least of the runs), MPEG-1 CPU %.2f s, ratio %.4f; %llu bytes; "
                  "quillon-cli: %s",
                  q.Best(), q.Median(), cpu, mpegCpu, mpegCpu > 0 ? cpu / mpegCpu : 0.0,
                  static_cast<unsigned long long>(bytes), run.out.substr(0, run.out.find('\n')).c_str());
    row = text;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    Setup setup;
    setup.seconds = 60;
    setup.runs = 3;
    if (!ParseArgs(argc, argv, setup.seconds, setup.runs)) {
        std::fprintf(stderr, "usage: quillon-bench-export [--seconds 2..3600] [--runs 1..100]\n");
        return 1;
    }
    if (!fs::exists(kFont)) {
        std::fprintf(stderr, "quillon-bench-export: drawtext needs %s (fonts-dejavu-core)\n", kFont);
        return 1;
    }
    testing_support::TempDir temp;
    if (temp.Path().empty()) {
        std::fprintf(stderr, "quillon-bench-export: cannot make a temporary directory\n");
        return 1;
    }
    setup.cli = fs::canonical("/proc/self/exe").parent_path().string() + "/quillon-cli";
    setup.err = temp.File("stderr.txt");
    if (!Prepare(temp, setup))
        return 1;
    double load[1] = {-1};
    getloadavg(load, 1);
    std::printf("record: %d s, 4 cameras 352x240 at 30 fps, sound on camera 1; %d runs each, alternating; "
                "load average %.2f at start\n",
                setup.seconds, setup.runs, load[0]);
    std::string rows[3], alone, master;
    bool same[3] = {};
    double cpu[3] = {}, best[3] = {};
    if (!TimeCase(Case::Mpeg, temp, setup, rows[0], same[0], cpu[0], best[0]) ||
        !TimeCase(Case::Avi, temp, setup, rows[1], same[1], cpu[1], best[1]) ||
        !TimeCase(Case::Mp4, temp, setup, rows[2], same[2], cpu[2], best[2]) ||
        !TimeEncoderAlone(temp, setup, best[2], alone) || !TimeMaster(temp, setup, cpu[0], master))
        return 1;
    getloadavg(load, 1);
    std::printf("\n%-6s %8s %8s %8s %10s %8s %8s %7s %7s  %-9s %12s %12s %7s %7s  %s\n", "case", "Q best", "Q median",
                "Q CPU", "ff best", "ff med", "ff CPU", "ratio", "spread", "verdict", "Q bytes", "ff bytes", "Q pics",
                "ff pics", "(quillon-cli: frames first..last end)");
    std::printf("%s\n%s\n%s\n", rows[0].c_str(), rows[1].c_str(), rows[2].c_str());
    std::printf("seconds of wall time; CPU = user + system of the best run; ratio = Q best / ff best (goal 0.7 or "
                "less); spread = the larger of the two sides' slowest minus fastest run; a lead is claimed only when "
                "the difference is larger than the spread; pictures counted by ffprobe -count_frames; load average "
                "%.2f at the end\n",
                load[0]);
    if (!same[0] || !same[1] || !same[2])
        std::printf("note: the picture counts differ\n");
    std::printf("\n%-6s %8s %8s %8s\n%s\n", "alone", "best", "median", "CPU", alone.c_str());
    std::printf("libx264 alone: ffmpeg encoding the peer's pictures from a raw file with the MP4 settings, no "
                "sound; the floor under an MP4 export on this machine\n");
    std::printf("\n%-6s %8s %8s\n%s\n", "case", "Q best", "Q median", master.c_str());
    return 0;
}
