#pragma once
#include "platform/wave_out.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

namespace playback {

// Plays 8 kHz mono 16-bit PCM through a ring of 16 buffers of 2,000 bytes:
// Write fills the current buffer and queues it on the device whenever it is
// full. Without a device (none could be opened) it is silent and harmless.
//
// Threads: Write on the playback timer's thread; Reset on the window's and
// the timer's threads; Open, Close and the volume on the window's thread.
// `ringMutex` guards fill, current and the buffers, so a Reset never cuts
// into a Write.
class WavePlayer {
public:
    static constexpr int kBuffers = 16;
    static constexpr int32_t kBufferBytes = 2000;

    WavePlayer() = default;
    ~WavePlayer();
    WavePlayer(const WavePlayer&) = delete;
    WavePlayer& operator=(const WavePlayer&) = delete;

    // Opens the device and makes the buffers; an open player is left alone.
    // chunk: bytes after which a buffer is queued, 1 to 2,000 (others mean
    // 2,000). Always 1.
    int Open(int32_t chunk);

    // Copies the bytes into the ring, queueing every buffer that fills up.
    // The bytes taken: all of them, or 0 without a device.
    int32_t Write(std::span<const uint8_t> bytes);

    // Stops the sound at once and empties the ring.
    void Reset();
    void Close();

    // percent 0 to 100 on both channels (others are clamped).
    void SetVolume(int percent);
    // The left channel's volume in percent, truncated; 0 without a device.
    int GetVolume() const;

    bool IsOpen() const { return device.IsOpen(); }
    int32_t Fill() const;
    int Current() const;
    const platform::WaveOut& Device() const { return device; }

private:
    using Buffer = std::array<uint8_t, kBufferBytes>;

    platform::WaveOut device;
    mutable std::mutex ringMutex;
    std::unique_ptr<std::array<Buffer, kBuffers>> buffers;
    int32_t fill = 0;
    int current = 0;
    int32_t chunk = kBufferBytes;
};

}  // namespace playback
