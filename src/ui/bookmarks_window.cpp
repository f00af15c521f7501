#include "ui/bookmarks_window.h"

#include <QResizeEvent>

namespace ui {

BookmarksWindow::BookmarksWindow(GoTo go, QWidget* parent)
    : QWidget(parent, Qt::Window), goTo(std::move(go)), list(this)
{
    setWindowTitle(QStringLiteral("Bookmarks"));
    resize(560, 300);
    const auto open = [this](QListWidgetItem* item) {
        const int row = list.row(item);
        if (row >= 0 && size_t(row) < shown.size() && goTo)
            goTo(shown[size_t(row)]);
    };
    connect(&list, &QListWidget::itemDoubleClicked, this, open);
    connect(&list, &QListWidget::itemActivated, this, open);
}

void BookmarksWindow::resizeEvent(QResizeEvent* event)
{
    list.setGeometry(rect().adjusted(4, 4, -4, -4));
    QWidget::resizeEvent(event);
}

QString BookmarksWindow::RowText(const casefile::Bookmark& b)
{
    const QString view =
        b.view == "quad" ? QStringLiteral("quad") : QStringLiteral("camera ") + QString::fromStdString(b.view);
    return QStringLiteral("record %1, second %2, picture %3, %4: %5 (%6, %7)")
        .arg(QString::fromStdString(b.record))
        .arg(b.position)
        .arg(b.picture)
        .arg(view, QString::fromStdString(b.note), QString::fromStdString(b.author), QString::fromStdString(b.created));
}

void BookmarksWindow::Show(std::vector<casefile::Bookmark> bookmarks)
{
    shown = std::move(bookmarks);
    list.clear();
    for (const casefile::Bookmark& b : shown)
        list.addItem(RowText(b));
    if (shown.empty())
        list.addItem(QStringLiteral("No bookmark yet: B marks the picture shown."));
}

}  // namespace ui
