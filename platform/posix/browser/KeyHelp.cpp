#include "platform/posix/browser/KeyHelp.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <sstream>

namespace posix {
namespace {

constexpr char kGap[] = "  ";
// The fewest columns a key's text is wrapped into.
constexpr std::size_t kNarrowest = 12;
// Enter and Esc end a picker: the key line never leaves them out.
constexpr std::size_t kAlwaysOnLine = 2;

// In the order the key line gives them room.
const struct {
    const char* keys;
    const char* does;
    const char* onLine;  // nothing when another entry's line speaks for it
} kKeys[] = {
    {"Enter", "choose the highlighted folder", "Enter: choose"},
    {"Esc", "cancel the picker (Ctrl-C and Ctrl-D too)", "Esc: cancel"},
    {"? or F1", "show this table", "?: help"},
    {"Right", "open the highlighted folder, where ./ is the folder itself", "Right: open"},
    {"Left", "go up to the parent folder's level", "Left: up"},
    {"/ or ~", "type a path; Tab completes it, Enter goes there", "/: path"},
    {"letters", "find the folder whose name starts with them", "letters: find"},
    {"Up/Down", "move; the highlighted folder is the selection", "Up/Down PgUp/PgDn Home/End: move"},
    {"PgUp/PgDn", "move a page", nullptr},
    {"Home/End", "move to the first or the last row", nullptr},
};

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream stream(text);
    for (std::string word; stream >> word;) words.push_back(word);
    return words;
}

}  // namespace

std::string KeyLine(std::size_t columns) {
    std::string line;
    for (std::size_t at = 0; at < std::size(kKeys); ++at) {
        if (kKeys[at].onLine == nullptr) continue;
        const std::string entry = (at == 0 ? "" : kGap) + std::string(kKeys[at].onLine);
        if (at >= kAlwaysOnLine && line.size() + entry.size() > columns) break;
        line += entry;
    }
    return line;
}

std::vector<std::string> KeyTable(std::size_t columns) {
    std::size_t width = 0;
    for (const auto& key : kKeys) width = std::max(width, std::strlen(key.keys));
    const std::size_t indent = width + std::strlen(kGap);
    // Too narrow to wrap into: one row each, which the view cuts.
    const std::size_t room = columns > indent + kNarrowest ? columns - indent : std::string::npos;
    std::vector<std::string> table;
    for (const auto& key : kKeys) {
        std::string keys = key.keys;
        std::string does;
        for (const std::string& word : Words(key.does)) {
            if (!does.empty() && does.size() + 1 + word.size() > room) {
                table.push_back(keys.append(indent - keys.size(), ' ') + does);
                keys.clear();
                does.clear();
            }
            does += (does.empty() ? "" : " ") + word;
        }
        table.push_back(keys.append(indent - keys.size(), ' ') + does);
    }
    return table;
}

void KeyTablePager::Fit(std::size_t tableRows, std::size_t rowsInView) {
    count_ = tableRows;
    rows_ = std::max<std::size_t>(rowsInView, 1);
    first_ = std::min(first_, Last());
}

bool KeyTablePager::Scroll(const KeyPress& key) {
    if (Fits()) return false;
    // A row of the page before stays in view, as the wrapped rows of one
    // key belong together.
    const std::size_t page = std::max<std::size_t>(rows_ - 1, 1);
    switch (key.key) {
    case Key::Up: first_ -= std::min<std::size_t>(first_, 1); break;
    case Key::Down: first_ = std::min(first_ + 1, Last()); break;
    case Key::PageUp: first_ -= std::min(first_, page); break;
    case Key::PageDown: first_ = std::min(first_ + page, Last()); break;
    case Key::Home: first_ = 0; break;
    case Key::End: first_ = Last(); break;
    case Key::Text:
        if (key.text != L' ') return false;
        first_ = std::min(first_ + page, Last());
        break;
    default: return false;
    }
    return true;
}

std::size_t KeyTablePager::Shown() const { return std::min(rows_, count_ - std::min(first_, count_)); }

std::string KeyTablePager::Place() const {
    if (Fits()) return std::string();
    return "Lines " + std::to_string(first_ + 1) + "-" + std::to_string(first_ + Shown()) + " of " +
           std::to_string(count_);
}

std::string KeyTablePager::Footer(std::size_t columns) const {
    if (Fits()) return "Any key closes this table.";
    std::string line = std::string(first_ < Last() ? "Space: more" : "PgUp: back") + kGap + "Esc: close";
    for (const char* entry : {"Up/Down PgUp/PgDn: scroll", "other keys close"}) {
        if (line.size() + std::strlen(kGap) + std::strlen(entry) > columns) break;
        line += kGap + std::string(entry);
    }
    return line;
}

}  // namespace posix
