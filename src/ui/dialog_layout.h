#pragma once
// The dialogs were laid out in dialog units of their font: a horizontal unit
// is a quarter of the font's average character width, a vertical unit an
// eighth of its height. The same rule over the widget's own font keeps their
// proportions whatever font the desktop uses.
#include <QPoint>
#include <QRect>

class QFont;
class QWidget;

namespace ui {

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int X(int units) const { return units * baseX / 4; }
    int Y(int units) const { return units * baseY / 8; }
    QRect Rect(int x, int y, int width, int height) const { return {X(x), Y(y), X(width), Y(height)}; }

private:
    int baseX = 6;
    int baseY = 13;
};

// Puts the dialog's top-left corner at offset from the main window's
// top-left corner, in screen coordinates; without a main window it stays
// where the toolkit puts it.
void PlaceFromWindow(QWidget& dialog, const QWidget* mainWindow, QPoint offset);

}  // namespace ui
