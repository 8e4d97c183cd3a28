#pragma once

// Runs one checked command of the command line against the dashboard on its port and
// returns the exit status (CommandLine::ExitCode). The current edition only.

#include "app/CommandLine.h"

namespace CommandLine {

int runCommand(const Options &options);
// --check-adapter (CommandCheck.cpp): needs no dashboard, so it runs without a session.
int runAdapterCheck(const Options &options);

} // namespace CommandLine
