#pragma once
// The decoding library's channels as a process-wide pool: each VideoDecoder
// holds a lease on a block of its own, so that decoders on different threads
// never feed the same library channel. Blocks are claimed lowest first; the
// first decoder of the process (the playback engine's) gets channels 0..3.
//
// Threads: any. The pool is one atomic bit mask, claimed and returned by
// compare-and-swap; no lock.
#include <cstdint>
#include <string>

#include "platform/decode_api.h"

namespace playback {

class DecoderChannels {
public:
    // One block per decoder: one channel per camera.
    static constexpr int kBlockChannels = 4;
    static constexpr int kBlocks = platform::decodeapi::kChannels / kBlockChannels;

    // Claims the lowest free block; IsHeld() is false, and Refusal() says
    // why, when every block is leased.
    DecoderChannels();
    ~DecoderChannels();
    DecoderChannels(const DecoderChannels&) = delete;
    DecoderChannels& operator=(const DecoderChannels&) = delete;

    bool IsHeld() const { return block >= 0; }
    // The library channel of the block's channel 0..kBlockChannels-1; -1 for
    // one out of range or when no block is held.
    int32_t LibraryChannel(int channel) const;
    const std::string& Refusal() const { return refusal; }

    // Blocks leased now, for tests and diagnostics.
    static int LeasedBlocks();

private:
    int block = -1;
    std::string refusal;
};

}  // namespace playback
