#include "playback/decoder_channels.h"

#include <atomic>
#include <bit>

namespace playback {

static_assert(DecoderChannels::kBlocks * DecoderChannels::kBlockChannels == platform::decodeapi::kChannels);
static_assert(DecoderChannels::kBlocks <= 32);

namespace {

// Bit b set: block b is leased.
std::atomic<uint32_t> leased{0};

}  // namespace

DecoderChannels::DecoderChannels()
{
    constexpr uint32_t all = kBlocks == 32 ? ~0u : (1u << kBlocks) - 1;
    uint32_t seen = leased.load(std::memory_order_relaxed);
    for (;;) {
        const uint32_t free = ~seen & all;
        if (free == 0) {
            refusal = "all " + std::to_string(kBlocks) + " decoder channel blocks (" +
                      std::to_string(platform::decodeapi::kChannels) + " channels) are in use";
            return;
        }
        const int candidate = std::countr_zero(free);
        if (leased.compare_exchange_weak(seen, seen | (1u << candidate), std::memory_order_acquire,
                                         std::memory_order_relaxed)) {
            block = candidate;
            return;
        }
    }
}

DecoderChannels::~DecoderChannels()
{
    if (block >= 0)
        leased.fetch_and(~(1u << block), std::memory_order_release);
}

int32_t DecoderChannels::LibraryChannel(int channel) const
{
    if (block < 0 || channel < 0 || channel >= kBlockChannels)
        return -1;
    return block * kBlockChannels + channel;
}

int DecoderChannels::LeasedBlocks() { return std::popcount(leased.load(std::memory_order_relaxed)); }

}  // namespace playback
