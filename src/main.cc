#include <malloc.h>

#include "cli/entry_point.h"

int main(int argc, char** argv) {
  // The decoding threads allocate little once they run, but glibc would give each of them an
  // arena of its own, whose freed memory stays resident; two arenas keep a run over many files
  // well within its memory bound at no cost in speed.
  mallopt(M_ARENA_MAX, 2);
  return tarvex::runTarvex(argc, argv);
}
