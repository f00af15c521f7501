#include "picture/jpeg/encode_to_memory.h"
#include "picture/bmp_format.h"

#include "picture/jpeg/jpeg_codec.h"

namespace picture::jpeg {

std::size_t EncodeJpegToMemory(std::span<std::uint8_t> out, const std::uint8_t* pixels, int width, int height,
                               int quality)
{
    if (!pixels || width <= 0 || height <= 0)
        return 0;
    jpeg::JpegProperties props;
    if (jpeg::Init(props) != jpeg::Success)
        return 0;
    const int pad = static_cast<int>(picture::DibStride(width, 24)) - 3 * width;
    props.dibBytes = const_cast<std::uint8_t*>(pixels);  // only read when encoding
    props.dibSize = static_cast<std::size_t>(3 * width + pad) * static_cast<std::size_t>(height);
    props.dibWidth = width;
    props.dibHeight = -height;  // bottom-up
    props.dibPadBytes = pad;
    props.dibChannels = 3;
    props.dibColour = jpeg::Colour::Bgr;
    props.jpegWidth = width;
    props.jpegHeight = height;
    props.jpegChannels = 3;
    props.jpegColour = jpeg::Colour::YCbCr;
    props.jpegSubsampling = jpeg::Subsampling::S420;
    props.quality = quality;
    props.optimalHuffman = true;
    props.jpegBytes = out.data();
    props.jpegSize = out.size();
    const int result = jpeg::WriteImageToBuffer(props);
    jpeg::Release(props);
    return result == jpeg::Success ? props.jpegSize : 0;
}

}  // namespace picture::jpeg
