#pragma once
// The window's background: a rounded slab with room for the video view,
// engraved labels and plates; magenta outside.
#include <QImage>

namespace skingen {

QImage Background();

}  // namespace skingen
