#pragma once
// "File Select": lists the records of the loaded disk with number, kind,
// begin and end time, and previews the marked record's first pictures.
// The preview reads the main volume's loaded disk (its shared Volume)
// through a reader and an engine of its own, so the main playback state is
// left as it was.
//
// Below the listed records, in a colour of their own, the recordings the
// disk search found that the record table no longer lists (their ids in
// the first column; "unknown" where their time was not recorded). Their
// rows are their recording numbers, after the listed records'. While the
// search runs its progress shows beside the buttons, and its rows are
// added when it ends.
#include <QDialog>
#include <QFrame>
#include <QPushButton>

#include <memory>
#include <string>

#include "disk/recorder_volume.h"
#include "playback/playback_engine.h"
#include <QLabel>

#include "ui/disk_recovery.h"
#include "ui/report_list.h"
#include "ui/surface_view.h"
#include "ui/ui_text_table.h"

namespace platform {
class WindowSurface;
}

namespace ui {

class RecordListDialog : public QDialog {
public:
    // mainVolume must be loaded; currentDrive is the drive it was loaded
    // from. mainEngine, slider, mainWindowSurface and recovery may be null.
    RecordListDialog(QWidget* mainWindow, disk::RecorderVolume& mainVolume, int currentDrive,
                     playback::VideoDecoder& decoder, playback::PlaybackEngine* mainEngine,
                     playback::PositionSlider* slider, platform::WindowSurface* mainWindowSurface,
                     DiskRecovery* recovery = nullptr);
    ~RecordListDialog() override;

    // The marked record (its list row); -1 before the dialog was shown.
    int SelectedRecord() const { return selectedRow; }
    // Ctrl+T closed the dialog (as Cancel does) for the timeline window.
    bool TimelineAsked() const { return timelineAsked; }

    // Where the UI texts are read from (Tooltip.ini beside the executable
    // unless set).
    void SetUiTextPath(std::string path) { uiTextPath = std::move(path); }

    ReportList& List() { return list; }
    // Rows of the listed records; the recovered recordings' follow.
    int ListedRows() const { return listedRows; }
    QString SearchStatus() const { return searchStatus.text(); }
    bool PreviewLoaded() const { return previewLoaded; }
    platform::WindowSurface& PreviewSurface() { return previewView.Surface(); }
    playback::PlaybackEngine& PreviewEngine() { return previewEngine; }

    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ListRecords();
    // The disk search's state beside the buttons, and its rows once done.
    void ShowSearch();
    void ListRecovered(const disk::Volume& found);
    void SelectRow(int row);
    bool PreviewHasPictures() const;
    void ShowNoPictures();

    disk::RecorderVolume previewVolume;
    playback::PlaybackEngine previewEngine;
    // The preview moves the main window's slider thumb; its marks belong to
    // the main engine.
    std::unique_ptr<playback::PositionSlider> previewSlider;
    ui::UiTextTable texts;
    bool textsLoaded = false;
    std::string uiTextPath;

    disk::RecorderVolume& mainVolume;
    int currentDrive;
    playback::PlaybackEngine* mainEngine;
    DiskRecovery* recovery;
    // The main volume with the recordings found (null until listed).
    std::shared_ptr<const disk::Volume> recovered;
    int listedRows = 0;

    QPushButton okButton;
    QPushButton cancelButton;
    ReportList list;
    QLabel searchStatus;
    QFrame previewFrame;
    ui::SurfaceView previewView;

    bool previewLoaded = false;
    bool timelineAsked = false;
    bool firstShow = true;
    int selectedRow = -1;
};

}  // namespace ui
