// twpack plan: what an uninstaller would do on this machine, read from its
// information exactly as the worker reads it, without changing anything.
// Windows only: it looks at this machine's files, folders and registry.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Runs "twpack plan" (args[0] is "plan"). TWPACK_OK when the plan was
// printed; TWPACK_FAILED for a wrong command line, an unreadable input, or
// a build that cannot look at a Windows machine.
int RunPlan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The command's part of --help.
extern const char kPlanHelp[];
