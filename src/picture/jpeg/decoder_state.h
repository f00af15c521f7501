#pragma once
// The decoder's internal state: what the headers said, the tables, and the
// decoded component planes. Lives in JpegProperties::state between the
// parameter read and the image read.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "picture/jpeg/huffman.h"
#include "picture/jpeg/jpeg_codec.h"

namespace picture::jpeg {

struct FrameComponent {
    int id = 0;
    int h = 1, v = 1;  // sampling factors
    int quantTable = 0;
    int width = 0, height = 0;           // samples in the image
    int blocksWide = 0, blocksHigh = 0;  // blocks holding those samples
    int planeStride = 0, planeRows = 0;  // whole MCUs, a multiple of 8 each way
    std::vector<std::uint8_t> plane;
    std::array<std::uint16_t, 64> quant{};  // latched at the component's first scan
    bool hasQuant = false;
};

struct DecoderState {
    std::vector<std::uint8_t> fileData;  // the whole file, when read from a file
    std::span<const std::uint8_t> data;
    std::size_t firstScan = 0;  // offset of the first SOS marker
    bool headerRead = false;

    bool hasFrame = false;
    int width = 0, height = 0;
    int hMax = 1, vMax = 1;
    int mcusWide = 0, mcusHigh = 0;
    int componentCount = 0;
    std::array<FrameComponent, 4> components;

    std::array<std::array<std::uint16_t, 64>, 4> quant{};  // natural order
    std::array<bool, 4> hasQuant{};
    std::array<HuffmanDecodeTable, 4> dcTables;
    std::array<HuffmanDecodeTable, 4> acTables;
    std::array<bool, 4> hasDc{};
    std::array<bool, 4> hasAc{};
    int restartInterval = 0;
    bool planesReady = false;
};

// Parses from SOI up to the first SOS; fills the frame fields.
int ParseHeaders(DecoderState& s);
// Marker helpers shared by the two: the next marker code from `at` (-1 at the
// end), and one table/frame segment whose length field is at `at`.
int NextMarker(const DecoderState& s, std::size_t& at);
int ParseSegment(DecoderState& s, int marker, std::size_t& at);
// Decodes every scan from the first SOS to EOI into the planes.
int DecodeScans(DecoderState& s);
// Upsamples and converts the planes into the caller's DIB.
int WriteDib(const DecoderState& s, JpegProperties& props);

// Big-endian reads within the stream; the callers check the bounds.
inline int ReadU16(std::span<const std::uint8_t> d, std::size_t at) { return (d[at] << 8) | d[at + 1]; }

// The body of the marker segment whose length field stands at `at`; moves
// at past the segment. False when the length is impossible or runs past
// the data.
inline bool TakeSegment(std::span<const std::uint8_t> d, std::size_t& at, std::span<const std::uint8_t>& body)
{
    if (at > d.size() || d.size() - at < 2)
        return false;
    const int length = ReadU16(d, at);
    if (length < 2 || d.size() - at < static_cast<std::size_t>(length))
        return false;
    body = d.subspan(at + 2, static_cast<std::size_t>(length - 2));
    at += static_cast<std::size_t>(length);
    return true;
}

}  // namespace picture::jpeg
