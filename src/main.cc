#include "cli/entry_point.h"

int main(int argc, char** argv) {
  return tarvex::runTarvex(argc, argv);
}
