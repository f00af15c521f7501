#pragma once
// The small modeless window shown while an export runs: a progress bar, the
// percentage, the seconds left and "Stop". Made once, hidden, with the main
// window as parent; the exporter shows and hides it for each export.
//
// Threads: a Qt widget, so it lives on the window's thread; the export
// worker's Show, Hide and SetProgress are queued to that thread. The stop
// flag (ExportProgress) is the only state the two threads share.
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "export/export_progress.h"

namespace ui {

class ExportProgressDialog : public QDialog, public exporter::ExportProgress {
public:
    static constexpr int kLeftOffset = 120;
    static constexpr int kTopOffset = 220;

    explicit ExportProgressDialog(QWidget* mainWindow);

    void Show() override;
    void Hide() override;
    void SetProgress(int percent, const std::string& percentText, const std::string& timeLeftText) override;

    // For tests: the controls as the user sees them.
    const QProgressBar& Bar() const { return bar; }
    const QLabel& PercentText() const { return percentText; }
    const QLabel& TimeLeftText() const { return timeLeftText; }
    QPushButton& StopButton() { return stopButton; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // Escape would close the dialog without stopping the export.
    void reject() override;

private:
    QWidget* mainWindow;
    QProgressBar bar;
    QPushButton stopButton;
    QLabel percentText;
    QLabel timeLabel;
    QLabel timeLeftText;
    QLabel secondsLabel;
};

}  // namespace ui
