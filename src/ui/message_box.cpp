#include "ui/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <mutex>

#include "ui/ui_text_table.h"

namespace ui {

const char* const kSettingFileMissing = "Can't Open Setting file";

namespace {

std::mutex presenterMutex;
MessagePresenter& Presenter()
{
    static MessagePresenter presenter;
    return presenter;
}

void ShowDialog(MessageKind kind, QWidget* owner, const QString& text)
{
    if (kind == MessageKind::Application)
        owner = QApplication::activeWindow();
    QMessageBox box(kind == MessageKind::Application ? QMessageBox::Warning : QMessageBox::NoIcon,
                    QStringLiteral("Quillon"), text, QMessageBox::Ok, owner);
    box.exec();
}

void Show(MessageKind kind, QWidget* owner, const QString& text)
{
    MessagePresenter presenter;
    {
        std::lock_guard lock(presenterMutex);
        presenter = Presenter();
    }
    if (presenter)
        presenter(kind, owner, text);
    else
        ShowDialog(kind, owner, text);
}

}  // namespace

void SetMessagePresenter(MessagePresenter presenter)
{
    std::lock_guard lock(presenterMutex);
    Presenter() = std::move(presenter);
}

void ShowWindowMessage(QWidget* owner, const QString& text) { Show(MessageKind::Window, owner, text); }

void ShowApplicationMessage(const QString& text) { Show(MessageKind::Application, nullptr, text); }

bool LoadUiTexts(UiTextTable& table, const std::string& path, QWidget* owner)
{
    if (table.Load(path))
        return true;
    const QString text = QString::fromLatin1(kSettingFileMissing);
    if (owner)
        ShowWindowMessage(owner, text);
    else
        ShowApplicationMessage(text);
    return false;
}

}  // namespace ui
