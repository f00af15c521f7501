// A stand-in decoding library that records every call, to check what the
// decoder interface hands to the library.
#include <cstdint>
#include <cstring>
#include <vector>

struct FakeCall {
    char kind;  // 'I'nit, 'D'ecode, 'R'elease
    int32_t args[4];
    uint8_t head[16];  // first bytes of a Decode input
};

namespace {
std::vector<FakeCall> calls;
}

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

FAKE_EXPORT int32_t Init(int32_t format, int32_t width, int32_t height, int32_t channel)
{
    calls.push_back(FakeCall{'I', {format, width, height, channel}, {}});
    return 1;
}

FAKE_EXPORT int32_t Decode(const uint8_t* input, uint8_t* output, int32_t length, int32_t channel)
{
    FakeCall call{'D', {0, 0, length, channel}, {}};
    std::memcpy(call.head, input, length < 16 ? static_cast<std::size_t>(length) : 16);
    calls.push_back(call);
    output[0] = 0xAB;
    return 7;
}

FAKE_EXPORT int32_t Release(int32_t channel)
{
    calls.push_back(FakeCall{'R', {channel, 0, 0, 0}, {}});
    return 1;
}

FAKE_EXPORT const FakeCall* FakeCalls(int32_t* count)
{
    *count = static_cast<int32_t>(calls.size());
    return calls.data();
}

FAKE_EXPORT void FakeClear() { calls.clear(); }
