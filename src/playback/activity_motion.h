#pragma once
// The exact activity measure of one camera: each decoded picture reduced to
// luma cells (a box of downscale x downscale pixels), compared with a
// background that follows slow changes (a running mean and variance per
// cell), after taking out a change of the whole picture's light (a gain and
// an offset fitted to the cells by medians). Lone foreground cells are
// dropped; the rest are joined into patches (8-connected), and a patch
// counts only while enough of its cells changed since the frame before: the
// place an object left, an object that stopped, or a burnt-in clock's new
// digit stand still, and what stands still in the foreground for
// absorbFrames is taken into the background. A frame in which most of the
// picture changed at once (a flicker, the camera's exposure) counts as
// still and is not learnt. The result is the share of the camera's region
// in moving patches.
//
// Integer arithmetic throughout: the same pictures give the same shares bit
// for bit whatever the machine, thread or order of cameras. Buffers are
// sized at the first picture; Feed allocates nothing after that (only a
// refusal builds its text). One model belongs to one thread.
#include <cstdint>
#include <span>
#include <vector>

#include "platform/error.h"
#include "playback/activity_parameters.h"

namespace playback {

// One frame's foreground cells among the cells of the region.
struct FrameShare {
    uint32_t foreground = 0;
    uint32_t cells = 0;
    // True while the background is still being learnt: foreground is 0.
    bool warmingUp = false;
    // True when the frame changed as a whole (light, not motion): foreground is 0.
    bool lightChange = false;

    double Share() const { return cells == 0 ? 0.0 : static_cast<double>(foreground) / cells; }
    // The share in tenths of a percent, rounded down.
    uint32_t Permille() const { return cells == 0 ? 0 : static_cast<uint32_t>(uint64_t{foreground} * 1000 / cells); }
    // At least permille tenths of a percent of the region, without rounding.
    bool Reaches(uint32_t permille) const
    {
        return cells > 0 && uint64_t{foreground} * 1000 >= uint64_t{permille} * cells;
    }
};

class MotionModel {
public:
    // Pictures up to this size each way are taken; larger ones are refused.
    static constexpr int32_t kMaxSide = 4096;

    // camera 0..3 picks the region of parameters. Bad parameters or camera
    // are told by every Feed.
    MotionModel(const ActivityParameters& parameters, int camera);

    // One YUY2 picture of width x height (its rows packed, two bytes a
    // pixel). The first picture fixes the size; a picture of another size,
    // a span shorter than the size, or a region outside the picture is
    // refused with the reason and changes nothing.
    platform::Result<FrameShare> Feed(std::span<const uint8_t> picture, int32_t width, int32_t height);

    // Pictures taken so far.
    uint64_t Frames() const { return frames; }
    int32_t CellColumns() const { return columns; }
    int32_t CellRows() const { return rows; }

private:
    platform::Result<void> Start(int32_t width, int32_t height);
    void Reduce(std::span<const uint8_t> picture, int32_t width);
    // The frame's light against the background: gain and offset.
    void FitLight();
    // The residual of a cell (in 1/256 luma levels) after the frame's light.
    int32_t Residual(std::size_t cell) const;
    // Foreground cells of the region (after the lone-cell filter) in
    // patches with at least movingCells changed cells.
    uint32_t CountMoving();

    ActivityParameters parameters;
    int camera;
    platform::Result<void> usable;

    int32_t width = 0;
    int32_t height = 0;
    int32_t columns = 0;  // cells across
    int32_t rows = 0;     // cells down
    // The region in cells: [regionLeft, regionRight) x [regionTop, regionBottom).
    int32_t regionLeft = 0, regionTop = 0, regionRight = 0, regionBottom = 0;
    uint64_t frames = 0;

    std::vector<uint32_t> rowSums;  // one row of cells being summed
    std::vector<int32_t> luma;      // this picture's cells, 1/256 levels
    std::vector<int32_t> mean;      // background mean, 1/256 levels
    std::vector<int64_t> variance;  // background variance, (1/256 levels)^2
    std::vector<int32_t> previous;  // the frame before's cells, 1/256 levels
    std::vector<uint8_t> mask;      // foreground before the lone-cell filter
    std::vector<uint8_t> changed;   // differs from the frame before
    std::vector<uint8_t> kept;      // foreground after the filter; 2: counted in a patch
    std::vector<uint32_t> still;    // frames each cell has been foreground without changing
    std::vector<uint32_t> stack;    // cells of the patch being followed
    // This frame's light: luma = mean * gain / 256 + offset (1/256 levels).
    int32_t offset = 0;
    int32_t gain = 256;
};

}  // namespace playback
