#pragma once
// Baseline JPEG codec (sequential DCT, Huffman, JFIF) behind a properties
// record: the caller fills the record, calls an operation and checks its
// result code (0 = success, negative = failure, see ResultText).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace picture::jpeg {

enum Result : int {
    RoiSuccess = 2,
    InterruptSuccess = 1,
    Success = 0,
    Exception = -1,
    InvalidEncoder = -2,
    UnsupportedSubsampling = -3,
    UnsupportedBytesPerPixel = -4,
    MemoryError = -5,
    BadHuffmanTable = -6,
    BadQuantizationTable = -7,
    InvalidProperties = -8,
    ErrorCloseFile = -9,
    InvalidFileName = -10,
    ErrorEof = -11,
    NotSupported = -12,
    NotJpeg = -13,
    ErrorComp = -14,
    ErrorSof = -15,
    ErrorDnl = -16,
    NoHuffmanTable = -17,
    NoQuantizationTable = -18,
    NoFrame = -19,
    MultipleFrames = -20,
    DataError = -21,
    NoImage = -22,
    FileError = -23,
    InternalError = -24,
    BadRstMarker = -25,
    ThumbnailTooSmall = -26,
    ThumbnailWrongColour = -27,
    OutputBufferTooSmall = -28,
    UnsupportedFrame = -29,
    CommentBufferError = -30,
    Reserved = -99,
};

// The fixed text of a result code; "Unknown error code" for any other value.
const char* ResultText(int code);

enum class Colour { Unknown, Bgr, Grey, YCbCr };

// Chroma subsampling for writing. S420 halves chroma both ways (what older
// libraries called "411").
enum class Subsampling { S444, S422, S420 };

// Largest picture the codec accepts, in pixels; refused before any allocation.
inline constexpr std::int64_t kMaxPixels = std::int64_t{1} << 26;

struct DecoderState;

struct JpegProperties {
    JpegProperties();
    ~JpegProperties();
    JpegProperties(const JpegProperties&) = delete;
    JpegProperties& operator=(const JpegProperties&) = delete;

    // Uncompressed side. dibHeight > 0: first row in memory is the top row;
    // dibHeight < 0: first row in memory is the bottom row. dibSize is the
    // number of bytes the caller's buffer holds; no access goes beyond it.
    std::uint8_t* dibBytes = nullptr;
    std::size_t dibSize = 0;
    int dibWidth = 0;
    int dibHeight = 0;
    int dibPadBytes = 0;
    int dibChannels = 3;
    Colour dibColour = Colour::Bgr;

    // Compressed side. For reading from memory, jpegBytes/jpegSize are the
    // input; for writing, the output buffer and its capacity, and jpegSize
    // holds the number of bytes produced after a successful write.
    std::string jpegFileName;
    std::uint8_t* jpegBytes = nullptr;
    std::size_t jpegSize = 0;
    int jpegWidth = 0;
    int jpegHeight = 0;
    int jpegChannels = 0;
    Colour jpegColour = Colour::Unknown;
    Subsampling jpegSubsampling = Subsampling::S420;
    int quality = 75;
    // Writing: Huffman tables built from the picture's own statistics
    // (smaller files, one more pass) instead of the standard ones.
    bool optimalHuffman = false;

    std::unique_ptr<DecoderState> state;  // codec's internal state
};

int Init(JpegProperties& props);
// Parse the headers of jpegFileName; fills jpegWidth/Height/Channels/Colour.
int ReadParamsFromFile(JpegProperties& props);
// Decode jpegFileName into the DIB described by the dib* fields.
int ReadImageFromFile(JpegProperties& props);
// The same for a stream in memory (jpegBytes, jpegSize).
int ReadParamsFromMemory(JpegProperties& props);
int ReadImageFromMemory(JpegProperties& props);
// Encode the DIB into jpegBytes (capacity jpegSize); sets jpegSize.
int WriteImageToBuffer(JpegProperties& props);
// Frees the internal state; the record may be initialised again.
int Release(JpegProperties& props);

}  // namespace picture::jpeg
