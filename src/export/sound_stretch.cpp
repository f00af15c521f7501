#include "export/sound_stretch.h"

namespace exporter {

namespace {

bool InsertsAfter(std::size_t i) { return i % 8 == 1 || i % 8 == 4 || i % 8 == 6; }

}  // namespace

std::size_t StretchedCount(std::size_t count)
{
    std::size_t total = 0;
    for (std::size_t i = 0; i < count; ++i)
        total += 1 + (InsertsAfter(i) ? 1 : 0) + (i % 40 == 0 ? 1 : 0);
    return total;
}

// Every division truncates toward zero, as integer division does. The next
// sample of the last one is the last one itself (a whole second never needs it).
std::size_t StretchSound(std::span<const int16_t> in, std::span<int16_t> out)
{
    const std::size_t n = in.size();
    if (out.size() < StretchedCount(n))
        return 0;
    std::size_t k = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int s = in[i];
        const int next = i + 1 < n ? in[i + 1] : s;
        out[k++] = static_cast<int16_t>(i == 0 ? s : (s / 4) * 3 + in[i - 1] / 4);
        const auto between = static_cast<int16_t>(next / 2 + s / 2);
        if (InsertsAfter(i))
            out[k++] = between;
        if (i % 40 == 0)
            out[k++] = between;
    }
    return k;
}

}  // namespace exporter
