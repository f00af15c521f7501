#pragma once
// The timeline's hover pictures: the quad at one second of a recording,
// decoded in the background (playback::QuadThumbnailJob, one job at a time,
// the latest ask waiting for the running one to end) and kept in a bounded
// cache, so that going back over a second shows it at once. Never blocks the
// window's thread.
//
// Window thread only: the job's thread touches nothing here; the runner
// hands its calls to `receiver`'s thread. A job of a volume no longer shown
// never delivers (its calls carry their generation).
#include <QImage>
#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "disk/volume.h"
#include "playback/job_runner.h"

namespace ui {

class TimelineThumbnails {
public:
    static constexpr size_t kCached = 256;

    // decoderLibrary: the decoding library's path (empty: beside the
    // executable). priority: Background in the program.
    explicit TimelineThumbnails(std::string decoderLibrary = {},
                                playback::JobRunner::Priority priority = playback::JobRunner::Priority::Background);
    ~TimelineThumbnails();
    TimelineThumbnails(const TimelineThumbnails&) = delete;
    TimelineThumbnails& operator=(const TimelineThumbnails&) = delete;

    // The volume the pictures are taken from; another one empties the cache
    // and drops what is being decoded.
    void SetVolume(std::shared_ptr<const disk::Volume> volume);

    struct Entry {
        QImage picture;       // null when it could not be made
        std::string failure;  // why not
    };
    // The second's picture when it was made (or failed); nothing yet
    // otherwise, and it is asked for: it comes with OnReady.
    const Entry* Find(uint32_t record, uint32_t position);
    // Whether a picture is being made.
    bool Busy() const { return job != 0; }

    // Called on the window thread when a picture (or its failure) is cached.
    void OnReady(std::function<void(uint32_t record, uint32_t position)> listener) { ready = std::move(listener); }

private:
    using Key = std::pair<uint32_t, uint32_t>;
    void StartNext();
    void Finished(uint64_t generation, Key key, const playback::JobOutcome& outcome);

    QObject receiver;  // before the runner, which joins its job first
    playback::JobRunner runner;
    playback::JobId job = 0;
    uint64_t generation = 0;
    std::string library;
    std::shared_ptr<const disk::Volume> volume;
    std::optional<Key> wanted;  // the latest ask not yet started
    std::map<Key, Entry> cache;
    std::deque<Key> order;  // oldest first, for the bound
    std::function<void(uint32_t, uint32_t)> ready;
};

}  // namespace ui
