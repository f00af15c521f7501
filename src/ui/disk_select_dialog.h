#pragma once
// "Disk Select": lists the drives that carry the recorder's volume signature
// with their number, size and device name; the chosen drive's number is
// the result. Drives that exist but cannot be opened are named in a line
// below the buttons, with what to do about it.
//
// Each dialog takes one snapshot of the drive table (platform::SnapshotDrives):
// drive numbers keep naming the rows shown, whatever is plugged in meanwhile.
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QString>

#include <array>

#include "ui/report_list.h"

namespace ui {

class DiskSelectDialog : public QDialog {
public:
    static constexpr int kMaxRows = 64;

    // Takes the drive table's snapshot, fills the list and marks its first row.
    explicit DiskSelectDialog(QWidget* mainWindow);
    ~DiskSelectDialog() override;

    // The drive of the marked row; -1 until a row is marked.
    int SelectedDrive() const { return selectedDrive; }

    int RowCount() const { return rowCount; }
    // Drive number of a row; -1 for a row that isn't there.
    int RowDrive(int row) const;
    ReportList& List() { return list; }
    // What could not be opened, and why; empty when everything could.
    QString Notice() const { return notice.text(); }

private:
    void Fill();
    void SelectRow(int row);

    ReportList list;
    QPushButton okButton;
    QPushButton cancelButton;
    QLabel notice;
    int rowCount = 0;
    std::array<int, kMaxRows> rowDrives{};
    int selectedDrive = -1;
};

}  // namespace ui
