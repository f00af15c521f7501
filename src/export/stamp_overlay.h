#pragma once
// The recorder time burnt into an exported YUV frame: the text drawn once
// per change of text (once a second) by the platform's text call, black at
// (9, 9) and white at (10, 10) as the snapshot draws it on its pixels, kept
// as coverage and luma and blended into every frame of that second. The
// stamp is grey (black, white and their antialiased blend), so its chroma
// is neutral: the frame's chroma is pulled toward grey by the coverage.
// Buffers are made in Setup; nothing is allocated per frame.
//
// Threads: one caller at a time (the export worker).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/yuv_planes.h"

class QImage;

namespace exporter {

class StampOverlay {
public:
    StampOverlay();
    ~StampOverlay();
    StampOverlay(const StampOverlay&) = delete;
    StampOverlay& operator=(const StampOverlay&) = delete;

    // For frames of width x height; false for an empty size.
    bool Setup(int width, int height);
    // Draws text into frame (whose size Setup was given). Without a GUI
    // application there are no fonts and no stamp, as for snapshots.
    void Blend(const char* text, const platform::YuvPlanes& frame);

private:
    void Render(const char* text);

    std::unique_ptr<QImage> layer;  // premultiplied ARGB, the frame's top rows
    std::string shown;
    int width = 0;
    int rows = 0;
    // Per pixel of the layer: coverage 0..255 and 255 x the stamp's luma
    // times its coverage; per chroma pixel: the mean coverage of its four.
    std::vector<uint8_t> alpha;
    std::vector<uint16_t> luma;
    std::vector<uint8_t> chromaAlpha;
    int left = 0, right = 0, top = 0, bottom = 0;  // where any coverage is
};

}  // namespace exporter
