// Waiting, within a bound, for the writer of a named pipe.
//
// open(2) of a named pipe for reading waits for a writer for ever, so a pipe that nothing writes
// to would hang the run without a word. Every input of the program (dumps, criteria lists, dump
// lists) opens with O_NONBLOCK and, for a pipe, asks here whether a writer comes in time.
#pragma once

namespace tarvex::mrt {

/// How long a named pipe may wait for its writer.
inline constexpr int kPipeWriterWaitMs = 10000;

/// `fd` is a named pipe opened with O_NONBLOCK. Returns false when no writer came within
/// `kPipeWriterWaitMs`; otherwise true, with a byte the writer already wrote in `*pushedBack`
/// (else -1 there), which the caller must hand out first. The descriptor stays non-blocking.
bool awaitPipeWriter(int fd, int* pushedBack);

}  // namespace tarvex::mrt
