// The disk selection and record list dialogs, run from the main window.
#include "ui/main_frame.h"

#include <QMetaObject>

#include "ui/app_context.h"
#include "ui/disk_recovery.h"
#include "ui/disk_select_dialog.h"
#include "ui/record_list_dialog.h"

namespace ui {

int CMainFrame::RunDiskSelectDialog()
{
    ui::DiskSelectDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    return dialog.SelectedDrive();
}

int CMainFrame::RunRecordListDialog()
{
    ui::RecordListDialog dialog(this, context.volume, context.currentDrive, context.decoder, &engine, &positionSlider,
                                &Surface(), recovery.get());
    if (dialog.exec() != QDialog::Accepted) {
        if (dialog.TimelineAsked())
            QMetaObject::invokeMethod(
                this, [this] { ShowTimeline(); }, Qt::QueuedConnection);
        return -1;
    }
    return dialog.SelectedRecord();
}

}  // namespace ui
