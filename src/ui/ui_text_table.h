#pragma once
// The table of user-visible texts: line N of Tooltip.ini is text N. Editing
// the file changes tooltips and messages without touching the program.
#include <array>
#include <cstddef>
#include <string>

class QString;

namespace ui {

class UiTextTable {
public:
    static constexpr int kLines = 28;
    // A line longer than this is cut; the rest of it is skipped. Nothing in
    // the program shows more, and the file is not ours to trust.
    static constexpr std::size_t kMaxEntryBytes = 4096;

    // Empties every entry, then reads up to kLines lines. A line ends at LF;
    // a CR right before it goes with it. False when the file can't be opened
    // (the entries stay empty).
    bool Load(const std::string& path);

    // Text n, 1 <= n <= kLines; empty for a missing line or another n.
    const std::string& Text(int n) const;

private:
    std::array<std::string, kLines> entries;
};

// The bytes of a text as shown: UTF-8 when they are valid UTF-8, otherwise
// one character per byte (Latin-1), as single-byte files were written.
QString UiString(const std::string& bytes);

}  // namespace ui
