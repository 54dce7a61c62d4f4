// Waiting, within a bound, for the writer of a named pipe.
//
// open(2) of a named pipe for reading waits for a writer for ever, so a pipe that nothing writes
// to would hang the run without a word. Every input of the program (dumps, criteria lists, dump
// lists) opens with O_NONBLOCK and, for a named pipe, asks here whether a writer comes in time.
#pragma once

namespace tarvex::input {

/// How long a named pipe may wait for its writer.
inline constexpr int kPipeWriterWaitMs = 10000;

/// True when `fd` is a pipe made by a shell or a program (reached through /dev/stdin or
/// /dev/fd/N) rather than a named one: its writer was there from the start, so it needs no wait,
/// and a read that finds no writer is simply its end.
bool isAnonymousPipe(int fd);

/// `fd` is a named pipe opened with O_NONBLOCK. Returns false when no writer came within
/// `kPipeWriterWaitMs`; otherwise true, with a byte the writer already wrote in `*pushedBack`
/// (else -1 there), which the caller must hand out first. The descriptor stays non-blocking.
bool awaitPipeWriter(int fd, int* pushedBack);

}  // namespace tarvex::input
