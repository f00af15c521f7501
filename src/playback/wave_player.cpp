#include "playback/wave_player.h"

#include <algorithm>
#include <cstring>

namespace playback {

WavePlayer::~WavePlayer() { Close(); }

int WavePlayer::Open(int32_t newChunk)
{
    if (device.IsOpen())
        return 1;
    std::lock_guard guard(ringMutex);
    // A chunk of 0 would never advance Write, one above the buffer size would
    // overrun it.
    chunk = newChunk >= 1 && newChunk <= kBufferBytes ? newChunk : kBufferBytes;
    fill = 0;
    current = 0;
    if (device.Open())
        buffers = std::make_unique<std::array<Buffer, kBuffers>>();  // zeroed
    return 1;
}

int32_t WavePlayer::Write(std::span<const uint8_t> bytes)
{
    std::lock_guard guard(ringMutex);
    if (!device.IsOpen() || !buffers)
        return 0;
    const auto taken = static_cast<int32_t>(std::min<std::size_t>(bytes.size(), INT32_MAX));
    int32_t count = taken;
    const uint8_t* from = bytes.data();
    while (count > 0) {
        Buffer& buffer = (*buffers)[current];
        const int32_t room = chunk - fill;
        if (count < room) {
            std::memcpy(buffer.data() + fill, from, static_cast<std::size_t>(count));
            fill += count;
            break;
        }
        std::memcpy(buffer.data() + fill, from, static_cast<std::size_t>(room));
        fill = 0;
        // The whole buffer goes, whatever the chunk; a refusal (device queue
        // full) only loses this buffer's sound.
        device.Queue(buffer);
        current = (current + 1) % kBuffers;
        from += room;
        count -= room;
    }
    return taken;
}

void WavePlayer::Reset()
{
    std::lock_guard guard(ringMutex);
    if (device.IsOpen())
        device.Reset();
    fill = 0;
    current = 0;
}

void WavePlayer::Close()
{
    if (!device.IsOpen())
        return;
    Reset();
    device.Close();
    std::lock_guard guard(ringMutex);
    buffers.reset();
}

void WavePlayer::SetVolume(int percent)
{
    if (!device.IsOpen())
        return;
    const auto level = static_cast<uint32_t>(std::clamp(percent, 0, 100) * 65535 / 100) & 0xFFFFu;
    device.SetVolume(level | (level << 16));
}

int WavePlayer::GetVolume() const
{
    if (!device.IsOpen())
        return 0;
    return static_cast<int>((device.Volume() & 0xFFFFu) * 100 / 65535);
}

int32_t WavePlayer::Fill() const
{
    std::lock_guard guard(ringMutex);
    return fill;
}

int WavePlayer::Current() const
{
    std::lock_guard guard(ringMutex);
    return current;
}

}  // namespace playback
