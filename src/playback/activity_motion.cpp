#include "playback/activity_motion.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <string>

namespace playback {

namespace {

// Histograms for the frame's light: a difference in whole levels
// (-255..255) and a gain in 1/256 (0..4).
constexpr int kOffsetBins = 511;
constexpr int kGainBins = 1024;
// Cells darker than this (in levels) say nothing reliable about a gain.
constexpr int32_t kGainMinimumLevel = 16;
// Rounds of fitting the gain with the offset held, then the offset with the
// gain held: two bring a gain about black (a lamp, an exposure) within a
// level.
constexpr int kLightRounds = 2;
// The light is fitted to every third cell: the medians of a third of the
// picture are as sure, at a third of the divisions.
constexpr std::size_t kLightSample = 3;
// The variance a cell starts with: two levels' standard deviation.
constexpr int64_t kStartVariance = int64_t{2 * 256} * (2 * 256);
// A foreground cell is kept when at least this many of its eight
// neighbours are foreground too.
constexpr int kMinNeighbours = 2;
// How much slower a foreground cell's background learns: 2^4 = 16 times.
constexpr uint32_t kForegroundSlowdownShift = 4;

// value / 2^shift rounded toward zero, as the division does, without one.
template <typename T>
T DivideByPowerOfTwo(T value, uint32_t shift)
{
    const T bias = value < 0 ? (T{1} << shift) - 1 : T{0};
    return (value + bias) >> shift;
}

platform::Error Refusal(std::string text) { return platform::Error{platform::ErrorKind::Refused, std::move(text)}; }

std::string Size(int64_t w, int64_t h) { return std::to_string(w) + "x" + std::to_string(h); }

// The middle of a histogram of count entries.
template <std::size_t N>
int MedianBin(const std::array<uint32_t, N>& histogram, uint32_t count)
{
    const uint32_t half = (count + 1) / 2;
    uint32_t seen = 0;
    for (std::size_t bin = 0; bin < N; ++bin) {
        seen += histogram[bin];
        if (seen >= half)
            return static_cast<int>(bin);
    }
    return static_cast<int>(N / 2);
}

}  // namespace

MotionModel::MotionModel(const ActivityParameters& parameters, int camera)
    : parameters(parameters), camera(camera), usable(Validate(parameters))
{
    if (usable && (camera < 0 || camera >= static_cast<int>(parameters.regions.size())))
        usable = Refusal("There is no camera " + std::to_string(camera + 1) + "; cameras are 1 to 4.");
}

platform::Result<void> MotionModel::Start(int32_t pictureWidth, int32_t pictureHeight)
{
    const auto d = static_cast<int32_t>(parameters.downscale);
    if (pictureWidth < d || pictureHeight < d)
        return Refusal("The picture of camera " + std::to_string(camera + 1) + " (" +
                       Size(pictureWidth, pictureHeight) + ") is smaller than one " + Size(d, d) + " cell.");
    const ActivityRegion& r = parameters.regions[static_cast<std::size_t>(camera)];
    int32_t left = 0, top = 0, right = pictureWidth / d, bottom = pictureHeight / d;
    if (!r.WholePicture()) {
        if (int64_t{r.x} + r.width > pictureWidth || int64_t{r.y} + r.height > pictureHeight)
            return Refusal("The region of camera " + std::to_string(camera + 1) + " (" + std::to_string(r.x) + "," +
                           std::to_string(r.y) + " " + Size(r.width, r.height) + ") lies outside its " +
                           Size(pictureWidth, pictureHeight) + " picture.");
        left = r.x / d;
        top = r.y / d;
        right = std::min(right, static_cast<int32_t>((int64_t{r.x} + r.width + d - 1) / d));
        bottom = std::min(bottom, static_cast<int32_t>((int64_t{r.y} + r.height + d - 1) / d));
        if (left >= right || top >= bottom)
            return Refusal("The region of camera " + std::to_string(camera + 1) + " (" + std::to_string(r.x) + "," +
                           std::to_string(r.y) + " " + Size(r.width, r.height) +
                           ") lies beyond the last whole cell of " + Size(d, d) + " pixels.");
    }
    width = pictureWidth;
    height = pictureHeight;
    columns = pictureWidth / d;
    rows = pictureHeight / d;
    regionLeft = left;
    regionTop = top;
    regionRight = right;
    regionBottom = bottom;
    const auto cells = static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows);
    rowSums.assign(static_cast<std::size_t>(columns), 0);
    luma.assign(cells, 0);
    mean.assign(cells, 0);
    variance.assign(cells, kStartVariance);
    previous.assign(cells, 0);
    mask.assign(cells, 0);
    changed.assign(cells, 0);
    kept.assign(cells, 0);
    still.assign(cells, 0);
    stack.assign(cells, 0);
    return {};
}

