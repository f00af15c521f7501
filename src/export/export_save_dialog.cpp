#include "export/export_save_dialog.h"

#include <QFileDialog>
#include <QString>

namespace exporter {

capture::SaveDialog ExportSaveDialog(QWidget* parent)
{
    return [parent](const std::string& defaultName) -> std::optional<std::string> {
        const QString mpeg = QStringLiteral("MPEG Files (*.mpg)");
        const QString avi = QStringLiteral("AVI Files (*.avi)");
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setNameFilters({mpeg, avi});
        dialog.setDefaultSuffix(QStringLiteral("mpg"));
        // A name typed without an extension gets the chosen filter's.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, avi](const QString& filter) {
            dialog.setDefaultSuffix(filter == avi ? QStringLiteral("avi") : QStringLiteral("mpg"));
        });
        dialog.selectFile(QString::fromStdString(defaultName));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().first().toStdString();
    };
}

}  // namespace exporter
