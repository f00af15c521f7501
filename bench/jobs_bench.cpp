// Playback beside background work: PlaybackEngine (real timer, headless
// windows, no sound device) plays four cameras at 16x in the quad view on
// record 1 of a disk from the disk writer, first alone, then while two
// background jobs (JobRunner, each with its own reader and decoder) decode
// record 2 flat out, starting again whenever they reach its end: once with
// the job threads at the same priority as playback, once at the runner's
// background priority. Prints the
// ticks' lateness (a tick's start past one period after the previous one's:
// mean, 95th percentile, max, and ticks later than a whole period), the
// ticks' run time, and the jobs' pictures per second.
//
//   jobs_bench [--seconds N] [--format 352x240|720x240|352x288|720x288]
#include <QGuiApplication>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "disk/recorder_volume.h"
#include "platform/drive_table.h"
#include "platform/window_surface.h"
#include "playback/decode_record_job.h"
#include "playback/job_runner.h"
#include "playback/playback_engine.h"
#include "playback/video_decoder.h"
#include "tools/mkdisk/disk_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The engine's periodic timer, noting when each tick starts and how long
// it runs. The figures are written by the timer thread and read by main
// after the timer is killed.
class MeasuringTimer final : public playback::TickTimer {
public:
    MeasuringTimer()
    {
        late.reserve(100000);
        runs.reserve(100000);
    }
    bool Start(unsigned periodMs, std::function<void()> tick) override
    {
        timer.Kill();
        period = periodMs;
        last = {};
        return timer.Start(periodMs, [this, tick = std::move(tick)] {
            const auto start = Clock::now();
            if (last != Clock::time_point{})
                late.push_back(std::max(0.0, Ms(start - last) - period));
            last = start;
            tick();
            runs.push_back(Ms(Clock::now() - start));
        });
    }
    void Kill() override { timer.Kill(); }
    bool IsRunning() const override { return timer.IsRunning(); }

    void Clear()
    {
        late.clear();
        runs.clear();
    }

    unsigned period = 0;
    std::vector<double> late;
    std::vector<double> runs;

private:
    platform::PeriodicTimer timer;
    Clock::time_point last{};
};

struct Figures {
    std::size_t ticks = 0;
    double mean = 0, p95 = 0, max = 0;
    std::size_t pastPeriod = 0;
    double runMean = 0, runMax = 0;
};

Figures Summarise(MeasuringTimer& timer)
{
    Figures f;
    std::vector<double> late = timer.late;
    f.ticks = late.size();
    if (late.empty())
        return f;
    std::sort(late.begin(), late.end());
    for (double l : late)
        f.mean += l;
    f.mean /= double(late.size());
    f.p95 = late[std::min(late.size() - 1, std::size_t(double(late.size()) * 0.95))];
    f.max = late.back();
    f.pastPeriod = std::size_t(std::count_if(late.begin(), late.end(), [&](double l) { return l > timer.period; }));
    for (double r : timer.runs)
        f.runMean += r;
    f.runMean /= double(std::max<std::size_t>(1, timer.runs.size()));
    f.runMax = timer.runs.empty() ? 0 : *std::max_element(timer.runs.begin(), timer.runs.end());
    return f;
}

void EnsureGuiApplication()
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        const std::string dir = "/tmp/quillon-runtime-" + std::to_string(::getuid());
        ::mkdir(dir.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 0);
    }
    static int argc = 1;
    static char name[] = "jobs_bench";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

// Background decoding of record 2 by `jobs` jobs, each started again when it
// ends, until Stop; counts what they decoded.
class BackgroundLoad {
public:
    BackgroundLoad(std::shared_ptr<const disk::Volume> shared, int jobs, playback::JobRunner::Priority priority)
        : runner({}, priority), volume(std::move(shared)), wanted(jobs)
    {
    }

    void Begin()
    {
        began = Clock::now();
        for (int i = 0; i < wanted; ++i)
            StartOne();
    }
    // Delivers the jobs' ends (restarting them); on the main thread.
    void Poll() { runner.DeliverPending(); }
    void Stop()
    {
        stopping = true;
        runner.CancelAll();
        for (playback::JobId id : ids)
            runner.Wait(id);
        seconds = std::chrono::duration<double>(Clock::now() - began).count();
    }

    uint64_t pictures = 0;
    int passes = 0;
    double seconds = 0;
    std::string failure;

private:
    void StartOne()
    {
        ids.push_back(runner.Start("decode", playback::DecodeRecordJob(volume, 1),
                                   {{}, [this](const playback::JobOutcome& outcome) { Ended(outcome); }}));
    }
    void Ended(const playback::JobOutcome& outcome)
    {
        if (const auto* count = std::any_cast<playback::RecordDecodeCount>(&outcome.value))
            pictures += count->pictures;
        if (outcome.status == playback::JobOutcome::Status::Failed)
            failure = outcome.text;
        else if (outcome.status == playback::JobOutcome::Status::Done)
            ++passes;
        if (!stopping && failure.empty())
            StartOne();
    }

    playback::JobRunner runner;
    std::shared_ptr<const disk::Volume> volume;  // the engine's, read through each job's own reader
    std::vector<playback::JobId> ids;
    int wanted;
    bool stopping = false;
    Clock::time_point began;
};