namespace {

// The luma (every other byte) of d pixels of a YUY2 line; D: d known when
// compiled (the default 4), 0: d at run time.
template <std::size_t D>
uint32_t LumaSum(const uint8_t* p, std::size_t d)
{
    if constexpr (D == 4 && std::endian::native == std::endian::little) {
        // Y U Y V Y U Y V in one 64-bit load: the four lumas as 16-bit
        // lanes, added into the top lane by one multiplication (each
        // partial sum stays below 2^16, so no lane carries into the next).
        uint64_t v = 0;
        std::memcpy(&v, p, sizeof v);
        return static_cast<uint32_t>(((v & 0x00FF00FF00FF00FFull) * 0x0001000100010001ull) >> 48);
    }
    uint32_t sum = 0;
    for (std::size_t dx = 0; dx < (D ? D : d); ++dx)
        sum += p[dx * 2];
    return sum;
}

template <std::size_t D>
void SumRow(const uint8_t* line, std::size_t d, std::vector<uint32_t>& rowSums)
{
    for (std::size_t cx = 0; cx < rowSums.size(); ++cx)
        rowSums[cx] += LumaSum<D>(line + cx * d * 2, d);
}

}  // namespace

void MotionModel::Reduce(std::span<const uint8_t> picture, int32_t pictureWidth)
{
    const auto d = static_cast<std::size_t>(parameters.downscale);
    const auto stride = static_cast<std::size_t>(pictureWidth) * 2;
    const uint32_t area = static_cast<uint32_t>(d * d);
    for (int32_t cy = 0; cy < rows; ++cy) {
        std::fill(rowSums.begin(), rowSums.end(), 0u);
        for (std::size_t dy = 0; dy < d; ++dy) {
            const uint8_t* line = picture.data() + (static_cast<std::size_t>(cy) * d + dy) * stride;
            if (d == 4)
                SumRow<4>(line, d, rowSums);
            else
                SumRow<0>(line, d, rowSums);
        }
        int32_t* out = luma.data() + static_cast<std::size_t>(cy) * rowSums.size();
        for (std::size_t cx = 0; cx < rowSums.size(); ++cx)
            out[cx] = static_cast<int32_t>((rowSums[cx] * 256 + area / 2) / area);
    }
}

inline int32_t MotionModel::Residual(std::size_t cell) const
{
    // Within 32 bits: mean < 2^16 and gain < 2^10.
    return luma[cell] - (mean[cell] * gain + 128) / 256 - offset;
}

void MotionModel::FitLight()
{
    gain = 256;
    offset = 0;
    for (int round = 0; round < kLightRounds; ++round) {
        std::array<uint32_t, kGainBins> gains{};
        uint32_t gainCells = 0;
        for (std::size_t cell = 0; cell < luma.size(); cell += kLightSample) {
            if (mean[cell] < kGainMinimumLevel * 256)
                continue;
            // Within 32 bits: |luma - offset| < 2^17 and mean >= 2^12.
            const int32_t ratio = ((luma[cell] - offset) * 256 + mean[cell] / 2) / mean[cell];
            ++gains[static_cast<std::size_t>(std::clamp(ratio, 0, kGainBins - 1))];
            ++gainCells;
        }
        if (gainCells > 0)
            gain = MedianBin(gains, gainCells);
        std::array<uint32_t, kOffsetBins> offsets{};
        uint32_t offsetCells = 0;
        for (std::size_t cell = 0; cell < luma.size(); cell += kLightSample) {
            const int32_t diff = luma[cell] - (mean[cell] * gain + 128) / 256;
            ++offsets[static_cast<std::size_t>(std::clamp((diff + 128) >> 8, -255, 255) + 255)];
            ++offsetCells;
        }
        offset = (MedianBin(offsets, offsetCells) - 255) * 256;
    }
}

uint32_t MotionModel::CountMoving()
{
    std::fill(kept.begin(), kept.end(), uint8_t{0});
    // Lone cells (noise, a compression block) do not count.
    for (int32_t y = regionTop; y < regionBottom; ++y) {
        for (int32_t x = regionLeft; x < regionRight; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(columns) + x;
            if (!mask[at])
                continue;
            int neighbours = 0;
            for (int32_t ny = std::max(y - 1, 0); ny <= std::min(y + 1, rows - 1); ++ny)
                for (int32_t nx = std::max(x - 1, 0); nx <= std::min(x + 1, columns - 1); ++nx)
                    neighbours += mask[static_cast<std::size_t>(ny) * static_cast<std::size_t>(columns) + nx];
            kept[at] = neighbours - 1 >= kMinNeighbours ? 1 : 0;
        }
    }
    // Each patch of kept cells (8-connected, inside the region) followed
    // once; it counts when enough of it changed since the frame before.
    uint32_t moving = 0;
    for (int32_t y = regionTop; y < regionBottom; ++y) {
        for (int32_t x = regionLeft; x < regionRight; ++x) {
            const std::size_t seed = static_cast<std::size_t>(y) * static_cast<std::size_t>(columns) + x;
            if (kept[seed] != 1)
                continue;
            kept[seed] = 2;
            std::size_t depth = 0;
            stack[depth++] = static_cast<uint32_t>(seed);
            uint32_t cells = 0, changing = 0;
            while (depth > 0) {
                const std::size_t at = stack[--depth];
                ++cells;
                changing += changed[at];
                const auto cy = static_cast<int32_t>(at / static_cast<std::size_t>(columns));
                const auto cx = static_cast<int32_t>(at % static_cast<std::size_t>(columns));
                for (int32_t ny = std::max(cy - 1, regionTop); ny <= std::min(cy + 1, regionBottom - 1); ++ny)
                    for (int32_t nx = std::max(cx - 1, regionLeft); nx <= std::min(cx + 1, regionRight - 1); ++nx) {
                        const std::size_t next = static_cast<std::size_t>(ny) * static_cast<std::size_t>(columns) + nx;
                        if (kept[next] == 1) {
                            kept[next] = 2;  // each cell is pushed once: the stack never exceeds the cells
                            stack[depth++] = static_cast<uint32_t>(next);
                        }
                    }
            }
            if (changing >= parameters.movingCells)
                moving += cells;
        }
    }
    return moving;
}

