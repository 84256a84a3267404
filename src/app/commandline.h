#pragma once

#include <string>
#include <vector>

namespace quillon {

// The pictures named on the command line ("Open with" of the desktop, or a user typing
// `quillon photo.jpg`), as absolute paths so another copy of the program, started
// elsewhere, finds the same files. arguments are those after the program's name, with
// the start switches already taken out. An argument starting with "-" is an option
// (no picture's name starts so unless written as ./-name), except after "--".
std::vector<std::string> PictureArguments(const std::vector<std::string>& arguments, const std::string& currentDir);

// --help and --version answer on the terminal and end the program before any window or
// display is needed. The first of them counts; none after "--".
enum class TInfoSwitch { None, Help, Version };
TInfoSwitch FindInfoSwitch(const std::vector<std::string>& arguments);

// What --help prints.
std::string UsageText();

} // namespace quillon
