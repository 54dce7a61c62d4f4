// The run: options into settings, the output stream, the criteria, one input mode, a status.
#pragma once

namespace tarvex {

/// Runs tarvex on `argv` and returns the exit status of the run (255 stands for -1).
int runTarvex(int argc, char** argv);

}  // namespace tarvex
