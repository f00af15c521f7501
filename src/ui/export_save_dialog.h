#pragma once
// The save dialog of "output": MPEG, AVI, master (Matroska) and MP4 filters,
// "mpg" by default, no overwrite prompt.
#include "export/snapshot.h"

class QWidget;

namespace ui {

exporter::SaveDialog ExportSaveDialog(QWidget* parent);

}  // namespace ui
