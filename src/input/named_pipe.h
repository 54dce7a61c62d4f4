// Waiting, within a bound, for the other end of a named pipe.
//
// open(2) of a named pipe waits for the other end for ever, so a pipe that nothing writes to, or
// an output pipe that nothing reads, would hang the run without a word. Every input of the
// program (dumps, criteria lists, dump lists) opens with O_NONBLOCK and, for a named pipe, asks
// here whether a writer comes in time; the output file asks whether a reader does.
#pragma once

#include <string>

namespace tarvex::input {

/// How long a named pipe may wait for its writer, or the output pipe for its reader.
inline constexpr int kPipeWaitMs = 10000;

/// True when `fd` is a pipe made by a shell or a program (reached through /dev/stdin or
/// /dev/fd/N) rather than a named one: its writer was there from the start, so it needs no wait,
/// and a read that finds no writer is simply its end.
bool isAnonymousPipe(int fd);

/// `fd` is a named pipe opened with O_NONBLOCK. Returns false when no writer came within
/// `kPipeWaitMs`; otherwise true, with a byte the writer already wrote in `*pushedBack`
/// (else -1 there), which the caller must hand out first. The descriptor stays non-blocking.
bool awaitPipeWriter(int fd, int* pushedBack);

/// Opens `path` for writing with `flags` (O_WRONLY and whatever the caller adds). A named pipe
/// waits up to `kPipeWaitMs` for a reader; the descriptor is returned blocking. Returns the
/// descriptor, or -1 with errno set (ETIMEDOUT when no reader came in time).
int openForWriting(const std::string& path, int flags, unsigned mode);

}  // namespace tarvex::input
