#pragma once
// The activity events of the loaded disk's records in the program: a
// record's events are searched once, as a background job at background
// priority (a reader and a decoder of its own, never playback's), and kept
// for the disk; N and Shift+N, the position slider's marks and the export's
// report read them from here. Loading another disk drops them all.
//
// The search is exact (decoded pictures): on this machine it runs at about
// 25 times real time on a 352 x 240 record (3 minutes in under 8 seconds,
// beside playback), quick enough for a first N on a record of a few
// minutes; the fast measure (compressed sizes) would take a fraction of a
// second but misses what it cannot tell from the sizes.
//
// Window thread only: the job's thread touches nothing here, the runner
// hands its calls to `receiver`'s thread. A search of a volume that is no
// longer the one loaded, or of a record no longer asked for, never
// delivers (its calls carry their generation).
#include <QObject>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disk/volume.h"
#include "playback/activity_search.h"
#include "playback/job_runner.h"

namespace ui {

// The events of one record as the search found them, with how it searched.
struct RecordEvents {
    std::vector<playback::ActivityEvent> events;  // by camera, then by time
    playback::ActivityMode mode = playback::ActivityMode::Exact;
    std::string parameters;  // playback::Describe of the search's parameters
    bool failed = false;
    std::string failure;  // why, when failed
};

class ActivityEvents {
public:
    enum class State { None, Searching, Done, Failed };

    // decoderLibrary: the decoding library the search's own decoder loads.
    // priority: Background in the program; tests may run it Normal.
    explicit ActivityEvents(std::string decoderLibrary,
                            playback::JobRunner::Priority priority = playback::JobRunner::Priority::Background,
                            playback::ActivityMode mode = playback::ActivityMode::Exact);
    ~ActivityEvents();
    ActivityEvents(const ActivityEvents&) = delete;
    ActivityEvents& operator=(const ActivityEvents&) = delete;

    // Starts the search of record (from 0) of the disk `volume` stands for
    // unless its events are known or being searched. Another volume drops
    // every record's events first; another record's search still running is
    // stopped. readFrom: the volume the search reads (the disk as loaded
    // with its recovered recordings numbered after the records, which keeps
    // the records' numbers); null: volume itself.
    void Search(std::shared_ptr<const disk::Volume> volume, uint32_t record,
                std::shared_ptr<const disk::Volume> readFrom = nullptr);
    // Drops every record's events and stops the search.
    void Drop();

    // The record's events when its search has ended (or failed); null
    // otherwise, or when volume is not the one searched.
    const RecordEvents* Find(const std::shared_ptr<const disk::Volume>& volume, uint32_t record) const;
    // Whether that record is being searched now.
    bool Searching(const std::shared_ptr<const disk::Volume>& volume, uint32_t record) const;

    State CurrentState() const { return state; }
    // One line for people: "Searching for activity: 35 %", "4 activity
    // events found", "No activity found", "The activity search failed:
    // <reason>"; empty before any search.
    const std::string& StatusText() const { return status; }
    // Searches started since this was made (a search found in the cache
    // starts none).
    int SearchesStarted() const { return started; }

    // Called on the window thread after every change of state or text.
    void OnChange(std::function<void()> listener) { changed = std::move(listener); }

private:
    void Progress(uint64_t generation, double fraction);
    void Finished(uint64_t generation, const playback::JobOutcome& outcome);
    void Notify();

    std::string library;
    playback::ActivityMode mode;
    // Declared before the runner: the runner's calls are queued on it, and
    // the runner (destroyed first) joins its job before it goes.
    QObject receiver;
    playback::JobRunner runner;
    playback::JobId job = 0;
    uint64_t generation = 0;

    std::shared_ptr<const disk::Volume> volume;
    std::optional<uint32_t> searching;  // the record being searched
    std::map<uint32_t, RecordEvents> known;
    State state = State::None;
    int percent = -1;
    int started = 0;
    std::string status;
    std::function<void()> changed;
};

// Which of the events lie on the cameras shown: all four in the quad view
// (quad true), else the one camera.
bool OnShownCamera(const playback::ActivityEvent& event, bool quad, int camera);

// Where N goes from position: the first shown event's begin after it;
// Shift+N (forward false): the last begin before it (so inside an event,
// first that event's own begin). Nothing when there is none.
std::optional<int64_t> NextEventBegin(const std::vector<playback::ActivityEvent>& events, int64_t position,
                                      bool forward, bool quad, int camera);

// The shown event holding the positions first to last (both included), the
// shortest when several do; null when none does.
const playback::ActivityEvent* EventHolding(const std::vector<playback::ActivityEvent>& events, int64_t first,
                                            int64_t last, bool quad, int camera);

}  // namespace ui
