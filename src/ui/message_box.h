#pragma once
// The program's two kinds of message box, both captioned "Quillon" with a
// single OK button: a window message box (owned by the given window, no
// icon) and an application message box (owned by the active window over the
// main window, exclamation icon). Headless runs and tests replace the
// presenter so that nothing modal ever opens.
#include <functional>
#include <string>

class QString;
class QWidget;

namespace ui {

class UiTextTable;

enum class MessageKind { Window, Application };

using MessagePresenter = std::function<void(MessageKind kind, QWidget* owner, const QString& text)>;

// Replaces how messages are shown; an empty presenter restores the dialogs.
void SetMessagePresenter(MessagePresenter presenter);

void ShowWindowMessage(QWidget* owner, const QString& text);
void ShowApplicationMessage(const QString& text);

// Shown when Tooltip.ini can't be opened.
extern const char* const kSettingFileMissing;

// Loads the table from path; when the file can't be opened, says so in a
// window message box owned by owner, or in an application message box when
// owner is null. The caller goes on either way.
bool LoadUiTexts(UiTextTable& table, const std::string& path, QWidget* owner);

}  // namespace ui
