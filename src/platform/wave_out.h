#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>

namespace platform {

// The sound device: 8 kHz mono signed 16-bit little-endian PCM, played from
// a queue of blocks, with a two-channel volume word (left in the low 16 bits,
// right in the high 16 bits) applied to the samples. Each queued block is
// copied, so the caller may refill its buffer at once.
//
// Threads: Open, Close and the destructor belong to the owner; Queue, Reset
// and the volume calls may come from any thread. The device's own thread
// runs Fill. `queueMutex` guards the block queue; the volume is atomic.
class WaveOut {
public:
    static constexpr int kSampleRate = 8000;
    static constexpr std::size_t kMaxBlockBytes = 2000;
    static constexpr int kQueueBlocks = 16;

    WaveOut() = default;
    ~WaveOut();
    WaveOut(const WaveOut&) = delete;
    WaveOut& operator=(const WaveOut&) = delete;

    // Opens the default output device; false (and one line on stderr) when
    // there is none. An open device is left as it is.
    bool Open();
    void Close();
    bool IsOpen() const { return device != 0; }

    // Queues a block of at most kMaxBlockBytes (an even count) behind those
    // already queued. False when closed, the block is malformed, or
    // kQueueBlocks blocks are still waiting to be played.
    bool Queue(std::span<const uint8_t> block);

    // Stops at once and drops every queued block.
    void Reset();

    void SetVolume(uint32_t leftRight) { volume = leftRight; }
    uint32_t Volume() const { return volume; }

    // Blocks queued and not yet played completely.
    int PendingBlocks() const;
    // Blocks accepted by Queue since the device was constructed.
    unsigned long QueuedTotal() const { return queuedTotal; }

    // Called on the device's thread: writes len bytes of stereo 16-bit samples.
    static void Fill(void* self, uint8_t* stream, int len);

private:
    void FillStereo(uint8_t* stream, int len);

    std::atomic<uint32_t> device{0};
    std::atomic<uint32_t> volume{0xFFFFFFFFu};
    std::atomic<unsigned long> queuedTotal{0};

    mutable std::mutex queueMutex;
    std::array<std::array<uint8_t, kMaxBlockBytes>, kQueueBlocks> blocks{};
    std::array<std::size_t, kQueueBlocks> blockBytes{};
    int head = 0;            // oldest queued block
    int pending = 0;         // blocks queued
    std::size_t played = 0;  // bytes of the head block already played
};

}  // namespace platform
