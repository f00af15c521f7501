#include "ui/dialog_layout.h"

#include <QFont>
#include <QFontMetrics>
#include <QString>
#include <QWidget>

namespace ui {

DialogUnits::DialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    // Rounded as the dialog manager rounds it.
    const int width = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    if (width > 0)
        baseX = width;
    if (metrics.height() > 0)
        baseY = metrics.height();
}

void PlaceFromWindow(QWidget& dialog, const QWidget* mainWindow, QPoint offset)
{
    if (!mainWindow)
        return;
    const QPoint corner =
        mainWindow->isWindow() ? mainWindow->frameGeometry().topLeft() : mainWindow->mapToGlobal(QPoint(0, 0));
    dialog.move(corner + offset);
}

}  // namespace ui
