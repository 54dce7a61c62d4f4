// How a run of tarvex-shard is stopped: SIGINT (Ctrl-C), SIGTERM (`kill PID`) and SIGHUP (the
// end of the terminal session) ask it to stop. From the moment the days start, the first such
// signal is only noted here; the engine that runs the days then stops every day it started
// (cancels the Slurm job), and the run ends with a message and status 3, keeping the finished
// days for a re-run. Ending on the spot instead would leave GNU parallel, the local days or the
// job array searching the rest of the range behind the user's back, racing the re-run. A second
// signal ends the process at once, as if nothing caught it, for a run stuck in a write to a
// reader that does not read. A signal ignored when tarvex-shard started (nohup) stays ignored.
#pragma once

namespace tarvex::shard {

/// Notes SIGINT, SIGTERM and SIGHUP from now on. The handler does not restart system calls, so a
/// wait or a read in progress returns EINTR and its caller can look at `stopSignal()`.
void catchStopSignals();

/// The signal that asked the run to stop, or 0.
int stopSignal();

/// A descriptor that becomes readable once a stop is asked, for poll(2) beside the pipes that an
/// engine watches; -1 before `catchStopSignals`.
int stopNotice();

/// "SIGINT", "SIGTERM" or "SIGHUP" for a signal that stops the run.
const char* stopSignalName(int signal);

}  // namespace tarvex::shard
