// The command line of lanportctl: which subcommand, with which arguments.
#pragma once

#include <string>
#include <vector>

#include "session.h"

namespace lanportctl {

// Runs the command that `args` (the arguments after the program name) asks for and
// returns the program's exit status.
int RunCommandLine(const std::vector<std::wstring>& args, const Session& session);

}  // namespace lanportctl
