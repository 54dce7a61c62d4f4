#include "shard/stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace tarvex::shard {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t stoppedBy = 0;
// Which of kStopSignals are caught: one that was ignored when the run started (SIGHUP under
// nohup, SIGINT for a command a script started in the background) stays ignored.
volatile sig_atomic_t caught[3] = {0, 0, 0};
// The pipe that the handler writes one byte to: a poll(2) that started before the signal came
// would otherwise sleep on, since the signal may arrive between a look at the flag and the poll.
int noticePipe[2] = {-1, -1};

void noteStop(int signal) {
  // Once: the next of them finds the default action again and ends the process.
  for (int i = 0; i < 3; ++i) {
    if (caught[i]) ::signal(kStopSignals[i], SIG_DFL);
  }
  stoppedBy = signal;
  if (noticePipe[1] >= 0) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t ignored = ::write(noticePipe[1], &byte, 1);
  }
}

}  // namespace

void catchStopSignals() {
  if (noticePipe[0] < 0 && ::pipe2(noticePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    noticePipe[0] = noticePipe[1] = -1;
  }
  struct sigaction note {};
  note.sa_handler = noteStop;
  sigemptyset(&note.sa_mask);
  for (int signal : kStopSignals) sigaddset(&note.sa_mask, signal);
  for (int i = 0; i < 3; ++i) {
    struct sigaction before {};
    if (::sigaction(kStopSignals[i], nullptr, &before) != 0 || before.sa_handler == SIG_IGN) {
      continue;
    }
    caught[i] = 1;
    ::sigaction(kStopSignals[i], &note, nullptr);
  }
}

int stopSignal() {
  return stoppedBy;
}

int stopNotice() {
  return noticePipe[0];
}

const char* stopSignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
  }
  return "a signal";
}

}  // namespace tarvex::shard
