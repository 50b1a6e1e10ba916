#pragma once
// The five list commands (add single, add group, add range, edit, delete):
// the menu action's name and the text it and its twin button carry, and the
// button's caption. The editor makes the actions, the panel the buttons.

#include <array>

namespace sondrel::listui {

struct ListCommandText {
  const char* actionName;
  const char* buttonCaption;
  const char* text;  // the action's caption and the button's tip
};

inline constexpr std::array<ListCommandText, 5> kListCommands{{
    {"mnuAddS", "Add S", "Add a single IP or URL"},
    {"mnuAddG", "Add G", "Add a group of IP addresses"},
    {"munAddR", "Add R", "Add a range of IP addresses"},
    {"mnuEdit", "Edit", "Edit the seleted item"},
    {"mnuDelete", "Delete", "Detete the seleted item"},
}};

}  // namespace sondrel::listui
