#include <malloc.h>

#include "cli/entry_point.h"
#include "output/standard_descriptors.h"

int main(int argc, char** argv) {
  // Standard input, output or error closed when tarvex starts would let the next open(2) take
  // its number, and the messages meant for that stream would then reach the file, or race its
  // reader on another thread.
  tarvex::holdClosedStandardDescriptors();
  // The decoding threads allocate little once they run, but glibc would give each of them an
  // arena of its own, whose freed memory stays resident; two arenas keep a run over many files
  // well within its memory bound at no cost in speed.
  mallopt(M_ARENA_MAX, 2);
  return tarvex::runTarvex(argc, argv);
}
