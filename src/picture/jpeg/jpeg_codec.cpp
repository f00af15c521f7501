#include "picture/jpeg/jpeg_codec.h"

#include <cstdio>

#include "picture/jpeg/decoder_state.h"
#include "picture/jpeg/encoder.h"
#include "platform/regular_file.h"

namespace picture::jpeg {

JpegProperties::JpegProperties() = default;
JpegProperties::~JpegProperties() = default;

const char* ResultText(int code)
{
    switch (code) {
    case RoiSuccess: return "ROI Success";
    case InterruptSuccess: return "Interrupt Success";
    case Success: return "Success";
    case Exception: return "Exception detected";
    case InvalidEncoder: return "Invalid Encoder";
    case UnsupportedSubsampling: return "Unsupported subsampling";
    case UnsupportedBytesPerPixel: return "Unsupported bytes per pixel";
    case MemoryError: return "Memory error";
    case BadHuffmanTable: return "Bad Huffman table";
    case BadQuantizationTable: return "Bad Quantization table";
    case InvalidProperties: return "Invalid JPEG_PROPERTIES";
    case ErrorCloseFile: return "Error close file";
    case InvalidFileName: return "Invalid file name";
    case ErrorEof: return "Error EOF";
    case NotSupported: return "Not supported";
    case NotJpeg: return "Not JPEG";
    case ErrorComp: return "Error COMP";
    case ErrorSof: return "Error SOF";
    case ErrorDnl: return "Error DNL";
    case NoHuffmanTable: return "No Huffman table";
    case NoQuantizationTable: return "No Quantization table";
    case NoFrame: return "No frame";
    case MultipleFrames: return "Multiply frame";
    case DataError: return "Data error";
    case NoImage: return "No image";
    case FileError: return "File error";
    case InternalError: return "Internal error";
    case BadRstMarker: return "Bad RST marker";
    case ThumbnailTooSmall: return "Thumbnail too small";
    case ThumbnailWrongColour: return "Thumbnail has wrong color";
    case OutputBufferTooSmall: return "Output buffer too small";
    case UnsupportedFrame: return "Unsupported frame was found";
    case CommentBufferError: return "Error access to jpeg_comment buffer";
    case Reserved: return "Reserved";
    default: return "Unknown error code";
    }
}

int Init(JpegProperties& props)
{
    props.state.reset();
    props.dibBytes = nullptr;
    props.dibSize = 0;
    props.dibWidth = props.dibHeight = props.dibPadBytes = 0;
    props.dibChannels = 3;
    props.dibColour = Colour::Bgr;
    props.jpegFileName.clear();
    props.jpegBytes = nullptr;
    props.jpegSize = 0;
    props.jpegWidth = props.jpegHeight = props.jpegChannels = 0;
    props.jpegColour = Colour::Unknown;
    props.jpegSubsampling = Subsampling::S420;
    props.quality = 75;
    props.optimalHuffman = false;
    return Success;
}

int Release(JpegProperties& props)
{
    props.state.reset();
    return Success;
}

namespace {

// Largest file the decoder reads; far above any picture it would accept.
constexpr long kMaxFileBytes = 256L << 20;

int LoadFile(const std::string& path, std::vector<std::uint8_t>& out)
{
    if (path.empty())
        return InvalidFileName;
    platform::UniqueFile file = platform::OpenRegularFile(path.c_str());
    std::FILE* f = file.get();
    if (!f)
        return InvalidFileName;
    int result = Success;
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        size = std::ftell(f);
    if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0)
        result = FileError;
    else if (size > kMaxFileBytes)
        result = MemoryError;
    else {
        out.resize(static_cast<std::size_t>(size));
        if (size > 0 && std::fread(out.data(), 1, out.size(), f) != out.size())
            result = FileError;
    }
    if (std::fclose(file.release()) != 0 && result == Success)
        result = ErrorCloseFile;
    return result;
}

int ReadParams(JpegProperties& props)
{
    DecoderState& s = *props.state;
    if (const int r = ParseHeaders(s); r != Success)
        return r;
    props.jpegWidth = s.width;
    props.jpegHeight = s.height;
    props.jpegChannels = s.componentCount;
    props.jpegColour = s.componentCount == 1 ? Colour::Grey : s.componentCount == 3 ? Colour::YCbCr : Colour::Unknown;
    return Success;
}

int ReadImage(JpegProperties& props)
{
    DecoderState& s = *props.state;
    if (!s.headerRead)
        if (const int r = ReadParams(props); r != Success)
            return r;
    if (s.componentCount != 1 && s.componentCount != 3)
        return NotSupported;
    if (props.dibChannels != 3 || props.dibColour != Colour::Bgr)
        return UnsupportedBytesPerPixel;
    // No scaling: the DIB is the picture's size, in either row order.
    const int rows = props.dibHeight < 0 ? -props.dibHeight : props.dibHeight;
    if (!props.dibBytes || props.dibWidth != s.width || rows != s.height || props.dibPadBytes < 0)
        return InvalidProperties;
    const std::size_t needed = (static_cast<std::size_t>(s.width) * 3 + static_cast<std::size_t>(props.dibPadBytes)) *
                               static_cast<std::size_t>(s.height);
    if (props.dibSize < needed)
        return InvalidProperties;
    if (const int r = DecodeScans(s); r != Success)
        return r;
    return WriteDib(s, props);
}

}  // namespace

int ReadParamsFromFile(JpegProperties& props)
{
    props.state = std::make_unique<DecoderState>();
    if (const int r = LoadFile(props.jpegFileName, props.state->fileData); r != Success)
        return r;
    props.state->data = props.state->fileData;
    return ReadParams(props);
}

int ReadImageFromFile(JpegProperties& props)
{
    if (!props.state || !props.state->headerRead)
        if (const int r = ReadParamsFromFile(props); r != Success)
            return r;
    return ReadImage(props);
}

int ReadParamsFromMemory(JpegProperties& props)
{
    props.state = std::make_unique<DecoderState>();
    if (!props.jpegBytes && props.jpegSize)
        return InvalidProperties;
    props.state->data = std::span<const std::uint8_t>(props.jpegBytes, props.jpegSize);
    return ReadParams(props);
}

int ReadImageFromMemory(JpegProperties& props)
{
    if (!props.state || !props.state->headerRead)
        if (const int r = ReadParamsFromMemory(props); r != Success)
            return r;
    return ReadImage(props);
}

int WriteImageToBuffer(JpegProperties& props) { return EncodeImage(props); }

}  // namespace picture::jpeg
