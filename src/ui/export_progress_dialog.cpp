#include "ui/export_progress_dialog.h"

#include <QCloseEvent>
#include <QMetaObject>
#include <QThread>

#include "ui/dialog_layout.h"

namespace ui {

ExportProgressDialog::ExportProgressDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), mainWindow(parent), bar(this),
      stopButton(QStringLiteral("Stop"), this), percentText(this), timeLabel(QStringLiteral("Time Left :"), this),
      timeLeftText(this), secondsLabel(QStringLiteral("Seconds"), this)
{
    setWindowTitle(QStringLiteral("Output File"));
    setModal(false);
    const ui::DialogUnits units(font());
    setFixedSize(units.X(251), units.Y(39));
    bar.setGeometry(units.Rect(7, 20, 165, 12));
    bar.setRange(0, 100);
    bar.setValue(0);
    bar.setTextVisible(false);
    stopButton.setGeometry(units.Rect(202, 19, 42, 12));
    percentText.setGeometry(units.Rect(176, 22, 22, 8));
    percentText.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    timeLabel.setGeometry(units.Rect(9, 6, 40, 10));
    timeLeftText.setGeometry(units.Rect(52, 6, 52, 8));
    timeLeftText.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    secondsLabel.setGeometry(units.Rect(112, 6, 28, 8));
    // Pressing it again is harmless: the flag stays set.
    connect(&stopButton, &QPushButton::clicked, this, [this] { RequestStop(); });
    hide();
}

void ExportProgressDialog::Show()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            ui::PlaceFromWindow(*this, mainWindow, QPoint(kLeftOffset, kTopOffset));
            bar.setValue(0);
            show();
            repaint();
        },
        Qt::QueuedConnection);
}

void ExportProgressDialog::Hide()
{
    QMetaObject::invokeMethod(
        this, [this] { hide(); }, Qt::QueuedConnection);
}

void ExportProgressDialog::SetProgress(int percent, const std::string& percentValue, const std::string& timeLeft)
{
    QMetaObject::invokeMethod(
        this,
        [this, percent, p = QString::fromStdString(percentValue), t = QString::fromStdString(timeLeft)] {
            bar.setValue(percent);
            percentText.setText(p);
            timeLeftText.setText(t);
        },
        Qt::QueuedConnection);
}

void ExportProgressDialog::closeEvent(QCloseEvent* event)
{
    RequestStop();
    QThread::msleep(50);
    QDialog::closeEvent(event);
}

void ExportProgressDialog::reject() { RequestStop(); }

}  // namespace ui
