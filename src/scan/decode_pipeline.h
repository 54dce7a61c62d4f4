// The read loop of a dump file scan, spread over several threads.
//
// One thread reads the input (and decompresses it) and cuts it into batches of whole records;
// `workers` threads decode the batches and walk their UPDATE messages (`examineEntry`), each
// into a buffer of its own batch; the calling thread writes those buffers to `out` in input
// order, as soon as each part is ready. `out` therefore receives exactly the writes that one
// thread walking the file would make, in the same order and one call per report line, and only
// the calling thread ever touches it.
//
// Memory stays bounded whatever the input: at most 8 batches are in flight, their buffers are
// those of the record batcher (record_batcher.h), and a batch holds at most about 1 MiB of
// output that waits for its turn; a worker that would hold more waits for the writer.
#pragma once

#include "mrt/mrt_reader.h"
#include "output/output_port.h"
#include "settings/search_settings.h"

namespace tarvex {

/// Walks every UPDATE of `reader` and hands the skipped malformed records, and what was passed
/// over (passed_over.h), back to it, with the decode workers the run's thread plan gives its
/// input.
void examineDump(mrt::MrtReader& reader, const SearchSettings& settings, OutputPort& out);

/// The same with `workers` decoding threads; with 0 everything happens on the calling thread.
void examineDump(mrt::MrtReader& reader, const SearchSettings& settings, OutputPort& out,
                 unsigned workers);

}  // namespace tarvex