platform::Result<FrameShare> MotionModel::Feed(std::span<const uint8_t> picture, int32_t pictureWidth,
                                               int32_t pictureHeight)
{
    if (!usable)
        return usable.Failure();
    if (pictureWidth <= 0 || pictureHeight <= 0 || pictureWidth > kMaxSide || pictureHeight > kMaxSide ||
        pictureWidth % 2 != 0)
        return Refusal("A picture of " + Size(pictureWidth, pictureHeight) + " from camera " +
                       std::to_string(camera + 1) + " is refused: its width must be even and both sides from 1 to " +
                       std::to_string(kMaxSide) + ".");
    const uint64_t needed = uint64_t{static_cast<uint32_t>(pictureWidth)} * static_cast<uint32_t>(pictureHeight) * 2;
    if (picture.size() < needed)
        return Refusal("A " + Size(pictureWidth, pictureHeight) + " picture from camera " + std::to_string(camera + 1) +
                       " has " + std::to_string(picture.size()) + " bytes, not " + std::to_string(needed) + ".");
    if (frames == 0) {
        if (auto started = Start(pictureWidth, pictureHeight); !started)
            return started.Failure();
    } else if (pictureWidth != width || pictureHeight != height) {
        return Refusal("Camera " + std::to_string(camera + 1) + " changed its picture from " + Size(width, height) +
                       " to " + Size(pictureWidth, pictureHeight) + " within one record.");
    }

    Reduce(picture, pictureWidth);
    FrameShare share;
    share.cells = static_cast<uint32_t>((regionRight - regionLeft) * (regionBottom - regionTop));
    if (frames == 0) {
        std::copy(luma.begin(), luma.end(), mean.begin());
        std::copy(luma.begin(), luma.end(), previous.begin());
        frames = 1;
        share.warmingUp = true;  // nothing to compare with yet
        return share;
    }

    const int64_t floor = int64_t{parameters.floorLevels} * 256;
    const int64_t k2 = int64_t{parameters.kTenths} * parameters.kTenths;
    // What changed since the frame before, over the whole picture: when
    // most of it did, the light changed, and nothing is learnt from it.
    uint32_t changes = 0;
    for (std::size_t cell = 0; cell < luma.size(); ++cell) {
        changed[cell] = std::abs(luma[cell] - previous[cell]) > floor ? 1 : 0;
        changes += changed[cell];
    }
    std::copy(luma.begin(), luma.end(), previous.begin());
    const bool warming = frames < parameters.warmupFrames;
    ++frames;
    if (uint64_t{changes} * 1000 >= uint64_t{parameters.globalPermille} * luma.size()) {
        share.warmingUp = warming;
        share.lightChange = !warming;
        return share;
    }

    FitLight();
    // Early on the background is the plain average of the frames so far;
    // then it follows at the learning rate, a foreground cell 16 times
    // slower, and one that stood still in the foreground for absorbFrames
    // is the background from then on.
    const int64_t rate = int64_t{1} << parameters.learningShift;
    const int64_t warmDivisor = std::min<int64_t>(static_cast<int64_t>(frames), rate);
    for (std::size_t cell = 0; cell < luma.size(); ++cell) {
        const int64_t r = Residual(cell);
        const bool foreground = std::abs(r) > floor && r * r * 100 > k2 * variance[cell];
        mask[cell] = foreground ? 1 : 0;
        still[cell] = foreground && !changed[cell] && !warming ? still[cell] + 1 : 0;
        if (still[cell] >= parameters.absorbFrames) {
            mean[cell] = luma[cell];
            still[cell] = 0;
            continue;
        }
        if (warming) {
            mean[cell] += static_cast<int32_t>((luma[cell] - mean[cell]) / warmDivisor);
            variance[cell] += (r * r - variance[cell]) / warmDivisor;
            continue;
        }
        const uint32_t shift = parameters.learningShift + (foreground ? kForegroundSlowdownShift : 0);
        mean[cell] += DivideByPowerOfTwo(luma[cell] - mean[cell], shift);
        variance[cell] += DivideByPowerOfTwo(r * r - variance[cell], shift);
    }
    if (warming) {
        share.warmingUp = true;
        return share;
    }
    share.foreground = CountMoving();
    return share;
}

}  // namespace playback
