#include "picture/bmp_rle.h"

#include <algorithm>

namespace picture {

bool DecodeBmpRle8(std::span<const std::uint8_t> data, int width, int height, std::size_t stride,
                   std::span<std::uint8_t> out)
{
    if (width <= 0 || height <= 0 || out.size() < stride * static_cast<std::size_t>(height))
        return false;
    std::fill(out.begin(), out.end(), 0);
    std::size_t at = 0;
    int x = 0, y = 0;  // y counts rows from the first one in the file
    // Some writers also code the row padding, so runs may fill the stride.
    const int rowLimit = static_cast<int>(std::min<std::size_t>(stride, 1u << 30));
    auto put = [&](std::uint8_t v) {
        if (x >= rowLimit || y >= height)
            return false;
        out[stride * static_cast<std::size_t>(y) + static_cast<std::size_t>(x++)] = v;
        return true;
    };
    while (data.size() - at >= 2) {
        const int count = data[at], value = data[at + 1];
        at += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                if (!put(static_cast<std::uint8_t>(value)))
                    return false;
            continue;
        }
        switch (value) {
        case 0:  // end of row
            x = 0;
            ++y;
            break;
        case 1:  // end of picture
            return true;
        case 2:  // move right and down
            if (data.size() - at < 2)
                return false;
            x += data[at];
            y += data[at + 1];
            at += 2;
            if (x > rowLimit || y > height)
                return false;
            break;
        default: {  // literal bytes, padded to an even count
            const std::size_t n = static_cast<std::size_t>(value);
            if (data.size() - at < n)
                return false;
            for (std::size_t i = 0; i < n; ++i)
                if (!put(data[at + i]))
                    return false;
            // The pad byte may be missing at the very end of the data.
            at = std::min(at + n + (n & 1), data.size());
            break;
        }
        }
    }
    return y >= height;  // every row ended, only the final mark missing
}

}  // namespace picture
