#pragma once
#include "picture/jpeg/jpeg_codec.h"

namespace picture::jpeg {

// Baseline JFIF from the DIB described by props (see WriteImageToBuffer).
int EncodeImage(JpegProperties& props);

}  // namespace picture::jpeg
