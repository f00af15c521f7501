#include "ui/timeline_thumbnails.h"

#include <any>

#include "playback/quad_thumbnail_job.h"
#include "ui/qt_job_delivery.h"

namespace ui {

TimelineThumbnails::TimelineThumbnails(std::string decoderLibrary, playback::JobRunner::Priority priority)
    : runner(QtJobDelivery(receiver), priority), library(std::move(decoderLibrary))
{
}

TimelineThumbnails::~TimelineThumbnails() = default;

void TimelineThumbnails::SetVolume(std::shared_ptr<const disk::Volume> shown)
{
    if (shown == volume)
        return;
    if (job != 0)
        runner.Cancel(job);
    job = 0;
    ++generation;
    volume = std::move(shown);
    wanted.reset();
    cache.clear();
    order.clear();
}

const TimelineThumbnails::Entry* TimelineThumbnails::Find(uint32_t record, uint32_t position)
{
    const Key key{record, position};
    if (const auto found = cache.find(key); found != cache.end())
        return &found->second;
    if (volume) {
        wanted = key;
        if (job == 0)
            StartNext();
    }
    return nullptr;
}

void TimelineThumbnails::StartNext()
{
    if (!wanted || !volume)
        return;
    const Key key = *wanted;
    wanted.reset();
    if (cache.count(key) != 0)
        return;
    const uint64_t made = generation;
    playback::JobCallbacks callbacks;
    callbacks.finished = [this, made, key](const playback::JobOutcome& outcome) { Finished(made, key, outcome); };
    job = runner.Start("a timeline picture", playback::QuadThumbnailJob(volume, key.first, key.second, library),
                       std::move(callbacks));
}

void TimelineThumbnails::Finished(uint64_t made, Key key, const playback::JobOutcome& outcome)
{
    if (made != generation)
        return;
    job = 0;
    Entry entry;
    const auto* thumbnail = std::any_cast<playback::QuadThumbnail>(&outcome.value);
    if (outcome.status == playback::JobOutcome::Status::Done && thumbnail) {
        entry.picture = thumbnail->picture;
    } else {
        entry.failure = outcome.text;
    }
    if (outcome.status != playback::JobOutcome::Status::Cancelled) {
        if (cache.size() >= kCached && !order.empty()) {
            cache.erase(order.front());
            order.pop_front();
        }
        cache[key] = std::move(entry);
        order.push_back(key);
        if (ready)
            ready(key.first, key.second);
    }
    StartNext();
}

}  // namespace ui
