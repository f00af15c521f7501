#include "ui/activity_events.h"

#include <any>
#include <cmath>
#include <utility>

#include "playback/job_volume.h"
#include "playback/video_decoder.h"
#include "ui/qt_job_delivery.h"

namespace ui {
namespace {

// The job: the record read through a reader of its own and, in exact mode,
// decoded through a decoder of its own.
playback::JobFunction SearchJob(std::shared_ptr<const disk::Volume> volume, uint32_t record, std::string library,
                                playback::ActivityMode mode)
{
    return [volume = std::move(volume), record, library = std::move(library),
            mode](playback::JobControl& control) -> playback::JobOutcome {
        auto reader = playback::OpenJobReader(volume, record);
        if (!reader)
            return playback::JobOutcome::Failed(reader.Detail());
        std::unique_ptr<playback::VideoDecoder> decoder;
        if (mode == playback::ActivityMode::Exact) {
            decoder = std::make_unique<playback::VideoDecoder>(library);
            if (!decoder->IsLoaded())
                return playback::JobOutcome::Failed("no video decoding: " + decoder->Failure());
        }
        playback::ActivityRequest request;
        request.mode = mode;
        return playback::SearchRecordActivity(**reader, decoder.get(), request, control);
    };
}

}  // namespace

ActivityEvents::ActivityEvents(std::string decoderLibrary, playback::JobRunner::Priority priority,
                               playback::ActivityMode searchMode)
    : library(std::move(decoderLibrary)), mode(searchMode), runner(QtJobDelivery(receiver), priority)
{
}

ActivityEvents::~ActivityEvents() = default;

void ActivityEvents::Search(std::shared_ptr<const disk::Volume> shown, uint32_t record,
                            std::shared_ptr<const disk::Volume> readFrom)
{
    if (!shown)
        return;
    if (shown != volume)
        Drop();
    if (known.count(record) || searching == record)
        return;
    if (job != 0)
        runner.Cancel(job);
    volume = std::move(shown);
    searching = record;
    const uint64_t search = ++generation;
    state = State::Searching;
    percent = 0;
    status = "Searching for activity: 0 %";
    ++started;
    playback::JobCallbacks callbacks;
    callbacks.progress = [this, search](const playback::JobProgress& p) { Progress(search, p.fraction); };
    callbacks.finished = [this, search](const playback::JobOutcome& outcome) { Finished(search, outcome); };
    job = runner.Start("the activity search", SearchJob(readFrom ? std::move(readFrom) : volume, record, library, mode),
                       std::move(callbacks));
    Notify();
}

void ActivityEvents::Drop()
{
    if (job != 0)
        runner.Cancel(job);
    job = 0;
    ++generation;  // whatever the stopped search still delivers is dropped
    volume.reset();
    searching.reset();
    known.clear();
    const bool wasShown = state != State::None;
    state = State::None;
    status.clear();
    if (wasShown)
        Notify();
}

const RecordEvents* ActivityEvents::Find(const std::shared_ptr<const disk::Volume>& shown, uint32_t record) const
{
    if (!shown || shown != volume)
        return nullptr;
    const auto it = known.find(record);
    return it == known.end() ? nullptr : &it->second;
}

bool ActivityEvents::Searching(const std::shared_ptr<const disk::Volume>& shown, uint32_t record) const
{
    return shown && shown == volume && searching == record;
}

void ActivityEvents::Progress(uint64_t search, double fraction)
{
    if (search != generation || state != State::Searching)
        return;
    const int now = static_cast<int>(std::floor(fraction * 100));
    if (now == percent)
        return;
    percent = now;
    status = "Searching for activity: " + std::to_string(now) + " %";
    Notify();
}

void ActivityEvents::Finished(uint64_t search, const playback::JobOutcome& outcome)
{
    if (search != generation || !searching)
        return;
    job = 0;
    const uint32_t record = *searching;
    searching.reset();
    using Status = playback::JobOutcome::Status;
    if (outcome.status == Status::Cancelled) {
        state = State::None;
        status.clear();
        Notify();
        return;
    }
    RecordEvents found;
    found.mode = mode;
    found.parameters = playback::Describe(playback::ActivityParameters{});
    const auto* activity = std::any_cast<playback::RecordActivity>(&outcome.value);
    if (outcome.status == Status::Done && activity) {
        found.events = activity->events;
        state = State::Done;
        const size_t n = found.events.size();
        status = n == 0   ? std::string("No activity found")
                 : n == 1 ? std::string("1 activity event found")
                          : std::to_string(n) + " activity events found";
    } else {
        // Kept as failed: N says why instead of searching again and again.
        found.failed = true;
        found.failure = outcome.status == Status::Done ? "the search gave no events" : outcome.text;
        state = State::Failed;
        status = "The activity search failed: " + found.failure;
    }
    known[record] = std::move(found);
    Notify();
}

void ActivityEvents::Notify()
{
    if (changed)
        changed();
}

bool OnShownCamera(const playback::ActivityEvent& event, bool quad, int camera)
{
    return quad || event.camera == camera;
}

std::optional<int64_t> NextEventBegin(const std::vector<playback::ActivityEvent>& events, int64_t position,
                                      bool forward, bool quad, int camera)
{
    std::optional<int64_t> best;
    for (const playback::ActivityEvent& e : events) {
        if (!OnShownCamera(e, quad, camera))
            continue;
        if (forward && e.begin > position && (!best || e.begin < *best))
            best = e.begin;
        if (!forward && e.begin < position && (!best || e.begin > *best))
            best = e.begin;
    }
    return best;
}

const playback::ActivityEvent* EventHolding(const std::vector<playback::ActivityEvent>& events, int64_t first,
                                            int64_t last, bool quad, int camera)
{
    const playback::ActivityEvent* best = nullptr;
    for (const playback::ActivityEvent& e : events)
        if (OnShownCamera(e, quad, camera) && e.begin <= first && last <= e.end &&
            (!best || e.end - e.begin < best->end - best->begin))
            best = &e;
    return best;
}

}  // namespace ui
