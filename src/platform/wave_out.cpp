#include "platform/wave_out.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

namespace platform {

namespace {

int16_t ReadSample(const uint8_t* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); }

void WriteSample(uint8_t* p, int32_t value)
{
    const auto v = static_cast<uint16_t>(static_cast<int16_t>(value));
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// 0xFFFF is full scale: the sample comes through unchanged.
int32_t Scale(int16_t sample, uint32_t level) { return sample * static_cast<int32_t>(level) / 0xFFFF; }

}  // namespace

WaveOut::~WaveOut() { Close(); }

bool WaveOut::Open()
{
    if (device != 0)
        return true;
    // Sound only: SDL must not take over the process's signals.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "quillon: no sound output: %s\n", SDL_GetError());
        return false;
    }
    Reset();
    // Stereo so that the left and right volumes each have a channel of their own.
    SDL_AudioSpec desired{};
    desired.freq = kSampleRate;
    desired.format = AUDIO_S16LSB;
    desired.channels = 2;
    desired.samples = 512;
    desired.callback = &WaveOut::Fill;
    desired.userdata = this;
    SDL_AudioSpec obtained{};
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &desired, &obtained, 0);
    if (id == 0) {
        std::fprintf(stderr, "quillon: no sound output: %s\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    device = id;
    SDL_PauseAudioDevice(id, 0);
    return true;
}

void WaveOut::Close()
{
    if (device == 0)
        return;
    SDL_CloseAudioDevice(device);  // waits for a running Fill
    device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    Reset();
}

bool WaveOut::Queue(std::span<const uint8_t> block)
{
    if (device == 0 || block.empty() || block.size() > kMaxBlockBytes || block.size() % 2 != 0)
        return false;
    std::lock_guard lock(queueMutex);
    if (pending == kQueueBlocks)
        return false;
    const int slot = (head + pending) % kQueueBlocks;
    std::memcpy(blocks[slot].data(), block.data(), block.size());
    blockBytes[slot] = block.size();
    ++pending;
    ++queuedTotal;
    return true;
}

void WaveOut::Reset()
{
    std::lock_guard lock(queueMutex);
    head = 0;
    pending = 0;
    played = 0;
}

int WaveOut::PendingBlocks() const
{
    std::lock_guard lock(queueMutex);
    return pending;
}

void WaveOut::Fill(void* self, uint8_t* stream, int len) { static_cast<WaveOut*>(self)->FillStereo(stream, len); }

void WaveOut::FillStereo(uint8_t* stream, int len)
{
    const uint32_t level = volume;
    const uint32_t left = level & 0xFFFF;
    const uint32_t right = level >> 16;
    std::lock_guard lock(queueMutex);
    for (int at = 0; at + 4 <= len; at += 4) {
        int16_t sample = 0;
        if (pending > 0) {
            sample = ReadSample(blocks[head].data() + played);
            played += 2;
            if (played >= blockBytes[head]) {
                head = (head + 1) % kQueueBlocks;
                --pending;
                played = 0;
            }
        }
        WriteSample(stream + at, Scale(sample, left));
        WriteSample(stream + at + 2, Scale(sample, right));
    }
}

}  // namespace platform
