#include "disk/disk_select_dialog.h"

#include <algorithm>
#include <string>

#include "disk/dialog_layout.h"
#include "disk/raw_disk.h"
#include "platform/drive_table.h"

namespace disk {

DiskSelectDialog::DiskSelectDialog(QWidget* mainWindow)
    : QDialog(mainWindow),
      list(this, {{"HDD", 38}, {"Size", 89}, {"Name", 200}}),
      okButton(QStringLiteral("OK"), this),
      cancelButton(QStringLiteral("Cancel"), this)
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
    PlaceFromWindow(*this, mainWindow, QPoint(150, 150));

    Fill();
    selectedDrive = -1;
    SelectRow(0);
    list.OnMarkChanged([this](int row) { SelectRow(row); });
}

DiskSelectDialog::~DiskSelectDialog() = default;

int DiskSelectDialog::RowDrive(int row) const { return row >= 0 && row < rowCount ? rowDrives[size_t(row)] : -1; }

void DiskSelectDialog::Fill()
{
    rowCount = 0;
    const std::vector<platform::DriveInfo> drives = platform::EnumerateDrives();
    const int count = static_cast<int>(std::min<size_t>(drives.size(), platform::kMaxDrives));
    for (int i = 0; i < count && rowCount < kMaxRows; ++i) {
        RawDisk drive;
        if (!drive.Open(i))
            continue;
        DiskGeometry geometry;
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
}

void DiskSelectDialog::SelectRow(int row)
{
    if (row < 0 || row >= rowCount)
        return;
    list.SetSelectionMark(row);
    selectedDrive = rowDrives[size_t(row)];
}

}  // namespace disk
