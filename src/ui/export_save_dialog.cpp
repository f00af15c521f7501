#include "ui/export_save_dialog.h"

#include <QFileDialog>
#include <QString>

namespace ui {

exporter::SaveDialog ExportSaveDialog(QWidget* parent)
{
    return [parent](const std::string& defaultName) -> std::optional<std::string> {
        // Each filter with the extension a name typed without one gets.
        const std::pair<QString, QString> filters[] = {
            {QStringLiteral("MPEG Files (*.mpg)"), QStringLiteral("mpg")},
            {QStringLiteral("AVI Files (*.avi)"), QStringLiteral("avi")},
            {QStringLiteral("Master, original frames (*.mkv)"), QStringLiteral("mkv")},
            {QStringLiteral("MP4 Working Copy (*.mp4)"), QStringLiteral("mp4")},
        };
        QStringList names;
        for (const auto& [name, suffix] : filters)
            names.push_back(name);
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setNameFilters(names);
        dialog.setDefaultSuffix(QStringLiteral("mpg"));
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &filters](const QString& filter) {
            for (const auto& [name, suffix] : filters)
                if (filter == name)
                    dialog.setDefaultSuffix(suffix);
        });
        dialog.selectFile(QString::fromStdString(defaultName));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().first().toStdString();
    };
}

}  // namespace ui
