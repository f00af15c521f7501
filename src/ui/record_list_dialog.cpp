#include "ui/record_list_dialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QShowEvent>
#include <QTimer>

#include "disk/record_entry.h"
#include "disk/record_time.h"
#include "disk/recovered_recording.h"
#include "platform/app_directory.h"
#include "ui/dialog_layout.h"
#include "ui/message_box.h"

namespace ui {
namespace {

constexpr int kNoPicturesText = 23;
// The recovered recordings' rows: a brown apart from the listed records' black.
const QColor kRecoveredColour(150, 75, 0);

QString RecoveredToolTip(const disk::RecoveredRecording& found)
{
    const uint32_t seconds = found.SegmentCount();
    QString where;
    switch (found.source) {
    case disk::RecoverySource::TableSlot: where = QStringLiteral("table slot %1").arg(found.slot); break;
    case disk::RecoverySource::IndexRun: where = QStringLiteral("index run at entry %1").arg(found.indexOffset); break;
    case disk::RecoverySource::Carved: where = QStringLiteral("carved from sector %1").arg(found.firstSector); break;
    }
    QString text = QStringLiteral("%1: not in the record table (%2), %3 second%4: %5 intact")
                       .arg(QString::fromStdString(found.id), where)
                       .arg(seconds)
                       .arg(seconds == 1 ? "" : "s")
                       .arg(found.Count(disk::SegmentStatus::Intact));
    if (const uint32_t n = found.Count(disk::SegmentStatus::Overwritten))
        text += QStringLiteral(", %1 overwritten").arg(n);
    if (const uint32_t n = found.Count(disk::SegmentStatus::Damaged))
        text += QStringLiteral(", %1 damaged").arg(n);
    if (!found.timeRecorded) {
        text += QStringLiteral("\nIts time was not recorded");
        if (found.bound)
            text += QStringLiteral("; it lies between %1 and %2 (%3)")
                        .arg(QString::fromStdString(disk::FormatRecordTime(found.bound->earliest)),
                             QString::fromStdString(disk::FormatRecordTime(found.bound->latest)),
                             QString::fromStdString(found.bound->reason));
    }
    return text;
}

// The main window's position slider as the preview may use it: the thumb
// follows the preview (the main engine puts it back on Cancel), but the
// segment marks on it are the main engine's and stay.
class PreviewSlider final : public playback::PositionSlider {
public:
    explicit PreviewSlider(playback::PositionSlider& mainSlider) : slider(mainSlider) {}
    int TrackLength() const override { return slider.TrackLength(); }
    bool DrawPosition(int offset) override { return slider.DrawPosition(offset); }
    int PositionOffset() const override { return slider.PositionOffset(); }
    void SetBeginMark(int) override {}
    void SetEndMark(int) override {}
    void ClearMarks() override {}

private:
    playback::PositionSlider& slider;
};

}  // namespace

RecordListDialog::RecordListDialog(QWidget* mainWindow, disk::RecorderVolume& volume, int drive,
                                   playback::VideoDecoder& decoder, playback::PlaybackEngine* engine,
                                   playback::PositionSlider* slider, platform::WindowSurface* mainWindowSurface,
                                   DiskRecovery* diskRecovery)
    : QDialog(mainWindow), previewEngine(decoder),
      previewSlider(slider ? std::make_unique<PreviewSlider>(*slider) : nullptr), mainVolume(volume),
      currentDrive(drive), mainEngine(engine), recovery(diskRecovery), okButton(QStringLiteral("OK"), this),
      cancelButton(QStringLiteral("Cancel"), this),
      list(this, {{"No.", 39}, {"Record", 55}, {"Begin Time", 136}, {"End Time", 136}}), searchStatus(this),
      previewFrame(this), previewView(&previewFrame, 1, 1)
{
    previewEngine.SetHosts(previewSlider.get(), nullptr, mainWindowSurface);

    setWindowTitle(QStringLiteral("File Select"));
    const DialogUnits units(font());
    setFixedSize(units.X(515), units.Y(213));
    okButton.setGeometry(units.Rect(319, 194, 50, 14));
    cancelButton.setGeometry(units.Rect(379, 194, 50, 14));
    list.setGeometry(units.Rect(7, 7, 222, 201));
    searchStatus.setGeometry(units.Rect(238, 190, 78, 20));
    searchStatus.setWordWrap(true);
    okButton.setDefault(true);
    connect(&okButton, &QPushButton::clicked, this, &RecordListDialog::accept);
    connect(&cancelButton, &QPushButton::clicked, this, &RecordListDialog::reject);
    // The timeline shows the disk's records on the clock beside the player;
    // the list, modal, gives way to it.
    addAction(QString(), this, [this] {
        timelineAsked = true;
        reject();
    })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));

    // A black frame with a sunken edge; the preview engine draws inside it.
    previewFrame.setGeometry(units.Rect(238, 7, 270, 181));
    previewFrame.setFrameStyle(QFrame::Panel | QFrame::Sunken);
    previewFrame.setLineWidth(2);
    QPalette black = previewFrame.palette();
    black.setColor(QPalette::Window, Qt::black);
    previewFrame.setPalette(black);
    previewFrame.setAutoFillBackground(true);
    const QRect inside = previewFrame.contentsRect();
    previewView.setGeometry(inside);
    // The engine takes the window's size at Attach, before the first show.
    previewView.Surface().Resize(inside.width(), inside.height());

    PlaceFromWindow(*this, mainWindow, QPoint(-80, 53));

    ListRecords();
    listedRows = list.Rows();
    if (recovery) {
        recovery->OnChange([this] { ShowSearch(); });
        ShowSearch();
    }
    // The preview reads the main volume's disk through a reader of its own:
    // the disk is loaded once. A drive other than the one the main volume
    // came from has nothing to preview.
    if (mainVolume.IsLoaded() && mainVolume.LoadedDrive() == currentDrive)
        previewVolume.Attach(mainVolume.Shared());
    previewLoaded = previewVolume.IsLoaded();
    list.OnMarkChanged([this](int row) { SelectRow(row); });
}

