#pragma once

#include <string>

#include "Options.h"

namespace CLI {
class App;
}

// The command line's part that only one system's simulator has: the serial line, the
// control socket and --send on Linux (posix/), none on Windows (win32/). CMake picks the file.
namespace PlatformOptions {

// The program's description and the footer's paragraph on what it prints at start and where
// its commands come from, for --help.
std::string Description();
std::string StartFooter();
// The listeners opened when the command line names none, as --help says it.
std::string DefaultListeners();
// Declares this system's own listeners in group `where`; what needs converting goes to
// lineText.
void Declare(CLI::App& app, Options& options, std::string& lineText, const std::string& where);
// Declares this system's ways to reach a running simulator, last on the help.
void DeclareCommands(CLI::App& app, Options& options);
// After a successful parse: converts lineText and, when no listener was named, opens the
// default ones.
void Finish(Options& options, const std::string& lineText);

} // namespace PlatformOptions
