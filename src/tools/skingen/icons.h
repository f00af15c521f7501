#pragma once
// The skin's icons, each drawn centred in a box in one ink colour.
#include <QColor>
#include <QRectF>
#include <QString>

class QPainter;

namespace skingen::icons {

void Close(QPainter& p, const QRectF& box, const QColor& ink);
void Minimize(QPainter& p, const QRectF& box, const QColor& ink);
void Camera(QPainter& p, const QRectF& box, const QColor& ink);
void Printer(QPainter& p, const QRectF& box, const QColor& ink);
void Brackets(QPainter& p, const QRectF& box, const QColor& ink);
void Export(QPainter& p, const QRectF& box, const QColor& ink);
void List(QPainter& p, const QRectF& box, const QColor& ink);
void Disk(QPainter& p, const QRectF& box, const QColor& ink);
void StepBack(QPainter& p, const QRectF& box, const QColor& ink);
void Reverse(QPainter& p, const QRectF& box, const QColor& ink);
void Pause(QPainter& p, const QRectF& box, const QColor& ink);
void Play(QPainter& p, const QRectF& box, const QColor& ink);
void StepForward(QPainter& p, const QRectF& box, const QColor& ink);
void Minus(QPainter& p, const QRectF& box, const QColor& ink);
void Plus(QPainter& p, const QRectF& box, const QColor& ink);
void Speaker(QPainter& p, const QRectF& box, const QColor& ink, bool on);
// A small screen holding a 2 x 2 grid (camera 0) or a camera number.
void Screen(QPainter& p, const QRectF& box, const QColor& ink, int camera);
// Upper-case caption, centred in box.
void Caption(QPainter& p, const QRectF& box, const QColor& ink, const QString& text, int px);

}  // namespace skingen::icons
