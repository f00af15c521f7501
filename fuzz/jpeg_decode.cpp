// Decoder input from anywhere: headers, tables, scans, then the pixels.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "picture/bmp_format.h"
#include "picture/jpeg/jpeg_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    picture::jpeg::JpegProperties props;
    picture::jpeg::Init(props);
    props.jpegBytes = const_cast<std::uint8_t*>(data);
    props.jpegSize = size;
    if (picture::jpeg::ReadParamsFromMemory(props) != picture::jpeg::Success)
        return 0;
    const int w = props.jpegWidth, h = props.jpegHeight;
    if (static_cast<std::int64_t>(w) * h > (std::int64_t{1} << 22))
        return 0;  // keeps runs fast; the codec's own limit is tested elsewhere
    const int pad = static_cast<int>(picture::DibStride(w, 24)) - 3 * w;
    std::vector<std::uint8_t> dib(static_cast<std::size_t>(3 * w + pad) * static_cast<std::size_t>(h));
    props.dibBytes = dib.data();
    props.dibSize = dib.size();
    props.dibWidth = w;
    props.dibHeight = (size & 1) ? h : -h;
    props.dibPadBytes = pad;
    picture::jpeg::ReadImageFromMemory(props);
    picture::jpeg::Release(props);
    return 0;
}
