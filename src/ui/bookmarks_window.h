#pragma once
// The case's bookmarks in a window of their own (Ctrl+B): one row each,
// "record 2, second 14, picture 3, camera 2: the van enters (examiner,
// 2026-12-09T18:15:52Z)"; a double click (or Enter) goes there in the
// player.
//
// Window thread only.
#include <QListWidget>
#include <QWidget>

#include <functional>
#include <vector>

#include "casefile/case_file.h"

namespace ui {

class BookmarksWindow : public QWidget {
public:
    using GoTo = std::function<void(const casefile::Bookmark&)>;
    BookmarksWindow(GoTo goTo, QWidget* parent = nullptr);

    void Show(std::vector<casefile::Bookmark> bookmarks);
    QListWidget& List() { return list; }
    // What the row shows.
    static QString RowText(const casefile::Bookmark& bookmark);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    GoTo goTo;
    QListWidget list;
    std::vector<casefile::Bookmark> shown;
};

}  // namespace ui