RecordListDialog::~RecordListDialog()
{
    if (recovery)
        recovery->OnChange({});
}

void RecordListDialog::ListRecords()
{
    disk::RecordTime begin;
    uint32_t segments = 0;
    bool more = mainVolume.FirstRecord(begin, segments);
    for (uint32_t r = 0; more; ++r) {
        const int row = list.AddRow();
        list.SetText(row, 0, QString::number(r + 1));
        // A record whose index is damaged is marked beside its kind; it opens
        // with the seconds its index can be trusted for.
        QString kind(QChar::fromLatin1(disk::KindLetter(mainVolume.Record(r).kind)));
        disk::IndexCheck check;
        if (!mainVolume.CheckRecordIndex(r, check) || check.Damaged())
            kind += QStringLiteral(" !");
        list.SetText(row, 1, kind);
        list.SetText(row, 2, QString::fromStdString(disk::FormatRecordTime(begin)));
        list.SetText(row, 3, QString::fromStdString(disk::FormatRecordTime(disk::RecordEndTime(begin, segments))));
        more = mainVolume.NextRecord(begin, segments);
    }
}

void RecordListDialog::ShowSearch()
{
    // Only the search of the disk this list shows has anything to say here.
    const std::shared_ptr<const disk::Volume> shown = mainVolume.Shared();
    const bool ours = shown && (recovery->Scanned() == shown || recovery->VolumeFor(shown));
    const QString text = ours ? QString::fromStdString(recovery->StatusText()) : QString();
    searchStatus.setText(text);
    searchStatus.setToolTip(text);
    if (recovered || !ours || recovery->CurrentState() != DiskRecovery::State::Done)
        return;
    recovered = recovery->VolumeFor(shown);
    if (recovered)
        ListRecovered(*recovered);
}

