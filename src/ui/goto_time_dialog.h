#pragma once
// "Go to Time": a date and time typed in, and what the disk holds at that
// second as the text changes: every record holding it, or the nearest
// recorded seconds before and after. OK takes the marked line's record and
// position.
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <optional>
#include <vector>

#include "disk/timeline.h"

namespace ui {

class GotoTimeDialog : public QDialog {
public:
    // records: the loaded disk's placed records; initial fills the entry.
    GotoTimeDialog(QWidget* parent, std::vector<disk::PlacedRecord> records, disk::ClockSeconds initial);

    // The marked line's record and position; nothing when no line is marked.
    std::optional<disk::RecordPosition> Chosen() const;

    QLineEdit& TimeEdit() { return timeEdit; }
    QListWidget& Results() { return results; }
    QPushButton& OkButton() { return okButton; }

private:
    void Update();
    // A line of results; without a target it is a message that cannot be marked.
    int AddLine(const QString& text, std::optional<disk::RecordPosition> target);
    QString Place(const disk::RecordPosition& at) const;

    std::vector<disk::PlacedRecord> records;
    std::vector<std::optional<disk::RecordPosition>> targets;  // one per line of results
    QLabel prompt;
    QLineEdit timeEdit;
    QListWidget results;
    QPushButton okButton;
    QPushButton cancelButton;
};

}  // namespace ui
