#include "shard/stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace tarvex::shard {

namespace {

volatile sig_atomic_t stoppedBy = 0;
// The pipe that the handler writes one byte to: a poll(2) that started before the signal came
// would otherwise sleep on, since the signal may arrive between a look at the flag and the poll.
int noticePipe[2] = {-1, -1};

void noteStop(int signal) {
  // Once: the next SIGINT or SIGTERM finds the default action again and ends the process.
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
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
  sigaddset(&note.sa_mask, SIGINT);
  sigaddset(&note.sa_mask, SIGTERM);
  ::sigaction(SIGINT, &note, nullptr);
  ::sigaction(SIGTERM, &note, nullptr);
}

int stopSignal() {
  return stoppedBy;
}

int stopNotice() {
  return noticePipe[0];
}

const char* stopSignalName(int signal) {
  return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal";
}

}  // namespace tarvex::shard
