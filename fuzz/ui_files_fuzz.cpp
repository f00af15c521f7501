// The UI's files from outside: window.rgn (decoded and turned into the
// window's region) and Tooltip.ini (read line by line).
#include <unistd.h>

#include <QRegion>

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "ui/region_data.h"
#include "ui/ui_text_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<ui::ShapeRect> rects;
    if (ui::DecodeRegionData(std::span<const uint8_t>(data, size), rects)) {
        const QRegion region = ui::RegionFromRects(rects);
        (void)region.boundingRect();
    }

    static const std::string path = "/tmp/quillon-fuzz-tooltip-" + std::to_string(::getpid()) + ".ini";
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        ui::UiTextTable table;
        table.Load(path);
        for (int n = 1; n <= ui::UiTextTable::kLines; ++n)
            (void)ui::UiString(table.Text(n));
    }
    return 0;
}
