#include "ui/goto_time_dialog.h"

#include "disk/record_entry.h"
#include "disk/record_time.h"
#include "ui/dialog_layout.h"

namespace ui {
namespace {

QString Shown(disk::ClockSeconds second)
{
    return QString::fromStdString(disk::FormatRecordTime(disk::ToRecordTime(second)));
}

}  // namespace

GotoTimeDialog::GotoTimeDialog(QWidget* parent, std::vector<disk::PlacedRecord> placed, disk::ClockSeconds initial)
    : QDialog(parent), records(std::move(placed)), prompt(QStringLiteral("Date and time (YYYY-MM-DD HH:MM:SS):"), this),
      timeEdit(this), results(this), okButton(QStringLiteral("OK"), this), cancelButton(QStringLiteral("Cancel"), this)
{
    setWindowTitle(QStringLiteral("Go to Time"));
    const ui::DialogUnits units(font());
    setFixedSize(units.X(240), units.Y(118));
    prompt.setGeometry(units.Rect(7, 7, 226, 9));
    timeEdit.setGeometry(units.Rect(7, 18, 100, 14));
    results.setGeometry(units.Rect(7, 38, 226, 52));
    okButton.setGeometry(units.Rect(127, 97, 50, 14));
    cancelButton.setGeometry(units.Rect(183, 97, 50, 14));
    okButton.setDefault(true);
    connect(&okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(&cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(&results, &QListWidget::itemDoubleClicked, this, [this] {
        if (Chosen())
            accept();
    });
    connect(&results, &QListWidget::currentRowChanged, this, [this] { okButton.setEnabled(Chosen().has_value()); });
    connect(&timeEdit, &QLineEdit::textChanged, this, [this] { Update(); });

    timeEdit.setText(QString::fromStdString(disk::FormatClockTime(initial)));
    timeEdit.selectAll();
    timeEdit.setFocus();
    Update();
}

std::optional<disk::RecordPosition> GotoTimeDialog::Chosen() const
{
    const int row = results.currentRow();
    if (row < 0 || static_cast<size_t>(row) >= targets.size())
        return std::nullopt;
    return targets[static_cast<size_t>(row)];
}

int GotoTimeDialog::AddLine(const QString& text, std::optional<disk::RecordPosition> target)
{
    results.addItem(text);
    if (!target)
        results.item(results.count() - 1)->setFlags(Qt::NoItemFlags);  // a message, not a place to go
    targets.push_back(target);
    return results.count() - 1;
}

QString GotoTimeDialog::Place(const disk::RecordPosition& at) const
{
    char kind = '?';
    for (const disk::PlacedRecord& r : records)
        if (r.index == at.record)
            kind = disk::KindLetter(r.kind);
    return QStringLiteral("record %1 (%2), position %3")
        .arg(at.record + 1)
        .arg(QChar::fromLatin1(kind))
        .arg(at.position);
}

void GotoTimeDialog::Update()
{
    results.clear();
    targets.clear();
    const std::optional<disk::ClockSeconds> second = disk::ParseClockTime(timeEdit.text().trimmed().toStdString());
    if (!second) {
        AddLine(QStringLiteral("Not a time: type YYYY-MM-DD HH:MM:SS"), std::nullopt);
        okButton.setEnabled(false);
        return;
    }
    const disk::Location location = disk::Locate(records, *second);
    // Marked at first: the first holder, else the nearer side (after on a tie).
    int marked = -1;
    for (const disk::RecordPosition& at : location.holders) {
        const int row = AddLine(QStringLiteral("Recorded in ") + Place(at), at);
        marked = marked < 0 ? row : marked;
    }
    if (location.holders.empty() && !location.before && !location.after)
        AddLine(QStringLiteral("No record of this disk holds any second"), std::nullopt);
    else if (location.holders.empty())
        AddLine(QStringLiteral("Not recorded. The nearest recorded seconds:"), std::nullopt);
    if (location.before)
        marked = AddLine(QStringLiteral("%1 s before: %2, %3")
                             .arg(location.before->distance.count())
                             .arg(Shown(location.before->second), Place(location.before->at)),
                         location.before->at);
    if (location.after) {
        const int row = AddLine(QStringLiteral("%1 s after: %2, %3")
                                    .arg(location.after->distance.count())
                                    .arg(Shown(location.after->second), Place(location.after->at)),
                                location.after->at);
        if (!location.before || location.after->distance <= location.before->distance)
            marked = row;
    }
    results.setCurrentRow(marked);
    okButton.setEnabled(Chosen().has_value());
}

}  // namespace ui
