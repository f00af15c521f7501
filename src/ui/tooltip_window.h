#pragma once
// The small popup that shows a skin button's tooltip next to the button
// while the mouse rests on it. Top-level (not a Qt child of the main window)
// so that its owner, the Skin, decides when it goes; it stays above the main
// window without being always-on-top. GUI thread only.
#include <QPoint>
#include <QString>
#include <QWidget>

#include <memory>
#include <string_view>

namespace ui {

class ToolTipWindow : public QWidget {
public:
    // Capacity of the text, terminating zero included.
    static constexpr int kTextBytes = 512;
    static constexpr int kPadding = 8;

    // A hidden popup at (0, 0), 10 x 10, kept above owner; null when the
    // window can't be made (then no tooltip is ever shown).
    static std::unique_ptr<ToolTipWindow> Create(QWidget* owner);

    // Keeps at most kTextBytes - 1 bytes, cut at a character boundary.
    void SetText(std::string_view text);
    void SetPosition(int x, int y);
    // Sizes the window to the text, raises it and shows it at once.
    void Show();
    void Hide();

    QString Text() const { return text; }
    QPoint Position() const { return position; }
    // The size Show gives the window: the text's extent plus the padding.
    QSize SizeForText() const;

private:
    // Only Create can name it, so only Create makes a window.
    struct Key {
        explicit Key() = default;
    };

public:
    ToolTipWindow(Key, QWidget* owner);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* owner;
    QString text;
    QPoint position;
};

// Where the tooltip of a button with top-left (left, top) in a window whose
// top-left is at windowTopLeft on the screen goes: 30 pixels right of and
// below the button's corner, never at a negative coordinate.
QPoint TooltipPlacement(int left, int top, QPoint windowTopLeft);

}  // namespace ui
