#include "export/encode_stage.h"

#include <algorithm>
#include <cstring>

namespace exporter {

EncodeStage::~EncodeStage() { Finish(); }

void EncodeStage::Start(std::size_t frameBytes, VideoSink videoSink, SoundSink soundSink)
{
    Finish();
    video = std::move(videoSink);
    sound = std::move(soundSink);
    frames.assign(kFrameSlots, std::vector<uint8_t>(frameBytes));
    sounds.resize(kSoundSlots);
    std::lock_guard guard(lock);
    freeFrames.clear();
    freeSounds.clear();
    for (int i = 0; i < kFrameSlots; ++i)
        freeFrames.push_back(i);
    for (int i = 0; i < kSoundSlots; ++i)
        freeSounds.push_back(i);
    head = count = 0;
    closing = false;
    failed = false;
    thread = std::thread([this] { Run(); });
}

// Runs with `lock` held (through the caller's unique_lock).
int EncodeStage::TakeFree(std::vector<int>& free)
{
    const int slot = free.back();
    free.pop_back();
    return slot;
}

std::span<uint8_t> EncodeStage::AcquireFrame()
{
    std::unique_lock guard(lock);
    changed.wait(guard, [this] { return !freeFrames.empty(); });
    return frames[TakeFree(freeFrames)];
}

void EncodeStage::ReturnFrame(std::span<uint8_t> frame)
{
    std::lock_guard guard(lock);
    for (int i = 0; i < kFrameSlots; ++i)
        if (frames[i].data() == frame.data())
            freeFrames.push_back(i);
    changed.notify_all();
}

void EncodeStage::Push(const Job& job)
{
    ring[(head + count) % kJobs] = job;
    ++count;
    changed.notify_all();
}

void EncodeStage::SubmitFrame(std::span<uint8_t> frame, int copies)
{
    int slot = 0;
    while (slot < kFrameSlots && frames[slot].data() != frame.data())
        ++slot;
    std::lock_guard guard(lock);
    if (slot == kFrameSlots)
        return;
    // There are as many jobs as slots, so a free slot always has room.
    Push({slot, std::max(copies, 1), frame.size()});
}

void EncodeStage::SubmitSound(std::span<const uint8_t> pcm)
{
    std::unique_lock guard(lock);
    changed.wait(guard, [this] { return !freeSounds.empty(); });
    const int slot = TakeFree(freeSounds);
    const std::size_t bytes = std::min(pcm.size(), kSoundBytes);
    std::memcpy(sounds[slot].data(), pcm.data(), bytes);
    Push({slot, 0, bytes});
}

void EncodeStage::Run()
{
    for (;;) {
        Job job;
        bool skip = false;
        {
            std::unique_lock guard(lock);
            changed.wait(guard, [this] { return count > 0 || closing; });
            if (count == 0)
                return;
            job = ring[head];
            skip = failed;
        }
        bool ok = true;
        if (!skip) {
            if (job.copies == 0)
                ok = sound(std::span<const uint8_t>(sounds[job.slot].data(), job.bytes));
            else
                for (int c = 0; c < job.copies && ok; ++c)
                    ok = video(frames[job.slot].data());
        }
        std::lock_guard guard(lock);
        head = (head + 1) % kJobs;
        --count;
        (job.copies == 0 ? freeSounds : freeFrames).push_back(job.slot);
        failed = failed || !ok;
        changed.notify_all();
    }
}

bool EncodeStage::Finish()
{
    if (thread.joinable()) {
        {
            std::lock_guard guard(lock);
            closing = true;
            changed.notify_all();
        }
        thread.join();
    }
    return !Failed();
}

bool EncodeStage::Failed() const
{
    std::lock_guard guard(lock);
    return failed;
}

}  // namespace exporter