void RecordListDialog::ListRecovered(const disk::Volume& found)
{
    // A row is its recording's number: the recovered ones follow the listed
    // records only when every listed record has its row.
    if (list.Rows() != static_cast<int>(found.RecordCount()))
        return;
    for (uint32_t n = found.RecordCount(); n < found.RecordingCount(); ++n) {
        const disk::RecoveredRecording* r = found.Recovered(n);
        if (!r)
            break;
        const int row = list.AddRow();
        list.SetText(row, 0, QString::fromStdString(r->id));
        QString kind = r->source == disk::RecoverySource::TableSlot
                           ? QString(QChar::fromLatin1(disk::KindLetter(r->entry.kind)))
                           : QStringLiteral("-");
        if (r->Count(disk::SegmentStatus::Intact) < r->SegmentCount())
            kind += QStringLiteral(" !");
        list.SetText(row, 1, kind);
        if (r->timeRecorded) {
            const disk::RecordTime& begin = r->entry.beginTime;
            list.SetText(row, 2, QString::fromStdString(disk::FormatRecordTime(begin)));
            list.SetText(row, 3,
                         QString::fromStdString(disk::FormatRecordTime(disk::RecordEndTime(begin, r->SegmentCount()))));
        } else {
            list.SetText(row, 2, QStringLiteral("unknown"));
            list.SetText(row, 3, QStringLiteral("unknown"));
        }
        list.SetRowLook(row, kRecoveredColour, RecoveredToolTip(*r));
    }
}

void RecordListDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!firstShow)
        return;
    firstShow = false;
    // After the dialog is on screen: the first record may have a message.
    QTimer::singleShot(0, this, [this] { SelectRow(0); });
}

bool RecordListDialog::PreviewHasPictures() const
{
    // The open record must be the marked one: a record that failed to open
    // leaves the one before it open.
    return previewLoaded && previewVolume.IsLoaded() && selectedRow >= 0 &&
           previewVolume.OpenRecordNumber() == selectedRow && previewVolume.SegmentCount() > 0;
}

void RecordListDialog::ShowNoPictures()
{
    const std::string path = uiTextPath.empty() ? platform::AppDirectory() + "/Tooltip.ini" : uiTextPath;
    ui::LoadUiTexts(texts, path, this);
    textsLoaded = true;
    ui::ShowApplicationMessage(ui::UiString(texts.Text(kNoPicturesText)));
}

void RecordListDialog::SelectRow(int row)
{
    if (row < 0 || row >= list.Rows())
        return;
    list.SetSelectionMark(row);
    selectedRow = row;
    if (!previewLoaded)
        return;
    // A recovered recording is read through the volume that numbers it (the
    // same open disk).
    if (row >= listedRows && recovered && previewVolume.Shared() != recovered)
        previewVolume.Attach(recovered);
    previewEngine.Attach(&previewView.Surface(), &previewVolume, row, currentDrive);
    if (PreviewHasPictures()) {
        previewEngine.GotoStart();
        return;
    }
    // No picture of this record: the last record's must not stand for it.
    {
        platform::WindowSurface& surface = previewView.Surface();
        auto context = surface.Draw(QRect(0, 0, surface.Width(), surface.Height()));
        context.Image().fill(Qt::black);
    }
    ShowNoPictures();
}

void RecordListDialog::accept()
{
    if (PreviewHasPictures()) {
        QDialog::accept();
        return;
    }
    // Never an empty box: the texts are read if no selection has read them.
    if (!textsLoaded) {
        ShowNoPictures();
        return;
    }
    ui::ShowApplicationMessage(ui::UiString(texts.Text(kNoPicturesText)));
}

void RecordListDialog::reject()
{
    // The preview painted the main window's time panel and slider; the main
    // engine puts back its own.
    if (mainEngine && mainEngine->IsReady())
        mainEngine->ShowPosition(mainEngine->Position(), true, true);
    QDialog::reject();
}

void RecordListDialog::closeEvent(QCloseEvent* event)
{
    previewVolume.Close();
    QDialog::closeEvent(event);
}

}  // namespace ui
