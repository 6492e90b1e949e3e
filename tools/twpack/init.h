// twpack init: writes the uninstall information of a staged installation
// (its files as they will be installed, its program groups, the registry
// keys of its exports), in the code page of the systems it ships to.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Runs "twpack init" with its arguments (args[0] is "init"). Returns a
// TWPACK_ exit code: OK when the file was written, PROBLEMS when a name
// was refused, FAILED for a wrong command line or an unreadable input.
int RunInit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The usage lines and the --help text of the command.
extern const char kInitUsage[];
extern const char kInitHelp[];
