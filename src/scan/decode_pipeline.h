// The decode pipeline: the read loop of a dump file scan, spread over several threads.
//
// One thread reads the input (and decompresses it) and cuts it into batches of whole records;
// `workers` threads decode the batches and search their UPDATE messages (update_search.h), each
// into its own part of an ordered output (ordered_output.h); the calling thread writes those
// parts to `out` in input order, as soon as each piece is ready. `out` therefore receives exactly
// the writes that one thread searching the file would make, in the same order and one call per
// report line, and only the calling thread ever touches it.
//
// Memory stays bounded whatever the input (memory_budgets.h): `kBatchesInFlight` batches at
// most, their buffers those of the record batcher, and at most `kPendingOutputPerBatch` of
// output per batch waiting for its turn; a worker that would hold more waits for the writer.
#pragma once

#include "mrt/mrt_reader.h"
#include "output/output_port.h"
#include "settings/search_settings.h"

namespace tarvex {

/// Searches every UPDATE of `reader` and hands the skipped malformed records, and what was
/// passed over (passed_over.h), back to it, with the decode workers the run's thread plan gives
/// its input.
void searchDump(mrt::MrtReader& reader, const SearchSettings& settings, OutputPort& out);

/// The same with `workers` decoding threads; with 0 everything happens on the calling thread.
void searchDump(mrt::MrtReader& reader, const SearchSettings& settings, OutputPort& out,
                unsigned workers);

}  // namespace tarvex
