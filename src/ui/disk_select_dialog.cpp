#include "ui/disk_select_dialog.h"

#include <QStringList>

#include <algorithm>
#include <filesystem>
#include <string>

#include "disk/raw_disk.h"
#include "platform/drive_table.h"
#include "ui/dialog_layout.h"

namespace ui {
namespace {

// Room below the buttons for four lines of notice, in dialog units.
constexpr int kNoticeTop = 102;
constexpr int kNoticeHeight = 34;

QString Names(const QStringList& names) { return names.join(QStringLiteral(", ")); }

}  // namespace

DiskSelectDialog::DiskSelectDialog(QWidget* mainWindow)
    : QDialog(mainWindow), list(this, {{"HDD", 38}, {"Size", 89}, {"Name", 200}}), okButton(QStringLiteral("OK"), this),
      cancelButton(QStringLiteral("Cancel"), this), notice(this)
{
    setWindowTitle(QStringLiteral("Disk Select"));
    const DialogUnits units(font());
    setFixedSize(units.X(203), units.Y(104));
    list.setGeometry(units.Rect(7, 7, 189, 71));
    okButton.setGeometry(units.Rect(48, 85, 50, 14));
    cancelButton.setGeometry(units.Rect(107, 85, 50, 14));
    okButton.setDefault(true);
    connect(&okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(&cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    notice.setGeometry(units.Rect(7, kNoticeTop, 189, kNoticeHeight));
    notice.setWordWrap(true);
    notice.setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Fill();
    // An ordinary user sees no block device at all: an empty list must say why.
    const bool hasNotice = !notice.text().isEmpty();
    notice.setVisible(hasNotice);
    if (hasNotice)
        setFixedSize(units.X(203), units.Y(kNoticeTop + kNoticeHeight + 4));
    PlaceFromWindow(*this, mainWindow, QPoint(150, 150));
    selectedDrive = -1;
    SelectRow(0);
    list.OnMarkChanged([this](int row) { SelectRow(row); });
}

DiskSelectDialog::~DiskSelectDialog() = default;

int DiskSelectDialog::RowDrive(int row) const { return row >= 0 && row < rowCount ? rowDrives[size_t(row)] : -1; }

void DiskSelectDialog::Fill()
{
    rowCount = 0;
    // RawDisk::Open resolves drive numbers against this same snapshot.
    const std::vector<platform::DriveInfo> drives = platform::SnapshotDrives();
    const int count = static_cast<int>(std::min<size_t>(drives.size(), platform::kMaxDrives));
    QStringList closedDevices;
    QStringList closedImages;
    for (int i = 0; i < count && rowCount < kMaxRows; ++i) {
        disk::RawDisk drive;
        if (!drive.Open(i)) {
            const platform::DriveInfo& info = drives[size_t(i)];
            const QString name = QString::fromStdString(std::filesystem::path(info.path).filename().string());
            (info.isImage ? closedImages : closedDevices).append(name);
            continue;
        }
        disk::DiskGeometry geometry;
        if (drive.HasVolumeSignature() && drive.QueryGeometry(geometry)) {
            const int row = list.AddRow();
            rowDrives[size_t(row)] = i;
            list.SetText(row, 0, QString::number(row));
            // The geometry's product, as the recorder's tools size a disk,
            // not the byte count.
            const uint64_t bytes = uint64_t(geometry.bytesPerSector) * geometry.sectorsPerTrack *
                                   geometry.tracksPerCylinder * uint64_t(std::max<int64_t>(geometry.cylinders, 0));
            list.SetText(row, 1, QStringLiteral("%1 GBytes").arg(bytes >> 30));
            list.SetText(row, 2, QString::fromStdString(drives[size_t(i)].description));
            ++rowCount;
        }
        drive.Close();
    }
    QStringList lines;
    if (!closedDevices.isEmpty())
        lines.append(QStringLiteral("Some disks could not be opened (%1): run as root or join the 'disk' group.")
                         .arg(Names(closedDevices)));
    if (!closedImages.isEmpty())
        lines.append(QStringLiteral("Some images could not be opened (%1).").arg(Names(closedImages)));
    notice.setText(lines.join(QLatin1Char('\n')));
}

void DiskSelectDialog::SelectRow(int row)
{
    if (row < 0 || row >= rowCount)
        return;
    list.SetSelectionMark(row);
    selectedDrive = rowDrives[size_t(row)];
}

}  // namespace ui
