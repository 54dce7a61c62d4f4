// The standard descriptors of a process that writes a report: standard input, output and error
// closed when it starts must not be left free, or the next open(2) (a dump, a list, a work
// directory's file) would take the number of one of them and receive what is meant for that
// stream. Both tarvex and tarvex-shard hold them before they open anything.
#pragma once

namespace tarvex {

/// Holds each closed standard descriptor with /dev/null opened the other way round (standard
/// input for writing, the others for reading), so that every use of it still fails with EBADF as
/// on a closed descriptor: a message to a closed stream is dropped, a report to a closed standard
/// output fails as it always has, and a dump read from a closed standard input gives the same
/// read error.
void holdClosedStandardDescriptors();

}  // namespace tarvex
