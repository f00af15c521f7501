#pragma once
// Where the skin's parts go in the 925 x 640 window: the places that the
// program fixes (video view, time panel, speed box, sliders) and the body
// that our art gives the window.
#include <QRect>
#include <QSize>

namespace skingen {

inline constexpr int kWidth = 925;
inline constexpr int kHeight = 640;
inline const QRect kBody(0, 0, 784, 624);
inline constexpr int kBodyRadius = 18;
inline const QRect kVideo(8, 31, 640, 480);
inline const QRect kTimePanel(470, 512, 172, 26);
inline const QRect kSpeedBox(682, 519, 28, 19);
inline const QRect kTimeAxis(17, 519, 440, 16);
inline const QRect kVolumeAxis(54, 567, 140, 16);
inline constexpr QSize kThumb(13, 16);
inline constexpr QSize kMark(11, 16);

}  // namespace skingen