bool Play(playback::PlaybackEngine& engine, MeasuringTimer& timer, int seconds, BackgroundLoad* load)
{
    if (!engine.GotoStart())
        return false;
    while (engine.Speed() < 16)
        engine.Faster();
    timer.Clear();
    if (load)
        load->Begin();
    engine.PlayForward();
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end && engine.IsPlaying()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (load)
            load->Poll();
    }
    const bool whole = engine.IsPlaying();
    engine.Halt();
    engine.KillTimer();
    if (load)
        load->Stop();
    return whole;
}

void Print(const char* what, const Figures& f, unsigned period)
{
    std::printf("%-22s %6zu %9.2f %9.2f %9.2f %8zu %10.2f %9.2f   (period %u ms)\n", what, f.ticks, f.mean, f.p95,
                f.max, f.pastPeriod, f.runMean, f.runMax, period);
}

}  // namespace

int main(int argc, char** argv)
{
    int seconds = 10;
    std::string format = "352x240";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--format") == 0)
            format = argv[i + 1];
    }
    const auto pictureFormat = mkdisk::ParsePictureFormat(format);
    if (!pictureFormat) {
        std::fprintf(stderr, "jobs_bench: unknown format %s\n", format.c_str());
        return 2;
    }
    EnsureGuiApplication();
    const auto dir = std::filesystem::temp_directory_path() / ("quillon-bench-jobs-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string image = (dir / "jobs.img").string();

    // Record 1 long enough for 16x throughout; record 2 for the jobs.
    mkdisk::DiskPlan plan;
    mkdisk::RecordPlan played;
    played.format = *pictureFormat;
    played.seconds = uint32_t(16 * seconds + 20);
    played.audioCameras = 0;
    mkdisk::RecordPlan decoded = played;
    decoded.seconds = 30;
    plan.records = {played, decoded};
    const auto written = Clock::now();
    if (const auto written = mkdisk::WriteDisk(plan, image); !written) {
        std::fprintf(stderr, "jobs_bench: %s\n", written.Detail().c_str());
        return 1;
    }
    std::printf("disk: %s, record 1 %u s, record 2 %u s (written in %.1f s); %u CPUs\n", format.c_str(), played.seconds,
                decoded.seconds, std::chrono::duration<double>(Clock::now() - written).count(),
                std::thread::hardware_concurrency());
    platform::SetDriveImages({image});

    int status = 0;
    {
        disk::RecorderVolume volume;
        playback::VideoDecoder decoder;
        platform::WindowSurface video{640, 480};
        platform::WindowSurface mainWindow{925, 640};
        auto timerOwned = std::make_unique<MeasuringTimer>();
        MeasuringTimer& timer = *timerOwned;
        playback::PlaybackEngine engine(decoder, std::move(timerOwned));
        engine.UseSoundDevice(false);
        engine.SetHosts(nullptr, nullptr, &mainWindow);
        if (!volume.Load(0) || !decoder.IsLoaded() || !engine.Attach(&video, &volume, 0, 0)) {
            std::fprintf(stderr, "jobs_bench: cannot play record 1 (%s)\n", decoder.Failure().c_str());
            return 1;
        }
        engine.SetView(playback::PlaybackEngine::kQuadView, 0);

        std::printf("\n%-22s %6s %9s %9s %9s %8s %10s %9s\n", "playing 16x, quad", "ticks", "late ms", "p95 ms",
                    "max ms", ">period", "tick ms", "tick max");
        const bool aloneWhole = Play(engine, timer, seconds, nullptr);
        Print("alone", Summarise(timer), timer.period);

        bool whole = aloneWhole;
        using Priority = playback::JobRunner::Priority;
        std::vector<std::unique_ptr<BackgroundLoad>> loads;
        for (const Priority priority : {Priority::Normal, Priority::Background}) {
            loads.push_back(std::make_unique<BackgroundLoad>(volume.Shared(), 2, priority));
            whole = Play(engine, timer, seconds, loads.back().get()) && whole;
            Print(priority == Priority::Normal ? "2 jobs, same priority" : "2 jobs, background", Summarise(timer),
                  timer.period);
        }
        if (!whole)
            std::printf("(the record ended before %d s of playing)\n", seconds);
        std::printf("\n%-22s %12s %8s %14s\n", "decoding record 2", "pictures", "s", "pictures/s");
        for (const auto& load : loads) {
            if (!load->failure.empty()) {
                std::fprintf(stderr, "jobs_bench: job failed: %s\n", load->failure.c_str());
                status = 1;
            }
            std::printf("%-22s %12llu %8.2f %14.1f   (%d whole passes of %u pictures)\n",
                        &load == &loads.front() ? "2 jobs, same priority" : "2 jobs, background",
                        static_cast<unsigned long long>(load->pictures), load->seconds,
                        load->seconds > 0 ? double(load->pictures) / load->seconds : 0.0, load->passes,
                        decoded.seconds * uint32_t(mkdisk::FormatFrameRate(*pictureFormat)) * 4 - 1);
        }
        engine.Detach();
    }
    std::filesystem::remove_all(dir);
    return status;
}
