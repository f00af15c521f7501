#pragma once
// The export's second thread: composed frames and seconds of sound go to the
// encoder here, in the order they were handed over, while the worker reads
// and composes the next frame. A frame that the frame-rate conversion repeats
// is handed over once with its number of copies.
//
// Threads: the export worker calls everything; the stage's own thread runs
// the sinks. `lock` guards the job ring, the free slots and `failed`; a
// slot's bytes belong to the worker from AcquireFrame until SubmitFrame, then
// to the stage thread until it has encoded them.
#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace exporter {

class EncodeStage {
public:
    using VideoSink = std::function<bool(const uint8_t* frame)>;
    using SoundSink = std::function<bool(std::span<const uint8_t> pcm)>;
    // libx264 takes frames in bursts as its frame threads free up: with three
    // slots its feeding thread waited on the composer for 0.3 s of a minute's
    // quad export; eight keep it fed (MP4 3 % sooner, other formats alike).
    static constexpr int kFrameSlots = 8;
    static constexpr int kSoundSlots = 4;
    static constexpr std::size_t kSoundBytes = 16000;

    EncodeStage() = default;
    ~EncodeStage();
    EncodeStage(const EncodeStage&) = delete;
    EncodeStage& operator=(const EncodeStage&) = delete;

    // Frames of frameBytes; the buffers are made here, once per export.
    void Start(std::size_t frameBytes, VideoSink video, SoundSink sound);
    // A free frame buffer to compose into; waits while all are queued.
    std::span<uint8_t> AcquireFrame();
    void SubmitFrame(std::span<uint8_t> frame, int copies);
    // The buffer acquired but not submitted goes back unused.
    void ReturnFrame(std::span<uint8_t> frame);
    // Copies up to kSoundBytes of pcm; waits while all sound slots are queued.
    void SubmitSound(std::span<const uint8_t> pcm);
    // Waits until everything handed over is encoded and ends the thread.
    // False when a sink failed; what came after a failure was dropped.
    bool Finish();
    bool Failed() const;

private:
    struct Job {
        int slot = 0;
        int copies = 0;  // 0: a sound slot
        std::size_t bytes = 0;
    };
    static constexpr int kJobs = kFrameSlots + kSoundSlots;

    void Run();
    int TakeFree(std::vector<int>& free);
    void Push(const Job& job);

    VideoSink video;
    SoundSink sound;
    std::vector<std::vector<uint8_t>> frames;
    std::vector<std::array<uint8_t, kSoundBytes>> sounds;

    mutable std::mutex lock;
    std::condition_variable changed;
    std::array<Job, kJobs> ring{};
    int head = 0;
    int count = 0;
    std::vector<int> freeFrames;
    std::vector<int> freeSounds;
    bool closing = false;
    bool failed = false;
    std::thread thread;
};

}  // namespace exporter
