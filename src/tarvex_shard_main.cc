// tarvex-shard: a tarvex date-range search run as one tarvex per day, on this machine, GNU
// parallel or Slurm, and merged into exactly what one tarvex run writes.
#include "shard/shard_run.h"

int main(int argc, char** argv) {
  return tarvex::shard::runShard(argc, argv);
}
