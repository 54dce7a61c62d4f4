// tarvex-shard: a tarvex date-range search run as one tarvex per day, on this machine, GNU
// parallel or Slurm, and merged into exactly what one tarvex run writes.
#include "output/standard_descriptors.h"
#include "shard/shard_run.h"

int main(int argc, char** argv) {
  // A closed standard output must stay closed to the merge, as it is to tarvex, rather than let
  // the work directory's first file take its number and receive the report.
  tarvex::holdClosedStandardDescriptors();
  return tarvex::shard::runShard(argc, argv);
}
