#pragma once
// Snapshots: the shown cameras composed afresh from the engine's last decoded
// pictures (not read back from the window), stamped with the playback time,
// and saved as JPEG or BMP. The composition also serves printing.
//
// Runs on the window's thread after playback was halted. The composition
// reads the engine's picture buffers under its stream lock: a tick that was
// under way finishes first, and none starts a step after the halt.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

class QWidget;
namespace picture {
class TBitmap;
}

namespace playback {
class PlaybackEngine;
}

namespace exporter {

constexpr uint32_t kSnapshotBackground = 0x050505;
constexpr uint32_t kPrintBackground = 0xFFFFFF;
constexpr int kJpegQuality = 70;

// Composes the engine's view (WindowWidth x WindowHeight) into out as 24-bit
// blue-green-red pixels, top row first, rows `stride` bytes apart (0: 3 x
// width, unpadded). background is 0xRRGGBB. 1 on success; 0 when the view is
// empty, out too small, the scaler cannot be set up or no picture can be
// decoded (DecodingFailure).
int CapturePicture(const playback::PlaybackEngine& engine, std::span<uint8_t> out, uint32_t background,
                   std::size_t stride = 0);

// Reverses the order of the rows in place. Rows are stride bytes apart, by
// default (width x bitsPerPixel + 7) / 8. False, touching nothing, when the
// pixels are fewer than the rows need.
bool FlipRows(std::span<uint8_t> pixels, int width, int height, int bitsPerPixel, std::size_t stride = 0);

// "2006_03_15_23_59_30_Quad" or "..._Camera02" for the engine's position and view.
std::string DefaultSnapshotName(const playback::PlaybackEngine& engine);

// The file name's extension: what follows its last '.', empty when none.
std::string FileExtension(const std::string& path);

// Saves a 24-bit bottom-up bitmap by the path's extension, compared exactly:
// "jpg" as JPEG (quality 70), "bmp" as a watermarked BMP; anything else
// writes nothing. 1 when the whole file was written.
int SaveSnapshot(picture::TBitmap& bitmap, const std::string& path);

// The save dialog: the chosen path, or nothing when cancelled.
using SaveDialog = std::function<std::optional<std::string>(const std::string& defaultName)>;
// The platform's save dialog, JPEG and BMP filters, overwrite prompt.
SaveDialog FileSaveDialog(QWidget* parent);

// Composes, asks for a path and saves. 1 when a file was written completely.
int TakeSnapshot(const playback::PlaybackEngine& engine, const SaveDialog& dialog);

}  // namespace exporter
