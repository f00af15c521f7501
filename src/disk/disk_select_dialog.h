#pragma once
// "Disk Select": lists the drives that carry the recorder's volume signature
// with their number, size and device name; the chosen drive's number is
// the result.
#include <QDialog>
#include <QPushButton>

#include <array>

#include "disk/report_list.h"

namespace disk {

class DiskSelectDialog : public QDialog {
public:
    static constexpr int kMaxRows = 64;

    // Fills the list and marks its first row.
    explicit DiskSelectDialog(QWidget* mainWindow);
    ~DiskSelectDialog() override;

    // The drive of the marked row; -1 until a row is marked.
    int SelectedDrive() const { return selectedDrive; }

    int RowCount() const { return rowCount; }
    // Drive number of a row; -1 for a row that isn't there.
    int RowDrive(int row) const;
    ReportList& List() { return list; }

private:
    void Fill();
    void SelectRow(int row);

    ReportList list;
    QPushButton okButton;
    QPushButton cancelButton;
    int rowCount = 0;
    std::array<int, kMaxRows> rowDrives {};
    int selectedDrive = -1;
};

}  // namespace disk
