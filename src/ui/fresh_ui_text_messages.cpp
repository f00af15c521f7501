#include "ui/fresh_ui_text_messages.h"

#include <QString>

#include "platform/app_directory.h"
#include "ui/message_box.h"
#include "ui/ui_text_table.h"

namespace ui {

FreshUiTextMessages::FreshUiTextMessages(std::string tooltipPath, QWidget* ownerWindow)
    : path(tooltipPath.empty() ? platform::AppDirectory() + "/Tooltip.ini" : std::move(tooltipPath)), owner(ownerWindow)
{
}

void FreshUiTextMessages::ShowFreshUiText(int line)
{
    UiTextTable table;
    LoadUiTexts(table, path, owner);
    ShowApplicationMessage(UiString(table.Text(line)));
}

}  // namespace ui
