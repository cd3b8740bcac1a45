// The archive view's command table: for each command the string shown in the status bar while
// it is highlighted in a menu or pressed on the toolbar, and its tooltip and button text.
#pragma once

#include <windows.h>

#include <string>

namespace cairn {
namespace shell {

struct CommandTexts {
  UINT command;
  UINT help;  // string number; 0: none
  UINT tip;   // string number; 0: none
};

// The first row of the table with the command; null when it has none.
const CommandTexts* FindCommandTexts(UINT command);
// The command's help text (at most 600 bytes) and tooltip text (at most 80 characters); empty
// when the command has none.
std::string CommandHelp(UINT command);
std::string CommandTip(UINT command);

}  // namespace shell
}  // namespace cairn
